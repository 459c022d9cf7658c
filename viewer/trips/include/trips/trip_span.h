// Choosing the part of a trip to export from clock times: the user names
// times of day on the recorder's clock (as in the file names), the rule
// finds the trip that holds them, the files that overlap the span and where
// the span begins and ends inside the first and the last of those files.
// Pure rules on numbers: no file is opened here.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "trips/trip_grouping.h"

namespace trips {

constexpr int kSecondsPerDay = 86400;

// "HH:MM:SS" (or "HH:MM") into seconds since midnight; nothing when it is
// not a time of day.
std::optional<int> parse_clock_time(const std::string& text);
// "HH:MM:SS" of a time of day or civil seconds.
std::string clock_text(std::int64_t seconds);

struct SpanRequest {
    std::optional<int> from_s;  // seconds since midnight; none: the trip's start
    std::optional<int> to_s;    // none: the trip's end
};

struct TripSpan {
    std::size_t trip = 0;            // index into Grouping::trips
    std::vector<std::size_t> clips;  // indices into that trip's clips, in order
    // The span in civil seconds, inside the trip.
    double from_s = 0, to_s = 0;
    // Where it begins in the first clip and ends in the last, seconds from
    // the start of each (as the file names give them).
    double from_in_first_s = 0, to_in_last_s = 0;
};

// The span of `request` in `grouping`. The trip is the one that holds
// `from` (the first trip when there is no `from`); `to` must lie in the
// same trip (up to its end), and after `from`. A time of day belongs to the
// trip that holds it on any of the days the trip touches. False with `why`
// set: no trips, `from` not before `to`, a time outside every trip, or a
// span that runs over the gap after its trip.
bool choose_span(const Grouping& grouping, const SpanRequest& request, TripSpan& span,
                 std::string& why);

}  // namespace trips
