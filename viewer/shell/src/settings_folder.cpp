#include "shell/settings_folder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/paths.h"

namespace shell {
namespace {

std::string env_or_empty(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// mkdir -p; true when the folder exists afterwards.
bool make_folders(const std::string& path) {
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != '/') continue;
        const std::string part = path.substr(0, at);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string choose_settings_folder(const SettingsFolderInputs& in) {
    if (!in.override_dir.empty()) return in.override_dir;
    if (in.program_dir_writable && !in.program_dir.empty()) return in.program_dir;
    if (!in.xdg_config_home.empty()) return platform::join_path(in.xdg_config_home, "kvp");
    if (!in.home.empty()) return platform::join_path(in.home, ".config/kvp");
    return "";
}

SettingsFolderInputs current_settings_folder_inputs() {
    SettingsFolderInputs in;
    in.override_dir = env_or_empty("KVP_SETTINGS_DIR");
    in.program_dir = platform::program_dir();
    in.program_dir_writable = ::access(in.program_dir.c_str(), W_OK | X_OK) == 0;
    in.xdg_config_home = env_or_empty("XDG_CONFIG_HOME");
    in.home = env_or_empty("HOME");
    return in;
}

std::unique_ptr<InstanceLock> InstanceLock::acquire(const std::string& folder, bool* held_elsewhere,
                                                    std::string* error) {
    *held_elsewhere = false;
    if (!make_folders(folder)) {
        if (error != nullptr) *error = "cannot create " + folder + ": " + std::strerror(errno);
        return nullptr;
    }
    const std::string path = platform::join_path(folder, kLockFileName);
    // Read access is enough for flock, so a lock file left in a folder that
    // has since become read-only still serves.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (error != nullptr) *error = "cannot open " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        *held_elsewhere = errno == EWOULDBLOCK;
        if (error != nullptr) {
            *error = errno == EWOULDBLOCK ? "another KVP uses " + folder
                                          : "cannot lock " + path + ": " + std::strerror(errno);
        }
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<InstanceLock>(new InstanceLock(fd));
}

InstanceLock::~InstanceLock() {
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace shell
