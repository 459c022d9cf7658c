// The telemetry panel's texts for one second of a recording: speed,
// position, date and time from the GPS record of that second, and which
// call moves the map's marker. Pure functions, and the small state that
// keeps the panel from being refreshed twice for one second.
//
// Units flag: 1 metric (KM/H, year-first dates), 0 imperial (MPH,
// month-first dates).
//
// Thread-safety: the functions keep no state; a TelemetryDisplay belongs
// to its caller's thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "gps/gps_record.h"

namespace telemetry {

// "%.0fKM/H" of speed x 3.6, or "%.0fMPH" of speed x 2.23693632; a
// negative or non-finite speed counts as 0.
std::string speed_text(double speed_mps, int units_flag);

// Degrees, minutes and seconds of a coordinate taken in single precision:
// whole seconds rounded half up on their first decimal, 60 seconds carried
// into the minutes and 60 minutes into the degrees: 22.5 -> 22°30'0",
// 10.99999 -> 11°0'0".
std::string degree_text(double value);

// "22°30'0"N, 114°3'0"E": latitude and longitude with their hemisphere
// letters.
std::string position_text(const gps::GpsRecord& r);

// "%04d-%02d-%02d" (metric) or "%02d-%02d-%04d" (month first).
std::string date_text(const gps::GpsRecord& r, int units_flag);
// "hh:mm:ss".
std::string time_text(const gps::GpsRecord& r);

// What moves the map's marker for a second: nothing, the marker to the
// second, or the marker hidden.
enum class MarkerCall { none, setpos, hide };

// The panel for one second. Speed and position change only with a valid
// fix (status 'A'); date and time always.
struct SecondTexts {
    int second = 0;
    std::optional<std::string> speed, position;
    std::string date, time;
    MarkerCall marker = MarkerCall::none;
};

// The texts of second `second`; nothing for a second beyond the track.
std::optional<SecondTexts> texts_for_second(const std::vector<gps::GpsRecord>& track, int second,
                                            int units_flag);

// Refreshes the panel at most once per second of playback.
class TelemetryDisplay {
public:
    // The texts when `second` differs from the one shown last (and lies in
    // the track); nothing otherwise.
    std::optional<SecondTexts> show(const std::vector<gps::GpsRecord>& track, int second,
                                    int units_flag);
    // After an open, a seek or a stop: the next second is shown whatever
    // it is.
    void reset() { last_second_ = kNone; }

private:
    static constexpr long long kNone = -1;
    long long last_second_ = kNone;
};

}  // namespace telemetry
