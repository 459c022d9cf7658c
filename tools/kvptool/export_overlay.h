// kvptool export --overlay: the telemetry of the recording exported, drawn
// into its pictures by the converter, added to the MP4 as a soft subtitle
// track, and written beside it as a GPX.
//
// The subtitle track is added after the conversion by a stream copy of the
// finished file, so that the converter's output is the same with and without
// it (the video and sound packets are copied byte for byte) and the same
// step serves an export made of several recordings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "SphereVideoConverter.h"
#include "gps/gps_record.h"
#include "overlay/overlay_cues.h"

namespace kvptool {

// The units a speed and a date are shown in: "kmh" or "mph".
int units_flag_of(const std::string& units);

// One recording's part of the export: its name, its records and where
// they land in the output (see overlay::Segment).
struct OverlaySource {
    std::string path;
    std::vector<gps::GpsRecord> track;
    int64_t origin_ms = 0, from_ms = 0, to_ms = 0;
};

// A recording inside a joined file: its path and where its time 0 lies in
// the joined file, and for how long (ms).
struct JoinedSource {
    std::string path;
    int64_t start_ms = 0, duration_ms = 0;
};

struct ExportOverlay {
    overlay::Fields fields;
    int units_flag = 1;
    std::vector<OverlaySource> sources;
    std::vector<overlay::OverlayCue> cues;
    bool active() const { return !sources.empty(); }
};

// For the CLI: empty when `fields` is a valid list, else the reason.
std::string check_overlay_fields(const std::string& fields);

// Where an export from second `from_s` of `media` really starts, in ms of
// the recording: the converter starts at the key frame at or before it.
// `from_s` * 1000 when the file cannot be read.
int64_t export_start_ms(const std::string& media, int64_t from_s);

// One recording exported from second `from_s` to `to_s`: reads the track
// of `in` and hands the cues to the converter for the span's length from
// the key frame the export of `media` (the file the converter reads)
// starts at. A
// recording without a GPS track is exported without overlay, with a notice
// on stderr (`overlay` stays inactive). The converter's result: 0, or 21
// with its text.
int32_t begin_overlay(const std::string& fields, const std::string& units, const std::string& in,
                      const std::string& media, int64_t from_s, int64_t to_s,
                      DOR_SphereVideoConverter& converter, ExportOverlay& overlay);

// The same for an export of joined recordings: `media` is the joined file
// and `segments` say where each recording's time 0 lies in it (ms). Each
// recording's own track gives the cues of the seconds it covers in the
// exported span; recordings without a track leave their seconds bare.
int32_t begin_joined_overlay(const std::string& fields, const std::string& units,
                             const std::vector<JoinedSource>& segments, const std::string& media,
                             int64_t from_s, int64_t to_s, DOR_SphereVideoConverter& converter,
                             ExportOverlay& overlay);

// Reads the field list ("time,speed,position") and the units; false with
// `why` for an unknown field.
bool parse_overlay(const std::string& fields, const std::string& units, ExportOverlay& overlay,
                   std::string& why);

// Reads the GPS track of `path` and adds the span [from_ms, to_ms) of it,
// landing at output time `output_start_ms`. False when the recording has no
// track (a notice for the caller, not a failure).
bool add_overlay_source(ExportOverlay& overlay, const std::string& path, int64_t from_ms,
                        int64_t to_ms, int64_t output_start_ms);

// Builds the cues of every source added and hands them to the converter.
// Its result (0, or 21 with its text).
int32_t set_overlay(ExportOverlay& overlay, DOR_SphereVideoConverter& converter);

// The GPX beside an output: its extension replaced by ".gpx".
std::string gpx_path_for(const std::string& output);

// Adds the cues as a mov_text subtitle track to the finished file at
// `output` (rewritten through a temporary file beside it) and writes the
// GPX of the exported seconds beside it. False with `why` on failure; the
// output stays as the converter left it.
bool finish_overlay(const ExportOverlay& overlay, const std::string& output, std::string& why);

// True when the container `path`'s extension chooses takes mov_text (MP4,
// MOV, 3GP); other containers get the pictures and the GPX only.
bool takes_subtitles(const std::string& path);

// The subtitle step alone.
bool add_subtitle_track(const std::string& path, const std::vector<overlay::OverlayCue>& cues,
                        std::string& why);

}  // namespace kvptool
