// LineCharUI: the G-sensor chart. On black, a dotted centre line, the axis
// near the bottom, the three series (X red, Y green, Z white) across the
// plot, their values at the cursor as "X:%d" "Y:%d" "Z:%d", and a blue
// vertical cursor at the playing second. The geometry is
// telemetry::chart_layout's; a long drive is drawn decimated to one point
// per pixel column.
#include <cairo.h>

#include <cmath>
#include <vector>

#include "custom_controls.h"
#include "telemetry/gsensor_chart.h"

struct LineCharUI {
    GtkDrawingArea parent;
    std::vector<telemetry::GSample>* samples;
    long cursor;
};

struct LineCharUIClass {
    GtkDrawingAreaClass parent_class;
};

G_DEFINE_TYPE(LineCharUI, line_char_ui, GTK_TYPE_DRAWING_AREA)

namespace {

constexpr unsigned kCentreLine = 0x7D7D7D;
constexpr unsigned kAxisColour = 0x2F2F2F;
constexpr unsigned kCursorColour = 0x0000FF;
constexpr unsigned kSeriesColours[3] = {0xFF0000, 0x00FF00, 0xFFFFFF};

LineCharUI* as_chart(gpointer p) {
    return reinterpret_cast<LineCharUI*>(p);
}

void set_rgb(cairo_t* cr, unsigned rgb) {
    cairo_set_source_rgb(cr, ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0,
                         (rgb & 0xFF) / 255.0);
}

int axis_value(const telemetry::GSample& s, int axis) {
    return axis == 0 ? s.x : axis == 1 ? s.y : s.z;
}

gboolean on_draw(GtkWidget* widget, cairo_t* cr) {
    LineCharUI* self = as_chart(widget);
    const int w = gtk_widget_get_allocated_width(widget);
    const int h = gtk_widget_get_allocated_height(widget);
    const telemetry::ChartLayout c = telemetry::chart_layout(w, h);
    const std::vector<telemetry::GSample>& samples = *self->samples;

    set_rgb(cr, 0x000000);
    cairo_paint(cr);
    cairo_set_line_width(cr, 1.0);
    // Crisp one-pixel lines in full colour, not smeared over two rows.
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);

    // Dotted centre line.
    const double centre = std::floor(c.top + c.half_height) + 0.5;
    const double dots[] = {1.0, 2.0};
    cairo_set_dash(cr, dots, 2, 0.0);
    set_rgb(cr, kCentreLine);
    cairo_move_to(cr, c.left, centre);
    cairo_line_to(cr, c.right, centre);
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0.0);

    // Axis.
    set_rgb(cr, kAxisColour);
    cairo_move_to(cr, c.left, std::floor(c.axis_y) + 0.5);
    cairo_line_to(cr, c.right, std::floor(c.axis_y) + 0.5);
    cairo_stroke(cr);

    // Series.
    const std::vector<std::size_t> drawn =
        telemetry::drawn_samples(samples.size(), static_cast<int>(c.right - c.left));
    for (int axis = 0; axis < 3 && !drawn.empty(); ++axis) {
        set_rgb(cr, kSeriesColours[axis]);
        for (std::size_t k = 0; k < drawn.size(); ++k) {
            const std::size_t i = drawn[k];
            const double x = telemetry::sample_x(c, i, samples.size());
            // The middle of the pixel row that holds the value.
            const double y = std::floor(telemetry::sample_y(c, axis_value(samples[i], axis))) + 0.5;
            if (k == 0) {
                cairo_move_to(cr, x, y);
            } else {
                cairo_line_to(cr, x, y);
            }
        }
        if (drawn.size() == 1) cairo_rel_line_to(cr, 1.0, 0.0);
        cairo_stroke(cr);
    }

    // Labels.
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
    cairo_select_font_face(cr, "Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, telemetry::kChartFontHeight - 3.0);
    const std::vector<std::string> labels = telemetry::axis_labels(samples, self->cursor);
    for (int axis = 0; axis < 3; ++axis) {
        set_rgb(cr, kSeriesColours[axis]);
        cairo_move_to(cr, c.text_x + axis * telemetry::kChartLabelSpacing,
                      c.text_y + telemetry::kChartFontHeight - 3.0);
        cairo_show_text(cr, labels[static_cast<std::size_t>(axis)].c_str());
    }

    // Cursor.
    if (self->cursor >= 0 && !samples.empty()) {
        const double x = std::floor(
            telemetry::sample_x(c, static_cast<std::size_t>(self->cursor), samples.size()));
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
        set_rgb(cr, kCursorColour);
        cairo_set_line_width(cr, 2.0);
        cairo_move_to(cr, x + 1.0, c.top + telemetry::kCursorInset);
        cairo_line_to(
            cr, x + 1.0,
            std::max(c.top + telemetry::kCursorInset, c.bottom - telemetry::kCursorInset));
        cairo_stroke(cr);
    }
    return TRUE;
}

void on_finalize(GObject* object) {
    LineCharUI* self = as_chart(object);
    delete self->samples;
    self->samples = nullptr;
    G_OBJECT_CLASS(line_char_ui_parent_class)->finalize(object);
}

}  // namespace

static void line_char_ui_class_init(LineCharUIClass* klass) {
    GTK_WIDGET_CLASS(klass)->draw = on_draw;
    G_OBJECT_CLASS(klass)->finalize = on_finalize;
}

static void line_char_ui_init(LineCharUI* self) {
    self->samples = new std::vector<telemetry::GSample>();
    self->cursor = -1;
}

void line_char_ui_set_samples(GtkWidget* chart, const std::vector<telemetry::GSample>& samples) {
    if (!KVP_IS_CHART(chart)) return;
    LineCharUI* self = as_chart(chart);
    *self->samples = samples;
    self->cursor = -1;
    gtk_widget_queue_draw(chart);
}

void line_char_ui_set_cursor(GtkWidget* chart, long index) {
    if (!KVP_IS_CHART(chart)) return;
    LineCharUI* self = as_chart(chart);
    const long cursor = telemetry::cursor_index(index, self->samples->size());
    if (cursor == self->cursor) return;
    self->cursor = cursor;
    gtk_widget_queue_draw(chart);
}

long line_char_ui_cursor(GtkWidget* chart) {
    return KVP_IS_CHART(chart) ? as_chart(chart)->cursor : -1;
}

std::size_t line_char_ui_sample_count(GtkWidget* chart) {
    return KVP_IS_CHART(chart) ? as_chart(chart)->samples->size() : 0;
}

void kvp_register_custom_controls() {
    g_type_ensure(wnd_media_display_get_type());
    g_type_ensure(wke_webkit_ui_get_type());
    g_type_ensure(my_slider_get_type());
    g_type_ensure(line_char_ui_get_type());
}
