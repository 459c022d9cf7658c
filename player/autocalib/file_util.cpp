#include "file_util.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include <sys/stat.h>

namespace autocalib::detail {

void remove_regular_file(const char* path) {
    struct stat st {};
    if (path != nullptr && ::lstat(path, &st) == 0 && S_ISREG(st.st_mode)) std::remove(path);
}

bool copy_file_over(const std::string& from, const std::string& to) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::equivalent(from, to, ec)) return true;
    ec.clear();
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    return !ec;
}

}  // namespace autocalib::detail
