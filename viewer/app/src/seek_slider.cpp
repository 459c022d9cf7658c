// MySlider: a GtkScale that knows when the user is dragging it, so that
// playback ticks leave it alone meanwhile and the time label can preview
// the position under the pointer.
#include "custom_controls.h"

struct MySlider {
    GtkScale parent;
    gboolean dragging;
    std::function<void(int)>* preview;   // owned; null when none
    std::function<void(int)>* released;  // owned; null when none
    double pressed_value;                // the value when the button went down
};

struct MySliderClass {
    GtkScaleClass parent_class;
};

G_DEFINE_TYPE(MySlider, my_slider, GTK_TYPE_SCALE)

namespace {

MySlider* as_slider(gpointer p) {
    return reinterpret_cast<MySlider*>(p);
}

gboolean on_button_press(GtkWidget* widget, GdkEventButton* event) {
    as_slider(widget)->dragging = TRUE;
    as_slider(widget)->pressed_value = gtk_range_get_value(GTK_RANGE(widget));
    return GTK_WIDGET_CLASS(my_slider_parent_class)->button_press_event(widget, event);
}

gboolean on_button_release(GtkWidget* widget, GdkEventButton* event) {
    const gboolean handled =
        GTK_WIDGET_CLASS(my_slider_parent_class)->button_release_event(widget, event);
    // A press that moved nothing brings no value change to clear the flag.
    MySlider* self = as_slider(widget);
    const bool was_dragging = self->dragging;
    self->dragging = FALSE;
    const double value = gtk_range_get_value(GTK_RANGE(widget));
    if (was_dragging && value != self->pressed_value && self->released != nullptr &&
        *self->released) {
        (*self->released)(static_cast<int>(value + 0.5));
    }
    return handled;
}

gboolean on_motion(GtkWidget* widget, GdkEventMotion* event) {
    const gboolean handled =
        GTK_WIDGET_CLASS(my_slider_parent_class)->motion_notify_event(widget, event);
    MySlider* self = as_slider(widget);
    if (self->dragging && self->preview != nullptr && *self->preview) {
        (*self->preview)(static_cast<int>(gtk_range_get_value(GTK_RANGE(widget))));
    }
    return handled;
}

void on_finalize(GObject* object) {
    delete as_slider(object)->preview;
    delete as_slider(object)->released;
    G_OBJECT_CLASS(my_slider_parent_class)->finalize(object);
}

}  // namespace

static void my_slider_class_init(MySliderClass* klass) {
    GtkWidgetClass* w = GTK_WIDGET_CLASS(klass);
    w->button_press_event = on_button_press;
    w->button_release_event = on_button_release;
    w->motion_notify_event = on_motion;
    G_OBJECT_CLASS(klass)->finalize = on_finalize;
}

static void my_slider_init(MySlider*) {}

bool my_slider_dragging(GtkWidget* slider) {
    return KVP_IS_SEEK_SLIDER(slider) && as_slider(slider)->dragging;
}

void my_slider_set_dragging(GtkWidget* slider, bool dragging) {
    if (KVP_IS_SEEK_SLIDER(slider)) as_slider(slider)->dragging = dragging;
}

void my_slider_set_preview(GtkWidget* slider, std::function<void(int)> preview) {
    if (!KVP_IS_SEEK_SLIDER(slider)) return;
    MySlider* self = as_slider(slider);
    delete self->preview;
    self->preview = new std::function<void(int)>(std::move(preview));
}

void my_slider_set_released(GtkWidget* slider, std::function<void(int)> released) {
    if (!KVP_IS_SEEK_SLIDER(slider)) return;
    MySlider* self = as_slider(slider);
    delete self->released;
    self->released = new std::function<void(int)>(std::move(released));
}
