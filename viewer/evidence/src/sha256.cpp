#include "evidence/sha256.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include "platform/paths.h"

namespace evidence {
namespace {

constexpr std::size_t kChunkBytes = 1 << 20;

struct DigestFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
using DigestPtr = std::unique_ptr<EVP_MD_CTX, DigestFree>;

struct FdCloser {
    int fd = -1;
    ~FdCloser() {
        if (fd >= 0) ::close(fd);
    }
};

std::string hex(const unsigned char* bytes, unsigned size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * size);
    for (unsigned i = 0; i < size; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 0x0F];
    }
    return out;
}

DigestPtr start_digest() {
    DigestPtr ctx(EVP_MD_CTX_new());
    if (ctx && EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) ctx.reset();
    return ctx;
}

bool finish_digest(EVP_MD_CTX* ctx, std::string& out) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    if (EVP_DigestFinal_ex(ctx, md, &size) != 1) return false;
    out = hex(md, size);
    return true;
}

}  // namespace

bool sha256_file(const std::string& path, FileHash& out, std::string& why) {
    out = FileHash{path, 0, {}};
    FdCloser file{platform::open_regular_file(path, O_RDONLY)};
    if (file.fd < 0) {
        why = errno == EINVAL ? "not a regular file" : std::strerror(errno);
        return false;
    }
    DigestPtr ctx = start_digest();
    if (!ctx) {
        why = "SHA-256 is not available";
        return false;
    }
    std::vector<unsigned char> chunk(kChunkBytes);
    for (;;) {
        const ssize_t n = ::read(file.fd, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            why = std::string("read failed: ") + std::strerror(errno);
            return false;
        }
        if (n == 0) break;
        if (EVP_DigestUpdate(ctx.get(), chunk.data(), static_cast<std::size_t>(n)) != 1) {
            why = "SHA-256 failed";
            return false;
        }
        out.size += static_cast<std::uint64_t>(n);
    }
    if (!finish_digest(ctx.get(), out.sha256)) {
        why = "SHA-256 failed";
        return false;
    }
    return true;
}

std::string sha256_hex(std::string_view bytes) {
    DigestPtr ctx = start_digest();
    std::string out;
    if (ctx && EVP_DigestUpdate(ctx.get(), bytes.data(), bytes.size()) == 1) {
        finish_digest(ctx.get(), out);
    }
    return out;
}

}  // namespace evidence
