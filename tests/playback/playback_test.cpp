// Recordings played to their end, stopped, paused and resumed, sought, on
// the millisecond clock, with an end time, and with restarting timestamps.
#include <cstdlib>

#include "playback_support.h"

namespace playback_test {
namespace {

constexpr int kEndTimeoutMs = 10000;

TEST_F(PlaybackTest, AClipPlaysToItsEndAndEndCallbackComesOnce) {
    // The flat view: a software renderer draws it in a few milliseconds, so
    // every picture is shown even on a busy machine.
    ASSERT_EQ(open("fisheye.mp4", 0), DOR_PLAYER_OK) << player_->GetLastErrorText();
    ASSERT_EQ(play(), DOR_PLAYER_OK) << player_->GetLastErrorText();
    EXPECT_EQ(player_->IsPlaying(), 1);
    EXPECT_TRUE(ps().audio_enabled);
    ASSERT_TRUE(wait_playing_ended(kEndTimeoutMs));
    // The host's messages are let through before the callback.
    ASSERT_TRUE(wait_until([&] { return callbacks_.ended > 0; }, 2000));
    EXPECT_EQ(callbacks_.ended, 1);
    EXPECT_EQ(callbacks_.errors, 0);
    const std::vector<long> p = positions_ms();
    ASSERT_GE(p.size(), 8u);
    for (std::size_t i = 1; i < p.size(); ++i) EXPECT_LE(p[i - 1], p[i]) << i;
    EXPECT_GE(p.back(), 1500);
    EXPECT_EQ(player_->GetCurrentPositionMs(), 2000);  // the clock is put at the end
    player_->Stop();
    EXPECT_EQ(callbacks_.ended, 1);
    EXPECT_GE(ps().stats.pictures_drawn, 50);
}

TEST_F(PlaybackTest, StopEndsPlaybackFromAnyStateWithoutEndCallback) {
    ASSERT_EQ(open("play_video.mp4"), DOR_PLAYER_OK);
    // Right after Play, before a picture is shown.
    ASSERT_EQ(play(), DOR_PLAYER_OK) << player_->GetLastErrorText();
    EXPECT_EQ(player_->Stop(), DOR_PLAYER_OK);
    EXPECT_EQ(player_->IsPlaying(), 0);
    // Playing, with the ring full and the decoder waiting for room. (Each
    // playback opens the file again, as a host does: Play goes on from
    // where the demuxer stands.)
    ASSERT_EQ(open("play_video.mp4"), DOR_PLAYER_OK);
    ASSERT_EQ(play(), DOR_PLAYER_OK);
    ASSERT_TRUE(wait_position_at_least(300, 5000));
    player_->Stop();
    // Paused, and paused in the middle of frame steps.
    ASSERT_EQ(open("play_video.mp4"), DOR_PLAYER_OK);
    ASSERT_EQ(play(), DOR_PLAYER_OK);
    ASSERT_TRUE(wait_position_at_least(300, 5000));
    player_->Pause();
    player_->StepFrame(false);
    player_->StepFrame(true);
    player_->Stop();
    for (std::thread* t :
         {&ps().read_thread, &ps().decode_thread, &ps().display_thread, &ps().clock_thread}) {
        EXPECT_FALSE(t->joinable());
    }
    const sphere_player::PlaybackFlags& flags = vs().flags;
    EXPECT_FALSE(flags.running(sphere_player::Worker::read) ||
                 flags.running(sphere_player::Worker::decode) ||
                 flags.running(sphere_player::Worker::display));
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(callbacks_.ended, 0);
    EXPECT_EQ(callbacks_.errors, 0);
}

// Position while paused, over `ms` of wall time.
void expect_held(PlaybackTest* t, sphere_player::DOR_SpherePlayerImpl& player, int ms) {
    const std::int64_t before = player.GetCurrentPositionMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    EXPECT_NEAR(static_cast<double>(player.GetCurrentPositionMs()), static_cast<double>(before),
                40.0);
    (void)t;
}

TEST_F(PlaybackTest, PauseHoldsTheClockAndResumeContinuesIt) {
    for (const char* name : {"play_video.mp4", "fisheye.mp4"}) {  // millisecond clock, sound
        SCOPED_TRACE(name);
        ASSERT_EQ(open(name, 0), DOR_PLAYER_OK);
        ASSERT_EQ(play(), DOR_PLAYER_OK) << player_->GetLastErrorText();
        ASSERT_TRUE(wait_position_at_least(400, 5000));
        player_->Pause();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the last turns settle
        const std::int64_t paused_at = player_->GetCurrentPositionMs();
        const std::size_t messages_before = positions_ms().size();
        expect_held(this, *player_, 400);
        EXPECT_EQ(player_->IsPlaying(), 1);  // pausing does not end playback
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_LE(positions_ms().size(), messages_before + 1);
        player_->Resume();
        ASSERT_TRUE(wait_position_at_least(paused_at + 300, 3000));
        EXPECT_LT(player_->GetCurrentPositionMs(), paused_at + 1500);  // continued, not jumped
        player_->Stop();
    }
}

TEST_F(PlaybackTest, PausingWithinTheLastPicturesDoesNotEndPlayback) {
    ASSERT_EQ(open("play_video.mp4"), DOR_PLAYER_OK);
    ASSERT_EQ(play(), DOR_PLAYER_OK);
    ASSERT_TRUE(wait_position_at_least(1400, 5000));  // everything is decoded by now
    player_->Pause();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(player_->IsPlaying(), 1);
    player_->Resume();
    ASSERT_TRUE(wait_playing_ended(kEndTimeoutMs));
    ASSERT_TRUE(wait_until([&] { return callbacks_.ended > 0; }, 2000));
    EXPECT_GE(positions_ms().back(), 1800);
}

TEST_F(PlaybackTest, SeekLandsNearTheTarget) {
    for (const char* name : {"play_video.mp4", "fisheye.mp4"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(open(name), DOR_PLAYER_OK);
        ASSERT_EQ(play(), DOR_PLAYER_OK);
        ASSERT_TRUE(wait_position_at_least(200, 5000));
        ASSERT_EQ(player_->Seek(0, 1, 500), DOR_PLAYER_OK);
        const std::int64_t after = player_->GetCurrentPositionMs();
        EXPECT_GE(after, 1400);
        EXPECT_LE(after, 1700);
        long p = 0;
        ASSERT_TRUE(next_position(&p, 2000));
        EXPECT_GE(p, 1000);  // from the key picture at the whole second on
        ASSERT_TRUE(wait_playing_ended(kEndTimeoutMs));
        ASSERT_TRUE(wait_until([&] { return callbacks_.ended > 0; }, 2000));
        EXPECT_EQ(callbacks_.ended, 1);
        callbacks_.ended = 0;
        player_->Stop();
    }
}

TEST_F(PlaybackTest, SeekBackAfterEverythingWasReadPlaysAgain) {
    ASSERT_EQ(open("play_video.mp4"), DOR_PLAYER_OK);
    ASSERT_EQ(play(), DOR_PLAYER_OK);
    ASSERT_TRUE(wait_position_at_least(1500, 5000));  // read and decoded to the end
    ASSERT_EQ(player_->Seek(0, 0, 100), DOR_PLAYER_OK);
    ASSERT_TRUE(wait_until(
        [&] {
            const auto p = positions_ms();
            return !p.empty() && p.back() < 500;
        },
        2000));
    ASSERT_TRUE(wait_playing_ended(kEndTimeoutMs));
    ASSERT_TRUE(wait_until([&] { return callbacks_.ended > 0; }, 2000));
    EXPECT_GE(positions_ms().back(), 1800);
    EXPECT_EQ(callbacks_.ended, 1);
}

TEST_F(PlaybackTest, AVideoOnlyFilePlaysOnTheMillisecondClock) {
    ASSERT_EQ(open("play_video.mp4"), DOR_PLAYER_OK);
    EXPECT_EQ(vs().audio_stream_index, sphere_player::kNoStream);
    const auto t0 = Clock::now();
    ASSERT_EQ(play(), DOR_PLAYER_OK);
    EXPECT_FALSE(ps().audio_enabled);
    ASSERT_TRUE(wait_position_at_least(1000, 5000));
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0);
    EXPECT_GT(ms.count(), 900);  // real time, not as fast as it decodes
    ASSERT_TRUE(wait_playing_ended(kEndTimeoutMs));
    ASSERT_TRUE(wait_until([&] { return callbacks_.ended > 0; }, 2000));
    EXPECT_GE(ps().stats.pictures_taken, 55);
}

TEST_F(PlaybackTest, AFileWithSoundButNoDeviceRunsOnTheScaledMillisecondClock) {
    ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    const int rc = open("fisheye.mp4");
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_EQ(rc, DOR_PLAYER_OK);
    EXPECT_EQ(vs().clock_scale, 48);
    const auto t0 = Clock::now();
    ASSERT_EQ(play(), DOR_PLAYER_OK) << player_->GetLastErrorText();
    ASSERT_TRUE(wait_position_at_least(1000, 5000));
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0);
    EXPECT_GT(ms.count(), 900);
    EXPECT_LT(player_->GetCurrentPositionMs(), 1600);  // milliseconds, not clock ticks
    ASSERT_TRUE(wait_playing_ended(kEndTimeoutMs));
    const auto p = positions_ms();
    ASSERT_FALSE(p.empty());
    EXPECT_GE(p.back(), 1500);
    EXPECT_LE(p.back(), 2000);
}

TEST_F(PlaybackTest, AFileWhoseTimestampsRestartStopsReadingAtTheJump) {
    ASSERT_EQ(open("play_restart.ts"), DOR_PLAYER_OK) << player_->GetLastErrorText();
    ASSERT_EQ(play(), DOR_PLAYER_OK);
    ASSERT_TRUE(wait_playing_ended(kEndTimeoutMs));
    ASSERT_TRUE(wait_until([&] { return callbacks_.ended > 0; }, 2000));
    EXPECT_TRUE(vs().read.timestamp_jump_seen);
    // Only the first recording is shown: 30 pictures, positions below 1 s.
    EXPECT_LE(ps().stats.pictures_taken, 30);
    EXPECT_GE(ps().stats.pictures_taken, 25);
    const auto p = positions_ms();
    ASSERT_FALSE(p.empty());
    EXPECT_LT(p.back(), 1000);
    EXPECT_GE(p.front(), 0);  // measured from the stream's start, not the TS clock
}

TEST_F(PlaybackTest, AnEndTimeBelowTheDurationStopsDrawingThere) {
    // 0.6 s black, then 2 s white.
    ASSERT_EQ(open("play_two_tone.mp4", 0), DOR_PLAYER_OK);
    ASSERT_EQ(play(), DOR_PLAYER_OK);
    // Without an end time the white part shows.
    EXPECT_GT(wait_level([](double l) { return l > 200.0; }, 5000), 200.0);
    player_->Stop();

    ASSERT_EQ(open("play_two_tone.mp4", 0, 400), DOR_PLAYER_OK);
    ASSERT_EQ(play(), DOR_PLAYER_OK);
    ASSERT_TRUE(wait_shown(1000, 5000));
    EXPECT_LT(mean_level(), 40.0);  // the last picture drawn is a black one
    ASSERT_TRUE(wait_playing_ended(kEndTimeoutMs));
    EXPECT_LT(ps().stats.pictures_drawn, ps().stats.pictures_taken);
    EXPECT_NEAR(static_cast<double>(ps().stats.pictures_drawn), 12.0, 2.0);  // 0.4 s of 30 fps
}

TEST_F(PlaybackTest, ViewportFourIsRefusedWhilePlaying) {
    ASSERT_EQ(open("play_video.mp4"), DOR_PLAYER_OK);
    ASSERT_EQ(play(), DOR_PLAYER_OK);
    const std::string text = "error: invalid viewport index: 4: we support at most 4 viewports;\n";
    EXPECT_EQ(player_->SetDrawMode(2, 4), DOR_PLAYER_FAILED);
    EXPECT_EQ(player_->GetLastErrorText(), text);
    EXPECT_EQ(player_->SetViewport(0, 0, 10, 10, 4), DOR_PLAYER_FAILED);
    EXPECT_EQ(player_->DisableViewport(4), DOR_PLAYER_FAILED);
    EXPECT_EQ(player_->GetLastErrorText(), text);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(player_->SetViewAngles(1, 2, 3, 4), DOR_PLAYER_OK);
    EXPECT_EQ(player_->SetZoom(1.0f, 4), DOR_PLAYER_OK);
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("error: invalid viewport index 4;\nerror: invalid viewport index 4;\n"),
              std::string::npos);
    EXPECT_EQ(player_->IsPlaying(), 1);
}

