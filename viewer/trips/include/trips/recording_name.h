// The recorder names each recording after the moment it starts:
// "20241207_153000A.ts" is camera A, started 2024-12-07 15:30:00 (the
// recorder's clock, no time zone), an MPEG-TS file. Times here are civil
// seconds: seconds since 1970-01-01 00:00:00 of that clock, with no time
// zone applied, so that names compare and subtract without the machine's
// zone changing anything.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace trips {

struct CivilTime {
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// Seconds from 1970-01-01 00:00:00 to `t` on the proleptic Gregorian
// calendar (negative before 1970). `t` must be a valid date and time.
std::int64_t civil_seconds(const CivilTime& t);
// The inverse of civil_seconds.
CivilTime civil_time_of(std::int64_t seconds);
// "YYYY-MM-DD HH:MM:SS".
std::string civil_text(std::int64_t seconds);

struct RecordingName {
    std::int64_t start_s = 0;  // civil seconds
    std::string camera;        // the letters after the time, upper case ("A", "B", "AB")
    bool is_ts = false;        // ".ts" (else ".mp4"), any case
};

// The parts of a recorder's file name (no folder): eight digits of date, an
// underscore, six digits of time, up to three camera letters, then ".ts"
// or ".mp4" in any case. Anything else, or a date or time that does not
// exist (month 13, 24:00:00), gives nothing.
std::optional<RecordingName> parse_recording_name(std::string_view file_name);

}  // namespace trips
