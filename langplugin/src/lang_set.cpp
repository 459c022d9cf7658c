#include "lang_set.h"

#include <fstream>

#include "ovlplug.h"
#include "platform/ini.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/ui_language.h"

namespace ovlplug {
namespace {

constexpr char kOptionSection[] = "Option";
constexpr char kOptionKey[] = "Option";
constexpr char kOverrideFile[] = "lanid.osd";
constexpr std::size_t kSectionNameChars = 260;  // 259 characters and the terminator

constexpr unsigned kPrimaryMask = 0x3FF;
constexpr unsigned kPrimaryChinese = 4;
constexpr unsigned kSubChineseSimplified = 2;
constexpr unsigned kSubChineseSingapore = 4;

bool file_has_content(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    return in && in.tellg() > 0;
}

}  // namespace

int language_from_ui(unsigned ui_language) {
    const unsigned primary = ui_language & kPrimaryMask;
    if (primary != kPrimaryChinese) return static_cast<int>(primary);
    const unsigned sub = (ui_language >> 10) & 0x3F;
    return (sub == kSubChineseSimplified || sub == kSubChineseSingapore)
               ? OVL_LANG_CHINESE_SIMPLIFIED
               : OVL_LANG_CHINESE_TRADITIONAL;
}

int CLangSet::Load(const std::wstring& file_name) {
    loaded_ = 1;
    ini_path_ = platform::wide_to_utf8(file_name);
    if (ini_path_.find(platform::kPathSeparator) == std::string::npos) {
        ini_path_ = platform::join_path(platform::program_dir(), ini_path_);
    }
    language_id_ = ChooseLanguage();
    section_name_ = platform::ini_get_string(ini_path_, kOptionSection,
                                             std::to_string(language_id_), "", kSectionNameChars);
    if (section_name_.empty()) {
        language_id_ = OVL_LANG_ENGLISH;
        section_name_ = platform::ini_get_string(
            ini_path_, kOptionSection, std::to_string(language_id_), "", kSectionNameChars);
    }
    ReadStrings();
    return loaded_;
}

int CLangSet::ChooseLanguage() const {
    int preferred = platform::ini_get_int(ini_path_, kOptionSection, kOptionKey, 0);
    const std::string override_path = platform::join_path(platform::program_dir(), kOverrideFile);
    if (platform::path_exists(override_path)) {
        preferred = platform::ini_get_int(override_path, kOptionSection, kOptionKey, 0);
    }
    if (preferred != 0) return preferred;
    return language_from_ui(platform::user_ui_language());
}

// A file that cannot be read (or is empty) keeps the strings of the last load.
void CLangSet::ReadStrings() {
    if (!file_has_content(ini_path_)) return;
    strings_.clear();
    for (const std::string& entry : platform::ini_get_section(ini_path_, section_name_)) {
        const auto eq = entry.find('=');
        strings_.push_back(
            platform::utf8_to_wide(eq == std::string::npos ? entry : entry.substr(eq + 1)));
    }
}

const wchar_t* CLangSet::GetText(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= strings_.size()) return L"";
    return strings_[static_cast<std::size_t>(index)].c_str();
}

}  // namespace ovlplug
