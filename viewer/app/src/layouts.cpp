#include "layouts.h"

#include <iterator>

#include "custom_controls.h"
#include "platform/text.h"

// The compiled resources (generated); they register themselves when the
// program starts, and referring to them keeps them in the program.
extern "C" GResource* kvp_get_resource(void);

namespace {

struct LayoutFile {
    const char* name;
    const char* resource;
    const char* root;  // id of its top object
};

const LayoutFile kLayouts[] = {
    {"Allwinview", "/kvp/layouts/Allwinview.ui", "Allwinview"},
    {"Caption", "/kvp/layouts/Caption.ui", "ctnCaption"},
    {"PlayPanel", "/kvp/layouts/PlayPanel.ui", "ctnPlayWnd"},
    {"Playlist", "/kvp/layouts/Playlist.ui", "ctnPlaylist"},
    {"menu", "/kvp/layouts/menu.ui", "MenuWnd"},
    {"RowMenu", "/kvp/layouts/RowMenu.ui", "RowMenu"},
    {"translage", "/kvp/layouts/translage.ui", "TranslateWnd"},
};

// The sub-layouts of the main window, in the order they are built.
const char* const kSubLayouts[] = {"Caption", "PlayPanel", "Playlist"};

const LayoutFile* find_layout(std::string_view name) {
    for (const LayoutFile& f : kLayouts) {
        if (platform::iequals(f.name, name)) return &f;
    }
    return nullptr;
}

bool add_layout(GtkBuilder* builder, const LayoutFile& file, std::string* error) {
    GError* e = nullptr;
    if (gtk_builder_add_from_resource(builder, file.resource, &e) != 0) return true;
    if (error != nullptr) *error = std::string("layout ") + file.name + ": " + e->message;
    g_error_free(e);
    return false;
}

// Puts `content` where the placeholder box `slot` stands: as the title bar
// when the slot is the window's title bar, else inside the slot.
void fill_slot(GtkWidget* window, GtkWidget* slot, GtkWidget* content) {
    if (GTK_IS_WINDOW(window) && gtk_window_get_titlebar(GTK_WINDOW(window)) == slot) {
        gtk_window_set_titlebar(GTK_WINDOW(window), content);
        return;
    }
    gtk_box_pack_start(GTK_BOX(slot), content, TRUE, TRUE, 0);
}

}  // namespace

std::string layout_resource(std::string_view layout) {
    const LayoutFile* f = find_layout(layout);
    return f != nullptr ? f->resource : "";
}

std::unique_ptr<LayoutSet> LayoutSet::build_main(std::string* error) {
    std::unique_ptr<LayoutSet> set = build("Allwinview", error);
    if (set && !set->add_sublayouts(error)) return nullptr;
    return set;
}

std::unique_ptr<LayoutSet> LayoutSet::build(std::string_view layout, std::string* error) {
    kvp_register_custom_controls();
    if (kvp_get_resource() == nullptr) {
        if (error != nullptr) *error = "the layouts are not compiled into the program";
        return nullptr;
    }
    const LayoutFile* file = find_layout(layout);
    if (file == nullptr) {
        if (error != nullptr) *error = "no layout named " + std::string(layout);
        return nullptr;
    }
    GtkBuilder* builder = gtk_builder_new();
    if (!add_layout(builder, *file, error)) {
        g_object_unref(builder);
        return nullptr;
    }
    GtkWidget* root = GTK_WIDGET(gtk_builder_get_object(builder, file->root));
    return std::unique_ptr<LayoutSet>(new LayoutSet(builder, root));
}

bool LayoutSet::add_sublayouts(std::string* error) {
    for (const char* name : kSubLayouts) {
        const LayoutFile* file = find_layout(name);
        GtkWidget* slot = widget(name);
        if (file == nullptr || slot == nullptr) {
            if (error != nullptr) *error = std::string("no place for the layout ") + name;
            return false;
        }
        if (!add_layout(builder_, *file, error)) return false;
        fill_slot(root_, slot, widget(file->root));
    }
    return true;
}

LayoutSet::~LayoutSet() {
    // Top-level windows and popovers belong to GTK's list of toplevels, not
    // to the builder: destroy them, which releases every control they hold.
    if (root_ != nullptr && gtk_widget_get_parent(root_) == nullptr) gtk_widget_destroy(root_);
    g_object_unref(builder_);
}

GObject* LayoutSet::object(std::string_view name) const {
    return gtk_builder_get_object(builder_, std::string(name).c_str());
}

GtkWidget* LayoutSet::widget(std::string_view name) const {
    GObject* o = object(name);
    return o != nullptr && GTK_IS_WIDGET(o) ? GTK_WIDGET(o) : nullptr;
}
