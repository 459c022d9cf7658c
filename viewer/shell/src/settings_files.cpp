#include "shell/settings_files.h"

#include "platform/civil_date.h"

namespace shell {
namespace {

constexpr FileTime kTicksPerMs = 10000;
constexpr FileTime kTicksPerDay = 24LL * 60 * 60 * 1000 * kTicksPerMs;
// Days from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kDaysFrom1601To1970 = 134774;
// 1601-01-01 was a Monday.
constexpr int kWeekdayOf1601 = 1;

std::uint32_t read_le32(const std::string& bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
    return v;
}

int read_le16(const std::string& bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]) | (static_cast<unsigned char>(bytes[at + 1]) << 8);
}

void append_le(std::string* out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

bool is_leap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int days_in_month(int year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap(year) ? 29 : kDays[month - 1];
}

void civil_from_days(std::int64_t z, int* year, int* month, int* day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *year = static_cast<int>(yoe + era * 400 + (*month <= 2));
}

bool is_valid(const SystemTime& t) {
    if (t.year < 1601 || t.year > 30827 || t.month < 1 || t.month > 12) return false;
    if (t.day < 1 || t.day > days_in_month(t.year, t.month)) return false;
    return t.hour < 24 && t.minute < 60 && t.second < 60 && t.milliseconds < 1000;
}

}  // namespace

PlayConfig parse_play_config(const std::string& bytes) {
    PlayConfig config;
    if (bytes.size() >= 4) config.play_mode = static_cast<std::int32_t>(read_le32(bytes, 0));
    if (bytes.size() >= 8) config.last_index = static_cast<std::int32_t>(read_le32(bytes, 4));
    return config;
}

std::string encode_play_config(const PlayConfig& config) {
    std::string out;
    append_le(&out, static_cast<std::uint32_t>(config.play_mode), 4);
    append_le(&out, static_cast<std::uint32_t>(config.last_index), 4);
    return out;
}

PlayConfig validated_play_config(PlayConfig config, std::size_t playlist_size) {
    if (config.play_mode < kPlaySequence || config.play_mode > kPlaySingleCircle) {
        config.play_mode = kPlaySequence;
    }
    if (config.last_index < 0 || static_cast<std::size_t>(config.last_index) >= playlist_size) {
        config.last_index = kNoIndex;
    }
    return config;
}

std::vector<std::string> parse_playlist(const std::string& bytes) {
    std::vector<std::string> paths;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) paths.push_back(std::move(line));
        start = end + 1;
    }
    return paths;
}

std::string encode_playlist(const std::vector<std::string>& paths) {
    std::string out;
    for (const std::string& path : paths) out += path + '\n';
    return out;
}

std::optional<SystemTime> parse_stamp(const std::string& bytes) {
    if (bytes.size() < kStampFileBytes) return std::nullopt;
    SystemTime t;
    int* fields[8] = {&t.year, &t.month,  &t.day_of_week, &t.day,
                      &t.hour, &t.minute, &t.second,      &t.milliseconds};
    for (int i = 0; i < 8; ++i) *fields[i] = read_le16(bytes, 2 * static_cast<std::size_t>(i));
    if (!is_valid(t)) return std::nullopt;
    return t;
}

std::string encode_stamp(const SystemTime& t) {
    std::string out;
    for (int v :
         {t.year, t.month, t.day_of_week, t.day, t.hour, t.minute, t.second, t.milliseconds}) {
        append_le(&out, static_cast<std::uint32_t>(v), 2);
    }
    return out;
}

FileTime file_time_of(const SystemTime& t) {
    const std::int64_t days =
        platform::days_from_civil(t.year, t.month, t.day) + kDaysFrom1601To1970;
    const std::int64_t ms =
        ((static_cast<std::int64_t>(t.hour) * 60 + t.minute) * 60 + t.second) * 1000 +
        t.milliseconds;
    return days * kTicksPerDay + ms * kTicksPerMs;
}

SystemTime system_time_of(FileTime time) {
    const std::int64_t days = time / kTicksPerDay;
    std::int64_t ms = (time % kTicksPerDay) / kTicksPerMs;
    SystemTime t;
    civil_from_days(days - kDaysFrom1601To1970, &t.year, &t.month, &t.day);
    t.day_of_week = static_cast<int>((days + kWeekdayOf1601) % 7);
    t.milliseconds = static_cast<int>(ms % 1000);
    ms /= 1000;
    t.second = static_cast<int>(ms % 60);
    ms /= 60;
    t.minute = static_cast<int>(ms % 60);
    t.hour = static_cast<int>(ms / 60);
    return t;
}

FileTime file_time_from_unix_ms(std::int64_t unix_ms) {
    return (kDaysFrom1601To1970 * 24 * 3600 * 1000 + unix_ms) * kTicksPerMs;
}

int days_since_stamp(const std::optional<std::string>& stamp_bytes, FileTime now) {
    if (!stamp_bytes) return kStampUnknownDays;
    const std::optional<SystemTime> stamp = parse_stamp(*stamp_bytes);
    if (!stamp) return kStampUnknownDays;
    const FileTime then = file_time_of(*stamp);
    if (then > now) return kStampUnknownDays;
    // The original divides by 60, 60, 24 and 10,000,000 in turn; integer
    // division by each factor gives the same as one division by the product.
    return static_cast<int>((now - then) / kTicksPerDay);
}

}  // namespace shell
