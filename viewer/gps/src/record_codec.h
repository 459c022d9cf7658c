// Decoding of the recorder's byte layouts into GpsRecord.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gps/gps_record.h"

namespace gps {

// The MP4 GPS sample found through the "gps " index box (little-endian).
inline constexpr std::size_t kMp4SampleSize = 44;
namespace mp4_sample {
inline constexpr std::size_t kHour = 4;
inline constexpr std::size_t kMinute = 8;
inline constexpr std::size_t kSecond = 12;
inline constexpr std::size_t kYear = 16;
inline constexpr std::size_t kMonth = 20;
inline constexpr std::size_t kDay = 24;
inline constexpr std::size_t kStatus = 28;
inline constexpr std::size_t kNorthSouth = 29;
inline constexpr std::size_t kEastWest = 30;
inline constexpr std::size_t kLatitudeNmea = 32;   // float, ddmm.mmmm
inline constexpr std::size_t kLongitudeNmea = 36;  // float, dddmm.mmmm
inline constexpr std::size_t kSpeedKnots = 40;     // float
}  // namespace mp4_sample

// A 120-byte record as it is stored.
GpsRecord decode_record(const std::uint8_t* bytes);

// A 44-byte MP4 GPS sample: date and time copied, status 'A' or 'V',
// hemispheres 'N'/'S' and 'E'/'W' (anything else reads as S or W),
// position converted from NMEA, speed from knots, G-sensor axes 0.
GpsRecord decode_mp4_sample(const std::uint8_t* bytes);

// Seconds of the record's calendar date and time on a uniform time line
// without daylight saving; only differences between records are meaningful.
// Out-of-range fields carry over (month 13 is January of the next year), as
// the C library's mktime does, and any int32 values are safe.
std::int64_t record_time_s(const GpsRecord& r);

}  // namespace gps
