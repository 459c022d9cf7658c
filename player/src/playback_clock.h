// The playback clock that paces the pictures. With sound the audio
// callback sets it to the time of each sound packet it plays; without, the
// clock thread counts milliseconds from a start tick, less the time spent
// paused.
//
// Units: the clock value counts `audio_tbase` units while sound drives it,
// and milliseconds otherwise. A file whose sound cannot be played keeps its
// pictures in audio_tbase units: the scale (ticks of audio_tbase per
// millisecond, else 1) brings the clock into picture units ("scaled").
//
// Thread-safety: every method may be called from any thread; the clock's
// mutex is a leaf of the player's lock order.
#pragma once

#include <cstdint>

#include "platform/thread_annotations.h"
#include "playback_flags.h"

namespace sphere_player {

class PlaybackClock {
public:
    // Before playback: the value 0, the millisecond clock starting at
    // `origin_ms` (the video stream's start), `scale` as above.
    void reset(int scale, std::int64_t origin_ms) EXCLUDES(mutex);
    void set_scale(int scale) EXCLUDES(mutex);
    int scale() EXCLUDES(mutex);
    std::int64_t origin_ms() EXCLUDES(mutex);

    // The clock in picture units, and setting it so.
    std::int64_t scaled() EXCLUDES(mutex);
    void set_scaled(std::int64_t t) EXCLUDES(mutex);
    // The value itself (audio_tbase units or milliseconds), as the audio
    // callback keeps it.
    std::int64_t value() EXCLUDES(mutex);
    void set_value(std::int64_t v) EXCLUDES(mutex);
    void advance(std::int64_t units) EXCLUDES(mutex);

    // --- the millisecond clock (clock thread)
    // Starts counting from now, nothing paused.
    void restart() EXCLUDES(mutex);
    // The value from the wall clock: origin + now - start tick - paused.
    void tick() EXCLUDES(mutex);
    // A pause being measured; it counts only when the clock was not re-based
    // meanwhile (it then starts from its new place, with nothing paused).
    struct PauseMark {
        int started_ms = 0;
        unsigned rebases = 0;
    };
    PauseMark begin_pause() EXCLUDES(mutex);
    void end_pause(PauseMark mark) EXCLUDES(mutex);

    // Restarts the millisecond clock at `position_ms` from the origin (0 for
    // anything before it).
    void rebase_ms(std::int64_t position_ms) EXCLUDES(mutex);

    platform::Mutex mutex ACQUIRED_AFTER(PlaybackFlags::mutex);  // a leaf

private:
    std::int64_t value_ GUARDED_BY(mutex) = 0;
    int scale_ GUARDED_BY(mutex) = 1;
    std::int64_t origin_ms_ GUARDED_BY(mutex) = 0;
    int start_tick_ms_ GUARDED_BY(mutex) = 0;  // of clock_ms()
    int paused_total_ms_ GUARDED_BY(mutex) = 0;
    unsigned rebases_ GUARDED_BY(mutex) = 0;
};

}  // namespace sphere_player
