// The viewer's side of the language plug-in ovlplug.so, and the rules that
// follow from its language code.
//
// Thread-safety: a LanguagePlugin belongs to the UI thread (the plug-in's
// table is not thread-safe); the free functions are pure.
#pragma once

#include <memory>
#include <optional>
#include <string>

struct OvlLangTable;

namespace shell {

inline constexpr const char* kLanguagePluginFileName = "ovlplug.so";
inline constexpr const char* kTextsFileName = "lumoraui.osd";

// Text numbers the main window uses.
enum TextNumber : int {
    kTextTitle = 19,
    kTextCannotPlay = 36,
    kTextPlaylistTitle = 44,
    kTextHelpDocument = 51,
};

class LanguagePlugin {
public:
    // Loads `folder`/ovlplug.so, asks it for its table and has it load
    // lumoraui.osd. Null with a reason in `error` when the file is missing,
    // cannot be loaded or has no GetInterface.
    static std::unique_ptr<LanguagePlugin> load(const std::string& folder, std::string* error);
    ~LanguagePlugin();  // unloads the plug-in
    LanguagePlugin(const LanguagePlugin&) = delete;
    LanguagePlugin& operator=(const LanguagePlugin&) = delete;

    // The text with that number as UTF-8; "" for a number the plug-in does
    // not know.
    std::string text(int number) const;
    // The Windows language id in effect (4, 31748, 9, ...).
    int language_code() const;

private:
    LanguagePlugin(void* library, const OvlLangTable* table) : library_(library), table_(table) {}
    void* library_ = nullptr;
    const OvlLangTable* table_ = nullptr;
};

// What the language decides beyond the texts.
struct LanguageRules {
    int map_type = 0;    // 0: the page with the datum shift; 1: OpenStreetMap
    int units_flag = 0;  // 1: km/h and year-first dates
};

// Language code 4 (Chinese simplified) gives map type 0, any other 1; codes
// 4 and 17 give units flag 1. Without a plug-in (nothing): map type 0,
// units flag 0.
LanguageRules language_rules(std::optional<int> language_code);

// The title button's text: the `version` of lumoraui.osd's [option] when it
// is not empty, else text number 19.
std::string title_button_text(const std::string& title_text, const std::string& version);

// [option] version of lumoraui.osd in `folder` (at most 260 characters),
// "" when missing.
std::string configured_version(const std::string& folder);

}  // namespace shell
