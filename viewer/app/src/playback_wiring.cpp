#include "playback_wiring.h"

#include <gdk/gdkkeysyms.h>
#include <gdk/gdkx.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "controller/playback_rules.h"
#include "controller/player_settings.h"
#include "controller/window_states.h"
#include "custom_controls.h"
#include "file_dialogs.h"
#include "platform/debug_output.h"
#include "platform/paths.h"
#include "shell/language.h"
#include "shell/viewer_messages.h"
#include "viewer_shell.h"

namespace {

using controller::VideoKind;

// The window's own message: a path dropped on the video, copied out of the
// player by the controller's worker (see the 1125 handler).
constexpr unsigned kMsgDroppedPathCopied = 1128;

constexpr int kTextDisplayFailed = 50;
constexpr const char* kMessageCaption = "OrvaleViewer";
constexpr const char* kCalibrationTool = "LuCalibate";
constexpr const char* kToolNotFound = "所要执行的文件没有找到\n";
constexpr double kDefaultBrightness = 50.0;
constexpr int kSeekSliderEnd = 1000;
constexpr int kViewTurnDeg = 5;

const char* const kUriListTarget = "text/uri-list";

bool is_open(PlaybackWiring::State s) {
    return s == PlaybackWiring::State::playing || s == PlaybackWiring::State::paused;
}

int slider_value(GtkWidget* w) {
    return GTK_IS_RANGE(w) ? static_cast<int>(gtk_range_get_value(GTK_RANGE(w)) + 0.5) : 0;
}

std::string absolute(const std::string& path) {
    gchar* canonical = g_canonicalize_filename(path.c_str(), nullptr);
    std::string result = canonical;
    g_free(canonical);
    return result;
}

}  // namespace

// A path the worker copied out of the player's drop buffer.
struct DroppedPath {
    std::mutex mutex;
    std::string path;
};

PlaybackWiring::PlaybackWiring(ViewerShell& shell, controller::PlayerFactory factory)
    : shell_(shell), dropped_(std::make_shared<DroppedPath>()) {
    controller_ = std::make_unique<controller::PlayerController>(
        shell_.messages()->window(), std::move(factory), shell_.program_dir());
    playlist_ = std::make_unique<PlaylistView>(shell_, [this](const std::string& p) { play(p); });
    connect_controls();
    connect_messages();
    connect_keys_and_drops();
    shell_.stop_playback = [this](std::function<void()> stopped) { stop(std::move(stopped)); };
    shell_.is_playing = [this] { return state_ != State::idle; };
    go_idle();
}

PlaybackWiring::~PlaybackWiring() {
    shell_.stop_playback = [](std::function<void()> stopped) { stopped(); };
    shell_.is_playing = nullptr;
    for (const std::string& name : controls_) shell_.handle_control(name, [](Notify) {});
    for (unsigned m : messages_) shell_.messages()->on(m, nullptr);
    MainWindow* w = shell_.window();
    g_signal_handlers_disconnect_by_data(w->window(), this);
    g_signal_handlers_disconnect_by_data(w->widget("wndMedia"), this);
    my_slider_set_preview(w->widget("sliderPlay"), {});
    my_slider_set_released(w->widget("sliderPlay"), {});
    controller_.reset();  // the player stops while its window still exists
}

// --- controls

void PlaybackWiring::on(const char* control, std::function<void()> click) {
    controls_.emplace_back(control);
    shell_.handle_control(control, [click = std::move(click)](Notify kind) {
        if (kind == Notify::click) click();
    });
}

void PlaybackWiring::on_value(const char* control, std::function<void(int)> changed) {
    controls_.emplace_back(control);
    shell_.handle_control(control, [this, control, changed = std::move(changed)](Notify kind) {
        if (kind == Notify::value_changed) changed(slider_value(shell_.window()->widget(control)));
    });
}

