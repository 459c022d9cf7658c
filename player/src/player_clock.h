// Time helpers of the playback clock and of the waits the interface
// operations make.
#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

namespace sphere_player {

// Milliseconds of a monotonic wall clock, as the millisecond clock counts
// them (the process's run time; never CPU time).
inline int clock_ms() {
    using namespace std::chrono;
    static const steady_clock::time_point start = steady_clock::now();
    return static_cast<int>(duration_cast<milliseconds>(steady_clock::now() - start).count());
}

// The waits whose length the user can observe are fixed; each is one call.
inline void sleep_ms(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace sphere_player
