#include "telemetry/telemetry_text.h"

#include <cmath>
#include <cstdio>

namespace telemetry {
namespace {

constexpr double kKmhPerMps = 3.6;
constexpr double kMphPerMps = 2.23693632;
constexpr int kMetric = 1;

std::string format(const char* f, int a, int b, int c) {
    char text[64];
    std::snprintf(text, sizeof text, f, a, b, c);
    return text;
}

}  // namespace

std::string speed_text(double speed_mps, int units_flag) {
    const double mps = std::isfinite(speed_mps) && speed_mps > 0.0 ? speed_mps : 0.0;
    char text[64];
    if (units_flag == kMetric) {
        std::snprintf(text, sizeof text, "%.0fKM/H", mps * kKmhPerMps);
    } else {
        std::snprintf(text, sizeof text, "%.0fMPH", mps * kMphPerMps);
    }
    return text;
}

std::string degree_text(double value) {
    const float v = std::isfinite(value) ? static_cast<float>(value) : 0.0f;
    int degrees = static_cast<int>(v);
    const float fraction = v - static_cast<float>(degrees);
    int minutes = static_cast<int>(fraction * 60.0f);
    const float x = (fraction * 60.0f - static_cast<float>(minutes)) * 60.0f;
    int seconds = static_cast<int>(x);
    if (static_cast<int>(x * 10.0f) % 10 >= 5) ++seconds;  // half up on the first decimal
    if (seconds == 60) {
        seconds = 0;
        ++minutes;
    }
    if (minutes == 60) {
        minutes = 0;
        ++degrees;
    }
    return format("%d\u00b0%d'%d\"", degrees, minutes, seconds);
}

std::string position_text(const gps::GpsRecord& r) {
    return degree_text(r.latitude_deg) + r.ns + ", " + degree_text(r.longitude_deg) + r.ew;
}

std::string date_text(const gps::GpsRecord& r, int units_flag) {
    if (units_flag == kMetric) return format("%04d-%02d-%02d", r.year, r.month, r.day);
    return format("%02d-%02d-%04d", r.month, r.day, r.year);
}

std::string time_text(const gps::GpsRecord& r) {
    return format("%02d:%02d:%02d", r.hour, r.minute, r.second);
}

std::optional<SecondTexts> texts_for_second(const std::vector<gps::GpsRecord>& track, int second,
                                            int units_flag) {
    if (second < 0 || static_cast<std::size_t>(second) >= track.size()) return std::nullopt;
    const gps::GpsRecord& r = track[static_cast<std::size_t>(second)];
    SecondTexts t;
    t.second = second;
    if (r.status == gps::kStatusValid) {
        t.speed = speed_text(r.speed_mps, units_flag);
        t.position = position_text(r);
        t.marker = MarkerCall::setpos;
    } else if (r.status == gps::kStatusNoFix) {
        t.marker = MarkerCall::hide;
    }
    t.date = date_text(r, units_flag);
    t.time = time_text(r);
    return t;
}

std::optional<SecondTexts> TelemetryDisplay::show(const std::vector<gps::GpsRecord>& track,
                                                  int second, int units_flag) {
    if (second == last_second_) return std::nullopt;
    last_second_ = second;
    return texts_for_second(track, second, units_flag);
}

}  // namespace telemetry
