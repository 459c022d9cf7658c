#include "controller/player_controller.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>

#include "controller/playback_rules.h"
#include "gps/track_reader.h"
#include "layout/view_layout.h"
#include "platform/debug_output.h"
#include "platform/paths.h"

namespace controller {
namespace {

// Init is tried this often; between two tries the worker waits this long
// (a TS file that is still being written may open a moment later).
constexpr int kInitTries = 11;
constexpr int kInitRetryWaitMs = 250;
constexpr std::size_t kDebugLineSize = 512;
constexpr float kNoAngle = 0.0f;

void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
void trace(const char* format, ...) {
    char text[kDebugLineSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    platform::debug_printf(kDebugLineSize, "DebugTrace: %s\r\n", text);
}

bool readable_file(const std::string& path) {
    return platform::is_regular_file(path) && ::access(path.c_str(), R_OK) == 0;
}

void make_folder(const std::string& dir) {
    // Parents first; failures show later as a missing file.
    for (std::size_t i = 1; i <= dir.size(); ++i) {
        if (i == dir.size() || dir[i] == platform::kPathSeparator) {
            ::mkdir(dir.substr(0, i).c_str(), 0700);
        }
    }
}

}  // namespace

PlayerFactory library_player_factory() {
    return PlayerFactory{[] { return CreateSpherePlayer(); },
                         [](DOR_SpherePlayer* p) { DestroySpherePlayer(p); }};
}

// What one open's callbacks need; kept until the player has stopped.
struct PlayerController::Playback {
    PlayerController* controller = nullptr;
    unsigned generation = 0;

    // The player's threads only post.
    static void on_end(void* self) {
        auto* p = static_cast<Playback*>(self);
        p->controller->post(kMsgEndOfFile, p->generation);
    }
    static void on_error(void* self, int code) {
        auto* p = static_cast<Playback*>(self);
        p->controller->post(kMsgDisplayFailed, p->generation, code);
    }
};

PlayerController::PlayerController(platform::NativeWindow host, PlayerFactory factory,
                                   std::string program_dir)
    : host_(host), factory_(std::move(factory)), program_dir_(std::move(program_dir)) {
    worker_ = std::thread(&PlayerController::worker_main, this);
}

PlayerController::~PlayerController() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quitting_ = true;
        ++latest_generation_;  // a running open gives up at its next step
    }
    changed_.notify_all();
    worker_.join();
    // The worker has ended: this thread is the player's only caller now.
    if (player_ != nullptr) {
        player_->Stop();
        factory_.destroy(player_);
        player_ = nullptr;
    }
}

// --- the queue

void PlayerController::queue(Command c) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        commands_.push_back(std::move(c));
    }
    changed_.notify_all();
}

void PlayerController::worker_main() {
    for (;;) {
        Command c;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return quitting_ || !commands_.empty(); });
            if (quitting_) return;
            c = std::move(commands_.front());
            commands_.pop_front();
            busy_ = true;
        }
        c();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            busy_ = false;
        }
        changed_.notify_all();
    }
}

void PlayerController::drain() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return quitting_ || (commands_.empty() && !busy_); });
}

void PlayerController::run_on_worker(std::function<void(DOR_SpherePlayer*)> f) {
    queue([this, f = std::move(f)] { f(player_); });
}

void PlayerController::post(unsigned message, unsigned generation, std::intptr_t lparam) {
    platform::post_message(host_, message, generation, lparam);
}

bool PlayerController::current(unsigned generation) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return generation == latest_generation_ && !quitting_;
}

PlaybackSnapshot PlayerController::snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return snapshot_;
}

void PlayerController::set_snapshot(const std::function<void(PlaybackSnapshot&)>& f) {
    std::lock_guard<std::mutex> lock(mutex_);
    f(snapshot_);
}

// --- commands

bool PlayerController::open(const std::string& path, DOR_NativeWindow video, int width, int height,
                            unsigned* generation) {
    if (path.empty() || !is_playable_recording(path) || !readable_file(path)) return false;
    unsigned g = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        g = ++latest_generation_;
        snapshot_.generation = g;
        snapshot_.path = path;
    }
    if (generation != nullptr) *generation = g;
    queue([=] { run_open(g, path, video, width, height); });
    return true;
}

