#include "common.h"

#include <cstdio>

#include "platform/paths.h"

namespace kvptool {

bool is_special_file(const std::string& path) {
    return platform::path_exists(path) && !platform::is_regular_file(path);
}

int refuse_special_file(const char* command, const std::string& path, int exit_code) {
    std::fprintf(stderr, "kvptool %s: %s: not a regular file\n", command, path.c_str());
    return exit_code;
}

}  // namespace kvptool
