// The renderer manager's error text and the destination of the messages the
// renderer prints. The manager owns one; its viewports and their
// VertexFactory objects write into the same text.
//
// Thread-safety: none; display thread only.
#pragma once

#include <array>
#include <cstdarg>
#include <cstddef>

#include "geometry/vertex_factory.h"

namespace sphere_player::ogl {

// Receives each printed message whole ("error ...\n"); standard output by
// default.
using MessageSink = geometry::MessageSink;

// Size of the manager's error text, terminating NUL included.
constexpr std::size_t kRendererErrorTextBytes = 1024;

class RendererMessages {
public:
    RendererMessages();

    // Null discards printed messages (the error text is still written).
    void set_sink(MessageSink sink);
    const MessageSink& sink() const { return sink_; }

    char* text() const { return text_.data(); }
    std::size_t text_size() const { return text_.size(); }

    // Overwrites the error text (cut to its size), prints nothing.
    void record(const char* format, ...) const __attribute__((format(printf, 2, 3)));
    // Overwrites the error text and prints the whole message.
    void print(const char* format, ...) const __attribute__((format(printf, 2, 3)));

private:
    void write(bool to_sink, const char* format, va_list args) const;

    // The text is diagnostic state: a refused call on a const operation
    // (an invalid viewport index in a getter) still leaves its message.
    mutable std::array<char, kRendererErrorTextBytes> text_{};
    MessageSink sink_;
};

}  // namespace sphere_player::ogl
