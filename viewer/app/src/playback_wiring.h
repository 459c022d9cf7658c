// Playback in the main window: the player controller driven by the
// window's buttons, sliders, keys, drops and the player's messages, and
// the playlist panel that chooses what plays next.
//
//   open (dialog, drop, command line, playlist row)
//     -> current file, message 1124
//     -> stop whatever plays; on "stopped": a fresh video child, open
//     -> 1025: the playing control set, observers told
//   1225 ticks -> time label, seek slider, observers
//   1027 end of file -> the next entry by the play mode, or the idle window
//
// Every message of the controller carries the generation of the open (or
// stop) it belongs to; one of an older generation is dropped, so a file
// never sees the messages of the one before it. Nothing here waits: what
// must happen after a stop is continued in the stop's message.
//
// Thread-safety: UI thread only.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controller/player_controller.h"
#include "message_bridge.h"
#include "playlist_view.h"

class ViewerShell;
struct DroppedPath;

class PlaybackWiring {
public:
    enum class State { idle, opening, playing, paused };

    PlaybackWiring(ViewerShell& shell,
                   controller::PlayerFactory factory = controller::library_player_factory());
    // Ends the controller (the player stops) before the window goes.
    ~PlaybackWiring();
    PlaybackWiring(const PlaybackWiring&) = delete;
    PlaybackWiring& operator=(const PlaybackWiring&) = delete;

    // Files and folders (command line, drop): the recordings found are
    // added to the playlist and the first plays. False when none was found.
    bool open_paths(const std::vector<std::string>& paths);
    // Makes `path` the current file and starts it (message 1124).
    void play(const std::string& path);
    // Stops playback; `stopped` runs once the player has stopped.
    void stop(std::function<void()> stopped = {});

    State state() const { return state_; }
    const std::string& current_file() const { return current_; }
    bool full_screen() const { return full_screen_; }
    int layout() const { return layout_; }
    int direction() const { return direction_; }
    std::int64_t position_ms() const { return position_ms_; }
    controller::PlayerController& controller() { return *controller_; }
    PlaylistView& playlist() { return *playlist_; }
    // The text of the latest message box.
    const std::string& last_message() const { return last_message_; }

private:
    void on(const char* control, std::function<void()> click);
    void on_value(const char* control, std::function<void(int)> changed);
    void on_message(unsigned message, MessageBridge::Handler handler);
    void connect_controls();
    void connect_messages();
    void connect_keys_and_drops();
    bool on_key(GtkWidget* top, GdkEventKey* event, bool press);
    void on_video_resized();
    void on_player_drop(std::uintptr_t buffer);

    void start_current();
    void open_now();
    void on_opened(unsigned generation);
    void on_open_failed(unsigned generation, int code);
    void on_end_of_file(unsigned generation);
    void on_position(std::int64_t second, std::int64_t ms);
    void on_stopped(unsigned generation);
    void open_failed(const std::string& path);
    void go_idle();
    void next(playlist::Direction direction, bool at_end);

    void pause();
    void resume();
    void seek(int permille);
    void preview(int permille);
    void set_mirror(bool on);
    void set_layout(int layout);
    void set_direction(int direction);
    void apply_view();
    void set_full_screen(bool on);
    void show_full_screen(bool on);
    void start_calibration_tool();
    void open_help();
    void tell(int text_number, const char* fallback);
    void show_message(const std::string& caption, const std::string& text);
    void video_size(int* width, int* height) const;
    template <typename F>
    void each_observer(F f);

    ViewerShell& shell_;
    std::unique_ptr<controller::PlayerController> controller_;
    std::unique_ptr<PlaylistView> playlist_;
    std::shared_ptr<DroppedPath> dropped_;
    std::vector<std::string> controls_;  // the controls handled here
    std::vector<unsigned> messages_;     // the messages handled here

    State state_ = State::idle;
    std::string current_;
    unsigned open_generation_ = 0;  // of the open whose messages apply (0: none)
    unsigned stop_generation_ = 0;  // of the latest stop
    bool open_after_stop_ = false;  // message 1124 waits for the stop
    std::vector<std::function<void()>> after_stop_;
    bool mirrored_ = false;
    bool muted_ = false;
    bool full_screen_ = false;
    bool seeking_ = false;  // a seek waits for its first position
    bool view_pending_ = false;
    int layout_ = controller::kInitialLayout;
    int direction_ = controller::kInitialDirection;
    int video_width_ = 0, video_height_ = 0;  // device pixels, as last sent
    std::int64_t position_ms_ = 0;
    platform::NativeWindow video_window_ = 0;  // the child the next open draws in
    GdkRectangle placement_{};                 // of the window before full screen
    gint64 opened_at_ = 0;                     // monotonic microseconds of the latest open
    std::string last_message_;
};
