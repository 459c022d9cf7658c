// The language plug-in's texts on arbitrary .osd bytes: the language
// chosen from the [Option] section and the user's language (each input is
// loaded as an English, a Chinese simplified and a Chinese traditional
// user), then every text by number. Checked beyond the sanitizers: the
// language in effect is one the file names a section for, or English; a
// second load of the same file gives the same texts.
#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <string>
#include <vector>

#include <stdlib.h>

#include "fuzz_support.h"
#include "lang_set.h"
#include "ovlplug.h"
#include "platform/ini.h"

namespace {

std::vector<std::wstring> all_texts(const ovlplug::CLangSet& set, std::size_t file_size) {
    // One text per line at most: numbers past the file's lines give "".
    std::vector<std::wstring> texts;
    for (std::size_t i = 0; i <= file_size + 1; ++i) {
        const wchar_t* text = set.GetText(static_cast<int>(i));
        if (text == nullptr) __builtin_trap();
        texts.emplace_back(text);
    }
    if (std::wcslen(set.GetText(-1)) != 0) __builtin_trap();
    return texts;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // lanid.osd, the override of the preferred language, is looked up in
    // the program's folder: an empty folder of our own.
    ::setenv("KVP_PROGRAM_DIR", kvp_fuzz::scratch_dir().c_str(), 1);
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = kvp_fuzz::write_scratch_file("texts.osd", data, size);
    const std::wstring wide_path(path.begin(), path.end());  // ASCII
    for (const char* lang : {"en_US.UTF-8", "zh_CN.UTF-8", "zh_TW.UTF-8"}) {
        ::setenv("LANG", lang, 1);
        ovlplug::CLangSet set;
        if (set.Load(wide_path) != 1) __builtin_trap();
        const std::vector<std::wstring> texts = all_texts(set, size);
        const int language = set.GetLanguageId();
        if (language != OVL_LANG_ENGLISH &&
            platform::ini_get_string(path, "Option", std::to_string(language), "").empty()) {
            __builtin_trap();
        }
        if (set.Load(wide_path) != 1 || set.GetLanguageId() != language) __builtin_trap();
        if (all_texts(set, size) != texts) __builtin_trap();
    }
    return 0;
}
