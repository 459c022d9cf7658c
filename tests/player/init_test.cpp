// Init on generated media: what it opens, how long it says a recording is,
// and every failure with its code and text.
#include <cstdlib>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "SpherePlayer.h"
#include "open_media.h"
#include "sphere_player_impl.h"
#include "temp_dir.h"

namespace {

using sphere_player::DOR_SpherePlayerImpl;

std::string sample(const std::string& name) {
    return std::string(KVP_SAMPLES_DIR "/") + name;
}

class InitTest : public ::testing::Test {
protected:
    int init(const std::string& path) {
        path_ = path;
        param_ = init_param{path_.c_str(), "", "", 0, 0, 0, 0, 1};
        return player_.Init(&param_);
    }
    sphere_player::video_state& vs() { return *player_.state().vs; }
    std::string error() { return player_.GetLastErrorText(); }
    DOR_VideoTime duration() {
        DOR_VideoTime t{-1, -1, -1};
        player_.GetVideoDuration(&t);
        return t;
    }

    DOR_SpherePlayerImpl player_;
    std::string path_;
    init_param param_{};
};

TEST_F(InitTest, OpensAFisheyeMp4WithItsSoundAndPictureBuffers) {
    ASSERT_EQ(init(sample("fisheye.mp4")), DOR_PLAYER_OK) << error();
    int w = 0, h = 0;
    ASSERT_EQ(player_.GetVideoSize(&w, &h), DOR_PLAYER_OK);
    EXPECT_EQ(w, 480);
    EXPECT_EQ(h, 480);
    EXPECT_EQ(player_.GetVideoDurationms(), 2000);  // 60 frames at 30 fps
    const DOR_VideoTime t = duration();
    EXPECT_EQ(t.minutes, 0);
    EXPECT_EQ(t.seconds, 2);
    EXPECT_EQ(t.milliseconds, 0);

    EXPECT_NE(vs().video_stream_index, sphere_player::kNoStream);
    EXPECT_NE(vs().audio_stream_index, sphere_player::kNoStream);
    EXPECT_EQ(vs().video_codec->thread_count, sphere_player::kVideoDecoderThreads);
    EXPECT_EQ(vs().audio_tbase.num, 1);
    EXPECT_EQ(vs().audio_tbase.den, 48000);
    EXPECT_EQ(vs().clock_scale, 1);
    EXPECT_TRUE(player_.state().audio_device_available);
    for (int slot = 0; slot < sphere_player::kPictureSlots; ++slot) {
        const AVFrame* frame = vs().pictures.frame(slot);
        ASSERT_TRUE(frame != nullptr && frame->data[0] != nullptr);
        EXPECT_EQ(frame->linesize[0], 480);
        EXPECT_EQ(frame->data[1], frame->data[0] + 480 * 480);
    }
    EXPECT_TRUE(vs().decode.scaler);
    EXPECT_TRUE(vs().audio.resampler);
    EXPECT_EQ(vs().audio.output_channels, 2);
    EXPECT_EQ(vs().audio.out_buffer_size_s16, 1024 * 2 * 2);  // one AAC frame, stereo S16
    EXPECT_EQ(vs().wanted_spec.freq, 48000);
    EXPECT_EQ(vs().wanted_spec.channels, 2);
    EXPECT_EQ(vs().wanted_spec.samples, 1024);
    EXPECT_EQ(vs().wanted_spec.format, AUDIO_S16SYS);
    EXPECT_EQ(vs().param, &param_);
}

TEST_F(InitTest, OpensAFisheyeTsWithoutRecorderPacketsUnchanged) {
    kvp_test::TempDir dir;
    const std::string copy = dir.file("fisheye.ts");
    const std::string bytes = kvp_test::read_file(sample("fisheye.ts"));
    ASSERT_TRUE(kvp_test::write_file(copy, bytes));
    ASSERT_EQ(init(copy), DOR_PLAYER_OK) << error();
    EXPECT_EQ(player_.state().last_pcr, 0);
    // TS: the larger of the stream length and 60 frames / 30 fps.
    EXPECT_EQ(player_.GetVideoDurationms(), 2000);
    EXPECT_EQ(kvp_test::read_file(copy), bytes);
}

TEST_F(InitTest, RepairsADamagedRecorderTsBeforeOpeningIt) {
    kvp_test::TempDir dir;
    const std::string name = "20241207_153100A.ts";
    const std::string copy = dir.file(name);
    const std::string whole = kvp_test::read_file(sample("20241207_153000A.ts"));
    ASSERT_TRUE(kvp_test::write_file(copy, kvp_test::read_file(sample(name))));
    ASSERT_EQ(init(copy), DOR_PLAYER_OK) << error();
    // The older recording's tail is gone: what is left is one clip's worth,
    // exactly as long as the whole recording of the same clip.
    EXPECT_EQ(kvp_test::read_file(copy).size(), whole.size());
    EXPECT_EQ(player_.state().last_pcr, 306000);
    EXPECT_EQ(player_.GetVideoDurationms(), 2000);
}

TEST_F(InitTest, LeavesTsFilesItCannotAttributeAlone) {
    kvp_test::TempDir dir;
    // First packets ten minutes older than the name (the last recorder packet
    // carries PCR base 306000); FFmpeg's program map on PID 0x1000 (no PCR).
    const struct {
        const char* name;
        std::int64_t last_pcr;
    } cases[] = {{"20241207_153200A.ts", 306000}, {"20241207_153300A.ts", 0}};
    for (const auto& [name, last_pcr] : cases) {
        SCOPED_TRACE(name);
        const std::string copy = dir.file(name);
        const std::string bytes = kvp_test::read_file(sample(name));
        ASSERT_TRUE(kvp_test::write_file(copy, bytes));
        ASSERT_EQ(init(copy), DOR_PLAYER_OK) << error();
        EXPECT_EQ(kvp_test::read_file(copy), bytes);
        EXPECT_EQ(player_.state().last_pcr, last_pcr);
    }
}

TEST_F(InitTest, OpensAFlatMp4) {
    ASSERT_EQ(init(sample("flat.mp4")), DOR_PLAYER_OK) << error();
    int w = 0, h = 0;
    player_.GetVideoSize(&w, &h);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 360);
    EXPECT_EQ(player_.GetVideoDurationms(), 2000);
}

