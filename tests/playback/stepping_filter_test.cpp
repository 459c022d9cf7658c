// Frame stepping while paused, and the brightness filter on read-back
// pixels.
#include <cmath>

#include "playback_support.h"

namespace playback_test {
namespace {

constexpr double kFrameMs = 1000.0 / 30.0;

class SteppingTest : public PlaybackTest {
protected:
    // Steps once and returns the position the step reported.
    long step(bool forward) {
        player_->StepFrame(forward);
        long p = -1;
        EXPECT_TRUE(next_position(&p, 5000)) << (forward ? "forward" : "back");
        return p;
    }

    void pause_playing_at(long ms) {
        ASSERT_EQ(open("play_video.mp4", 0), DOR_PLAYER_OK);
        ASSERT_EQ(play(), DOR_PLAYER_OK);
        ASSERT_TRUE(wait_position_at_least(ms, 5000));
        player_->Pause();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        positions_ms();  // what playback posted up to the pause
    }
};

TEST_F(SteppingTest, ForwardStepsShowEveryPictureAndDecodePastTheNewest) {
    pause_playing_at(300);
    long previous = step(true);
    // Thirty-five steps go past the pictures decoded ahead at the pause: the
    // next ones are decoded on demand, one picture at a time.
    for (int i = 0; i < 35; ++i) {
        const long p = step(true);
        EXPECT_NEAR(static_cast<double>(p - previous), kFrameMs, 1.5) << "step " << i;
        previous = p;
    }
    EXPECT_NEAR(static_cast<double>(player_->GetCurrentPositionMs()), static_cast<double>(previous),
                1.5);
    // The picture a step shows stays on screen while paused.
    EXPECT_EQ(player_->IsPlaying(), 1);
    player_->Resume();
    ASSERT_TRUE(wait_playing_ended(10000));
}

TEST_F(SteppingTest, BackwardStepsWalkTheHistoryAndRefillItPastItsStart) {
    pause_playing_at(1200);
    long previous = step(false);
    // Past the 30 kept pictures the history is decoded again from the whole
    // second before: every step still goes back by one picture.
    for (int i = 0; i < 33; ++i) {
        const long p = step(false);
        EXPECT_NEAR(static_cast<double>(previous - p), kFrameMs, 1.5) << "step " << i;
        previous = p;
    }
    EXPECT_LT(previous, 200);
    const long forward = step(true);
    EXPECT_NEAR(static_cast<double>(forward - previous), kFrameMs, 1.5);
}

TEST_F(SteppingTest, StepsAreIgnoredWhilePlaying) {
    ASSERT_EQ(open("play_video.mp4", 0), DOR_PLAYER_OK);
    ASSERT_EQ(play(), DOR_PLAYER_OK);
    ASSERT_TRUE(wait_position_at_least(200, 5000));
    EXPECT_EQ(player_->StepFrame(true), DOR_PLAYER_OK);
    EXPECT_EQ(player_->StepFrame(false), DOR_PLAYER_OK);
    EXPECT_EQ(steps().request, sphere_player::kNoStepRequest);
}

TEST_F(PlaybackTest, BrightnessFilterBrightensTheReadBackPixels) {
    ASSERT_EQ(open("play_grey.mp4", 0), DOR_PLAYER_OK);  // 8 s of flat mid grey
    ASSERT_EQ(play(), DOR_PLAYER_OK);
    const double plain = wait_level([](double l) { return l > 50.0; }, 5000);
    EXPECT_NEAR(plain, 130.0, 25.0);
    EXPECT_EQ(player_->SetVideoFilter("eq=contrast=1:brightness=0.2"), DOR_PLAYER_OK);
    EXPECT_TRUE(ps().filter.active());
    // The ring holds up to a second of pictures decoded before the change.
    const double bright = wait_level([&](double l) { return l > plain + 30.0; }, 3000);
    EXPECT_GT(bright, plain + 30.0);

    // A description FFmpeg cannot build leaves the video unfiltered.
    EXPECT_EQ(player_->SetVideoFilter("negate_1"), DOR_PLAYER_OK);
    EXPECT_FALSE(ps().filter.active());
    EXPECT_EQ(ps().filter.description(), "negate_1");
    EXPECT_NEAR(wait_level([&](double l) { return std::abs(l - plain) < 8.0; }, 3000), plain, 8.0);
    EXPECT_EQ(player_->SetVideoFilter(""), DOR_PLAYER_OK);
    EXPECT_EQ(callbacks_.errors, 0);
}

TEST_F(PlaybackTest, AFilterSetBeforePlayIsDropped) {
    ASSERT_EQ(open("play_grey.mp4", 0), DOR_PLAYER_OK);
    EXPECT_EQ(player_->SetVideoFilter("eq=brightness=0.3"), DOR_PLAYER_OK);
    EXPECT_TRUE(ps().filter.active());
    ASSERT_EQ(play(), DOR_PLAYER_OK);
    EXPECT_FALSE(ps().filter.active());
    EXPECT_NEAR(wait_level([](double l) { return l > 50.0; }, 5000), 130.0, 25.0);
}

}  // namespace
}  // namespace playback_test