unsigned PlayerController::stop() {
    unsigned g = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        g = ++latest_generation_;  // an open still running gives up
    }
    queue([this, g] {
        run_stop();
        post(kMsgStopped, g);
    });
    trace("Leave stop Function");
    return g;
}

void PlayerController::pause() {
    queue([this] {
        if (player_ == nullptr || player_->IsPlaying() == 0) return;
        player_->Pause();
        set_snapshot([](PlaybackSnapshot& s) { s.paused = true; });
    });
}

void PlayerController::resume() {
    queue([this] {
        if (player_ == nullptr || player_->IsPlaying() == 0) return;
        set_snapshot([](PlaybackSnapshot& s) { s.paused = false; });
        player_->Resume();
    });
}

void PlayerController::seek_permille(int permille) {
    queue([this, permille] {
        if (player_ == nullptr || player_->IsPlaying() == 0) return;
        const PlaybackSnapshot s = snapshot();
        const auto target = seek_target_ms(permille, s.duration_s);
        if (!target) return;
        const int minutes = static_cast<int>(*target / 60000);
        player_->Seek(minutes, static_cast<int>(*target / 1000 - minutes * 60), 0);
        if (s.paused) player_->Pause();  // stepping goes on from the new place
    });
}

void PlayerController::skip(std::int64_t from_ms, int seconds) {
    queue([this, from_ms, seconds] {
        if (player_ == nullptr || player_->IsPlaying() == 0) return;
        const PlaybackSnapshot s = snapshot();
        if (s.duration_ms <= 0) return;
        const std::int64_t target =
            std::clamp<std::int64_t>(from_ms + seconds * 1000LL, 0, s.duration_ms - 1);
        player_->Seek(0, 0, static_cast<int>(target));
        if (s.paused) player_->Pause();
    });
}

void PlayerController::step(bool forward) {
    queue([this, forward] {
        if (player_ != nullptr) player_->StepFrame(forward);
    });
}

void PlayerController::set_volume(int slider_value) {
    queue([this, slider_value] {
        volume_ = player_volume(slider_value);
        if (player_ != nullptr) player_->SetVolume(volume_);
        set_snapshot([&](PlaybackSnapshot& s) { s.volume = volume_; });
    });
}

void PlayerController::mute() {
    queue([this] {
        volume_ = 0;
        if (player_ != nullptr) player_->SetVolume(0);
        set_snapshot([](PlaybackSnapshot& s) { s.volume = 0; });
    });
}

void PlayerController::set_brightness(int slider_value) {
    queue([this, slider_value] {
        brightness_slider_ = slider_value;
        apply_filter();
    });
}

void PlayerController::reset_brightness() {
    set_brightness(50);
}

void PlayerController::set_mirror(bool mirrored) {
    queue([this, mirrored] {
        mirrored_ = mirrored;
        apply_filter();
    });
}

void PlayerController::set_view(int direction, int layout, int width, int height) {
    queue([=] {
        set_snapshot([&](PlaybackSnapshot& s) {
            s.direction = direction;
            s.layout = layout;
        });
        width_ = width;
        height_ = height;
        apply_view(false);
    });
}

void PlayerController::save_view() {
    queue([this] { run_save_view(); });
}

void PlayerController::forget_view() {
    queue([this] {
        const int layout = snapshot().layout;
        if (layout >= 0 && layout < static_cast<int>(view_table_.size())) {
            view_table_[static_cast<std::size_t>(layout)].valid = false;
        }
    });
}

void PlayerController::turn_views(float degrees) {
    queue([this, degrees] {
        if (player_ == nullptr || player_->IsPlaying() == 0) return;
        for (int v = 0; v < DOR_PLAYER_MAX_VIEWPORTS; ++v) {
            float pitch = kNoAngle, yaw = kNoAngle, roll = kNoAngle;
            player_->GetViewAngles(v, &pitch, &yaw, &roll);
            player_->SetViewAngles(pitch + degrees, yaw, roll, static_cast<unsigned>(v));
        }
    });
}

// --- the worker's steps

