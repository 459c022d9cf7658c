#include "export_trip.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "trips/folder_scan.h"

namespace kvptool {
namespace {

constexpr int kSecondsPerMinute = 60;

std::string minutes_text(std::int64_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02d",
                  static_cast<long long>(seconds / kSecondsPerMinute),
                  static_cast<int>(seconds % kSecondsPerMinute));
    return text;
}

bool clock_option(const char* name, const std::string& text, std::optional<int>& value,
                  std::string& why) {
    if (text.empty()) return true;
    value = trips::parse_clock_time(text);
    if (!value) why = std::string(name) + " " + text + " is not a time of day (HH:MM:SS)";
    return value.has_value();
}

}  // namespace

bool plan_trip(const std::string& dir, const std::string& from, const std::string& to,
               JoinPlan& plan, std::string& why) {
    trips::SpanRequest request;
    if (!clock_option("--from", from, request.from_s, why) ||
        !clock_option("--to", to, request.to_s, why)) {
        return false;
    }
    const trips::FolderTrips found = trips::find_trips(dir);
    if (!found.opened) {
        why = found.error;
        return false;
    }
    if (found.grouping.trips.empty()) {
        why = "no recordings in " + dir;
        return false;
    }
    if (!trips::choose_span(found.grouping, request, plan.span, why)) return false;
    const trips::Trip& trip = found.grouping.trips[plan.span.trip];
    plan.sources.clear();
    for (std::size_t k : plan.span.clips) plan.sources.push_back(trip.clips[k].path);
    plan.clock_span = !from.empty() || !to.empty();
    return true;
}

bool converter_span(const JoinPlan& plan, const exporter::JoinTimeline& timeline, std::string& from,
                    std::string& to, std::string& why) {
    if (!plan.clock_span || timeline.empty()) return true;
    const exporter::JoinSegment& first = timeline.front();
    const exporter::JoinSegment& last = timeline.back();
    // The converter starts at whole seconds (from the key frame before).
    const auto from_s = static_cast<std::int64_t>(
        std::floor(static_cast<double>(first.start_ms) / 1000.0 + plan.span.from_in_first_s));
    const double end_s = static_cast<double>(last.start_ms + last.duration_ms) / 1000.0;
    // The converter ends at whole seconds, at most the whole seconds of the
    // joined file; a millisecond's rounding of the end must not lose one.
    constexpr double kEndSlack_s = 0.01;
    const auto to_s =
        std::min(std::llround(static_cast<double>(last.start_ms) / 1000.0 + plan.span.to_in_last_s),
                 static_cast<long long>(std::floor(end_s + kEndSlack_s)));
    if (to_s <= from_s) {
        why = "the span is shorter than a second";
        return false;
    }
    from = minutes_text(std::max<std::int64_t>(from_s, 0));
    to = minutes_text(to_s);
    return true;
}

std::int64_t span_start_ms(const std::string& from) {
    int minutes = 0, seconds = 0;
    if (std::sscanf(from.c_str(), "%d:%d", &minutes, &seconds) == 2) {
        return (static_cast<std::int64_t>(minutes) * kSecondsPerMinute + seconds) * 1000;
    }
    if (std::sscanf(from.c_str(), "%d", &seconds) == 1) return std::int64_t{seconds} * 1000;
    return 0;
}

void print_timeline(const exporter::JoinTimeline& timeline) {
    for (const exporter::JoinSegment& s : timeline) {
        std::printf("segment %s at %.3f s for %.3f s\n", s.path.c_str(),
                    static_cast<double>(s.start_ms) / 1000.0,
                    static_cast<double>(s.duration_ms) / 1000.0);
    }
    std::fflush(stdout);
}

}  // namespace kvptool
