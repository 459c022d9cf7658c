#include "viewer_shell.h"

#include <glib-unix.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "custom_controls.h"
#include "platform/debug_output.h"
#include "map/map_routes.h"
#include "platform/ini.h"
#include "platform/paths.h"
#include "shell/controls.h"
#include "shell/map_page.h"
#include "shell/update_files.h"

namespace {

constexpr const char* kUpdateHelperName = "kvp-update-check";
constexpr const char* kUpdaterResource = "/kvp/bin/kqswup_ex";
constexpr double kDefaultBrightness = 50.0;

void tell_user(const std::string& text) {
    std::fprintf(stderr, "KVP: %s\n", text.c_str());
}

std::string updater_program_bytes() {
    GBytes* bytes =
        g_resources_lookup_data(kUpdaterResource, G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
    if (bytes == nullptr) return "";
    gsize size = 0;
    const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    std::string program(data, size);
    g_bytes_unref(bytes);
    return program;
}

void apply_style() {
    GtkSettings* settings = gtk_settings_get_default();
    if (settings != nullptr) {
        g_object_set(settings, "gtk-application-prefer-dark-theme", TRUE, nullptr);
    }
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_resource(css, "/kvp/style/kvp.css");
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(css);
}

// Reports the first drawn frame once (the start-up time's end mark).
gboolean report_first_draw(GtkWidget* widget, cairo_t*, gpointer) {
    platform::debug_output("KVP: first frame drawn\n");
    g_signal_handlers_disconnect_by_func(widget, reinterpret_cast<gpointer>(report_first_draw),
                                         nullptr);
    return FALSE;
}

}  // namespace

std::string executable_dir() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return platform::program_dir();
    const std::string exe(path, static_cast<std::size_t>(n));
    return exe.substr(0, exe.find_last_of('/'));
}

ViewerShell::ViewerShell()
    : program_dir_(platform::program_dir()), store_(shell::current_settings_folder_inputs()) {
    if (!store_.notice().empty()) tell_user(store_.notice());
    settings_ = store_.load();
    stop_playback = [](std::function<void()> stopped) { stopped(); };
}

ViewerShell::~ViewerShell() {
    shutdown();
}

bool ViewerShell::start(std::string* error) {
    apply_style();
    window_ = MainWindow::create(error);
    if (!window_) return false;
    GtkWidget* top = GTK_WIDGET(window_->window());
    gtk_widget_realize(top);
    messages_ = std::make_unique<MessageBridge>(window_->native_window());
    initialise_window();
    handle_control("btnTranslate", [this](Notify kind) {
        if (kind == Notify::click) open_convert_dialog();
    });
    g_signal_connect(top, "delete-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) -> gboolean {
                         static_cast<ViewerShell*>(self)->request_close();
                         return TRUE;  // the window stays until the shutdown
                     }),
                     this);
    g_signal_connect_after(top, "draw", G_CALLBACK(report_first_draw), nullptr);
    // A monitor added, removed or resized: the size rule for the new width.
    g_signal_connect(gtk_widget_get_screen(top), "monitors-changed",
                     G_CALLBACK(+[](GdkScreen*, gpointer self) {
                         static_cast<ViewerShell*>(self)->apply_size_rule();
                     }),
                     this);
    for (int i = 0; i < 2; ++i) {
        signal_sources_[i] = g_unix_signal_add(
            i == 0 ? SIGINT : SIGTERM,
            +[](gpointer self) -> gboolean {
                static_cast<ViewerShell*>(self)->request_close();
                return G_SOURCE_CONTINUE;
            },
            this);
    }
    gtk_widget_show(top);
    gtk_window_present(window_->window());
    return true;
}

