// The recorder's GPS and G-sensor record: one per second of recording,
// record i belongs to playing second i. The same 120-byte little-endian
// layout is used in side files, inside MPEG-TS packets, as the samples of an
// MP4 subtitle track, and in memory, so a record is copied byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gps {

inline constexpr std::size_t kGpsRecordSize = 120;

// Fix status letters.
inline constexpr char kStatusValid = 'A';    // valid fix
inline constexpr char kStatusNoFix = 'V';    // no fix
inline constexpr char kStatusTsValid = 'B';  // also accepted from TS files
inline constexpr char kNorth = 'N';
inline constexpr char kSouth = 'S';
inline constexpr char kEast = 'E';
inline constexpr char kWest = 'W';

struct GpsRecord {
    std::int32_t hour;    // 0..23
    std::int32_t minute;  // 0..59
    std::int32_t second;  // 0..59
    char status;          // kStatusValid, kStatusNoFix (or kStatusTsValid)
    char pad0[3];
    double latitude_deg;  // decimal degrees, without sign (see ns)
    char ns;              // kNorth or kSouth
    char pad1[7];
    double longitude_deg;  // decimal degrees, without sign (see ew)
    char ew;               // kEast or kWest
    char pad2[7];
    double speed_mps;  // metres per second
    std::uint8_t unused0[8];
    std::int32_t year;   // four digits
    std::int32_t month;  // 1..12
    std::int32_t day;    // 1..31
    // G-sensor axes in the recorder's own units.
    std::int32_t gx;
    std::int32_t gy;
    std::int32_t gz;
    std::uint8_t unused1[32];
};

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "GPS records are stored little-endian and copied as they are");
static_assert(sizeof(GpsRecord) == kGpsRecordSize, "the GPS record is 120 bytes");
static_assert(offsetof(GpsRecord, hour) == 0);
static_assert(offsetof(GpsRecord, minute) == 4);
static_assert(offsetof(GpsRecord, second) == 8);
static_assert(offsetof(GpsRecord, status) == 12);
static_assert(offsetof(GpsRecord, latitude_deg) == 16);
static_assert(offsetof(GpsRecord, ns) == 24);
static_assert(offsetof(GpsRecord, longitude_deg) == 32);
static_assert(offsetof(GpsRecord, ew) == 40);
static_assert(offsetof(GpsRecord, speed_mps) == 48);
static_assert(offsetof(GpsRecord, unused0) == 56);
static_assert(offsetof(GpsRecord, year) == 64);
static_assert(offsetof(GpsRecord, month) == 68);
static_assert(offsetof(GpsRecord, day) == 72);
static_assert(offsetof(GpsRecord, gx) == 76);
static_assert(offsetof(GpsRecord, gy) == 80);
static_assert(offsetof(GpsRecord, gz) == 84);
static_assert(offsetof(GpsRecord, unused1) == 88);

// True when the record holds a position fix: only 'A' is shown as a speed
// and a position, and drawn on the map.
inline bool has_fix(const GpsRecord& r) {
    return r.status == kStatusValid;
}

// Latitude and longitude with their hemisphere applied (south and west
// negative), as map formats want them.
inline double signed_latitude(const GpsRecord& r) {
    return r.ns == kSouth ? -r.latitude_deg : r.latitude_deg;
}
inline double signed_longitude(const GpsRecord& r) {
    return r.ew == kWest ? -r.longitude_deg : r.longitude_deg;
}

}  // namespace gps
