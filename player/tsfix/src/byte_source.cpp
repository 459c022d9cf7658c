#include "tsfix/byte_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace tsfix {

std::size_t MemorySource::read_at(std::uint8_t* out, std::size_t n, std::int64_t offset) const {
    if (offset < 0 || static_cast<std::uint64_t>(offset) >= size_) return 0;
    const std::size_t from = static_cast<std::size_t>(offset);
    const std::size_t count = std::min(n, size_ - from);
    std::memcpy(out, data_ + from, count);
    return count;
}

std::size_t FileSource::read_at(std::uint8_t* out, std::size_t n, std::int64_t offset) const {
    if (offset < 0) return 0;
    std::size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(fd_, out + done, n - done, offset + static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

}  // namespace tsfix
