// The call sequences a host makes around playback: seeks and frame steps
// in bursts, seeks before the start, resuming after steps, seeks the
// demuxer refuses, callbacks that stop and destroy the player, view state
// that belongs to one file, and a TS clock beyond 32 bits.
#include <random>

#include "clock_units.h"
#include "frame_step.h"
#include "playback_support.h"

namespace playback_test {
namespace {

constexpr double kFrameMs = 1000.0 / 30.0;

long elapsed_ms(Clock::time_point since) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

int failing_seek(AVFormatContext*, int, std::int64_t, int) {
    return AVERROR(EIO);
}

class LifecycleTest : public PlaybackTest {
protected:
    // Plays `name` until a picture at or past `ms` was shown, then pauses.
    void pause_playing_at(const char* name, long ms) {
        ASSERT_EQ(open(name, 0), DOR_PLAYER_OK);
        ASSERT_EQ(play(), DOR_PLAYER_OK);
        ASSERT_TRUE(wait_position_at_least(ms, 5000));
        player_->Pause();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        positions_ms();  // what playback posted up to the pause
    }

    // Steps once; the position the step reported (-1: none came).
    long step(bool forward) {
        player_->StepFrame(forward);
        long p = -1;
        return next_position(&p, 3000) ? p : -1;
    }

    // The ring slot the next picture is taken from, and its time (ms).
    struct Front {
        int slot = 0;
        long ms = 0;
    };
    Front front_after_history() {
        const int slot = (steps().history_index + 1) % sphere_player::kPictureSlots;
        const auto pts = vs().pictures.time_of(slot);
        return {slot, static_cast<long>(sphere_player::position_ms_of(vs(), pts))};
    }
    // Whether the display has taken the picture in `slot` off the ring.
    bool taken_past(int slot) {
        return vs().pictures.read_index() == (slot + 1) % sphere_player::kPictureSlots;
    }

    // Resumes and measures how long the display takes to show the picture
    // after the one the steps left on screen; checks it is that picture.
    void expect_prompt_resume(long shown_ms) {
        const Front next = front_after_history();
        EXPECT_NEAR(static_cast<double>(next.ms - shown_ms), kFrameMs, 1.5);
        const auto t0 = Clock::now();
        player_->Resume();
        ASSERT_TRUE(wait_until([&] { return taken_past(next.slot); }, 3000));
        const long ms = elapsed_ms(t0);
        // Four frame periods: the display's own turn is 20 ms, and on a
        // busy two-core machine the poll and the scheduler add a frame or
        // two. A late re-base shows as half a second. A sanitizer's round
        // allows its wait scale times as long.
        EXPECT_LE(ms, 4 * kFrameMs * wait_scale())
            << "the next picture came " << ms << " ms after Resume";
        ASSERT_TRUE(wait_playing_ended(kEndTimeoutMs));
    }

