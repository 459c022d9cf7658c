#include "shell/file_io.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace shell {
namespace {

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    // Closes now and reports whether the close succeeded (a failed close can
    // be a failed write on some file systems).
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool write_all(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool fail(std::string* error, const std::string& what, const std::string& path) {
    if (error != nullptr) *error = what + " " + path + ": " + std::strerror(errno);
    return false;
}

}  // namespace

std::optional<std::string> read_whole_file(const std::string& path, std::size_t max_bytes) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return std::nullopt;
    std::string bytes;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
        if (bytes.size() > max_bytes) return std::nullopt;
    }
    return bytes;
}

bool write_file_replacing(const std::string& path, const std::string& bytes, mode_t mode,
                          std::string* error) {
    std::string temp = path + ".XXXXXX";
    Fd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (fd.get() < 0) return fail(error, "cannot create a file beside", path);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const bool written = ::fchmod(fd.get(), mode & ~mask) == 0 && write_all(fd.get(), bytes) &&
                         ::fsync(fd.get()) == 0;
    if (!written || !fd.close()) {
        fail(error, "cannot write", temp);
        ::unlink(temp.c_str());
        return false;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        fail(error, "cannot replace", path);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace shell
