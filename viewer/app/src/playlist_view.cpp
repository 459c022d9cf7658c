#include "playlist_view.h"

#include "file_dialogs.h"
#include "platform/debug_output.h"
#include "trips/folder_scan.h"
#include "viewer_shell.h"

namespace {

// Texts of the play-mode menu.
constexpr int kTextSequence = 52;
constexpr int kTextRandom = 53;
constexpr int kTextSingleCircle = 54;

struct MenuItem {
    const char* button;
    const char* check;
    const char* label;
    int text;
    int mode;
};
const MenuItem kMenuItems[] = {
    {"menuSequence", "lab_item0", "lab_menuSequence", kTextSequence, playlist::kSequence},
    {"menuRandom", "lab_item1", "lab_menuRandom", kTextRandom, playlist::kRandom},
    {"menuSingleCircle", "lab_item2", "lab_menuSingleCircle", kTextSingleCircle,
     playlist::kSingleCircle},
};

constexpr guint kRightButton = 3;

}  // namespace

// A row's folder scanned on a worker thread: FFmpeg probes every recording
// of the folder, which takes too long for the main loop.
struct PlaylistView::TripLookup {
    std::string path;
    std::vector<std::string> files;  // filled by the worker
    std::weak_ptr<PlaylistView*> view;
};

PlaylistView::PlaylistView(ViewerShell& shell, std::function<void(const std::string&)> play)
    : shell_(shell),
      play_(std::move(play)),
      model_(shell.settings().playlist, shell.settings().config.play_mode,
             shell.settings().config.last_index) {
    shell_.handle_control("btnAdd", [this](Notify kind) {
        if (kind != Notify::click) return;
        choose_recordings(shell_.window()->window(), true,
                          [this](const std::vector<std::string>& paths) { add(paths); });
    });
    shell_.handle_control("btnDelete", [this](Notify kind) {
        if (kind == Notify::click) delete_all();
    });
    shell_.handle_control("btnDelOne", [this](Notify kind) {
        if (kind == Notify::click) delete_selected();
    });
    shell_.handle_control("btnPlayMode", [this](Notify kind) {
        if (kind == Notify::click) open_menu();
    });
    shell_.handle_control("treePlaylist", [this](Notify kind) {
        if (kind == Notify::item_activate) on_activate();
    });
    if (GtkWidget* tree = shell_.window()->widget("treePlaylist")) {
        g_signal_connect(tree, "button-press-event",
                         G_CALLBACK(+[](GtkWidget*, GdkEventButton* event, gpointer self) {
                             return static_cast<gboolean>(
                                 static_cast<PlaylistView*>(self)->on_button_press(event));
                         }),
                         this);
        // The menu key and Shift+F10: the selected row's menu.
        g_signal_connect(tree, "popup-menu", G_CALLBACK(+[](GtkWidget*, gpointer self) {
                             auto* view = static_cast<PlaylistView*>(self);
                             const int row = view->selected_row();
                             if (row >= 0) view->open_row_menu(row, nullptr);
                             return static_cast<gboolean>(row >= 0);
                         }),
                         this);
    }
    show();
    store();
}

PlaylistView::~PlaylistView() {
    if (menu_) gtk_widget_destroy(menu_->root());
    if (row_menu_) gtk_widget_destroy(row_menu_->root());
}

void PlaylistView::add(const std::vector<std::string>& paths) {
    bool added = false;
    for (const std::string& path : paths) added = model_.add(path).has_value() || added;
    if (!added) return;
    show();
    store();
}

void PlaylistView::remove(const std::string& path) {
    if (const auto index = model_.index_of(path)) {
        platform::debug_printf(256, "File Index = %d  Tree Start %d \n", static_cast<int>(*index),
                               0);
        model_.remove(*index);
        show();
        store();
    }
}

std::optional<std::string> PlaylistView::choose(playlist::Direction direction) {
    const auto index = model_.choose(direction);
    show();
    store();
    if (!index) return std::nullopt;
    return model_.entries()[*index];
}

