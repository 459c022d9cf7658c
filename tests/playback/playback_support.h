// A player playing into a host window under the X server of the test run
// (xvfb-run), with its messages, callbacks and read-back pixels. Tests
// that need a display skip when none can be opened.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include "SpherePlayerMessages.h"
#include "autocalib/autocalib.h"
#include "platform/video_host_window.h"
#include "platform/window_messages.h"
#include "sphere_player_impl.h"
#include "temp_dir.h"

namespace playback_test {

using Clock = std::chrono::steady_clock;

inline std::string sample(const std::string& name) {
    return std::string(KVP_SAMPLES_DIR "/") + name;
}

// How many times longer a wait may last: KVP_TEST_WAIT_SCALE (1 to 20, 1
// unless set), for builds that run several times slower than the
// playback they wait for (ThreadSanitizer). Only the waits stretch; the
// latencies the tests check do not.
inline int wait_scale() {
    const char* text = std::getenv("KVP_TEST_WAIT_SCALE");
    const int scale = text ? std::atoi(text) : 1;
    return scale < 1 ? 1 : (scale > 20 ? 20 : scale);
}

// Polls `done` every 5 ms for up to `timeout_ms` (times wait_scale()); the
// last answer.
inline bool wait_until(const std::function<bool()>& done, int timeout_ms) {
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(static_cast<long>(timeout_ms) * wait_scale());
    while (!done()) {
        if (Clock::now() > deadline) return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

struct Callbacks {
    std::atomic<int> ended{0};
    std::atomic<int> errors{0};
    std::atomic<int> last_error{0};

    static void on_end(void* self) { static_cast<Callbacks*>(self)->ended++; }
    static void on_error(void* self, int code) {
        auto* c = static_cast<Callbacks*>(self);
        c->last_error = code;
        c->errors++;
    }
};

class PlaybackTest : public ::testing::Test {
protected:
    static constexpr int kWindowWidth = 320;
    static constexpr int kWindowHeight = 240;

    void SetUp() override {
        std::string why;
        host_ =
            platform::VideoHostWindow::create(kWindowWidth, kWindowHeight, "playback test", &why);
        if (!host_) GTEST_SKIP() << "no X display: " << why;
        hold_gl_driver();
        player_ = std::make_unique<sphere_player::DOR_SpherePlayerImpl>();
    }

    // The test process keeps SDL's video subsystem up until it ends, so the
    // player's own SDL start and shutdown only count it up and down, and it
    // keeps one host window (the GL driver loaded for its X connection): a
    // real shutdown closes the X connections and unloads the GL driver,
    // whose process-lifetime state LeakSanitizer then reports as leaks in an
    // unmapped module. The player's own allocations are still checked.
    static void hold_gl_driver() {
        static const bool held = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
        static platform::VideoHostWindow* const kept =
            platform::VideoHostWindow::create(16, 16, "driver kept", nullptr).release();
        (void)held;
        (void)kept;
    }

    void TearDown() override {
        if (player_) player_->Stop();  // before the host window goes
        player_.reset();
        host_.reset();
    }

    // Init with a calibration of a centred lens filling the frame; the
    // native window and viewport 0 over the whole window in `draw_mode`.
    int open(const std::string& name, int draw_mode = 0, int end_time_ms = 0) {
        path_ = sample(name);
        calib_ = dir_.file("camera.inf");
        int w = 0, h = 0;
        param_ = init_param{path_.c_str(), calib_.c_str(), "", 0, 0, 0, end_time_ms, 1};
        const int rc = player_->Init(&param_);
        if (rc != DOR_PLAYER_OK) return rc;
        player_->GetVideoSize(&w, &h);
        autocalib::write_calibration_file(calib_.c_str(), autocalib::kCalibrationFovDeg, w / 2.0f,
                                          h / 2.0f, w / 2.0f, w, h);
        if (param_.end_time_ms < 1) {
            param_.end_time_ms = static_cast<int>(player_->GetVideoDurationms());
        }
        player_->SetNativeWindow(reinterpret_cast<DOR_NativeWindow>(host_->video()));
        player_->SetViewport(0, 0, kWindowWidth, kWindowHeight, 0);
        player_->SetDrawMode(draw_mode, 0);
        return DOR_PLAYER_OK;
    }

    int play() {
        return player_->Play(nullptr, nullptr, Callbacks::on_end, &callbacks_, Callbacks::on_error);
    }

    // Every message posted to the host frame so far, in order.
    const std::vector<platform::WindowMessage>& messages() {
        platform::WindowMessage m;
        while (platform::take_message(host_->frame(), &m)) messages_.push_back(m);
        return messages_;
    }
    std::vector<long> positions_ms() {
        std::vector<long> out;
        for (const auto& m : messages()) {
            if (m.message == WM_PLAYER_POSITION) out.push_back(static_cast<long>(m.lparam));
        }
        return out;
    }
    // Waits for the next position message after the ones seen so far.
    bool next_position(long* position_ms, int timeout_ms) {
        const std::size_t seen = positions_ms().size();
        if (!wait_until([&] { return positions_ms().size() > seen; }, timeout_ms)) return false;
        *position_ms = positions_ms().back();
        return true;
    }
    int count_of(unsigned message) {
        int n = 0;
        for (const auto& m : messages()) n += m.message == message ? 1 : 0;
        return n;
    }

    // Waits until a picture at or past `ms` was shown (by its position
    // message), then lets the display present it.
    bool wait_shown(long ms, int timeout_ms) {
        const bool ok = wait_until(
            [&] {
                const auto p = positions_ms();
                return !p.empty() && p.back() >= ms;
            },
            timeout_ms);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return ok;
    }
    bool wait_playing_ended(int timeout_ms) {
        return wait_until([&] { return player_->IsPlaying() == 0; }, timeout_ms);
    }
    bool wait_position_at_least(long ms, int timeout_ms) {
        return wait_until([&] { return player_->GetCurrentPositionMs() >= ms; }, timeout_ms);
    }

    // Mean of the red, green and blue bytes over the window's middle half.
    double mean_level() {
        std::vector<std::uint8_t> rgb;
        if (!host_->read_pixels(kWindowWidth / 4, kWindowHeight / 4, kWindowWidth / 2,
                                kWindowHeight / 2, &rgb)) {
            return -1.0;
        }
        double sum = 0;
        for (std::uint8_t b : rgb) sum += b;
        return rgb.empty() ? -1.0 : sum / static_cast<double>(rgb.size());
    }

    // Waits until the window's level satisfies `ok` (the display may lag a
    // busy machine's clock); the last level read.
    double wait_level(const std::function<bool(double)>& ok, int timeout_ms) {
        double level = -1.0;
        wait_until(
            [&] {
                level = mean_level();
                return ok(level);
            },
            timeout_ms);
        return level;
    }

    sphere_player::PlayerState& ps() { return player_->state(); }
    // The view record and the step state as they are now.
    sphere_player::ViewRecord view_record() {
        platform::MutexLock lock(vs().view.mutex);
        return vs().view.record;
    }
    sphere_player::StepState steps() {
        platform::MutexLock lock(vs().view.mutex);
        return vs().view.steps;
    }
    sphere_player::video_state& vs() { return *player_->state().vs; }

    kvp_test::TempDir dir_;
    std::unique_ptr<platform::VideoHostWindow> host_;
    std::unique_ptr<sphere_player::DOR_SpherePlayerImpl> player_;
    std::string path_, calib_;
    init_param param_{};
    Callbacks callbacks_;
    std::vector<platform::WindowMessage> messages_;
};

}  // namespace playback_test
