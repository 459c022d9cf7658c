// The record the player's threads share: the opened media (set by Init,
// read-only while playing), and the components each thread works through,
// each owning its lock: the view settings, the playback flags, the clock,
// the queues. Then the parts one thread owns: the read position (read
// thread), the decoder (decode thread), the sound (audio callback).
//
// Lock order (the whole library), outermost first, checked by clang's
// thread-safety analysis where the annotations can say it:
//   0. PlayerState::stop_mutex           (Stop's joins)
//   1. StartupStatuses::mutex            (alone)
//   2. ViewState::mutex                  (frame steps, the refill of the
//                                         history and Seek's move)
//      SDL's lock of the sound device    (held around the audio callback,
//                                         and by the player while it
//                                         empties the sound queue)
//   3. VideoFilter::mutex
//   4. PictureQueue::mutex
//   5. PlaybackFlags::mutex              (the display checks the pause
//                                         with the ring held)
//   6. the leaves: PtsQueue's, each PacketQueue's, PlaybackClock's and
//      ErrorText's mutex
// Operations that hand a change to the display thread (pending fields of
// the view record) release the view mutex while they wait for it to be
// taken. Callbacks into the host (EndCallback, ErrorCallback) are made
// with no lock held.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include <SDL2/SDL.h>

#include "SpherePlayer.h"
#include "ffmpeg_support/handles.h"
#include "media_queues.h"
#include "playback_clock.h"
#include "playback_flags.h"
#include "view_state.h"

namespace sphere_player {

inline constexpr std::size_t kAudioOutBufferBytes = 768000;  // 192000 stereo S16 samples
inline constexpr int kOutputChannels = 2;
inline constexpr AVRational kMillisecondTimeBase{1, 1000};
inline constexpr int kNoStream = -1;
inline constexpr std::int64_t kNoTimestampYet = INT64_MIN;

// How the demuxer is moved (av_seek_frame's signature); tests replace it
// to make a seek fail.
using SeekFrameFn = int (*)(AVFormatContext*, int, std::int64_t, int);

// Where the read thread is in the file. Owned by the read thread; Play,
// Seek and frame stepping reset it while the read thread is parked.
struct ReadPosition {
    std::int64_t highest_video_pts = kNoTimestampYet;  // decoding time, clock units
    bool timestamp_jump_seen = false;
    bool demux_at_end = false;
};

// The video decoder's state around the ring. Owned by the decode thread;
// Seek and frame stepping use it while the decode thread is parked. A
// picture that waited for room in the ring when a pause came stays in
// `frame` (held) and is written first later.
struct DecodeState {
    av::FramePtr frame;        // the picture just taken out of the decoder
    av::SwsContextPtr scaler;  // decoder format to YUV420P, same size
    bool held_picture = false;
    std::int64_t held_time = 0;
    std::int64_t last_fed_pts = 0;  // clock units, of the packet last fed
    bool decoder_drained = false;   // the decoder was told that no packet follows
};

// The sound on its way to the device. The resampler and buffers are set
// by Init; the chunk belongs to the audio callback, and Play, Seek and
// Resume reset it with the sound device locked (or closed).
struct AudioState {
    av::SwrContextPtr resampler;
    av::BytesPtr out_buffer;  // kAudioOutBufferBytes
    av::FramePtr frame;
    int out_buffer_size_s16 = 0;  // bytes of one decoded frame as stereo S16
    int output_channels = kOutputChannels;
    int chunk_remaining = 0;  // bytes of the current chunk not yet mixed
    const std::uint8_t* chunk_read = nullptr;
};

struct video_state {
    // --- set by Init; read-only while playing
    av::InputContextPtr format;
    int duration_minutes = 0, duration_seconds = 0, duration_milliseconds = 0;
    std::array<int, 3> reserved_play_time{};  // always 0
    std::int64_t duration_ms = 0;
    av::CodecContextPtr audio_codec;   // then owned by the audio callback
    AVStream* audio_stream = nullptr;  // owned by `format`; kept when audio is dropped
    // Read by the read thread for every packet; the display thread clears it
    // when the sound device cannot be opened after all.
    std::atomic<int> audio_stream_index{kNoStream};
    AVRational audio_tbase = kMillisecondTimeBase;  // the clock's unit while sound drives it
    AVPixelFormat output_pix_fmt = AV_PIX_FMT_YUV420P;
    av::CodecContextPtr video_codec;  // then owned by the decode thread
    int video_stream_index = kNoStream;
    AVStream* video_stream = nullptr;               // owned by `format`
    AVPixelFormat video_pix_fmt = AV_PIX_FMT_NONE;  // after the full-range mapping
    float frame_rate = 0.0f;
    SDL_AudioSpec wanted_spec{};  // the sound device request, for the display thread
    // Millisecond clock ticks per clock unit when a file with sound plays
    // without a sound device: (1/1000) / audio_tbase; otherwise 1.
    int clock_scale = 1;
    const init_param* param = nullptr;  // the caller's record, valid until Stop has returned
    SeekFrameFn seek_frame = av_seek_frame;

    // --- written by GetCurrentPositionMs and frame stepping
    std::atomic<std::int64_t> position_ms{0};

    // --- the shared components (each owns its lock)
    ViewState view;
    PlaybackFlags flags;
    PlaybackClock clock;
    PacketQueue audio_packets;
    PacketQueue video_packets;
    PictureQueue pictures;
    PtsQueue pts;

    // --- owned by one thread each (see the types)
    ReadPosition read;
    DecodeState decode;
    AudioState audio;
};

// Releases everything a previous Init opened and puts the record back to
// its state before Init: the view settings stay, the angle limits are reset.
void reset_video_state(video_state& vs);

}  // namespace sphere_player
