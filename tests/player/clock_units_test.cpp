// Positions from clock values: clock units, the clock scale without a sound
// device, and the video stream's start time (1.4667 s in FFmpeg's TS files).
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "clock_units.h"
#include "sphere_player_impl.h"

namespace {

using sphere_player::clock_units_to_ms;
using sphere_player::ms_to_clock_units;

TEST(ClockUnits, ConvertBetweenTimeBasesAndMilliseconds) {
    EXPECT_EQ(clock_units_to_ms(48000, {1, 48000}), 1000);
    EXPECT_EQ(clock_units_to_ms(47999, {1, 48000}), 999);  // truncated
    EXPECT_EQ(clock_units_to_ms(-4800, {1, 48000}), -100);
    EXPECT_EQ(clock_units_to_ms(132000, {1, 90000}), 1466);
    EXPECT_EQ(clock_units_to_ms(5, {0, 1}), 5 * 0);
    EXPECT_EQ(ms_to_clock_units(1500, {1, 90000}), 135000);
    EXPECT_EQ(ms_to_clock_units(1500, {1, 1000}), 1500);
}

class PositionTest : public ::testing::Test {
protected:
    void open(const std::string& name, const char* sound_driver = "dummy") {
        ::setenv("SDL_AUDIODRIVER", sound_driver, 1);
        path_ = std::string(KVP_SAMPLES_DIR "/") + name;
        param_ = init_param{path_.c_str(), "", "", 0, 0, 0, 0, 1};
        ASSERT_EQ(player_.Init(&param_), DOR_PLAYER_OK) << player_.GetLastErrorText();
    }
    void set_clock(std::int64_t value) { player_.state().vs->clock.set_value(value); }
    sphere_player::DOR_SpherePlayerImpl player_;
    std::string path_;
    init_param param_{};
};

TEST_F(PositionTest, IsMeasuredFromTheVideoStreamsStart) {
    open("fisheye.ts");  // video from 1.466667 s, clock in 1/90000 (the sound's time base)
    auto& vs = *player_.state().vs;
    EXPECT_EQ(vs.audio_tbase.den, 90000);
    EXPECT_EQ(sphere_player::video_start_clock_units(vs), 132000);
    set_clock(132000);
    EXPECT_EQ(player_.GetCurrentPositionMs(), 0);
    set_clock(132000 + 90000);
    EXPECT_EQ(player_.GetCurrentPositionMs(), 1000);
    EXPECT_EQ(vs.position_ms.load(), 1000);
}

TEST_F(PositionTest, TheMillisecondClockIsScaledIntoPictureUnits) {
    open("fisheye.mp4", "no-such-driver");
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    auto& vs = *player_.state().vs;
    ASSERT_EQ(vs.clock_scale, 48);
    set_clock(1250);  // milliseconds of the clock thread
    EXPECT_EQ(player_.GetCurrentPositionMs(), 1250);
    EXPECT_EQ(vs.clock.scaled(), 1250 * 48);
}

}  // namespace
