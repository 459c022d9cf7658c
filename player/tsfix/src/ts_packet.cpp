#include "tsfix/ts_packet.h"

#include <cctype>
#include <ctime>

namespace tsfix {
namespace {

// Adaptation field layout (ISO/IEC 13818-1).
constexpr std::uint8_t kAdaptationFieldPresent = 0x20;  // byte 3
constexpr std::uint8_t kPcrFlag = 0x10;                 // byte 5
constexpr std::uint8_t kMinPcrAdaptationLength = 7;     // flags + 6 PCR bytes
constexpr std::int64_t kPcrTicksPerBase = 300;
constexpr std::int64_t kPcrTicksPerMs = 27000;

// Wall-clock bytes of a recorder packet.
constexpr std::size_t kTimeOffset = 12;

// "YYYYMMDD_HHMMSS": character positions of the fields of a recorder name.
struct NameField {
    std::size_t pos, len;
};
constexpr NameField kYear{0, 4}, kMonth{4, 2}, kDay{6, 2}, kHour{9, 2}, kMinute{11, 2},
    kSecond{13, 2};
constexpr std::size_t kMinNameLength = 15;

std::int64_t pcr_base(const std::uint8_t* p) {
    return (static_cast<std::int64_t>(p[6]) << 25) | (static_cast<std::int64_t>(p[7]) << 17) |
           (static_cast<std::int64_t>(p[8]) << 9) | (static_cast<std::int64_t>(p[9]) << 1) |
           (p[10] >> 7);
}

std::int64_t pcr_extension(const std::uint8_t* p) {
    return ((p[10] & 0x01) << 8) | p[11];
}

std::int64_t local_time(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&tm));
}

bool parse_field(const std::string& name, NameField f, int& value) {
    value = 0;
    for (std::size_t i = f.pos; i < f.pos + f.len; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
        value = value * 10 + (name[i] - '0');
    }
    return true;
}

}  // namespace

bool is_pcr_packet(const std::uint8_t* p) {
    return p[0] == kSyncByte && (p[1] & kPidHighMask) == kRecorderPidHigh &&
           p[2] == kRecorderPidLow;
}

bool is_unit_start_pcr_packet(const std::uint8_t* p) {
    return p[0] == kSyncByte && p[1] == kRecorderPidHighWithUnitStart && p[2] == kRecorderPidLow;
}

bool read_pcr_ms(const std::uint8_t* p, std::int64_t& pcr_ms) {
    if ((p[3] & kAdaptationFieldPresent) == 0 || (p[5] & kPcrFlag) == 0 ||
        p[4] < kMinPcrAdaptationLength) {
        return false;
    }
    pcr_ms = (pcr_base(p) * kPcrTicksPerBase + pcr_extension(p)) / kPcrTicksPerMs;
    return true;
}

std::int64_t read_pcr_raw(const std::uint8_t* p) {
    if ((p[3] & kAdaptationFieldPresent) == 0 || p[4] == 0 || (p[5] & kPcrFlag) == 0 ||
        p[4] < kMinPcrAdaptationLength) {
        return 0;
    }
    return pcr_base(p) + pcr_extension(p);
}

std::int64_t read_packet_time(const std::uint8_t* p) {
    const std::uint8_t* t = p + kTimeOffset;
    return local_time(t[0] * 100 + t[1], t[2], t[3], t[4], t[5], t[6]);
}

std::int64_t name_time_of(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.size() < kMinNameLength) return 0;
    int year, month, day, hour, minute, second;
    if (!parse_field(name, kYear, year) || !parse_field(name, kMonth, month) ||
        !parse_field(name, kDay, day) || !parse_field(name, kHour, hour) ||
        !parse_field(name, kMinute, minute) || !parse_field(name, kSecond, second)) {
        return 0;
    }
    return local_time(year, month, day, hour, minute, second);
}

bool is_consistent(std::int64_t packet_time, std::int64_t name_time) {
    const std::int64_t diff = packet_time - name_time;
    return diff >= kConsistentFromSeconds && diff <= kConsistentToSeconds;
}

bool is_ts_path(const std::string& path) {
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos) return false;
    const std::string ext = path.substr(dot + 1);
    return ext == "ts" || ext == "TS";
}

}  // namespace tsfix
