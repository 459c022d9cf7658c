#include "platform/ini.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include <unistd.h>

#include "platform/text.h"

namespace platform {
namespace {

enum class Encoding { kUtf8, kUtf8Bom, kUtf16Le, kUtf16Be };

enum class LineKind { kBlank, kComment, kSection, kEntry };

struct Line {
    std::string raw;  // as in the file, without the line ending
    LineKind kind = LineKind::kBlank;
    std::string name;   // section name or key, trimmed
    std::string value;  // trimmed value of an entry
    bool has_equals = false;
};

struct IniText {
    bool exists = false;
    Encoding encoding = Encoding::kUtf8;
    std::string newline = "\r\n";
    std::vector<Line> lines;
};

bool read_file(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

Encoding detect_encoding(std::string_view bytes) {
    if (bytes.substr(0, 2) == "\xFF\xFE") return Encoding::kUtf16Le;
    if (bytes.substr(0, 2) == "\xFE\xFF") return Encoding::kUtf16Be;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return Encoding::kUtf8Bom;
    return Encoding::kUtf8;
}

Line parse_line(std::string raw) {
    Line line;
    const std::string_view text = trim(raw);
    if (text.empty()) {
        line.kind = LineKind::kBlank;
    } else if (text.front() == ';') {
        line.kind = LineKind::kComment;
    } else if (text.front() == '[') {
        line.kind = LineKind::kSection;
        const auto close = text.find(']');
        line.name = std::string(trim(
            text.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
    } else {
        line.kind = LineKind::kEntry;
        const auto eq = text.find('=');
        line.has_equals = eq != std::string_view::npos;
        line.name = std::string(trim(text.substr(0, eq)));
        if (line.has_equals) line.value = std::string(trim(text.substr(eq + 1)));
    }
    line.raw = std::move(raw);
    return line;
}

IniText load(const std::string& path) {
    IniText ini;
    std::string bytes;
    if (!read_file(path, bytes)) return ini;
    ini.exists = true;
    ini.encoding = detect_encoding(bytes);
    const std::string text = decode_text_file(bytes);
    if (text.find("\r\n") == std::string::npos && text.find('\n') != std::string::npos) {
        ini.newline = "\n";
    }
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string raw = text.substr(start, end - start);
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        ini.lines.push_back(parse_line(std::move(raw)));
        start = end + 1;
    }
    return ini;
}

// Index of the first line of the first section named `section`, or -1.
long find_section(const IniText& ini, const std::string& section) {
    for (std::size_t i = 0; i < ini.lines.size(); ++i) {
        const Line& l = ini.lines[i];
        if (l.kind == LineKind::kSection && iequals(l.name, section)) return static_cast<long>(i);
    }
    return -1;
}

// One past the last line of the section that starts at `header`.
std::size_t section_end(const IniText& ini, std::size_t header) {
    std::size_t i = header + 1;
    while (i < ini.lines.size() && ini.lines[i].kind != LineKind::kSection) ++i;
    return i;
}

long find_key(const IniText& ini, long header, const std::string& key) {
    if (header < 0) return -1;
    const std::size_t end = section_end(ini, static_cast<std::size_t>(header));
    for (std::size_t i = static_cast<std::size_t>(header) + 1; i < end; ++i) {
        const Line& l = ini.lines[i];
        if (l.kind == LineKind::kEntry && iequals(l.name, key)) return static_cast<long>(i);
    }
    return -1;
}

std::string unquote(const std::string& value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// Keeps at most `max_code_points` code points of a UTF-8 string.
std::string truncate_code_points(const std::string& s, std::size_t max_code_points) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) continue;
        if (count == max_code_points) return s.substr(0, i);
        ++count;
    }
    return s;
}

std::string encode(const IniText& ini) {
    std::string text;
    for (const Line& l : ini.lines) {
        text += l.raw;
        text += ini.newline;
    }
    if (ini.encoding == Encoding::kUtf8) return text;
    if (ini.encoding == Encoding::kUtf8Bom) return "\xEF\xBB\xBF" + text;
    const bool le = ini.encoding == Encoding::kUtf16Le;
    std::string out = le ? "\xFF\xFE" : "\xFE\xFF";
    for (wchar_t wc : utf8_to_wide(text)) {
        auto put = [&](unsigned unit) {
            const char lo = static_cast<char>(unit & 0xFF), hi = static_cast<char>(unit >> 8);
            out += le ? lo : hi;
            out += le ? hi : lo;
        };
        const auto cp = static_cast<unsigned>(wc);
        if (cp >= 0x10000) {
            put(0xD800 + ((cp - 0x10000) >> 10));
            put(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            put(cp);
        }
    }
    return out;
}

// Writes through a temporary file in the same folder, so that a failed write
// never leaves a half-written settings file behind.
bool store(const std::string& path, const IniText& ini) {
    const std::string bytes = encode(ini);
    const std::string tmp = path + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            std::remove(tmp.c_str());
            return false;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

}  // namespace

std::string ini_get_string(const std::string& path, const std::string& section,
                           const std::string& key, const std::string& default_value,
                           std::size_t max_chars) {
    if (max_chars == 0) return {};
    const IniText ini = load(path);
    const long at = find_key(ini, find_section(ini, section), key);
    const std::string value =
        at < 0 ? default_value : unquote(ini.lines[static_cast<std::size_t>(at)].value);
    return truncate_code_points(value, max_chars - 1);
}

int ini_get_int(const std::string& path, const std::string& section, const std::string& key,
                int default_value) {
    const std::string text = ini_get_string(path, section, key, "", 64);
    if (text.empty()) return default_value;
    std::size_t i = 0;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
    int base = 10;
    if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    unsigned long long value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            break;
        value = value * base + digit;
        if (value > 0xFFFFFFFFull) value &= 0xFFFFFFFFull;  // wraps as a 32-bit UINT does
    }
    const auto bits = static_cast<std::uint32_t>(value);
    return negative ? static_cast<int>(0u - bits) : static_cast<int>(bits);
}

std::vector<std::string> ini_get_section(const std::string& path, const std::string& section) {
    std::vector<std::string> entries;
    const IniText ini = load(path);
    const long header = find_section(ini, section);
    if (header < 0) return entries;
    const std::size_t end = section_end(ini, static_cast<std::size_t>(header));
    for (std::size_t i = static_cast<std::size_t>(header) + 1; i < end; ++i) {
        const Line& l = ini.lines[i];
        if (l.kind != LineKind::kEntry) continue;
        entries.push_back(l.has_equals ? l.name + "=" + l.value : l.name);
    }
    return entries;
}

bool ini_write_string(const std::string& path, const std::string& section, const std::string& key,
                      const std::optional<std::string>& value) {
    IniText ini = load(path);
    long header = find_section(ini, section);
    const long at = find_key(ini, header, key);
    if (!value) {
        if (at < 0) return true;
        ini.lines.erase(ini.lines.begin() + at);
        return store(path, ini);
    }
    if (at >= 0) {
        // The key keeps the spelling it has in the file.
        Line& line = ini.lines[static_cast<std::size_t>(at)];
        line = parse_line(line.name + "=" + *value);
        return store(path, ini);
    }
    Line entry = parse_line(key + "=" + *value);
    if (header < 0) {
        if (!ini.lines.empty() && ini.lines.back().kind != LineKind::kBlank) {
            ini.lines.push_back(parse_line(""));
        }
        ini.lines.push_back(parse_line("[" + section + "]"));
        ini.lines.push_back(std::move(entry));
        return store(path, ini);
    }
    // New keys go after the last non-blank line of the section.
    std::size_t insert = section_end(ini, static_cast<std::size_t>(header));
    while (insert > static_cast<std::size_t>(header) + 1 &&
           ini.lines[insert - 1].kind == LineKind::kBlank) {
        --insert;
    }
    ini.lines.insert(ini.lines.begin() + static_cast<long>(insert), std::move(entry));
    return store(path, ini);
}

bool ini_delete_section(const std::string& path, const std::string& section) {
    IniText ini = load(path);
    const long header = find_section(ini, section);
    if (header < 0) return true;
    const std::size_t end = section_end(ini, static_cast<std::size_t>(header));
    ini.lines.erase(ini.lines.begin() + header, ini.lines.begin() + static_cast<long>(end));
    return store(path, ini);
}

}  // namespace platform
