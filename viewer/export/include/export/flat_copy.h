// Delivering a recording that needs no dewarping: its streams copied into
// a new file unchanged.
//
// Thread-safety: every function is independent; the files are the caller's.
#pragma once

#include <string>

namespace exporter {

// Copies the video and audio streams of `in` into `out` (created or
// replaced; its extension chooses the container), packet for packet. False
// with the reason in `why`; a partly written `out` is removed then.
bool stream_copy(const std::string& in, const std::string& out, std::string* why);

// Moves `from` to `to`: renamed on the same file system, else stream-copied
// and then removed. False with the reason in `why`; `from` stays then.
bool move_file(const std::string& from, const std::string& to, std::string* why);

// True when `path` opens as media and holds at least one video packet. A
// conversion stopped before its first picture leaves a file with a header
// and empty tracks, which no player shows: that one is false.
bool holds_a_picture(const std::string& path);

}  // namespace exporter
