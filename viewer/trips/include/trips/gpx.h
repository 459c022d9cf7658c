// GPX 1.1 from the recorder's GPS records: one track per recording or
// trip, one point per record with a position fix (time, latitude,
// longitude, and the speed in the point's description). Records without a
// fix, or with a position off the globe, are left out.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "gps/gps_record.h"

namespace trips {

struct GpxTrack {
    std::string name;
    std::vector<gps::GpsRecord> records;
};

// True when the record becomes a point: a fix at a position on the globe.
bool is_gpx_point(const gps::GpsRecord& r);

// "YYYY-MM-DDThh:mm:ssZ" (the recorder keeps GPS time, which is UTC), or
// empty when the record's date or time is not one.
std::string gpx_time(const gps::GpsRecord& r);

// Writes the whole document; returns the number of points written.
std::size_t write_gpx(std::ostream& out, const std::vector<GpxTrack>& tracks);

// Writes the document to `path` through a temporary file beside it, renamed
// over `path` once complete, so that a failed write leaves no partial GPX.
// False with `why` set on failure.
bool write_gpx_file(const std::string& path, const std::vector<GpxTrack>& tracks,
                    std::size_t& points, std::string& why);

}  // namespace trips
