// The telemetry panel: follows playback (a PlaybackObserver) and shows the
// GPS record of the playing second in the speed, position, date and time
// labels, moves the G-sensor chart's cursor and drives the map page. The
// decisions are telemetry::PlaybackFollower's; this class reads the track,
// carries the answers out on the widgets and keeps a log of the scripts.
//
// The track is read on a worker thread (an MPEG-TS recording is scanned
// whole); its result comes back to the UI thread through the main loop,
// and a result for a file that is no longer open is dropped.
//
// Thread-safety: UI thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gps/gps_record.h"
#include "playback_observer.h"
#include "telemetry/playback_follower.h"

class MainWindow;

class TelemetryPanel : public PlaybackObserver {
public:
    using TrackReader = std::function<std::vector<gps::GpsRecord>(const std::string& path)>;

    TelemetryPanel(MainWindow* window, int units_flag, int map_type);
    ~TelemetryPanel() override;
    TelemetryPanel(const TelemetryPanel&) = delete;
    TelemetryPanel& operator=(const TelemetryPanel&) = delete;

    void on_opened(const std::string& media, int64_t duration_ms) override;
    void on_position(int64_t position_ms) override;
    void on_paused() override;
    void on_resumed() override;
    void on_seek_started() override;
    void on_seek_finished(int64_t position_ms) override;
    void on_stopped() override;

    // Replaces the GPS reader (tests).
    void set_track_reader(TrackReader reader) { reader_ = std::move(reader); }
    // Every script sent to the map page, in order.
    const std::vector<std::string>& script_log() const { return script_log_; }
    // Called with each script as it is sent (a log file, a test).
    void set_script_listener(std::function<void(const std::string&)> listener) {
        listener_ = std::move(listener);
    }
    bool track_loaded() const { return follower_.has_track(); }

private:
    void track_read(std::vector<gps::GpsRecord> track, int64_t duration_ms);
    void apply(const telemetry::PanelUpdate& update);

    MainWindow* window_;
    telemetry::PlaybackFollower follower_;
    TrackReader reader_;
    std::vector<std::string> script_log_;
    std::function<void(const std::string&)> listener_;
    // Events that arrive while the track is read wait for it.
    bool reading_ = false;
    std::vector<std::function<void()>> waiting_;
    // Identifies the open file: a track read for an earlier one is dropped.
    std::shared_ptr<unsigned> generation_;
};

// Test hook (KVP_TEST_PLAYBACK_FEED="<media>|<duration ms>"): plays the
// observer calls of a short session without a player: open, the position
// every 250 ms, a pause and resume, a seek back, and a stop at the end.
// Only for the viewer's tests; returns false when the variable is unset.
bool start_test_playback_feed(PlaybackObserver* observer);
