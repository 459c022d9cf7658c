// The telemetry drawn into exported pictures: one cue per second of the
// output that has a GPS record, with the texts the viewer's telemetry panel
// shows for that second, timed in the output's own clock.
//
// What a second shows:
//  - time: date and time of the record, whenever the record holds a date
//    and a time (the recorder's clock runs without a fix too);
//  - speed and position: only with a valid fix, as the viewer's panel;
//  - a second without a record, or whose chosen lines are all empty, gets
//    no cue at all, so nothing is drawn on its pictures.
//
// Thread-safety: pure functions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gps/gps_record.h"

namespace overlay {

// The lines a cue may hold, in the order they are drawn.
struct Fields {
    bool time = false;
    bool speed = false;
    bool position = false;
    bool any() const { return time || speed || position; }
};

// "time,speed,position" (any of them, any order, each once) into `fields`.
// False with `why` naming the offending entry for an unknown or repeated
// name or an empty list.
bool parse_fields(const std::string& list, Fields& fields, std::string& why);

// One source file's part of the output: its records (record i belongs to
// second i of the file), the output time at which the file's time 0 lands,
// and the span of the file that was exported, in the file's time. For one
// file exported from second S to E: origin_ms = -S * 1000, from_ms = S *
// 1000, to_ms = E * 1000.
struct Segment {
    const std::vector<gps::GpsRecord>* records = nullptr;
    int64_t origin_ms = 0;
    int64_t from_ms = 0;
    int64_t to_ms = 0;
};

// A text shown over [start_ms, end_ms) of output time; lines separated by
// '\n'.
struct OverlayCue {
    int64_t start_ms = 0;
    int64_t end_ms = 0;
    std::string text;
};

// The lines of one record, joined by '\n'; empty when none applies.
// `units_flag` as the viewer's: 1 metric, 0 imperial.
std::string cue_text(const gps::GpsRecord& record, const Fields& fields, int units_flag);

// The cues of all segments in output order, each second cut to its
// segment's exported span and to output time >= 0. Consecutive seconds
// keep separate cues even when their texts agree.
std::vector<OverlayCue> make_cues(const std::vector<Segment>& segments, const Fields& fields,
                                  int units_flag);

}  // namespace overlay
