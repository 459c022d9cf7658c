// kvptool gps FILE... [--format json|csv|gpx|maptrack|labels] [--gpx OUT]: the GPS and
// G-sensor track of each recording, as the viewer reads it, or what the
// viewer makes of it: the map page's track and the panel's texts.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "command.h"
#include "common.h"
#include "gps/track_reader.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "telemetry/map_track.h"
#include "telemetry/telemetry_text.h"
#include "trips/gpx.h"

// Named for the build that compiles the commands together.
namespace gps_command {
namespace {

struct Options {
    std::vector<std::string> files;
    std::string format = "json";
    int map_type = telemetry::kMapTypeWgs84;
    int units = 1;
    int duration_s = -1;  // the recording's length; -1: as many seconds as records
    std::string gpx;      // also write the GPX document to this file
    bool format_given = false;
};

struct Recording {
    std::string file;
    int code = gps::kTrackNotOpened;
    bool continuous = false;
    std::vector<gps::GpsRecord> track;
};

// Shortest text that reads back as the same double (17 significant digits at
// most, never fewer than the value needs).
std::string number(double v) {
    if (!std::isfinite(v)) return std::isnan(v) ? "nan" : (v > 0 ? "inf" : "-inf");
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// A status or hemisphere letter as text: printable ASCII as it is, anything
// else as \xNN so that no output format breaks on a damaged record.
std::string letter(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u < 0x7F) return std::string(1, c);
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%02X", u);
    return buf;
}

// --- JSON

nlohmann::ordered_json record_json(const gps::GpsRecord& r) {
    return {{"hour", r.hour},
            {"minute", r.minute},
            {"second", r.second},
            {"status", letter(r.status)},
            {"valid", gps::has_fix(r)},
            {"lat", r.latitude_deg},
            {"ns", letter(r.ns)},
            {"lon", r.longitude_deg},
            {"ew", letter(r.ew)},
            {"speed", r.speed_mps},
            {"year", r.year},
            {"month", r.month},
            {"day", r.day},
            {"gx", r.gx},
            {"gy", r.gy},
            {"gz", r.gz}};
}

void write_json(const std::vector<Recording>& recordings) {
    nlohmann::ordered_json all = nlohmann::ordered_json::array();
    for (const auto& rec : recordings) {
        nlohmann::ordered_json records = nlohmann::ordered_json::array();
        for (const auto& r : rec.track) records.push_back(record_json(r));
        all.push_back({{"file", rec.file},
                       {"code", rec.code},
                       {"continuous", rec.continuous},
                       {"records", records}});
    }
    const nlohmann::ordered_json& out = all.size() == 1 ? all[0] : all;
    std::cout << kvptool::json_text(out) << "\n";
}

// --- CSV

std::string csv_field(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    std::string q = "\"";
    for (char c : s) q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

void write_csv(const std::vector<Recording>& recordings) {
    std::cout << "file,index,hour,minute,second,status,valid,lat,ns,lon,ew,speed,year,month,day,"
                 "gx,gy,gz\n";
    for (const auto& rec : recordings) {
        const std::string file = csv_field(rec.file);
        for (std::size_t i = 0; i < rec.track.size(); ++i) {
            const gps::GpsRecord& r = rec.track[i];
            std::cout << file << ',' << i << ',' << r.hour << ',' << r.minute << ',' << r.second
                      << ',' << csv_field(letter(r.status)) << ',' << (gps::has_fix(r) ? 1 : 0)
                      << ',' << number(r.latitude_deg) << ',' << csv_field(letter(r.ns)) << ','
                      << number(r.longitude_deg) << ',' << csv_field(letter(r.ew)) << ','
                      << number(r.speed_mps) << ',' << r.year << ',' << r.month << ',' << r.day
                      << ',' << r.gx << ',' << r.gy << ',' << r.gz << '\n';
        }
    }
}

// --- GPX 1.1

std::vector<trips::GpxTrack> gpx_tracks(const std::vector<Recording>& recordings) {
    std::vector<trips::GpxTrack> tracks;
    for (const auto& rec : recordings) {
        if (rec.code == gps::kTrackExamined) {
            tracks.push_back({platform::file_name_of(rec.file), rec.track});
        }
    }
    return tracks;
}

// The GPX document to a file; 0, or 1 with the reason on stderr.
int write_gpx_file(const std::string& path, const std::vector<Recording>& recordings) {
    std::size_t points = 0;
    std::string why;
    if (!trips::write_gpx_file(path, gpx_tracks(recordings), points, why)) {
        std::fprintf(stderr, "kvptool gps: %s\n", why.c_str());
        return 1;
    }
    std::fprintf(stderr, "kvptool gps: %zu points written to %s\n", points, path.c_str());
    return 0;
}

int length_of(const Options& opt, const Recording& rec) {
    return opt.duration_s >= 0 ? opt.duration_s : static_cast<int>(rec.track.size());
}

// The text the map page's start() gets, one line per recording.
void write_map_tracks(const Options& opt, const std::vector<Recording>& recordings) {
    for (const auto& rec : recordings) {
        if (rec.code != gps::kTrackExamined) continue;
        std::cout << telemetry::map_track_text(rec.track, length_of(opt, rec), opt.map_type)
                  << "\n";
    }
}

// The panel's texts of every second: second, speed, position, date, time
// and the map call, tab-separated; "-" for a text a second leaves as it was.
void write_labels(const Options& opt, const std::vector<Recording>& recordings) {
    static const char* const kMarker[] = {"-", "setpos", "HidePos"};
    for (const auto& rec : recordings) {
        if (rec.code != gps::kTrackExamined) continue;
        const int n = std::min(length_of(opt, rec), static_cast<int>(rec.track.size()));
        for (int s = 0; s < n; ++s) {
            const auto t = telemetry::texts_for_second(rec.track, s, opt.units);
            if (!t) continue;
            std::cout << s << '\t' << t->speed.value_or("-") << '\t' << t->position.value_or("-")
                      << '\t' << t->date << '\t' << t->time << '\t'
                      << kMarker[static_cast<int>(t->marker)] << "\n";
        }
    }
}

int run_gps(const Options& opt) {
    std::vector<Recording> recordings;
    int exit_code = 0;
    for (const auto& file : opt.files) {
        Recording rec;
        rec.file = file;
        if (kvptool::is_special_file(file)) {
            exit_code = kvptool::refuse_special_file("gps", file, 1);
            recordings.push_back(std::move(rec));
            continue;
        }
        rec.code = gps::read_track(file, gps::is_ts_path(file), rec.track, rec.continuous);
        if (rec.code != gps::kTrackExamined) {
            std::fprintf(stderr, "kvptool gps: cannot open %s\n", file.c_str());
            exit_code = 1;
        }
        recordings.push_back(std::move(rec));
    }
    if (opt.format == "csv") {
        write_csv(recordings);
    } else if (opt.format == "maptrack") {
        write_map_tracks(opt, recordings);
    } else if (opt.format == "labels") {
        write_labels(opt, recordings);
    } else if (opt.format == "gpx") {
        trips::write_gpx(std::cout, gpx_tracks(recordings));
    } else if (opt.gpx.empty() || opt.format_given) {
        write_json(recordings);
    }
    if (!opt.gpx.empty() && write_gpx_file(opt.gpx, recordings) != 0) exit_code = 1;
    return exit_code;
}

void setup_gps(CLI::App& app, int& exit_code) {
    auto opt = std::make_shared<Options>();
    auto* sub = app.add_subcommand(
        "gps", "Write the GPS and G-sensor track of recordings (side file, TS packets, MP4 box)");
    sub->add_option("files", opt->files, "MP4 or MPEG-TS recordings")->required();
    auto* format =
        sub->add_option("--format", opt->format,
                        "json: one object per recording (an array for several); csv: one row per "
                        "record; gpx: one track per recording, a point per record with a fix; "
                        "maptrack: the map page's track text per recording; labels: the telemetry "
                        "panel's texts per second")
            ->check(CLI::IsMember({"json", "csv", "gpx", "maptrack", "labels"}));
    sub->add_option("--map-type", opt->map_type,
                    "maptrack: 0 the Chinese-datum map (BD-09 inside China), 1 WGS-84")
        ->check(CLI::Range(0, 1));
    sub->add_option("--units", opt->units, "labels: 1 KM/H and year first, 0 MPH and month first")
        ->check(CLI::Range(0, 1));
    sub->add_option("--duration", opt->duration_s,
                    "maptrack, labels: the recording's length in seconds (default: one second "
                    "per record)")
        ->check(CLI::NonNegativeNumber);
    sub->add_option("--gpx", opt->gpx,
                    "write the tracks as GPX 1.1 to this file (nothing on standard output "
                    "unless --format is given)");
    sub->callback([opt, format, &exit_code] {
        opt->format_given = format->count() > 0;
        exit_code = run_gps(*opt);
    });
}

}  // namespace
}  // namespace gps_command

KVPTOOL_COMMAND(gps, gps_command::setup_gps)
