#include "audio_output.h"

#include <algorithm>
#include <cstring>

#include "player_clock.h"
#include "player_state.h"
#include "worker_sync.h"

namespace sphere_player {
namespace {

constexpr int kBytesPerSample = 2;  // signed 16-bit
// The callback waits this long for packets when the audio queue is empty.
constexpr int kEmptyQueueWaitMs = 10;
// How often the held-back first sound looks whether the display has begun.
constexpr int kHoldBackPollMs = 10;

// The probe plays nothing.
void silence_callback(void*, Uint8* stream, int len) {
    std::memset(stream, 0, static_cast<std::size_t>(len));
}

// The input layout of the resampler: the decoder's, or the default one for
// its channel count when the stream does not say which channels it has.
AVChannelLayout input_layout(const AVCodecContext* codec) {
    AVChannelLayout layout{};
    const int channels = codec->ch_layout.nb_channels > 0 ? codec->ch_layout.nb_channels : 1;
    if (codec->ch_layout.order != AV_CHANNEL_ORDER_UNSPEC &&
        av_channel_layout_copy(&layout, &codec->ch_layout) == 0) {
        return layout;
    }
    av_channel_layout_default(&layout, channels);
    return layout;
}

}  // namespace

bool CheckAudioDevice(ErrorText& errors) {
    // The sound subsystem is taken for the probe only and handed back, so
    // that a later probe sees the machine's devices afresh; SDL is shut down
    // again when nothing else of it was running.
    const bool sdl_was_running = SDL_WasInit(SDL_INIT_EVERYTHING) != 0;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        errors.set("error: can't open audio for SDL;\n");
        if (!sdl_was_running) SDL_Quit();
        return false;
    }
    SDL_AudioSpec want{};
    want.freq = kProbeFrequency;
    want.format = kOutputAudioFormat;
    want.channels = kProbeChannels;
    want.silence = 0;
    want.samples = kProbeSamples;
    want.callback = silence_callback;
    const bool opened = SDL_OpenAudio(&want, nullptr) == 0;
    if (!opened) errors.set("error: can't open audio for SDL;\n");
    SDL_PauseAudio(0);
    SDL_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    if (!sdl_was_running) SDL_Quit();
    return opened;
}

ResamplerSetup setup_resampler(video_state& vs) {
    const AVCodecContext* codec = vs.audio_codec.get();
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    AVChannelLayout in_layout = input_layout(codec);
    vs.output_channels = stereo.nb_channels;
    const int frame_bytes = av_samples_get_buffer_size(nullptr, vs.output_channels,
                                                       codec->frame_size, AV_SAMPLE_FMT_S16, 1);
    vs.audio_out_buffer_size_s16 = frame_bytes > 0 ? frame_bytes : 0;
    vs.audio_out_buffer.reset(static_cast<std::uint8_t*>(av_malloc(kAudioOutBufferBytes)));

    SwrContext* swr = nullptr;
    const int rc =
        swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_S16, codec->sample_rate, &in_layout,
                            codec->sample_fmt, codec->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&in_layout);
    vs.resampler.reset(swr);
    if (rc < 0 || !vs.resampler || !vs.audio_out_buffer) return ResamplerSetup::create_failed;
    if (swr_init(vs.resampler.get()) < 0) return ResamplerSetup::init_failed;
    vs.audio_frame.reset(av_frame_alloc());
    return vs.audio_frame ? ResamplerSetup::ok : ResamplerSetup::create_failed;
}

void fill_wanted_spec(video_state& vs, void* player) {
    const AVCodecContext* codec = vs.audio_codec.get();
    vs.wanted_spec = SDL_AudioSpec{};
    vs.wanted_spec.freq = codec->sample_rate;
    vs.wanted_spec.format = kOutputAudioFormat;
    vs.wanted_spec.channels = static_cast<Uint8>(vs.output_channels);
    vs.wanted_spec.silence = 0;
    vs.wanted_spec.samples = static_cast<Uint16>(codec->frame_size);
    vs.wanted_spec.callback = audio_callback;
    vs.wanted_spec.userdata = player;
}

int convert_audio_frame(video_state& vs, const AVFrame* frame, int offset_bytes) {
    const int frame_bytes = kBytesPerSample * vs.output_channels;
    const int room = (static_cast<int>(kAudioOutBufferBytes) - offset_bytes) / frame_bytes;
    if (room <= 0 || !vs.resampler) return 0;
    std::uint8_t* out = vs.audio_out_buffer.get() + offset_bytes;
    const int samples =
        swr_convert(vs.resampler.get(), &out, room,
                    const_cast<const std::uint8_t**>(frame->extended_data), frame->nb_samples);
    return samples > 0 ? samples * frame_bytes : 0;
}

