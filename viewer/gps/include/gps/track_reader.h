// Reads the GPS and G-sensor track of one recording: from its side file when
// there is one, else from the recording itself (the GPS packets of an
// MPEG-TS file, or the "gps " index box or a subtitle track of an MP4 file).
//
// Thread-safety: every call is independent and keeps no state; the track
// belongs to the caller.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "gps/gps_record.h"

namespace gps {

// What read_track returns.
inline constexpr int kTrackExamined = 1;   // the recording (or side file) was read
inline constexpr int kTrackNotOpened = 0;  // it could not be opened; the track is empty

// The track of `path` into `track` (replaced), with `continuous` set only by
// the MPEG-TS scan when it kept more than one record. `is_ts` selects the
// MPEG-TS scan instead of the MP4 walk (see is_ts_path). Returns
// kTrackExamined or kTrackNotOpened. Logs "Get GPS <path>" when it starts
// and, for MPEG-TS, the time the scan took (debug output).
int read_track(const std::string& path, bool is_ts, std::vector<GpsRecord>& track,
               bool& continuous);

// True exactly when the path ends in ".ts", compared without regard to case.
bool is_ts_path(std::string_view path);

// The side file that holds the track of a recording: when the recording's
// folder name ends in 'A', the sibling folder ending in 'G' holds a file of
// the recording's name with the extension ".gps" (/REC/MOVA/CLIP1.MP4 ->
// /REC/MOVG/CLIP1.gps). Empty when the recording can have no side file.
std::string side_file_path(const std::string& path);

// Degrees from an NMEA ddmm.mmmm (or dddmm.mmmm) value, in single precision
// as the recorder's own software computes it: 2232.5 -> 22.541666.
double nmea_to_degrees(float nmea);

// Knots to metres per second.
double knots_to_mps(float knots);

}  // namespace gps
