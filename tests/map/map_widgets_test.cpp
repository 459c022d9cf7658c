// The viewer's own map and chart widgets: the G-sensor chart's pixels, and
// the map browser with the viewer's server (scripts sent before the page
// loaded, a page process that dies, a link followed in the page).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "custom_controls.h"
#include "map_test_support.h"
#include "telemetry/gsensor_chart.h"
#include "telemetry/map_track.h"
#include "webkit_eval.h"

namespace {

using map_test::evaluate;
using map_test::pump_until;

bool gtk_ready() {
    static const bool ok = [] {
        if (std::getenv("DISPLAY") == nullptr || !gtk_init_check(nullptr, nullptr)) return false;
        kvp_register_custom_controls();
        return true;
    }();
    return ok;
}

unsigned pixel(cairo_surface_t* s, int x, int y) {
    const unsigned char* row =
        cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
    return reinterpret_cast<const uint32_t*>(row)[x] & 0xFFFFFF;
}

// The columns of row y that hold `rgb`.
std::vector<int> columns_with(cairo_surface_t* s, int y, unsigned rgb) {
    std::vector<int> out;
    for (int x = 0; x < cairo_image_surface_get_width(s); ++x) {
        if (pixel(s, x, y) == rgb) out.push_back(x);
    }
    return out;
}

TEST(ChartWidget, SeriesColoursCentreLineAndTheBlueCursorAtTheSecond) {
    if (!gtk_ready()) GTEST_SKIP() << "no X display";
    constexpr int kW = 420, kH = 84;
    GtkWidget* window = gtk_offscreen_window_new();
    GtkWidget* chart = GTK_WIDGET(g_object_new(KVP_TYPE_CHART, nullptr));
    gtk_widget_set_size_request(chart, kW, kH);
    gtk_container_add(GTK_CONTAINER(window), chart);
    gtk_widget_show_all(window);
    // X at +20 all along, Y at -20, Z at 0; 11 seconds (0..10).
    std::vector<telemetry::GSample> samples(11, telemetry::GSample{20, -20, 0});
    line_char_ui_set_samples(chart, samples);
    line_char_ui_set_cursor(chart, 5);
    EXPECT_EQ(line_char_ui_cursor(chart), 5);
    line_char_ui_set_cursor(chart, 99);  // beyond: the last sample
    EXPECT_EQ(line_char_ui_cursor(chart), 10);
    line_char_ui_set_cursor(chart, 5);

    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kW, kH);
    cairo_t* cr = cairo_create(surface);
    gtk_widget_draw(chart, cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    const telemetry::ChartLayout c = telemetry::chart_layout(kW, kH);
    const int x_mid = static_cast<int>(telemetry::sample_x(c, 2, 11)) + 1;
    // Red above the middle, green below, white on it, at the places the
    // geometry gives (float scale: 42 px / 40 units).
    EXPECT_EQ(pixel(surface, x_mid, static_cast<int>(telemetry::sample_y(c, 20))), 0xFF0000u);
    EXPECT_EQ(pixel(surface, x_mid, static_cast<int>(telemetry::sample_y(c, -20))), 0x00FF00u);
    EXPECT_EQ(pixel(surface, x_mid, static_cast<int>(telemetry::sample_y(c, 0))), 0xFFFFFFu);
    EXPECT_EQ(pixel(surface, 3, 3), 0x000000u);  // black background
    // The cursor: blue at the sixth sample's place, nowhere else.
    const std::vector<int> blue = columns_with(surface, kH / 2 + 12, 0x0000FFu);
    ASSERT_FALSE(blue.empty());
    EXPECT_NEAR(blue.front(), telemetry::sample_x(c, 5, 11), 2.0);
    EXPECT_LE(blue.back() - blue.front(), 2);
    cairo_surface_destroy(surface);

    // A drive of ten hours draws (decimated), no overflow.
    line_char_ui_set_samples(chart, std::vector<telemetry::GSample>(36000, {1, 2, 3}));
    line_char_ui_set_cursor(chart, 35999);
    surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kW, kH);
    cr = cairo_create(surface);
    gtk_widget_draw(chart, cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    EXPECT_FALSE(columns_with(surface, kH / 2 + 12, 0x0000FFu).empty());
    cairo_surface_destroy(surface);
    gtk_widget_destroy(window);
}

TEST(MapBrowser, QueuedScriptsReachThePageAndAreSentAgainAfterItsProcessDies) {
    if (!gtk_ready()) GTEST_SKIP() << "no X display";
    map_test::ServerThread server("");
    ASSERT_GT(server.port(), 0) << server.error();
    std::vector<std::string> opened;
    wke_webkit_ui_set_link_opener([&](const std::string& uri) { opened.push_back(uri); });

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 480, 360);
    GtkWidget* browser = GTK_WIDGET(g_object_new(KVP_TYPE_BROWSER, nullptr));
    gtk_container_add(GTK_CONTAINER(window), browser);
    const std::string page = server.url("tarnwell_osm_6.html");
    // All before the view exists: they wait, in order.
    wke_webkit_ui_load_url(browser, page);
    const std::string track = "114.05,22.54;114.06,22.55;114.07,22.56;";
    wke_webkit_ui_run_script(browser, telemetry::start_script(track),
                             shell::BrowserRequest::Role::track);
    wke_webkit_ui_run_script(browser, telemetry::setpos_script(2),
                             shell::BrowserRequest::Role::position);
    wke_webkit_ui_run_script(browser, telemetry::clear_interval_script());
    gtk_widget_show_all(window);
    auto* view = WEBKIT_WEB_VIEW(browser);
    auto state = [&] {
        const auto j = nlohmann::json::parse(
            evaluate(view, "typeof kvpMapState == 'function' && kvpMapState()"), nullptr, false);
        return j.is_string() ? j.get<std::string>() : std::string();
    };
    const std::string expected = "\"second\":2";
    pump_until([&] { return state().find(expected) != std::string::npos; }, 30000);
    EXPECT_NE(state().find("\"entries\":3"), std::string::npos) << state();
    EXPECT_NE(state().find(expected), std::string::npos) << state();

    // The page's process dies: the page, its track and the marker again.
    webkit_web_view_terminate_web_process(view);
    pump_until([&] { return state().find(expected) != std::string::npos; }, 30000);
    EXPECT_NE(state().find("\"entries\":3"), std::string::npos) << state();
    EXPECT_NE(state().find(expected), std::string::npos) << state();

    // A link in the page (the attribution's) opens outside; the view stays.
    evaluate(view, "document.querySelector('.leaflet-control-attribution a').click(), 0");
    pump_until([&] { return !opened.empty(); }, 10000);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].rfind("https://leafletjs.com", 0), 0u) << opened[0];
    pump_until([] { return false; }, 300);
    EXPECT_EQ(webkit_web_view_get_uri(view), page);
    wke_webkit_ui_set_link_opener(nullptr);
    gtk_widget_destroy(window);
    pump_until([] { return false; }, 200);
}

}  // namespace
