#include "audio_output.h"

#include <cstring>

namespace sphere_player {
namespace {

// The probe plays nothing.
void silence_callback(void*, Uint8* stream, int len) {
    std::memset(stream, 0, static_cast<std::size_t>(len));
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
    AVChannelLayout mono{};
    av_channel_layout_default(&mono, 1);
    vs.output_channels = stereo.nb_channels;
    const int frame_bytes = av_samples_get_buffer_size(nullptr, vs.output_channels,
                                                       codec->frame_size, AV_SAMPLE_FMT_S16, 1);
    vs.audio_out_buffer_size_s16 = frame_bytes > 0 ? frame_bytes : 0;
    vs.audio_out_buffer.reset(static_cast<std::uint8_t*>(av_malloc(kAudioOutBufferBytes)));

    SwrContext* swr = nullptr;
    const int rc = swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_S16, codec->sample_rate, &mono,
                                       codec->sample_fmt, codec->sample_rate, 0, nullptr);
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

// PLAYBACK: the mixing callback (pop, decode, resample, mix at the volume,
// drive the clock) arrives with the playback threads; until then the device
// is never opened for playback and this only writes silence.
void audio_callback(void*, Uint8* stream, int len) {
    std::memset(stream, 0, static_cast<std::size_t>(len));
}

}  // namespace sphere_player
