#include "trips/trip_grouping.h"

#include <algorithm>
#include <cmath>
#include <tuple>

#include "platform/paths.h"

namespace trips {
namespace {

bool earlier(const Clip& a, const Clip& b) {
    // Same camera and start: the longer first, then by path, so that the
    // first of a run of equal starts is the one kept.
    return std::tie(a.camera, a.start_s) < std::tie(b.camera, b.start_s) ||
           (std::tie(a.camera, a.start_s) == std::tie(b.camera, b.start_s) &&
            (a.duration_s > b.duration_s || (a.duration_s == b.duration_s && a.path < b.path)));
}

Trip start_trip(Clip clip) {
    Trip t;
    t.camera = clip.camera;
    t.start_s = clip.start_s;
    t.duration_s = clip.duration_s;
    t.clips.push_back(std::move(clip));
    return t;
}

// Adds `clip` to `trip` when it continues it; false when it starts a new one.
bool continue_trip(Trip& trip, Clip& clip, const TripRules& rules) {
    if (clip.camera != trip.camera) return false;
    const double offset = static_cast<double>(clip.start_s - trip.start_s);
    const double gap = offset - trip.duration_s;
    if (gap > rules.join_tolerance_s) return false;
    if (std::fabs(gap) >= rules.reported_gap_s) trip.joins.push_back({trip.clips.size() - 1, gap});
    trip.duration_s = std::max(trip.duration_s, offset + clip.duration_s);
    trip.clips.push_back(std::move(clip));
    return true;
}

}  // namespace

int Trip::gps_records() const {
    int n = 0;
    for (const Clip& c : clips) n += c.gps_records;
    return n;
}

int Trip::gps_fixes() const {
    int n = 0;
    for (const Clip& c : clips) n += c.gps_fixes;
    return n;
}

double Trip::gps_coverage() const {
    // The recorder writes one record a second; a trip of 59.96 s has 60.
    const double seconds = std::round(duration_s);
    if (seconds <= 0) return 0;
    return std::clamp(gps_fixes() / seconds, 0.0, 1.0);
}

Grouping group_trips(std::vector<Clip> clips, const TripRules& rules) {
    std::sort(clips.begin(), clips.end(), earlier);
    Grouping out;
    for (Clip& clip : clips) {
        if (!out.trips.empty()) {
            Trip& last = out.trips.back();
            const Clip& previous = last.clips.back();
            if (previous.camera == clip.camera && previous.start_s == clip.start_s) {
                out.duplicates.push_back({std::move(clip), previous.path});
                continue;
            }
            if (continue_trip(last, clip, rules)) continue;
        }
        out.trips.push_back(start_trip(std::move(clip)));
    }
    return out;
}

std::vector<std::string> trip_files_of(const Grouping& grouping, const std::string& path) {
    const std::string name = platform::file_name_of(path);
    for (const Trip& trip : grouping.trips) {
        if (trip.clips.size() < 2) continue;
        const auto held = std::find_if(trip.clips.begin(), trip.clips.end(), [&](const Clip& c) {
            return platform::file_name_of(c.path) == name;
        });
        if (held == trip.clips.end()) continue;
        std::vector<std::string> files;
        for (const Clip& c : trip.clips) files.push_back(c.path);
        return files;
    }
    return {path};
}

std::string trip_files_text(const std::vector<std::string>& files) {
    if (files.empty()) return "";
    const std::string first = platform::file_name_of(files.front());
    if (files.size() == 1) return first;
    return first + " \u2026 " + platform::file_name_of(files.back()) + " (" +
           std::to_string(files.size()) + " recordings)";
}

}  // namespace trips
