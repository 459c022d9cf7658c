// What the sub-commands share beside the registry: JSON output that survives
// any file name, and the refusal of inputs that are not regular files.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace kvptool {

// The indented JSON text of `j`. File names are bytes and need not be UTF-8:
// invalid sequences are written as U+FFFD instead of failing the dump.
template <class Json>
std::string json_text(const Json& j) {
    return j.dump(2, ' ', false, Json::error_handler_t::replace);
}

// True when `path` exists but is not a regular file (a FIFO, a device, a
// folder). Such an input is refused before anything opens it: the open of a
// FIFO waits for a writer for ever, a device never ends. A missing file is
// left to the command's own report.
bool is_special_file(const std::string& path);

// Writes "kvptool COMMAND: PATH: not a regular file" to stderr and returns
// `exit_code`.
int refuse_special_file(const char* command, const std::string& path, int exit_code);

}  // namespace kvptool
