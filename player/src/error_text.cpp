#include "error_text.h"

#include <cstdarg>
#include <cstdio>

namespace sphere_player {

void ErrorText::set(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(text_.data(), text_.size(), format, args);
    va_end(args);
}

int ErrorText::fail(int code, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(text_.data(), text_.size(), format, args);
    va_end(args);
    return code;
}

}  // namespace sphere_player
