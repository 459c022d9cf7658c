// What the sub-commands share beside the registry: JSON output that survives
// any file name.
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

}  // namespace kvptool
