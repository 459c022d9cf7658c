// KVP's playback timings in the real window, the way a user meets them:
//   open    open to the first picture in the video window (pixels read
//           back from the X server)
//   seek    seek slider release to the reported new position
//   layout  layout button to the new picture (the left quarter of the
//           video window goes black), and apart from it how long the
//           player's view calls of a switch take (waiting for the controller)
//   loop    the worst lateness of a 5 ms main-loop timer during each of
//           open, seek, layout switch and stop
// Settings go to a temporary folder; the program folder is the build's.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "custom_controls.h"
#include "playback_wiring.h"
#include "viewer_shell.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// The worst delay of a periodic main-loop timer while it runs.
class LoopLatency {
public:
    static constexpr int kPeriodMs = 5;
    LoopLatency() {
        last_ = Clock::now();
        source_ = g_timeout_add(kPeriodMs, &LoopLatency::tick, this);
    }
    ~LoopLatency() { g_source_remove(source_); }
    double worst_ms() const { return worst_; }

private:
    static gboolean tick(gpointer self) {
        auto* l = static_cast<LoopLatency*>(self);
        const auto now = Clock::now();
        const double late =
            std::chrono::duration<double, std::milli>(now - l->last_).count() - kPeriodMs;
        l->worst_ = std::max(l->worst_, late);
        l->last_ = now;
        return G_SOURCE_CONTINUE;
    }
    Clock::time_point last_;
    double worst_ = 0;
    guint source_ = 0;
};

bool pump_until(const std::function<bool()>& done, int timeout_ms) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
        if (Clock::now() > end) return false;
        if (!g_main_context_iteration(nullptr, FALSE)) {
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    }
    return true;
}

// The share of lit pixels in a band of the video child (x from x0 to x1 as
// fractions of its width, the middle third of its height).
double lit_share(GtkWidget* video_host, double x0, double x1) {
    const Window child = wnd_media_display_video_window(video_host);
    Display* d = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
    XWindowAttributes a;
    if (child == 0 || !XGetWindowAttributes(d, child, &a)) return 0;
    const int left = static_cast<int>(a.width * x0), width = static_cast<int>(a.width * (x1 - x0));
    const int top = a.height / 3, height = std::max(1, a.height / 3);
    XImage* image = XGetImage(d, child, left, top, std::max(1, width), height, AllPlanes, ZPixmap);
    if (image == nullptr) return 0;
    int lit = 0, n = 0;
    for (int y = 0; y < height; y += 4) {
        for (int x = 0; x < width; x += 4) {
            const unsigned long p = XGetPixel(image, x, y);
            ++n;
            if (((p >> 16) & 0xff) + ((p >> 8) & 0xff) + (p & 0xff) > 60) ++lit;
        }
    }
    XDestroyImage(image);
    return n > 0 ? static_cast<double>(lit) / n : 0;
}

struct Seeks : PlaybackObserver {
    int done = 0;
    Clock::time_point opened;
    void on_seek_finished(int64_t) override { ++done; }
    void on_opened(const std::string&, int64_t) override { opened = Clock::now(); }
};

struct Stats {
    std::vector<double> values;
    void add(double v) { values.push_back(v); }
    void print(const char* what) {
        if (values.empty()) {
            std::printf("%-34s no result\n", what);
            return;
        }
        std::sort(values.begin(), values.end());
        std::printf("%-34s median %7.1f ms  min %7.1f  max %7.1f  (n=%zu)\n", what,
                    values[values.size() / 2], values.front(), values.back(), values.size());
    }
};

}  // namespace