    static constexpr int kEndTimeoutMs = 15000;
};

TEST_F(LifecycleTest, ABurstOfSeeksAndStepsEndsWhereTheLastSeekAsked) {
    pause_playing_at("play_grey.mp4", 300);
    std::mt19937 rng(20241207);
    for (int i = 0; i < 80; ++i) {
        switch (rng() % 3) {
            case 0:
                player_->StepFrame(true);
                break;
            case 1:
                player_->StepFrame(false);
                break;
            default: {
                const int ms = static_cast<int>(rng() % 7000);
                ASSERT_EQ(player_->Seek(0, ms / 1000, ms % 1000), DOR_PLAYER_OK);
                player_->Pause();  // as the viewer does, so that stepping goes on from there
            }
        }
        if (rng() % 4 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 40));
    }
    ASSERT_EQ(player_->Seek(0, 5, 200), DOR_PLAYER_OK);  // and plays on from there
    const bool landed = wait_until(
        [&] {
            const auto p = positions_ms();
            return !p.empty() && p.back() >= 5000 && p.back() < 5700;
        },
        3000);
    EXPECT_TRUE(landed) << "last position "
                        << (positions_ms().empty() ? -1 : positions_ms().back());
    const std::size_t seen = positions_ms().size();
    ASSERT_TRUE(wait_playing_ended(kEndTimeoutMs));
    ASSERT_TRUE(wait_until([&] { return callbacks_.ended > 0; }, 2000));
    const auto p = positions_ms();
    for (std::size_t i = seen; i < p.size(); ++i) EXPECT_GE(p[i], 5000);
    EXPECT_EQ(callbacks_.ended, 1);
}

TEST_F(LifecycleTest, ASeekBeforeTheStartShowsTheStartAtOnce) {
    ASSERT_EQ(open("play_grey.mp4"), DOR_PLAYER_OK);  // no sound: the millisecond clock
    ASSERT_EQ(play(), DOR_PLAYER_OK);
    ASSERT_TRUE(wait_position_at_least(1200, 5000));
    positions_ms();
    const auto t0 = Clock::now();
    ASSERT_EQ(player_->Seek(0, -3, 0), DOR_PLAYER_OK);  // the viewer's back-skip near the start
    ASSERT_TRUE(wait_until(
        [&] {
            const auto p = positions_ms();
            return !p.empty() && p.back() < 500;
        },
        5000));
    EXPECT_LT(elapsed_ms(t0), 500);
    EXPECT_LT(player_->GetCurrentPositionMs(), 1000);
}

TEST_F(LifecycleTest, ResumeAfterForwardStepsGoesOnFromTheShownPicture) {
    pause_playing_at("play_video.mp4", 300);
    long shown = -1;
    for (int i = 0; i < 15; ++i) shown = step(true);
    ASSERT_GE(shown, 0);
    expect_prompt_resume(shown);
}

TEST_F(LifecycleTest, ResumeAfterBackwardStepsGoesOnFromTheShownPicture) {
    for (const int steps : {5, 40}) {  // within the kept pictures, and past them
        SCOPED_TRACE(steps);
        pause_playing_at("play_video.mp4", 1500);
        long shown = -1;
        for (int i = 0; i < steps; ++i) shown = step(false);
        ASSERT_GE(shown, 0);
        expect_prompt_resume(shown);
        player_->Stop();
        messages_.clear();
    }
}

TEST_F(LifecycleTest, StepsBackDropTheSoundQueuedBeyondThem) {
    pause_playing_at("fisheye.mp4", 1800);  // with sound
    long shown = -1;
    for (int i = 0; i < 40; ++i) shown = step(false);  // past the kept pictures: a refill
    ASSERT_GE(shown, 0);
    ASSERT_LT(shown, 1000);
    {
        // The sound queued before the refill lay a second and more ahead of
        // the picture now shown; nothing of it may be left.
        const auto shown_units = sphere_player::ms_to_clock_units(shown, vs().audio_tbase);
        AVPacket* probe = av_packet_alloc();
        while (vs().audio_packets.pop(probe)) {
            EXPECT_LE(probe->pts,
                      shown_units + sphere_player::ms_to_clock_units(500, vs().audio_tbase));
            av_packet_unref(probe);
        }
        av_packet_free(&probe);
    }
    player_->Resume();
    ASSERT_TRUE(wait_playing_ended(kEndTimeoutMs));
}

TEST_F(LifecycleTest, ASeekTheDemuxerRefusesFailsAndPlaybackGoesOn) {
    ASSERT_EQ(open("play_video.mp4"), DOR_PLAYER_OK);
    vs().seek_frame = failing_seek;
    ASSERT_EQ(play(), DOR_PLAYER_OK);
    ASSERT_TRUE(wait_position_at_least(300, 5000));
    EXPECT_EQ(player_->Seek(0, 1, 500), DOR_PLAYER_FAILED);
    EXPECT_STREQ(player_->GetLastErrorText(), "error: can not seek in the media file;\n");
    ASSERT_TRUE(wait_playing_ended(kEndTimeoutMs));
    ASSERT_TRUE(wait_until([&] { return callbacks_.ended > 0; }, 2000));
    EXPECT_GE(positions_ms().back(), 1800);  // nothing was skipped or flushed
    EXPECT_GE(ps().stats.pictures_taken, 55);
}

TEST_F(LifecycleTest, AStepBackTheDemuxerCannotSeekForKeepsTheHistory) {
    pause_playing_at("play_video.mp4", 1500);
    vs().seek_frame = failing_seek;  // the workers are parked
    const int kept = steps().history_length;
    ASSERT_GT(kept, 2);
    long last = -1;
    int shown = 0;
    for (int i = 0; i < 40; ++i) {
        const long p = step(false);
        if (p < 0) break;
        last = p;
        ++shown;
    }
    EXPECT_EQ(shown, kept - 1);  // back to the oldest kept picture, and no further
    EXPECT_GE(last, 0);
    EXPECT_NEAR(static_cast<double>(step(true) - last), kFrameMs, 1.5);
    player_->Resume();
    ASSERT_TRUE(wait_playing_ended(kEndTimeoutMs));
}

// A host that stops and destroys the player from its callbacks.
struct SelfDestroying {
    sphere_player::DOR_SpherePlayerImpl* player = nullptr;
    std::atomic<int> errors{0}, ends{0}, last_error{0};

