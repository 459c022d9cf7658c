#include "clock_units.h"

#include <algorithm>

namespace sphere_player {

std::int64_t clock_units_to_ms(std::int64_t t, AVRational tb) {
    if (tb.den == 0) return 0;
    return static_cast<std::int64_t>(static_cast<double>(t) * tb.num * kMsPerSecond / tb.den);
}

std::int64_t ms_to_clock_units(std::int64_t ms, AVRational tb) {
    if (tb.num == 0) return 0;
    return av_rescale_q_rnd(ms, AVRational{1, static_cast<int>(kMsPerSecond)}, tb, AV_ROUND_DOWN);
}

std::int64_t video_start_clock_units(const video_state& vs) {
    const AVStream* s = vs.video_stream;
    if (s == nullptr || s->start_time == AV_NOPTS_VALUE) return 0;
    return av_rescale_q(s->start_time, s->time_base, vs.audio_tbase);
}

std::int64_t video_start_ms(const video_state& vs) {
    const AVStream* s = vs.video_stream;
    if (s == nullptr || s->start_time == AV_NOPTS_VALUE) return 0;
    return clock_units_to_ms(s->start_time, s->time_base);
}

std::int64_t position_ms_of(const video_state& vs, std::int64_t t) {
    return clock_units_to_ms(t - video_start_clock_units(vs), vs.audio_tbase);
}

void rebase_clock(video_state& vs, std::int64_t position_ms) {
    const std::int64_t target_ms = std::max<std::int64_t>(position_ms, 0);
    vs.clock.rebase_ms(target_ms);
    if (vs.audio_stream_index != kNoStream) {
        vs.clock.set_scaled(video_start_clock_units(vs) +
                            ms_to_clock_units(target_ms, vs.audio_tbase));
    }
}

}  // namespace sphere_player
