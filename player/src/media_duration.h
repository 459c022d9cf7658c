// How long a recording plays, from what its streams and container tell.
// Plain functions of numbers, so that every rule can be checked alone.
#pragma once

#include <cstdint>
#include <string>

extern "C" {
#include <libavutil/rational.h>
}

namespace sphere_player {

// Frame rates above this make the sound's length the recording's length.
inline constexpr float kHighFrameRate = 30.0f;
// A TS file's last PCR stands in for its length only within [1, 60000) ms.
inline constexpr std::int64_t kPcrDurationMinMs = 1;
inline constexpr std::int64_t kPcrDurationLimitMs = 60000;
// Reported for live streams, whose length is unknown: {100, 0, 0}.
inline constexpr int kLiveStreamMinutes = 100;

struct StreamTiming {
    bool present = false;
    std::int64_t duration = 0;  // in time_base units; AV_NOPTS_VALUE when unknown
    AVRational time_base{0, 1};
};

struct DurationInputs {
    bool is_ts = false;
    std::int64_t last_pcr = 0;  // TS only (see tsfix::read_last_pcr)
    AVRational audio_tbase{1, 1000};
    StreamTiming video;
    StreamTiming audio;
    std::int64_t video_frame_count = 0;
    float frame_rate = 0.0f;                 // the video's real base frame rate
    std::int64_t container_duration_us = 0;  // AV_NOPTS_VALUE when unknown
};

// Duration in milliseconds:
//  - TS: the larger of the video stream's length and frame count / frame
//    rate; when that is 0, the last PCR in audio_tbase units if it gives 1
//    to 59999 ms;
//  - others: with a frame rate above 30 the sound's length when known;
//    otherwise with a frame count the larger of the two video lengths;
//    otherwise the sound's length when known, else the video stream's.
// A stream length that is unknown counts as 0; when the rules give nothing
// above 0, the container's own duration is used.
std::int64_t compute_duration_ms(const DurationInputs& in);

struct DurationTriple {
    int minutes = 0, seconds = 0, milliseconds = 0;
};
// minutes = ms / 60000, seconds = (ms / 1000) mod 60, milliseconds = the rest.
DurationTriple split_duration(std::int64_t duration_ms);

// True for the demuxers of live streams, whose length is reported as
// {kLiveStreamMinutes, 0, 0}.
bool is_live_format(const std::string& format_name);

}  // namespace sphere_player
