#include "telemetry/map_track.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <nlohmann/json.hpp>

namespace telemetry {
namespace {

constexpr double kPi = 3.141592653589793;
// Krasovsky ellipsoid, as the GCJ-02 shift is defined on it.
constexpr double kA = 6378245.0;
constexpr double kEe = 0.006693421622965943;
constexpr double kXPi = kPi * 3000.0 / 180.0;
// A fix farther than this from the track's median is a stray one.
constexpr double kOutlierDeg = 0.1;

// Mainland China, where map type 0 shifts the datum.
bool in_china_box(double lat, double lon) {
    return lon >= 73.004 && lon <= 135.0 && lat >= 4.8293 && lat <= 53.8271;
}
// Where the GCJ-02 shift applies at all.
bool in_shift_box(double lat, double lon) {
    return lon >= 72.004 && lon <= 137.8347 && lat >= 0.8293 && lat <= 55.8271;
}

double shift_lat(double x, double y) {
    double d =
        -100.0 + 2.0 * x + 3.0 * y + 0.2 * y * y + 0.1 * x * y + 0.2 * std::sqrt(std::fabs(x));
    d += (20.0 * std::sin(6.0 * x * kPi) + 20.0 * std::sin(2.0 * x * kPi)) * 2.0 / 3.0;
    d += (20.0 * std::sin(y * kPi) + 40.0 * std::sin(y / 3.0 * kPi)) * 2.0 / 3.0;
    d += (160.0 * std::sin(y / 12.0 * kPi) + 320.0 * std::sin(y * kPi / 30.0)) * 2.0 / 3.0;
    return d;
}

double shift_lon(double x, double y) {
    double d = 300.0 + x + 2.0 * y + 0.1 * x * x + 0.1 * x * y + 0.1 * std::sqrt(std::fabs(x));
    d += (20.0 * std::sin(6.0 * x * kPi) + 20.0 * std::sin(2.0 * x * kPi)) * 2.0 / 3.0;
    d += (20.0 * std::sin(x * kPi) + 40.0 * std::sin(x / 3.0 * kPi)) * 2.0 / 3.0;
    d += (150.0 * std::sin(x / 12.0 * kPi) + 300.0 * std::sin(x / 30.0 * kPi)) * 2.0 / 3.0;
    return d;
}

bool valid_status(char s) {
    return s == gps::kStatusValid || s == 'a';
}

bool usable(double lat, double lon) {
    return std::isfinite(lat) && std::isfinite(lon) && std::fabs(lat) <= 90.0 &&
           std::fabs(lon) <= 180.0;
}

double median_of(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Fifteen decimals of a value rounded to 16 significant digits, padded
// with zeros, as the map pages have always been given them: 114.05 ->
// "114.050000000000000" and 22.54 -> "22.540000000000000", where a
// correctly rounded "%.15f" writes the binary value's tail
// ("114.049999999999997").
std::string fixed15(double v) {
    constexpr int kDecimals = 15;
    char sci[40];
    std::snprintf(sci, sizeof sci, "%.15e", v);  // d.ddddddddddddddde±xx
    const bool negative = sci[0] == '-';
    const char* p = sci + (negative ? 1 : 0);
    std::string digits;
    for (; *p != 'e' && *p != '\0'; ++p) {
        if (*p != '.') digits += *p;
    }
    const int exponent = *p == 'e' ? std::atoi(p + 1) : 0;
    // The digits as integer part and fraction, the point after exponent + 1.
    const int point = exponent + 1;
    std::string integer, fraction;
    if (point <= 0) {
        integer = "0";
        fraction = std::string(static_cast<std::size_t>(-point), '0') + digits;
    } else if (static_cast<std::size_t>(point) >= digits.size()) {
        integer = digits + std::string(static_cast<std::size_t>(point) - digits.size(), '0');
    } else {
        integer = digits.substr(0, static_cast<std::size_t>(point));
        fraction = digits.substr(static_cast<std::size_t>(point));
    }
    bool carry = false;
    if (fraction.size() > kDecimals) {
        carry = fraction[kDecimals] >= '5';
        fraction.resize(kDecimals);
    }
    fraction.resize(kDecimals, '0');
    std::string number = integer + fraction;
    for (std::size_t i = number.size(); carry && i-- > 0;) {
        if (number[i] == '9') {
            number[i] = '0';
        } else {
            ++number[i];
            carry = false;
        }
    }
    if (carry) number.insert(number.begin(), '1');
    const std::size_t int_len = number.size() - kDecimals;
    return (negative ? "-" : "") + number.substr(0, int_len) + "." + number.substr(int_len);
}

std::size_t seconds_of(const std::vector<gps::GpsRecord>& track, int duration_s) {
    return std::min(track.size(), static_cast<std::size_t>(std::max(duration_s, 0)));
}

}  // namespace

LatLon wgs84_to_gcj02(LatLon p) {
    if (!in_shift_box(p.lat, p.lon)) return p;
    const double x = p.lon - 105.0, y = p.lat - 35.0;
    const double rad = p.lat / 180.0 * kPi;
    double m = std::sin(rad);
    m = 1.0 - kEe * m * m;
    const double sqrt_m = std::sqrt(m);
    const double d_lat = shift_lat(x, y) * 180.0 / ((kA * (1.0 - kEe)) / (m * sqrt_m) * kPi);
    const double d_lon = shift_lon(x, y) * 180.0 / (kA / sqrt_m * std::cos(rad) * kPi);
    return LatLon{p.lat + d_lat, p.lon + d_lon};
}

LatLon gcj02_to_bd09(LatLon p) {
    const double z = std::sqrt(p.lon * p.lon + p.lat * p.lat) + 0.00002 * std::sin(p.lat * kXPi);
    const double theta = std::atan2(p.lat, p.lon) + 0.000003 * std::cos(p.lon * kXPi);
    return LatLon{z * std::sin(theta) + 0.006, z * std::cos(theta) + 0.0065};
}

std::string map_track_text(const std::vector<gps::GpsRecord>& track, int duration_s, int map_type) {
    const std::size_t n = seconds_of(track, duration_s);
    std::vector<double> lats, lons;
    for (std::size_t i = 0; i < n; ++i) {
        const gps::GpsRecord& r = track[i];
        if (valid_status(r.status) && usable(r.latitude_deg, r.longitude_deg)) {
            lats.push_back(r.latitude_deg);
            lons.push_back(r.longitude_deg);
        }
    }
    // Without a valid fix there is nothing to take a median of: every entry
    // is "V,V;" below.
    const bool any = !lats.empty();
    const double median_lat = any ? median_of(lats) : 0.0;
    const double median_lon = any ? median_of(lons) : 0.0;
    std::string text;
    for (std::size_t i = 0; i < n; ++i) {
        const gps::GpsRecord& r = track[i];
        if (!valid_status(r.status) || !usable(r.latitude_deg, r.longitude_deg)) {
            text += "V,V;";
            continue;
        }
        LatLon p{r.latitude_deg, r.longitude_deg};
        if (std::fabs(p.lat - median_lat) > kOutlierDeg) p.lat = median_lat;
        if (std::fabs(p.lon - median_lon) > kOutlierDeg) p.lon = median_lon;
        const bool south = r.ns == gps::kSouth, west = r.ew == gps::kWest;
        if (!south && !west && in_china_box(p.lat, p.lon)) {
            if (map_type == kMapTypeChinaDatum) p = gcj02_to_bd09(wgs84_to_gcj02(p));
        } else {
            if (west) p.lon = -p.lon;
            if (south) p.lat = -p.lat;
        }
        text += fixed15(p.lon) + "," + fixed15(p.lat) + ";";
    }
    return text;
}

std::string start_script(const std::string& track_text) {
    return "start(" + nlohmann::json(track_text).dump() + ")";
}

std::string setpos_script(int second) {
    return "setpos(" + std::to_string(second) + ")";
}

std::string hide_position_script() {
    return "HidePos()";
}

std::string clear_interval_script() {
    return "window.clearInterval(timer);";
}

std::string stop_script() {
    return "Stop()";
}

std::vector<GSample> gsensor_samples(const std::vector<gps::GpsRecord>& track, int duration_s) {
    const std::size_t n = seconds_of(track, duration_s);
    std::vector<GSample> out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        out.push_back(GSample{track[i].gx, track[i].gy, track[i].gz});
    return out;
}

}  // namespace telemetry
