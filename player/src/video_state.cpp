#include "video_state.h"

namespace sphere_player {

void reset_angle_limits(ViewRecord& view) {
    for (auto& limits : view.angle_min_deg) limits.fill(kAngleLimitMin);
    for (auto& limits : view.angle_max_deg) limits.fill(kAngleLimitMax);
}

namespace {

void release_media(video_state& vs) {
    vs.audio = AudioState{};
    vs.decode = DecodeState{};
    vs.audio_codec.reset();
    vs.video_codec.reset();
    vs.audio_stream = vs.video_stream = nullptr;
    vs.audio_stream_index = kNoStream;
    vs.video_stream_index = kNoStream;
    vs.format.reset();
    vs.audio_packets.flush();
    vs.video_packets.flush();
    vs.pts.flush();
    vs.pictures.release();
}

}  // namespace

void reset_video_state(video_state& vs) {
    vs.duration_minutes = vs.duration_seconds = vs.duration_milliseconds = 0;
    vs.reserved_play_time.fill(0);
    vs.duration_ms = 0;
    vs.position_ms = 0;
    vs.flags.reset(true, true);  // nothing may run on what is being released
    release_media(vs);
    vs.clock.reset(1, 0);
    vs.audio_tbase = kMillisecondTimeBase;
    vs.clock_scale = 1;
    vs.frame_rate = 0.0f;
    vs.video_pix_fmt = AV_PIX_FMT_NONE;
    vs.wanted_spec = SDL_AudioSpec{};
    vs.param = nullptr;
    {
        platform::MutexLock lock(vs.view.mutex);
        reset_angle_limits(vs.view.record);
    }
    vs.flags.reset(false, false);
}

}  // namespace sphere_player
