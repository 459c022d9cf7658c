#include "byte_source.h"

#include <algorithm>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/paths.h"

namespace gps {

bool ByteSource::contains(std::uint64_t offset, std::uint64_t n) const {
    const std::uint64_t total = size();
    return offset <= total && n <= total - offset;
}

bool ByteSource::read_exact(std::uint64_t offset, void* dst, std::size_t n) {
    if (n == 0) return contains(offset, 0);
    return contains(offset, n) && read_at(offset, dst, n) == n;
}

std::unique_ptr<FileSource> FileSource::open(const std::string& path) {
    // Regular files only: a FIFO in the place of a recording or a side file
    // would block the open for ever.
    const int fd = platform::open_regular_file(path, O_RDONLY);
    if (fd < 0) return nullptr;
    std::unique_ptr<std::FILE, Closer> file(::fdopen(fd, "rb"));
    if (!file) {
        ::close(fd);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) return nullptr;
    // Reads are large or random; stdio's own buffer would only add a copy.
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    return std::unique_ptr<FileSource>(
        new FileSource(std::move(file), static_cast<std::uint64_t>(st.st_size)));
}

std::size_t FileSource::read_at(std::uint64_t offset, void* dst, std::size_t n) {
    if (offset >= size_ || n == 0) return 0;
    if (offset != position_) {
        if (::fseeko(file_.get(), static_cast<off_t>(offset), SEEK_SET) != 0) return 0;
        position_ = offset;
    }
    const std::size_t got = std::fread(dst, 1, n, file_.get());
    position_ += got;
    if (got < n) {
        std::clearerr(file_.get());
        position_ = ~std::uint64_t{0};  // unknown after a short read: seek next time
    }
    return got;
}

std::size_t MemorySource::read_at(std::uint64_t offset, void* dst, std::size_t n) {
    if (offset >= size_ || n == 0) return 0;
    const std::size_t got = static_cast<std::size_t>(
        std::min<std::uint64_t>(n, static_cast<std::uint64_t>(size_) - offset));
    std::memcpy(dst, data_ + offset, got);
    return got;
}

}  // namespace gps
