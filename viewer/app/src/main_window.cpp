#include "main_window.h"

#include <gdk/gdkx.h>

#include <algorithm>

#include "platform/paths.h"

namespace {

// Playlist tree columns (see Playlist.ui).
enum { kColumnName, kColumnPath, kColumnTag };
constexpr int kFileNodeTag = 1;

// Marks a range whose next value change comes from the user.
constexpr const char* kUserChangeKey = "kvp-user-change";
constexpr const char* kNameKey = "kvp-control-name";

MainWindow* window_of(gpointer data) {
    return static_cast<MainWindow*>(data);
}

std::string name_of(gpointer object) {
    const char* name = static_cast<const char*>(g_object_get_data(G_OBJECT(object), kNameKey));
    return name != nullptr ? name : "";
}

}  // namespace

std::unique_ptr<MainWindow> MainWindow::create(std::string* error) {
    std::unique_ptr<LayoutSet> layouts = LayoutSet::build_main(error);
    if (!layouts) return nullptr;
    return std::unique_ptr<MainWindow>(new MainWindow(std::move(layouts)));
}

MainWindow::MainWindow(std::unique_ptr<LayoutSet> layouts) : layouts_(std::move(layouts)) {}

MainWindow::~MainWindow() = default;

platform::NativeWindow MainWindow::native_window() const {
    GdkWindow* w = gtk_widget_get_window(layouts_->root());
    return w != nullptr ? GDK_WINDOW_XID(w) : 0;
}

void MainWindow::connect_notifications(NotifyHandler handler) {
    // The signals are connected once; a later call only replaces the handler.
    const bool connected = static_cast<bool>(handler_);
    handler_ = std::move(handler);
    if (connected) return;
    GSList* objects = gtk_builder_get_objects(layouts_->builder());
    for (GSList* o = objects; o != nullptr; o = o->next) {
        GObject* object = G_OBJECT(o->data);
        if (!GTK_IS_BUILDABLE(object)) continue;
        const char* name = gtk_buildable_get_name(GTK_BUILDABLE(object));
        if (name != nullptr) connect_control(object, name);
    }
    g_slist_free(objects);
}

void MainWindow::connect_control(GObject* object, const std::string& name) {
    g_object_set_data_full(object, kNameKey, g_strdup(name.c_str()), g_free);
    if (GTK_IS_BUTTON(object)) {
        g_signal_connect(object, "clicked", G_CALLBACK(+[](GtkButton* b, gpointer self) {
                             window_of(self)->handler_(name_of(b), Notify::click);
                         }),
                         this);
    } else if (GTK_IS_RANGE(object)) {
        // "change-value" comes only from the user, before the value is set;
        // the notification follows once the new value is in place.
        g_signal_connect(object, "change-value",
                         G_CALLBACK(+[](GtkRange* r, GtkScrollType, gdouble, gpointer) -> gboolean {
                             g_object_set_data(G_OBJECT(r), kUserChangeKey, GINT_TO_POINTER(1));
                             return FALSE;
                         }),
                         nullptr);
        g_signal_connect(object, "value-changed", G_CALLBACK(+[](GtkRange* r, gpointer self) {
                             if (g_object_get_data(G_OBJECT(r), kUserChangeKey) == nullptr) return;
                             g_object_set_data(G_OBJECT(r), kUserChangeKey, nullptr);
                             window_of(self)->handler_(name_of(r), Notify::value_changed);
                         }),
                         this);
    } else if (GTK_IS_TREE_VIEW(object)) {
        g_signal_connect(
            object, "row-activated",
            G_CALLBACK(+[](GtkTreeView* t, GtkTreePath*, GtkTreeViewColumn*, gpointer self) {
                window_of(self)->handler_(name_of(t), Notify::item_activate);
            }),
            this);
    }
}

void MainWindow::set_text(std::string_view control, const std::string& text) {
    GtkWidget* w = widget(control);
    if (GTK_IS_BUTTON(w) && gtk_button_get_label(GTK_BUTTON(w)) != nullptr) {
        gtk_button_set_label(GTK_BUTTON(w), text.c_str());
    } else if (GTK_IS_LABEL(w)) {
        gtk_label_set_text(GTK_LABEL(w), text.c_str());
    } else if (GTK_IS_ENTRY(w)) {
        gtk_entry_set_text(GTK_ENTRY(w), text.c_str());
    }
}

void MainWindow::set_tooltip(std::string_view control, const std::string& text) {
    if (GtkWidget* w = widget(control)) {
        gtk_widget_set_tooltip_text(w, text.empty() ? nullptr : text.c_str());
    }
}

void MainWindow::set_visible(std::string_view control, bool visible) {
    if (GtkWidget* w = widget(control)) gtk_widget_set_visible(w, visible);
}

void MainWindow::set_slider_value(std::string_view control, double value) {
    GtkWidget* w = widget(control);
    if (GTK_IS_RANGE(w)) gtk_range_set_value(GTK_RANGE(w), value);
}

void MainWindow::apply_geometry(const shell::WindowGeometry& g, const GdkRectangle& monitor) {
    if (GtkWidget* side = widget("ctnSide"))
        gtk_widget_set_size_request(side, g.playlist_width, -1);
    if (GtkWidget* edit = widget("editSearch"))
        gtk_widget_set_size_request(edit, g.search_width, -1);
    GtkWidget* fixed = widget("ctnSearch");
    GtkWidget* search = widget("btnSearch");
    if (GTK_IS_FIXED(fixed) && search != nullptr) {
        gtk_fixed_move(GTK_FIXED(fixed), search, g.search_button_x, 0);
    }
    // The size rule covers the whole window; GTK sizes a window without its
    // client-side title bar.
    int titlebar_height = 0;
    if (GtkWidget* titlebar = gtk_window_get_titlebar(window())) {
        gtk_widget_get_preferred_height(titlebar, nullptr, &titlebar_height);
    }
    const int body_height = std::max(1, g.height - titlebar_height);
    gtk_window_set_default_size(window(), g.width, body_height);
    gtk_window_resize(window(), g.width, body_height);
    gtk_window_move(window(), shell::centred_origin(monitor.x, monitor.width, g.width),
                    shell::centred_origin(monitor.y, monitor.height, g.height));
}

void MainWindow::show_playlist(const std::vector<std::string>& paths, int selected) {
    GtkTreeStore* store = GTK_TREE_STORE(object("nodePlaylist"));
    GtkTreeView* tree = GTK_TREE_VIEW(widget("treePlaylist"));
    if (store == nullptr || tree == nullptr) return;
    gtk_tree_store_clear(store);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        GtkTreeIter row;
        gtk_tree_store_insert_with_values(store, &row, nullptr, -1, kColumnName,
                                          platform::file_name_of(paths[i]).c_str(), kColumnPath,
                                          paths[i].c_str(), kColumnTag, kFileNodeTag, -1);
        if (static_cast<int>(i) == selected) {
            gtk_tree_selection_select_iter(gtk_tree_view_get_selection(tree), &row);
        }
    }
}

void MainWindow::show_stopped_state() {
    set_visible("btnPlay", true);
    set_visible("btnPause", false);
}