// Stops playback (saving the views of the current layout first) and lets
// the player object go; a new one is made for the next file.
void PlayerController::run_stop() {
    if (player_ != nullptr) {
        if (player_->IsPlaying() != 0) run_save_view();
        player_->Stop();
        factory_.destroy(player_);
        player_ = nullptr;
    }
    playback_.reset();
    set_snapshot([](PlaybackSnapshot& s) {
        s.open = false;
        s.paused = false;
    });
}

// A fresh player with the remembered volume.
void PlayerController::ensure_player() {
    if (player_ != nullptr) return;
    player_ = factory_.create();
    if (player_ == nullptr) {
        trace("Create Player Error.");
        return;
    }
    player_->SetVolume(volume_);
}

void PlayerController::run_open(unsigned generation, std::string path, DOR_NativeWindow video,
                                int width, int height) {
    trace("Begin Sphere_Player_Play_Thread %s", path.c_str());
    if (!current(generation)) return;
    run_stop();  // whatever played before
    ensure_player();
    if (player_ == nullptr) {
        post(kMsgOpenFailed, generation, DOR_PLAYER_FAILED);
        return;
    }
    settings_ = read_player_settings(program_dir_);
    const bool is_ts = is_ts_recording(path);
    auto track = std::make_shared<std::vector<gps::GpsRecord>>();
    bool continuous = false;
    gps::read_track(path, is_ts, *track, continuous);
    trace("gps len = %d, %d", static_cast<int>(track->size()), continuous ? 1 : 0);
    set_snapshot([&](PlaybackSnapshot& s) {
        s.kind = VideoKind::undecided;
        s.track = track;
        s.duration_s = 0;
        s.end_time_ms = 0;
        s.duration_ms = 0;
    });
    param_path_ = path;
    if (!current(generation) || !prepare_calibration(generation, path)) return;
    const int rc = init_with_retries(generation);
    if (rc < 0) return;  // a newer open or a stop came meanwhile
    if (rc != DOR_PLAYER_OK) {
        trace("%s", player_->GetLastErrorText());
        post(kMsgOpenFailed, generation, rc);
        return;
    }
    read_length(is_ts);
    if (!current(generation) || !start_playing(generation, video, width, height)) return;
    if (!current(generation)) {  // superseded while starting: never reported
        run_stop();
        return;
    }
    set_snapshot([](PlaybackSnapshot& s) {
        s.open = true;
        s.paused = false;
    });
    post(kMsgFileOpened, generation);
}

// The calibration of the recording: one beside it, else one prepared for it
// in the cache (a stored file for its frame width, or the automatic
// calibration of a square picture), else the configured one. A recording
// with none plays as a plain picture.
bool PlayerController::prepare_calibration(unsigned generation, const std::string& path) {
    std::string calibration = calibration_beside(path);
    if (calibration.empty()) {
        const std::string cache_dir = default_cache_dir();
        const std::string prepared = prepared_calibration_path(cache_dir, path);
        if (!platform::is_regular_file(prepared)) {
            make_folder(cache_dir);
            if (player_->PrepareCalibration(path.c_str(), prepared.c_str()) != DOR_PLAYER_OK) {
                trace("%s", player_->GetLastErrorText());
            }
        }
        if (platform::is_regular_file(prepared)) {
            calibration = prepared;
        } else if (platform::is_regular_file(settings_.calibration_path)) {
            calibration = settings_.calibration_path;
        }
    }
    trace("Load inf file:%s", calibration.c_str());
    param_calibration_ = calibration;
    param_logo_ = settings_.logo_path;
    param_ = init_param{param_path_.c_str(),
                        param_calibration_.c_str(),
                        param_logo_.c_str(),
                        calibration.empty() ? 1 : 0,
                        settings_.need_logo,
                        settings_.logo_fov,
                        0,
                        1};
    set_snapshot([&](PlaybackSnapshot& s) { s.calibration_path = calibration; });
    return current(generation);
}

