// Posting the messages of SpherePlayerMessages.h to the host: the parent of
// the native window handed to SetNativeWindow (nothing is posted for a
// window of the player's own). Posting queues the message for the host's
// own thread.
#pragma once

#include <cstdint>

#include "SpherePlayerMessages.h"
#include "player_state.h"

namespace sphere_player {

// The interval and count of "letting the thread's window messages through"
// at the places where the player waits for its host.
inline constexpr int kMessagePumpIntervalMs = 50;

// Posts to the parent of the player's native window; false when there is
// none (own window, or a window the host did not register).
bool post_to_host(const PlayerState& ps, unsigned message, std::uintptr_t wparam,
                  std::intptr_t lparam);

// The position message: wParam whole seconds, lParam milliseconds (low 32
// bits).
void post_position(const PlayerState& ps, std::int64_t position_ms);

// Where the player lets its thread's window messages through while it
// waits for its host: the player's threads own no host windows, so this is
// only the wait, `times` x kMessagePumpIntervalMs, cut short by Stop.
void pump_thread_messages(PlayerState& ps, int times);

}  // namespace sphere_player
