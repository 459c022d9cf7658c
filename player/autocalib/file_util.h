// Small file helpers of the calibration.
#pragma once

#include <string>

namespace autocalib::detail {

// Removes `path` when it is a regular file (never a device, folder or link
// target of another kind); quiet when it does not exist.
void remove_regular_file(const char* path);

// Copies `from` over `to` (replacing it). True on success, and also when
// both name the same file.
bool copy_file_over(const std::string& from, const std::string& to);

}  // namespace autocalib::detail