void PlaybackWiring::connect_controls() {
    on("btnPlay", [this] { resume(); });
    on("btnPause", [this] { pause(); });
    on("btnStop", [this] { stop(); });
    const auto open_dialog = [this] {
        choose_recordings(shell_.window()->window(), false,
                          [this](const std::vector<std::string>& paths) {
                              if (paths.empty()) return;
                              playlist_->add(paths);
                              play(paths.front());
                          });
    };
    on("btnOpen", open_dialog);
    on("btnOpenMini", open_dialog);
    on("btnPrePlay", [this] {
        if (is_open(state_)) next(playlist::Direction::previous, false);
    });
    on("btnNextPlay", [this] {
        if (is_open(state_)) next(playlist::Direction::next, false);
    });
    on("btnScreenFull", [this] { set_full_screen(true); });
    on("btnScreenNormal", [this] { set_full_screen(false); });
    on("btnVolume", [this] {
        controller_->mute();
        muted_ = true;
        shell_.window()->set_visible("btnVolumeZero", true);
        shell_.window()->set_visible("btnVolume", false);
    });
    on("btnVolumeZero", [this] {
        controller_->set_volume(slider_value(shell_.window()->widget("sliderVol")));
        muted_ = false;
        shell_.window()->set_visible("btnVolume", true);
        shell_.window()->set_visible("btnVolumeZero", false);
    });
    on("top_btn", [this] { set_direction(0); });
    on("downbtn", [this] { set_direction(1); });
    on("leftbtn", [this] { set_direction(2); });
    on("widebtn", [this] { set_layout(1); });
    on("split2btn", [this] { set_layout(2); });
    on("split4btn", [this] { set_layout(3); });
    on("ballbtn", [this] { set_layout(4); });
    on("brightness", [this] {
        controller_->reset_brightness();
        shell_.window()->set_slider_value("sliderBright", kDefaultBrightness);
    });
    on("OffMirrorbtn", [this] { set_mirror(true); });
    on("OnMirrorbtn", [this] { set_mirror(false); });
    on("btnPlaylistShow", [this] {
        if (is_open(state_)) controller_->turn_views(-kViewTurnDeg);
    });
    on("btnPlaylistHide", [this] {
        if (is_open(state_)) controller_->turn_views(kViewTurnDeg);
    });
    on("btnBiaoding", [this] { start_calibration_tool(); });
    on("btnHelp", [this] { open_help(); });

    on_value("sliderPlay", [this](int value) {
        if (my_slider_dragging(shell_.window()->widget("sliderPlay"))) {
            preview(value);
        } else {
            seek(value);
        }
    });
    on_value("sliderVol", [this](int value) {
        controller_->set_volume(value);
        muted_ = false;
        shell_.window()->set_visible("btnVolume", true);
        shell_.window()->set_visible("btnVolumeZero", false);
    });
    on_value("sliderBright", [this](int value) { controller_->set_brightness(value); });

    GtkWidget* seek_slider = shell_.window()->widget("sliderPlay");
    my_slider_set_preview(seek_slider, [this](int value) {
        shell_.messages()->send(shell::kMsgSeekPreview, 0, value);
    });
    my_slider_set_released(seek_slider, [this](int value) { seek(value); });
}

// --- messages

void PlaybackWiring::on_message(unsigned message, MessageBridge::Handler handler) {
    messages_.push_back(message);
    shell_.messages()->on(message, std::move(handler));
}

