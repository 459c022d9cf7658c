#include "converter_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/debug_output.h"

namespace converter {

int ErrorText::fail(int code, const char* format, ...) {
    std::lock_guard<std::mutex> lock(mutex_);
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer_.data(), buffer_.size(), format, args);
    va_end(args);
    return code;
}

void ErrorText::set(const char* format, ...) {
    std::lock_guard<std::mutex> lock(mutex_);
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer_.data(), buffer_.size(), format, args);
    va_end(args);
}

void ErrorText::assign(const char* text) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::snprintf(buffer_.data(), buffer_.size(), "%s", text != nullptr ? text : "");
}

std::string ErrorText::str() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return buffer_.data();
}

void log_line(const char* format, ...) {
    char buffer[kLogBufferBytes];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, kLogMaxChars + 1, format, args);
    va_end(args);
    std::size_t n = std::strlen(buffer);
    while (n > 0 && (buffer[n - 1] == ' ' || (buffer[n - 1] >= '\t' && buffer[n - 1] <= '\r'))) {
        --n;
    }
    std::memcpy(buffer + n, "\r\n", 3);
    platform::debug_output(std::string_view(buffer, n + 2));
}

}  // namespace converter