int main(int argc, char** argv) {
    XInitThreads();
    gdk_set_allowed_backends("x11");
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "kvp_playback_measure: no X display\n");
        return 1;
    }
    const std::string file = argc > 1 ? argv[1] : KVP_SAMPLES_DIR "/bench_1920.mp4";
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    gchar* settings = g_dir_make_tmp("kvp-bench-XXXXXX", nullptr);
    ::setenv("KVP_SETTINGS_DIR", settings, 1);
    ::setenv("KVP_NO_MESSAGE_BOXES", "1", 1);

    ViewerShell shell;
    shell.on_quit = [] {};
    std::string error;
    if (!shell.start(&error)) {
        std::fprintf(stderr, "kvp_playback_measure: %s\n", error.c_str());
        return 1;
    }
    Seeks seeks;
    shell.add_playback_observer(&seeks);
    auto wiring = std::make_unique<PlaybackWiring>(shell);
    GtkWidget* video = shell.window()->widget("wndMedia");
    pump_until([&] { return gtk_widget_get_mapped(GTK_WIDGET(shell.window()->window())); }, 10000);
    pump_until([] { return false; }, 500);
    const auto click = [&](const char* name) {
        gtk_button_clicked(GTK_BUTTON(shell.window()->widget(name)));
    };

    Stats opened, open, seek, layout_calls, layout, loop_open, loop_seek, loop_layout, loop_stop;
    for (int r = 0; r < rounds; ++r) {
        {
            LoopLatency loop;
            const auto t0 = Clock::now();
            wiring->open_paths({file});
            // The controller starts on the four-way layout: the middle lights.
            if (pump_until(
                    [&] {
                        return wiring->state() == PlaybackWiring::State::playing &&
                               lit_share(video, 0.05, 0.45) > 0.5;
                    },
                    20000)) {
                open.add(ms_since(t0));
                opened.add(std::chrono::duration<double, std::milli>(seeks.opened - t0).count());
            }
            loop_open.add(loop.worst_ms());
        }
        pump_until([] { return false; }, 500);
        {
            LoopLatency loop;
            const int before = seeks.done;
            GtkWidget* slider = shell.window()->widget("sliderPlay");
            const auto t0 = Clock::now();
            gboolean handled = FALSE;
            g_signal_emit_by_name(slider, "change-value", GTK_SCROLL_JUMP, 500.0, &handled);
            gtk_range_set_value(GTK_RANGE(slider), r % 2 == 0 ? 500 : 200);
            if (pump_until([&] { return seeks.done > before; }, 10000)) seek.add(ms_since(t0));
            loop_seek.add(loop.worst_ms());
        }
        {
            LoopLatency loop;
            click("split4btn");
            pump_until([&] { return lit_share(video, 0.02, 0.22) > 0.5; }, 3000);
            const auto t0 = Clock::now();
            click("split2btn");  // two views in the middle half: the left quarter goes black
            if (pump_until([&] { return lit_share(video, 0.02, 0.22) < 0.02; }, 5000)) {
                layout.add(ms_since(t0));
            }
            loop_layout.add(loop.worst_ms());
        }
        {
            // How much of a switch the player's view calls take, waited for
            // here (this holds the main loop, so it is measured apart).
            click("split4btn");
            wiring->controller().drain();
            const auto t0 = Clock::now();
            click("split2btn");
            wiring->controller().drain();
            layout_calls.add(ms_since(t0));
            click("split4btn");
            wiring->controller().drain();
        }
        {
            LoopLatency loop;
            bool stopped = false;
            wiring->stop([&] { stopped = true; });
            pump_until([&] { return stopped; }, 10000);
            loop_stop.add(loop.worst_ms());
        }
        pump_until([] { return false; }, 300);
    }
    std::printf("KVP playback, %s, %d rounds, video window %dx%d\n", file.c_str(), rounds,
                gtk_widget_get_allocated_width(video), gtk_widget_get_allocated_height(video));
    opened.print("open to playing (message 1025)");
    open.print("open to first picture");
    seek.print("seek to new position");
    layout.print("layout switch to picture");
    layout_calls.print("  of it, the player's calls");
    loop_open.print("main loop worst lateness, open");
    loop_seek.print("main loop worst lateness, seek");
    loop_layout.print("main loop worst lateness, layout");
    loop_stop.print("main loop worst lateness, stop");

    wiring.reset();
    shell.shutdown();
    g_free(settings);
    return 0;
}
