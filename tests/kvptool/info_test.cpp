// kvptool info: what the player's Init reports on the generated recordings.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "temp_dir.h"

namespace {

nlohmann::json info_json(const std::string& file, int expected_exit) {
    const auto r = kvp_test::run_command(KVP_BIN_DIR "/kvptool info --json '" + file + "'");
    EXPECT_EQ(r.exit_code, expected_exit) << r.out;
    return nlohmann::json::parse(r.out, nullptr, false);
}

TEST(KvptoolInfo, ReportsSizeKindDurationAndStreams) {
    const auto fisheye = info_json(KVP_SAMPLES_DIR "/fisheye.mp4", 0);
    ASSERT_TRUE(fisheye.is_object());
    EXPECT_EQ(fisheye["code"], 0);
    EXPECT_EQ(fisheye["error"], "");
    EXPECT_EQ(fisheye["width"], 480);
    EXPECT_EQ(fisheye["height"], 480);
    EXPECT_EQ(fisheye["square"], true);
    EXPECT_EQ(fisheye["has_audio"], true);
    EXPECT_EQ(fisheye["duration_ms"], 2000);
    EXPECT_EQ(fisheye["duration"], nlohmann::json::array({0, 2, 0}));
    EXPECT_TRUE(fisheye["last_pcr"].is_null());  // not a TS file
    EXPECT_EQ(fisheye["streams"].size(), 2u);

    const auto ts = info_json(KVP_SAMPLES_DIR "/fisheye.ts", 0);
    EXPECT_EQ(ts["square"], true);
    EXPECT_EQ(ts["last_pcr"], 0);

    const auto flat = info_json(KVP_SAMPLES_DIR "/flat.mp4", 0);
    EXPECT_EQ(flat["width"], 640);
    EXPECT_EQ(flat["height"], 360);
    EXPECT_EQ(flat["square"], false);

    const auto live = info_json(KVP_SAMPLES_DIR "/live.flv", 0);
    EXPECT_EQ(live["duration"], nlohmann::json::array({100, 0, 0}));
    EXPECT_EQ(live["has_audio"], false);
}

TEST(KvptoolInfo, ReportsTheLastPcrOfARecorderTsAndItsRepair) {
    kvp_test::TempDir dir;
    const std::string copy = dir.file("20241207_153100A.ts");
    ASSERT_TRUE(
        kvp_test::write_file(copy, kvp_test::read_file(KVP_SAMPLES_DIR "/20241207_153100A.ts")));
    const auto j = info_json(copy, 0);
    EXPECT_EQ(j["last_pcr"], 306000);
    EXPECT_EQ(j["duration_ms"], 2000);
    EXPECT_EQ(kvp_test::read_file(copy).size(),
              kvp_test::read_file(KVP_SAMPLES_DIR "/20241207_153000A.ts").size());
}

TEST(KvptoolInfo, FailuresCarryThePlayersCodeAndText) {
    const auto missing = info_json("/nonexistent/file.mp4", 15);
    ASSERT_TRUE(missing.is_object());
    EXPECT_EQ(missing["code"], 15);
    EXPECT_EQ(missing["error"].get<std::string>().rfind("error: couldn't open input stream", 0),
              0u);

    const auto sound_only = info_json(KVP_SAMPLES_DIR "/audio_only.m4a", 16);
    EXPECT_EQ(sound_only["error"], "error: can not find a video stream.\n");
}

TEST(KvptoolInfo, PlainOutputNamesTheKind) {
    const auto r =
        kvp_test::run_command(KVP_BIN_DIR "/kvptool info " KVP_SAMPLES_DIR "/fisheye.mp4");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out.find("480x480 (square fisheye)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("duration:  0:02.000 (2000 ms)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("audio aac 48000 Hz"), std::string::npos) << r.out;
}

}  // namespace
