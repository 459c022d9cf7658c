// What the worker threads share beyond the playback flags: which player's
// worker the calling thread is, and the barrier every thread body runs
// behind.
#pragma once

#include "player_state.h"

namespace sphere_player {

// Marks the calling thread, for its lifetime, as a worker of one player:
// Stop called from it (by a callback) must not wait for itself.
class WorkerThreadScope {
public:
    explicit WorkerThreadScope(const PlayerState& ps);
    ~WorkerThreadScope();
    WorkerThreadScope(const WorkerThreadScope&) = delete;
    WorkerThreadScope& operator=(const WorkerThreadScope&) = delete;
};
bool on_worker_thread(const PlayerState& ps);

// Runs a worker's body; an exception escaping it becomes code 21 with a
// text, ends playback (and fails a start-up still in progress) instead of
// ending the process. `ended` runs afterwards in either case.
void run_worker(PlayerState& ps, Worker w, void (*body)(PlayerState&),
                void (*ended)(PlayerState&, Worker));

}  // namespace sphere_player
