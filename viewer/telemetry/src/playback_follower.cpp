#include "telemetry/playback_follower.h"

#include <algorithm>

#include "telemetry/gsensor_chart.h"

namespace telemetry {
namespace {

long whole_seconds(std::int64_t ms) {
    return ms <= 0 ? 0 : static_cast<long>(ms / 1000);
}

MapScript clear_interval() {
    return {clear_interval_script(), MapScript::Role::other};
}

}  // namespace

void PlaybackFollower::send_track(PanelUpdate& u) {
    u.scripts.push_back({start_script(track_text_), MapScript::Role::track});
    map_ready_ = true;
}

void PlaybackFollower::show_second(PanelUpdate& u, long second) {
    current_second_ = second;
    if (!has_track()) return;
    const long cursor = cursor_index(second, samples_.size());
    if (cursor >= 0) u.chart_cursor = cursor;
    const std::optional<SecondTexts> t =
        display_.show(track_, static_cast<int>(std::min<long>(second, 0x7FFFFFFF)), units_);
    if (!t) return;
    u.shown_second = t->second;
    u.speed = t->speed;
    u.position = t->position;
    u.date = t->date;
    u.time = t->time;
    if (!map_ready_) return;
    if (t->marker == MarkerCall::setpos) {
        u.scripts.push_back({setpos_script(t->second), MapScript::Role::position});
    } else if (t->marker == MarkerCall::hide) {
        u.scripts.push_back({hide_position_script(), MapScript::Role::position});
    }
}

PanelUpdate PlaybackFollower::opened(std::vector<gps::GpsRecord> track, std::int64_t duration_ms) {
    PanelUpdate u;
    track_ = std::move(track);
    seconds_ = static_cast<int>(std::min<std::int64_t>(whole_seconds(duration_ms), 0x7FFFFFFF));
    // Only the seconds the recording has: the map and the labels agree.
    if (track_.size() > static_cast<std::size_t>(seconds_)) {
        track_.resize(static_cast<std::size_t>(seconds_));
    }
    display_.reset();
    playing_ = true;
    current_second_ = 0;
    u.speed = " ";
    u.position = "";
    u.date = "";
    u.time = "";
    samples_ = gsensor_samples(track_, seconds_);
    u.chart_samples_changed = true;
    u.panel_visible = has_track();
    if (!has_track()) {
        track_text_.clear();
        // Nothing of the last file may stay on the map.
        u.scripts.push_back({stop_script(), MapScript::Role::track});
        return u;
    }
    track_text_ = map_track_text(track_, seconds_, map_type_);
    send_track(u);
    show_second(u, 0);
    return u;
}

PanelUpdate PlaybackFollower::position(std::int64_t position_ms) {
    PanelUpdate u;
    if (!playing_) return u;
    show_second(u, whole_seconds(position_ms));
    return u;
}

PanelUpdate PlaybackFollower::paused() {
    PanelUpdate u;
    if (has_track()) u.scripts.push_back(clear_interval());
    return u;
}

PanelUpdate PlaybackFollower::resumed() {
    PanelUpdate u;
    if (!has_track()) return u;
    send_track(u);
    display_.reset();
    show_second(u, current_second_);
    return u;
}

PanelUpdate PlaybackFollower::seek_started() {
    PanelUpdate u;
    if (has_track()) u.scripts.push_back(clear_interval());
    return u;
}

PanelUpdate PlaybackFollower::seek_finished(std::int64_t position_ms) {
    PanelUpdate u;
    if (!has_track()) return u;
    u.scripts.push_back(clear_interval());
    send_track(u);
    display_.reset();
    show_second(u, whole_seconds(position_ms));
    return u;
}

PanelUpdate PlaybackFollower::stopped() {
    PanelUpdate u;
    playing_ = false;
    display_.reset();
    u.speed = "";
    u.position = "";
    u.date = "";
    u.time = "";
    u.scripts.push_back({stop_script(), MapScript::Role::track});
    return u;
}

}  // namespace telemetry
