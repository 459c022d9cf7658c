// The viewer's side of the player library: one owner of one player object.
//
// Every call into the player runs on the controller's own worker thread,
// one command after another, so the player has one controlling thread
// whatever the window asks for and however fast. The window's calls only
// queue a command and return; what the window needs to know comes back as
// messages posted to its window (the same queue the player posts its
// position, click and drop messages to, so they arrive in order), and as
// a snapshot it may read at any time.
//
//     PlayerController c(frame_window, {create, destroy}, program_dir);
//     c.open("/rec/clip.ts", video_child, 1224, 658);  // -> kMsgFileOpened
//     c.set_view(1, 3, w, h);
//     c.stop();                                          // -> kMsgStopped
//
// Opening runs in steps (GPS track, calibration, Init with retries, Play,
// the layout); a newer open or a stop cancels an older open between its
// steps, and only the latest open is reported as opened.
//
// Thread-safety: every public method may be called from any thread; the
// window calls them from its UI thread.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "SpherePlayer.h"
#include "controller/player_settings.h"
#include "gps/gps_record.h"
#include "platform/window_messages.h"

namespace controller {

struct LayoutSetup;

// Messages posted to the host window. wParam of each is the open's
// generation (see open()), so that the window can tell a message of an
// older file from one of the current file.
inline constexpr unsigned kMsgFileOpened = 1025;     // playing; lParam 0
inline constexpr unsigned kMsgEndOfFile = 1027;      // played to its end
inline constexpr unsigned kMsgOpenFailed = 1028;     // lParam: the player's code
inline constexpr unsigned kMsgStopped = 1030;        // a stop has completed
inline constexpr unsigned kMsgDisplayFailed = 1031;  // lParam: the player's code (20, 21)

// Layouts and view directions (see layout/view_layout.h).
inline constexpr int kInitialDirection = 1;  // down
inline constexpr int kInitialLayout = 3;     // four views

// The player's factory, replaceable by tests.
struct PlayerFactory {
    std::function<DOR_SpherePlayer*()> create;
    std::function<void(DOR_SpherePlayer*)> destroy;
};
// The player library's own factory functions.
PlayerFactory library_player_factory();

// One row of the view table per layout: the zoom and the three view angles
// of each viewport, valid once the row holds a view.
struct ViewRow {
    std::array<float, 4> zoom{}, pitch{}, yaw{}, roll{};
    bool valid = false;
};

// The square state of the open file: a square frame is a fisheye picture.
enum class VideoKind { undecided, fisheye, flat };

// What the window may read at any time.
struct PlaybackSnapshot {
    unsigned generation = 0;  // of the latest open (0: none yet)
    bool open = false;        // a file plays (or is paused)
    bool paused = false;
    std::string path;
    VideoKind kind = VideoKind::undecided;
    int duration_s = 0;   // after the TS length rule
    int end_time_ms = 0;  // pictures from here on are not drawn
    std::int64_t duration_ms = 0;
    int direction = kInitialDirection;
    int layout = kInitialLayout;
    int volume = 64;               // the player's 0 to 128, as remembered
    std::string calibration_path;  // the one the player was given ("" none)
    // One record per second of the recording (empty without a track).
    std::shared_ptr<const std::vector<gps::GpsRecord>> track;
};

class PlayerController {
public:
    PlayerController(platform::NativeWindow host, PlayerFactory factory, std::string program_dir);
    // Stops playback and ends the worker (waits for a running open's step).
    ~PlayerController();
    PlayerController(const PlayerController&) = delete;
    PlayerController& operator=(const PlayerController&) = delete;

    // --- commands (queued; they return at once)
    // Opens and plays `path` in the native child `video` of the host, whose
    // size is width x height. False (nothing queued) for an empty path, a
    // file that cannot be read or one that is not an MP4 or TS recording.
    // The generation of this open is what its messages carry.
    bool open(const std::string& path, DOR_NativeWindow video, int width, int height,
              unsigned* generation = nullptr);
    // Stops playback; kMsgStopped with the returned generation follows once
    // the player has stopped (also when nothing played).
    unsigned stop();
    void pause();
    void resume();
    // Seeks to the seek slider's per-mille value (0 to 1000); paused
    // playback stays paused at the new place.
    void seek_permille(int permille);
    // Seeks by `seconds` from the position `from_ms` (the window's latest).
    void skip(std::int64_t from_ms, int seconds);
    void step(bool forward);
    void set_volume(int slider_value);  // 0 to 100
    void mute();
    // The brightness slider (0 to 100), and the mirror of a flat video.
    void set_brightness(int slider_value);
    void reset_brightness();
    void set_mirror(bool mirrored);
    // The view direction (0 to 2) and layout (0 to 4) in a video window of
    // width x height; the layout's stored view when it has one.
    void set_view(int direction, int layout, int width, int height);
    // Keeps the current views of the current layout (before a layout
    // change, after a drag).
    void save_view();
    // Forgets the stored view of the current layout: the next set_view
    // shows that layout's default view (after a change of direction).
    void forget_view();
    // Turns every view's pitch by `degrees`.
    void turn_views(float degrees);

    // --- state
    PlaybackSnapshot snapshot() const;
    // Runs `f` on the worker after everything queued so far; for tests.
    void run_on_worker(std::function<void(DOR_SpherePlayer*)> f);
    // Waits until everything queued so far has run; for tests and shutdown.
    void drain();

private:
    struct Playback;  // what one open's callbacks need
    using Command = std::function<void()>;

    void queue(Command c);
    void worker_main();
    void post(unsigned message, unsigned generation, std::intptr_t lparam = 0);
    bool current(unsigned generation) const;

    // --- worker-side steps
    void ensure_player();
    void run_open(unsigned generation, std::string path, DOR_NativeWindow video, int width,
                  int height);
    bool prepare_calibration(unsigned generation, const std::string& path);
    int init_with_retries(unsigned generation);
    bool start_playing(unsigned generation, DOR_NativeWindow video, int width, int height);
    void read_length(bool is_ts);
    void run_stop();
    void apply_filter();
    void apply_view(bool settle);
    void apply_flat_view();
    void apply_layout_views(const LayoutSetup& setup);
    void send_limits(int record, int count);
    void run_save_view();
    void set_snapshot(const std::function<void(PlaybackSnapshot&)>& f);

    const platform::NativeWindow host_;
    const PlayerFactory factory_;
    const std::string program_dir_;

    // --- owned by the worker
    DOR_SpherePlayer* player_ = nullptr;
    init_param param_{};
    std::string param_path_, param_calibration_, param_logo_;
    PlayerSettings settings_;
    std::array<ViewRow, 5> view_table_{};
    std::unique_ptr<Playback> playback_;  // kept until the player has stopped
    int width_ = 0, height_ = 0;          // of the video window
    int brightness_slider_ = 50;
    bool mirrored_ = false;
    int volume_ = 64;     // remembered for every new player
    int auto_pitch_ = 0;  // the automatic pitch of the last view set

    // --- the command queue
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Command> commands_;
    bool quitting_ = false;
    bool busy_ = false;
    unsigned latest_generation_ = 0;  // of the latest open or stop asked for
    PlaybackSnapshot snapshot_;
    std::thread worker_;
};

}  // namespace controller
