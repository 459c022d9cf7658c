// A growable byte buffer for reading a file in windows: bytes are written
// after the committed data (prepare, then commit) and read from the front
// (data, then consume). Like a stream buffer with three marks: consumed <=
// committed <= capacity.
//
// The three failures throw std::length_error with a fixed text; they signal
// an internal inconsistency of the caller, never a property of the input.
//
// Thread-safety: unsafe; one reader at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tsfix {

class byte_streambuf {
public:
    static constexpr std::size_t kInitialCapacity = 256;

    byte_streambuf();

    // Moves the unconsumed bytes to the front and grows the buffer so that n
    // bytes are free after them; returns where those n bytes go.
    std::uint8_t* prepare(std::size_t n);
    // Makes n more prepared bytes part of the data.
    void commit(std::size_t n);
    // Drops n bytes from the front of the data.
    void consume(std::size_t n);
    // Drops all data, keeping the capacity.
    void clear();

    const std::uint8_t* data() const { return buffer_.data() + consumed_; }
    std::size_t size() const { return committed_ - consumed_; }
    std::size_t capacity() const { return buffer_.size(); }

private:
    std::vector<std::uint8_t> buffer_;  // its size is the capacity
    std::size_t consumed_ = 0;          // bytes before this mark are read
    std::size_t committed_ = 0;         // bytes before this mark hold data
};

}  // namespace tsfix