void PlaylistView::played(const std::string& path) {
    const auto index = model_.index_of(path);
    if (!index || static_cast<int>(*index) == model_.last_index()) return;
    model_.set_last(*index);
    show();
    store();
}

void PlaylistView::set_play_mode(int mode) {
    model_.set_play_mode(mode);
    store();
}

void PlaylistView::open_menu() {
    if (!menu_) {
        std::string error;
        menu_ = LayoutSet::build("menu", &error);
        if (!menu_) {
            platform::debug_printf(512, "KVP: no play-mode menu: %s\n", error.c_str());
            return;
        }
        gtk_popover_set_relative_to(GTK_POPOVER(menu_->root()),
                                    shell_.window()->widget("btnPlayMode"));
        for (const MenuItem& item : kMenuItems) {
            const std::string text = shell_.text(item.text);
            GtkWidget* label = menu_->widget(item.label);
            if (!text.empty() && GTK_IS_LABEL(label))
                gtk_label_set_text(GTK_LABEL(label), text.c_str());
            g_object_set_data(menu_->object(item.button), "kvp-mode",
                              GINT_TO_POINTER(item.mode + 1));
            g_signal_connect(
                menu_->object(item.button), "clicked", G_CALLBACK(+[](GtkButton* b, gpointer self) {
                    auto* view = static_cast<PlaylistView*>(self);
                    view->set_play_mode(
                        GPOINTER_TO_INT(g_object_get_data(G_OBJECT(b), "kvp-mode")) - 1);
                    gtk_popover_popdown(GTK_POPOVER(view->menu_->root()));
                }),
                this);
        }
    }
    for (const MenuItem& item : kMenuItems) {
        gtk_widget_set_visible(menu_->widget(item.check), item.mode == model_.play_mode());
    }
    gtk_popover_popup(GTK_POPOVER(menu_->root()));
}

// A right click selects the row under the pointer and opens its menu.
bool PlaylistView::on_button_press(GdkEventButton* event) {
    if (event->type != GDK_BUTTON_PRESS || event->button != kRightButton) return false;
    GtkTreeView* tree = GTK_TREE_VIEW(shell_.window()->widget("treePlaylist"));
    GtkTreePath* path = nullptr;
    if (!gtk_tree_view_get_path_at_pos(tree, static_cast<gint>(event->x),
                                       static_cast<gint>(event->y), &path, nullptr, nullptr,
                                       nullptr)) {
        return false;
    }
    gtk_tree_selection_select_path(gtk_tree_view_get_selection(tree), path);
    const int row = gtk_tree_path_get_indices(path)[0];
    gtk_tree_path_free(path);
    open_row_menu(row, reinterpret_cast<const GdkEvent*>(event));
    return true;
}

bool PlaylistView::build_row_menu() {
    if (row_menu_) return true;
    std::string error;
    row_menu_ = LayoutSet::build("RowMenu", &error);
    if (!row_menu_) {
        platform::debug_printf(512, "KVP: no row menu: %s\n", error.c_str());
        return false;
    }
    g_signal_connect(row_menu_->object("menuExportTrip"), "activate",
                     G_CALLBACK(+[](GtkMenuItem*, gpointer self) {
                         static_cast<PlaylistView*>(self)->export_trip();
                     }),
                     this);
    return true;
}

