// What the window's side panels hear of playback. The playback wiring calls
// every registered observer on the UI thread, in registration order; the
// map, the telemetry labels and the G-sensor chart are observers.
//
// Thread-safety: UI thread only.
#pragma once

#include <cstdint>
#include <string>

class PlaybackObserver {
public:
    virtual ~PlaybackObserver() = default;

    // A file started playing (message 1025 applied): its path and the
    // duration known after the player's Init, in milliseconds.
    virtual void on_opened(const std::string& /*media*/, int64_t /*duration_ms*/) {}
    // The playing position, each time the time label is refreshed (several
    // times a second); observers keep their own last second.
    virtual void on_position(int64_t /*position_ms*/) {}
    virtual void on_paused() {}
    virtual void on_resumed() {}
    // Around a seek: before the player is asked, and once it reports the
    // new position.
    virtual void on_seek_started() {}
    virtual void on_seek_finished(int64_t /*position_ms*/) {}
    // Playback stopped (by the user, at the end of a file, or a failure).
    virtual void on_stopped() {}
};
