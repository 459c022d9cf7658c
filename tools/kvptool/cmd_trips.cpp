// kvptool trips DIR [--json] [--trip N] [--gpx OUT.gpx]: the trips of a
// folder (runs of consecutive recordings of one camera), with their start,
// end, files, gaps and GPS coverage, and the route of each trip as GPX.
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "command.h"
#include "common.h"
#include "platform/paths.h"
#include "trips/folder_scan.h"
#include "trips/gpx.h"
#include "trips/recording_name.h"

// Named for the build that compiles the commands together.
namespace trips_command {
namespace {

struct Options {
    std::string folder;
    bool json = false;
    int trip = 0;  // 1-based; 0: every trip
    std::string gpx;
    double tolerance_s = trips::TripRules{}.join_tolerance_s;
};

std::string end_text(double end_s) {
    return trips::civil_text(static_cast<std::int64_t>(std::floor(end_s)));
}

std::string seconds_text(double s) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f s", s);
    return buf;
}

// Rounded to milliseconds: durations come from a probe, not a clock.
double ms_round(double s) {
    return std::round(s * 1000) / 1000;
}

// Seconds from the end of `earlier` to the start of `later`.
double gap_between(const trips::Trip& earlier, const trips::Trip& later) {
    return static_cast<double>(later.start_s - earlier.start_s) - earlier.duration_s;
}

// --- JSON

nlohmann::ordered_json clip_json(const trips::Clip& c) {
    return {{"path", c.path},
            {"name", platform::file_name_of(c.path)},
            {"start", trips::civil_text(c.start_s)},
            {"duration_s", ms_round(c.duration_s)},
            {"gps_records", c.gps_records},
            {"gps_fixes", c.gps_fixes}};
}

nlohmann::ordered_json trip_json(const trips::Trip& t, int number, const trips::Trip* previous) {
    nlohmann::ordered_json files = nlohmann::ordered_json::array();
    for (const auto& c : t.clips) files.push_back(clip_json(c));
    nlohmann::ordered_json gaps = nlohmann::ordered_json::array();
    for (const auto& j : t.joins) {
        gaps.push_back({{"after", platform::file_name_of(t.clips[j.after].path)},
                        {"gap_s", ms_round(j.gap_s)}});
    }
    nlohmann::ordered_json j = {{"number", number},
                                {"camera", t.camera},
                                {"start", trips::civil_text(t.start_s)},
                                {"end", end_text(t.end_s())},
                                {"duration_s", ms_round(t.duration_s)},
                                {"files", files},
                                {"gaps", gaps},
                                {"gps",
                                 {{"records", t.gps_records()},
                                  {"fixes", t.gps_fixes()},
                                  {"coverage", std::round(t.gps_coverage() * 1000) / 1000}}}};
    j["gap_before_s"] = previous != nullptr && previous->camera == t.camera
                            ? nlohmann::ordered_json(ms_round(gap_between(*previous, t)))
                            : nullptr;
    return j;
}

// --- text

void print_trip(const trips::Trip& t, int number) {
    std::printf("Trip %d: camera %s, %s -> %s (%s), %zu file%s, GPS %d%% (%d fixes)\n", number,
                t.camera.empty() ? "-" : t.camera.c_str(), trips::civil_text(t.start_s).c_str(),
                end_text(t.end_s()).c_str(), seconds_text(t.duration_s).c_str(), t.clips.size(),
                t.clips.size() == 1 ? "" : "s",
                static_cast<int>(std::lround(t.gps_coverage() * 100)), t.gps_fixes());
    std::size_t join = 0;
    for (std::size_t i = 0; i < t.clips.size(); ++i) {
        const auto& c = t.clips[i];
        std::printf("  %s  %s  GPS %d/%d\n", platform::file_name_of(c.path).c_str(),
                    seconds_text(c.duration_s).c_str(), c.gps_fixes, c.gps_records);
        for (; join < t.joins.size() && t.joins[join].after == i; ++join) {
            const double gap = t.joins[join].gap_s;
            std::printf("    %s %s\n", gap < 0 ? "overlap" : "gap",
                        seconds_text(std::fabs(gap)).c_str());
        }
    }
}

// --- the command

std::vector<const trips::Trip*> selected(const Options& opt, const trips::FolderTrips& found) {
    std::vector<const trips::Trip*> out;
    for (std::size_t i = 0; i < found.grouping.trips.size(); ++i) {
        if (opt.trip == 0 || static_cast<int>(i) + 1 == opt.trip) {
            out.push_back(&found.grouping.trips[i]);
        }
    }
    return out;
}

void print_json(const Options& opt, const trips::FolderTrips& found) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    const auto& all = found.grouping.trips;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (opt.trip != 0 && static_cast<int>(i) + 1 != opt.trip) continue;
        list.push_back(trip_json(all[i], static_cast<int>(i) + 1, i > 0 ? &all[i - 1] : nullptr));
    }
    nlohmann::ordered_json duplicates = nlohmann::ordered_json::array();
    for (const auto& d : found.grouping.duplicates) {
        duplicates.push_back({{"path", d.clip.path}, {"kept", d.kept}});
    }
    nlohmann::ordered_json skipped = nlohmann::ordered_json::array();
    for (const auto& s : found.skipped) skipped.push_back({{"path", s.path}, {"reason", s.reason}});
    const nlohmann::ordered_json out = {
        {"folder", opt.folder}, {"trips", list}, {"duplicates", duplicates}, {"skipped", skipped}};
    std::cout << kvptool::json_text(out) << "\n";
}

