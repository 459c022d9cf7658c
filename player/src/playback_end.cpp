#include "playback_end.h"

#include "clock_units.h"
#include "host_messages.h"
#include "platform/debug_output.h"

namespace sphere_player {
namespace {

// The host's messages are let through this often before EndCallback.
constexpr int kEndMessagePumps = 5;

// After the last worker ended: whether this thread is the one to call
// EndCallback.
bool take_end_callback(PlayerState& ps) {
    ps.playing = 0;
    if (ps.on_end == nullptr || ps.vs->flags.stop_requested() || ps.display_failed) return false;
    return !ps.end_callback_fired.exchange(true);
}

}  // namespace

void close_audio_device(PlayerState& ps) {
    const SDL_AudioDeviceID device = ps.audio_device.exchange(0);
    if (device == 0) return;
    SDL_PauseAudioDevice(device, 0);
    SDL_CloseAudioDevice(device);
}

void end_clock_worker(PlayerState& ps, Worker w) {
    ps.vs->flags.end(w);
}

void end_worker(PlayerState& ps, Worker w) {
    video_state& vs = *ps.vs;
    const bool last = vs.flags.end(w);
    vs.view.notify_taken();  // a hand-over waiting for the display gives up
    if (!last) return;
    if (!take_end_callback(ps) || !vs.flags.wait_until_host_idle()) return;
    vs.clock.set_scaled(video_start_clock_units(vs) +
                        ms_to_clock_units(vs.duration_ms, vs.audio_tbase));
    pump_thread_messages(ps, kEndMessagePumps);
    close_audio_device(ps);
    if (vs.flags.stop_requested()) return;  // Stop came meanwhile: the host asked for the end
    platform::debug_output("Sop is Over.....***********\n");
    // The last use of the player on this thread: the host may stop and
    // destroy it from the callback.
    const EndCallback on_end = ps.on_end;
    void* const context = ps.context;
    on_end(context);
}

}  // namespace sphere_player
