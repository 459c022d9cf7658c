#include "playback_end.h"

#include "clock_units.h"
#include "host_messages.h"
#include "platform/debug_output.h"
#include "worker_sync.h"

namespace sphere_player {
namespace {

// The host's messages are let through this often before EndCallback.
constexpr int kEndMessagePumps = 5;

bool all_ended_locked(const player_state& ps) {
    return !ps.read_running && !ps.decode_running && !ps.display_running;
}

// Under state_mutex: whether this thread is the one to call EndCallback.
bool take_end_callback_locked(player_state& ps) {
    if (!all_ended_locked(ps)) return false;
    ps.playing = 0;
    if (ps.on_end == nullptr || ps.end_callback_fired || ps.stop_requested || ps.display_failed) {
        return false;
    }
    ps.end_callback_fired = true;
    return true;
}

}  // namespace

void close_audio_device(player_state& ps) {
    const SDL_AudioDeviceID device = ps.audio_device.exchange(0);
    if (device == 0) return;
    SDL_PauseAudioDevice(device, 0);
    SDL_CloseAudioDevice(device);
}

void end_worker(player_state& ps, std::atomic<bool> player_state::*running) {
    video_state& vs = *ps.vs;
    bool call_end = false;
    {
        std::lock_guard<std::mutex> lock(vs.state_mutex);
        ps.*running = false;
        call_end = take_end_callback_locked(ps);
    }
    vs.state_changed.notify_all();
    if (!call_end || !wait_until_host_idle(ps)) return;
    set_scaled_clock(
        vs, video_start_clock_units(vs) + ms_to_clock_units(vs.duration_ms, vs.audio_tbase));
    pump_thread_messages(ps, kEndMessagePumps);
    close_audio_device(ps);
    if (ps.stop_requested) return;  // Stop came meanwhile: the host asked for the end itself
    platform::debug_output("Sop is Over.....***********\n");
    // The last use of the player on this thread: the host may stop and
    // destroy it from the callback.
    const EndCallback on_end = ps.on_end;
    void* const context = ps.context;
    on_end(context);
}

}  // namespace sphere_player
