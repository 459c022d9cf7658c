#include "video_state.h"

namespace sphere_player {

void reset_angle_limits(ViewRecord& view) {
    for (auto& limits : view.angle_min_deg) limits.fill(kAngleLimitMin);
    for (auto& limits : view.angle_max_deg) limits.fill(kAngleLimitMax);
}

namespace {

void set_flags(video_state& vs, int abort_request, int paused) {
    std::lock_guard<std::mutex> lock(vs.state_mutex);
    vs.abort_request = abort_request;
    vs.paused = paused;
    vs.read_over = vs.decode_over = 0;
}

void release_media(video_state& vs) {
    vs.audio_out_buffer.reset();
    vs.decode_frame.reset();
    vs.audio_frame.reset();
    vs.scaler.reset();
    vs.resampler.reset();
    vs.audio_codec.reset();
    vs.video_codec.reset();
    vs.audio_stream = vs.video_stream = nullptr;
    vs.audio_stream_index = vs.video_stream_index = kNoStream;
    vs.format.reset();
    vs.audio_packets.flush();
    vs.video_packets.flush();
    vs.pts.flush();
    {
        std::lock_guard<std::mutex> lock(vs.pictures.mutex);
        vs.pictures.reset_locked();
    }
    release_picture_buffers(vs.pictures);
}

}  // namespace

void reset_video_state(video_state& vs) {
    vs.duration_minutes = vs.duration_seconds = vs.duration_milliseconds = 0;
    vs.reserved_play_time.fill(0);
    vs.duration_ms = 0;
    vs.position_ms = 0;
    set_flags(vs, 1, 1);  // nothing may run on what is being released
    release_media(vs);
    {
        std::lock_guard<std::mutex> lock(vs.clock_mutex);
        vs.clock_value = 0;
        vs.clock_paused_total_ms = vs.clock_start_tick_ms = 0;
    }
    vs.audio_tbase = kMillisecondTimeBase;
    vs.clock_scale = 1;
    vs.frame_rate = 0.0f;
    vs.video_pix_fmt = AV_PIX_FMT_NONE;
    vs.audio_out_buffer_size_s16 = 0;
    vs.wanted_spec = SDL_AudioSpec{};
    vs.param = nullptr;
    {
        std::lock_guard<std::mutex> lock(vs.view_mutex);
        reset_angle_limits(vs.view);
    }
    set_flags(vs, 0, 0);
}

}  // namespace sphere_player
