// The converter's calling order: spans, a second start, Stop, progress and
// the states in between.
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "converter_support.h"

namespace {

using converter_test::Converter;
using converter_test::Param;
using converter_test::read_media;
using converter_test::sample;
using converter_test::seconds;

class Prepared : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(conv_->Init(&param_.p), 0) << conv_->GetLastErrorText(); }
    kvp_test::TempDir dir_;
    Param param_{sample("fisheye.mp4"), converter_test::fisheye_calibration(dir_),
                 dir_.file("out.mp4")};
    Converter conv_;
};

TEST_F(Prepared, SpansAreCheckedStartFirst) {
    EXPECT_EQ(conv_->StartDewarpingAsync(seconds(1), seconds(1)), 21);
    EXPECT_STREQ(conv_->GetLastErrorText(), "error: invalid converting video span;\n");
    EXPECT_EQ(conv_->StartDewarpingAsync(seconds(1), seconds(3)), 21);
    EXPECT_STREQ(conv_->GetLastErrorText(), "error: invalid converting video span;\n");
    // A start beyond the duration is named before the (also wrong) span.
    EXPECT_EQ(conv_->StartDewarpingAsync(seconds(5), seconds(1)), 21);
    EXPECT_STREQ(conv_->GetLastErrorText(),
                 "error: invalid seeking time: out of video time duration;\n");
    EXPECT_EQ(conv_->StartDewarpingAsync(VideoTime{0, -1, 0}, seconds(1)), 21);
    EXPECT_STREQ(conv_->GetLastErrorText(),
                 "error: invalid seeking time: out of video time duration;\n");
    EXPECT_EQ(conv_->IsRendering(), 0);
    // None of that touched the prepared bundles: a span ending exactly at
    // the duration is accepted. Milliseconds are never read.
    ASSERT_EQ(conv_->StartDewarpingAsync(VideoTime{0, 1, 999}, VideoTime{0, 2, 500}), 0)
        << conv_->GetLastErrorText();
    ASSERT_TRUE(conv_.wait());
    const auto out = read_media(param_.dst, false);
    // From the key frame at or before 1 s (the clip has one every second).
    EXPECT_EQ(out.video_pts.size(), 30u);
}

TEST_F(Prepared, ASecondStartWhileConvertingIsRefusedAndLeavesTheRunningOneAlone) {
    ASSERT_EQ(conv_->StartDewarpingAsync(seconds(0), seconds(2)), 0);
    EXPECT_EQ(conv_->IsRendering(), 1);
    EXPECT_EQ(conv_->StartDewarpingAsync(seconds(0), seconds(1)), 21);
    EXPECT_STREQ(conv_->GetLastErrorText(), "error: converter is working, please stop first;\n");
    // Init is refused too: it would pull the files from under the worker.
    EXPECT_EQ(conv_->Init(&param_.p), 21);
    EXPECT_STREQ(conv_->GetLastErrorText(), "error: converter is working, please stop first;\n");
    ASSERT_TRUE(conv_.wait());
    EXPECT_EQ(read_media(param_.dst).decoded_frames, 60);
    // The finished conversion closed everything: another needs Init.
    EXPECT_EQ(conv_->StartDewarpingAsync(seconds(0), seconds(1)), 21);
}

TEST_F(Prepared, StopEndsEarlyAndLeavesACompletePlayableFile) {
    ASSERT_EQ(conv_->StartDewarpingAsync(seconds(0), seconds(2)), 0);
    // Wait until something has been encoded, then cancel as the dialog does.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (conv_->GetProgress().percent <= 0.0f && conv_->IsRendering() &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(conv_->Stop(), 0);
    EXPECT_EQ(conv_->IsRendering(), 0);
    EXPECT_EQ(conv_->GetProgress().converting, 0);
    const auto out = read_media(param_.dst);
    ASSERT_TRUE(out.opened) << "the file has its trailer";
    EXPECT_EQ(out.decode_errors, 0);
    EXPECT_GE(out.decoded_frames, 1);
    EXPECT_LE(out.decoded_frames, 60);
    EXPECT_EQ(static_cast<int64_t>(out.video_pts.size()), out.decoded_frames);
}

TEST_F(Prepared, DestroyingWhileConvertingStopsFirst) {
    ASSERT_EQ(conv_->StartDewarpingAsync(seconds(0), seconds(2)), 0);
    DestroySphereVideoConverter(conv_.c);
    conv_.c = nullptr;
    const auto out = read_media(param_.dst, false);
    EXPECT_TRUE(out.opened);
}

TEST(Lifecycle, ProgressBeforeAnyFrameIsAllZeros) {
    Converter conv;
    const ConvertProgress p = conv->GetProgress();
    EXPECT_EQ(p.converting, 0);
    EXPECT_EQ(p.speed, 0.0f);
    EXPECT_EQ(p.percent, 0.0f);
    EXPECT_EQ(p.remaining_minutes, 0);
    EXPECT_EQ(p.remaining_seconds, 0);
    EXPECT_EQ(p.reserved, 0);
    const VideoTime d = conv->GetVideoDuration();
    EXPECT_EQ(d.minutes, -1);
    EXPECT_EQ(d.seconds, -1);
    EXPECT_EQ(d.milliseconds, -1);
    EXPECT_EQ(conv->IsRendering(), 0);
    EXPECT_EQ(conv->Stop(), 0);
    EXPECT_STREQ(conv->GetLastErrorText(), "");
}

TEST(Lifecycle, StartWithoutAPreparedInputIsRefused) {
    Converter conv;
    EXPECT_EQ(conv->StartDewarpingAsync(seconds(0), seconds(1)), 21);
    EXPECT_STRNE(conv->GetLastErrorText(), "");
    EXPECT_EQ(conv->IsRendering(), 0);
}

}  // namespace