TEST_F(InitTest, MapsAFullRangePixelFormatToItsPlainCounterpart) {
    ASSERT_EQ(init(sample("yuvj420p.mp4")), DOR_PLAYER_OK) << error();
    EXPECT_EQ(vs().video_pix_fmt, AV_PIX_FMT_YUV420P);
    EXPECT_EQ(vs().video_codec->pix_fmt, AV_PIX_FMT_YUV420P);
    EXPECT_EQ(vs().video_codec->color_range, AVCOL_RANGE_JPEG);  // the stream says full range
    EXPECT_EQ(player_.GetVideoDurationms(), 1000);
    EXPECT_EQ(vs().audio_stream, nullptr);
    EXPECT_EQ(vs().audio_tbase.den, 1000);
}

TEST_F(InitTest, AboveThirtyFramesPerSecondTheSoundsLengthCounts) {
    // 1 s of 60 fps picture, 1.5 s of sound.
    ASSERT_EQ(init(sample("high_rate.mp4")), DOR_PLAYER_OK) << error();
    EXPECT_NEAR(static_cast<double>(player_.GetVideoDurationms()), 1500, 30);
    EXPECT_GT(vs().frame_rate, 30.0f);
}

TEST_F(InitTest, LiveFormatsReportAHundredMinutes) {
    for (const char* name : {"live.flv", "live.m3u8"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(init(sample(name)), DOR_PLAYER_OK) << error();
        const DOR_VideoTime t = duration();
        EXPECT_EQ(t.minutes, 100);
        EXPECT_EQ(t.seconds, 0);
        EXPECT_EQ(t.milliseconds, 0);
    }
}

TEST_F(InitTest, FailuresReturnTheirCodeAndText) {
    EXPECT_EQ(init(sample("audio_only.m4a")), DOR_PLAYER_NO_VIDEO);
    EXPECT_EQ(error(), "error: can not find a video stream.\n");

    EXPECT_EQ(init("/nonexistent/clip.mp4"), DOR_PLAYER_OPEN_FAILED);
    EXPECT_EQ(error().rfind("error: couldn't open input stream, code: 0x", 0), 0u) << error();
    EXPECT_EQ(error().substr(error().size() - 2), ";\n");

    kvp_test::TempDir dir;
    const std::string garbage = dir.file("garbage.mp4");
    ASSERT_TRUE(kvp_test::write_file(garbage, std::string(4096, '\x13')));
    EXPECT_NE(init(garbage), DOR_PLAYER_OK);
    EXPECT_EQ(error().rfind("error: ", 0), 0u);

    const std::string empty_ts = dir.file("20241207_153000A.ts");
    ASSERT_TRUE(kvp_test::write_file(empty_ts, ""));
    EXPECT_NE(init(empty_ts), DOR_PLAYER_OK);
    EXPECT_EQ(kvp_test::read_file(empty_ts), "");

    EXPECT_EQ(player_.Init(nullptr), DOR_PLAYER_FAILED);
}

// A generated recording with one byte changed: the size field of its
// sample description. FFmpeg then opens the file but cannot tell the
// video's picture format.
std::string damaged_sample_description(const kvp_test::TempDir& dir) {
    std::string bytes = kvp_test::read_file(sample("fisheye.mp4"));
    const std::size_t box = bytes.find("stsd");
    if (box == std::string::npos || box < 4) return "";
    bytes[box - 4] = '\xff';
    const std::string path = dir.file("damaged_stsd.mp4");
    return kvp_test::write_file(path, bytes) ? path : "";
}

TEST_F(InitTest, AStreamWithAnUnknownPictureFormatIsRefused) {
    kvp_test::TempDir dir;
    const std::string path = damaged_sample_description(dir);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(init(path), DOR_PLAYER_FAILED);
    EXPECT_EQ(error(), "error: unknown picture format or size of the video stream;\n");
    EXPECT_FALSE(vs().decode.scaler);
}

// Play must never start on a file Init gave up on, whichever step failed:
// the picture buffers, the scaler or the sound set-up may be missing.
TEST_F(InitTest, PlayAfterAFailedInitIsRefusedWhicheverStepFailed) {
    kvp_test::TempDir dir;
    const std::string damaged = damaged_sample_description(dir);
    using sphere_player::InitStep;
    const struct {
        const char* what;
        std::string path;
        InitStep fail_at;
        int code;
    } cases[] = {
        {"missing file", "/nonexistent/clip.mp4", InitStep::none, DOR_PLAYER_OPEN_FAILED},
        {"no video", sample("audio_only.m4a"), InitStep::none, DOR_PLAYER_NO_VIDEO},
        {"unknown picture format", damaged, InitStep::none, DOR_PLAYER_FAILED},
        {"picture buffers", sample("fisheye.mp4"), InitStep::pictures, DOR_PLAYER_FAILED},
        {"scaler", sample("fisheye.mp4"), InitStep::scaler, DOR_PLAYER_FAILED},
        {"resampler", sample("fisheye.mp4"), InitStep::sound, DOR_PLAYER_FAILED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // A file that opened completely comes first: its failed successor
        // must not leave it playable either.
        player_.state().fail_init_at = InitStep::none;
        ASSERT_EQ(init(sample("flat.mp4")), DOR_PLAYER_OK);
        player_.state().fail_init_at = c.fail_at;
        EXPECT_EQ(init(c.path), c.code) << error();
        EXPECT_EQ(player_.Play(nullptr, nullptr, nullptr, nullptr, nullptr), DOR_PLAYER_FAILED);
        EXPECT_EQ(error(), "error: no media opened, call Init first;\n");
        EXPECT_EQ(player_.IsPlaying(), 0);
        EXPECT_EQ(player_.Seek(0, 0, 0), DOR_PLAYER_FAILED);
    }
    player_.state().fail_init_at = InitStep::none;
}

TEST_F(InitTest, ATruncatedRecordingOpensOrFailsCleanly) {
    kvp_test::TempDir dir;
    const std::string bytes = kvp_test::read_file(sample("fisheye.mp4"));
    for (const std::size_t keep : {std::size_t{100}, bytes.size() / 3, bytes.size() - 1}) {
        SCOPED_TRACE(keep);
        const std::string path = dir.file("cut.mp4");
        ASSERT_TRUE(kvp_test::write_file(path, bytes.substr(0, keep)));
        const int rc = init(path);
        if (rc != DOR_PLAYER_OK) {
            EXPECT_EQ(error().rfind("error: ", 0), 0u);
        }
    }
}

TEST_F(InitTest, WithoutASoundDeviceTheMillisecondClockIsScaled) {
    ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    ASSERT_EQ(init(sample("fisheye.mp4")), DOR_PLAYER_OK) << error();
    EXPECT_FALSE(player_.state().audio_device_available);
    EXPECT_EQ(error(), "error: can't open audio for SDL;\n");
    EXPECT_EQ(vs().audio_stream_index, sphere_player::kNoStream);
    EXPECT_EQ(vs().clock_scale, 48);  // (1/1000) / (1/48000)
    EXPECT_EQ(vs().audio_tbase.den, 48000);
    EXPECT_FALSE(vs().audio.resampler);
    EXPECT_EQ(player_.GetVideoDurationms(), 2000);
}

TEST_F(InitTest, ASecondInitReplacesTheFirst) {
    ASSERT_EQ(init(sample("fisheye.mp4")), DOR_PLAYER_OK);
    player_.SetViewAngleLimits(-10, 10, -20, 20, -30, 30, 1);
    ASSERT_EQ(init(sample("yuvj420p.mp4")), DOR_PLAYER_OK) << error();
    EXPECT_EQ(player_.GetVideoDurationms(), 1000);
    EXPECT_EQ(vs().audio_stream, nullptr);
    {
        platform::MutexLock lock(vs().view.mutex);
        EXPECT_EQ(vs().view.record.angle_min_deg[1][0], -180.0f);
        EXPECT_EQ(vs().view.record.angle_max_deg[1][2], 180.0f);
    }
    // A failed Init leaves no length behind.
    EXPECT_EQ(init("/nonexistent/clip.mp4"), DOR_PLAYER_OPEN_FAILED);
    EXPECT_EQ(player_.GetVideoDurationms(), 0);
}

TEST_F(InitTest, IsRefusedWhilePlaying) {
    ASSERT_EQ(init(sample("fisheye.mp4")), DOR_PLAYER_OK);
    player_.state().playing = 1;  // as Play leaves it
    init_param other{KVP_SAMPLES_DIR "/flat.mp4", "", "", 0, 0, 0, 0, 1};
    EXPECT_EQ(player_.Init(&other), DOR_PLAYER_FAILED);
    EXPECT_EQ(error(), "error: the player is playing video, please stop it first;\n");
    EXPECT_EQ(vs().param, &param_);  // the playing file stays open
    EXPECT_EQ(player_.GetVideoDurationms(), 2000);
    EXPECT_EQ(player_.SetWindowRect(0, 0, 10, 10), DOR_PLAYER_FAILED);
    EXPECT_EQ(error(), "error: can not create window while playing;\n");
    player_.state().playing = 0;
}

TEST_F(InitTest, SeekIsBoundedByTheDuration) {
    EXPECT_EQ(player_.Seek(0, 0, 0), DOR_PLAYER_FAILED);  // nothing open
    ASSERT_EQ(init(sample("fisheye.mp4")), DOR_PLAYER_OK);
    const DOR_VideoTime t = duration();
    EXPECT_EQ(player_.Seek(t.minutes, t.seconds, t.milliseconds), DOR_PLAYER_FAILED);
    EXPECT_EQ(error(), "error: invalid seeking time: out of video time duration;\n");
    EXPECT_EQ(player_.Seek(0, 1, 999), DOR_PLAYER_OK);
    EXPECT_EQ(player_.Seek(0, 0, 1999), DOR_PLAYER_OK);
    EXPECT_EQ(player_.Seek(0, 0, 2000), DOR_PLAYER_FAILED);
    EXPECT_EQ(player_.Seek(0, -1, 0), DOR_PLAYER_OK);  // before the start: lands at the start
    EXPECT_EQ(player_.Seek(1, -59, -1), DOR_PLAYER_OK);
    EXPECT_FALSE(vs().flags.paused());
}

TEST_F(InitTest, GetVideoSizeOpensTheLastNamedFileWhenNothingIsOpen) {
    int w = -1, h = -1;
    EXPECT_EQ(player_.GetVideoSize(&w, &h), DOR_PLAYER_FAILED);  // no path yet
    EXPECT_EQ(init(sample("audio_only.m4a")), DOR_PLAYER_NO_VIDEO);
    EXPECT_EQ(player_.GetVideoSize(&w, &h), DOR_PLAYER_FAILED);
    init(sample("flat.mp4"));
    vs().video_codec.reset();  // as after a failure past the stream choice
    EXPECT_EQ(player_.GetVideoSize(&w, &h), DOR_PLAYER_OK);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 360);
}

}  // namespace
