// The map page's track and the scripts that drive the page.
//
// The track text is one entry per second: "lon,lat;" with fifteen
// decimals for a valid fix, "V,V;" otherwise. Before it is written the
// valid fixes' medians replace any coordinate farther than 0.1 degree from
// them (a stray fix), the hemisphere letters give the signs, and map type 0
// (a map in the Chinese datum) gets points inside mainland China shifted
// from WGS-84 to GCJ-02 and then to BD-09.
//
// Thread-safety: pure functions.
#pragma once

#include <string>
#include <vector>

#include "gps/gps_record.h"

namespace telemetry {

inline constexpr int kMapTypeChinaDatum = 0;  // "tarnwellmap_5.html"
inline constexpr int kMapTypeWgs84 = 1;       // "tarnwell_osm_6.html"

struct LatLon {
    double lat = 0.0, lon = 0.0;
};

// WGS-84 to GCJ-02; a point outside the shift's box comes back unchanged.
LatLon wgs84_to_gcj02(LatLon p);
// GCJ-02 to BD-09.
LatLon gcj02_to_bd09(LatLon p);

// The track text of the first min(duration_s, records) seconds.
std::string map_track_text(const std::vector<gps::GpsRecord>& track, int duration_s, int map_type);

// The scripts run in the page. A text argument is JSON-encoded.
std::string start_script(const std::string& track_text);
std::string setpos_script(int second);
std::string hide_position_script();
std::string clear_interval_script();  // on pause, and before and after a seek
std::string stop_script();

// The G-sensor samples of the same seconds, for the chart.
struct GSample {
    int x = 0, y = 0, z = 0;
};
std::vector<GSample> gsensor_samples(const std::vector<gps::GpsRecord>& track, int duration_s);

}  // namespace telemetry
