#include "error_text.h"

#include <cstdarg>
#include <cstdio>

namespace sphere_player {

void ErrorText::set(const char* format, ...) {
    va_list args;
    va_start(args, format);
    platform::MutexLock lock(mutex);
    std::vsnprintf(text_.data(), text_.size(), format, args);
    va_end(args);
}

int ErrorText::fail(int code, const char* format, ...) {
    va_list args;
    va_start(args, format);
    {
        platform::MutexLock lock(mutex);
        std::vsnprintf(text_.data(), text_.size(), format, args);
    }
    va_end(args);
    return code;
}

const char* ErrorText::c_str() {
    platform::MutexLock lock(mutex);
    copy_ = text_;
    return copy_.data();
}

}  // namespace sphere_player
