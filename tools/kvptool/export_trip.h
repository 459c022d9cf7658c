// kvptool export of several recordings as one: the recordings named on the
// command line, or the part of a trip chosen by clock times (--trip DIR
// --from HH:MM:SS --to HH:MM:SS), are joined into one temporary MP4 beside
// the output, which the single export then converts; the span becomes the
// converter's span on the joined timeline.
#pragma once

#include <string>
#include <vector>

#include "export/recording_join.h"
#include "trips/trip_span.h"

namespace kvptool {

struct JoinPlan {
    std::vector<std::string> sources;
    bool clock_span = false;  // the span below comes from clock times
    trips::TripSpan span;     // valid with clock_span
};

// The sources and the span of `--trip dir [--from] [--to]` (empty: not
// given). False with `why` set when the folder has no trips or the times do
// not name a span of one trip.
bool plan_trip(const std::string& dir, const std::string& from, const std::string& to,
               JoinPlan& plan, std::string& why);

// The converter's span ("M:SS", whole seconds) on the joined timeline for
// a clock span; without one, `from` and `to` stay as they are (MM:SS on the
// joined timeline, empty: its start or end). False with `why` when the
// clock span is shorter than a second.
bool converter_span(const JoinPlan& plan, const exporter::JoinTimeline& timeline, std::string& from,
                    std::string& to, std::string& why);

// "M:SS" of the converter's time options back into milliseconds (0 when
// empty or malformed).
std::int64_t span_start_ms(const std::string& from);

// One line per segment: "segment PATH at S.SSS s for S.SSS s".
void print_timeline(const exporter::JoinTimeline& timeline);

}  // namespace kvptool
