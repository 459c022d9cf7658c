// WndMediaDisplay: a control with a native GDK window of its own and, in
// it, a plain X11 child window for the player's OpenGL output. The player
// opens its own X connection and finds the child by its id, so the child is
// created with a GL visual and synced to the server before its id is handed
// out. We select no input on it: the player selects what it needs, and X
// lets only one client select button presses.
#include <gdk/gdkx.h>
#include <GL/glx.h>
#include <X11/Xlib.h>

#include <algorithm>

#include "custom_controls.h"
#include "platform/debug_output.h"

namespace {

// Double-buffered RGBA with depth bits for the viewports' depth test.
constexpr int kDepthBits = 16;

}  // namespace

struct WndMediaDisplay {
    GtkWidget parent;
    // --- the X child; all 0 while the control is not realized
    Window video;
    Colormap colormap;
    Window registered_parent;  // the top-level window the child reports to
};

struct WndMediaDisplayClass {
    GtkWidgetClass parent_class;
};

G_DEFINE_TYPE(WndMediaDisplay, wnd_media_display, GTK_TYPE_WIDGET)

namespace {

WndMediaDisplay* as_display(GtkWidget* widget) {
    return reinterpret_cast<WndMediaDisplay*>(widget);
}

Display* x_display_of(GtkWidget* widget) {
    return GDK_DISPLAY_XDISPLAY(gtk_widget_get_display(widget));
}

// The child's size in device pixels.
void device_size(GtkWidget* widget, unsigned* width, unsigned* height) {
    const int scale = gtk_widget_get_scale_factor(widget);
    *width = static_cast<unsigned>(std::max(1, gtk_widget_get_allocated_width(widget) * scale));
    *height = static_cast<unsigned>(std::max(1, gtk_widget_get_allocated_height(widget) * scale));
}

void destroy_child(WndMediaDisplay* self) {
    if (self->video == 0) return;
    Display* d = x_display_of(GTK_WIDGET(self));
    platform::unregister_window(self->video);
    XDestroyWindow(d, self->video);
    XFreeColormap(d, self->colormap);
    XSync(d, False);
    self->video = 0;
    self->colormap = 0;
}

// The GL visual of `d`, chosen once: choosing loads the GL driver, which
// costs the main loop a noticeable pause on every new child otherwise.
const XVisualInfo* gl_visual(Display* d) {
    static Display* chosen_for = nullptr;
    static XVisualInfo chosen{};
    if (chosen_for == d) return &chosen;
    int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_DEPTH_SIZE, kDepthBits, None};
    XVisualInfo* visual = glXChooseVisual(d, DefaultScreen(d), attributes);
    if (visual == nullptr) return nullptr;
    chosen = *visual;
    chosen_for = d;
    XFree(visual);
    return &chosen;
}

void create_child(WndMediaDisplay* self) {
    GtkWidget* widget = GTK_WIDGET(self);
    Display* d = x_display_of(widget);
    const XVisualInfo* visual = gl_visual(d);
    if (visual == nullptr) {
        platform::debug_output("KVP: no double-buffered GL visual with depth bits\n");
        return;
    }
    const Window parent = GDK_WINDOW_XID(gtk_widget_get_window(widget));
    self->colormap = XCreateColormap(d, parent, visual->visual, AllocNone);
    XSetWindowAttributes attrs{};
    attrs.colormap = self->colormap;
    attrs.background_pixel = BlackPixel(d, visual->screen);
    attrs.border_pixel = 0;
    unsigned width = 1, height = 1;
    device_size(widget, &width, &height);
    self->video = XCreateWindow(d, parent, 0, 0, width, height, 0, visual->depth, InputOutput,
                                visual->visual, CWColormap | CWBackPixel | CWBorderPixel, &attrs);
    if (gtk_widget_get_mapped(widget)) XMapWindow(d, self->video);
    XSync(d, False);
    GdkWindow* top = gtk_widget_get_window(gtk_widget_get_toplevel(widget));
    self->registered_parent = top != nullptr ? GDK_WINDOW_XID(top) : 0;
    platform::register_window(self->video, self->registered_parent, nullptr);
}

