// The player controller's rules as pure functions: which files it plays,
// how long a recorder's TS file plays, the volume, brightness and mirror
// settings as the player takes them, the seek slider, the time label, and
// where a recording's calibration lies.
//
// Thread-safety: every function is independent and keeps no state (the
// calibration lookup reads a folder).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace controller {

// A recording the player opens: ".mp4" or ".ts" at the end of the file-name
// part, compared without regard to case.
bool is_playable_recording(const std::string& path);
bool is_ts_recording(const std::string& path);

// A rear camera's file: the file name before its extension, upper-cased,
// ends in "B", "OUT", "EAR", "B_SOS" or "B_CCTV" (a playable recording).
bool is_rear_camera_file(const std::string& path);

// The length a TS recording plays, from the player's duration D (whole
// seconds), the number of GPS records G (one per second; 0 without a track)
// and the end time E (milliseconds; 0 when unset). The GPS track bounds a
// recording whose end is damaged, and a short end time bounds it further.
struct TsLength {
    int duration_s = 0;
    int gps_records = 0;  // G after the rule (at most D)
    int end_time_ms = 0;
};
TsLength ts_length(int duration_s, int gps_records, int end_time_ms);

// The player's mixing volume (0 to 128) for the volume slider (0 to 100):
// value / 100 x 128 in single precision, truncated; 50 gives 64.
int player_volume(int slider_value);

// The brightness slider (0 to 100) as a brightness from -1.0 to +1.0:
// (value - 50) x 0.02; 50 gives 0.
double brightness_of(int slider_value);

// The video filter for a brightness and, on a flat video, the mirror:
// "eq=contrast=%.1f:brightness=%.1f" with contrast and brightness each at
// most 9, after "hflip," when mirrored. Brightness 0 without the mirror
// gives "" (no filter). Composed in one text, so that a brightness change
// keeps the mirror and the other way round.
std::string video_filter_text(double contrast, double brightness, bool mirrored);

// The seek target in whole milliseconds for the seek slider's per-mille
// value (0 to 1000) on a recording of `duration_s` seconds: the value + 1
// per mille of the length, clamped into [0, 1000] per mille and to the
// last whole second (the player refuses its end). Nothing for a recording
// without length.
std::optional<std::int64_t> seek_target_ms(int permille, int duration_s);

// The seek slider's position (0 to 1000) at second `second` of a recording
// of `duration_s` seconds.
int slider_position(int second, int duration_s);

// "H:MM:SS" for a time in whole seconds (negative as 0), without locale and
// without wrapping at a day.
std::string time_label(std::int64_t seconds);
// "H:MM:SS / H:MM:SS".
std::string position_label(std::int64_t position_s, std::int64_t duration_s);

// The calibration beside a recording: the lowest-named regular file whose
// name ends in ".inf" (any case) in the recording's folder, by absolute
// path; empty when there is none.
std::string calibration_beside(const std::string& media_path);

// Where the calibration prepared for a recording is kept: a per-user cache
// file named after the recording (its folder and name), never the
// configured calibration the program ships with. `cache_dir` is the cache
// folder (see default_cache_dir).
std::string prepared_calibration_path(const std::string& cache_dir, const std::string& media_path);
// $XDG_CACHE_HOME/kvp, else $HOME/.cache/kvp, else the temporary folder.
std::string default_cache_dir();

}  // namespace controller