void PlaybackWiring::connect_messages() {
    using M = platform::WindowMessage;
    on_message(controller::kMsgFileOpened,
               [this](const M& m) { on_opened(static_cast<unsigned>(m.wparam)); });
    on_message(controller::kMsgEndOfFile,
               [this](const M& m) { on_end_of_file(static_cast<unsigned>(m.wparam)); });
    on_message(controller::kMsgOpenFailed, [this](const M& m) {
        on_open_failed(static_cast<unsigned>(m.wparam), static_cast<int>(m.lparam));
    });
    on_message(controller::kMsgStopped,
               [this](const M& m) { on_stopped(static_cast<unsigned>(m.wparam)); });
    on_message(controller::kMsgDisplayFailed, [this](const M& m) {
        if (static_cast<unsigned>(m.wparam) != open_generation_) return;
        tell(kTextDisplayFailed, "The video cannot be shown.");
        stop();
    });
    on_message(shell::kMsgProgress,
               [this](const M&) { on_position(position_ms_ / 1000, position_ms_); });
    on_message(shell::kMsgPlayCurrent, [this](const M&) { start_current(); });
    on_message(shell::kMsgNextFile, [this](const M&) {
        if (is_open(state_)) next(playlist::Direction::next, true);
    });
    on_message(shell::kMsgSeekPreview, [this](const M& m) { preview(static_cast<int>(m.lparam)); });
    on_message(shell::kMsgDoubleClick, [this](const M&) { set_full_screen(!full_screen_); });
    on_message(shell::kMsgPosition, [this](const M& m) {
        on_position(static_cast<std::int64_t>(m.wparam), static_cast<std::uint32_t>(m.lparam));
    });
    on_message(shell::kMsgMouse, [this](const M&) {
        if (is_open(state_)) controller_->save_view();
    });
    on_message(shell::kMsgApplyView, [this](const M&) {
        view_pending_ = false;
        apply_view();
    });
    on_message(shell::kMsgDropFile, [this](const M& m) { on_player_drop(m.wparam); });
    on_message(kMsgDroppedPathCopied, [this](const M& m) {
        if (static_cast<unsigned>(m.wparam) != open_generation_) return;
        std::string path;
        {
            std::lock_guard<std::mutex> lock(dropped_->mutex);
            path.swap(dropped_->path);
        }
        if (!path.empty()) open_paths({path});
    });
}

// The player's drop buffer belongs to the player: only the worker, which
// alone destroys players, may read it, and only while the player of the
// open that posted it still plays.
void PlaybackWiring::on_player_drop(std::uintptr_t buffer) {
    if (!is_open(state_) || buffer == 0) return;
    const unsigned generation = open_generation_;
    controller::PlayerController* c = controller_.get();
    const platform::NativeWindow host = shell_.messages()->window();
    std::shared_ptr<DroppedPath> slot = dropped_;
    controller_->run_on_worker([=](DOR_SpherePlayer* player) {
        const controller::PlaybackSnapshot s = c->snapshot();
        if (player == nullptr || !s.open || s.generation != generation) return;
        {
            std::lock_guard<std::mutex> lock(slot->mutex);
            slot->path = reinterpret_cast<const char*>(buffer);
        }
        platform::post_message(host, kMsgDroppedPathCopied, generation, 0);
    });
}

// --- keys, drops, size

