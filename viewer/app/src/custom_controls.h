// The viewer's own controls, registered as GTypes before a layout is built
// so that the layouts name them as classes:
//   WndMediaDisplay  hosts the native X11 window the player draws into
//   WkeWebkitUI      the map browser (a WebKitWebView with a request queue)
//   MySlider         the seek slider, which knows when the user drags it
//   LineCharUI       the G-sensor chart, drawn with cairo
//
// Thread-safety: UI thread only, like every GTK call.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/window_messages.h"
#include "shell/browser_queue.h"
#include "telemetry/map_track.h"

// Registers the four types (idempotent).
void kvp_register_custom_controls();

// --- WndMediaDisplay

GType wnd_media_display_get_type();
#define KVP_TYPE_MEDIA_DISPLAY (wnd_media_display_get_type())
#define KVP_IS_MEDIA_DISPLAY(obj) (G_TYPE_CHECK_INSTANCE_TYPE((obj), KVP_TYPE_MEDIA_DISPLAY))

// The X11 child window the player draws into: a window with a GL visual
// (double-buffered, with depth bits), sized in device pixels to the
// control, registered for messages with the top-level window as its parent.
// 0 until the control is realized.
platform::NativeWindow wnd_media_display_video_window(GtkWidget* host);

// Replaces the child window by a new one (a player's GL context lives in
// the old one: call this only after the player has stopped). Returns the
// new window, 0 when the control is not realized.
platform::NativeWindow wnd_media_display_recreate(GtkWidget* host);

// --- WkeWebkitUI

GType wke_webkit_ui_get_type();
#define KVP_TYPE_BROWSER (wke_webkit_ui_get_type())
#define KVP_IS_BROWSER(obj) (G_TYPE_CHECK_INSTANCE_TYPE((obj), KVP_TYPE_BROWSER))

// Load a page, run a script: carried out in order once the view has been
// drawn and the page before has loaded (see shell::BrowserRequestQueue).
void wke_webkit_ui_load_url(GtkWidget* browser, const std::string& url);
void wke_webkit_ui_run_script(
    GtkWidget* browser, const std::string& script,
    shell::BrowserRequest::Role role = shell::BrowserRequest::Role::other);
// A link followed in the page goes to `opener` instead of the view; by
// default the desktop's browser opens it. nullptr restores the default.
void wke_webkit_ui_set_link_opener(std::function<void(const std::string& uri)> opener);

// --- MySlider

GType my_slider_get_type();
#define KVP_TYPE_SEEK_SLIDER (my_slider_get_type())
#define KVP_IS_SEEK_SLIDER(obj) (G_TYPE_CHECK_INSTANCE_TYPE((obj), KVP_TYPE_SEEK_SLIDER))

// Set by a button press on the slider; while it is set, each pointer motion
// hands the slider's value to the preview function. Cleared by the window
// when the user's value change arrives.
bool my_slider_dragging(GtkWidget* slider);
void my_slider_set_dragging(GtkWidget* slider, bool dragging);
void my_slider_set_preview(GtkWidget* slider, std::function<void(int value)> preview);
// Called when the button is released after a drag that moved the value:
// the seek happens once, at the value where the user let go.
void my_slider_set_released(GtkWidget* slider, std::function<void(int value)> released);

// --- LineCharUI

GType line_char_ui_get_type();
#define KVP_TYPE_CHART (line_char_ui_get_type())
#define KVP_IS_CHART(obj) (G_TYPE_CHECK_INSTANCE_TYPE((obj), KVP_TYPE_CHART))

// The three G-sensor series, one sample per second (replaces the last
// ones; the cursor goes to none), and the cursor's sample (-1: none).
void line_char_ui_set_samples(GtkWidget* chart, const std::vector<telemetry::GSample>& samples);
void line_char_ui_set_cursor(GtkWidget* chart, long index);
long line_char_ui_cursor(GtkWidget* chart);
std::size_t line_char_ui_sample_count(GtkWidget* chart);
