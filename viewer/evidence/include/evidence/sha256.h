// SHA-256 of files, read in chunks so that a recording of any size needs
// only a small buffer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace evidence {

struct FileHash {
    std::string path;
    std::uint64_t size = 0;  // bytes hashed
    std::string sha256;      // 64 lower-case hex digits
};

// Hashes the regular file at `path` (a FIFO or a device is refused rather
// than read for ever). False with `why` set when it cannot be opened or
// read to its end.
bool sha256_file(const std::string& path, FileHash& out, std::string& why);

// The SHA-256 of `bytes` as hex digits.
std::string sha256_hex(std::string_view bytes);

}  // namespace evidence
