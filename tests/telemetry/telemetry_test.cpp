// The telemetry panel's texts, the map track and the G-sensor chart's
// geometry, by numbers (the datum shift's against an independent
// evaluation of its formulas).
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "telemetry/gsensor_chart.h"
#include "telemetry/map_track.h"
#include "telemetry/telemetry_text.h"

namespace {

using namespace telemetry;

gps::GpsRecord fix(double lat, double lon, char status = 'A', char ns = 'N', char ew = 'E') {
    gps::GpsRecord r{};
    r.status = status;
    r.latitude_deg = lat;
    r.ns = ns;
    r.longitude_deg = lon;
    r.ew = ew;
    r.speed_mps = 10.0;
    r.year = 2024;
    r.month = 12;
    r.day = 7;
    r.hour = 15;
    r.minute = 30;
    r.second = 5;
    r.gx = 3;
    r.gy = -4;
    r.gz = 40;
    return r;
}

TEST(TelemetryText, SpeedDegreesDateAndTime) {
    EXPECT_EQ(speed_text(10.0, 1), "36KM/H");
    EXPECT_EQ(speed_text(10.0, 0), "22MPH");
    EXPECT_EQ(speed_text(-3.0, 1), "0KM/H");
    EXPECT_EQ(speed_text(std::numeric_limits<double>::quiet_NaN(), 0), "0MPH");

    EXPECT_EQ(degree_text(22.5), "22\u00b030'0\"");
    EXPECT_EQ(degree_text(10.99999), "11\u00b00'0\"");   // seconds and minutes carry
    EXPECT_EQ(degree_text(114.0501), "114\u00b03'0\"");  // 0.36 s rounds down
    EXPECT_EQ(degree_text(0.0125), "0\u00b00'45\"");
    EXPECT_EQ(position_text(fix(22.5, 114.5, 'A', 'S', 'W')), "22\u00b030'0\"S, 114\u00b030'0\"W");

    const gps::GpsRecord r = fix(22.5, 114.5);
    EXPECT_EQ(date_text(r, 1), "2024-12-07");
    EXPECT_EQ(date_text(r, 0), "12-07-2024");
    EXPECT_EQ(time_text(r), "15:30:05");
}

TEST(TelemetryText, OnlyAValidFixChangesSpeedAndPosition) {
    const std::vector<gps::GpsRecord> track = {fix(22.5, 114.5), fix(22.5, 114.5, 'V'),
                                               fix(22.5, 114.5, 'X')};
    const auto a = texts_for_second(track, 0, 1);
    ASSERT_TRUE(a);
    EXPECT_EQ(*a->speed, "36KM/H");
    EXPECT_EQ(a->marker, MarkerCall::setpos);
    const auto v = texts_for_second(track, 1, 1);
    ASSERT_TRUE(v);
    EXPECT_FALSE(v->speed);
    EXPECT_FALSE(v->position);
    EXPECT_EQ(v->date, "2024-12-07");  // date and time still change
    EXPECT_EQ(v->marker, MarkerCall::hide);
    EXPECT_EQ(texts_for_second(track, 2, 1)->marker, MarkerCall::none);
    EXPECT_FALSE(texts_for_second(track, 3, 1));  // beyond the track
    EXPECT_FALSE(texts_for_second(track, -1, 1));

    TelemetryDisplay display;
    EXPECT_TRUE(display.show(track, 0, 1));
    EXPECT_FALSE(display.show(track, 0, 1));  // the same second again
    EXPECT_TRUE(display.show(track, 1, 1));
    display.reset();  // after a seek back
    EXPECT_TRUE(display.show(track, 1, 1));
}

TEST(MapTrack, FifteenDecimalsLongitudeFirstAndTheDatumShiftOnlyForMapTypeZero) {
    const std::vector<gps::GpsRecord> track = {fix(22.54, 114.05)};
    EXPECT_EQ(map_track_text(track, 10, kMapTypeWgs84), "114.050000000000000,22.540000000000000;");
    // WGS-84 -> GCJ-02 -> BD-09, evaluated independently; 16 significant
    // digits as every entry.
    EXPECT_EQ(map_track_text(track, 10, kMapTypeChinaDatum),
              "114.061650465167700,22.542932915214870;");
    const LatLon g = wgs84_to_gcj02({22.54, 114.05});
    EXPECT_NEAR(g.lat, 22.537267495345, 1e-11);
    EXPECT_NEAR(g.lon, 114.055103281145, 1e-11);
    const LatLon outside = wgs84_to_gcj02({48.85, 2.35});
    EXPECT_EQ(outside.lat, 48.85);
}

TEST(MapTrack, EntriesCarryAndPadTheirSixteenDigits) {
    const auto entry = [](double lat, double lon) {
        return map_track_text({fix(lat, lon)}, 1, kMapTypeWgs84);
    };
    EXPECT_EQ(entry(0.5, 179.99999999999999), "180.000000000000000,0.500000000000000;");
    EXPECT_EQ(entry(1e-20, 100.0), "100.000000000000000,0.000000000000000;");
    EXPECT_EQ(entry(0.12345678901234567, 1.0), "1.000000000000000,0.123456789012346;");
}

TEST(MapTrack, SouthernAndWesternFixesAreSignedButNeverShifted) {
    const std::vector<gps::GpsRecord> track = {fix(22.54, 114.05, 'A', 'S', 'E'),
                                               fix(22.54, 114.05, 'A', 'N', 'W')};
    EXPECT_EQ(map_track_text(track, 10, kMapTypeChinaDatum),
              "114.050000000000000,-22.540000000000000;-114.050000000000000,22.540000000000000;");
}

TEST(MapTrack, AStrayFixIsDrawnAtTheMedianAndBadFixesAreGaps) {
    std::vector<gps::GpsRecord> track;
    for (int i = 0; i < 5; ++i) track.push_back(fix(22.5 + i * 0.001, 114.0 + i * 0.001));
    track[2] = fix(22.7, 114.002);  // 0.2 degree north of the others
    track.push_back(fix(22.5, 114.0, 'V'));
    track.push_back(fix(std::numeric_limits<double>::infinity(), 114.0));
    track.push_back(fix(95.0, 114.0));  // beyond the pole
    const std::string text = map_track_text(track, 100, kMapTypeWgs84);
    // The median latitude of the five valid fixes is 22.503 (sorted: 22.5,
    // 22.501, 22.503, 22.504, 22.7).
    EXPECT_NE(text.find("114.002000000000000,22.503000000000000;"), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 12), "V,V;V,V;V,V;");
    // The length follows the shorter of the recording and the track.
    EXPECT_EQ(map_track_text(track, 2, kMapTypeWgs84).size(),
              std::string("114.000000000000000,22.500000000000000;").size() * 2);
}

