// Whole exports through the library's interface: what the output file holds.
#include <gtest/gtest.h>

#include "converter_support.h"
#include "platform/paths.h"

namespace {

using converter_test::Converter;
using converter_test::Param;
using converter_test::read_media;
using converter_test::sample;
using converter_test::seconds;

TEST(Export, OneFramePerDecodedFrameNumberedFromZeroAndTheSoundCopiedPacketForPacket) {
    kvp_test::TempDir dir;
    Param param(sample("fisheye.mp4"), converter_test::fisheye_calibration(dir),
                dir.file("out.mp4"));
    param.p.bitrate = 10240;
    Converter conv;
    ASSERT_EQ(conv->Init(&param.p), 0) << conv->GetLastErrorText();
    EXPECT_EQ(param.p.bitrate, 10485760);  // units of 1024 bit/s became bit/s
    const VideoTime d = conv->GetVideoDuration();
    EXPECT_EQ(d.minutes, 0);
    EXPECT_EQ(d.seconds, 2);
    EXPECT_EQ(d.milliseconds, 0);
    ASSERT_EQ(conv->StartDewarpingAsync(seconds(0), d), 0) << conv->GetLastErrorText();
    EXPECT_EQ(conv->GetProgress().converting, 1);
    ASSERT_TRUE(conv.wait());
    EXPECT_EQ(conv->Stop(), 0);
    const ConvertProgress done = conv->GetProgress();
    EXPECT_EQ(done.converting, 0);
    EXPECT_FLOAT_EQ(done.percent, 100.0f);
    EXPECT_EQ(done.reserved, 0);

    const auto source = read_media(sample("fisheye.mp4"));
    const auto out = read_media(param.dst);
    ASSERT_TRUE(out.opened);
    ASSERT_TRUE(out.has_video);
    EXPECT_EQ(out.video.codec, "h264");
    EXPECT_EQ(out.video.width, 320);
    EXPECT_EQ(out.video.height, 192);
    EXPECT_EQ(out.decode_errors, 0);
    // The whole clip was the span: every decoded input picture, once.
    EXPECT_EQ(source.decoded_frames, 60);
    EXPECT_EQ(out.decoded_frames, source.decoded_frames);
    ASSERT_EQ(out.video_pts.size(), 60u);
    for (int64_t i = 0; i < 60; ++i) EXPECT_EQ(out.video_pts[i], i);

    ASSERT_TRUE(out.has_audio);
    EXPECT_EQ(out.audio.codec, "aac");
    EXPECT_EQ(out.audio.extradata, source.audio.extradata);
    // The span runs to the end of the input, so all of the sound is there,
    // byte for byte, in order.
    EXPECT_EQ(out.audio_packets, source.audio_packets);
}

TEST(Export, AnInputWithoutSoundGivesVideoAloneAndFullRangeVideoIsConverted) {
    kvp_test::TempDir dir;
    // The small clips: 240 x 240, r = 116, 1 s at 10 fps.
    const std::string calib = converter_test::write_calibration(dir, 240, 240, 120, 120, 116);
    for (const char* name : {"conv_silent.mp4", "conv_yuvj.mp4"}) {
        SCOPED_TRACE(name);
        Param param(sample(name), calib, dir.file(std::string("out_") + name));
        Converter conv;
        ASSERT_EQ(conv->Init(&param.p), 0) << conv->GetLastErrorText();
        ASSERT_EQ(conv->StartDewarpingAsync(seconds(0), seconds(1)), 0) << conv->GetLastErrorText();
        ASSERT_TRUE(conv.wait());
        const auto out = read_media(param.dst);
        EXPECT_EQ(out.decoded_frames, 10);
        EXPECT_EQ(out.decode_errors, 0);
        EXPECT_EQ(out.has_audio, std::string(name) == "conv_yuvj.mp4");
    }
}

TEST(Export, AStreamWithoutFrameCountTakesItsDurationFromTheFile) {
    kvp_test::TempDir dir;
    Param param(sample("conv_nocount.mkv"),
                converter_test::write_calibration(dir, 240, 240, 120, 120, 116),
                dir.file("out.mp4"));
    Converter conv;
    ASSERT_EQ(conv->Init(&param.p), 0) << conv->GetLastErrorText();
    const VideoTime d = conv->GetVideoDuration();
    EXPECT_EQ(d.minutes * 60 + d.seconds, 1);
    ASSERT_EQ(conv->StartDewarpingAsync(seconds(0), d), 0) << conv->GetLastErrorText();
    ASSERT_TRUE(conv.wait());
    EXPECT_EQ(read_media(param.dst).decoded_frames, 10);
}

}  // namespace

// The converter's result tells a finished file from a failed one: a damaged
// packet costs its picture and leaves its text, but the file is complete;
// a recording of which no picture can be decoded is a failure.
TEST(Export, ADamagedPacketIsSkippedButOnlyAFileWithoutPicturesIsAFailure) {
    kvp_test::TempDir dir;
    const std::string calib = converter_test::fisheye_calibration(dir);
    const std::string one_bad = dir.file("one_bad.mp4");
    const std::string all_bad = dir.file("all_bad.mp4");
    ASSERT_TRUE(converter_test::write_damaged_copy(sample("fisheye.mp4"), one_bad, 30, 31));
    ASSERT_TRUE(converter_test::write_damaged_copy(sample("fisheye.mp4"), all_bad, 0, 60));

    Param param(one_bad, calib, dir.file("one.mp4"));
    Converter conv;
    EXPECT_EQ(conv->GetConversionResult(), -1);
    ASSERT_EQ(conv->Init(&param.p), 0) << conv->GetLastErrorText();
    ASSERT_EQ(conv->StartDewarpingAsync(seconds(0), conv->GetVideoDuration()), 0);
    ASSERT_TRUE(conv.wait());
    EXPECT_EQ(conv->GetConversionResult(), 0) << conv->GetLastErrorText();
    EXPECT_STREQ(conv->GetLastErrorText(), "error: decode video error;\n");
    const auto out = read_media(param.dst);
    EXPECT_EQ(out.decode_errors, 0);
    EXPECT_GE(out.decoded_frames, 50);
    EXPECT_LT(out.decoded_frames, 60);

    Param none(all_bad, calib, dir.file("none.mp4"));
    Converter failing;
    ASSERT_EQ(failing->Init(&none.p), 0) << failing->GetLastErrorText();
    ASSERT_EQ(failing->StartDewarpingAsync(seconds(0), failing->GetVideoDuration()), 0);
    ASSERT_TRUE(failing.wait());
    EXPECT_EQ(failing->GetConversionResult(), 21);
    EXPECT_STREQ(failing->GetLastErrorText(), "error: no video frame could be converted;\n");
}