void ViewerShell::initialise_window() {
    gtk_window_set_icon_name(window_->window(), "camera-video");
    apply_size_rule();
    window_->connect_notifications(
        [this](const std::string& control, Notify kind) { on_notify(control, kind); });
    window_->set_visible("gpsview", true);
    apply_texts();
    load_map_page();
    window_->set_slider_value("sliderBright", kDefaultBrightness);
    check_update_files();
    if (updates_enabled_ && store_.owns_folder() &&
        store_.days_since_update_check(shell::file_time_now()) >= shell::kUpdateIntervalDays) {
        // After the first frame: starting the helper costs time the window
        // should not wait for.
        update_source_ = g_idle_add_full(
            G_PRIORITY_LOW,
            +[](gpointer self) -> gboolean {
                auto* shell = static_cast<ViewerShell*>(self);
                shell->update_source_ = 0;
                shell->run_update_check("the last check is too old");
                return G_SOURCE_REMOVE;
            },
            this, nullptr);
    }
    window_->show_playlist(settings_.playlist, settings_.config.last_index);
    window_->show_stopped_state();
    telemetry_ =
        std::make_unique<TelemetryPanel>(window_.get(), rules_.units_flag, rules_.map_type);
    add_playback_observer(telemetry_.get());
    start_test_playback_feed(telemetry_.get());
}

void ViewerShell::apply_texts() {
    std::string why;
    language_ = shell::LanguagePlugin::load(program_dir_, &why);
    if (!language_) {
        platform::debug_printf(1024, "KVP: no texts: %s\n", why.c_str());
        rules_ = shell::language_rules(std::nullopt);
    } else {
        rules_ = shell::language_rules(language_->language_code());
        std::size_t count = 0;
        const shell::ControlSpec* specs = shell::control_specs(&count);
        for (std::size_t i = 0; i < count; ++i) {
            if (specs[i].layout != shell::Layout::main || specs[i].tooltip_text == 0) continue;
            window_->set_tooltip(specs[i].name, language_->text(specs[i].tooltip_text));
        }
        window_->set_text("PlayListTitle", language_->text(shell::kTextPlaylistTitle));
    }
    const std::string title = language_ ? language_->text(shell::kTextTitle) : "";
    const std::string text =
        shell::title_button_text(title, shell::configured_version(program_dir_));
    if (!text.empty()) window_->set_text("btnTitle", text);
}

void ViewerShell::apply_size_rule() {
    GtkWidget* top = GTK_WIDGET(window_->window());
    GdkDisplay* display = gtk_widget_get_display(top);
    GdkMonitor* monitor = gdk_display_get_monitor_at_window(display, gtk_widget_get_window(top));
    if (monitor == nullptr) monitor = gdk_display_get_primary_monitor(display);
    if (monitor == nullptr) return;
    GdkRectangle area;
    gdk_monitor_get_geometry(monitor, &area);
    window_->apply_geometry(shell::window_geometry_for_screen(area.width), area);
}

// The tile layer's URL template: KVP_MAP_TILE_URL, else [map] tileurl of
// lumoraui.osd, else OpenStreetMap's. An empty value draws no tiles.
static std::string map_tile_url(const std::string& program_dir) {
    if (const char* env = std::getenv("KVP_MAP_TILE_URL")) return env;
    return platform::ini_get_string(platform::join_path(program_dir, "lumoraui.osd"), "map",
                                    "tileurl", mappages::kDefaultTileUrl, 1024);
}

void ViewerShell::load_map_page() {
    const char* base = std::getenv("KVP_MAP_URL_BASE");
    std::string url;
    if (base != nullptr && *base) {
        url = shell::map_page_url(rules_.map_type, base);
    } else {
        map_server_ = std::make_unique<mappages::MapServer>(map_tile_url(program_dir_));
        std::string why;
        if (map_server_->start(mappages::kDefaultPort, &why)) {
            url = map_server_->page_url(rules_.map_type);
            platform::debug_printf(512, "KVP: map pages at %s\n", url.c_str());
        } else {
            tell_user(why);
            url = shell::map_page_url(rules_.map_type, shell::kMapServerBase);
        }
    }
    wke_webkit_ui_load_url(window_->widget("gpsview"), url);
}

void ViewerShell::check_update_files() {
    if (const auto missing = shell::first_missing_update_file(program_dir_)) {
        tell_user("the update file " + platform::join_path(program_dir_, *missing) +
                  " is missing; update checks are off");
        return;
    }
    std::string why;
    if (shell::ensure_updater(program_dir_, updater_program_bytes(), &why) ==
        shell::UpdaterState::missing) {
        tell_user("the updater is missing and cannot be written (" + why +
                  "); update checks are off");
        return;
    }
    std::string helper = platform::join_path(executable_dir(), kUpdateHelperName);
    if (!platform::path_exists(helper))
        helper = platform::join_path(program_dir_, kUpdateHelperName);
    updater_ = std::make_unique<UpdateRunner>(helper, program_dir_);
    updates_enabled_ = true;
}