void PlaybackWiring::connect_keys_and_drops() {
    GtkWidget* top = GTK_WIDGET(shell_.window()->window());
    // Before the focused control: the arrows step pictures even when a
    // slider or the playlist has the focus (only a text field keeps them).
    g_signal_connect(top, "key-press-event",
                     G_CALLBACK(+[](GtkWidget* w, GdkEventKey* e, gpointer self) -> gboolean {
                         return static_cast<PlaybackWiring*>(self)->on_key(w, e, true);
                     }),
                     this);
    g_signal_connect(top, "key-release-event",
                     G_CALLBACK(+[](GtkWidget* w, GdkEventKey* e, gpointer self) -> gboolean {
                         return static_cast<PlaybackWiring*>(self)->on_key(w, e, false);
                     }),
                     this);
    g_signal_connect(top, "window-state-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEventWindowState* e, gpointer self) -> gboolean {
                         auto* wiring = static_cast<PlaybackWiring*>(self);
                         if ((e->changed_mask & GDK_WINDOW_STATE_FULLSCREEN) == 0) return FALSE;
                         const bool on = (e->new_window_state & GDK_WINDOW_STATE_FULLSCREEN) != 0;
                         if (on != wiring->full_screen_) wiring->show_full_screen(on);
                         return FALSE;
                     }),
                     this);
    GtkTargetEntry target{const_cast<char*>(kUriListTarget), 0, 0};
    gtk_drag_dest_set(top, GTK_DEST_DEFAULT_ALL, &target, 1, GDK_ACTION_COPY);
    g_signal_connect(
        top, "drag-data-received",
        G_CALLBACK(+[](GtkWidget*, GdkDragContext*, gint, gint, GtkSelectionData* data, guint,
                       guint, gpointer self) {
            const guchar* bytes = gtk_selection_data_get_data(data);
            const gint length = gtk_selection_data_get_length(data);
            if (bytes == nullptr || length <= 0) return;
            static_cast<PlaybackWiring*>(self)->open_paths(
                playlist::paths_from_uri_list(std::string(reinterpret_cast<const char*>(bytes),
                                                          static_cast<std::size_t>(length))));
        }),
        this);
    g_signal_connect(shell_.window()->widget("wndMedia"), "size-allocate",
                     G_CALLBACK(+[](GtkWidget*, GdkRectangle*, gpointer self) {
                         static_cast<PlaybackWiring*>(self)->on_video_resized();
                     }),
                     this);
}

bool PlaybackWiring::on_key(GtkWidget* top, GdkEventKey* e, bool press) {
    const bool arrow = e->keyval == GDK_KEY_Left || e->keyval == GDK_KEY_Right;
    if (arrow) {
        if (GTK_IS_ENTRY(gtk_window_get_focus(GTK_WINDOW(top)))) return FALSE;
        if (!press && is_open(state_)) controller_->step(e->keyval == GDK_KEY_Right);
        return TRUE;
    }
    if (e->keyval == GDK_KEY_Escape && !press && full_screen_) {
        set_full_screen(false);
        return TRUE;
    }
    return FALSE;
}

void PlaybackWiring::on_video_resized() {
    int w = 0, h = 0;
    video_size(&w, &h);
    if ((w == video_width_ && h == video_height_) || !is_open(state_) || view_pending_) return;
    view_pending_ = true;  // one view change for a burst of sizes
    shell_.messages()->post(shell::kMsgApplyView);
}

void PlaybackWiring::video_size(int* width, int* height) const {
    GtkWidget* video = shell_.window()->widget("wndMedia");
    const int scale = gtk_widget_get_scale_factor(video);
    *width = std::max(1, gtk_widget_get_allocated_width(video) * scale);
    *height = std::max(1, gtk_widget_get_allocated_height(video) * scale);
}

// --- opening and stopping

bool PlaybackWiring::open_paths(const std::vector<std::string>& paths) {
    std::vector<std::string> found;
    for (const std::string& p : paths) {
        const std::string path = absolute(p);
        if (g_file_test(path.c_str(), G_FILE_TEST_IS_DIR)) {
            for (std::string& f : playlist::collect_recordings(path)) found.push_back(std::move(f));
        } else if (playlist::PlaylistModel::acceptable(path)) {
            found.push_back(path);
        }
    }
    if (found.empty()) return false;
    playlist_->add(found);
    play(found.front());
    return true;
}

void PlaybackWiring::play(const std::string& path) {
    current_ = path;
    shell_.messages()->post(shell::kMsgPlayCurrent);
}

// Message 1124: whatever plays stops; the open continues on "stopped", when
// the old player has let its video window go.
void PlaybackWiring::start_current() {
    if (current_.empty() || shell_.closing()) return;
    stop();
    open_after_stop_ = true;
    state_ = State::opening;
}

void PlaybackWiring::stop(std::function<void()> stopped) {
    const bool was_active = state_ != State::idle;
    if (stopped) after_stop_.push_back(std::move(stopped));
    open_after_stop_ = false;  // an open waiting for an earlier stop is off
    open_generation_ = 0;      // messages of the open that ran are stale now
    stop_generation_ = controller_->stop();
    if (was_active) {
        go_idle();
        each_observer([](PlaybackObserver* o) { o->on_stopped(); });
    }
}

