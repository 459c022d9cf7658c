// The first picture of a recording, saved as a JPEG: extraction codes,
// encoding of every decoder layout, and a stale work picture.
#include <cstdint>
#include <cstring>
#include <string>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "autocalib/autocalib.h"
#include "autocalib_support.h"
#include "platform/paths.h"
#include "temp_dir.h"

namespace {

struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using Frame = std::unique_ptr<AVFrame, FrameFree>;

Frame make_frame(AVPixelFormat format, int w, int h) {
    Frame f(av_frame_alloc());
    f->format = format;
    f->width = w;
    f->height = h;
    EXPECT_EQ(av_frame_get_buffer(f.get(), 0), 0);
    return f;
}

// Fills plane `p` with `left` in the left half of each row and `right` in
// the right half; `bytes_per_pixel` bytes per sample group, `cols` groups.
void fill_halves(AVFrame* f, int p, int cols, int rows, int bytes_per_pixel,
                 const std::uint8_t* left, const std::uint8_t* right) {
    for (int y = 0; y < rows; ++y) {
        std::uint8_t* row = f->data[p] + y * f->linesize[p];
        for (int x = 0; x < cols; ++x) {
            std::memcpy(row + x * bytes_per_pixel, x < cols / 2 ? left : right, bytes_per_pixel);
        }
    }
}

// Mean BGR colour of the left and the right quarter of a JPEG.
struct Halves {
    cv::Scalar left, right;
    cv::Size size;
};

Halves read_halves(const std::string& path) {
    const cv::Mat m = cv::imread(path, cv::IMREAD_COLOR);
    if (m.empty()) return {};
    const int q = m.cols / 4;
    return {cv::mean(m(cv::Rect(0, 0, q, m.rows))), cv::mean(m(cv::Rect(m.cols - q, 0, q, m.rows))),
            m.size()};
}

void expect_bgr(const cv::Scalar& got, double b, double g, double r) {
    constexpr double kJpegTolerance = 8;
    EXPECT_NEAR(got[0], b, kJpegTolerance);
    EXPECT_NEAR(got[1], g, kJpegTolerance);
    EXPECT_NEAR(got[2], r, kJpegTolerance);
}

TEST(EncodeJpeg, ConvertsLayoutsOtherThanPlanar420) {
    kvp_test::TempDir dir;
    const std::string jpeg = dir.file("out.jpg");

    const std::uint8_t white = 255, black = 0;
    Frame grey = make_frame(AV_PIX_FMT_GRAY8, 64, 48);
    fill_halves(grey.get(), 0, 64, 48, 1, &white, &black);
    ASSERT_EQ(autocalib::encode_jpeg(jpeg.c_str(), grey.get(), 64, 48), autocalib::kOk);
    Halves h = read_halves(jpeg);
    EXPECT_EQ(h.size, cv::Size(64, 48));
    expect_bgr(h.left, 255, 255, 255);
    expect_bgr(h.right, 0, 0, 0);

    const std::uint8_t red[3] = {255, 0, 0}, blue[3] = {0, 0, 255};
    Frame rgb = make_frame(AV_PIX_FMT_RGB24, 96, 64);
    fill_halves(rgb.get(), 0, 96, 64, 3, red, blue);
    ASSERT_EQ(autocalib::encode_jpeg(jpeg.c_str(), rgb.get(), 96, 64), autocalib::kOk);
    h = read_halves(jpeg);
    expect_bgr(h.left, 0, 0, 255);
    expect_bgr(h.right, 255, 0, 0);

    // Semi-planar 4:2:0 (hardware decoders' layout), full-range grey.
    const std::uint8_t y_hi = 220, y_lo = 20, uv[2] = {128, 128};
    Frame nv12 = make_frame(AV_PIX_FMT_NV12, 64, 64);
    nv12->color_range = AVCOL_RANGE_JPEG;
    fill_halves(nv12.get(), 0, 64, 64, 1, &y_hi, &y_lo);
    fill_halves(nv12.get(), 1, 32, 32, 2, uv, uv);
    ASSERT_EQ(autocalib::encode_jpeg(jpeg.c_str(), nv12.get(), 64, 64), autocalib::kOk);
    h = read_halves(jpeg);
    expect_bgr(h.left, 220, 220, 220);
    expect_bgr(h.right, 20, 20, 20);
}

TEST(EncodeJpeg, EncodesPlanar420AsItComesAndScalesOtherSizes) {
    kvp_test::TempDir dir;
    const std::string jpeg = dir.file("out.jpg");
    const std::uint8_t y_hi = 200, y_lo = 30, c = 128;
    Frame yuv = make_frame(AV_PIX_FMT_YUV420P, 64, 32);
    fill_halves(yuv.get(), 0, 64, 32, 1, &y_hi, &y_lo);
    fill_halves(yuv.get(), 1, 32, 16, 1, &c, &c);
    fill_halves(yuv.get(), 2, 32, 16, 1, &c, &c);
    ASSERT_EQ(autocalib::encode_jpeg(jpeg.c_str(), yuv.get(), 64, 32), autocalib::kOk);
    Halves h = read_halves(jpeg);
    EXPECT_EQ(h.size, cv::Size(64, 32));
    expect_bgr(h.left, 200, 200, 200);  // the samples as they are, no range change
    expect_bgr(h.right, 30, 30, 30);

    // A picture smaller than the stream's size is scaled up, never read past.
    ASSERT_EQ(autocalib::encode_jpeg(jpeg.c_str(), yuv.get(), 128, 64), autocalib::kOk);
    EXPECT_EQ(read_halves(jpeg).size, cv::Size(128, 64));
}

TEST(EncodeJpeg, ReportsFailuresAndLeavesNoBrokenPicture) {
    kvp_test::TempDir dir;
    Frame yuv = make_frame(AV_PIX_FMT_YUV420P, 16, 16);
    EXPECT_EQ(autocalib::encode_jpeg(dir.file("no/dir/out.jpg").c_str(), yuv.get(), 16, 16),
              autocalib::kCannotOpenOutput);
    EXPECT_EQ(autocalib::encode_jpeg(nullptr, yuv.get(), 16, 16), autocalib::kCannotOpenOutput);
    EXPECT_EQ(autocalib::encode_jpeg(dir.file("null.jpg").c_str(), nullptr, 16, 16),
              autocalib::kEncodeError);
    const std::string bad = dir.file("bad.jpg");
    EXPECT_EQ(autocalib::encode_jpeg(bad.c_str(), yuv.get(), 0, 0), autocalib::kCannotOpenEncoder);
    EXPECT_FALSE(platform::path_exists(bad));
}

TEST(ExtractFirstFrame, SavesTheFirstPictureAtTheStreamSize) {
    const auto truth = autocalib_test::lens_truth("lens_shifted.mp4");
    ASSERT_TRUE(truth);
    kvp_test::TempDir dir;
    const std::string jpeg = dir.file("first.jpg");
    ASSERT_EQ(autocalib::extract_first_frame(truth->path().c_str(), jpeg.c_str()), autocalib::kOk);
    const cv::Mat picture = cv::imread(jpeg, cv::IMREAD_GRAYSCALE);
    ASSERT_EQ(picture.size(), cv::Size(truth->width, truth->height));
    // Dark outside the lens circle, lit inside it.
    EXPECT_LT(cv::mean(picture(cv::Rect(0, 0, 40, 40)))[0], 30);
    EXPECT_GT(cv::mean(picture(cv::Rect(int(truth->cx) - 20, int(truth->cy) - 20, 40, 40)))[0], 50);
}

// A WAV file of 0.1 s of silence: a recording without video.
std::string silent_wav() {
    const std::uint32_t rate = 8000, data_bytes = 1600;
    auto u32 = [](std::uint32_t v) {
        return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    };
    auto u16 = [](std::uint16_t v) { return std::string{char(v), char(v >> 8)}; };
    return "RIFF" + u32(36 + data_bytes) + "WAVEfmt " + u32(16) + u16(1) + u16(1) + u32(rate) +
           u32(rate * 2) + u16(2) + u16(16) + "data" + u32(data_bytes) +
           std::string(data_bytes, '\0');
}

TEST(ExtractFirstFrame, ReportsEachFailureByItsCode) {
    kvp_test::TempDir dir;
    const std::string jpeg = dir.file("first.jpg");
    EXPECT_EQ(autocalib::extract_first_frame(dir.file("none.mp4").c_str(), jpeg.c_str()),
              autocalib::kCannotOpenInput);
    EXPECT_EQ(autocalib::extract_first_frame(nullptr, jpeg.c_str()), autocalib::kCannotOpenInput);
    ASSERT_TRUE(kvp_test::write_file(dir.file("text.mp4"), "not a recording at all\n"));
    EXPECT_EQ(autocalib::extract_first_frame(dir.file("text.mp4").c_str(), jpeg.c_str()),
              autocalib::kCannotOpenInput);
    ASSERT_TRUE(kvp_test::write_file(dir.file("sound.wav"), silent_wav()));
    EXPECT_EQ(autocalib::extract_first_frame(dir.file("sound.wav").c_str(), jpeg.c_str()),
              autocalib::kNoVideoStream);
    EXPECT_FALSE(platform::path_exists(jpeg));
}

// The clip with its picture data zeroed: it opens and has a video stream,
// but no picture decodes.
std::string without_pictures(const std::string& mp4) {
    std::string bytes = kvp_test::read_file(mp4);
    const auto at = bytes.find("mdat");
    if (at == std::string::npos || at < 4) return {};
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at - 4);
    const std::size_t size = (std::size_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
    if (size < 8 || at - 4 + size > bytes.size()) return {};
    std::memset(bytes.data() + at + 4, 0, size - 8);
    return bytes;
}

TEST(ExtractFirstFrame, RecordingWithoutPicturesWritesNothingAndIsNotCalibrated) {
    const auto truth = autocalib_test::lens_truth("lens_centred.mp4");
    ASSERT_TRUE(truth);
    kvp_test::TempDir dir;
    const std::string broken = dir.file("broken.mp4");
    const std::string bytes = without_pictures(truth->path());
    ASSERT_FALSE(bytes.empty());
    ASSERT_TRUE(kvp_test::write_file(broken, bytes));
    EXPECT_EQ(autocalib::extract_first_frame(broken.c_str(), dir.file("first.jpg").c_str()),
              autocalib::kOk);
    EXPECT_FALSE(platform::path_exists(dir.file("first.jpg")));

    // A work picture left by an earlier run must not be taken for this one.
    autocalib_test::ProgramDirScope program_dir(dir.path());
    const std::string stale = dir.file(autocalib::kWorkPictureName);
    ASSERT_EQ(autocalib::extract_first_frame(truth->path().c_str(), stale.c_str()), autocalib::kOk);
    ASSERT_TRUE(platform::path_exists(stale));
    autocalib::CalibrationReport report;
    EXPECT_EQ(autocalib::make_calibration_from_video(broken.c_str(), dir.file("out.inf").c_str(),
                                                     &report),
              autocalib::kCalibrationFailed);
    EXPECT_FALSE(report.circle.found);
    EXPECT_FALSE(platform::path_exists(dir.file("out.inf")));
}

TEST(ExtractFirstFrame, UnwritableProgramFolderFailsCalibration) {
    const auto truth = autocalib_test::lens_truth("lens_centred.mp4");
    ASSERT_TRUE(truth);
    kvp_test::TempDir dir;
    autocalib_test::ProgramDirScope program_dir(dir.file("missing"));
    EXPECT_EQ(
        autocalib::make_calibration_from_video(truth->path().c_str(), dir.file("out.inf").c_str()),
        autocalib::kCalibrationFailed);
    EXPECT_FALSE(platform::path_exists(dir.file("out.inf")));
}

}  // namespace