TEST(MapTrack, WithoutAValidFixEveryEntryIsAGap) {
    const std::vector<gps::GpsRecord> track = {fix(22.5, 114.0, 'V'), fix(22.5, 114.0, 'V')};
    EXPECT_EQ(map_track_text(track, 10, kMapTypeChinaDatum), "V,V;V,V;");
    EXPECT_EQ(map_track_text({}, 10, kMapTypeChinaDatum), "");
}

TEST(MapTrack, ScriptsQuoteTheirTextAsJson) {
    EXPECT_EQ(start_script("1.5,2.5;V,V;"), "start(\"1.5,2.5;V,V;\")");
    EXPECT_EQ(start_script("a\"b\\c"), "start(\"a\\\"b\\\\c\")");
    EXPECT_EQ(setpos_script(3), "setpos(3)");
    EXPECT_EQ(hide_position_script(), "HidePos()");
    EXPECT_EQ(clear_interval_script(), "window.clearInterval(timer);");
    EXPECT_EQ(stop_script(), "Stop()");
}

TEST(GsensorChart, PlotAxisSamplesAndCursor) {
    const ChartLayout c = chart_layout(300, 120);
    EXPECT_EQ(c.left, 20);
    EXPECT_EQ(c.right, 280);
    EXPECT_EQ(c.half_height, 60);
    EXPECT_DOUBLE_EQ(c.scale, 1.5);  // below 80 pixels the scale stays above 0 too
    EXPECT_DOUBLE_EQ(chart_layout(300, 50).scale, 0.625);
    EXPECT_EQ(c.axis_y, 110);
    EXPECT_EQ(sample_x(c, 0, 11), 20);
    EXPECT_EQ(sample_x(c, 10, 11), 280);
    EXPECT_EQ(sample_y(c, 0), 60);
    EXPECT_EQ(sample_y(c, 40), 0);  // +40 reaches the top
    EXPECT_EQ(sample_y(c, -40), 120);

    const std::vector<GSample> s = {{1, 2, 3}, {4, -5, 6}};
    EXPECT_EQ(axis_labels(s, 1), (std::vector<std::string>{"X:4", "Y:-5", "Z:6"}));
    EXPECT_EQ(axis_labels(s, 5), (std::vector<std::string>{"X:0", "Y:0", "Z:0"}));
    EXPECT_EQ(cursor_index(7, 2), 1);
    EXPECT_EQ(cursor_index(0, 0), -1);

    // Four hours of seconds on a 260-pixel plot: one point per column, the
    // last sample kept.
    const auto drawn = drawn_samples(4 * 3600, 260);
    EXPECT_LE(drawn.size(), 262u);
    EXPECT_EQ(drawn.front(), 0u);
    EXPECT_EQ(drawn.back(), 4u * 3600 - 1);
    EXPECT_EQ(drawn_samples(5, 260).size(), 5u);
}

}  // namespace