    static void on_error(void* self, int code) {
        auto* s = static_cast<SelfDestroying*>(self);
        s->player->Stop();
        delete s->player;
        s->last_error = code;
        s->errors++;
    }
    static void on_end(void* self) {
        auto* s = static_cast<SelfDestroying*>(self);
        s->player->Stop();
        delete s->player;
        s->ends++;
    }
    int play() { return player->Play(nullptr, nullptr, on_end, this, on_error); }
};

TEST_F(LifecycleTest, ErrorCallbackMayStopAndDestroyWhenTheDisplayFailsToStart) {
    ASSERT_EQ(open("play_video.mp4"), DOR_PLAYER_OK);
    const std::string missing = dir_.file("missing.inf");
    param_.calib_filename = missing.c_str();
    SelfDestroying host;
    host.player = player_.release();
    EXPECT_EQ(host.play(), DOR_PLAYER_FAILED);
    EXPECT_EQ(host.errors, 1);
    EXPECT_EQ(host.last_error, DOR_PLAYER_DISPLAY_FAILED);
}

TEST_F(LifecycleTest, ErrorCallbackMayStopAndDestroyWhenTheDisplayFailsWhilePlaying) {
    ASSERT_EQ(open("play_grey.mp4"), DOR_PLAYER_OK);
    SelfDestroying host;
    host.player = player_.release();
    ASSERT_EQ(host.play(), DOR_PLAYER_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // As a renderer failure while playing: the next display turn fails.
    host.player->state().fail_display_with = DOR_PLAYER_DISPLAY_FAILED;
    ASSERT_TRUE(wait_until([&] { return host.errors > 0; }, 5000));
    EXPECT_EQ(host.last_error, DOR_PLAYER_DISPLAY_FAILED);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the display thread's end
    EXPECT_EQ(host.ends, 0);
}

TEST_F(LifecycleTest, EndCallbackMayStopAndDestroy) {
    ASSERT_EQ(open("play_video.mp4"), DOR_PLAYER_OK);
    SelfDestroying host;
    host.player = player_.release();
    ASSERT_EQ(host.play(), DOR_PLAYER_OK);
    ASSERT_TRUE(wait_until([&] { return host.ends > 0; }, kEndTimeoutMs));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the last worker's end
    EXPECT_EQ(host.ends, 1);
    EXPECT_EQ(host.errors, 0);
}

TEST_F(LifecycleTest, AnOrientationSetForOneFileIsNotKeptForTheNext) {
    ASSERT_EQ(open("play_video.mp4", 6), DOR_PLAYER_OK);
    player_->SetOrientation(2);
    EXPECT_EQ(view_record().orientation_request, 2);
    ASSERT_EQ(open("play_video.mp4", 6), DOR_PLAYER_OK);
    EXPECT_EQ(view_record().orientation_request, sphere_player::kNoOrientationRequest);
}

TEST_F(LifecycleTest, AZoomSetBeforePlayIsKept) {
    ASSERT_EQ(open("play_video.mp4", 2), DOR_PLAYER_OK);
    player_->SetZoom(1.25f, 0);
    ASSERT_EQ(play(), DOR_PLAYER_OK);
    ASSERT_TRUE(wait_position_at_least(100, 5000));
    EXPECT_FLOAT_EQ(player_->GetZoom(0), 1.25f);
}

TEST_F(LifecycleTest, DisablingAViewportWhilePausedClearsItAtOnce) {
    ASSERT_EQ(open("play_grey.mp4", 0), DOR_PLAYER_OK);  // flat mid grey
    ASSERT_EQ(play(), DOR_PLAYER_OK);
    ASSERT_GT(wait_level([](double l) { return l > 100.0; }, 5000), 100.0);
    player_->Pause();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    player_->DisableViewport(0);
    EXPECT_LT(wait_level([](double l) { return l < 10.0; }, 2000), 10.0);
}

// The audio clock of a TS file counts 90 kHz ticks from wherever the
// recorder's clock stood: here above 2^32. Pictures must still wait for
// their time, neither rushed nor held back.
TEST_F(LifecycleTest, ATsClockBeyondThirtyTwoBitsPlaysInStep) {
    ASSERT_EQ(open("play_late_clock.ts"), DOR_PLAYER_OK) << player_->GetLastErrorText();
    ASSERT_NE(vs().audio_stream_index, sphere_player::kNoStream);
    ASSERT_GT(vs().video_stream->start_time, std::int64_t{1} << 32);
    const auto t0 = Clock::now();
    ASSERT_EQ(play(), DOR_PLAYER_OK);
    ASSERT_TRUE(wait_playing_ended(kEndTimeoutMs));
    const long wall = elapsed_ms(t0);
    player_->Stop();  // the display thread is joined: its statistics may be read
    const sphere_player::PlaybackStats& st = ps().stats;
    EXPECT_GE(st.pictures_taken, 85);
    EXPECT_GE(wall, 2700) << "faster than real time";
    EXPECT_LT(st.lag_max_settled_ms, 150.0);
    EXPECT_GT(st.lag_min_ms, -60.0) << "a picture shown before its time";
    EXPECT_LT(std::abs(st.mean_lag_ms()), 60.0);
    const auto p = positions_ms();
    ASSERT_FALSE(p.empty());
    EXPECT_GE(p.back(), 2700);
    EXPECT_LT(p.front(), 500);  // measured from the stream's start
}

}  // namespace
}  // namespace playback_test