void PlaybackWiring::on_stopped(unsigned generation) {
    if (generation != stop_generation_) return;  // a later stop follows
    std::vector<std::function<void()>> continuations;
    continuations.swap(after_stop_);
    for (auto& c : continuations) c();
    // The stopped player has let the video child go: a fresh one shows
    // black instead of the last picture, and takes the next player.
    video_window_ = wnd_media_display_recreate(shell_.window()->widget("wndMedia"));
    if (open_after_stop_) {
        open_after_stop_ = false;
        open_now();
    }
}

void PlaybackWiring::open_now() {
    MainWindow* w = shell_.window();
    const platform::NativeWindow video = video_window_;
    video_size(&video_width_, &video_height_);
    w->set_text("Label_PlayPath", current_);
    w->set_tooltip("Label_PlayPath", "file: " + current_);
    w->set_slider_value("sliderPlay", 0);
    position_ms_ = 0;
    seeking_ = false;
    unsigned generation = 0;
    if (video == 0) {  // no video window (the window is not shown): not the file's fault
        go_idle();
        tell(shell::kTextCannotPlay, "The file cannot be played.");
        return;
    }
    if (!controller_->open(current_, reinterpret_cast<DOR_NativeWindow>(video), video_width_,
                           video_height_, &generation)) {
        open_failed(current_);
        return;
    }
    state_ = State::opening;
    open_generation_ = generation;
    opened_at_ = g_get_monotonic_time();
}

void PlaybackWiring::on_opened(unsigned generation) {
    if (generation != open_generation_) return;
    state_ = State::playing;
    const controller::PlaybackSnapshot s = controller_->snapshot();
    MainWindow* w = shell_.window();
    for (const auto& c : controller::playing_controls(s.kind, mirrored_)) {
        w->set_visible(c.name, c.visible);
    }
    const bool has_track = s.track && !s.track->empty();
    if (const auto height = controller::playing_panel_height(current_, has_track)) {
        gtk_widget_set_size_request(w->widget("ctnPlayWnd"), -1, *height);
        w->set_visible("gsensor_panel", has_track);
    }
    controller_->set_brightness(slider_value(w->widget("sliderBright")));
    w->set_text("labelPlayTime", controller::position_label(0, s.duration_s));
    playlist_->played(current_);
    layout_ = s.layout;
    direction_ = s.direction;
    on_video_resized();  // the window may have changed size while opening
    platform::debug_printf(128, "KVP: file opened in %lld ms\n",
                           static_cast<long long>((g_get_monotonic_time() - opened_at_) / 1000));
    each_observer([&](PlaybackObserver* o) { o->on_opened(current_, s.duration_ms); });
}

void PlaybackWiring::on_open_failed(unsigned generation, int code) {
    if (generation != open_generation_) return;
    platform::debug_printf(256, "KVP: %s does not open (%d)\n", current_.c_str(), code);
    open_generation_ = 0;
    open_failed(current_);
}

// The file stays in the playlist when it is not there (an unplugged card)
// and leaves it when it is there but does not play.
void PlaybackWiring::open_failed(const std::string& path) {
    state_ = State::idle;
    go_idle();
    tell(shell::kTextCannotPlay, "The file cannot be played.");
    if (platform::is_regular_file(path)) playlist_->remove(path);
    each_observer([](PlaybackObserver* o) { o->on_stopped(); });
}

void PlaybackWiring::go_idle() {
    state_ = State::idle;
    MainWindow* w = shell_.window();
    for (const auto& c : controller::idle_controls()) w->set_visible(c.name, c.visible);
    gtk_widget_set_size_request(w->widget("ctnPlayWnd"), -1, controller::kPlayPanelHeight);
    w->show_stopped_state();
    w->set_text("labelPlayTime", "");
}

