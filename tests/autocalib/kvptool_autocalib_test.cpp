// kvptool autocalib on the generated lens clips.
#include <cmath>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "autocalib_support.h"
#include "temp_dir.h"

namespace {

kvp_test::CommandResult autocalib_cmd(const std::string& program_dir, const std::string& args) {
    return kvp_test::run_command("KVP_PROGRAM_DIR='" + program_dir +
                                 "' " KVP_BIN_DIR "/kvptool autocalib " + args);
}

TEST(KvptoolAutocalib, PrintsTheCircleAsJson) {
    const auto truth = autocalib_test::lens_truth("lens_cut.mp4");
    ASSERT_TRUE(truth);
    kvp_test::TempDir dir;
    const auto r =
        autocalib_cmd(dir.path(), "--json '" + truth->path() + "' '" + dir.file("out.inf") + "'");
    EXPECT_EQ(r.exit_code, 0) << r.out;
    const auto j = nlohmann::json::parse(r.out, nullptr, false);
    ASSERT_TRUE(j.is_object()) << r.out;
    EXPECT_EQ(j["code"], 0);
    EXPECT_EQ(j["found"], true);
    EXPECT_EQ(j["whole"], false);
    EXPECT_EQ(j["width"], 480);
    EXPECT_EQ(j["height"], 480);
    EXPECT_NEAR(j["cx"].get<double>(), truth->cx, 0.01 * truth->radius);
    EXPECT_NEAR(j["cy"].get<double>(), truth->cy, 0.01 * truth->radius);
    EXPECT_NEAR(j["radius"].get<double>(), truth->radius, 0.01 * truth->radius);
    const double share = j["inlier_share"].get<double>();
    EXPECT_GT(share, 0.5);
    EXPECT_LE(share, 1.0);
    EXPECT_EQ(kvp_test::read_file(dir.file("out.inf")).size(), 380u);
}

TEST(KvptoolAutocalib, PlainOutputSaysWhetherTheCircleIsWhole) {
    const auto truth = autocalib_test::lens_truth("lens_centred.mp4");
    ASSERT_TRUE(truth);
    kvp_test::TempDir dir;
    const auto r =
        autocalib_cmd(dir.path(), "'" + truth->path() + "' '" + dir.file("out.inf") + "'");
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("circle:   whole"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("frame:    480x480"), std::string::npos) << r.out;
}

TEST(KvptoolAutocalib, FailsWithTheCalibrationCodes) {
    kvp_test::TempDir dir;
    const auto black = autocalib_test::lens_truth("lens_black.mp4");
    ASSERT_TRUE(black);
    auto r =
        autocalib_cmd(dir.path(), "--json '" + black->path() + "' '" + dir.file("out.inf") + "'");
    EXPECT_NE(r.exit_code, 0);
    auto j = nlohmann::json::parse(r.out, nullptr, false);
    ASSERT_TRUE(j.is_object()) << r.out;
    EXPECT_EQ(j["code"], 467);
    EXPECT_EQ(j["found"], false);

    r = autocalib_cmd(dir.path(),
                      "--json '" + dir.file("none.mp4") + "' '" + dir.file("out.inf") + "'");
    EXPECT_NE(r.exit_code, 0);
    j = nlohmann::json::parse(r.out, nullptr, false);
    ASSERT_TRUE(j.is_object()) << r.out;
    EXPECT_EQ(j["code"], 459);
    EXPECT_TRUE(kvp_test::read_file(dir.file("out.inf")).empty());
}

}  // namespace