TEST_F(PlaybackTest, InitAndSetWindowRectAreRefusedWhilePlaying) {
    ASSERT_EQ(open("play_video.mp4"), DOR_PLAYER_OK);
    ASSERT_EQ(play(), DOR_PLAYER_OK);
    init_param other = param_;
    EXPECT_EQ(player_->Init(&other), DOR_PLAYER_FAILED);
    EXPECT_STREQ(player_->GetLastErrorText(),
                 "error: the player is playing video, please stop it first;\n");
    EXPECT_EQ(player_->SetWindowRect(0, 0, 100, 100), DOR_PLAYER_FAILED);
    EXPECT_EQ(player_->Play(nullptr, nullptr, nullptr, nullptr, nullptr), DOR_PLAYER_OK);
    EXPECT_EQ(player_->IsPlaying(), 1);
}

TEST_F(PlaybackTest, ADisplayFailureReportsItsCodeAndEndsWithoutEndCallback) {
    ASSERT_EQ(open("play_video.mp4"), DOR_PLAYER_OK);
    const std::string missing = dir_.file("missing.inf");
    param_.calib_filename = missing.c_str();
    EXPECT_EQ(play(), DOR_PLAYER_FAILED);
    EXPECT_EQ(
        std::string(player_->GetLastErrorText()).rfind("error: in OGL renderer, line: 1007: ", 0),
        0u)
        << player_->GetLastErrorText();
    EXPECT_EQ(callbacks_.errors, 1);
    EXPECT_EQ(callbacks_.last_error, DOR_PLAYER_DISPLAY_FAILED);
    EXPECT_EQ(player_->IsPlaying(), 0);

    // A logo that cannot be read: the still-picture decoder's text, code 21.
    param_.calib_filename = calib_.c_str();
    param_.need_logo = 1;
    param_.logo_fn = missing.c_str();
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(play(), DOR_PLAYER_FAILED);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::string(player_->GetLastErrorText())
                  .rfind("error: couldn't open input picture file, code: ", 0),
              0u)
        << player_->GetLastErrorText();
    EXPECT_EQ(callbacks_.last_error, DOR_PLAYER_FAILED);
    EXPECT_EQ(callbacks_.ended, 0);
}

TEST_F(PlaybackTest, ALogoPictureIsDecodedForTheRenderer) {
    ASSERT_EQ(open("play_video.mp4", 2), DOR_PLAYER_OK);
    const std::string logo = dir_.file("logo.png");
    ASSERT_EQ(std::system(("ffmpeg -hide_banner -loglevel error -y -f lavfi -i "
                           "color=c=red:size=64x64 -frames:v 1 '" +
                           logo + "'")
                              .c_str()),
              0);
    param_.need_logo = 1;
    param_.logo_fov = 30;
    param_.logo_fn = logo.c_str();
    ASSERT_EQ(play(), DOR_PLAYER_OK) << player_->GetLastErrorText();
    ASSERT_TRUE(wait_position_at_least(300, 5000));
    EXPECT_EQ(callbacks_.errors, 0);
}

}  // namespace
}  // namespace playback_test
