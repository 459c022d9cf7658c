// Random-access reading of a recording's bytes, from a file or from memory
// (tests and fuzzing walk the same code over a buffer).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace gps {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Size of the whole source in bytes.
    virtual std::uint64_t size() const = 0;
    // Copies up to `n` bytes at `offset` into `dst`; returns how many were
    // copied (fewer at the end of the source or on a read error).
    virtual std::size_t read_at(std::uint64_t offset, void* dst, std::size_t n) = 0;

    // True when all `n` bytes at `offset` lie inside the source and were read.
    bool read_exact(std::uint64_t offset, void* dst, std::size_t n);
    // True when [offset, offset + n) lies inside the source (no overflow).
    bool contains(std::uint64_t offset, std::uint64_t n) const;
};

// A file opened for binary reading. Reads sequentially without seeking when
// each read continues the previous one.
class FileSource final : public ByteSource {
public:
    // nullptr when the file cannot be opened.
    static std::unique_ptr<FileSource> open(const std::string& path);

    std::uint64_t size() const override { return size_; }
    std::size_t read_at(std::uint64_t offset, void* dst, std::size_t n) override;

private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    FileSource(std::unique_ptr<std::FILE, Closer> file, std::uint64_t size)
        : file_(std::move(file)), size_(size) {}

    std::unique_ptr<std::FILE, Closer> file_;
    std::uint64_t size_;
    std::uint64_t position_ = 0;  // where the next fread starts
};

// A buffer owned by the caller, which outlives the source.
class MemorySource final : public ByteSource {
public:
    MemorySource(const void* data, std::size_t size)
        : data_(static_cast<const std::uint8_t*>(data)), size_(size) {}

    std::uint64_t size() const override { return size_; }
    std::size_t read_at(std::uint64_t offset, void* dst, std::size_t n) override;

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

}  // namespace gps