// 0, the player's code of the last failed Init, or -1 when the open was
// given up for a newer one. A file that cannot be opened or holds no video
// is not tried again.
int PlayerController::init_with_retries(unsigned generation) {
    int rc = DOR_PLAYER_FAILED;
    for (int attempt = 0; attempt < kInitTries; ++attempt) {
        trace("player->Init %d", attempt);
        rc = player_->Init(&param_);
        if (rc == DOR_PLAYER_OK || rc == DOR_PLAYER_OPEN_FAILED || rc == DOR_PLAYER_NO_VIDEO) break;
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::milliseconds(kInitRetryWaitMs),
                          [&] { return generation != latest_generation_ || quitting_; });
        if (generation != latest_generation_ || quitting_) return -1;
    }
    return rc;
}

// The length the window shows, and the end time the player stops drawing
// at: the player's length, bounded for a TS recording by its GPS track.
void PlayerController::read_length(bool is_ts) {
    DOR_VideoTime t{0, 0, 0};
    player_->GetVideoDuration(&t);
    const std::int64_t duration_ms = (t.minutes * 60LL + t.seconds) * 1000 + t.milliseconds;
    int duration_s = t.minutes * 60 + t.seconds;
    int end_time_ms = static_cast<int>(std::min<std::int64_t>(duration_ms, INT32_MAX));
    const PlaybackSnapshot s = snapshot();
    if (is_ts) {
        const int records = s.track ? static_cast<int>(s.track->size()) : 0;
        const TsLength length = ts_length(duration_s, records, end_time_ms);
        duration_s = length.duration_s;
        end_time_ms = length.end_time_ms;
    }
    param_.end_time_ms = end_time_ms;
    trace("total time is %d", duration_s);
    set_snapshot([&](PlaybackSnapshot& snap) {
        snap.duration_s = duration_s;
        snap.end_time_ms = end_time_ms;
        snap.duration_ms = duration_ms;
    });
}

bool PlayerController::start_playing(unsigned generation, DOR_NativeWindow video, int width,
                                     int height) {
    width_ = width;
    height_ = height;
    player_->SetNativeWindow(video);
    player_->SetViewport(0, 0, width, height, 0);
    playback_ = std::make_unique<Playback>(Playback{this, generation});
    trace("********* Begin Call DOR_API_PPSAFECALL play;");
    const int rc =
        player_->Play(nullptr, nullptr, Playback::on_end, playback_.get(), Playback::on_error);
    if (rc != DOR_PLAYER_OK) {
        trace("%s", player_->GetLastErrorText());
        post(kMsgOpenFailed, generation, rc);
        return false;
    }
    int w = 0, h = 0;
    const bool known = player_->GetVideoSize(&w, &h) == DOR_PLAYER_OK;
    const VideoKind kind = known && w > 0 && w == h ? VideoKind::fisheye : VideoKind::flat;
    set_snapshot([&](PlaybackSnapshot& s) { s.kind = kind; });
    apply_filter();
    apply_view(false);
    return true;
}

// Brightness on every video, the mirror only on a flat one, as one filter.
void PlayerController::apply_filter() {
    if (player_ == nullptr || player_->IsPlaying() == 0) return;
    const bool flat = snapshot().kind == VideoKind::flat;
    player_->SetVideoFilter(
        video_filter_text(1.0, brightness_of(brightness_slider_), flat && mirrored_).c_str());
}

// --- views

struct LayoutSetup {
    view_layout::Viewports viewports;
    int layout = 0;
    int direction = 0;
};

void PlayerController::apply_flat_view() {
    for (unsigned v = 1; v < DOR_PLAYER_MAX_VIEWPORTS; ++v) player_->DisableViewport(v);
    player_->SetViewport(0, 0, width_, height_, 0);
    player_->SetDrawMode(0, 0);
    trace("the size is %d * %d", width_, height_);
}

