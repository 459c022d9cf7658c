// How the worker threads look at the shared state flags, park while paused
// and wait for a change. Every wait is bounded by the delay the loop would
// otherwise sleep, and ends early when the flags change.
#pragma once

#include "player_state.h"

namespace sphere_player {

// The flags at one moment (state_mutex taken and released).
struct StateFlags {
    int abort_request = 0;
    int read_over = 0;
    int decode_over = 0;
    int paused = 0;
};
StateFlags read_flags(video_state& vs);

// Sets abort_request (and clears paused when `unpause`) and wakes every
// waiting worker.
void request_abort(video_state& vs, bool unpause = false);
bool abort_requested(video_state& vs);

// Sets one flag under state_mutex and wakes the workers.
void set_flag(video_state& vs, int video_state::*flag, int value);

enum class Turn { run, parked, abort };

// The top of a worker's loop: abort ends it; while paused the worker marks
// itself parked (see wait_for_workers_parked) and waits up to `park_ms` for
// the pause to end.
Turn begin_turn(video_state& vs, int video_state::*parked_flag, int park_ms);

// Waits up to `ms` unless abort is set meanwhile; true when abort is set.
bool wait_or_abort(video_state& vs, int ms);

// Marks the calling thread, for its lifetime, as a worker of one player:
// Stop called from it (by a callback) must not wait for itself.
class WorkerThreadScope {
public:
    explicit WorkerThreadScope(const player_state& ps);
    ~WorkerThreadScope();
    WorkerThreadScope(const WorkerThreadScope&) = delete;
    WorkerThreadScope& operator=(const WorkerThreadScope&) = delete;
};
bool on_worker_thread(const player_state& ps);

// Counts an interface call in progress for its scope (see
// player_state::host_calls).
class HostCall {
public:
    explicit HostCall(player_state& ps);
    ~HostCall();
    HostCall(const HostCall&) = delete;
    HostCall& operator=(const HostCall&) = delete;

private:
    player_state& ps_;
};

// Before a worker calls into the host (EndCallback, ErrorCallback): waits
// until no interface call is in progress. False when Stop was asked for
// meanwhile (the host then learns nothing more).
bool wait_until_host_idle(player_state& ps);

// Waits until the read and decode threads are parked (or not running, or
// playback is ending), so that the caller may use the demuxer, the video
// decoder and the picture ring. Called with `paused` set.
void wait_for_workers_parked(player_state& ps);

}  // namespace sphere_player
