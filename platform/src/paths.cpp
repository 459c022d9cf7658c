#include "platform/paths.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

std::string dir_of(const std::string& path) {
    const auto slash = path.find_last_of(kPathSeparator);
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string absolute(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr) return resolved;
    return path;
}

}  // namespace

std::string program_dir() {
    if (const char* env = std::getenv("KVP_PROGRAM_DIR"); env != nullptr && *env != '\0') {
        std::string dir = env;
        while (dir.size() > 1 && dir.back() == kPathSeparator) dir.pop_back();
        return dir;
    }
    char exe[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return ".";
    exe[n] = '\0';
    return dir_of(exe);
}

std::string module_dir(const void* address) {
    Dl_info info{};
    if (::dladdr(address, &info) != 0 && info.dli_fname != nullptr && *info.dli_fname != '\0') {
        return dir_of(absolute(info.dli_fname));
    }
    return program_dir();
}

std::string join_path(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    if (dir.back() == kPathSeparator) return dir + name;
    return dir + kPathSeparator + name;
}

std::string file_name_of(const std::string& path) {
    const auto slash = path.find_last_of(kPathSeparator);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool path_exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool is_regular_file(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int open_regular_file(const std::string& path, int flags) {
    // O_NONBLOCK makes the open of a FIFO return at once; what it opened is
    // looked at before anything is read.
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = error;
        return -1;
    }
    if ((flags & O_NONBLOCK) == 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool same_file(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0) {
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    }
    return join_path(absolute(dir_of(a)), file_name_of(a)) ==
           join_path(absolute(dir_of(b)), file_name_of(b));
}

std::string mount_root_of(const std::string& path) {
    std::string current = absolute(path);
    struct stat st {};
    while (::stat(current.c_str(), &st) != 0) {
        if (current == "/" || current == ".") return "/";
        current = dir_of(current);
    }
    if (current.empty() || current[0] != '/') current = absolute(current);
    // Walk up while the parent is on the same device.
    const dev_t device = st.st_dev;
    while (current != "/") {
        const std::string parent = dir_of(current);
        struct stat pst {};
        if (::stat(parent.c_str(), &pst) != 0 || pst.st_dev != device) break;
        current = parent;
    }
    return current;
}

}  // namespace platform
