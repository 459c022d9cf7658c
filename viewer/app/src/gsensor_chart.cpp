// LineCharUI: the G-sensor chart's window. Until a track feeds it, it
// shows its frame: the plot area, the zero line of the three axes and
// their legend.
#include "custom_controls.h"

struct LineCharUI {
    GtkDrawingArea parent;
};

struct LineCharUIClass {
    GtkDrawingAreaClass parent_class;
};

G_DEFINE_TYPE(LineCharUI, line_char_ui, GTK_TYPE_DRAWING_AREA)

namespace {

constexpr double kFontHeight = 15.0;
constexpr double kMargin = 6.0;

void set_rgb(cairo_t* cr, unsigned rgb) {
    cairo_set_source_rgb(cr, ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0,
                         (rgb & 0xFF) / 255.0);
}

// The three axes' colours: X red, Y green, Z blue.
constexpr unsigned kSeriesColours[3] = {0xD04040, 0x40A040, 0x4060D0};
constexpr unsigned kBackground = 0xC0C0C0;  // light grey
constexpr unsigned kAxisColour = 0x2F2F2F;

void draw_legend(cairo_t* cr, double x, double y) {
    static const char* kNames[3] = {"X", "Y", "Z"};
    cairo_set_font_size(cr, kFontHeight);
    for (int i = 0; i < 3; ++i) {
        set_rgb(cr, kSeriesColours[i]);
        cairo_move_to(cr, x + i * 22.0, y);
        cairo_show_text(cr, kNames[i]);
    }
}

gboolean on_draw(GtkWidget* widget, cairo_t* cr) {
    const double w = gtk_widget_get_allocated_width(widget);
    const double h = gtk_widget_get_allocated_height(widget);
    set_rgb(cr, kBackground);
    cairo_paint(cr);
    const double left = kMargin, top = kMargin + kFontHeight;
    const double right = w - kMargin, bottom = h - kMargin;
    if (right <= left || bottom <= top) return TRUE;
    set_rgb(cr, kAxisColour);
    cairo_set_line_width(cr, 1.0);
    cairo_rectangle(cr, left + 0.5, top + 0.5, right - left - 1.0, bottom - top - 1.0);
    cairo_stroke(cr);
    const double zero = (top + bottom) / 2.0;
    cairo_move_to(cr, left, zero + 0.5);
    cairo_line_to(cr, right, zero + 0.5);
    cairo_stroke(cr);
    draw_legend(cr, left, top - 3.0);
    return TRUE;
}

}  // namespace

static void line_char_ui_class_init(LineCharUIClass* klass) {
    GTK_WIDGET_CLASS(klass)->draw = on_draw;
}

static void line_char_ui_init(LineCharUI*) {}

void kvp_register_custom_controls() {
    g_type_ensure(wnd_media_display_get_type());
    g_type_ensure(wke_webkit_ui_get_type());
    g_type_ensure(my_slider_get_type());
    g_type_ensure(line_char_ui_get_type());
}
