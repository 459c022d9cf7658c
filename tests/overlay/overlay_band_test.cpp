// The converter's band by numbers: which pictures a cue reaches at the
// output's frame rate, what the blend does inside the band (dark, light
// text, neutral chroma) and that it leaves every other pixel alone.
#include <cstring>

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/frame.h>
}

#include "overlay_band.h"

namespace {

using converter::OverlayBand;
using converter::OverlayCueCopy;
using converter::OverlayDrawer;

constexpr int kWidth = 640, kHeight = 384;
constexpr uint8_t kGrey = 120, kChroma = 200;

struct Frame {
    AVFrame* f = av_frame_alloc();
    Frame() {
        f->format = AV_PIX_FMT_YUV420P;
        f->width = kWidth;
        f->height = kHeight;
        av_frame_get_buffer(f, 0);
        fill();
    }
    ~Frame() { av_frame_free(&f); }
    void fill() {
        for (int r = 0; r < kHeight; ++r)
            std::memset(f->data[0] + r * f->linesize[0], kGrey, kWidth);
        for (int p = 1; p <= 2; ++p) {
            for (int r = 0; r < kHeight / 2; ++r) {
                std::memset(f->data[p] + r * f->linesize[p], kChroma, kWidth / 2);
            }
        }
    }
    int y(int x, int row) const { return f->data[0][row * f->linesize[0] + x]; }
    int u(int x, int row) const { return f->data[1][row * f->linesize[1] + x]; }
    // Luma pixels that differ from the fill.
    int changed() const {
        int n = 0;
        for (int r = 0; r < kHeight; ++r) {
            for (int x = 0; x < kWidth; ++x) n += y(x, r) != kGrey;
        }
        return n;
    }
};

TEST(OverlayBand, SitsInTheBottomLeftCornerDarkWithLightTextAndNeutralChroma) {
    const OverlayBand band = converter::render_band("2024-12-07 15:30:05\n36KM/H", kWidth, kHeight);
    ASSERT_FALSE(band.empty());
    const int w = band.luma_keep.cols, h = band.luma_keep.rows;
    EXPECT_EQ(band.x, 0);
    EXPECT_EQ(band.y + h, kHeight);
    EXPECT_GT(w, 120);  // nineteen characters of about 10 pixels
    EXPECT_LT(w, kWidth / 2);
    EXPECT_GT(h, 30);  // two lines
    EXPECT_LT(h, 70);

    Frame frame;
    converter::blend_band(band, *frame.f);
    int dark = 0, light = 0;
    for (int r = band.y; r < kHeight; ++r) {
        for (int x = 0; x < w; ++x) {
            dark += frame.y(x, r) < kGrey - 40;
            light += frame.y(x, r) > 200;
        }
    }
    EXPECT_GT(dark, w * h / 2);  // mostly band
    EXPECT_GT(light, 200);       // and text
    // Chroma pulled towards neutral everywhere in the band, and fully there
    // under solid text; untouched outside.
    EXPECT_LT(frame.u(1, (kHeight - 2) / 2), kChroma - 30);
    EXPECT_EQ(frame.u(w / 2 + 2, (kHeight - 2) / 2), kChroma);
    EXPECT_EQ(frame.y(w + 2, kHeight - 1), kGrey);
    EXPECT_EQ(frame.y(0, band.y - 1), kGrey);
    EXPECT_EQ(frame.changed(), [&] {
        int n = 0;
        for (int r = band.y; r < kHeight; ++r) {
            for (int x = 0; x < w; ++x) n += frame.y(x, r) != kGrey;
        }
        return n;
    }());
}

TEST(OverlayBand, ScalesWithTheOutputHeight) {
    const std::string text = "22°30'0\"N, 114°3'0\"E";
    const OverlayBand low = converter::render_band(text, 640, 384);
    const OverlayBand high = converter::render_band(text, 1280, 768);
    ASSERT_FALSE(low.empty());
    ASSERT_FALSE(high.empty());
    EXPECT_NEAR(static_cast<double>(high.luma_keep.rows) / low.luma_keep.rows, 2.0, 0.3);
    EXPECT_NEAR(static_cast<double>(high.luma_keep.cols) / low.luma_keep.cols, 2.0, 0.3);
    // A text wider than the picture is cut to it.
    EXPECT_LE(converter::render_band(std::string(200, 'W'), 640, 384).luma_keep.cols, 640);
    EXPECT_TRUE(converter::render_band("", 640, 384).empty());
}

TEST(OverlayDrawer, ACueReachesExactlyThePicturesOfItsSpan) {
    // 10 pictures a second: cue one covers pictures 10 to 19, cue two 25 to 29.
    OverlayDrawer drawer({{1000, 2000, "A"}, {2500, 3000, "B"}}, AVRational{10, 1}, kWidth,
                         kHeight);
    Frame frame;
    for (int i = 0; i < 35; ++i) {
        frame.fill();
        drawer.draw(*frame.f, i);
        const bool inside = (i >= 10 && i < 20) || (i >= 25 && i < 30);
        EXPECT_EQ(frame.changed() > 0, inside) << "picture " << i;
    }
    // A rate of 30000/1001: picture 30 is at 1001 ms, picture 29 before 1000.
    OverlayDrawer ntsc({{1000, 2000, "A"}}, AVRational{30000, 1001}, kWidth, kHeight);
    frame.fill();
    ntsc.draw(*frame.f, 29);
    EXPECT_EQ(frame.changed(), 0);
    ntsc.draw(*frame.f, 30);
    EXPECT_GT(frame.changed(), 0);
}

}  // namespace
