#include "shell/language.h"

#include <dlfcn.h>

#include "ovlplug.h"
#include "platform/ini.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace shell {
namespace {

// The plug-in's GetInterface takes a key in the form of a GUID and never
// reads it.
constexpr const char* kInterfaceKey = "7C1E0A52-93B4-4D6F-8A21-E5F0B3C9D46";
constexpr std::size_t kVersionMaxChars = 260;

}  // namespace

std::unique_ptr<LanguagePlugin> LanguagePlugin::load(const std::string& folder,
                                                     std::string* error) {
    const std::string path = platform::join_path(folder, kLanguagePluginFileName);
    void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        if (error != nullptr) *error = ::dlerror();
        return nullptr;
    }
    auto get_interface = reinterpret_cast<OvlGetInterfaceFn>(::dlsym(library, "GetInterface"));
    const OvlLangTable* table = get_interface != nullptr ? get_interface(kInterfaceKey) : nullptr;
    if (table == nullptr) {
        if (error != nullptr) *error = path + " has no GetInterface";
        ::dlclose(library);
        return nullptr;
    }
    table->load(platform::utf8_to_wide(kTextsFileName).c_str());
    return std::unique_ptr<LanguagePlugin>(new LanguagePlugin(library, table));
}

LanguagePlugin::~LanguagePlugin() {
    ::dlclose(library_);
}

std::string LanguagePlugin::text(int number) const {
    const wchar_t* text = table_->get_text(number);
    return text != nullptr ? platform::wide_to_utf8(text) : std::string();
}

int LanguagePlugin::language_code() const {
    return table_->get_language_id();
}

LanguageRules language_rules(std::optional<int> language_code) {
    LanguageRules rules;
    if (!language_code) return rules;
    rules.map_type = *language_code == OVL_LANG_CHINESE_SIMPLIFIED ? 0 : 1;
    rules.units_flag = *language_code == 4 || *language_code == 17 ? 1 : 0;
    return rules;
}

std::string title_button_text(const std::string& title_text, const std::string& version) {
    return version.empty() ? title_text : version;
}

std::string configured_version(const std::string& folder) {
    return platform::ini_get_string(platform::join_path(folder, kTextsFileName), "option",
                                    "version", "", kVersionMaxChars + 1);
}

}  // namespace shell