namespace {

// Decodes one packet into the output buffer; the bytes it gave (0: none,
// -1: decoder error).
int decode_audio_packet(video_state& vs, const AVPacket* pkt) {
    AVCodecContext* codec = vs.audio_codec.get();
    if (avcodec_send_packet(codec, pkt) < 0) return -1;
    int bytes = 0;
    while (avcodec_receive_frame(codec, vs.audio_frame.get()) == 0) {
        bytes += convert_audio_frame(vs, vs.audio_frame.get(), bytes);
        av_frame_unref(vs.audio_frame.get());
    }
    return bytes;
}

bool pop_audio_packet(video_state& vs, AVPacket* pkt) {
    std::lock_guard<std::mutex> lock(vs.audio_packets.mutex);
    return vs.audio_packets.pop(pkt);
}

// Nothing to play: the clock still moves on by one device buffer, and at the
// end of the file the sound is over.
void audio_starved(video_state& vs) {
    {
        std::lock_guard<std::mutex> lock(vs.clock_mutex);
        vs.clock_value += av_rescale_q(vs.wanted_spec.samples, AVRational{1, vs.wanted_spec.freq},
                                       vs.audio_tbase);
    }
    if (read_flags(vs).read_over != 0) request_abort(vs);
    sleep_ms(kEmptyQueueWaitMs);
}

// The first sound waits for the first picture.
void hold_back_until_display(player_state& ps) {
    while (!ps.display_started) {
        const StateFlags f = read_flags(*ps.vs);
        if (f.abort_request != 0 || f.paused != 0) return;
        sleep_ms(kHoldBackPollMs);
    }
}

// Decodes the next packet into a new chunk; false when there is none.
bool next_chunk(player_state& ps) {
    video_state& vs = *ps.vs;
    av::PacketPtr pkt(av_packet_alloc());
    if (!pkt) return false;
    if (!pop_audio_packet(vs, pkt.get())) {
        audio_starved(vs);
        return false;
    }
    const int bytes = decode_audio_packet(vs, pkt.get());
    if (bytes <= 0) return false;
    vs.audio_out_buffer_size_s16 = bytes;
    {
        std::lock_guard<std::mutex> lock(vs.clock_mutex);
        if (pkt->pts != AV_NOPTS_VALUE) vs.clock_value = pkt->pts;
    }
    ps.audio_chunk_read = vs.audio_out_buffer.get();
    ps.audio_chunk_remaining = bytes;
    hold_back_until_display(ps);
    return true;
}

// Runs `f` with the sound device locked (the callback not running).
template <typename F>
void with_device_locked(player_state& ps, F f) {
    const SDL_AudioDeviceID device = ps.audio_device;
    if (device != 0) SDL_LockAudioDevice(device);
    f();
    if (device != 0) SDL_UnlockAudioDevice(device);
}

}  // namespace

void flush_sound(player_state& ps) {
    video_state& vs = *ps.vs;
    with_device_locked(ps, [&] {
        if (vs.audio_stream_index != kNoStream) {
            avcodec_flush_buffers(vs.audio_codec.get());
            vs.audio_packets.flush();
        }
        ps.audio_chunk_remaining = 0;
    });
}

void drop_sound_before(player_state& ps, std::int64_t time) {
    video_state& vs = *ps.vs;
    with_device_locked(ps, [&] {
        ps.audio_chunk_remaining = 0;
        if (vs.audio_stream_index == kNoStream) return;
        av::PacketPtr pkt(av_packet_alloc());
        std::lock_guard<std::mutex> lock(vs.audio_packets.mutex);
        while (pkt && vs.audio_packets.front_pts_before(time)) {
            vs.audio_packets.pop(pkt.get());
            av_packet_unref(pkt.get());
        }
        avcodec_flush_buffers(vs.audio_codec.get());
    });
}

void audio_callback(void* userdata, Uint8* stream, int len) {
    auto& ps = *static_cast<player_state*>(userdata);
    std::memset(stream, 0, static_cast<std::size_t>(len));  // SDL hands over an undefined buffer
    const StateFlags f = read_flags(*ps.vs);
    if (f.abort_request != 0 || f.paused != 0) return;
    if (ps.audio_chunk_remaining <= 0 && !next_chunk(ps)) return;
    const int n = std::min(len, ps.audio_chunk_remaining);
    SDL_MixAudioFormat(stream, ps.audio_chunk_read, kOutputAudioFormat, static_cast<Uint32>(n),
                       ps.volume);
    ps.audio_chunk_read += n;
    ps.audio_chunk_remaining -= n;
}

}  // namespace sphere_player
