// The view operations before playback: what they store, and the viewport
// index checks with their texts.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/paths.h"
#include "sphere_player_impl.h"
#include "temp_dir.h"
#include "view_math.h"

namespace {

using sphere_player::DOR_SpherePlayerImpl;

class ViewOpsTest : public ::testing::Test {
protected:
    // The view record as it is now.
    sphere_player::ViewRecord view() {
        sphere_player::ViewState& state = player_.state().vs->view;
        platform::MutexLock lock(state.mutex);
        return state.record;
    }
    std::string error() { return player_.GetLastErrorText(); }

    DOR_SpherePlayerImpl player_;
};

TEST_F(ViewOpsTest, ANewPlayerHasTheDocumentedViewDefaults) {
    EXPECT_EQ(player_.IsPlaying(), 0);
    EXPECT_FLOAT_EQ(view().cylinder_rotation_rad, 1.5707964f);
    for (int v = 0; v < 4; ++v) {
        for (int a = 0; a < 3; ++a) {
            EXPECT_EQ(view().angle_min_deg[v][a], -180.0f);
            EXPECT_EQ(view().angle_max_deg[v][a], 180.0f);
        }
    }
    EXPECT_EQ(player_.GetVideoDurationms(), 0);
    DOR_VideoTime t{1, 1, 1};
    EXPECT_EQ(player_.GetPlayTime(&t), DOR_PLAYER_OK);
    EXPECT_EQ(t.minutes + t.seconds + t.milliseconds, 0);
    EXPECT_EQ(player_.GetCurrentPositionMs(), 0);
}

TEST_F(ViewOpsTest, ViewportFourIsRefusedWithTheViewportCountText) {
    const std::string text = "error: invalid viewport index: 4: we support at most 4 viewports;\n";
    EXPECT_EQ(player_.SetDrawMode(2, 4), DOR_PLAYER_FAILED);
    EXPECT_EQ(error(), text);
    EXPECT_EQ(player_.SetViewport(0, 0, 10, 10, 4), DOR_PLAYER_FAILED);
    EXPECT_EQ(error(), text);
    EXPECT_EQ(player_.DisableViewport(4), DOR_PLAYER_FAILED);
    EXPECT_EQ(error(), text);
    // These print the short line instead and succeed.
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(player_.SetViewAngles(1, 2, 3, 4), DOR_PLAYER_OK);
    EXPECT_EQ(player_.SetZoom(1.0f, 4), DOR_PLAYER_OK);
    std::fflush(stdout);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "error: invalid viewport index 4;\nerror: invalid viewport index 4;\n");
    // Reading or limiting a viewport that does not exist touches nothing.
    EXPECT_EQ(player_.GetZoom(4), 0.0f);
    EXPECT_EQ(player_.GetZoom(-1), 0.0f);
    EXPECT_EQ(player_.SetViewAngleLimits(0, 1, 0, 1, 0, 1, 4), DOR_PLAYER_FAILED);
    EXPECT_EQ(player_.SetViewAngleLimits(0, 1, 0, 1, 0, 1, -1), DOR_PLAYER_FAILED);
    float p = 0;
    EXPECT_EQ(player_.GetViewAngles(7, &p, &p, &p), DOR_PLAYER_FAILED);
}

TEST_F(ViewOpsTest, ViewportsAreStoredAndEnabledBeforePlayback) {
    EXPECT_EQ(player_.SetViewport(-5, 0, 640, 480, 2), DOR_PLAYER_OK);
    EXPECT_EQ(view().rect[2].x, 0);
    EXPECT_EQ(view().rect[2].y, 0);
    EXPECT_EQ(view().rect[2].width, 640);
    EXPECT_EQ(view().rect[2].height, 480);
    EXPECT_EQ(view().enabled[2], 1);
    EXPECT_EQ(view().pending_rect, 0);
    EXPECT_EQ(player_.SetDrawMode(6, 2), DOR_PLAYER_OK);
    EXPECT_EQ(view().draw_mode[2], 6);
    EXPECT_EQ(view().pending_draw_mode, 0);
    EXPECT_EQ(player_.DisableViewport(2), DOR_PLAYER_OK);
    EXPECT_EQ(view().enabled[2], 0);
}

TEST_F(ViewOpsTest, WindowChoiceIsStored) {
    EXPECT_EQ(player_.SetWindowRect(10, 20, 800, 600), DOR_PLAYER_OK);
    EXPECT_EQ(view().use_native_window, 0);
    EXPECT_EQ(view().window_width, 800);
    int handle = 0;
    EXPECT_EQ(player_.SetNativeWindow(&handle), DOR_PLAYER_OK);
    EXPECT_EQ(view().use_native_window, 1);
    EXPECT_EQ(view().native_window, &handle);
    EXPECT_EQ(player_.state().native_window, &handle);
}

