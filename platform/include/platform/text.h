// Text encoding helpers. Inside the project every string is UTF-8; the
// interfaces that hand out "wide" strings use wchar_t (UTF-32 on Linux).
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Decodes UTF-8; invalid sequences become U+FFFD, never an error.
std::wstring utf8_to_wide(std::string_view utf8);
std::string wide_to_utf8(std::wstring_view wide);

// Decodes the bytes of a text file to UTF-8: UTF-16LE/BE after their
// byte-order mark, UTF-8 (mark removed), and anything that is not valid
// UTF-8 as Latin-1. Never fails.
std::string decode_text_file(std::string_view bytes);

// ASCII case-insensitive comparison, as the profile functions match names.
bool iequals(std::string_view a, std::string_view b);

// Removes blanks (space, tab, CR, LF, VT, FF) at both ends.
std::string_view trim(std::string_view s);

}  // namespace platform
