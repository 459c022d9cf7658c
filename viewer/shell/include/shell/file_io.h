// Whole-file reads and replacing writes for the viewer's own files.
//
// A replacing write never leaves a half-written or missing file behind: the
// bytes go to a temporary file in the same folder, which is flushed and then
// renamed over the old one. On any failure the old file stays as it was and
// the temporary file is removed.
//
// Thread-safety: safe; concurrent writers of one path must be serialised by
// the caller (the last rename wins).
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

namespace shell {

// The file's bytes, or nothing when it cannot be opened or read.
// Reads at most max_bytes; a larger file gives nothing.
std::optional<std::string> read_whole_file(const std::string& path,
                                           std::size_t max_bytes = 64u << 20);

// Replaces `path` with `bytes`, with the permission bits `mode` (before the
// umask). False with a reason in `error` (when given) on failure.
bool write_file_replacing(const std::string& path, const std::string& bytes, mode_t mode = 0644,
                          std::string* error = nullptr);

}  // namespace shell