void print_text(const Options& opt, const trips::FolderTrips& found) {
    const auto& all = found.grouping.trips;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (opt.trip != 0 && static_cast<int>(i) + 1 != opt.trip) continue;
        if (i > 0 && all[i - 1].camera == all[i].camera) {
            std::printf("  (%s after the previous trip)\n",
                        seconds_text(gap_between(all[i - 1], all[i])).c_str());
        }
        print_trip(all[i], static_cast<int>(i) + 1);
    }
    for (const auto& d : found.grouping.duplicates) {
        std::printf("duplicate: %s (kept %s)\n", d.clip.path.c_str(), d.kept.c_str());
    }
    for (const auto& s : found.skipped) {
        std::printf("skipped: %s: %s\n", s.path.c_str(), s.reason.c_str());
    }
}

int write_trip_gpx(const Options& opt, const trips::FolderTrips& found) {
    std::vector<trips::GpxTrack> tracks;
    const auto& all = found.grouping.trips;
    for (const trips::Trip* t : selected(opt, found)) {
        const int number = static_cast<int>(t - all.data()) + 1;
        tracks.push_back({"Trip " + std::to_string(number) + ", camera " + t->camera + ", " +
                              trips::civil_text(t->start_s),
                          trips::trip_track(*t)});
    }
    std::size_t points = 0;
    std::string why;
    if (!trips::write_gpx_file(opt.gpx, tracks, points, why)) {
        std::fprintf(stderr, "kvptool trips: %s\n", why.c_str());
        return 1;
    }
    std::fprintf(stderr, "kvptool trips: %zu points in %zu tracks written to %s\n", points,
                 tracks.size(), opt.gpx.c_str());
    return 0;
}

int run_trips(const Options& opt) {
    if (!platform::path_exists(opt.folder)) {
        std::fprintf(stderr, "kvptool trips: %s: no such folder\n", opt.folder.c_str());
        return 1;
    }
    trips::TripRules rules;
    rules.join_tolerance_s = opt.tolerance_s;
    const trips::FolderTrips found = trips::find_trips(opt.folder, rules);
    if (!found.opened) {
        std::fprintf(stderr, "kvptool trips: cannot read %s: %s\n", opt.folder.c_str(),
                     found.error.c_str());
        return 1;
    }
    if (opt.json) {
        print_json(opt, found);
    } else {
        print_text(opt, found);
    }
    const std::size_t count = found.grouping.trips.size();
    if (count == 0) {
        std::fprintf(stderr, "kvptool trips: no recordings in %s\n", opt.folder.c_str());
        return 1;
    }
    if (opt.trip > static_cast<int>(count)) {
        std::fprintf(stderr, "kvptool trips: there is no trip %d (%zu found)\n", opt.trip, count);
        return 1;
    }
    return opt.gpx.empty() ? 0 : write_trip_gpx(opt, found);
}

void setup_trips(CLI::App& app, int& exit_code) {
    auto opt = std::make_shared<Options>();
    auto* sub = app.add_subcommand(
        "trips", "List the trips of a folder: runs of consecutive recordings of one camera");
    sub->add_option("folder", opt->folder, "folder of recordings named YYYYMMDD_HHMMSS<camera>.ts")
        ->required();
    sub->add_flag("--json", opt->json, "one JSON object: trips, duplicates, skipped files");
    sub->add_option("--trip", opt->trip, "only trip N (as numbered in the list)")
        ->check(CLI::PositiveNumber);
    sub->add_option("--gpx", opt->gpx, "write the GPS track of the trips as GPX 1.1 to this file");
    sub->add_option("--tolerance", opt->tolerance_s,
                    "seconds a file may start after the previous one ended and still continue "
                    "its trip (default 3)")
        ->check(CLI::Range(0.0, 3600.0));
    sub->callback([opt, &exit_code] { exit_code = run_trips(*opt); });
}

}  // namespace
}  // namespace trips_command

KVPTOOL_COMMAND(trips, trips_command::setup_trips)
