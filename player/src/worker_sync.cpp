#include "worker_sync.h"

#include <chrono>

namespace sphere_player {

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
    vs.state_changed.wait(lock, [&] {
        const bool read_idle = vs.read_parked != 0 || !ps.read_running;
        const bool decode_idle = vs.decode_parked != 0 || !ps.decode_running;
        return vs.abort_request != 0 || (read_idle && decode_idle);
    });
}

}  // namespace sphere_player
