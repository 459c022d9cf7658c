#include "trips/recording_name.h"

#include <cctype>
#include <cstdio>

#include "platform/civil_date.h"

namespace trips {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::size_t kDateDigits = 8;
constexpr std::size_t kTimeDigits = 6;
constexpr std::size_t kStampLength = kDateDigits + 1 + kTimeDigits;  // with the underscore
constexpr std::size_t kMaxCameraLetters = 3;

bool is_leap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int days_in_month(int y, int m) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && is_leap(y) ? 29 : kDays[m - 1];
}

bool valid(const CivilTime& t) {
    return t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= days_in_month(t.year, t.month) &&
           t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 && t.second >= 0 &&
           t.second <= 59;
}

// The value of `count` decimal digits at `at`, or -1 when one is not a digit.
int digits(std::string_view s, std::size_t at, std::size_t count) {
    int v = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) return -1;
        v = v * 10 + (s[i] - '0');
    }
    return v;
}

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::int64_t civil_seconds(const CivilTime& t) {
    return platform::days_from_civil(t.year, t.month, t.day) * kSecondsPerDay + t.hour * 3600 +
           t.minute * 60 + t.second;
}

CivilTime civil_time_of(std::int64_t seconds) {
    std::int64_t days = seconds / kSecondsPerDay;
    std::int64_t rest = seconds % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        --days;
    }
    const platform::CivilDate date = platform::civil_from_days(days);
    CivilTime t;
    t.day = date.day;
    t.month = date.month;
    t.year = static_cast<int>(date.year);
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest / 60 % 60);
    t.second = static_cast<int>(rest % 60);
    return t;
}

std::string civil_text(std::int64_t seconds) {
    const CivilTime t = civil_time_of(seconds);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return buf;
}

std::optional<RecordingName> parse_recording_name(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot < kStampLength) return std::nullopt;
    const std::string_view ext = name.substr(dot);
    RecordingName out;
    out.is_ts = iequals(ext, ".ts");
    if (!out.is_ts && !iequals(ext, ".mp4")) return std::nullopt;
    if (name[kDateDigits] != '_') return std::nullopt;
    const int date = digits(name, 0, kDateDigits);
    const int time = digits(name, kDateDigits + 1, kTimeDigits);
    if (date < 0 || time < 0) return std::nullopt;
    const CivilTime t{date / 10000, date / 100 % 100, date % 100,
                      time / 10000, time / 100 % 100, time % 100};
    if (!valid(t)) return std::nullopt;
    const std::string_view letters = name.substr(kStampLength, dot - kStampLength);
    if (letters.size() > kMaxCameraLetters) return std::nullopt;
    for (char c : letters) {
        if (!std::isalpha(static_cast<unsigned char>(c))) return std::nullopt;
        out.camera += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    out.start_s = civil_seconds(t);
    return out;
}

}  // namespace trips
