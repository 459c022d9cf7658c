// The millisecond clock: drives playback when there is no sound to do it.
#include <chrono>

#include "playback_threads.h"
#include "player_clock.h"
#include "worker_sync.h"

namespace sphere_player {
namespace {

// Fixed waits, milliseconds: the tick of the clock, and the longest pause
// before the time paused is counted.
constexpr int kTickMs = 5;
constexpr int kPausedWaitMs = 100;

void restart_clock(video_state& vs) {
    std::lock_guard<std::mutex> lock(vs.clock_mutex);
    vs.clock_start_tick_ms = clock_ms();
    vs.clock_paused_total_ms = 0;
}

// Waits while paused (at most kPausedWaitMs) and counts the time as paused,
// unless the clock was re-based meanwhile (it then starts from its new
// place, with nothing paused).
void paused_turn(video_state& vs) {
    int t0 = 0;
    unsigned rebases = 0;
    {
        std::lock_guard<std::mutex> lock(vs.clock_mutex);
        t0 = clock_ms();
        rebases = vs.clock_rebases;
    }
    {
        std::unique_lock<std::mutex> lock(vs.state_mutex);
        vs.state_changed.wait_for(lock, std::chrono::milliseconds(kPausedWaitMs),
                                  [&] { return vs.abort_request != 0 || vs.paused == 0; });
    }
    std::lock_guard<std::mutex> lock(vs.clock_mutex);
    if (vs.clock_rebases == rebases) vs.clock_paused_total_ms += clock_ms() - t0;
}

void running_turn(video_state& vs) {
    if (wait_or_abort(vs, kTickMs)) return;
    std::lock_guard<std::mutex> lock(vs.clock_mutex);
    vs.clock_value =
        vs.clock_origin_ms + clock_ms() - vs.clock_start_tick_ms - vs.clock_paused_total_ms;
}

// The clock starts with the first picture ready to be shown, as the sound
// would; false when playback ends before.
bool wait_for_display(player_state& ps) {
    while (!ps.display_started) {
        if (wait_or_abort(*ps.vs, kTickMs)) return false;
    }
    return true;
}

}  // namespace

void clock_thread_main(player_state& ps) {
    WorkerThreadScope worker(ps);
    video_state& vs = *ps.vs;
    if (!wait_for_display(ps)) {
        ps.clock_running = false;
        return;
    }
    restart_clock(vs);
    bool sound_drives = ps.audio_enabled;
    for (;;) {
        const StateFlags f = read_flags(vs);
        if (f.abort_request != 0) break;
        if (ps.audio_enabled) {  // the audio callback keeps the clock
            sound_drives = true;
            if (wait_or_abort(vs, kPausedWaitMs)) break;
            continue;
        }
        if (sound_drives) {  // the sound device could not be opened after all
            sound_drives = false;
            restart_clock(vs);
        }
        if (f.paused != 0) {
            paused_turn(vs);
        } else {
            running_turn(vs);
        }
    }
    ps.clock_running = false;
}

}  // namespace sphere_player
