// kvptool export --overlay: the command line's side of the telemetry drawn
// into the pictures (see overlay/overlay_output.h): the options read, the
// notices printed on stderr.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "SphereVideoConverter.h"
#include "overlay/overlay_output.h"

namespace kvptool {

using overlay::ExportOverlay;

// The units a speed and a date are shown in: "kmh" or "mph".
int units_flag_of(const std::string& units);

// For the CLI: empty when `fields` is a valid list, else the reason.
std::string check_overlay_fields(const std::string& fields);

// Reads the field list ("time,speed,position") and the units; false with
// `why` for an unknown field.
bool parse_overlay(const std::string& fields, const std::string& units, ExportOverlay& overlay,
                   std::string& why);

// One recording exported from second `from_s` to `to_s`: reads the track
// of `in` and hands the cues to the converter (see overlay::add_export_span;
// `media` is the file the converter reads). A recording without a GPS
// track is exported without overlay, with a notice on stderr (`overlay`
// stays inactive). The converter's result: 0, or 21 with its text.
int32_t begin_overlay(const std::string& fields, const std::string& units, const std::string& in,
                      const std::string& media, int64_t from_s, int64_t to_s,
                      DOR_SphereVideoConverter& converter, ExportOverlay& overlay);

using overlay::JoinedSource;

// The same for an export of joined recordings (`media` is the joined file,
// `sources` where each recording lies in it): each recording's own track
// gives the cues of its seconds; a recording without one leaves its
// seconds bare, with a notice.
int32_t begin_joined_overlay(const std::string& fields, const std::string& units,
                             const std::vector<JoinedSource>& sources, const std::string& media,
                             int64_t from_s, int64_t to_s, DOR_SphereVideoConverter& converter,
                             ExportOverlay& overlay);

// The subtitle track and the GPX after a finished conversion, with a notice
// for a container that cannot hold the track. False with `why` on failure.
bool finish_overlay(const ExportOverlay& overlay, const std::string& output, std::string& why);

}  // namespace kvptool
