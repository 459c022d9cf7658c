// The player's error text: one buffer, overwritten by each failure and
// handed out by GetLastErrorText.
//
// Thread-safety: set and fail may be called from any thread (the
// controlling thread and the workers each report their own failures);
// c_str hands the controlling thread a copy taken under the lock, so that
// a worker writing meanwhile never changes what it is reading.
#pragma once

#include <array>
#include <cstddef>

#include "platform/thread_annotations.h"
#include "playback_clock.h"

namespace sphere_player {

inline constexpr std::size_t kErrorTextSize = 1024;

class ErrorText {
public:
    // printf-style; the text is cut to fit the buffer.
    void set(const char* format, ...) __attribute__((format(printf, 2, 3))) EXCLUDES(mutex);
    // Writes the text and returns `code`: one line per failure path.
    int fail(int code, const char* format, ...) __attribute__((format(printf, 3, 4)))
    EXCLUDES(mutex);
    // The text as it is now; valid until the next call of c_str. For the
    // controlling thread only.
    const char* c_str() EXCLUDES(mutex);

    platform::Mutex mutex ACQUIRED_AFTER(PlaybackClock::mutex);  // the last leaf

private:
    std::array<char, kErrorTextSize> text_ GUARDED_BY(mutex){};
    std::array<char, kErrorTextSize> copy_{};  // the controlling thread's
};

}  // namespace sphere_player
