// INI files read and written with the semantics of the Windows
// private-profile functions, which the configuration files of this system
// were written for:
//  - "[section]" lines open a section; "key=value" lines belong to the last
//    section opened; lines before the first section belong to none;
//  - section and key names are matched without regard to ASCII case, and
//    the first section or key of a name wins;
//  - names and values are trimmed of blanks; a value wholly enclosed in a
//    pair of single or double quotes loses them;
//  - lines starting with ';' are comments;
//  - text may be UTF-16 (with a byte-order mark), UTF-8 (with or without a
//    mark) or, failing UTF-8, single-byte Latin-1; all strings here are UTF-8.
//
// Thread-safety: every call reads (or rewrites) the file anew; concurrent
// writers of one file must be serialised by the caller.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Value of `key` in `section`, or `default_value` when the file, section or
// key is missing. At most `max_chars - 1` characters (code points) are
// returned, as a buffer of `max_chars` characters would hold; max_chars 0
// gives "".
std::string ini_get_string(const std::string& path, const std::string& section,
                           const std::string& key, const std::string& default_value,
                           std::size_t max_chars = 4096);

// Integer at `key`: leading blanks, an optional sign, then decimal digits,
// or hexadecimal after "0x"; parsing stops at the first other character
// ("12ab" is 12, "ab" is 0). Missing or empty value gives `default_value`.
int ini_get_int(const std::string& path, const std::string& section, const std::string& key,
                int default_value);

// Every entry of `section` in file order: "key=value" with the key and the
// value trimmed (quotes kept), or the whole trimmed line for a line without
// '='. Comments and empty lines
// are left out. Empty when the file or section is missing.
std::vector<std::string> ini_get_section(const std::string& path, const std::string& section);

// Sets `key` in `section` to `value`, creating the file, section and key as
// needed; a missing value (nullopt) deletes the key. Returns false when the
// file cannot be written. The file keeps its encoding (UTF-16 stays UTF-16)
// and line endings.
bool ini_write_string(const std::string& path, const std::string& section, const std::string& key,
                      const std::optional<std::string>& value);

// Removes a whole section. Returns false when the file cannot be written.
bool ini_delete_section(const std::string& path, const std::string& section);

}  // namespace platform
