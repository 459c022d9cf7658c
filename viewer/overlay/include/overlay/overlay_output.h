// Telemetry of an export, beyond the pictures: the cues made from the GPS
// track of the recordings exported and handed to the converter, which
// burns them into the pictures, then added to the finished MP4 as a soft
// subtitle track and written beside it as a GPX.
//
// The subtitle track is added after the conversion by a stream copy of the
// finished file, so that the converter's output is the same with and without
// it (the video and sound packets are copied byte for byte) and the same
// step serves an export made of several recordings.
//
// No UI dependency: kvptool export and the viewer's export job use it.
// Thread-safety: every function works on the caller's objects and files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "SphereVideoConverter.h"
#include "gps/gps_record.h"
#include "overlay/overlay_cues.h"

namespace overlay {

// One recording's part of the export: its name, its records and where
// they land in the output (see Segment).
struct OverlaySource {
    std::string path;
    std::vector<gps::GpsRecord> track;
    int64_t origin_ms = 0, from_ms = 0, to_ms = 0;
};

struct ExportOverlay {
    Fields fields;
    int units_flag = 1;  // as the viewer's: 1 metric, 0 imperial
    std::vector<OverlaySource> sources;
    std::vector<OverlayCue> cues;
    bool active() const { return !sources.empty(); }
};

// Where an export from second `from_s` of `media` really starts, in ms of
// the recording: the converter starts at the key frame at or before it.
// `from_s` * 1000 when the file cannot be read.
int64_t export_start_ms(const std::string& media, int64_t from_s);

// Reads the GPS track of `path` and adds the span [from_ms, to_ms) of it,
// landing at output time `output_start_ms`. False when the recording has no
// track (a notice for the caller, not a failure).
bool add_overlay_source(ExportOverlay& overlay, const std::string& path, int64_t from_ms,
                        int64_t to_ms, int64_t output_start_ms);

// One recording exported from second `from_s` to `to_s`: the track of `in`
// for the span's length from the key frame the export of `media` (the file
// the converter reads) starts at. False when `in` has no GPS track.
bool add_export_span(ExportOverlay& overlay, const std::string& in, const std::string& media,
                     int64_t from_s, int64_t to_s);

// A recording inside a joined file: its path, where its time 0 lies in the
// joined file and how long it lasts (ms).
struct JoinedSource {
    std::string path;
    int64_t start_ms = 0, duration_ms = 0;
};

// The same as add_export_span for an export of the joined file `media`:
// each recording's part of the span gets the cues of its own track (the
// joined file carries no GPS). The recordings whose part has no track are
// added to `without_track`.
void add_joined_span(ExportOverlay& overlay, const std::vector<JoinedSource>& sources,
                     const std::string& media, int64_t from_s, int64_t to_s,
                     std::vector<std::string>& without_track);

// Builds the cues of every source added and hands them to the converter.
// Its result (0, or 21 with its text).
int32_t set_overlay(ExportOverlay& overlay, DOR_SphereVideoConverter& converter);

// The GPX beside an output: its extension replaced by ".gpx".
std::string gpx_path_for(const std::string& output);

// True when the container `path`'s extension chooses takes mov_text (MP4,
// MOV, 3GP); other containers get the pictures and the GPX only.
bool takes_subtitles(const std::string& path);

// The subtitle step alone: adds the cues as a mov_text subtitle track to the
// finished file at `path` (rewritten through a temporary file beside it).
// False with `why` on failure; the file stays as it was then.
bool add_subtitle_track(const std::string& path, const std::vector<OverlayCue>& cues,
                        std::string& why);

// What finish_overlay did with the subtitle track.
enum class SubtitleStep {
    added,
    no_cues,            // no second had anything to show
    container_refuses,  // see takes_subtitles: a notice for the caller
};

// After a finished conversion to `output`: the subtitle track, then the GPX
// of the exported seconds beside it. False with `why` on failure; the
// output stays as the converter left it.
bool finish_overlay(const ExportOverlay& overlay, const std::string& output, SubtitleStep& step,
                    std::string& why);

}  // namespace overlay