void PlaybackWiring::on_end_of_file(unsigned generation) {
    if (generation != open_generation_) return;
    const controller::PlaybackSnapshot s = controller_->snapshot();
    shell_.window()->set_slider_value("sliderPlay", kSeekSliderEnd);
    shell_.window()->set_text("labelPlayTime",
                              controller::position_label(s.duration_s, s.duration_s));
    next(playlist::Direction::next, true);
}

void PlaybackWiring::next(playlist::Direction direction, bool) {
    const auto path = playlist_->choose(direction);
    if (!path) {
        stop();
        return;
    }
    play(*path);
}

// --- playing

void PlaybackWiring::on_position(std::int64_t second, std::int64_t ms) {
    if (!is_open(state_)) return;  // a tick of a player that has gone
    position_ms_ = ms;
    const controller::PlaybackSnapshot s = controller_->snapshot();
    GtkWidget* slider = shell_.window()->widget("sliderPlay");
    if (!my_slider_dragging(slider)) {
        shell_.window()->set_text("labelPlayTime",
                                  controller::position_label(second, s.duration_s));
        shell_.window()->set_slider_value(
            "sliderPlay", controller::slider_position(static_cast<int>(second), s.duration_s));
    }
    if (seeking_) {
        seeking_ = false;
        each_observer([ms](PlaybackObserver* o) { o->on_seek_finished(ms); });
    } else {
        each_observer([ms](PlaybackObserver* o) { o->on_position(ms); });
    }
}

void PlaybackWiring::preview(int value) {
    const controller::PlaybackSnapshot s = controller_->snapshot();
    const std::int64_t second = static_cast<std::int64_t>(value) * s.duration_s / kSeekSliderEnd;
    shell_.window()->set_text("labelPlayTime", controller::position_label(second, s.duration_s));
}

void PlaybackWiring::pause() {
    if (state_ != State::playing) return;
    controller_->pause();
    state_ = State::paused;
    shell_.window()->set_visible("btnPlay", true);
    shell_.window()->set_visible("btnPause", false);
    each_observer([](PlaybackObserver* o) { o->on_paused(); });
}

void PlaybackWiring::resume() {
    if (state_ != State::paused) return;
    controller_->resume();
    state_ = State::playing;
    shell_.window()->set_visible("btnPlay", false);
    shell_.window()->set_visible("btnPause", true);
    each_observer([](PlaybackObserver* o) { o->on_resumed(); });
}

void PlaybackWiring::seek(int permille) {
    if (!is_open(state_)) return;
    my_slider_set_dragging(shell_.window()->widget("sliderPlay"), false);
    preview(std::clamp(permille, 0, kSeekSliderEnd));
    seeking_ = true;
    each_observer([](PlaybackObserver* o) { o->on_seek_started(); });
    controller_->seek_permille(permille);
}

void PlaybackWiring::set_mirror(bool on) {
    mirrored_ = on;
    controller_->set_mirror(on);
    shell_.window()->set_visible("OffMirrorbtn", !on);
    shell_.window()->set_visible("OnMirrorbtn", on);
}

void PlaybackWiring::set_layout(int layout) {
    if (is_open(state_)) controller_->save_view();
    layout_ = layout;
    apply_view();
}

void PlaybackWiring::set_direction(int direction) {
    direction_ = direction;
    apply_view();
}

void PlaybackWiring::apply_view() {
    video_size(&video_width_, &video_height_);
    controller_->set_view(direction_, layout_, video_width_, video_height_);
}

