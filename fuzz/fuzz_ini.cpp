// The INI reader and writer on arbitrary file bytes (any encoding, any
// lines): every read, then a write, the key read back, a key and a section
// deleted. Checked beyond the sanitizers: a value written reads back as
// written, a read never returns more code points than asked for, deleting
// a key removes exactly one entry of its section.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "platform/ini.h"

namespace {

// Names the dictionary spells too; lookups ignore ASCII case.
constexpr const char* kSection = "Option";
constexpr const char* kOtherSection = "ENGLISH";
constexpr const char* kKey = "option";
constexpr const char* kValue = "written value 42";

std::size_t code_points(const std::string& s) {
    std::size_t n = 0;
    for (const char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

void read_everything(const std::string& path) {
    for (const char* section : {kSection, kOtherSection, ""}) {
        platform::ini_get_section(path, section);
        platform::ini_get_int(path, section, kKey, -7);
        for (const std::size_t max_chars : {std::size_t{0}, std::size_t{1}, std::size_t{5}}) {
            const std::string v = platform::ini_get_string(path, section, kKey, "def", max_chars);
            if (code_points(v) + 1 > max_chars && !(max_chars == 0 && v.empty())) __builtin_trap();
        }
    }
}

void write_and_read_back(const std::string& path) {
    if (!platform::ini_write_string(path, kSection, kKey, std::string(kValue))) __builtin_trap();
    if (platform::ini_get_string(path, kSection, kKey, "") != kValue) __builtin_trap();
    if (platform::ini_get_int(path, "OPTION", "OPTION", 0) != 0) __builtin_trap();  // "written..."

    const std::size_t entries = platform::ini_get_section(path, kSection).size();
    if (!platform::ini_write_string(path, kSection, kKey, std::nullopt)) __builtin_trap();
    if (platform::ini_get_section(path, kSection).size() + 1 != entries) __builtin_trap();

    if (!platform::ini_delete_section(path, kOtherSection)) __builtin_trap();
    read_everything(path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = kvp_fuzz::write_scratch_file("settings.ini", data, size);
    read_everything(path);
    write_and_read_back(path);
    return 0;
}
