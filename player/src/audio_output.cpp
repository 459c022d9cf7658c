#include "audio_output.h"

#include <algorithm>
#include <cstring>

#include "player_state.h"

namespace sphere_player {
namespace {

constexpr int kBytesPerSample = 2;  // signed 16-bit
// The callback waits at most this long for packets when the audio queue
// is empty.
constexpr int kEmptyQueueWaitMs = 10;

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
    AudioState& audio = vs.audio;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    AVChannelLayout in_layout = input_layout(codec);
    audio.output_channels = stereo.nb_channels;
    const int frame_bytes = av_samples_get_buffer_size(nullptr, audio.output_channels,
                                                       codec->frame_size, AV_SAMPLE_FMT_S16, 1);
    audio.out_buffer_size_s16 = frame_bytes > 0 ? frame_bytes : 0;
    audio.out_buffer.reset(static_cast<std::uint8_t*>(av_malloc(kAudioOutBufferBytes)));

    SwrContext* swr = nullptr;
    const int rc =
        swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_S16, codec->sample_rate, &in_layout,
                            codec->sample_fmt, codec->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&in_layout);
    audio.resampler.reset(swr);
    if (rc < 0 || !audio.resampler || !audio.out_buffer) return ResamplerSetup::create_failed;
    if (swr_init(audio.resampler.get()) < 0) return ResamplerSetup::init_failed;
    audio.frame.reset(av_frame_alloc());
    return audio.frame ? ResamplerSetup::ok : ResamplerSetup::create_failed;
}

void fill_wanted_spec(video_state& vs, void* player) {
    const AVCodecContext* codec = vs.audio_codec.get();
    vs.wanted_spec = SDL_AudioSpec{};
    vs.wanted_spec.freq = codec->sample_rate;
    vs.wanted_spec.format = kOutputAudioFormat;
    vs.wanted_spec.channels = static_cast<Uint8>(vs.audio.output_channels);
    vs.wanted_spec.silence = 0;
    vs.wanted_spec.samples = static_cast<Uint16>(codec->frame_size);
    vs.wanted_spec.callback = audio_callback;
    vs.wanted_spec.userdata = player;
}

int convert_audio_frame(video_state& vs, const AVFrame* frame, int offset_bytes) {
    AudioState& audio = vs.audio;
    const int frame_bytes = kBytesPerSample * audio.output_channels;
    const int room = (static_cast<int>(kAudioOutBufferBytes) - offset_bytes) / frame_bytes;
    if (room <= 0 || !audio.resampler) return 0;
    std::uint8_t* out = audio.out_buffer.get() + offset_bytes;
    const int samples =
        swr_convert(audio.resampler.get(), &out, room,
                    const_cast<const std::uint8_t**>(frame->extended_data), frame->nb_samples);
    return samples > 0 ? samples * frame_bytes : 0;
}

namespace {

// Decodes one packet into the output buffer; the bytes it gave (0: none,
// -1: decoder error).
int decode_audio_packet(video_state& vs, const AVPacket* pkt) {
    AVCodecContext* codec = vs.audio_codec.get();
    AVFrame* frame = vs.audio.frame.get();
    if (avcodec_send_packet(codec, pkt) < 0) return -1;
    int bytes = 0;
    while (avcodec_receive_frame(codec, frame) == 0) {
        bytes += convert_audio_frame(vs, frame, bytes);
        av_frame_unref(frame);
    }
    return bytes;
}

// Nothing to play: the clock still moves on by one device buffer, and at the
// end of the file the sound is over. Waits a little for the next packet.
void audio_starved(video_state& vs) {
    vs.clock.advance(
        av_rescale_q(vs.wanted_spec.samples, AVRational{1, vs.wanted_spec.freq}, vs.audio_tbase));
    if (vs.flags.snapshot().read_over != 0) vs.flags.request_abort();
    vs.audio_packets.wait_for_packet(kEmptyQueueWaitMs);
}

// Decodes the next packet into a new chunk; false when there is none.
bool next_chunk(video_state& vs) {
    av::PacketPtr pkt(av_packet_alloc());
    if (!pkt) return false;
    if (!vs.audio_packets.pop(pkt.get())) {
        audio_starved(vs);
        return false;
    }
    const int bytes = decode_audio_packet(vs, pkt.get());
    if (bytes <= 0) return false;
    vs.audio.out_buffer_size_s16 = bytes;
    if (pkt->pts != AV_NOPTS_VALUE) vs.clock.set_value(pkt->pts);
    vs.audio.chunk_read = vs.audio.out_buffer.get();
    vs.audio.chunk_remaining = bytes;
    return true;
}

// Runs `f` with the sound device locked (the callback not running).
template <typename F>
void with_device_locked(PlayerState& ps, F f) {
    const SDL_AudioDeviceID device = ps.audio_device;
    if (device != 0) SDL_LockAudioDevice(device);
    f();
    if (device != 0) SDL_UnlockAudioDevice(device);
}

}  // namespace

void flush_sound(PlayerState& ps) {
    video_state& vs = *ps.vs;
    with_device_locked(ps, [&] {
        if (vs.audio_stream_index != kNoStream) {
            avcodec_flush_buffers(vs.audio_codec.get());
            vs.audio_packets.flush();
        }
        vs.audio.chunk_remaining = 0;
    });
}

void drop_sound_before(PlayerState& ps, std::int64_t time) {
    video_state& vs = *ps.vs;
    with_device_locked(ps, [&] {
        vs.audio.chunk_remaining = 0;
        if (vs.audio_stream_index == kNoStream) return;
        vs.audio_packets.drop_before(time);
        avcodec_flush_buffers(vs.audio_codec.get());
    });
}

void audio_callback(void* userdata, Uint8* stream, int len) {
    auto& ps = *static_cast<PlayerState*>(userdata);
    video_state& vs = *ps.vs;
    std::memset(stream, 0, static_cast<std::size_t>(len));  // SDL hands over an undefined buffer
    const StateFlags f = vs.flags.snapshot();
    if (f.abort_request != 0 || f.paused != 0) return;
    // The first sound waits, in silence, for the first picture.
    if (!vs.flags.display_started()) return;
    AudioState& audio = vs.audio;
    if (audio.chunk_remaining <= 0 && !next_chunk(vs)) return;
    const int n = std::min(len, audio.chunk_remaining);
    SDL_MixAudioFormat(stream, audio.chunk_read, kOutputAudioFormat, static_cast<Uint32>(n),
                       ps.volume);
    audio.chunk_read += n;
    audio.chunk_remaining -= n;
}

}  // namespace sphere_player