void resize_child(WndMediaDisplay* self) {
    if (self->video == 0) return;
    unsigned width = 1, height = 1;
    device_size(GTK_WIDGET(self), &width, &height);
    Display* d = x_display_of(GTK_WIDGET(self));
    XMoveResizeWindow(d, self->video, 0, 0, width, height);
    XFlush(d);
}

void on_realize(GtkWidget* widget) {
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    GdkWindowAttr attr{};
    attr.window_type = GDK_WINDOW_CHILD;
    attr.x = a.x;
    attr.y = a.y;
    attr.width = a.width;
    attr.height = a.height;
    attr.wclass = GDK_INPUT_OUTPUT;
    attr.visual = gtk_widget_get_visual(widget);
    attr.event_mask = gtk_widget_get_events(widget) | GDK_EXPOSURE_MASK;
    GdkWindow* window = gdk_window_new(gtk_widget_get_parent_window(widget), &attr,
                                       GDK_WA_X | GDK_WA_Y | GDK_WA_VISUAL);
    gtk_widget_register_window(widget, window);
    gtk_widget_set_window(widget, window);
    gtk_widget_set_realized(widget, TRUE);
    gdk_window_ensure_native(window);
    create_child(as_display(widget));
}

void on_unrealize(GtkWidget* widget) {
    destroy_child(as_display(widget));
    GTK_WIDGET_CLASS(wnd_media_display_parent_class)->unrealize(widget);
}

void on_map(GtkWidget* widget) {
    GTK_WIDGET_CLASS(wnd_media_display_parent_class)->map(widget);
    WndMediaDisplay* self = as_display(widget);
    if (self->video != 0) {
        XMapWindow(x_display_of(widget), self->video);
        XSync(x_display_of(widget), False);
    }
}

void on_unmap(GtkWidget* widget) {
    WndMediaDisplay* self = as_display(widget);
    if (self->video != 0) {
        XUnmapWindow(x_display_of(widget), self->video);
        XFlush(x_display_of(widget));
    }
    GTK_WIDGET_CLASS(wnd_media_display_parent_class)->unmap(widget);
}

void on_size_allocate(GtkWidget* widget, GtkAllocation* a) {
    gtk_widget_set_allocation(widget, a);
    if (!gtk_widget_get_realized(widget)) return;
    gdk_window_move_resize(gtk_widget_get_window(widget), a->x, a->y, a->width, a->height);
    resize_child(as_display(widget));
}

gboolean on_draw(GtkWidget*, cairo_t* cr) {
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    return TRUE;
}

void on_scale_changed(GObject* widget, GParamSpec*, gpointer) {
    resize_child(reinterpret_cast<WndMediaDisplay*>(widget));
}

}  // namespace

static void wnd_media_display_class_init(WndMediaDisplayClass* klass) {
    GtkWidgetClass* w = GTK_WIDGET_CLASS(klass);
    w->realize = on_realize;
    w->unrealize = on_unrealize;
    w->map = on_map;
    w->unmap = on_unmap;
    w->size_allocate = on_size_allocate;
    w->draw = on_draw;
    gtk_widget_class_set_css_name(w, "videohost");
}

static void wnd_media_display_init(WndMediaDisplay* self) {
    gtk_widget_set_has_window(GTK_WIDGET(self), TRUE);
    g_signal_connect(self, "notify::scale-factor", G_CALLBACK(on_scale_changed), nullptr);
}

platform::NativeWindow wnd_media_display_video_window(GtkWidget* host) {
    return KVP_IS_MEDIA_DISPLAY(host) ? as_display(host)->video : 0;
}

platform::NativeWindow wnd_media_display_recreate(GtkWidget* host) {
    if (!KVP_IS_MEDIA_DISPLAY(host) || !gtk_widget_get_realized(host)) return 0;
    destroy_child(as_display(host));
    create_child(as_display(host));
    return as_display(host)->video;
}
