// What the telemetry panel does as a recording plays: which label texts to
// show, where the G-sensor chart's cursor goes and which scripts the map
// page gets, for each playback event. The viewer's panel carries the
// answers out; it decides nothing itself.
//
//   opened     with a track: the track to the map (start), the chart's
//              samples, the labels from second 0 on; without one: Stop(),
//              so that the last file's track does not stay on the map
//   position   once per playing second: the labels, the chart cursor and
//              setpos / HidePos
//   paused     window.clearInterval(timer);
//   resumed    the whole track again; the marker continues from the
//              current second
//   seek       window.clearInterval(timer); before the seek, and after it
//              again around a fresh start() of the track
//   stopped    Stop() and empty labels
//
// Thread-safety: one thread (the UI thread) uses an object.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "gps/gps_record.h"
#include "telemetry/map_track.h"
#include "telemetry/telemetry_text.h"

namespace telemetry {

struct MapScript {
    // What the script does, so that the browser can send the last track
    // and position again after its page was reloaded.
    enum class Role { other, track, position };
    std::string code;
    Role role = Role::other;
    bool operator==(const MapScript& o) const { return code == o.code && role == o.role; }
};

struct PanelUpdate {
    // The second whose record the labels now show.
    std::optional<long> shown_second;
    // New label texts; a label without one keeps its text.
    std::optional<std::string> speed, position, date, time;
    // The chart's series were replaced (samples()), or its cursor moved.
    bool chart_samples_changed = false;
    std::optional<long> chart_cursor;
    // Show or hide the G-sensor panel.
    std::optional<bool> panel_visible;
    std::vector<MapScript> scripts;  // in order
};

class PlaybackFollower {
public:
    PlaybackFollower(int units_flag, int map_type) : units_(units_flag), map_type_(map_type) {}

    // A file has opened; `duration_ms` is the duration known after the
    // player's Init (not the window's, which is 0 at that time).
    PanelUpdate opened(std::vector<gps::GpsRecord> track, std::int64_t duration_ms);
    PanelUpdate position(std::int64_t position_ms);
    PanelUpdate paused();
    PanelUpdate resumed();
    PanelUpdate seek_started();
    PanelUpdate seek_finished(std::int64_t position_ms);
    PanelUpdate stopped();

    bool has_track() const { return !track_.empty() && seconds_ > 0; }
    const std::vector<GSample>& samples() const { return samples_; }
    const std::vector<gps::GpsRecord>& track() const { return track_; }
    const std::string& track_text() const { return track_text_; }
    int units_flag() const { return units_; }
    int map_type() const { return map_type_; }

private:
    void send_track(PanelUpdate& u);
    void show_second(PanelUpdate& u, long second);

    int units_;
    int map_type_;
    std::vector<gps::GpsRecord> track_;
    int seconds_ = 0;  // whole seconds of the recording
    std::string track_text_;
    std::vector<GSample> samples_;
    TelemetryDisplay display_;
    bool map_ready_ = false;  // the page has been given a track
    bool playing_ = false;
    long current_second_ = 0;
};

}  // namespace telemetry
