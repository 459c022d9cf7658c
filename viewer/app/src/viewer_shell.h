// The viewer's life: start-up (settings, window, texts, size, update
// check), the handling of the shell's own controls and the shutdown order.
//
//   start:  read KVP.cfg and Playlist.lmr; build the window; size it to its
//           monitor; load the texts; load the map page; title button;
//           check the update files and run the check when it is due;
//           restore the playlist; show the window.
//   close:  (close button, the window manager, SIGINT/SIGTERM) stop the
//           player, then leave the main loop.
//   after:  write KVP.cfg and Playlist.lmr, end a running update check,
//           destroy the window (with the video child), unload the texts.
//
// Playback is not wired here: the player controller hooks into
// `stop_playback` and the message bridge.
//
// Thread-safety: UI thread only.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "convert_dialog.h"
#include "main_window.h"
#include "map/map_server.h"
#include "message_bridge.h"
#include "playback_observer.h"
#include "shell/language.h"
#include "shell/settings_store.h"
#include "telemetry_panel.h"
#include "update_runner.h"

class ViewerShell {
public:
    ViewerShell();  // reads the settings; no window yet
    ~ViewerShell();
    ViewerShell(const ViewerShell&) = delete;
    ViewerShell& operator=(const ViewerShell&) = delete;

    // Builds, initialises and shows the window. False with a reason in
    // `error` when the window cannot be built.
    bool start(std::string* error);
    // start(), the main loop until the window closes, then shutdown().
    // Returns the process exit status.
    int run();
    // The close path: stops playback and ends the main loop (or calls
    // `on_quit` when set, for a caller that runs the loop itself).
    void request_close();
    // Saves the settings and destroys the window; idempotent.
    void shutdown();

    bool closing() const { return closing_; }
    MainWindow* window() const { return window_.get(); }
    MessageBridge* messages() const { return messages_.get(); }
    const shell::SettingsStore& settings_store() const { return store_; }
    shell::StoredSettings& settings() { return settings_; }
    const shell::LanguageRules& language_rules() const { return rules_; }
    bool updates_enabled() const { return updates_enabled_; }
    bool update_check_running() const { return updater_ && updater_->running(); }
    // The map pages' server (not running when it could not listen) and the
    // telemetry panel, which follows playback.
    const mappages::MapServer* map_server() const { return map_server_.get(); }
    TelemetryPanel* telemetry_panel() const { return telemetry_.get(); }
    // The user-interface text with that number; "" without the texts.
    std::string text(int number) const { return language_ ? language_->text(number) : ""; }
    const std::string& program_dir() const { return program_dir_; }
    // The conversion dialog while it is open ("btnTranslate"), else null.
    ConvertDialog* convert_dialog() const { return convert_dialog_.get(); }
    // Opens the conversion dialog (playback stops first) or brings it up;
    // with a trip (two or more recordings, in order) chosen as its source.
    void open_convert_dialog(std::vector<std::string> trip = {});

    // Stops playback and calls the continuation once the player has
    // stopped; without a player it continues at once.
    std::function<void(std::function<void()> stopped)> stop_playback;
    // Whether a file plays (the title button's update check waits then).
    std::function<bool()> is_playing;
    // Ends the main loop; gtk_main_quit by default.
    std::function<void()> on_quit;
    // run(): called once the window is shown, before the main loop; and at
    // the shutdown, before the settings are saved and the window goes.
    std::function<void()> on_started;
    std::function<void()> on_shutdown;

    // A part of the viewer takes the notifications of its own controls:
    // `handler` gets every notification of `control` before the shell's
    // own handling, which then does nothing more for it. One handler per
    // control; a later one replaces an earlier one.
    using ControlHandler = std::function<void(Notify kind)>;
    void handle_control(const std::string& control, ControlHandler handler);

    // The side panels that follow playback; not owned, they outlive the
    // playback wiring that calls them.
    void add_playback_observer(PlaybackObserver* observer) { observers_.push_back(observer); }
    const std::vector<PlaybackObserver*>& playback_observers() const { return observers_; }

private:
    void initialise_window();
    void apply_texts();
    void apply_size_rule();
    void load_map_page();
    void check_update_files();
    void run_update_check(const char* why);
    void on_notify(const std::string& control, Notify kind);

    std::string program_dir_;
    shell::SettingsStore store_;
    shell::StoredSettings settings_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<MessageBridge> messages_;
    std::unique_ptr<shell::LanguagePlugin> language_;
    shell::LanguageRules rules_;
    std::unique_ptr<UpdateRunner> updater_;
    std::unique_ptr<mappages::MapServer> map_server_;
    std::unique_ptr<TelemetryPanel> telemetry_;
    bool updates_enabled_ = false;
    bool closing_ = false;
    bool shut_down_ = false;
    guint signal_sources_[2] = {0, 0};
    guint update_source_ = 0;  // the start-up check, waiting for the first frame
    std::unordered_map<std::string, ControlHandler> control_handlers_;
    std::vector<PlaybackObserver*> observers_;
    std::unique_ptr<ConvertDialog> convert_dialog_;
    guint convert_release_ = 0;  // destroys the closed dialog
};

// The folder of the running executable (where the helper programs are),
// which KVP_PROGRAM_DIR does not move.
std::string executable_dir();
