// A player object that records every call made to it, for the controller
// tests: which thread made it, whether two overlapped, and the arguments.
#pragma once

#include <atomic>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "SpherePlayer.h"

namespace controller_test {

struct FakeConfig {
    int width = 1920, height = 1920;  // GetVideoSize
    DOR_VideoTime duration{1, 30, 0};
    std::deque<int> init_results;  // then 0
    int play_result = DOR_PLAYER_OK;
    int prepare_result = DOR_PLAYER_OK;
    std::function<void()> on_init;  // runs inside Init (a slow or blocking open)
};

// The calls made to every fake player, in order, across players.
struct CallLog {
    std::mutex mutex;
    std::vector<std::string> calls;
    std::vector<std::thread::id> threads;
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    std::atomic<int> created{0}, destroyed{0};

    void add(const std::string& call) {
        std::lock_guard<std::mutex> lock(mutex);
        calls.push_back(call);
        threads.push_back(std::this_thread::get_id());
    }
    std::vector<std::string> snapshot() {
        std::lock_guard<std::mutex> lock(mutex);
        return calls;
    }
    // Calls starting with `prefix`, in order.
    std::vector<std::string> matching(const std::string& prefix) {
        std::vector<std::string> out;
        for (const auto& c : snapshot()) {
            if (c.compare(0, prefix.size(), prefix) == 0) out.push_back(c);
        }
        return out;
    }
    int count(const std::string& prefix) { return static_cast<int>(matching(prefix).size()); }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex);
        calls.clear();
        threads.clear();
    }
};

class FakePlayer final : public DOR_SpherePlayer {
public:
    FakePlayer(FakeConfig& config, CallLog& log) : config_(config), log_(log) { ++log_.created; }
    ~FakePlayer() override { ++log_.destroyed; }

    int Init(init_param* param) override {
        Call c(this, "Init " + std::string(param->media_path));
        param_ = param;
        if (config_.on_init) config_.on_init();
        if (config_.init_results.empty()) return DOR_PLAYER_OK;
        const int rc = config_.init_results.front();
        config_.init_results.pop_front();
        return rc;
    }
    int SetDrawMode(int mode, unsigned v) override {
        return record("SetDrawMode " + std::to_string(mode) + " " + std::to_string(v));
    }
    int SetWindowRect(int, int, int, int) override { return record("SetWindowRect"); }
    int SetNativeWindow(DOR_NativeWindow) override { return record("SetNativeWindow"); }
    int SetViewport(int x, int y, int w, int h, unsigned v) override {
        return record("SetViewport " + std::to_string(x) + " " + std::to_string(y) + " " +
                      std::to_string(w) + " " + std::to_string(h) + " " + std::to_string(v));
    }
    int DisableViewport(unsigned v) override {
        return record("DisableViewport " + std::to_string(v));
    }
    const char* GetLastErrorText() override { return "error: fake;\n"; }
    int GetPlayTime(DOR_VideoTime*) override { return 0; }
    std::int64_t GetCurrentPositionMs() override { return 0; }
    int GetVideoDuration(DOR_VideoTime* t) override {
        Call c(this, "GetVideoDuration");
        *t = config_.duration;
        return 0;
    }
    std::int64_t GetVideoDurationms() override {
        return (config_.duration.minutes * 60000LL + config_.duration.seconds * 1000LL +
                config_.duration.milliseconds);
    }
    int Seek(int m, int s, int ms) override {
        return record("Seek " + std::to_string(m) + " " + std::to_string(s) + " " +
                      std::to_string(ms));
    }
    int Play(FrameCallback, void*, EndCallback on_end, void* context,
             ErrorCallback on_error) override {
        Call c(this, "Play");
        on_end_ = on_end;
        on_error_ = on_error;
        context_ = context;
        playing_ = config_.play_result == DOR_PLAYER_OK;
        return config_.play_result;
    }
    float GetZoom(int v) override {
        Call c(this, "GetZoom");
        return zoom_[v & 3];
    }
    int GetViewAngles(int v, float* p, float* y, float* r) override {
        Call c(this, "GetViewAngles");
        *p = angles_[v & 3][0];
        *y = angles_[v & 3][1];
        *r = angles_[v & 3][2];
        return 0;
    }
    int SetViewAngleLimits(float a, float b, float c, float d, float e, float f, int v) override {
        char text[160];
        std::snprintf(text, sizeof text, "SetViewAngleLimits %g %g %g %g %g %g %d", a, b, c, d, e,
                      f, v);
        return record(text);
    }
    int SetViewAngles(float p, float y, float r, unsigned v) override {
        angles_[v & 3][0] = p;
        angles_[v & 3][1] = y;
        angles_[v & 3][2] = r;
        char text[120];
        std::snprintf(text, sizeof text, "SetViewAngles %g %g %g %u", p, y, r, v);
        return record(text);
    }
    int SetZoom(float z, unsigned v) override {
        zoom_[v & 3] = z;
        char text[64];
        std::snprintf(text, sizeof text, "SetZoom %g %u", z, v);
        return record(text);
    }
    int SetVolume(int v) override { return record("SetVolume " + std::to_string(v)); }
    int IsPlaying() override { return playing_ ? 1 : 0; }
    int Stop() override {
        playing_ = false;
        return record("Stop");
    }
    int Pause() override { return record("Pause"); }
    int Resume() override { return record("Resume"); }
    int PrepareCalibration(const char*, const char* dest) override {
        Call c(this, "PrepareCalibration " + std::string(dest));
        return config_.prepare_result;
    }
    int GetVideoSize(int* w, int* h) override {
        *w = config_.width;
        *h = config_.height;
        return 0;
    }
    int SetOrientation(int o) override { return record("SetOrientation " + std::to_string(o)); }
    int StepFrame(bool forward) override {
        return record(std::string("StepFrame ") + (forward ? "1" : "0"));
    }
    int SetVideoFilter(const char* d) override {
        return record("SetVideoFilter " + std::string(d));
    }

    // As the player's own threads do when playback ends or fails.
    void end() { on_end_(context_); }
    void fail(int code) { on_error_(context_, code); }

    const init_param* param_ = nullptr;
    float zoom_[4] = {1.5f, 1.5f, 1.5f, 1.5f};
    float angles_[4][3] = {};

private:
    // Marks a call in progress; two at once count as an overlap.
    struct Call {
        Call(FakePlayer* p, const std::string& name) : log(p->log_) {
            if (log.inside.fetch_add(1) != 0) ++log.overlaps;
            log.add(name);
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        ~Call() { --log.inside; }
        CallLog& log;
    };
    int record(const std::string& name) {
        Call c(this, name);
        return 0;
    }

    FakeConfig& config_;
    CallLog& log_;
    bool playing_ = false;
    EndCallback on_end_ = nullptr;
    ErrorCallback on_error_ = nullptr;
    void* context_ = nullptr;
};

}  // namespace controller_test
