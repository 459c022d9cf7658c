#include "record_codec.h"

#include <cmath>
#include <cstring>

#include "gps/track_reader.h"
#include "platform/civil_date.h"

namespace gps {
namespace {

constexpr double kMetresPerNauticalMile = 1852.0;
constexpr double kSecondsPerHour = 3600.0;
constexpr std::int64_t kSecondsPerDay = 86400;

std::int32_t le32(const std::uint8_t* p) {
    std::int32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

float le_float(const std::uint8_t* p) {
    float v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Floor division, for normalising negative months and days.
std::int64_t floor_div(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

}  // namespace

double nmea_to_degrees(float nmea) {
    // Whole degrees: the truncated value divided by 100 in integers. Done in
    // double so that values beyond int range (garbage) stay defined.
    const float whole = static_cast<float>(std::trunc(std::trunc(double{nmea}) / 100.0));
    const float degrees = whole + (nmea / 100.0f - whole) * 100.0f / 60.0f;
    return degrees;
}

double knots_to_mps(float knots) {
    return knots * kMetresPerNauticalMile / kSecondsPerHour;
}

GpsRecord decode_record(const std::uint8_t* bytes) {
    GpsRecord r;
    std::memcpy(&r, bytes, sizeof r);
    return r;
}

GpsRecord decode_mp4_sample(const std::uint8_t* bytes) {
    namespace s = mp4_sample;
    GpsRecord r{};
    r.hour = le32(bytes + s::kHour);
    r.minute = le32(bytes + s::kMinute);
    r.second = le32(bytes + s::kSecond);
    r.year = le32(bytes + s::kYear);
    r.month = le32(bytes + s::kMonth);
    r.day = le32(bytes + s::kDay);
    r.status = bytes[s::kStatus] == kStatusValid ? kStatusValid : kStatusNoFix;
    r.ns = bytes[s::kNorthSouth] == kNorth ? kNorth : kSouth;
    r.ew = bytes[s::kEastWest] == kEast ? kEast : kWest;
    r.latitude_deg = nmea_to_degrees(le_float(bytes + s::kLatitudeNmea));
    r.longitude_deg = nmea_to_degrees(le_float(bytes + s::kLongitudeNmea));
    r.speed_mps = knots_to_mps(le_float(bytes + s::kSpeedKnots));
    return r;
}

std::int64_t record_time_s(const GpsRecord& r) {
    const std::int64_t month0 = std::int64_t{r.month} - 1;
    const std::int64_t year = std::int64_t{r.year} + floor_div(month0, 12);
    const std::int64_t month = month0 - floor_div(month0, 12) * 12 + 1;
    const std::int64_t days =
        platform::days_from_civil(year, static_cast<int>(month), 1) + (std::int64_t{r.day} - 1);
    return days * kSecondsPerDay + std::int64_t{r.hour} * 3600 + std::int64_t{r.minute} * 60 +
           std::int64_t{r.second};
}

}  // namespace gps
