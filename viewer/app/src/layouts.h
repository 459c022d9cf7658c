// The layouts of the viewer's windows, compiled into the program as a
// GResource: "Allwinview" (the main window) with its sub-layouts
// "Caption", "PlayPanel" and "Playlist", "menu" (the play-mode menu) and
// "translage" (the conversion dialog). Every control carries its name as
// its builder id; one lookup finds a control in a window and all its
// sub-layouts.
//
// Thread-safety: UI thread only.
#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <string_view>

class LayoutSet {
public:
    // The main window: "Allwinview" with each empty box named after a
    // sub-layout filled with that layout ("Caption" becomes the window's
    // title bar). Null with a reason in `error` when a layout does not build.
    static std::unique_ptr<LayoutSet> build_main(std::string* error);
    // A layout that stands alone: "menu" or "translage".
    static std::unique_ptr<LayoutSet> build(std::string_view layout, std::string* error);
    ~LayoutSet();
    LayoutSet(const LayoutSet&) = delete;
    LayoutSet& operator=(const LayoutSet&) = delete;

    // The control of that name, or null.
    GObject* object(std::string_view name) const;
    GtkWidget* widget(std::string_view name) const;
    // The layout's root: the main window, the menu's popover, the dialog.
    GtkWidget* root() const { return root_; }
    GtkBuilder* builder() const { return builder_; }

private:
    LayoutSet(GtkBuilder* builder, GtkWidget* root) : builder_(builder), root_(root) {}
    bool add_sublayouts(std::string* error);

    GtkBuilder* builder_ = nullptr;
    GtkWidget* root_ = nullptr;
};

// The resource path of a layout's file, "" for an unknown layout. Names are
// compared without regard to case.
std::string layout_resource(std::string_view layout);
