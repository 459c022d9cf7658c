#include "worker_sync.h"

#include <chrono>

namespace sphere_player {
namespace {

// The player whose worker the calling thread is (null: none).
thread_local const player_state* tls_worker_of = nullptr;

}  // namespace

WorkerThreadScope::WorkerThreadScope(const player_state& ps) {
    tls_worker_of = &ps;
}

WorkerThreadScope::~WorkerThreadScope() {
    tls_worker_of = nullptr;
}

bool on_worker_thread(const player_state& ps) {
    return tls_worker_of == &ps;
}

HostCall::HostCall(player_state& ps) : ps_(ps) {
    std::lock_guard<std::mutex> lock(ps_.vs->state_mutex);
    ++ps_.host_calls;
}

HostCall::~HostCall() {
    std::lock_guard<std::mutex> lock(ps_.vs->state_mutex);
    --ps_.host_calls;
    // Notified with the lock held: a worker it wakes may go on to free the
    // player (from a callback) only once this thread has let go of it.
    ps_.vs->state_changed.notify_all();
}

bool wait_until_host_idle(player_state& ps) {
    video_state& vs = *ps.vs;
    std::unique_lock<std::mutex> lock(vs.state_mutex);
    // Bounded by the calls themselves: none waits for this worker, and the
    // ones that wait for playback see it ending.
    vs.state_changed.wait(lock, [&] { return ps.host_calls == 0 || ps.stop_requested; });
    return !ps.stop_requested;
}

StateFlags read_flags(video_state& vs) {
    std::lock_guard<std::mutex> lock(vs.state_mutex);
    return StateFlags{vs.abort_request, vs.read_over, vs.decode_over, vs.paused};
}

void request_abort(video_state& vs, bool unpause) {
    {
        std::lock_guard<std::mutex> lock(vs.state_mutex);
        vs.abort_request = 1;
        if (unpause) vs.paused = 0;
    }
    vs.state_changed.notify_all();
}

bool abort_requested(video_state& vs) {
    std::lock_guard<std::mutex> lock(vs.state_mutex);
    return vs.abort_request != 0;
}

void set_flag(video_state& vs, int video_state::*flag, int value) {
    {
        std::lock_guard<std::mutex> lock(vs.state_mutex);
        vs.*flag = value;
    }
    vs.state_changed.notify_all();
}

Turn begin_turn(video_state& vs, int video_state::*parked_flag, int park_ms) {
    std::unique_lock<std::mutex> lock(vs.state_mutex);
    if (vs.abort_request != 0) return Turn::abort;
    if (vs.paused == 0) {
        vs.*parked_flag = 0;
        return Turn::run;
    }
    if (vs.*parked_flag == 0) {
        vs.*parked_flag = 1;
        vs.state_changed.notify_all();
    }
    vs.state_changed.wait_for(lock, std::chrono::milliseconds(park_ms),
                              [&] { return vs.abort_request != 0 || vs.paused == 0; });
    return vs.abort_request != 0 ? Turn::abort : Turn::parked;
}

bool wait_or_abort(video_state& vs, int ms) {
    std::unique_lock<std::mutex> lock(vs.state_mutex);
    return vs.state_changed.wait_for(lock, std::chrono::milliseconds(ms),
                                     [&] { return vs.abort_request != 0; });
}

void wait_for_workers_parked(player_state& ps) {
    video_state& vs = *ps.vs;
    std::unique_lock<std::mutex> lock(vs.state_mutex);
    // Abort alone is not enough: a worker that has not seen it yet may be
    // using the demuxer or the decoder; it parks or ends within its turn.
    vs.state_changed.wait(lock, [&] {
        const bool read_idle = vs.read_parked != 0 || !ps.read_running;
        const bool decode_idle = vs.decode_parked != 0 || !ps.decode_running;
        return read_idle && decode_idle;
    });
}

}  // namespace sphere_player
