// The record the player's threads share: the opened media, the window and
// view settings, the state flags, the clock, the audio and video decoding
// state and the queues. One per player, reset by every Init.
//
// Lock order (the whole library), outermost first. A thread that holds one
// of these takes only locks further down the list, and never two of the
// same rank:
//   0. player_state::stop_mutex          (Stop's joins; a callback's Stop
//                                         only tries it)
//   1. player_state::status_mutex        (start-up statuses; alone)
//   2. video_state::view_mutex           (frame steps, the refill of the
//                                         history and Seek's move run under
//                                         it)
//   3. player_state::filter_mutex
//   4. video_state::state_mutex          (the flags; workers wait on
//                                         state_changed under it)
//   5. PictureQueue::mutex
//   6. the PtsQueue's, each PacketQueue's and video_state::clock_mutex
//      (leaves: nothing is taken inside them)
// The audio callback takes state_mutex, one packet queue mutex and
// clock_mutex, each alone, inside SDL's lock of the sound device (which
// SDL holds around the callback, and the player while it empties the sound
// queue): that device lock comes after view_mutex and before
// filter_mutex and state_mutex. Operations that hand a change to the display
// thread (pending_* fields) release view_mutex while they wait for it to be
// taken. Callbacks into the host (EndCallback, ErrorCallback) are made with
// no lock held.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include <SDL2/SDL.h>

#include "SpherePlayer.h"
#include "ffmpeg_support/handles.h"
#include "media_queues.h"

namespace sphere_player {

inline constexpr int kMaxViewports = DOR_PLAYER_MAX_VIEWPORTS;
inline constexpr int kViewAngles = 3;  // pitch, yaw, roll
inline constexpr float kAngleLimitMin = -180.0f;
inline constexpr float kAngleLimitMax = 180.0f;
inline constexpr float kInitialCylinderRotationRad = 1.5707964f;  // pi / 2
inline constexpr std::size_t kAudioOutBufferBytes = 768000;       // 192000 stereo S16 samples
inline constexpr int kOutputChannels = 2;
inline constexpr AVRational kMillisecondTimeBase{1, 1000};
inline constexpr int kNoStream = -1;
inline constexpr std::int64_t kNoTimestampYet = INT64_MIN;
// Pending view changes name the viewport as index + 1; this means none.
inline constexpr int kNoPendingChange = 0;
inline constexpr int kNoOrientationRequest = -1;

// How the demuxer is moved (av_seek_frame's signature); tests replace it
// to make a seek fail.
using SeekFrameFn = int (*)(AVFormatContext*, int, std::int64_t, int);

struct ViewportRect {
    int x = 0, y = 0, width = 0, height = 0;  // window pixels, origin at the bottom left
};

// The window and view settings. Guarded by video_state::view_mutex; the
// display thread applies them, the interface operations write them.
struct ViewRecord {
    SDL_Window* window = nullptr;        // made and destroyed by the display thread
    SDL_GLContext gl_context = nullptr;  // likewise
    int window_x = 0, window_y = 0, window_width = 0, window_height = 0;
    DOR_NativeWindow native_window = nullptr;
    int use_native_window = 0;  // 1: show in native_window; 0: a window of our own
    int mouse_x = 0, mouse_y = 0;
    std::array<int, kMaxViewports> draw_mode{};
    std::array<ViewportRect, kMaxViewports> rect{};
    std::array<float, kMaxViewports> zoom{};
    std::array<std::array<float, kViewAngles>, kMaxViewports> angles_deg{};
    int pending_draw_mode = kNoPendingChange;  // viewport + 1 whose mode the display must apply
    int pending_rect = kNoPendingChange;       // viewport + 1 whose rectangle it must apply
    std::array<int, kMaxViewports> enabled{};
    std::array<std::array<float, kViewAngles>, kMaxViewports> angle_min_deg{};
    std::array<std::array<float, kViewAngles>, kMaxViewports> angle_max_deg{};
    float cylinder_rotation_rad = kInitialCylinderRotationRad;
    // Orientation asked for with SetOrientation (kNoOrientationRequest:
    // none); the display thread hands it to the renderer manager.
    int orientation_request = kNoOrientationRequest;
    // Viewports (bit v) whose angles or zoom the interface changed while
    // playing; the display thread hands them to the renderer manager.
    unsigned pending_angles = 0;
    unsigned pending_zoom = 0;
    // A change the display must show although nothing above is pending
    // (a viewport disabled while paused).
    bool redraw_requested = false;
};

// Puts every angle limit back to [-180, 180].
void reset_angle_limits(ViewRecord& view);

struct video_state {
    // --- set by Init; read-only while playing
    av::InputContextPtr format;
    int duration_minutes = 0, duration_seconds = 0, duration_milliseconds = 0;
    std::array<int, 3> reserved_play_time{};  // always 0
    std::int64_t duration_ms = 0;
    // --- written by GetCurrentPositionMs and frame stepping (display thread)
    std::atomic<std::int64_t> position_ms{0};

