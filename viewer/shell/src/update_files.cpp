#include "shell/update_files.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/paths.h"
#include "shell/file_io.h"

namespace shell {
namespace {

bool opens_for_reading(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

}  // namespace

const std::vector<std::string>& required_update_files() {
    static const std::vector<std::string> kFiles = {
        "version.cfg",    "UpdateSelf.ulf",   "checkver.ulf", "common_fun.lhs",  "ini_fun.lhs",
        "regbasefun.lhs", "regsocketfun.lhs", "reguifun.lhs", "windows_def.lhs",
    };
    return kFiles;
}

std::optional<std::string> first_missing_update_file(const std::string& folder) {
    for (const std::string& name : required_update_files()) {
        if (!opens_for_reading(platform::join_path(folder, name))) return name;
    }
    return std::nullopt;
}

UpdaterState ensure_updater(const std::string& folder, const std::string& program_bytes,
                            std::string* error) {
    const std::string path = platform::join_path(folder, kUpdaterFileName);
    if (opens_for_reading(path)) return UpdaterState::present;
    std::string why;
    if (!write_file_replacing(path, program_bytes, 0755, &why) || !opens_for_reading(path)) {
        if (error != nullptr) *error = why.empty() ? "cannot read " + path : why;
        return UpdaterState::missing;
    }
    return UpdaterState::recreated;
}

}  // namespace shell
