#include "telemetry_panel.h"

#include <gtk/gtk.h>

#include <cstdlib>
#include <thread>

#include "custom_controls.h"
#include "gps/track_reader.h"
#include "main_window.h"
#include "platform/debug_output.h"

namespace {

std::vector<gps::GpsRecord> read_gps(const std::string& path) {
    std::vector<gps::GpsRecord> track;
    bool continuous = false;
    gps::read_track(path, gps::is_ts_path(path), track, continuous);
    return track;
}

std::string label_text(GtkWidget* w) {
    return GTK_IS_LABEL(w) ? gtk_label_get_text(GTK_LABEL(w)) : "";
}

shell::BrowserRequest::Role browser_role(telemetry::MapScript::Role role) {
    switch (role) {
        case telemetry::MapScript::Role::track:
            return shell::BrowserRequest::Role::track;
        case telemetry::MapScript::Role::position:
            return shell::BrowserRequest::Role::position;
        case telemetry::MapScript::Role::other:
            break;
    }
    return shell::BrowserRequest::Role::other;
}

}  // namespace

TelemetryPanel::TelemetryPanel(MainWindow* window, int units_flag, int map_type)
    : window_(window),
      follower_(units_flag, map_type),
      reader_(read_gps),
      generation_(std::make_shared<unsigned>(0)) {}

TelemetryPanel::~TelemetryPanel() {
    // A worker still reading finds the panel gone.
    ++*generation_;
}

void TelemetryPanel::on_opened(const std::string& media, int64_t duration_ms) {
    const unsigned generation = ++*generation_;
    reading_ = true;
    waiting_.clear();
    struct Result {
        std::weak_ptr<unsigned> token;
        unsigned generation;
        TelemetryPanel* panel;
        int64_t duration_ms;
        std::vector<gps::GpsRecord> track;
    };
    auto* result = new Result{generation_, generation, this, duration_ms, {}};
    std::thread([result, reader = reader_, media] {
        result->track = reader(media);
        // Back on the UI thread; only a message crosses.
        g_idle_add_full(
            G_PRIORITY_DEFAULT,
            +[](gpointer data) -> gboolean {
                auto* r = static_cast<Result*>(data);
                const auto token = r->token.lock();
                if (token && *token == r->generation) {
                    r->panel->track_read(std::move(r->track), r->duration_ms);
                }
                return G_SOURCE_REMOVE;
            },
            result, +[](gpointer data) { delete static_cast<Result*>(data); });
    }).detach();
}

void TelemetryPanel::track_read(std::vector<gps::GpsRecord> track, int64_t duration_ms) {
    platform::debug_printf(256, "KVP: %zu GPS records for %lld ms\n", track.size(),
                           static_cast<long long>(duration_ms));
    reading_ = false;
    apply(follower_.opened(std::move(track), duration_ms));
    std::vector<std::function<void()>> waiting;
    waiting.swap(waiting_);
    for (auto& w : waiting) w();
}

void TelemetryPanel::on_position(int64_t position_ms) {
    if (reading_) return;  // the next tick comes soon enough
    apply(follower_.position(position_ms));
}

void TelemetryPanel::on_paused() {
    if (reading_) {
        waiting_.push_back([this] { apply(follower_.paused()); });
        return;
    }
    apply(follower_.paused());
}

void TelemetryPanel::on_resumed() {
    if (reading_) return;  // the track goes out once it is read
    apply(follower_.resumed());
}

void TelemetryPanel::on_seek_started() {
    if (reading_) return;
    apply(follower_.seek_started());
}

void TelemetryPanel::on_seek_finished(int64_t position_ms) {
    if (reading_) {
        waiting_.push_back([this, position_ms] { apply(follower_.seek_finished(position_ms)); });
        return;
    }
    apply(follower_.seek_finished(position_ms));
}

void TelemetryPanel::on_stopped() {
    ++*generation_;
    reading_ = false;
    waiting_.clear();
    apply(follower_.stopped());
}

