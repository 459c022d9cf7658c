#include "trips/gpx.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

#include <unistd.h>

#include "platform/text.h"

namespace trips {
namespace {

// Shortest text that reads back as the same double.
std::string number(double v) {
    if (!std::isfinite(v)) return std::isnan(v) ? "nan" : (v > 0 ? "inf" : "-inf");
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// Text for XML: valid UTF-8 without control characters, markup escaped.
std::string xml_text(const std::string& s) {
    const std::string utf8 = platform::wide_to_utf8(platform::utf8_to_wide(s));
    std::string out;
    for (char c : utf8) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') out += c;
        }
    }
    return out;
}

void write_point(std::ostream& out, const gps::GpsRecord& r) {
    char coords[96];
    std::snprintf(coords, sizeof coords, "lat=\"%.9f\" lon=\"%.9f\"", gps::signed_latitude(r),
                  gps::signed_longitude(r));
    out << "      <trkpt " << coords << ">\n";
    const std::string time = gpx_time(r);
    if (!time.empty()) out << "        <time>" << time << "</time>\n";
    out << "        <desc>speed " << number(r.speed_mps) << " m/s</desc>\n";
    out << "      </trkpt>\n";
}

}  // namespace

bool is_gpx_point(const gps::GpsRecord& r) {
    const double lat = gps::signed_latitude(r), lon = gps::signed_longitude(r);
    return gps::has_fix(r) && std::isfinite(lat) && std::isfinite(lon) && std::fabs(lat) <= 90 &&
           std::fabs(lon) <= 180;
}

std::string gpx_time(const gps::GpsRecord& r) {
    if (r.year < 1 || r.year > 9999 || r.month < 1 || r.month > 12 || r.day < 1 || r.day > 31 ||
        r.hour < 0 || r.hour > 23 || r.minute < 0 || r.minute > 59 || r.second < 0 ||
        r.second > 59) {
        return {};
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02dZ", r.year, r.month, r.day, r.hour,
                  r.minute, r.second);
    return buf;
}

std::size_t write_gpx(std::ostream& out, const std::vector<GpxTrack>& tracks) {
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<gpx version=\"1.1\" creator=\"kvptool\" "
           "xmlns=\"http://www.topografix.com/GPX/1/1\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
           "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
           "http://www.topografix.com/GPX/1/1/gpx.xsd\">\n";
    std::size_t points = 0;
    for (const GpxTrack& track : tracks) {
        out << "  <trk>\n    <name>" << xml_text(track.name) << "</name>\n    <trkseg>\n";
        for (const gps::GpsRecord& r : track.records) {
            if (!is_gpx_point(r)) continue;
            write_point(out, r);
            ++points;
        }
        out << "    </trkseg>\n  </trk>\n";
    }
    out << "</gpx>\n";
    return points;
}

bool write_gpx_file(const std::string& path, const std::vector<GpxTrack>& tracks,
                    std::size_t& points, std::string& why) {
    const std::string temp = path + ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) {
            why = "cannot create " + temp + ": " + std::strerror(errno);
            return false;
        }
        points = write_gpx(out, tracks);
        out.flush();
        if (!out) {
            why = "cannot write " + temp;
            out.close();
            ::unlink(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        why = "cannot rename " + temp + " to " + path + ": " + std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace trips