void PlayerController::apply_view(bool settle) {
    (void)settle;
    if (player_ == nullptr || player_->IsPlaying() == 0) return;
    const PlaybackSnapshot s = snapshot();
    trace("*************1****** Windows Size (%d, %d)", width_, height_);
    if (s.kind == VideoKind::flat || is_rear_camera_file(s.path)) {
        apply_flat_view();
        return;
    }
    settings_ = read_player_settings(program_dir_);
    LayoutSetup setup;
    setup.layout = s.layout;
    setup.direction = s.direction;
    setup.viewports = view_layout::layout_viewports(s.layout, width_, height_);
    if (setup.viewports.count == 0) return;
    for (int v = 0; v < DOR_PLAYER_MAX_VIEWPORTS; ++v) {
        const auto index = static_cast<unsigned>(v);
        if (v >= setup.viewports.count) {
            player_->DisableViewport(index);
            continue;
        }
        const view_layout::Rect& r = setup.viewports.rects[v];
        player_->SetViewport(r.x, r.y, r.width, r.height, index);
        player_->SetDrawMode(setup.viewports.draw_mode, index);
    }
    if (s.layout == view_layout::kLayoutStrip) {
        player_->SetOrientation(s.direction != view_layout::kDirectionUp ? 1 : 0);
        return;
    }
    apply_layout_views(setup);
    send_limits(setup.viewports.limits_record, setup.viewports.count);
}

// The stored views of layouts 1 to 3, or their default views (lifted by
// the automatic pitch in the split layouts) the first time.
void PlayerController::apply_layout_views(const LayoutSetup& setup) {
    const int layout = setup.layout;
    if (layout < view_layout::kLayoutWide || layout > view_layout::kLayoutSplit4) return;
    const int count = setup.viewports.count;
    if (layout != view_layout::kLayoutWide) {
        int w = 0, h = 0;
        player_->GetVideoSize(&w, &h);
        const int calib_height =
            h != 0 ? view_layout::calibration_frame_height(param_.calib_filename) : 0;
        auto_pitch_ = view_layout::automatic_pitch_deg(calib_height, player_->GetZoom(0));
    }
    ViewRow& row = view_table_[static_cast<std::size_t>(layout)];
    if (!row.valid) {
        for (int v = 0; v < count; ++v) {
            auto a = view_layout::default_view_angles(layout, v, setup.direction);
            if (!a) continue;
            if (layout != view_layout::kLayoutWide) {
                *a = view_layout::with_automatic_pitch(*a, setup.direction, auto_pitch_);
            }
            const auto i = static_cast<std::size_t>(v);
            row.pitch[i] = a->pitch_deg;
            row.yaw[i] = a->yaw_deg;
            row.roll[i] = a->roll_deg;
            row.zoom[i] = player_->GetZoom(v);
        }
        row.valid = true;
    }
    for (int v = 0; v < count; ++v) {
        const auto i = static_cast<std::size_t>(v);
        player_->SetViewAngles(row.pitch[i], row.yaw[i], row.roll[i], static_cast<unsigned>(v));
        player_->SetZoom(row.zoom[i], static_cast<unsigned>(v));
        trace("SetView angle[%d]: %f, %f, zoom %f", v, row.pitch[i], row.yaw[i], row.zoom[i]);
    }
    if (layout == view_layout::kLayoutWide) {
        auto_pitch_ = view_layout::wide_automatic_pitch_deg(row.pitch[0]);
    }
}

void PlayerController::send_limits(int record, int count) {
    if (record < 0 || record >= kCameraRecords) return;
    const CameraLimits& c = settings_.cameras[static_cast<std::size_t>(record)];
    for (int v = 0; v < count; ++v) {
        player_->SetViewAngleLimits(c.pitch.min_deg, c.pitch.max_deg, c.yaw.min_deg, c.yaw.max_deg,
                                    c.roll.min_deg, c.roll.max_deg, v);
    }
}

// The views of the current layout into its row of the view table.
void PlayerController::run_save_view() {
    if (player_ == nullptr || player_->IsPlaying() == 0) return;
    const PlaybackSnapshot s = snapshot();
    if (s.kind != VideoKind::fisheye || s.layout < 0 || s.layout > view_layout::kLayoutStrip) {
        return;
    }
    trace("Mode %d ", s.layout);
    ViewRow& row = view_table_[static_cast<std::size_t>(s.layout)];
    for (int v = 0; v < DOR_PLAYER_MAX_VIEWPORTS; ++v) {
        const auto i = static_cast<std::size_t>(v);
        row.zoom[i] = player_->GetZoom(v);
        player_->GetViewAngles(v, &row.pitch[i], &row.yaw[i], &row.roll[i]);
        trace("View[%d] (%f, %f, %f)", v, row.pitch[i], row.yaw[i], row.roll[i]);
    }
}

}  // namespace controller
