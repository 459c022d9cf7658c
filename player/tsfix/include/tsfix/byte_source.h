// Where the repair and the last-PCR reader take a file's bytes from: the
// open file in the library, memory in tests and fuzz targets. One
// implementation of each parser reads through this interface.
//
// Thread-safety: read_at is const; the sources here keep no position, so
// one source may be read from several threads.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tsfix {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Bytes in the source.
    virtual std::int64_t size() const = 0;
    // Copies up to `n` bytes from `offset` to `out`; returns how many came:
    // fewer only at the end of the data or on a read error.
    virtual std::size_t read_at(std::uint8_t* out, std::size_t n, std::int64_t offset) const = 0;
};

// Bytes in memory, owned by the caller.
class MemorySource final : public ByteSource {
public:
    MemorySource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::int64_t size() const override { return static_cast<std::int64_t>(size_); }
    std::size_t read_at(std::uint8_t* out, std::size_t n, std::int64_t offset) const override;

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

// A regular file open for reading (pread; the descriptor stays the
// caller's), of the size the caller found with fstat.
class FileSource final : public ByteSource {
public:
    FileSource(int fd, std::int64_t size) : fd_(fd), size_(size) {}
    std::int64_t size() const override { return size_; }
    std::size_t read_at(std::uint8_t* out, std::size_t n, std::int64_t offset) const override;

private:
    int fd_;
    std::int64_t size_;
};

}  // namespace tsfix
