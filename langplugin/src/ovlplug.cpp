// The plug-in's one export and the module-wide string table behind it.
#include "ovlplug.h"

#include "lang_set.h"

namespace {

ovlplug::CLangSet& lang_set() {
    static ovlplug::CLangSet set;
    return set;
}

int load(const wchar_t* file_name) {
    return lang_set().Load(file_name != nullptr ? file_name : L"");
}

const wchar_t* get_text(int index) {
    return lang_set().GetText(index);
}

int get_language_id() {
    return lang_set().GetLanguageId();
}

const OvlLangTable kTable = {load, get_text, get_language_id};

}  // namespace

extern "C" const OvlLangTable* GetInterface(const char* /*key*/) {
    return &kTable;
}