    // --- guarded by view_mutex
    ViewRecord view;
    std::mutex view_mutex;

    // --- guarded by state_mutex: every worker looks at these under it
    std::mutex state_mutex;
    // Notified whenever abort_request, paused, read_over or decode_over
    // change, and when a worker parks; waits on it keep the fixed delays as
    // their upper bound.
    std::condition_variable state_changed;
    int abort_request = 0;  // playback must end
    int read_over = 0;      // the read thread has delivered everything
    int decode_over = 0;    // the decode thread has drained the video queue
    int paused = 0;
    // A worker that saw `paused` at the top of its loop touches neither the
    // demuxer nor the video decoder until it is cleared (see
    // wait_for_workers_parked).
    int read_parked = 0;
    int decode_parked = 0;

    // --- clock bookkeeping, guarded by clock_mutex (milliseconds of clock_ms())
    int clock_paused_total_ms = 0;
    int clock_start_tick_ms = 0;
    // Counts the re-bases (Seek, Resume after frame steps): a pause the
    // clock thread began measuring before a re-base is not counted.
    unsigned clock_rebases = 0;
    // Where the millisecond clock starts: the video stream's start time in
    // milliseconds (set by Init), so that a file whose first picture is not
    // at 0 does not wait that long for it.
    std::int64_t clock_origin_ms = 0;

    // --- owned by the read thread: the highest video decoding time read so
    // far (clock units; kNoTimestampYet before the first), whether the
    // timestamps have jumped back, whether the demuxer reported its end.
    // Reset by Play and Seek while the read thread is parked.
    std::int64_t highest_video_pts = kNoTimestampYet;
    bool timestamp_jump_seen = false;
    bool demux_at_end = false;

    // --- audio: set by Init, then owned by the audio callback
    av::CodecContextPtr audio_codec;
    AVStream* audio_stream = nullptr;  // owned by `format`; kept when audio is dropped
    // Read by the read thread for every packet; the display thread clears it
    // when the sound device cannot be opened after all.
    std::atomic<int> audio_stream_index{kNoStream};
    PacketQueue audio_packets;
    av::SwrContextPtr resampler;
    av::BytesPtr audio_out_buffer;  // kAudioOutBufferBytes
    av::FramePtr audio_frame;
    int audio_out_buffer_size_s16 = 0;  // bytes of one decoded frame as stereo S16
    int output_channels = kOutputChannels;

    // --- the playback clock, guarded by clock_mutex
    std::int64_t clock_value = 0;                   // in audio_tbase units
    AVRational audio_tbase = kMillisecondTimeBase;  // set by Init
    std::mutex clock_mutex;

    // --- video: set by Init, then owned by the decode thread
    AVPixelFormat output_pix_fmt = AV_PIX_FMT_YUV420P;
    av::CodecContextPtr video_codec;
    int video_stream_index = kNoStream;
    av::SwsContextPtr scaler;                       // decoder format to YUV420P, same size
    AVStream* video_stream = nullptr;               // owned by `format`
    AVPixelFormat video_pix_fmt = AV_PIX_FMT_NONE;  // after the full-range mapping
    PacketQueue video_packets;
    PictureQueue pictures;
    PtsQueue pts;
    av::FramePtr decode_frame;
    float frame_rate = 0.0f;
    // --- owned by the decode thread; Seek and frame stepping use them while
    // it is parked. A picture that waited for room in the ring when a pause
    // came stays in decode_frame (held_picture) and is written first later.
    bool held_picture = false;
    std::int64_t held_time = 0;
    std::int64_t last_fed_pts = 0;  // clock units, of the packet last fed
    bool decoder_drained = false;   // the decoder was told that no packet follows

    // --- audio device request, filled by Init, used by the display thread
    SDL_AudioSpec wanted_spec{};
    // Millisecond clock ticks per clock unit when a file with sound plays
    // without a sound device: (1/1000) / audio_tbase; otherwise 1.
    int clock_scale = 1;

    // The caller's record, valid until Stop has returned.
    const init_param* param = nullptr;

    // Moves the demuxer for Seek and for frame stepping.
    SeekFrameFn seek_frame = av_seek_frame;
};

// Releases everything a previous Init opened and puts the record back to
// its state before Init: the view settings stay, the angle limits are reset.
void reset_video_state(video_state& vs);

}  // namespace sphere_player