void ViewerShell::run_update_check(const char* why) {
    if (!updates_enabled_ || updater_->running()) return;
    platform::debug_printf(256, "KVP: update check (%s)\n", why);
    std::string error;
    if (!store_.write_update_stamp(shell::file_time_now(), &error) && !error.empty()) {
        tell_user("cannot write the update stamp: " + error);
    }
    updater_->start(nullptr);
}

void ViewerShell::handle_control(const std::string& control, ControlHandler handler) {
    control_handlers_[control] = std::move(handler);
}

void ViewerShell::on_notify(const std::string& control, Notify kind) {
    if (const auto it = control_handlers_.find(control); it != control_handlers_.end()) {
        it->second(kind);
        return;
    }
    if (kind != Notify::click) return;
    if (control == "closebtn") {
        request_close();
    } else if (control == "minbtn") {
        gtk_window_iconify(window_->window());
    } else if (control == "maxbtn" || control == "restorebtn") {
        const bool maximise = control == "maxbtn";
        if (maximise) {
            gtk_window_maximize(window_->window());
        } else {
            gtk_window_unmaximize(window_->window());
        }
        window_->set_visible("maxbtn", !maximise);
        window_->set_visible("restorebtn", maximise);
    } else if (control == "btnTitle") {
        if (!is_playing || !is_playing()) run_update_check("asked for");
    } else {
        platform::debug_printf(256, "KVP: click on %s\n", control.c_str());
    }
}

// The dialog's preview is a second player, and sound and video output are
// the process's: the main window's player stops first.
void ViewerShell::open_convert_dialog(std::vector<std::string> trip) {
    if (convert_dialog_ || closing_) {
        if (!convert_dialog_) return;
        convert_dialog_->present();
        if (!trip.empty()) convert_dialog_->choose_trip(trip);  // not while it exports
        return;
    }
    stop_playback([this, trip = std::move(trip)] {
        if (convert_dialog_ || closing_ || !window_) return;
        ConvertDialog::Context context;
        context.parent = window_->window();
        context.program_dir = program_dir_;
        context.texts = language_.get();
        context.units_flag = rules_.units_flag;
        context.closed = [this] {
            if (convert_release_ != 0) return;
            convert_release_ = g_idle_add(
                +[](gpointer self) -> gboolean {
                    auto* shell = static_cast<ViewerShell*>(self);
                    shell->convert_release_ = 0;
                    shell->convert_dialog_.reset();
                    return G_SOURCE_REMOVE;
                },
                this);
        };
        std::string error;
        convert_dialog_ = ConvertDialog::create(std::move(context), &error);
        if (!convert_dialog_) {
            tell_user("cannot build the conversion dialog: " + error);
            return;
        }
        convert_dialog_->present();
        if (!trip.empty()) convert_dialog_->choose_trip(trip);
    });
}

void ViewerShell::request_close() {
    if (closing_) return;
    closing_ = true;
    stop_playback([this] {
        if (on_quit) {
            on_quit();
        } else if (gtk_main_level() > 0) {
            gtk_main_quit();
        }
    });
}

int ViewerShell::run() {
    std::string error;
    if (!start(&error)) {
        tell_user("cannot build the main window: " + error);
        return 1;
    }
    if (on_started) on_started();
    gtk_main();
    shutdown();
    return 0;
}

void ViewerShell::shutdown() {
    if (shut_down_) return;
    shut_down_ = true;
    if (update_source_ != 0) g_source_remove(update_source_);
    update_source_ = 0;
    for (guint& source : signal_sources_) {
        if (source != 0) g_source_remove(source);
        source = 0;
    }
    if (on_shutdown) on_shutdown();
    std::string error;
    if (window_ && !store_.save(settings_, &error) && !error.empty()) {
        tell_user("the settings were not saved: " + error);
    }
    if (convert_release_ != 0) g_source_remove(convert_release_);
    convert_release_ = 0;
    convert_dialog_.reset();  // ends its export and its preview
    if (window_)
        g_signal_handlers_disconnect_by_data(gtk_widget_get_screen(GTK_WIDGET(window_->window())),
                                             this);
    updater_.reset();
    messages_.reset();
    observers_.clear();
    telemetry_.reset();
    window_.reset();
    map_server_.reset();
    language_.reset();
}
