#include "playlist_view.h"

#include "file_dialogs.h"
#include "platform/debug_output.h"
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

}  // namespace

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
    show();
    store();
}

PlaylistView::~PlaylistView() {
    if (menu_) gtk_widget_destroy(menu_->root());
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
