// Circle detection: accuracy on the generated lens clips (whole, shifted,
// cut by the frame, wide frame, full size, 4:4:4 source) and the limits of
// the search on drawn pictures.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "autocalib/autocalib.h"
#include "autocalib_support.h"
#include "platform/paths.h"
#include "temp_dir.h"

namespace {

using autocalib_test::LensTruth;

// Centre and radius must both lie within this share of the true radius.
constexpr double kTolerance = 0.01;

class LensClipAccuracy : public ::testing::TestWithParam<const char*> {};

TEST_P(LensClipAccuracy, FindsTheCircleAndWritesItsCalibration) {
    const auto truth = autocalib_test::lens_truth(GetParam());
    ASSERT_TRUE(truth) << "no truth for " << GetParam();
    kvp_test::TempDir dir;
    autocalib_test::ProgramDirScope program_dir(dir.path());
    const std::string calibration = dir.file("out.inf");

    autocalib::CalibrationReport report;
    ASSERT_EQ(
        autocalib::make_calibration_from_video(truth->path().c_str(), calibration.c_str(), &report),
        autocalib::kOk)
        << "detail " << report.detail_code;
    EXPECT_EQ(report.code, autocalib::kOk);
    EXPECT_EQ(report.width, truth->width);
    EXPECT_EQ(report.height, truth->height);
    ASSERT_TRUE(report.circle.found);
    EXPECT_EQ(report.whole, truth->whole());
    EXPECT_GT(report.circle.inlier_share, 0.5f);

    const double centre_error =
        std::hypot(report.circle.cx - truth->cx, report.circle.cy - truth->cy) / truth->radius;
    const double radius_error = std::abs(report.circle.radius - truth->radius) / truth->radius;
    std::printf("%s: centre error %.3f %%, radius error %.3f %% of the radius\n", GetParam(),
                100 * centre_error, 100 * radius_error);
    EXPECT_LT(centre_error, kTolerance) << report.circle.cx << ", " << report.circle.cy;
    EXPECT_LT(radius_error, kTolerance) << report.circle.radius;

    // The file holds what was detected, and the player's fit of it.
    const auto values = autocalib_test::decode_calibration(kvp_test::read_file(calibration));
    ASSERT_TRUE(values);
    EXPECT_FLOAT_EQ(values->f(72), report.circle.cx);
    EXPECT_FLOAT_EQ(values->f(73), report.circle.cy);
    EXPECT_EQ(values->i32(92), truth->width);
    EXPECT_EQ(values->i32(93), truth->height);
    const float expected_r =
        std::min({report.circle.radius, truth->width / 2.0f, truth->height / 2.0f}) - 1.0f;
    EXPECT_NEAR(autocalib_test::player_radius(*values), expected_r, 1e-3 * expected_r);
}

INSTANTIATE_TEST_SUITE_P(GeneratedClips, LensClipAccuracy,
                         ::testing::Values("lens_centred.mp4", "lens_shifted.mp4", "lens_cut.mp4",
                                           "lens_wide.mp4", "lens_full.mp4", "lens_yuv444.mp4"),
                         [](const auto& info) {
                             std::string name = info.param;
                             name = name.substr(5, name.find('.') - 5);
                             return name;
                         });

TEST(AutoCalibration, CalibrationsAtOnceInOneProgramFolderEachFindTheirOwnCircle) {
    // Two exports starting together share the program folder's one work
    // picture: each must still be calibrated from its own recording.
    const auto centred = autocalib_test::lens_truth("lens_centred.mp4");
    const auto shifted = autocalib_test::lens_truth("lens_shifted.mp4");
    ASSERT_TRUE(centred && shifted);
    kvp_test::TempDir dir;
    autocalib_test::ProgramDirScope program_dir(dir.path());
    constexpr int kRounds = 3;
    auto calibrate = [&dir](const LensTruth& truth, int id, std::vector<double>& errors) {
        for (int round = 0; round < kRounds; ++round) {
            const std::string out = dir.file(std::to_string(id) + ".inf");
            autocalib::CalibrationReport report;
            const int code =
                autocalib::make_calibration_from_video(truth.path().c_str(), out.c_str(), &report);
            errors.push_back(code != autocalib::kOk ? 1e9
                                                    : std::hypot(report.circle.cx - truth.cx,
                                                                 report.circle.cy - truth.cy) /
                                                          truth.radius);
        }
    };
    std::vector<double> a, b;
    std::thread first([&] { calibrate(*centred, 1, a); });
    std::thread second([&] { calibrate(*shifted, 2, b); });
    first.join();
    second.join();
    for (double e : a) EXPECT_LT(e, kTolerance);
    for (double e : b) EXPECT_LT(e, kTolerance);
}

TEST(AutoCalibration, BlackFirstPictureFailsAndWritesNothing) {
    const auto truth = autocalib_test::lens_truth("lens_black.mp4");
    ASSERT_TRUE(truth);
    kvp_test::TempDir dir;
    autocalib_test::ProgramDirScope program_dir(dir.path());
    const std::string calibration = dir.file("out.inf");

    autocalib::CalibrationReport report;
    EXPECT_EQ(
        autocalib::make_calibration_from_video(truth->path().c_str(), calibration.c_str(), &report),
        autocalib::kCalibrationFailed);
    EXPECT_EQ(report.detail_code, autocalib::kCircleNotFound);
    EXPECT_FALSE(report.circle.found);
    EXPECT_EQ(report.width, 480);
    EXPECT_FALSE(platform::path_exists(calibration));
    // The work picture was made, in the program folder.
    EXPECT_TRUE(platform::path_exists(dir.file(autocalib::kWorkPictureName)));
}

TEST(AutoCalibration, MissingRecordingGivesNoFrame) {
    kvp_test::TempDir dir;
    autocalib_test::ProgramDirScope program_dir(dir.path());
    autocalib::CalibrationReport report;
    EXPECT_EQ(autocalib::make_calibration_from_video(dir.file("none.mp4").c_str(),
                                                     dir.file("out.inf").c_str(), &report),
              autocalib::kNoFrameExtracted);
    EXPECT_EQ(report.detail_code, autocalib::kCannotOpenInput);
    EXPECT_FALSE(platform::path_exists(dir.file("out.inf")));
}

// --- drawn pictures

// A w x h black picture with a textured disc (grey with a white grid).
cv::Mat drawn_lens(int w, int h, double cx, double cy, double r, int channels = 3) {
    cv::Mat texture(h, w, CV_8UC3, cv::Scalar(90, 140, 120));
    for (int x = 0; x < w; x += 37) cv::line(texture, {x, 0}, {x, h}, cv::Scalar::all(250), 2);
    for (int y = 0; y < h; y += 29) cv::line(texture, {0, y}, {w, y}, cv::Scalar::all(250), 2);
    cv::Mat mask = cv::Mat::zeros(h, w, CV_8U);
    const int shift = 4;  // sub-pixel centre and radius
    cv::circle(mask, {int(std::lround(cx * 16)), int(std::lround(cy * 16))},
               int(std::lround(r * 16)), cv::Scalar(255), cv::FILLED, cv::LINE_AA, shift);
    cv::Mat picture = cv::Mat::zeros(h, w, CV_8UC3);
    texture.copyTo(picture, mask);
    if (channels == 1) cv::cvtColor(picture, picture, cv::COLOR_BGR2GRAY);
    if (channels == 4) cv::cvtColor(picture, picture, cv::COLOR_BGR2BGRA);
    return picture;
}

void expect_circle(const autocalib::CircleDetection& d, double cx, double cy, double r) {
    ASSERT_TRUE(d.found);
    EXPECT_LT(std::hypot(d.cx - cx, d.cy - cy), kTolerance * r) << d.cx << ", " << d.cy;
    EXPECT_LT(std::abs(d.radius - r), kTolerance * r) << d.radius;
}

TEST(DetectImageCircle, FindsDrawnCirclesInAnyChannelLayout) {
    expect_circle(autocalib::detect_image_circle(drawn_lens(800, 800, 410, 385, 350)), 410, 385,
                  350);
    expect_circle(autocalib::detect_image_circle(drawn_lens(600, 600, 300, 300, 250, 1)), 300, 300,
                  250);
    expect_circle(autocalib::detect_image_circle(drawn_lens(600, 600, 300, 300, 250, 4)), 300, 300,
                  250);
    // Smaller than the working size, and a wide frame with the circle cut
    // above and below.
    expect_circle(autocalib::detect_image_circle(drawn_lens(320, 320, 165, 155, 140)), 165, 155,
                  140);
    expect_circle(autocalib::detect_image_circle(drawn_lens(1280, 720, 640, 360, 420)), 640, 360,
                  420);
}

TEST(DetectImageCircle, RefusesPicturesWithoutALensCircle) {
    EXPECT_FALSE(autocalib::detect_image_circle(cv::Mat()).found);
    EXPECT_FALSE(autocalib::detect_image_circle(cv::Mat::zeros(480, 480, CV_8UC3)).found);
    EXPECT_FALSE(
        autocalib::detect_image_circle(cv::Mat(480, 480, CV_8UC3, cv::Scalar::all(200))).found);
    EXPECT_FALSE(autocalib::detect_image_circle(cv::Mat::zeros(480, 480, CV_32FC3)).found);
    // A tiny picture: no room for a circle of the allowed size.
    EXPECT_FALSE(autocalib::detect_image_circle(cv::Mat::zeros(1, 1, CV_8UC3)).found);
}

TEST(DetectImageCircle, KeepsToTheSearchBounds) {
    // Centre further from the picture centre than a fifth of the half size.
    EXPECT_FALSE(autocalib::detect_image_circle(drawn_lens(480, 480, 140, 240, 120)).found);
    EXPECT_FALSE(autocalib::detect_image_circle(drawn_lens(480, 480, 240, 330, 120)).found);
    // Radius below a quarter of the shorter side.
    EXPECT_FALSE(autocalib::detect_image_circle(drawn_lens(480, 480, 240, 240, 50)).found);
    // Just inside the centre box is still found.
    expect_circle(autocalib::detect_image_circle(drawn_lens(480, 480, 280, 205, 150)), 280, 205,
                  150);
}

TEST(DetectImageCircle, WholeMeansInsideEveryEdge) {
    autocalib::CircleDetection c{true, 240, 240, 240, 1};
    EXPECT_TRUE(autocalib::circle_is_whole(c, 480, 480));
    c.cx = 239.5f;
    EXPECT_FALSE(autocalib::circle_is_whole(c, 480, 480));
    c = {true, 240, 240, 200, 1};
    EXPECT_FALSE(autocalib::circle_is_whole(c, 640, 360));
}

}  // namespace
