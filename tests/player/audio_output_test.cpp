// The sound path without a device: the resampler to 16-bit stereo and the
// audio callback fed from the audio packet queue, called as SDL's audio
// thread would call it.
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "audio_output.h"
#include "sphere_player_impl.h"

namespace {

using sphere_player::DOR_SpherePlayerImpl;

class AudioOutputTest : public ::testing::Test {
protected:
    void open(const std::string& name) {
        ::setenv("SDL_AUDIODRIVER", "dummy", 1);  // a test before may have taken it away
        path_ = std::string(KVP_SAMPLES_DIR "/") + name;
        param_ = init_param{path_.c_str(), "", "", 0, 0, 0, 0, 1};
        ASSERT_EQ(player_.Init(&param_), DOR_PLAYER_OK) << player_.GetLastErrorText();
        ASSERT_NE(vs().audio_stream_index, sphere_player::kNoStream);
    }
    sphere_player::PlayerState& ps() { return player_.state(); }
    sphere_player::video_state& vs() { return *player_.state().vs; }

    // The next audio packet of the file (times in the stream's time base).
    bool next_audio_packet(AVPacket* pkt) {
        while (av_read_frame(vs().format.get(), pkt) >= 0) {
            if (pkt->stream_index == vs().audio_stream_index) return true;
            av_packet_unref(pkt);
        }
        return false;
    }
    // Queues `n` audio packets as the read thread would (after the
    // encoder's priming packet, which decodes to nothing); their times.
    std::vector<std::int64_t> queue_audio(int n) {
        std::vector<std::int64_t> times;
        av::PacketPtr pkt(av_packet_alloc());
        while (static_cast<int>(times.size()) < n && next_audio_packet(pkt.get())) {
            if (pkt->pts < 0) {
                av_packet_unref(pkt.get());
                continue;
            }
            times.push_back(pkt->pts);
            vs().audio_packets.try_push(pkt.get());
        }
        return times;
    }
    // Root mean square of the left and right 16-bit samples.
    static std::pair<double, double> channel_levels(const std::uint8_t* bytes, int size) {
        std::vector<std::int16_t> s(static_cast<std::size_t>(size) / 2);
        std::memcpy(s.data(), bytes, s.size() * 2);
        double l = 0, r = 0;
        for (std::size_t i = 0; i + 1 < s.size(); i += 2) {
            l += static_cast<double>(s[i]) * s[i];
            r += static_cast<double>(s[i + 1]) * s[i + 1];
        }
        const double n = static_cast<double>(s.size() / 2);
        return {std::sqrt(l / n), std::sqrt(r / n)};
    }
    // Decodes a few frames of the file through the player's resampler.
    std::pair<double, double> converted_levels() {
        av::PacketPtr pkt(av_packet_alloc());
        int bytes = 0;
        for (int frames = 0; frames < 6 && next_audio_packet(pkt.get());) {
            avcodec_send_packet(vs().audio_codec.get(), pkt.get());
            av_packet_unref(pkt.get());
            while (avcodec_receive_frame(vs().audio_codec.get(), vs().audio.frame.get()) == 0) {
                if (frames++ >= 2) {  // past the encoder's start-up
                    bytes +=
                        sphere_player::convert_audio_frame(vs(), vs().audio.frame.get(), bytes);
                }
                av_frame_unref(vs().audio.frame.get());
            }
        }
        EXPECT_GT(bytes, 0);
        return channel_levels(vs().audio.out_buffer.get(), bytes);
    }
    std::vector<std::uint8_t> callback(int len, std::uint8_t fill = 0xAA) {
        std::vector<std::uint8_t> buf(static_cast<std::size_t>(len), fill);
        sphere_player::audio_callback(&ps(), buf.data(), len);
        return buf;
    }
    std::int64_t clock_value() { return vs().clock.value(); }

    DOR_SpherePlayerImpl player_;
    std::string path_;
    init_param param_{};
};

TEST_F(AudioOutputTest, AStereoSourceKeepsItsChannelsApart) {
    open("play_stereo.mp4");  // a tone on the left, silence on the right
    const auto [left, right] = converted_levels();
    EXPECT_GT(left, 1000.0);
    EXPECT_LT(right, 50.0);
}

TEST_F(AudioOutputTest, AMonoSourcePlaysOnBothChannels) {
    open("fisheye.mp4");
    const auto [left, right] = converted_levels();
    EXPECT_GT(left, 1000.0);
    EXPECT_NEAR(left, right, 1.0);
}

TEST_F(AudioOutputTest, TheCallbackMixesAtTheVolumeAndSetsTheClock) {
    open("fisheye.mp4");
    vs().flags.mark_display_started();  // the first picture is up: no holding back
    const int len = vs().wanted_spec.samples * 4;
    const std::vector<std::int64_t> times = queue_audio(4);
    ASSERT_EQ(times.size(), 4u);

    player_.SetVolume(0);
    std::vector<std::uint8_t> buf = callback(len);
    EXPECT_EQ(buf, std::vector<std::uint8_t>(static_cast<std::size_t>(len), 0));
    EXPECT_EQ(clock_value(), times[0]);

    player_.SetVolume(128);
    for (int i = 1; i < 4; ++i) {  // one decoded frame per device buffer
        buf = callback(len);
        EXPECT_EQ(clock_value(), times[i]);
    }
    EXPECT_GT(channel_levels(buf.data(), len).first, 1000.0);
    EXPECT_EQ(vs().audio.chunk_remaining, 0);
}

TEST_F(AudioOutputTest, WithoutPacketsTheClockMovesOnAndTheEndEndsPlayback) {
    open("fisheye.mp4");
    vs().flags.mark_display_started();
    const int len = vs().wanted_spec.samples * 4;
    const std::int64_t before = clock_value();
    EXPECT_EQ(callback(len), std::vector<std::uint8_t>(static_cast<std::size_t>(len), 0));
    EXPECT_EQ(clock_value(), before + 1024);  // one buffer of 1024 samples at 48 kHz
    EXPECT_FALSE(vs().flags.abort_requested());
    vs().flags.set_read_over(true);
    callback(len);
    EXPECT_TRUE(vs().flags.abort_requested());
}

TEST_F(AudioOutputTest, PausedOrEndingTheCallbackOnlyWritesSilence) {
    open("fisheye.mp4");
    vs().flags.mark_display_started();
    queue_audio(2);
    const int len = vs().wanted_spec.samples * 4;
    vs().flags.set_paused(true);
    EXPECT_EQ(callback(len), std::vector<std::uint8_t>(static_cast<std::size_t>(len), 0));
    EXPECT_EQ(clock_value(), 0);
    EXPECT_EQ(vs().audio_packets.count(), 2);  // nothing taken
}

}  // namespace
