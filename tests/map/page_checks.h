// The same checks of a map page, whichever browser runs it: `eval` runs an
// expression in the page and returns its value as JSON text.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "gps/gps_record.h"
#include "telemetry/map_track.h"

namespace map_test {

using Eval = std::function<std::string(const std::string& expression)>;
// Lets the page's own timers run for a while.
using Wait = std::function<void(int ms)>;

// Six seconds heading north-east from 22.54 N, 114.05 E, the third without
// a fix.
inline std::vector<gps::GpsRecord> test_track() {
    std::vector<gps::GpsRecord> track;
    for (int k = 0; k < 6; ++k) {
        gps::GpsRecord r{};
        r.status = k == 2 ? 'V' : 'A';
        r.latitude_deg = 22.54 + 0.0003 * k;
        r.longitude_deg = 114.05 + 0.0003 * k;
        r.ns = 'N';
        r.ew = 'E';
        track.push_back(r);
    }
    return track;
}

inline nlohmann::json state(const Eval& eval) {
    const std::string text = eval("kvpMapState()");
    const nlohmann::json outer = nlohmann::json::parse(text, nullptr, false);
    if (!outer.is_string()) return nlohmann::json();
    return nlohmann::json::parse(outer.get<std::string>(), nullptr, false);
}

// start, setpos(3), its own step a second later, clearInterval, HidePos,
// Stop; then the track and marker again for the screenshot. `map_type`
// picks the coordinates sent (0: shifted, which the page takes back).
inline void check_page(const Eval& eval, const Wait& wait, int map_type) {
    const std::string track = telemetry::map_track_text(test_track(), 6, map_type);
    EXPECT_EQ(eval(telemetry::start_script(track)), "6");
    nlohmann::json s = state(eval);
    ASSERT_TRUE(s.is_object()) << eval("kvpMapState()");
    EXPECT_EQ(s["entries"], 6);
    EXPECT_EQ(s["points"], 5);
    EXPECT_EQ(s["segments"], 2);  // broken at the second without a fix
    EXPECT_EQ(s["marker"]["visible"], false);

    eval(telemetry::setpos_script(3) + ", 0");
    s = state(eval);
    EXPECT_EQ(s["second"], 3);
    EXPECT_EQ(s["marker"]["visible"], true);
    // Drawn where the recorder was (the page undoes the shift of type 0).
    const double tolerance = map_type == 0 ? 2e-5 : 1e-9;
    EXPECT_NEAR(s["marker"]["lat"].get<double>(), 22.5409, tolerance);
    EXPECT_NEAR(s["marker"]["lon"].get<double>(), 114.0509, tolerance);
    EXPECT_EQ(s["stepping"], true);

    // The marker goes on by itself until the viewer pauses it.
    wait(1400);
    EXPECT_EQ(state(eval)["second"], 4);
    eval(telemetry::clear_interval_script() + " 0");
    wait(1400);
    EXPECT_EQ(state(eval)["second"], 4);

    eval(telemetry::hide_position_script() + ", 0");
    EXPECT_EQ(state(eval)["marker"]["visible"], false);

    // A second start replaces the track.
    EXPECT_EQ(eval(telemetry::start_script("114.1,22.6;114.2,22.7;")), "2");
    EXPECT_EQ(state(eval)["entries"], 2);

    eval(telemetry::stop_script() + ", 0");
    s = state(eval);
    EXPECT_EQ(s["entries"], 0);
    EXPECT_EQ(s["segments"], 0);
    EXPECT_EQ(s["marker"]["visible"], false);

    // Only numbers are drawn: anything else in an entry is a gap.
    EXPECT_EQ(eval("start(\"alert(1),x;114.05,22.54;\")"), "2");
    EXPECT_EQ(state(eval)["points"], 1);

    // For the screenshot: the whole track and the marker.
    eval(telemetry::start_script(track) + ", 0");
    eval(telemetry::setpos_script(3) + ", " + telemetry::clear_interval_script() + " 0");
    wait(500);
}

}  // namespace map_test
