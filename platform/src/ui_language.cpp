#include "platform/ui_language.h"

#include <cstdlib>
#include <string>

namespace platform {
namespace {

constexpr std::uint16_t make_lang_id(unsigned primary, unsigned sub) {
    return static_cast<std::uint16_t>((sub << 10) | primary);
}

constexpr unsigned kSubDefault = 1;
constexpr std::uint16_t kEnglishUs = make_lang_id(0x09, 1);

struct PrimaryLanguage {
    const char* code;  // ISO 639-1
    unsigned primary;  // Windows primary language
};

constexpr PrimaryLanguage kPrimaries[] = {
    {"ar", 0x01}, {"bg", 0x02}, {"ca", 0x03}, {"zh", 0x04}, {"cs", 0x05}, {"da", 0x06},
    {"de", 0x07}, {"el", 0x08}, {"en", 0x09}, {"es", 0x0A}, {"fi", 0x0B}, {"fr", 0x0C},
    {"he", 0x0D}, {"hu", 0x0E}, {"is", 0x0F}, {"it", 0x10}, {"ja", 0x11}, {"ko", 0x12},
    {"nl", 0x13}, {"nb", 0x14}, {"no", 0x14}, {"pl", 0x15}, {"pt", 0x16}, {"ro", 0x18},
    {"ru", 0x19}, {"hr", 0x1A}, {"sk", 0x1B}, {"sq", 0x1C}, {"sv", 0x1D}, {"th", 0x1E},
    {"tr", 0x1F}, {"ur", 0x20}, {"id", 0x21}, {"uk", 0x22}, {"be", 0x23}, {"sl", 0x24},
    {"et", 0x25}, {"lv", 0x26}, {"lt", 0x27}, {"fa", 0x29}, {"vi", 0x2A}, {"hy", 0x2B},
    {"eu", 0x2D}, {"mk", 0x2F}, {"af", 0x36}, {"ka", 0x37}, {"hi", 0x39}, {"ms", 0x3E},
    {"kk", 0x3F}, {"sw", 0x41}, {"bn", 0x45}, {"ta", 0x49}, {"te", 0x4A}, {"mn", 0x50},
    {"gl", 0x56},
};

struct SubLanguage {
    const char* language;
    const char* territory;
    unsigned sub;
};

// Territories whose Windows sub-language differs from the default (1).
constexpr SubLanguage kSubs[] = {
    {"zh", "TW", 0x01}, {"zh", "CN", 0x02}, {"zh", "HK", 0x03}, {"zh", "SG", 0x04},
    {"zh", "MO", 0x05}, {"en", "US", 0x01}, {"en", "GB", 0x02}, {"en", "AU", 0x03},
    {"en", "CA", 0x04}, {"en", "NZ", 0x05}, {"en", "IE", 0x06}, {"en", "ZA", 0x07},
    {"en", "IN", 0x10}, {"en", "SG", 0x12}, {"de", "CH", 0x02}, {"de", "AT", 0x03},
    {"fr", "BE", 0x02}, {"fr", "CA", 0x03}, {"fr", "CH", 0x04}, {"es", "MX", 0x02},
    {"es", "ES", 0x03}, {"pt", "BR", 0x01}, {"pt", "PT", 0x02}, {"nl", "BE", 0x02},
    {"it", "CH", 0x02}, {"sv", "FI", 0x02}, {"ko", "KR", 0x01},
};

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

// Chinese without a territory: the script decides ("Hant" traditional);
// a bare "zh" is the simplified PRC form.
unsigned chinese_sub_from_script(std::string_view rest) {
    const std::string r = lower(rest);
    if (r.find("hant") != std::string::npos) return 0x01;
    return 0x02;
}

}  // namespace

std::uint16_t language_id_from_locale(std::string_view locale) {
    // language[_territory][.codeset][@modifier]; "-" is accepted for "_".
    const auto end = locale.find_first_of(".@");
    const std::string_view name = locale.substr(0, end);
    const auto sep = name.find_first_of("_-");
    const std::string language = lower(name.substr(0, sep));
    std::string_view rest =
        sep == std::string_view::npos ? std::string_view{} : name.substr(sep + 1);
    if (language.empty() || language == "c" || language == "posix") return kEnglishUs;

    unsigned primary = 0;
    for (const auto& p : kPrimaries) {
        if (language == p.code) primary = p.primary;
    }
    if (primary == 0) return kEnglishUs;

    // A script subtag ("zh-Hant-TW") comes before the territory.
    if (rest.size() == 4 && language == "zh")
        return make_lang_id(primary, chinese_sub_from_script(rest));
    std::string_view territory = rest;
    if (const auto dash = rest.find_first_of("_-"); dash != std::string_view::npos) {
        if (language == "zh" && dash == 4 && rest.size() == 4 + 1 + 2) {
            territory = rest.substr(dash + 1);
        } else {
            territory = rest.substr(0, dash);
        }
    }
    if (territory.empty()) {
        return make_lang_id(primary, language == "zh" ? 0x02 : kSubDefault);
    }
    const std::string t = upper(territory);
    for (const auto& s : kSubs) {
        if (language == s.language && t == s.territory) return make_lang_id(primary, s.sub);
    }
    return make_lang_id(primary, language == "zh" ? 0x02 : kSubDefault);
}

std::uint16_t user_ui_language() {
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(var);
        if (value != nullptr && *value != '\0') return language_id_from_locale(value);
    }
    return kEnglishUs;
}

}  // namespace platform
