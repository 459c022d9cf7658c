#include "tsfix/byte_streambuf.h"

#include <cstring>
#include <stdexcept>

namespace tsfix {

byte_streambuf::byte_streambuf() : buffer_(kInitialCapacity) {}

std::uint8_t* byte_streambuf::prepare(std::size_t n) {
    const std::size_t pending = size();
    if (consumed_ > 0) {
        if (pending > 0) std::memmove(buffer_.data(), buffer_.data() + consumed_, pending);
        consumed_ = 0;
        committed_ = pending;
    }
    if (n > buffer_.max_size() - committed_) throw std::length_error("byte_streambuf too long");
    if (committed_ + n > buffer_.size()) buffer_.resize(committed_ + n);
    return buffer_.data() + committed_;
}

void byte_streambuf::commit(std::size_t n) {
    if (n > buffer_.size() - committed_) throw std::length_error("byte_streambuf commit too long");
    committed_ += n;
}

void byte_streambuf::consume(std::size_t n) {
    if (n > size()) throw std::length_error("byte_streambuf consume too long");
    consumed_ += n;
}

void byte_streambuf::clear() {
    consumed_ = committed_ = 0;
}

}  // namespace tsfix