// The menu opens at once with the export disabled; the row's folder is
// scanned on a worker and the item enabled when the recording is part of a
// trip.
void PlaylistView::open_row_menu(int row, const GdkEvent* event) {
    if (row < 0 || static_cast<std::size_t>(row) >= model_.size() || !build_row_menu()) return;
    row_path_ = model_.entries()[static_cast<std::size_t>(row)];
    row_trip_.clear();
    GtkWidget* item = row_menu_->widget("menuExportTrip");
    gtk_widget_set_sensitive(item, FALSE);
    gtk_widget_set_tooltip_text(item, nullptr);
    GtkMenu* menu = GTK_MENU(row_menu_->root());
    if (event != nullptr) {
        gtk_menu_popup_at_pointer(menu, event);
    } else {
        gtk_menu_popup_at_widget(menu, shell_.window()->widget("treePlaylist"), GDK_GRAVITY_CENTER,
                                 GDK_GRAVITY_NORTH_WEST, nullptr);
    }
    auto* lookup = new TripLookup{row_path_, {}, self_};
    GTask* task = g_task_new(
        nullptr, nullptr,
        +[](GObject*, GAsyncResult* result, gpointer) {
            auto* found = static_cast<TripLookup*>(g_task_get_task_data(G_TASK(result)));
            if (auto view = found->view.lock()) {
                (*view)->on_trip_found(found->path, std::move(found->files));
            }
        },
        nullptr);
    g_task_set_task_data(task, lookup, [](gpointer p) { delete static_cast<TripLookup*>(p); });
    g_task_run_in_thread(
        task, +[](GTask* t, gpointer, gpointer data, GCancellable*) {
            auto* scan = static_cast<TripLookup*>(data);
            gchar* folder = g_path_get_dirname(scan->path.c_str());
            const trips::FolderTrips found = trips::find_trips(folder);
            g_free(folder);
            scan->files = trips::trip_files_of(found.grouping, scan->path);
            g_task_return_boolean(t, TRUE);
        });
    g_object_unref(task);
}

void PlaylistView::on_trip_found(const std::string& path, std::vector<std::string> files) {
    if (!row_menu_ || path != row_path_) return;  // another row's menu by now
    row_trip_ = std::move(files);
    const bool trip = row_trip_.size() > 1;
    GtkWidget* item = row_menu_->widget("menuExportTrip");
    gtk_widget_set_sensitive(item, trip);
    if (trip) gtk_widget_set_tooltip_text(item, trips::trip_files_text(row_trip_).c_str());
}

void PlaylistView::export_trip() {
    if (row_trip_.size() < 2) return;
    shell_.open_convert_dialog(row_trip_);
}

int PlaylistView::selected_row() const {
    GtkTreeView* tree = GTK_TREE_VIEW(shell_.window()->widget("treePlaylist"));
    GtkTreeModel* store = nullptr;
    GtkTreeIter row;
    if (tree == nullptr ||
        !gtk_tree_selection_get_selected(gtk_tree_view_get_selection(tree), &store, &row)) {
        return -1;
    }
    GtkTreePath* path = gtk_tree_model_get_path(store, &row);
    const int index = gtk_tree_path_get_indices(path)[0];
    gtk_tree_path_free(path);
    return index;
}

void PlaylistView::on_activate() {
    const int row = selected_row();
    if (row < 0 || static_cast<std::size_t>(row) >= model_.size()) {
        platform::debug_output("Out\n");
        return;
    }
    model_.set_last(static_cast<std::size_t>(row));
    store();
    play_(model_.entries()[static_cast<std::size_t>(row)]);
}

void PlaylistView::delete_selected() {
    const int row = selected_row();
    if (row < 0 || static_cast<std::size_t>(row) >= model_.size()) return;
    model_.remove(static_cast<std::size_t>(row));
    show();
    // The row now at the same place, else the first.
    GtkTreeView* tree = GTK_TREE_VIEW(shell_.window()->widget("treePlaylist"));
    if (model_.size() > 0) {
        const int at = static_cast<std::size_t>(row) < model_.size() ? row : 0;
        GtkTreePath* path = gtk_tree_path_new_from_indices(at, -1);
        gtk_tree_selection_select_path(gtk_tree_view_get_selection(tree), path);
        gtk_tree_path_free(path);
    }
    store();
}

void PlaylistView::delete_all() {
    model_.clear();
    show();
    store();
}

void PlaylistView::show() {
    shell_.window()->show_playlist(model_.entries(), model_.last_index());
}

void PlaylistView::store() {
    shell::StoredSettings& s = shell_.settings();
    s.playlist = model_.entries();
    s.config.play_mode = model_.play_mode();
    s.config.last_index = model_.last_index();
}
