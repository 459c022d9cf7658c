#include "ogl_rendererMgr/renderer_messages.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

namespace sphere_player::ogl {
namespace {

void write_to_stdout(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

std::string format_message(const char* format, va_list args) {
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.pop_back();
    return text;
}

}  // namespace

RendererMessages::RendererMessages() : sink_(write_to_stdout) {}

void RendererMessages::set_sink(MessageSink sink) {
    sink_ = std::move(sink);
}

void RendererMessages::record(const char* format, ...) const {
    va_list args;
    va_start(args, format);
    write(false, format, args);
    va_end(args);
}

void RendererMessages::print(const char* format, ...) const {
    va_list args;
    va_start(args, format);
    write(true, format, args);
    va_end(args);
}

void RendererMessages::write(bool to_sink, const char* format, va_list args) const {
    const std::string message = format_message(format, args);
    std::snprintf(text_.data(), text_.size(), "%s", message.c_str());
    if (to_sink && sink_) sink_(message);
}

}  // namespace sphere_player::ogl
