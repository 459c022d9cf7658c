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

// True when `path` names a regular file (links followed). Recordings,
// calibrations and side files are never anything else: a FIFO in their place
// would block an open() for ever, a device would never end.
bool is_regular_file(const std::string& path);

// Opens `path` with the open(2) `flags` (O_CLOEXEC added) when it is a
// regular file, without blocking on a FIFO or a device on the way; the
// descriptor returned blocks as usual. -1 with errno set otherwise (EISDIR
// for a folder, EINVAL for any other kind of file).
int open_regular_file(const std::string& path, int flags);

// True when `a` and `b` name the same file: the same device and inode when
// both exist (whatever links, "./" or "dir/../" lead there), else the same
// name in the same folder (links in the folders resolved).
bool same_file(const std::string& a, const std::string& b);

// Mount point of the file system that holds `path` (the "root of the drive"
// of a path on Windows), without a trailing separator except for "/".
// The deepest existing ancestor is used when `path` does not exist.
std::string mount_root_of(const std::string& path);

}  // namespace platform
