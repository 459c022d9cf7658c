#include "platform/debug_output.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace platform {
namespace {

std::mutex& sink_mutex() {
    static std::mutex m;
    return m;
}

DebugSink& custom_sink() {
    static DebugSink sink;
    return sink;
}

bool stderr_enabled() {
    static const bool enabled = [] {
        const char* env = std::getenv("KVP_DEBUG");
        return env != nullptr && std::strcmp(env, "1") == 0;
    }();
    return enabled;
}

// On a terminal the Windows line ending reads better as a plain newline.
void write_stderr(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    std::fwrite(out.data(), 1, out.size(), stderr);
    std::fflush(stderr);
}

}  // namespace

void debug_output(std::string_view text) {
    std::lock_guard<std::mutex> lock(sink_mutex());
    if (custom_sink()) {
        custom_sink()(text);
    } else if (stderr_enabled()) {
        write_stderr(text);
    }
}

int debug_printf(std::size_t buffer_size, const char* format, ...) {
    if (buffer_size == 0) return 0;
    std::vector<char> buffer(buffer_size);
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer.data(), buffer.size(), format, args);
    va_end(args);
    if (n >= 0) debug_output(buffer.data());
    return n;
}

void set_debug_sink(DebugSink sink) {
    std::lock_guard<std::mutex> lock(sink_mutex());
    custom_sink() = std::move(sink);
}

}  // namespace platform
