// The three places a track is read from. Each checks every size, count and
// offset against the bytes that are really there: a damaged source gives a
// shorter (or empty) track, never a read outside it or an allocation larger
// than the source.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "byte_source.h"
#include "gps/gps_record.h"

namespace gps {

// At most one day of recording (one record per second) is read from any
// source; the rest of a larger track is dropped.
inline constexpr std::size_t kMaxTrackRecords = 24 * 60 * 60;

// Side file: the whole 120-byte records it holds (a partial last record is
// left out). False when it cannot be opened or holds no whole record; the
// recording itself is read then.
bool read_side_file(const std::string& side_path, std::vector<GpsRecord>& track);

// MPEG-TS scan.
inline constexpr std::size_t kTsPacketSize = 188;
inline constexpr std::size_t kTsPacketsPerChunk = 128;
inline constexpr std::size_t kTsChunkSize = kTsPacketSize * kTsPacketsPerChunk;  // 24,064
inline constexpr unsigned kGpsPid = 0x300;
inline constexpr unsigned kGpsEndPid = 0x350;
inline constexpr std::size_t kTsRecordOffset = 18;  // record offset inside a GPS packet
// A scan that has met no GPS packet after this many packets gives up.
inline constexpr std::size_t kTsPacketsWithoutGps = 20;
// Consecutive kept records further apart than this end the scan.
inline constexpr long long kTsMaxTimeJump_s = 100;
inline constexpr std::size_t kTsReservedRecords = 512;

struct TsScanResult {
    std::vector<GpsRecord> track;  // empty unless more than one record was kept
    bool continuous = false;       // set together with a non-empty track
    std::uint64_t bytes_read = 0;  // what the scan cost
};
TsScanResult scan_ts(ByteSource& source);

// MP4 walk: the records of the "gps " index box when it has entries, else
// those of the first subtitle ('sbtl') track, else none.
std::vector<GpsRecord> walk_mp4(ByteSource& source);

}  // namespace gps
