#include "trips/recording_name.h"

#include <cctype>
#include <cstdio>

namespace trips {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::size_t kDateDigits = 8;
constexpr std::size_t kTimeDigits = 6;
constexpr std::size_t kStampLength = kDateDigits + 1 + kTimeDigits;  // with the underscore
constexpr std::size_t kMaxCameraLetters = 3;

// Days from 1970-01-01 to year-month-day (Howard Hinnant's days_from_civil).
std::int64_t days_from_civil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

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
    return days_from_civil(t.year, t.month, t.day) * kSecondsPerDay + t.hour * 3600 +
           t.minute * 60 + t.second;
}

CivilTime civil_time_of(std::int64_t seconds) {
    std::int64_t days = seconds / kSecondsPerDay;
    std::int64_t rest = seconds % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        --days;
    }
    // civil_from_days, the inverse of days_from_civil.
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    CivilTime t;
    t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2));
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