// With a window manager that knows full screen, it places the window;
// without one the window covers its monitor itself and goes back to the
// placement saved on the way in.
void PlaybackWiring::set_full_screen(bool on) {
    if (on == full_screen_) return;
    GtkWindow* top = shell_.window()->window();
    GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(top));
    const bool managed = gdk_x11_screen_supports_net_wm_hint(
        gtk_window_get_screen(top), gdk_atom_intern_static_string("_NET_WM_STATE_FULLSCREEN"));
    if (on) {
        gtk_window_get_position(top, &placement_.x, &placement_.y);
        gtk_window_get_size(top, &placement_.width, &placement_.height);
    }
    show_full_screen(on);
    if (managed) {
        on ? gtk_window_fullscreen(top) : gtk_window_unfullscreen(top);
        return;
    }
    if (on) {
        GdkRectangle area;
        gdk_monitor_get_geometry(
            gdk_display_get_monitor_at_window(gdk_window_get_display(window), window), &area);
        gtk_window_set_keep_above(top, TRUE);
        gtk_window_move(top, area.x, area.y);
        gtk_window_resize(top, area.width, area.height);
    } else {
        gtk_window_set_keep_above(top, FALSE);
        gtk_window_resize(top, placement_.width, placement_.height);
        gtk_window_move(top, placement_.x, placement_.y);
    }
}

void PlaybackWiring::show_full_screen(bool on) {
    full_screen_ = on;
    shell_.window()->set_visible("btnScreenNormal", on);
    shell_.window()->set_visible("btnScreenFull", !on);
    shell_.window()->set_visible("ctnCaption", !on);
}

// --- helpers started for the user

void PlaybackWiring::start_calibration_tool() {
    std::string calibration = controller_->snapshot().calibration_path;
    if (calibration.empty()) calibration = controller::calibration_beside(current_);
    if (calibration.empty()) {
        calibration = controller::read_player_settings(shell_.program_dir()).calibration_path;
    }
    const std::string program = platform::join_path(executable_dir(), kCalibrationTool);
    const gchar* argv[] = {program.c_str(), current_.c_str(), calibration.c_str(), nullptr};
    GError* error = nullptr;
    if (!g_spawn_async(nullptr, const_cast<gchar**>(argv), nullptr, G_SPAWN_DEFAULT, nullptr,
                       nullptr, nullptr, &error)) {
        const bool missing =
            error->domain == G_SPAWN_ERROR &&
            (error->code == G_SPAWN_ERROR_NOENT || error->code == G_SPAWN_ERROR_ACCES);
        platform::debug_printf(512, "KVP: %s: %s\n", program.c_str(), error->message);
        g_error_free(error);
        if (missing) show_message("Error", kToolNotFound);
    }
}

void PlaybackWiring::open_help() {
    const std::string name = shell_.text(shell::kTextHelpDocument);
    if (name.empty()) return;
    gchar* uri = g_filename_to_uri(platform::join_path(shell_.program_dir(), name).c_str(), nullptr,
                                   nullptr);
    if (uri == nullptr) return;
    GError* error = nullptr;
    if (!gtk_show_uri_on_window(shell_.window()->window(), uri, GDK_CURRENT_TIME, &error)) {
        platform::debug_printf(512, "KVP: help: %s\n", error->message);
        g_error_free(error);
    }
    g_free(uri);
}

void PlaybackWiring::tell(int text_number, const char* fallback) {
    const std::string text = shell_.text(text_number);
    show_message(kMessageCaption, text.empty() ? fallback : text);
}

// A message box that leaves the main loop running.
void PlaybackWiring::show_message(const std::string& caption, const std::string& text) {
    last_message_ = text;
    if (std::getenv("KVP_NO_MESSAGE_BOXES") != nullptr) {
        std::fprintf(stderr, "KVP: %s\n", text.c_str());
        return;
    }
    GtkWidget* box =
        gtk_message_dialog_new(shell_.window()->window(), GTK_DIALOG_DESTROY_WITH_PARENT,
                               GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(box), caption.c_str());
    g_signal_connect(box, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
    gtk_widget_show(box);
}

template <typename F>
void PlaybackWiring::each_observer(F f) {
    for (PlaybackObserver* o : shell_.playback_observers()) f(o);
}
