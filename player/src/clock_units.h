// The playback clock and the picture times, both in clock units (the
// audio stream's time base, `audio_tbase`, or milliseconds without sound),
// and their conversion to the milliseconds the host sees.
//
// The millisecond clock of a file whose sound cannot be played counts
// milliseconds while the pictures keep audio_tbase units; clock_scale
// (ticks of audio_tbase per millisecond) brings the clock into picture
// units. Positions are measured from the video stream's start time.
#pragma once

#include <cstdint>

#include "video_state.h"

namespace sphere_player {

inline constexpr std::int64_t kMsPerSecond = 1000;

// t x tb x 1000, truncated toward zero.
std::int64_t clock_units_to_ms(std::int64_t t, AVRational tb);
// The clock-unit count closest below `ms` milliseconds.
std::int64_t ms_to_clock_units(std::int64_t ms, AVRational tb);

// The video stream's start time in clock units (0 when unknown).
std::int64_t video_start_clock_units(const video_state& vs);
// The video stream's start time in milliseconds (0 when unknown).
std::int64_t video_start_ms(const video_state& vs);

// Milliseconds since the video stream's start of a time in clock units.
std::int64_t position_ms_of(const video_state& vs, std::int64_t t);

// Restarts the clock at `position_ms` from the video stream's start (0 for
// anything before): the millisecond clock counts on from there, the sound
// clock holds it until the next sound arrives.
void rebase_clock(video_state& vs, std::int64_t position_ms);

}  // namespace sphere_player
