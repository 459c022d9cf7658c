// Trips: runs of consecutive recordings of one camera in one folder. The
// recorder starts a new file where the previous one ends, so a file whose
// named start lies within a tolerance of the previous file's start plus its
// length continues the trip; a larger gap starts a new trip. Pure rules on
// numbers: no file is opened here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace trips {

// One recording as the folder scan found it.
struct Clip {
    std::string path;
    std::string camera;
    std::int64_t start_s = 0;  // civil seconds, from the file name
    double duration_s = 0;     // as FFmpeg reports it (> 0)
    bool is_ts = false;
    int gps_records = 0;  // records in its GPS track
    int gps_fixes = 0;    // of which hold a position fix

    double end_s() const { return static_cast<double>(start_s) + duration_s; }
};

struct TripRules {
    // How far (seconds) a file may start after the previous one ended and
    // still continue its trip. File names carry whole seconds and a
    // recorder needs a moment to open the next file.
    double join_tolerance_s = 3.0;
    // Joins whose gap or overlap is smaller than this are not reported.
    double reported_gap_s = 0.5;
};

// Where two consecutive files of a trip do not meet exactly.
struct Join {
    std::size_t after = 0;  // index of the earlier clip in Trip::clips
    double gap_s = 0;       // next start - previous end; negative: they overlap
};

struct Trip {
    std::string camera;
    std::vector<Clip> clips;  // in order of start
    std::vector<Join> joins;  // gaps and overlaps of at least reported_gap_s
    std::int64_t start_s = 0;
    // From start_s to the latest end of its clips; kept relative, as civil
    // seconds are too large for a double to hold fractions exactly.
    double duration_s = 0;

    double end_s() const { return static_cast<double>(start_s) + duration_s; }
    int gps_records() const;
    int gps_fixes() const;
    // Share of the trip's seconds with a position fix, 0 to 1.
    double gps_coverage() const;
};

// A file left out of every trip, and why.
struct Duplicate {
    Clip clip;
    std::string kept;  // the path of the file kept in its place
};

struct Grouping {
    std::vector<Trip> trips;  // by camera, then by start
    std::vector<Duplicate> duplicates;
};

// Groups the clips of one folder into trips. Clips of different cameras
// never share a trip. Two files of one camera with the same start are one
// recording twice (an MP4 and a TS of it, a copy): the longer one is kept,
// on a tie the one whose path sorts first, and the other is reported as a
// duplicate. A file that starts before the previous one ended continues the
// trip, its overlap reported as a negative gap.
Grouping group_trips(std::vector<Clip> clips, const TripRules& rules = {});

// The files of the trip that holds the recording `path`, in order: the
// grouping is of one folder, so the file name decides. A recording that is
// in no trip of two or more files (alone, a duplicate, not in the folder)
// gives `path` alone.
std::vector<std::string> trip_files_of(const Grouping& grouping, const std::string& path);

// How a trip is named as one source: "FIRST … LAST (N recordings)" with the
// file names; a single file is its own name.
std::string trip_files_text(const std::vector<std::string>& files);

}  // namespace trips
