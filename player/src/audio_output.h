// The sound side of opening a file: the probe of the sound device, the
// resampler to 16-bit stereo and the device request the display thread
// opens when playback starts.
#pragma once

#include <SDL2/SDL.h>

#include "error_text.h"
#include "video_state.h"

namespace sphere_player {

struct PlayerState;

// The probe's device request.
inline constexpr int kProbeFrequency = 44100;
inline constexpr int kProbeChannels = 2;
inline constexpr Uint16 kProbeSamples = 1024;
inline constexpr SDL_AudioFormat kOutputAudioFormat = AUDIO_S16SYS;  // 0x8010 here

// Opens the default sound device with the probe's request and closes it
// again at once. False (with the error text) when there is none.
bool CheckAudioDevice(ErrorText& errors);

enum class ResamplerSetup {
    ok,
    create_failed,  // Init fails
    init_failed,    // the sound is dropped, Init goes on
};

// Prepares the conversion of the audio decoder's frames to interleaved
// 16-bit stereo at the same rate, the 768000-byte output buffer and the
// audio frame. The input layout is the stream's own (mono for the
// recorder's files); one the stream leaves unspecified is taken as the
// default layout of its channel count.
ResamplerSetup setup_resampler(video_state& vs);

// Converts one decoded audio frame into the output buffer at `offset_bytes`
// (at most to the buffer's end). Returns the bytes written, 0 on failure.
int convert_audio_frame(video_state& vs, const AVFrame* frame, int offset_bytes);

// The device request for the opened sound: the decoder's rate, 16-bit
// stereo, one decoder frame per callback.
void fill_wanted_spec(video_state& vs, void* player);

// Forgets the sound waiting to be played (decoder, packet queue, the rest
// of the current chunk), with the sound device locked.
void flush_sound(PlayerState& ps);

// Drops the sound packets that would play before `time` (clock units) and
// the rest of the current chunk, with the sound device locked: playback
// resumes at a picture the sound has not reached.
void drop_sound_before(PlayerState& ps, std::int64_t time);

// The callback SDL's audio thread runs for the opened device (user data:
// the player's state). It decodes the audio packets, mixes them at the
// player's volume and drives the clock; it fills the device buffer with
// silence whenever it has nothing to play.
void audio_callback(void* userdata, Uint8* stream, int len);

}  // namespace sphere_player
