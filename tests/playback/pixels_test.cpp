// A played fisheye picture read back from the window: the whole path from
// the file through the decoder, the ring, the upload and the dewarping
// renderer to the window. play_lens.mp4 is a black frame with a red square
// "lens" and a blue square at its centre; the calibration puts the lens
// circle over the whole frame.
#include <cmath>
#include <cstdlib>

#include "playback_support.h"

namespace playback_test {
namespace {

struct Rgb {
    double r, g, b;
};

constexpr double kTolerance = 40.0;  // video encoding and BT.601 rounding

bool near(const Rgb& got, const Rgb& want) {
    return std::abs(got.r - want.r) <= kTolerance && std::abs(got.g - want.g) <= kTolerance &&
           std::abs(got.b - want.b) <= kTolerance;
}

void expect_colour(const Rgb& got, const Rgb& want, const char* what) {
    EXPECT_NEAR(got.r, want.r, kTolerance) << what;
    EXPECT_NEAR(got.g, want.g, kTolerance) << what;
    EXPECT_NEAR(got.b, want.b, kTolerance) << what;
}

class PixelsTest : public PlaybackTest {
protected:
    // Plays the clip in one sphere view (draw mode 2) looking `pitch_deg`
    // up, pauses on its first pictures and returns once they are drawn.
    void show(float pitch_deg, int orientation, const std::string& logo = "") {
        ASSERT_EQ(open("play_lens.mp4", 2), DOR_PLAYER_OK);
        param_.orientation = orientation;
        if (!logo.empty()) {
            param_.need_logo = 1;
            param_.logo_fov = 40;
            param_.logo_fn = logo.c_str();
        }
        player_->SetViewAngles(pitch_deg, 0.0f, 0.0f, 0);
        ASSERT_EQ(play(), DOR_PLAYER_OK) << player_->GetLastErrorText();
        ASSERT_TRUE(wait_shown(0, 5000));
        player_->Pause();
    }
    // The colour at the window centre once the display has presented
    // `want` there (a busy machine draws late), or the last one read.
    Rgb centre_once(const Rgb& want) {
        Rgb c{};
        wait_until(
            [&] {
                c = at(kWindowWidth / 2, kWindowHeight / 2);
                return near(c, want);
            },
            5000);
        return c;
    }
    // Mean colour of a 5x5 block centred on window pixel (x, y) from the top.
    Rgb at(int x, int y) {
        std::vector<std::uint8_t> rgb;
        EXPECT_TRUE(host_->read_pixels(x - 2, y - 2, 5, 5, &rgb));
        Rgb c{0, 0, 0};
        for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) {
            c.r += rgb[i];
            c.g += rgb[i + 1];
            c.b += rgb[i + 2];
        }
        const double n = static_cast<double>(rgb.size() / 3);
        return {c.r / n, c.g / n, c.b / n};
    }
};

// The viewer mounts the camera upside down (orientation 1): looking 90
// degrees down is looking along the optical axis.
constexpr int kViewerOrientation = 1;
constexpr float kAlongTheAxisDeg = -90.0f;
constexpr Rgb kBlue{0, 0, 255}, kRed{255, 0, 0}, kBlack{0, 0, 0}, kGreen{0, 255, 0};

TEST_F(PixelsTest, TheOpticalAxisShowsTheLensCentre) {
    show(kAlongTheAxisDeg, kViewerOrientation);
    expect_colour(centre_once(kBlue), kBlue, "lens centre");
    // Further out, still inside the lens.
    expect_colour(at(kWindowWidth / 2 + 60, kWindowHeight / 2), kRed, "lens");
    expect_colour(at(kWindowWidth / 2, kWindowHeight / 2 - 60), kRed, "lens");
    EXPECT_EQ(callbacks_.errors, 0);
}

TEST_F(PixelsTest, BehindTheLensIsBlack) {
    show(kAlongTheAxisDeg, kViewerOrientation);
    ASSERT_TRUE(near(centre_once(kBlue), kBlue));  // the picture is up
    // Turning the view while paused draws the same picture again.
    player_->SetViewAngles(-kAlongTheAxisDeg, 0.0f, 0.0f, 0);
    expect_colour(centre_once(kBlack), kBlack, "opposite the axis");
    expect_colour(at(kWindowWidth / 2 + 60, kWindowHeight / 2), kBlack, "opposite the axis");
}

TEST_F(PixelsTest, TheNadirCapShowsTheLogo) {
    const std::string logo = dir_.file("logo.png");
    ASSERT_EQ(std::system(("ffmpeg -hide_banner -loglevel error -y -f lavfi -i "
                           "color=c=0x00FF00:size=32x32 -frames:v 1 '" +
                           logo + "'")
                              .c_str()),
              0);
    show(-kAlongTheAxisDeg, kViewerOrientation, logo);
    expect_colour(centre_once(kGreen), kGreen, "logo");
}

}  // namespace
}  // namespace playback_test
