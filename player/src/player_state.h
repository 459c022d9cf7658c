// Everything one player object owns, grouped by the thread that owns it.
// The interface operations (sphere_player_impl.cpp) and the player's worker
// threads work on this record; video_state holds what the threads share.
// Lock order: see video_state.h.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "SpherePlayer.h"
#include "error_text.h"
#include "platform/thread_annotations.h"
#include "video_filter.h"
#include "video_state.h"

namespace sphere_player {

class ogl_rendererMgr;  // the display thread's renderer manager

inline constexpr std::size_t kDroppedFileBufferSize = 256;
inline constexpr int kMaxVolume = SDL_MIX_MAXVOLUME;  // 128
inline constexpr int kDisplayOrientationCount = 3;    // 3 is passed on as 2

// Start-up status of a worker thread, as Play waits for it.
enum class StartupStatus : int { starting = 0, running = 1, failed = 2 };

// The start-up statuses of the display, decode and read threads; Play
// waits until all run or one failed.
class StartupStatuses {
public:
    void reset() EXCLUDES(mutex);
    void set(Worker w, StartupStatus status) EXCLUDES(mutex);
    // Waits until the three run (true) or one failed (false). Bounded: each
    // worker reports one way or the other right after it starts, and a
    // worker ended by an exception reports failed.
    bool wait_all_running() EXCLUDES(mutex);

    platform::Mutex mutex ACQUIRED_BEFORE(ViewState::mutex);  // alone

private:
    platform::CondVar changed_;
    StartupStatus display_ GUARDED_BY(mutex) = StartupStatus::starting;
    StartupStatus decode_ GUARDED_BY(mutex) = StartupStatus::starting;
    StartupStatus read_ GUARDED_BY(mutex) = StartupStatus::starting;
};

// The late steps of Init, after the decoders are open. Tests make Init fail
// at one of them (PlayerState::fail_init_at) to check what a half-opened
// file leaves behind.
enum class InitStep { none, pictures, scaler, sound };

// How well the display keeps up with the clock. Written by the display
// thread only; read once it has been joined (after Stop).
struct PlaybackStats {
    std::int64_t pictures_taken = 0;            // taken off the picture queue
    std::int64_t pictures_drawn = 0;            // of those, uploaded and drawn
    int first_taken_ms = 0, last_taken_ms = 0;  // clock_ms() of the first and last
    // Clock minus picture time when a picture is taken, milliseconds.
    double lag_min_ms = 0.0, lag_max_ms = 0.0;
    double lag_max_at_ms = 0.0;  // the picture time of the largest lag
    // The largest lag once the first kSettleMs of pictures are shown.
    static constexpr double kSettleMs = 2000.0;
    double lag_max_settled_ms = 0.0;
    // Sums for the least-squares slope of the lag over the picture time.
    double sum_t = 0.0, sum_tt = 0.0, sum_lag = 0.0, sum_t_lag = 0.0;

    void add(double picture_ms, double lag_ms, int now_ms);
    double mean_lag_ms() const;
    // Lag drift in milliseconds per second of playback.
    double lag_slope() const;
};

struct PlayerState {
    // --- the dropped-file buffer (display thread) and the path Init opened
    char dropped_file[kDroppedFileBufferSize] = {};
    std::string media_path;

    // --- the controlling thread's: Init opened the file completely (and
    // nothing was released since); Play refuses to start otherwise
    bool opened = false;
    InitStep fail_init_at = InitStep::none;  // for tests only
    // For tests only: the display thread's next turn fails with this code
    // (0: none), as a renderer failure while playing does.
    std::atomic<int> fail_display_with{0};

    // Set by the display thread when it fails: no EndCallback follows.
    std::atomic<bool> display_failed{false};
    // Its code (20 or 21), for the ErrorCallback, and whether it came
    // while playing (else Play reports it).
    std::atomic<int> display_failure_code{0};
    std::atomic<bool> display_failed_while_playing{false};
    // 1 from the end of a successful Play until all worker threads have ended
    std::atomic<int> playing{0};
    // the file has sound and the device opened for it
    std::atomic<bool> audio_enabled{false};

    // --- handed to Play
    FrameCallback on_frame = nullptr;
    EndCallback on_end = nullptr;
    ErrorCallback on_error = nullptr;
    void* frame_context = nullptr;
    void* context = nullptr;

    std::atomic<int> volume{kMaxVolume};  // SDL mixing volume, 0 to 128
    ErrorText errors;

    // --- owned by the display thread, which creates and destroys it
    ogl_rendererMgr* renderer = nullptr;
    // The sound device the display thread opened (0: none); closed by it on
    // abort, or else by the end-of-playback epilogue.
    std::atomic<SDL_AudioDeviceID> audio_device{0};
    PlaybackStats stats;

    // --- started by Play, joined by Stop under stop_mutex (Stop may come
    // from the controlling thread and from a callback at once)
    platform::Mutex stop_mutex ACQUIRED_BEFORE(StartupStatuses::mutex);
    std::thread read_thread, decode_thread, display_thread, clock_thread;

    StartupStatuses startup;
    VideoFilter filter;

    std::unique_ptr<video_state> vs;

    std::int64_t last_pcr = 0;  // of the opened TS file, see tsfix::read_last_pcr
    std::atomic<DOR_NativeWindow> native_window{nullptr};

    std::atomic<bool> double_click{false};
    std::atomic<bool> end_callback_fired{false};
    bool audio_device_available = false;  // the result of CheckAudioDevice
};

}  // namespace sphere_player
