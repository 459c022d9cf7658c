// Everything one player object owns, grouped by the thread that owns it.
// The interface operations (sphere_player_impl.cpp) and the player's worker
// threads work on this record; video_state holds what the threads share.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "SpherePlayer.h"
#include "error_text.h"
#include "ffmpeg_support/handles.h"
#include "video_state.h"

namespace sphere_player {

class ogl_rendererMgr;  // the display thread's renderer manager

inline constexpr std::size_t kDroppedFileBufferSize = 256;
inline constexpr std::size_t kFilterDescriptionSize = 128;  // 127 characters and the terminator
inline constexpr int kMaxVolume = SDL_MIX_MAXVOLUME;        // 128
inline constexpr int kDisplayOrientationCount = 3;          // 3 is passed on as 2

// Start-up status of a worker thread, as Play waits for it.
enum class StartupStatus : int { starting = 0, running = 1, failed = 2 };

// No frame step is requested.
inline constexpr int kNoStepRequest = -1;

// The late steps of Init, after the decoders are open. Tests make Init fail
// at one of them (player_state::fail_init_at) to check what a half-opened
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

struct player_state {
    // --- the audio callback's current chunk (reset by Play and Seek under
    // video_state::state_mutex)
    int audio_chunk_remaining = 0;
    const std::uint8_t* audio_chunk_read = nullptr;

    // --- the dropped-file buffer (display thread) and the path Init opened
    char dropped_file[kDroppedFileBufferSize] = {};
    std::string media_path;

    // --- set by the display thread on each turn of its loop
    std::atomic<bool> display_started{false};
    // Set by Stop before it aborts: playback did not end on its own.
    std::atomic<bool> stop_requested{false};
    // Set by the display thread when it fails: no EndCallback follows.
    std::atomic<bool> display_failed{false};
    // Its code (20 or 21), for the ErrorCallback.
    std::atomic<int> display_failure_code{0};
    // 1 from the end of a successful Play until all worker threads have ended
    std::atomic<int> playing{0};
    std::atomic<bool> read_running{false}, decode_running{false}, display_running{false},
        clock_running{false};
    // the file has sound and the device opened for it
    std::atomic<bool> audio_enabled{false};

    // --- the controlling thread's: Init opened the file completely (and
    // nothing was released since); Play refuses to start otherwise
    bool opened = false;
    InitStep fail_init_at = InitStep::none;  // for tests only
    // For tests only: the display thread's next turn fails with this code
    // (0: none), as a renderer failure while playing does.
    std::atomic<int> fail_display_with{0};

    // --- guarded by video_state::state_mutex: interface calls in progress
    // on the controlling thread (Stop and the destructor excepted). A
    // worker calls into the host at the end of playback (EndCallback,
    // ErrorCallback) only while none is, so that a host which stops and
    // destroys the player from the callback never frees it under a call.
    int host_calls = 0;

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
    std::mutex stop_mutex;
    std::thread read_thread, decode_thread, display_thread, clock_thread;

    // --- start-up statuses of the display, decode and read threads
    std::mutex status_mutex;
    StartupStatus display_status = StartupStatus::starting;
    StartupStatus decode_status = StartupStatus::starting;
    StartupStatus read_status = StartupStatus::starting;

    std::unique_ptr<video_state> vs;

    // --- frame stepping while paused (guarded by video_state::view_mutex)
    int step_history_index = 0;
    int step_history_length = 0;
    int step_request = kNoStepRequest;  // 1 forward, 0 backward
    bool step_in_progress = false;
    std::int64_t paused_position_ms = 0;

    std::int64_t last_pcr = 0;  // of the opened TS file, see tsfix::read_last_pcr
    std::atomic<DOR_NativeWindow> native_window{nullptr};

    std::atomic<bool> double_click{false};
    std::atomic<bool> end_callback_fired{false};
    bool audio_device_available = false;  // the result of CheckAudioDevice

    // --- the video filter, guarded by filter_mutex
    std::mutex filter_mutex;
    av::FilterGraphPtr filter_graph;
    AVFilterContext* filter_source = nullptr;  // owned by filter_graph
    AVFilterContext* filter_sink = nullptr;    // owned by filter_graph
    av::FramePtr filtered_frame;
    bool filter_active = false;
    char filter_description[kFilterDescriptionSize] = {};
};

}  // namespace sphere_player
