#include "host_messages.h"

#include "platform/window_messages.h"

namespace sphere_player {

bool post_to_host(const PlayerState& ps, unsigned message, std::uintptr_t wparam,
                  std::intptr_t lparam) {
    const auto window = reinterpret_cast<platform::NativeWindow>(ps.native_window.load());
    if (window == 0) return false;
    const platform::NativeWindow parent = platform::parent_window(window);
    return parent != 0 && platform::post_message(parent, message, wparam, lparam);
}

void post_position(const PlayerState& ps, std::int64_t position_ms) {
    constexpr std::int64_t kMsPerSecond = 1000;
    post_to_host(ps, WM_PLAYER_POSITION, static_cast<std::uintptr_t>(position_ms / kMsPerSecond),
                 static_cast<std::intptr_t>(static_cast<std::int32_t>(position_ms)));
}

void pump_thread_messages(PlayerState& ps, int times) {
    for (int i = 0; i < times; ++i) {
        if (ps.vs->flags.wait_for_stop(kMessagePumpIntervalMs)) return;
    }
}

}  // namespace sphere_player