void TelemetryPanel::apply(const telemetry::PanelUpdate& u) {
    if (u.shown_second) {
        const gps::GpsRecord& r = follower_.track()[static_cast<std::size_t>(*u.shown_second)];
        platform::debug_printf(256, "Get RMC %ld: %.4f, %.4f\r\n", *u.shown_second, r.latitude_deg,
                               r.longitude_deg);
    }
    if (u.speed) window_->set_text("speed_cur_lab", *u.speed);
    if (u.position) window_->set_text("latpos_lab", *u.position);
    if (u.date) window_->set_text("date_lab", *u.date);
    if (u.time) window_->set_text("time_lab", *u.time);
    GtkWidget* chart = window_->widget("WndImageCalibration");
    if (u.chart_samples_changed) line_char_ui_set_samples(chart, follower_.samples());
    if (u.chart_cursor) line_char_ui_set_cursor(chart, *u.chart_cursor);
    if (u.panel_visible) window_->set_visible("gsensor_panel", *u.panel_visible);
    if (u.shown_second) {
        platform::debug_printf(
            1024, "KVP: labels %ld: %s | %s | %s | %s; chart cursor %ld\n", *u.shown_second,
            label_text(window_->widget("speed_cur_lab")).c_str(),
            label_text(window_->widget("latpos_lab")).c_str(),
            label_text(window_->widget("date_lab")).c_str(),
            label_text(window_->widget("time_lab")).c_str(), line_char_ui_cursor(chart));
    }
    GtkWidget* map = window_->widget("gpsview");
    for (const telemetry::MapScript& s : u.scripts) {
        script_log_.push_back(s.code);
        platform::debug_output("KVP: map script: " + s.code + "\n");
        if (listener_) listener_(s.code);
        // No map view in the layout: nothing is sent.
        if (map != nullptr) wke_webkit_ui_run_script(map, s.code, browser_role(s.role));
    }
}

// --- Test hook

namespace {

struct FeedStep {
    int at_ms;  // after the feed's start
    std::function<void(PlaybackObserver*)> call;
};

struct Feed {
    PlaybackObserver* observer;
    std::vector<FeedStep> steps;
    std::size_t next = 0;
    int elapsed_ms = 0;
};

constexpr int kFeedStepMs = 250;

}  // namespace

bool start_test_playback_feed(PlaybackObserver* observer) {
    const char* feed_env = std::getenv("KVP_TEST_PLAYBACK_FEED");
    if (feed_env == nullptr || *feed_env == '\0') return false;
    const std::string text = feed_env;
    const std::size_t bar = text.rfind('|');
    const std::string media = text.substr(0, bar);
    const int64_t duration_ms =
        bar == std::string::npos ? 10000 : std::atoll(text.c_str() + bar + 1);
    // The session: play 0..4 s, pause 1 s, resume, play to 6 s, seek to
    // 2 s, play to the end, stop.
    auto* feed = new Feed{observer, {}, 0, 0};
    int t = 0;
    feed->steps.push_back(
        {t, [media, duration_ms](PlaybackObserver* o) { o->on_opened(media, duration_ms); }});
    int64_t position = 0;
    auto play = [&](int64_t until_ms) {
        for (; position <= until_ms; position += kFeedStepMs) {
            t += kFeedStepMs;
            const int64_t p = position;
            feed->steps.push_back({t, [p](PlaybackObserver* o) { o->on_position(p); }});
        }
    };
    t += 1000;  // the track is read meanwhile
    play(4000);
    feed->steps.push_back({t += kFeedStepMs, [](PlaybackObserver* o) { o->on_paused(); }});
    feed->steps.push_back({t += 1000, [](PlaybackObserver* o) { o->on_resumed(); }});
    play(6000);
    feed->steps.push_back({t += kFeedStepMs, [](PlaybackObserver* o) { o->on_seek_started(); }});
    feed->steps.push_back(
        {t += kFeedStepMs, [](PlaybackObserver* o) { o->on_seek_finished(2000); }});
    position = 2000;
    play(duration_ms - 1);
    feed->steps.push_back({t += 1500, [](PlaybackObserver* o) { o->on_stopped(); }});
    platform::debug_printf(512, "KVP: test playback feed of %s (%lld ms)\n", media.c_str(),
                           static_cast<long long>(duration_ms));
    g_timeout_add(
        50,
        +[](gpointer data) -> gboolean {
            auto* f = static_cast<Feed*>(data);
            f->elapsed_ms += 50;
            while (f->next < f->steps.size() && f->steps[f->next].at_ms <= f->elapsed_ms) {
                f->steps[f->next++].call(f->observer);
            }
            if (f->next < f->steps.size()) return G_SOURCE_CONTINUE;
            delete f;
            return G_SOURCE_REMOVE;
        },
        feed);
    return true;
}
