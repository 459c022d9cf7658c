// Each map page in a WebKit view (the map browser's engine) under the test
// run's X server, loaded from the viewer's server with no tile server
// reachable: the scripts the viewer sends and what the page draws.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "map_test_support.h"
#include "webkit_eval.h"
#include "page_checks.h"

namespace {

using map_test::evaluate;
using map_test::pump_until;

class MapPageWebKit : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
        gtk_init(nullptr, nullptr);
    }
};

TEST_P(MapPageWebKit, DrawsTheTrackAndFollowsTheViewersScriptsOffline) {
    const int map_type = GetParam();
    // Tiles from a port nobody listens on: the offline case.
    map_test::ServerThread server("http://127.0.0.1:9/{z}/{x}/{y}.png");
    ASSERT_GT(server.port(), 0) << server.error();

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 640, 480);
    GtkWidget* view = webkit_web_view_new();
    gtk_container_add(GTK_CONTAINER(window), view);
    gtk_widget_show_all(window);
    bool loaded = false;
    g_signal_connect(view, "load-changed",
                     G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent e, gpointer flag) {
                         if (e == WEBKIT_LOAD_FINISHED) *static_cast<bool*>(flag) = true;
                     }),
                     &loaded);
    webkit_web_view_load_uri(
        WEBKIT_WEB_VIEW(view),
        server.url(map_type == 0 ? "tarnwellmap_5.html" : "tarnwell_osm_6.html").c_str());
    pump_until([&] { return loaded; }, 30000);
    ASSERT_TRUE(loaded);
    auto* web = WEBKIT_WEB_VIEW(view);
    ASSERT_EQ(evaluate(web, "typeof start + typeof setpos + typeof HidePos + typeof Stop"),
              "\"functionfunctionfunctionfunction\"");
    EXPECT_EQ(evaluate(web, "'timer' in window"), "true");

    map_test::check_page([&](const std::string& code) { return evaluate(web, code); },
                         [](int ms) { pump_until([] { return false; }, ms); }, map_type);

    // The screenshot, kept for a look.
    bool shot = false;
    const std::string png = std::string(KVP_TEST_OUTPUT_DIR) + "/map_page_type" +
                            std::to_string(map_type) + "_webkit.png";
    struct Shot {
        bool* done;
        std::string path;
    } s{&shot, png};
    webkit_web_view_get_snapshot(
        web, WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE, nullptr,
        +[](GObject* source, GAsyncResult* res, gpointer data) {
            auto* sh = static_cast<Shot*>(data);
            cairo_surface_t* surface =
                webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(source), res, nullptr);
            if (surface != nullptr) {
                cairo_surface_write_to_png(surface, sh->path.c_str());
                cairo_surface_destroy(surface);
            }
            *sh->done = true;
        },
        &s);
    pump_until([&] { return shot; }, 10000);
    EXPECT_TRUE(g_file_test(png.c_str(), G_FILE_TEST_EXISTS)) << png;
    gtk_widget_destroy(window);
    pump_until([] { return false; }, 200);
}

INSTANTIATE_TEST_SUITE_P(MapTypes, MapPageWebKit, ::testing::Values(0, 1));

}  // namespace
