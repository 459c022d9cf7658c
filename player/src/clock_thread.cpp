// The millisecond clock: drives playback when there is no sound to do it.
// It works on the playback flags and the clock only.
#include "playback_threads.h"

namespace sphere_player {
namespace {

// Fixed waits, milliseconds: the tick of the clock, and the longest pause
// before the time paused is counted.
constexpr int kTickMs = 5;
constexpr int kPausedWaitMs = 100;

struct ClockThread {
    PlaybackFlags& flags;
    PlaybackClock& clock;
    const std::atomic<bool>& sound_drives;  // the audio callback keeps the clock

    // Waits while paused (at most kPausedWaitMs) and counts the time as
    // paused, unless the clock is re-based meanwhile.
    void paused_turn() {
        const PlaybackClock::PauseMark mark = clock.begin_pause();
        flags.wait_while_paused(kPausedWaitMs);
        clock.end_pause(mark);
    }

    void running_turn() {
        if (!flags.wait_or_abort(kTickMs)) clock.tick();
    }

    void run() {
        // The clock starts with the first picture ready to be shown, as the
        // sound would.
        while (!flags.display_started()) {
            if (flags.wait_for_display_start(kPausedWaitMs)) return;
        }
        clock.restart();
        bool sound_drove = sound_drives;
        for (;;) {
            const StateFlags f = flags.snapshot();
            if (f.abort_request != 0) return;
            if (sound_drives) {
                sound_drove = true;
                if (flags.wait_or_abort(kPausedWaitMs)) return;
                continue;
            }
            if (sound_drove) {  // the sound device could not be opened after all
                sound_drove = false;
                clock.restart();
            }
            if (f.paused != 0) {
                paused_turn();
            } else {
                running_turn();
            }
        }
    }
};

}  // namespace

void clock_thread_main(PlayerState& ps) {
    ClockThread{ps.vs->flags, ps.vs->clock, ps.audio_enabled}.run();
}

}  // namespace sphere_player
