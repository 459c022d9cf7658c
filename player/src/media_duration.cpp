#include "media_duration.h"

#include <algorithm>

extern "C" {
#include <libavutil/avutil.h>
}

namespace sphere_player {
namespace {

constexpr double kMsPerSecond = 1000.0;

bool known(const StreamTiming& s) {
    return s.present && s.duration != AV_NOPTS_VALUE;
}

// A stream's length in milliseconds in its own time base (0 when unknown).
std::int64_t stream_ms(const StreamTiming& s) {
    if (!known(s)) return 0;
    return static_cast<std::int64_t>(static_cast<double>(s.duration) * av_q2d(s.time_base) *
                                     kMsPerSecond);
}

// A length in audio_tbase units, as the sound's stream length and the PCR
// are read.
std::int64_t audio_units_ms(std::int64_t units, AVRational audio_tbase) {
    return static_cast<std::int64_t>(static_cast<double>(units) * av_q2d(audio_tbase) *
                                     kMsPerSecond);
}

std::int64_t frame_count_ms(const DurationInputs& in) {
    if (in.frame_rate <= 0.0f) return 0;
    return static_cast<std::int64_t>(static_cast<double>(in.video_frame_count) / in.frame_rate *
                                     kMsPerSecond);
}

std::int64_t video_ms(const DurationInputs& in) {
    return std::max(stream_ms(in.video), frame_count_ms(in));
}

std::int64_t ts_duration_ms(const DurationInputs& in) {
    const std::int64_t ms = video_ms(in);
    if (ms != 0) return ms;
    const std::int64_t pcr_ms = audio_units_ms(in.last_pcr, in.audio_tbase);
    return pcr_ms >= kPcrDurationMinMs && pcr_ms < kPcrDurationLimitMs ? pcr_ms : 0;
}

std::int64_t file_duration_ms(const DurationInputs& in) {
    if (in.frame_rate > kHighFrameRate && known(in.audio)) {
        return audio_units_ms(in.audio.duration, in.audio_tbase);
    }
    if (in.video_frame_count != 0) return video_ms(in);
    if (known(in.audio)) return audio_units_ms(in.audio.duration, in.audio_tbase);
    return stream_ms(in.video);
}

}  // namespace

std::int64_t compute_duration_ms(const DurationInputs& in) {
    const std::int64_t ms = in.is_ts ? ts_duration_ms(in) : file_duration_ms(in);
    if (ms > 0) return ms;
    if (in.container_duration_us != AV_NOPTS_VALUE && in.container_duration_us > 0) {
        return in.container_duration_us / (AV_TIME_BASE / 1000);
    }
    return 0;
}

DurationTriple split_duration(std::int64_t duration_ms) {
    DurationTriple t;
    t.minutes = static_cast<int>(duration_ms / 60000);
    t.seconds = static_cast<int>((duration_ms / 1000) % 60);
    t.milliseconds = static_cast<int>(duration_ms - duration_ms / 1000 * 1000);
    return t;
}

bool is_live_format(const std::string& format_name) {
    // FFmpeg's HLS demuxer was once named "hls,applehttp" and is now "hls".
    return format_name == "flv" || format_name == "hls,applehttp" || format_name == "hls" ||
           format_name == "rtsp";
}

}  // namespace sphere_player
