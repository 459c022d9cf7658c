// The KVP window with the 10 s drive sample, its playback events fed by
// KVP's test hook: the labels follow the records second by second, the
// chart cursor moves, the map gets its scripts in order around the pause
// and the seek, and a screenshot of the window with the map panel is kept
// for a look.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "gps/track_reader.h"
#include "kvp_process.h"
#include "telemetry/map_track.h"
#include "telemetry/telemetry_text.h"
#include "viewer_support.h"

namespace {

const std::string kDrive = std::string(KVP_SAMPLES_DIR) + "/gps_drive/MOVA/DRIVE.MP4";

std::vector<std::string> lines_with(const std::string& text, const std::string& prefix) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(prefix, 0) == 0) out.push_back(line.substr(prefix.size()));
    }
    return out;
}

TEST(KvpMapPanel, TheDriveSampleMovesLabelsChartAndMapInStep) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
    std::vector<gps::GpsRecord> track;
    bool continuous = false;
    ASSERT_EQ(gps::read_track(kDrive, false, track, continuous), gps::kTrackExamined);
    ASSERT_EQ(track.size(), 10u);

    kvp_test::TempDir program, settings;
    ASSERT_TRUE(viewer_test::make_program_dir(program));
    viewer_test::KvpProcess kvp({{"KVP_PROGRAM_DIR", program.path()},
                                 {"KVP_SETTINGS_DIR", settings.path()},
                                 {"KVP_MAP_TILE_URL", "http://127.0.0.1:9/{z}/{x}/{y}.png"},
                                 {"KVP_TEST_PLAYBACK_FEED", kDrive + "|10000"}});
    ASSERT_TRUE(kvp.started()) << "KVP or the connection to the X server did not start";
    ASSERT_TRUE(kvp.wait_until_drawn()) << kvp.stderr_text();
    // Mid-drive, after the seek back: the window as a person sees it.
    ASSERT_TRUE(kvp.wait_for_stderr("KVP: labels 6:", 60000)) << kvp.stderr_text();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(kvp.screenshot(KVP_TEST_OUTPUT_DIR "/kvp-map-panel-playing.png"));
    ASSERT_TRUE(kvp.wait_for_stderr("KVP: map script: Stop()", 60000)) << kvp.stderr_text();
    const std::string log = kvp.stderr_text();
    EXPECT_TRUE(kvp.close_like_a_window_manager()) << kvp.describe_windows();
    EXPECT_EQ(kvp.wait_exit(), 0);

    // The scripts, in order: the whole track, a marker move or hide per
    // second, the pause, the resume (track again, same second), the seek
    // (clear before, clear and track after), the stop.
    std::vector<std::string> scripts = lines_with(log, "KVP: map script: ");
    ASSERT_FALSE(scripts.empty());
    const std::string sent_start = scripts[0];
    // The whole clip's track, for the map type of the texts' language.
    EXPECT_TRUE(sent_start == telemetry::start_script(telemetry::map_track_text(track, 10, 0)) ||
                sent_start == telemetry::start_script(telemetry::map_track_text(track, 10, 1)))
        << sent_start;
    const std::vector<std::string> expected_tail = {"setpos(0)",
                                                    "setpos(1)",
                                                    "setpos(2)",
                                                    "setpos(3)",
                                                    "HidePos()",
                                                    "window.clearInterval(timer);",
                                                    "TRACK",
                                                    "HidePos()",
                                                    "setpos(5)",
                                                    "setpos(6)",
                                                    "window.clearInterval(timer);",
                                                    "window.clearInterval(timer);",
                                                    "TRACK",
                                                    "setpos(2)",
                                                    "setpos(3)",
                                                    "HidePos()",
                                                    "setpos(5)",
                                                    "setpos(6)",
                                                    "setpos(7)",
                                                    "setpos(8)",
                                                    "setpos(9)",
                                                    "Stop()"};
    std::vector<std::string> seen;
    for (std::size_t i = 1; i < scripts.size(); ++i) {
        seen.push_back(scripts[i] == sent_start ? "TRACK" : scripts[i]);
    }
    EXPECT_EQ(seen, expected_tail) << log;
    // The track: ten entries, the second without a fix a gap, the stray fix
    // at the median.
    EXPECT_NE(sent_start.find("V,V;"), std::string::npos);
    std::size_t entries = 0;
    for (char c : sent_start) entries += c == ';';
    EXPECT_EQ(entries, 10u);

    // The labels once per second, as the records say.
    const std::vector<std::string> labels = lines_with(log, "KVP: labels ");
    ASSERT_GE(labels.size(), 10u) << log;
    const std::regex line(R"((\d+): (.*) \| (.*) \| (.*) \| (.*); chart cursor (-?\d+))");
    std::vector<int> seconds;
    for (const std::string& l : labels) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(l, m, line)) << l;
        const int s = std::stoi(m[1]);
        seconds.push_back(s);
        const gps::GpsRecord& r = track[static_cast<std::size_t>(s)];
        EXPECT_EQ(m[5], telemetry::time_text(r));
        const int units = m[4].str().rfind("2024", 0) == 0 ? 1 : 0;
        EXPECT_EQ(m[4], telemetry::date_text(r, units));
        if (s != 4) {  // the second without a fix keeps the texts before
            EXPECT_EQ(m[2], telemetry::speed_text(r.speed_mps, units)) << l;
            EXPECT_EQ(m[3], telemetry::position_text(r)) << l;
        }
        EXPECT_EQ(std::stoi(m[6]), s) << "the chart cursor at the playing second";
    }
    // Once per second (four ticks each), again after the resume and the seek.
    EXPECT_EQ(seconds, (std::vector<int>{0, 1, 2, 3, 4, 4, 5, 6, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_NE(log.find("Get RMC 7: 22.7421, 114.0521"), std::string::npos);
}

}  // namespace
