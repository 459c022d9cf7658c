#include "overlay/overlay_cues.h"

#include <algorithm>

#include "telemetry/telemetry_text.h"

namespace overlay {
namespace {

constexpr int64_t kMsPerSecond = 1000;

bool set_field(const std::string& name, Fields& fields, std::string& why) {
    bool* slot = name == "time"       ? &fields.time
                 : name == "speed"    ? &fields.speed
                 : name == "position" ? &fields.position
                                      : nullptr;
    if (slot == nullptr) {
        why = "unknown overlay field \"" + name + "\" (use time, speed, position)";
        return false;
    }
    if (*slot) {
        why = "overlay field \"" + name + "\" given twice";
        return false;
    }
    *slot = true;
    return true;
}

// A record's date and time are shown only when they name a moment.
bool has_clock(const gps::GpsRecord& r) {
    return r.year >= 1 && r.year <= 9999 && r.month >= 1 && r.month <= 12 && r.day >= 1 &&
           r.day <= 31 && r.hour >= 0 && r.hour <= 23 && r.minute >= 0 && r.minute <= 59 &&
           r.second >= 0 && r.second <= 59;
}

void add_line(std::string& text, const std::string& line) {
    if (!text.empty()) text += '\n';
    text += line;
}

void add_segment_cues(const Segment& s, const Fields& fields, int units_flag,
                      std::vector<OverlayCue>& cues) {
    if (s.records == nullptr) return;
    const auto& records = *s.records;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const int64_t file_start = static_cast<int64_t>(i) * kMsPerSecond;
        const int64_t from = std::max(file_start, s.from_ms);
        const int64_t to = std::min(file_start + kMsPerSecond, s.to_ms);
        const int64_t start = std::max<int64_t>(from + s.origin_ms, 0);
        const int64_t end = to + s.origin_ms;
        if (start >= end) continue;
        std::string text = cue_text(records[i], fields, units_flag);
        if (!text.empty()) cues.push_back({start, end, std::move(text)});
    }
}

}  // namespace

bool parse_fields(const std::string& list, Fields& fields, std::string& why) {
    fields = Fields{};
    if (list.empty()) {
        why = "no overlay field given (use time, speed, position)";
        return false;
    }
    for (std::size_t begin = 0;;) {
        const std::size_t comma = list.find(',', begin);
        if (!set_field(list.substr(begin, comma - begin), fields, why)) return false;
        if (comma == std::string::npos) break;
        begin = comma + 1;
    }
    return true;
}

std::string cue_text(const gps::GpsRecord& record, const Fields& fields, int units_flag) {
    std::string text;
    if (fields.time && has_clock(record)) {
        add_line(text,
                 telemetry::date_text(record, units_flag) + " " + telemetry::time_text(record));
    }
    if (fields.speed && gps::has_fix(record)) {
        add_line(text, telemetry::speed_text(record.speed_mps, units_flag));
    }
    if (fields.position && gps::has_fix(record)) {
        add_line(text, telemetry::position_text(record));
    }
    return text;
}

std::vector<OverlayCue> make_cues(const std::vector<Segment>& segments, const Fields& fields,
                                  int units_flag) {
    std::vector<OverlayCue> cues;
    for (const Segment& s : segments) add_segment_cues(s, fields, units_flag, cues);
    std::stable_sort(cues.begin(), cues.end(), [](const OverlayCue& a, const OverlayCue& b) {
        return a.start_ms < b.start_ms;
    });
    return cues;
}

}  // namespace overlay
