// The one sink for debugger lines (what Windows sends to the debugger with
// OutputDebugString). Lines arrive already formatted by their component,
// usually ending in "\r\n". By default they go to stderr when the
// environment variable KVP_DEBUG is "1", and nowhere otherwise.
//
// Thread-safety: safe; lines from different threads are never interleaved.
#pragma once

#include <functional>
#include <string_view>

namespace platform {

// Sends one piece of text to the sink, as it stands.
void debug_output(std::string_view text);

// printf-style formatting into a buffer of `buffer_size` bytes (the text is
// cut at buffer_size - 1 bytes), then debug_output. Returns the text length
// before cutting, as vsnprintf does.
int debug_printf(std::size_t buffer_size, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Replaces the sink for the whole process (nullptr restores the default).
// Tests use it to read the lines a component writes.
using DebugSink = std::function<void(std::string_view)>;
void set_debug_sink(DebugSink sink);

}  // namespace platform
