// The user's interface language as a Windows language identifier:
// primary language in bits 0..9, sub-language in bits 10..15
// (0x0409 English US, 0x0804 Chinese PRC, 0x0404 Chinese Taiwan, ...).
#pragma once

#include <cstdint>
#include <string_view>

namespace platform {

// From the locale named by LC_ALL, else LC_MESSAGES, else LANG (the first one
// set and not empty). "C", "POSIX", an unset locale or an unknown language
// give English US (0x0409).
std::uint16_t user_ui_language();

// The identifier for one locale name such as "zh_TW.UTF-8", "en_GB",
// "pt_BR@euro" or "zh-Hant". Unknown languages give English US.
std::uint16_t language_id_from_locale(std::string_view locale);

}  // namespace platform
