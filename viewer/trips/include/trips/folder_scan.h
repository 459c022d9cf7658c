// Finds the trips of one folder: every regular file named as the recorder
// names its recordings is probed for its length and read for its GPS track,
// then grouped (see trip_grouping.h). Subfolders are not entered: a trip is
// a run of files in one folder. Nothing is written, and TS files are not
// repaired.
//
// Thread-safety: every call is independent.
#pragma once

#include <string>
#include <vector>

#include "gps/gps_record.h"
#include "trips/trip_grouping.h"

namespace trips {

// A recording that takes part in no trip, and why.
struct Skipped {
    std::string path;
    std::string reason;
};

struct FolderTrips {
    bool opened = false;  // false: `error` says why the folder could not be read
    std::string error;
    Grouping grouping;
    std::vector<Skipped> skipped;  // named like recordings but unreadable
};

// Probes one file: its length (FFmpeg) and its GPS record counts. False
// with `why` set when the file cannot be opened or has no length.
bool probe_clip(const std::string& path, Clip& clip, std::string& why);

FolderTrips find_trips(const std::string& folder, const TripRules& rules = {});

// The GPS records of every clip of `trip`, in order.
std::vector<gps::GpsRecord> trip_track(const Trip& trip);

}  // namespace trips
