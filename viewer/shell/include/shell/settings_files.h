// The viewer's settings files, as bytes: KVP.cfg (play mode and last played
// entry), Playlist.lmr (the playlist) and tstamp.szy (time of the last
// update check). Pure functions; reading and writing the files is the
// caller's (see file_io.h).
//
// Thread-safety: every function is independent and keeps no state.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace shell {

// File names, all in the settings folder.
inline constexpr const char* kConfigFileName = "KVP.cfg";
inline constexpr const char* kPlaylistFileName = "Playlist.lmr";
inline constexpr const char* kStampFileName = "tstamp.szy";

// --- KVP.cfg: exactly 8 bytes, two little-endian int32, no header.

enum PlayMode : int { kPlaySequence = 0, kPlayRandom = 1, kPlaySingleCircle = 2 };
inline constexpr int kNoIndex = -1;
inline constexpr std::size_t kConfigFileBytes = 8;

struct PlayConfig {
    int play_mode = kPlaySequence;
    int last_index = kNoIndex;  // tree index of the last played entry
};

// Reads what the bytes hold: the play mode from bytes 0..3 and the last
// index from 4..7; a field the bytes do not reach keeps its default, bytes
// past 8 are ignored.
PlayConfig parse_play_config(const std::string& bytes);
std::string encode_play_config(const PlayConfig& config);

// A play mode outside 0..2 becomes sequence; a last index that names no
// entry of a playlist of `playlist_size` entries becomes kNoIndex.
PlayConfig validated_play_config(PlayConfig config, std::size_t playlist_size);

// --- Playlist.lmr: one path per line, each ended by a line feed.

// Every line is one entry, in file order. A carriage return before the line
// feed (a file written on Windows) is dropped; empty lines are skipped; a
// last line without a line feed still counts.
std::vector<std::string> parse_playlist(const std::string& bytes);
std::string encode_playlist(const std::vector<std::string>& paths);

// --- tstamp.szy: 16 bytes, a Windows SYSTEMTIME in UTC (eight
// little-endian uint16: year, month, day of week, day, hour, minute,
// second, milliseconds).

inline constexpr std::size_t kStampFileBytes = 16;

struct SystemTime {
    int year = 1601, month = 1, day_of_week = 1, day = 1;
    int hour = 0, minute = 0, second = 0, milliseconds = 0;
};

// Windows FILETIME: 100-ns intervals since 1601-01-01 00:00 UTC.
using FileTime = std::int64_t;

// Nothing for fewer than 16 bytes or a time that SystemTimeToFileTime would
// refuse (a field out of range, a day the month does not have); the day of
// the week is not checked, as Windows does not check it.
std::optional<SystemTime> parse_stamp(const std::string& bytes);
std::string encode_stamp(const SystemTime& time);

FileTime file_time_of(const SystemTime& time);
// The time (with its day of the week) of a FILETIME at or after 1601.
SystemTime system_time_of(FileTime time);
// The FILETIME of a Unix time in milliseconds.
FileTime file_time_from_unix_ms(std::int64_t unix_ms);

// Whole days from the stored stamp to `now`, by integer division of the
// difference. A missing, short or garbage stamp, or one later than `now`,
// counts as kStampUnknownDays.
inline constexpr int kStampUnknownDays = 100;
int days_since_stamp(const std::optional<std::string>& stamp_bytes, FileTime now);

// The update check runs at start when the last one is this many days old.
inline constexpr int kUpdateIntervalDays = 8;

}  // namespace shell
