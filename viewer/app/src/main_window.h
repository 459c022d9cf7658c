// The main window as a view: the widgets of the "Allwinview" layouts, found
// by name, and the few things done to them as a whole (texts, size,
// playlist rows, the play/pause state). It decides nothing; the shell
// (viewer_shell.h) and later the player controller tell it what to show.
//
// Thread-safety: UI thread only.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "layouts.h"
#include "platform/window_messages.h"
#include "shell/window_rules.h"

// The notifications a control sends, by the name of the control.
enum class Notify { click, value_changed, item_click, item_activate };

class MainWindow {
public:
    using NotifyHandler = std::function<void(const std::string& control, Notify kind)>;

    static std::unique_ptr<MainWindow> create(std::string* error);
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    GtkWindow* window() const { return GTK_WINDOW(layouts_->root()); }
    GtkWidget* widget(std::string_view name) const { return layouts_->widget(name); }
    GObject* object(std::string_view name) const { return layouts_->object(name); }
    // The top-level X window; 0 before the window is realized.
    platform::NativeWindow native_window() const;

    // Sends every click, user value change and item activation to `handler`.
    // A value set by the program is never reported.
    void connect_notifications(NotifyHandler handler);

    void set_text(std::string_view control, const std::string& text);
    void set_tooltip(std::string_view control, const std::string& text);
    void set_visible(std::string_view control, bool visible);
    void set_slider_value(std::string_view control, double value);

    // The size rule's result: window size, playlist panel and search box;
    // the window is centred on `monitor` (logical pixels).
    void apply_geometry(const shell::WindowGeometry& geometry, const GdkRectangle& monitor);

    // One row per path, showing its file name; selects row `selected` (-1:
    // none).
    void show_playlist(const std::vector<std::string>& paths, int selected);
    // btnPlay shown, btnPause hidden.
    void show_stopped_state();

private:
    explicit MainWindow(std::unique_ptr<LayoutSet> layouts);
    void connect_control(GObject* object, const std::string& name);

    std::unique_ptr<LayoutSet> layouts_;
    NotifyHandler handler_;
};
