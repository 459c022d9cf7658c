// The calibration file written for a detected circle: its byte layout and
// how the player loads it.
#include <cmath>
#include <csignal>
#include <cstring>

#include <sys/resource.h>

#include <gtest/gtest.h>

#include "autocalib/autocalib.h"
#include "autocalib_support.h"
#include "platform/paths.h"
#include "temp_dir.h"

namespace {

std::uint32_t bits_of(float v) {
    std::uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

TEST(CalibrationFile, HoldsAnEquidistantLensInTheFixedLayout) {
    kvp_test::TempDir dir;
    const std::string path = dir.file("lens.inf");
    ASSERT_EQ(
        autocalib::write_calibration_file(path.c_str(), 200.0, 250.5f, 240.25f, 230.0f, 512, 480),
        autocalib::kOk);
    const std::string bytes = kvp_test::read_file(path);
    ASSERT_EQ(bytes.size(), 380u);
    const auto v = autocalib_test::decode_calibration(bytes);
    ASSERT_TRUE(v);
    // Little-endian on disk: the camera count 1 starts with its low byte.
    EXPECT_EQ(bytes[91 * 4], 1);
    for (int cam = 0; cam < 8; ++cam) {
        for (int i = 0; i < 9; ++i) {
            EXPECT_EQ(v->f(9 * cam + i), (i == 0 || i == 4 || i == 8) ? 1.0f : 0.0f)
                << "camera " << cam << " value " << i;
        }
        EXPECT_EQ(v->f(72 + 2 * cam), 250.5f);
        EXPECT_EQ(v->f(73 + 2 * cam), 240.25f);
    }
    const double t_max = 200.0 * 0.5 / 180.0 * 3.141592653589793;
    EXPECT_EQ(v->f(94), static_cast<float>(t_max));
    EXPECT_NEAR(v->f(94), 1.7453292f, 1e-6f);
    EXPECT_EQ(v->f(88), static_cast<float>(230.0 / 700.0 / t_max));
    EXPECT_EQ(v->bits[89], 0x2EDBE6FFu);
    EXPECT_EQ(v->bits[90], 0x2EDBE6FFu);
    EXPECT_EQ(v->i32(91), 1);
    EXPECT_EQ(v->i32(92), 512);
    EXPECT_EQ(v->i32(93), 480);
    // The polynomial gives the radius back at the maximum angle.
    EXPECT_NEAR(700.0 * v->f(88) * v->f(94), 230.0, 1e-3);
}

TEST(CalibrationFile, FieldOfViewSetsTheMaximumAngle) {
    kvp_test::TempDir dir;
    const std::string path = dir.file("lens.inf");
    ASSERT_EQ(autocalib::write_calibration_file(path.c_str(), 180.0, 1, 2, 300, 640, 640),
              autocalib::kOk);
    const auto v = autocalib_test::decode_calibration(kvp_test::read_file(path));
    ASSERT_TRUE(v);
    EXPECT_EQ(bits_of(v->f(94)), bits_of(static_cast<float>(3.141592653589793 / 2)));
    EXPECT_NEAR(700.0 * v->f(88) * v->f(94), 300.0, 1e-3);
}

TEST(CalibrationFile, LoadsWithThePlayersRadiusFit) {
    kvp_test::TempDir dir;
    const std::string path = dir.file("lens.inf");
    struct Case {
        float r;
        int w, h;
        float expected;
    };
    // Inside the frame: the detected radius less one pixel; larger than the
    // frame: the half of the shorter side less one.
    for (const Case& c : {Case{230, 512, 480, 229}, Case{300, 480, 480, 239},
                          Case{600, 1920, 1080, 539}, Case{950, 1920, 1920, 949}}) {
        ASSERT_EQ(autocalib::write_calibration_file(path.c_str(), 200, c.w / 2.0f, c.h / 2.0f, c.r,
                                                    c.w, c.h),
                  autocalib::kOk);
        const auto v = autocalib_test::decode_calibration(kvp_test::read_file(path));
        ASSERT_TRUE(v);
        EXPECT_NEAR(autocalib_test::player_radius(*v), c.expected, 1e-3 * c.expected)
            << c.r << " in " << c.w << "x" << c.h;
    }
}

TEST(CalibrationFile, FailsWhenTheFileCannotBeCreated) {
    kvp_test::TempDir dir;
    EXPECT_EQ(
        autocalib::write_calibration_file(dir.file("no/such/dir.inf").c_str(), 200, 1, 1, 1, 2, 2),
        autocalib::kCannotCreateCalibration);
    EXPECT_EQ(autocalib::write_calibration_file(nullptr, 200, 1, 1, 1, 2, 2),
              autocalib::kCannotCreateCalibration);
    EXPECT_EQ(autocalib::write_calibration_file(dir.path().c_str(), 200, 1, 1, 1, 2, 2),
              autocalib::kCannotCreateCalibration);
}

// A disk that fills up part-way: the file size limit stops the write after
// 100 bytes. A short calibration file must not be left behind.
TEST(CalibrationFile, LeavesNoShortFileWhenWritingFails) {
    kvp_test::TempDir dir;
    const std::string path = dir.file("short.inf");
    rlimit old_limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old_limit;
    limit.rlim_cur = 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    const int rc = autocalib::write_calibration_file(path.c_str(), 200, 1, 1, 1, 2, 2);
    ::setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);
    EXPECT_EQ(rc, autocalib::kCannotCreateCalibration);
    EXPECT_FALSE(platform::path_exists(path));
}

}  // namespace