TEST_F(ViewOpsTest, AnglesZoomLimitsOrientationAndVolumeAreStored) {
    EXPECT_EQ(player_.SetViewAngles(190.0f, -90.5f, 45.7f, 1), DOR_PLAYER_OK);
    float pitch = 0, yaw = 0, roll = 0;
    EXPECT_EQ(player_.GetViewAngles(1, &pitch, &yaw, &roll), DOR_PLAYER_OK);
    EXPECT_EQ(pitch, -170.0f);
    EXPECT_EQ(yaw, -91.0f);  // truncated after adding 180: 89.5 -> 89
    EXPECT_EQ(roll, 45.0f);

    EXPECT_EQ(player_.SetZoom(1.25f, 3), DOR_PLAYER_OK);
    EXPECT_EQ(player_.GetZoom(3), 1.25f);

    EXPECT_EQ(player_.SetViewAngleLimits(-10, 10, -20, 20, -30, 30, 3), DOR_PLAYER_OK);
    EXPECT_EQ(view().angle_min_deg[3][1], -20.0f);
    EXPECT_EQ(view().angle_max_deg[3][2], 30.0f);

    EXPECT_EQ(player_.SetOrientation(3), DOR_PLAYER_OK);
    EXPECT_EQ(view().orientation_request, 2);
    EXPECT_EQ(player_.SetOrientation(1), DOR_PLAYER_OK);
    EXPECT_EQ(view().orientation_request, 1);

    player_.SetVolume(64);
    EXPECT_EQ(player_.state().volume, 64);
    player_.SetVolume(500);
    EXPECT_EQ(player_.state().volume, 128);
    player_.SetVolume(-3);
    EXPECT_EQ(player_.state().volume, 0);
}

TEST(ViewMath, AnglesAreWholeDegreesModuloAFullTurn) {
    using sphere_player::normalise_angle_deg;
    EXPECT_EQ(normalise_angle_deg(0.0f), 0.0f);
    EXPECT_EQ(normalise_angle_deg(179.9f), 179.0f);
    EXPECT_EQ(normalise_angle_deg(180.0f), -180.0f);
    EXPECT_EQ(normalise_angle_deg(540.0f), -180.0f);
    EXPECT_EQ(normalise_angle_deg(-180.0f), -180.0f);
    EXPECT_EQ(normalise_angle_deg(-10.5f), -11.0f);  // 169.5 -> 169
    // C's remainder keeps the sign: below -180 the result stays below.
    EXPECT_EQ(normalise_angle_deg(-190.0f), -190.0f);
    EXPECT_EQ(normalise_angle_deg(1.0e9f), -80.0f);  // 1e9 = 2777777 turns + 280
    EXPECT_EQ(normalise_angle_deg(std::nanf("")), 0.0f);
}

TEST_F(ViewOpsTest, PlaybackOperationsWithoutAnOpenFileDoNothing) {
    EXPECT_EQ(player_.Play(nullptr, nullptr, nullptr, nullptr, nullptr), DOR_PLAYER_FAILED);
    EXPECT_EQ(error(), "error: no media opened, call Init first;\n");
    EXPECT_EQ(player_.IsPlaying(), 0);
    EXPECT_EQ(player_.Pause(), DOR_PLAYER_OK);
    EXPECT_EQ(player_.Resume(), DOR_PLAYER_OK);
    EXPECT_EQ(player_.StepFrame(true), DOR_PLAYER_OK);
    EXPECT_EQ(player_.Stop(), DOR_PLAYER_OK);
    EXPECT_EQ(player_.SetVideoFilter("eq=contrast=1:brightness=0.2"), DOR_PLAYER_OK);
    EXPECT_EQ(player_.state().filter.description(), "eq=contrast=1:brightness=0.2");
    EXPECT_EQ(player_.SetVideoFilter(std::string(300, 'x').c_str()), DOR_PLAYER_OK);
    EXPECT_EQ(player_.state().filter.description().size(), 127u);
    EXPECT_EQ(player_.SetVideoFilter(nullptr), DOR_PLAYER_OK);
    EXPECT_EQ(player_.state().filter.description(), "");
}

// The calibration is provided through the player without an opened file:
// nothing for a flat video, the automatic calibration for a square one, and
// a failure with its text for a recording that cannot be read.
TEST_F(ViewOpsTest, PrepareCalibrationProvidesTheCalibrationFile) {
    kvp_test::TempDir program_dir;
    ::setenv("KVP_PROGRAM_DIR", program_dir.path().c_str(), 1);
    const std::string dest = program_dir.file("camera.inf");

    EXPECT_EQ(player_.PrepareCalibration(KVP_SAMPLES_DIR "/flat.mp4", dest.c_str()), DOR_PLAYER_OK);
    EXPECT_FALSE(platform::path_exists(dest));

    EXPECT_EQ(player_.PrepareCalibration(KVP_SAMPLES_DIR "/fisheye.mp4", dest.c_str()),
              DOR_PLAYER_OK);
    EXPECT_EQ(kvp_test::read_file(dest).size(), 380u);

    EXPECT_EQ(player_.PrepareCalibration("/nonexistent/a.mp4", dest.c_str()), DOR_PLAYER_FAILED);
    EXPECT_EQ(error().rfind("error: ", 0), 0u) << error();
    ::unsetenv("KVP_PROGRAM_DIR");
}

}  // namespace
