// kvptool info on the generated recordings.
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
    EXPECT_EQ(fisheye["width"], 480);
    EXPECT_EQ(fisheye["height"], 480);
    EXPECT_EQ(fisheye["square"], true);
    EXPECT_EQ(fisheye["has_audio"], true);
    EXPECT_NEAR(fisheye["duration_ms"].get<double>(), 2000, 100);

    const auto ts = info_json(KVP_SAMPLES_DIR "/fisheye.ts", 0);
    EXPECT_EQ(ts["square"], true);

    const auto flat = info_json(KVP_SAMPLES_DIR "/flat.mp4", 0);
    EXPECT_EQ(flat["width"], 640);
    EXPECT_EQ(flat["height"], 360);
    EXPECT_EQ(flat["square"], false);
}

TEST(KvptoolInfo, MissingFileFailsWithACodeAndAText) {
    const auto j = info_json("/nonexistent/file.mp4", 15);
    ASSERT_TRUE(j.is_object());
    EXPECT_EQ(j["code"], 15);
    EXPECT_FALSE(j["error"].get<std::string>().empty());
}

TEST(KvptoolInfo, PlainOutputNamesTheKind) {
    const auto r =
        kvp_test::run_command(KVP_BIN_DIR "/kvptool info " KVP_SAMPLES_DIR "/fisheye.mp4");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out.find("480x480 (square fisheye)"), std::string::npos) << r.out;
}

}  // namespace
