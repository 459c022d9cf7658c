#include "trips/trip_span.h"

#include <cmath>
#include <cstdio>

namespace trips {
namespace {

constexpr int kHoursPerDay = 24, kMinutesPerHour = 60, kSecondsPerMinute = 60;

std::int64_t day_of(std::int64_t civil_s) {
    return (civil_s >= 0 ? civil_s : civil_s - (kSecondsPerDay - 1)) / kSecondsPerDay *
           kSecondsPerDay;
}

// The moment of `tod` in `t`: at or after its start and before its end
// (`end_inclusive`: up to its end), on one of the days the trip touches.
std::optional<double> moment_in(const Trip& t, int tod, bool end_inclusive) {
    for (std::int64_t day = day_of(t.start_s); static_cast<double>(day) < t.end_s();
         day += kSecondsPerDay) {
        const double at = static_cast<double>(day + tod);
        const bool after_start = end_inclusive ? at > static_cast<double>(t.start_s)
                                               : at >= static_cast<double>(t.start_s);
        const bool before_end = end_inclusive ? at <= t.end_s() : at < t.end_s();
        if (after_start && before_end) return at;
    }
    return std::nullopt;
}

std::string trip_text(const Trip& t) {
    return clock_text(t.start_s) + "-" +
           clock_text(static_cast<std::int64_t>(std::floor(t.end_s())));
}

std::string trips_text(const Grouping& g) {
    std::string text;
    for (const Trip& t : g.trips) text += (text.empty() ? "" : ", ") + trip_text(t);
    return text;
}

// The first trip after `i` of the same camera, or none.
const Trip* next_trip(const Grouping& g, std::size_t i) {
    if (i + 1 < g.trips.size() && g.trips[i + 1].camera == g.trips[i].camera) {
        return &g.trips[i + 1];
    }
    return nullptr;
}

bool find_from(const Grouping& g, const SpanRequest& r, TripSpan& span, std::string& why) {
    if (!r.from_s) {
        span.trip = 0;
        span.from_s = static_cast<double>(g.trips[0].start_s);
        return true;
    }
    for (std::size_t i = 0; i < g.trips.size(); ++i) {
        if (const auto at = moment_in(g.trips[i], *r.from_s, false)) {
            span.trip = i;
            span.from_s = *at;
            return true;
        }
    }
    why = "--from " + clock_text(*r.from_s) + " lies in no trip (trips: " + trips_text(g) + ")";
    return false;
}

bool find_to(const Grouping& g, const SpanRequest& r, TripSpan& span, std::string& why) {
    const Trip& trip = g.trips[span.trip];
    if (!r.to_s) {
        span.to_s = trip.end_s();
        return true;
    }
    // The first moment of that time of day after the start of the span.
    double at = static_cast<double>(day_of(static_cast<std::int64_t>(span.from_s)) + *r.to_s);
    if (at <= span.from_s && at + kSecondsPerDay <= trip.end_s()) at += kSecondsPerDay;
    if (at <= span.from_s) {
        why = "--from " + clock_text(static_cast<std::int64_t>(span.from_s)) +
              " is not before --to " + clock_text(*r.to_s);
        return false;
    }
    if (at > trip.end_s()) {
        const Trip* next = next_trip(g, span.trip);
        if (next != nullptr && at > static_cast<double>(next->start_s)) {
            why = "the span " + clock_text(static_cast<std::int64_t>(span.from_s)) + "-" +
                  clock_text(*r.to_s) + " runs over the gap between the trips " + trip_text(trip) +
                  " and " + trip_text(*next);
        } else {
            why =
                "--to " + clock_text(*r.to_s) + " is after the end of the trip " + trip_text(trip);
        }
        return false;
    }
    span.to_s = at;
    return true;
}

}  // namespace

std::optional<int> parse_clock_time(const std::string& text) {
    int h = 0, m = 0, s = 0;
    char extra = 0;
    const int n = std::sscanf(text.c_str(), "%d:%d:%d%c", &h, &m, &s, &extra);
    if (n != 3 && !(n == 2 && text.find(':') == text.rfind(':'))) return std::nullopt;
    if (n == 2) s = 0;
    if (h < 0 || h >= kHoursPerDay || m < 0 || m >= kMinutesPerHour || s < 0 ||
        s >= kSecondsPerMinute) {
        return std::nullopt;
    }
    return (h * kMinutesPerHour + m) * kSecondsPerMinute + s;
}

std::string clock_text(std::int64_t seconds) {
    const std::int64_t tod = seconds - day_of(seconds);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(tod / 3600),
                  static_cast<int>(tod / 60 % 60), static_cast<int>(tod % 60));
    return text;
}

bool choose_span(const Grouping& grouping, const SpanRequest& request, TripSpan& span,
                 std::string& why) {
    span = TripSpan{};
    if (grouping.trips.empty()) {
        why = "no trips";
        return false;
    }
    if (!find_from(grouping, request, span, why) || !find_to(grouping, request, span, why)) {
        return false;
    }
    const Trip& trip = grouping.trips[span.trip];
    for (std::size_t k = 0; k < trip.clips.size(); ++k) {
        const Clip& c = trip.clips[k];
        if (static_cast<double>(c.start_s) < span.to_s && c.end_s() > span.from_s) {
            span.clips.push_back(k);
        }
    }
    if (span.clips.empty()) {
        why = "no recording between " + clock_text(static_cast<std::int64_t>(span.from_s)) +
              " and " + clock_text(static_cast<std::int64_t>(span.to_s));
        return false;
    }
    span.from_in_first_s =
        span.from_s - static_cast<double>(trip.clips[span.clips.front()].start_s);
    span.to_in_last_s = span.to_s - static_cast<double>(trip.clips[span.clips.back()].start_s);
    return true;
}

}  // namespace trips
