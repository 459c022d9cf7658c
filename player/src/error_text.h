// The player's error text: one buffer, overwritten by each failure and
// handed out by GetLastErrorText.
//
// Thread-safety: written by the controlling thread and the display thread
// (each at its own moments, never at once); readers get the buffer itself.
#pragma once

#include <array>
#include <cstddef>

namespace sphere_player {

inline constexpr std::size_t kErrorTextSize = 1024;

class ErrorText {
public:
    // printf-style; the text is cut to fit the buffer.
    void set(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Writes the text and returns `code`: one line per failure path.
    int fail(int code, const char* format, ...) __attribute__((format(printf, 3, 4)));
    const char* c_str() const { return text_.data(); }

private:
    std::array<char, kErrorTextSize> text_{};
};

}  // namespace sphere_player
