// The last PCR of a TS file, which the player takes for the duration of a
// recording whose streams tell none.
#include <algorithm>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tsfix/ts_fix_tool.h"
#include "tsfix/ts_packet.h"

namespace tsfix {
namespace {

constexpr std::int64_t kLastPcrBlockPackets = 1000;

// A file opened for reading; closed at the end of its scope.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const std::string& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {}
    ~ReadOnlyFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    int fd() const { return fd_; }
    // Size of a regular file, -1 for anything else.
    std::int64_t size() const {
        struct stat st {};
        if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
        return static_cast<std::int64_t>(st.st_size);
    }

private:
    int fd_;
};

// The last unit-start recorder packet of a block, scanned from its end.
const std::uint8_t* last_unit_start_packet(const std::uint8_t* block, std::size_t bytes) {
    for (std::size_t end = bytes / kPacketSize * kPacketSize; end >= kPacketSize;
         end -= kPacketSize) {
        const std::uint8_t* p = block + end - kPacketSize;
        if (is_unit_start_pcr_packet(p)) return p;
    }
    return nullptr;
}

}  // namespace

std::int64_t read_last_pcr(const std::string& path) {
    const ReadOnlyFile file(path);
    const std::int64_t size = file.size();
    if (size < 0) return 0;
    return read_last_pcr(FileSource(file.fd(), size));
}

std::int64_t read_last_pcr(const ByteSource& file) {
    const std::int64_t size = file.size();
    const std::int64_t packet = static_cast<std::int64_t>(kPacketSize);
    const std::int64_t block_bytes = std::min(kLastPcrBlockPackets, size / packet) * packet;
    if (block_bytes <= 0) return 0;

    std::vector<std::uint8_t> block(static_cast<std::size_t>(block_bytes));
    // Blocks from the last whole packet backwards; the first block of the
    // file may be shorter.
    for (std::int64_t end = size - size % packet; end > 0;) {
        const std::int64_t begin = std::max<std::int64_t>(0, end - block_bytes);
        const std::size_t got =
            file.read_at(block.data(), static_cast<std::size_t>(end - begin), begin);
        const bool blank = got >= 2 && block[0] == 0 && block[1] == 0;
        if (!blank) {
            if (const std::uint8_t* p = last_unit_start_packet(block.data(), got)) {
                return read_pcr_raw(p);
            }
        }
        end = begin;
    }
    return 0;
}

}  // namespace tsfix
