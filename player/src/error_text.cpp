#include "error_text.h"

#include <cstdarg>
#include <cstdio>

namespace sphere_player {

void ErrorText::set(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::lock_guard<std::mutex> lock(mutex_);
    std::vsnprintf(text_.data(), text_.size(), format, args);
    va_end(args);
}

int ErrorText::fail(int code, const char* format, ...) {
    va_list args;
    va_start(args, format);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vsnprintf(text_.data(), text_.size(), format, args);
    }
    va_end(args);
    return code;
}

const char* ErrorText::c_str() {
    std::lock_guard<std::mutex> lock(mutex_);
    copy_ = text_;
    return copy_.data();
}

}  // namespace sphere_player
