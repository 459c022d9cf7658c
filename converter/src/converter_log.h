// The converter's two message channels: the error text a caller reads with
// GetLastErrorText, and the debug log.
#pragma once

#include <array>
#include <cstddef>
#include <mutex>
#include <string>

#include "SphereVideoConverter.h"

namespace converter {

// The text of the most recent failure. Written from the caller's thread and
// from the conversion threads, so every write is serialised; a reader gets
// the buffer itself (the interface hands out a pointer).
class ErrorText {
public:
    // Formats into the buffer, cut to its size. Returns `code`, so that a
    // failure reads `return error.fail(21, "...")`.
    int fail(int code, const char* format, ...) __attribute__((format(printf, 3, 4)));
    void set(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Copies a text as it stands (a factory's own error text).
    void assign(const char* text);
    const char* c_str() const { return buffer_.data(); }
    std::string str() const;

private:
    mutable std::mutex mutex_;
    std::array<char, DOR_CONVERTER_ERROR_TEXT_BYTES> buffer_{};
};

// Size of the buffer a log line is formatted into, and the longest text kept
// before the line ending is added.
constexpr std::size_t kLogBufferBytes = 4096;
constexpr std::size_t kLogMaxChars = 4089;

// One debug line: formatted, cut to kLogMaxChars, trailing white space
// removed, "\r\n" appended, sent to the debug output.
void log_line(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace converter
