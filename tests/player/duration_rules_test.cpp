// The length rules by numbers: each branch with values worked out by hand.
#include <gtest/gtest.h>

#include "media_duration.h"
#include "media_queues.h"

extern "C" {
#include <libavutil/avutil.h>
}

namespace {

using sphere_player::compute_duration_ms;
using sphere_player::DurationInputs;
using sphere_player::StreamTiming;

StreamTiming stream(std::int64_t duration, int num, int den) {
    return {true, duration, {num, den}};
}

DurationInputs mp4_like() {
    DurationInputs in;
    in.video = stream(30720, 1, 15360);  // 2000 ms
    in.audio = stream(96000, 1, 48000);  // 2000 ms
    in.audio_tbase = {1, 48000};
    in.video_frame_count = 50;
    in.frame_rate = 30.0f;  // 50 frames: 1666 ms
    in.container_duration_us = 2100000;
    return in;
}

TEST(DurationRules, FilesWithAFrameCountTakeTheLongerVideoLength) {
    DurationInputs in = mp4_like();
    EXPECT_EQ(compute_duration_ms(in), 2000);
    in.video_frame_count = 75;  // 2500 ms
    EXPECT_EQ(compute_duration_ms(in), 2500);
}

TEST(DurationRules, AboveThirtyFpsTheKnownSoundLengthWins) {
    DurationInputs in = mp4_like();
    in.frame_rate = 30.5f;
    in.audio.duration = 72000;  // 1500 ms
    EXPECT_EQ(compute_duration_ms(in), 1500);
    in.frame_rate = 30.0f;  // exactly 30 is not above
    EXPECT_EQ(compute_duration_ms(in), 2000);
    in.frame_rate = 60.0f;
    in.audio.duration = AV_NOPTS_VALUE;  // unknown sound length: the video rules
    in.video_frame_count = 150;
    EXPECT_EQ(compute_duration_ms(in), 2500);
}

TEST(DurationRules, WithoutAFrameCountTheSoundThenTheVideoStreamCounts) {
    DurationInputs in = mp4_like();
    in.video_frame_count = 0;
    in.audio.duration = 110250;
    in.audio_tbase = {1, 44100};  // 2500 ms
    EXPECT_EQ(compute_duration_ms(in), 2500);
    in.audio = StreamTiming{};
    EXPECT_EQ(compute_duration_ms(in), 2000);
    in.video.duration = AV_NOPTS_VALUE;  // nothing known: the container's length
    EXPECT_EQ(compute_duration_ms(in), 2100);
    in.container_duration_us = AV_NOPTS_VALUE;
    EXPECT_EQ(compute_duration_ms(in), 0);
}

TEST(DurationRules, TsTakesTheLongerVideoLengthThenTheLastPcr) {
    DurationInputs in;
    in.is_ts = true;
    in.video = stream(180000, 1, 90000);  // 2000 ms
    in.video_frame_count = 0;
    in.frame_rate = 25.0f;
    in.audio = stream(1000000, 1, 48000);  // ignored for TS
    in.audio_tbase = {1, 48000};
    in.container_duration_us = AV_NOPTS_VALUE;
    in.last_pcr = 48000 * 50;  // 50000 ms in audio_tbase units, unused while the video tells
    EXPECT_EQ(compute_duration_ms(in), 2000);
    in.video.duration = 0;
    EXPECT_EQ(compute_duration_ms(in), 50000);
    in.last_pcr = 48000 * 60;  // 60000 ms is out of range
    EXPECT_EQ(compute_duration_ms(in), 0);
    in.last_pcr = 47;  // below 1 ms
    EXPECT_EQ(compute_duration_ms(in), 0);
    in.last_pcr = 48;
    EXPECT_EQ(compute_duration_ms(in), 1);
}

TEST(DurationRules, TheTripleSplitsMinutesSecondsAndMilliseconds) {
    const auto t = sphere_player::split_duration(3 * 60000 + 7 * 1000 + 25);
    EXPECT_EQ(t.minutes, 3);
    EXPECT_EQ(t.seconds, 7);
    EXPECT_EQ(t.milliseconds, 25);
    const auto h = sphere_player::split_duration(61 * 60000 + 999);
    EXPECT_EQ(h.minutes, 61);
    EXPECT_EQ(h.seconds, 0);
    EXPECT_EQ(h.milliseconds, 999);
}

TEST(DurationRules, LiveFormatsAreNamedByTheirDemuxers) {
    EXPECT_TRUE(sphere_player::is_live_format("flv"));
    EXPECT_TRUE(sphere_player::is_live_format("hls,applehttp"));
    EXPECT_TRUE(sphere_player::is_live_format("hls"));
    EXPECT_TRUE(sphere_player::is_live_format("rtsp"));
    EXPECT_FALSE(sphere_player::is_live_format("mpegts"));
    EXPECT_FALSE(sphere_player::is_live_format("mov,mp4,m4a,3gp,3g2,mj2"));
}

TEST(PtsQueue, GivesTimesBackSmallestFirst) {
    sphere_player::PtsQueue q;
    for (std::int64_t t : {40, 10, 30, 30, 20}) ASSERT_TRUE(q.push(t));
    ASSERT_EQ(q.count(), 5);
    for (std::int64_t t : {10, 20, 30, 30, 40}) EXPECT_EQ(q.pop(), t);
    EXPECT_EQ(q.pop(), 0);
}

TEST(PtsQueue, KeepsTimesBeyondThirtyTwoBitsInOrder) {
    // A TS clock that starts late in its 33-bit range: times above 2^31 and
    // 2^32 keep their value and order.
    constexpr std::int64_t kHigh = (std::int64_t{1} << 32) + 5;
    sphere_player::PtsQueue q;
    for (std::int64_t t : {kHigh + 3000, kHigh, std::int64_t{1} << 31, kHigh + 1500}) {
        ASSERT_TRUE(q.push(t));
    }
    EXPECT_EQ(q.front(), std::int64_t{1} << 31);
    for (std::int64_t t : {std::int64_t{1} << 31, kHigh, kHigh + 1500, kHigh + 3000}) {
        EXPECT_EQ(q.pop(), t);
    }
}

}  // namespace
