// Where the program and its libraries live. The deliverables ship together in
// one folder and find their data files (lumoraui.osd, lanid.osd, calibration
// files named after the frame width) there.
#pragma once

#include <string>

namespace platform {

// The path separator of this platform (the Windows layouts use a backslash
// where this system uses it).
inline constexpr char kPathSeparator = '/';

// Folder of the running executable, without a trailing separator.
// The environment variable KVP_PROGRAM_DIR, when set and not empty, replaces
// it: a relocated install (or a test) points the program at its data files.
std::string program_dir();

// Folder of the shared object (or executable) that contains `address`,
// without a trailing separator; program_dir() when it cannot be found.
std::string module_dir(const void* address);

// `dir` + separator + `name` (no doubled separator).
std::string join_path(const std::string& dir, const std::string& name);

// Part of `path` after its last separator.
std::string file_name_of(const std::string& path);

// True when `path` names an existing file or folder.
bool path_exists(const std::string& path);

// Mount point of the file system that holds `path` (the "root of the drive"
// of a path on Windows), without a trailing separator except for "/".
// The deepest existing ancestor is used when `path` does not exist.
std::string mount_root_of(const std::string& path);

}  // namespace platform
