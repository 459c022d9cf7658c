// Providing the calibration before playback: a stored file named after the
// frame width, nothing for a flat video, the automatic calibration for a
// square one.
#include <string>

#include <gtest/gtest.h>

#include "autocalib/autocalib.h"
#include "autocalib/prepare_calibration.h"
#include "autocalib_support.h"
#include "platform/paths.h"
#include "temp_dir.h"

namespace {

class PrepareCalibration : public ::testing::Test {
protected:
    kvp_test::TempDir program_folder_;
    kvp_test::TempDir out_;
    autocalib_test::ProgramDirScope scope_{program_folder_.path()};

    std::string dest() const { return out_.file("camera.inf"); }
    bool calibrated_automatically() const {
        return platform::path_exists(program_folder_.file(autocalib::kWorkPictureName));
    }
    static std::string clip(const char* name) { return autocalib_test::lens_truth(name)->path(); }
};

TEST_F(PrepareCalibration, CopiesTheStoredFileNamedAfterTheWidth) {
    const std::string stored(380, '\x5a');
    ASSERT_TRUE(kvp_test::write_file(program_folder_.file("480.inf"), stored));
    ASSERT_TRUE(kvp_test::write_file(dest(), "old calibration"));
    std::string error;
    EXPECT_EQ(
        autocalib::prepare_calibration(clip("lens_centred.mp4").c_str(), dest().c_str(), &error),
        0);
    EXPECT_EQ(kvp_test::read_file(dest()), stored);
    EXPECT_TRUE(error.empty());
    EXPECT_FALSE(calibrated_automatically());

    // The width decides, for flat frames too.
    ASSERT_TRUE(kvp_test::write_file(program_folder_.file("1920.inf"), "wide"));
    EXPECT_EQ(autocalib::prepare_calibration(clip("lens_wide.mp4").c_str(), dest().c_str()), 0);
    EXPECT_EQ(kvp_test::read_file(dest()), "wide");
}

TEST_F(PrepareCalibration, LeavesFlatFramesWithoutStoredFileAlone) {
    EXPECT_EQ(autocalib::prepare_calibration(clip("lens_wide.mp4").c_str(), dest().c_str()), 0);
    EXPECT_FALSE(platform::path_exists(dest()));
    EXPECT_FALSE(calibrated_automatically());
}

TEST_F(PrepareCalibration, CalibratesSquareFramesWithoutStoredFile) {
    const auto truth = autocalib_test::lens_truth("lens_centred.mp4");
    ASSERT_TRUE(truth);
    ASSERT_TRUE(kvp_test::write_file(program_folder_.file("512.inf"), std::string(380, '\0')));
    EXPECT_EQ(autocalib::prepare_calibration(truth->path().c_str(), dest().c_str()), 0);
    EXPECT_TRUE(calibrated_automatically());
    const auto v = autocalib_test::decode_calibration(kvp_test::read_file(dest()));
    ASSERT_TRUE(v);
    EXPECT_NEAR(v->f(72), truth->cx, 0.01 * truth->radius);
    EXPECT_NEAR(v->f(73), truth->cy, 0.01 * truth->radius);
    EXPECT_NEAR(700.0 * v->f(88) * v->f(94), truth->radius, 0.01 * truth->radius);
    EXPECT_EQ(v->i32(92), 480);
}

TEST_F(PrepareCalibration, FailedAutomaticCalibrationGives21) {
    ASSERT_TRUE(kvp_test::write_file(dest(), "kept"));
    std::string error;
    EXPECT_EQ(
        autocalib::prepare_calibration(clip("lens_black.mp4").c_str(), dest().c_str(), &error), 21);
    EXPECT_EQ(kvp_test::read_file(dest()), "kept");
    EXPECT_EQ(error.rfind("error: ", 0), 0u) << error;
    EXPECT_EQ(error.substr(error.size() - 2), ";\n");

    // A recording that cannot be probed goes to the automatic calibration,
    // which cannot read it either.
    EXPECT_EQ(autocalib::prepare_calibration(out_.file("none.mp4").c_str(), dest().c_str()), 21);
    EXPECT_EQ(autocalib::prepare_calibration(nullptr, dest().c_str(), &error), 21);
}

TEST_F(PrepareCalibration, FailedCopyGives21) {
    ASSERT_TRUE(kvp_test::write_file(program_folder_.file("480.inf"), std::string(380, 'x')));
    std::string error;
    EXPECT_EQ(autocalib::prepare_calibration(clip("lens_centred.mp4").c_str(),
                                             out_.file("no/dir/camera.inf").c_str(), &error),
              21);
    EXPECT_NE(error.find("480.inf"), std::string::npos) << error;
    // Copying the stored file onto itself is no failure.
    const std::string stored = program_folder_.file("480.inf");
    EXPECT_EQ(autocalib::prepare_calibration(clip("lens_centred.mp4").c_str(), stored.c_str()), 0);
    EXPECT_EQ(kvp_test::read_file(stored), std::string(380, 'x'));
}

}  // namespace
