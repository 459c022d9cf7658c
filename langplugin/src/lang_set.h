// CLangSet: the string table of one language, chosen from the settings file,
// the lanid.osd override and the user's UI language.
#pragma once

#include <string>
#include <vector>

namespace ovlplug {

class CLangSet {
public:
    // Chooses the language and reads its section; returns the loaded flag (1).
    int Load(const std::wstring& file_name);
    // The text at `index`, or "" outside [0, count).
    const wchar_t* GetText(int index) const;
    int GetLanguageId() const { return language_id_; }

private:
    int ChooseLanguage() const;
    void ReadStrings();

    std::string ini_path_;  // UTF-8
    int language_id_ = 0;
    std::string section_name_;
    std::vector<std::wstring> strings_;
    int loaded_ = 0;
};

// Windows language id in effect for a preferred id of 0: the primary language
// of `ui_language`, except that Chinese becomes 4 (simplified: PRC and
// Singapore) or 31748 (traditional: every other Chinese sub-language).
int language_from_ui(unsigned ui_language);

}  // namespace ovlplug
