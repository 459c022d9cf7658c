// A TS file larger than the fuzz input that describes it, so that the
// windows at both ends of a file, the bisection between them and the final
// scan all run on inputs of a few kilobytes:
//   bytes 0-3  gap length in bytes (little-endian, modulo kMaxGapBytes + 1)
//   bytes 4-5  where the rest is split (little-endian, modulo its size + 1)
//   byte  6    bit 0: the gap repeats the 188 bytes before it (zeros when
//              the head is shorter); otherwise it is zeros
//   the rest   head, then the gap, then the tail.
// Inputs shorter than the 7 header bytes are the file as they are.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "tsfix/byte_source.h"
#include "tsfix/ts_packet.h"

namespace kvp_fuzz {

class VirtualTsFile final : public tsfix::ByteSource {
public:
    static constexpr std::int64_t kMaxGapBytes = 8 << 20;  // some 22 repair windows
    static constexpr std::size_t kHeaderBytes = 7;

    VirtualTsFile(const std::uint8_t* data, std::size_t size) {
        if (size < kHeaderBytes) {
            head_ = data;
            head_size_ = size;
            return;
        }
        const std::uint32_t gap =
            data[0] | data[1] << 8 | data[2] << 16 | static_cast<std::uint32_t>(data[3]) << 24;
        const std::size_t split = data[4] | data[5] << 8;
        const bool repeat = (data[6] & 1) != 0;
        const std::uint8_t* rest = data + kHeaderBytes;
        const std::size_t rest_size = size - kHeaderBytes;
        head_ = rest;
        head_size_ = split % (rest_size + 1);
        tail_ = rest + head_size_;
        tail_size_ = rest_size - head_size_;
        gap_ = static_cast<std::int64_t>(gap % (kMaxGapBytes + 1));
        if (repeat && head_size_ >= tsfix::kPacketSize) {
            pattern_ = head_ + head_size_ - tsfix::kPacketSize;
        }
    }

    std::int64_t size() const override {
        return static_cast<std::int64_t>(head_size_) + gap_ + static_cast<std::int64_t>(tail_size_);
    }

    std::size_t read_at(std::uint8_t* out, std::size_t n, std::int64_t offset) const override {
        if (offset < 0) return 0;
        std::size_t done = 0;
        while (done < n && offset + static_cast<std::int64_t>(done) < size()) {
            done += copy_piece(out + done, n - done, offset + static_cast<std::int64_t>(done));
        }
        return done;
    }

private:
    // Copies from the one piece (head, gap or tail) that holds `at`.
    std::size_t copy_piece(std::uint8_t* out, std::size_t n, std::int64_t at) const {
        const auto head_end = static_cast<std::int64_t>(head_size_);
        if (at < head_end) {
            const std::size_t count = std::min<std::size_t>(n, head_end - at);
            std::memcpy(out, head_ + at, count);
            return count;
        }
        if (at < head_end + gap_) {
            const std::int64_t into_gap = at - head_end;
            if (pattern_ == nullptr) {
                const std::size_t count = std::min<std::size_t>(n, gap_ - into_gap);
                std::memset(out, 0, count);
                return count;
            }
            const std::size_t phase = static_cast<std::size_t>(into_gap % tsfix::kPacketSize);
            const std::size_t count = std::min<std::size_t>(
                {n, tsfix::kPacketSize - phase, static_cast<std::size_t>(gap_ - into_gap)});
            std::memcpy(out, pattern_ + phase, count);
            return count;
        }
        const std::int64_t into_tail = at - head_end - gap_;
        const std::size_t count = std::min<std::size_t>(n, tail_size_ - into_tail);
        std::memcpy(out, tail_ + into_tail, count);
        return count;
    }

    const std::uint8_t* head_ = nullptr;
    std::size_t head_size_ = 0;
    std::int64_t gap_ = 0;
    const std::uint8_t* pattern_ = nullptr;  // 188 bytes the gap repeats, or none (zeros)
    const std::uint8_t* tail_ = nullptr;
    std::size_t tail_size_ = 0;
};

}  // namespace kvp_fuzz
