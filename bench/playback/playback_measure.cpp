// Playback measurements under an X server: how well the display keeps up
// with the clock, how long Stop takes, and many Init/Play/Stop cycles.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <SDL2/SDL.h>

#include "autocalib/autocalib.h"
#include "platform/video_host_window.h"
#include "platform/window_messages.h"
#include "sphere_player_impl.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWindowWidth = 1224;
constexpr int kWindowHeight = 658;

double seconds_since(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

double cpu_seconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Run {
    std::unique_ptr<platform::VideoHostWindow> host;
    sphere_player::DOR_SpherePlayerImpl player;
    std::string media, calib;
    init_param param{};
    bool ended = false;

    static void on_end(void* self) { static_cast<Run*>(self)->ended = true; }

    bool open(const std::string& file, int draw_mode) {
        media = file;
        calib = "/tmp/playback_measure.inf";
        param = init_param{media.c_str(), calib.c_str(), "", 0, 0, 0, 0, 1};
        if (player.Init(&param) != DOR_PLAYER_OK) {
            std::fprintf(stderr, "Init: %s", player.GetLastErrorText());
            return false;
        }
        int w = 0, h = 0;
        player.GetVideoSize(&w, &h);
        autocalib::write_calibration_file(calib.c_str(), autocalib::kCalibrationFovDeg, w / 2.0f,
                                          h / 2.0f, w / 2.0f, w, h);
        param.end_time_ms = static_cast<int>(player.GetVideoDurationms());
        player.SetNativeWindow(reinterpret_cast<DOR_NativeWindow>(host->video()));
        player.SetViewport(0, 0, host->width(), host->height(), 0);
        player.SetDrawMode(draw_mode, 0);
        player.SetViewAngles(-60, -87, 0, 0);  // the single view, looking down
        ended = false;
        return true;
    }
    bool play() {
        if (player.Play(nullptr, nullptr, on_end, this, nullptr) == DOR_PLAYER_OK) return true;
        std::fprintf(stderr, "Play: %s", player.GetLastErrorText());
        return false;
    }
    void drain_messages() {
        platform::WindowMessage m;
        while (platform::take_message(host->frame(), &m)) {
        }
    }
    void wait_position(long ms) {
        while (player.GetCurrentPositionMs() < ms && player.IsPlaying() != 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            drain_messages();
        }
    }
};

std::unique_ptr<Run> make_run(int width, int height) {
    auto run = std::make_unique<Run>();
    std::string why;
    run->host = platform::VideoHostWindow::create(width, height, "playback measure", &why);
    if (!run->host) {
        std::fprintf(stderr, "no window: %s\n", why.c_str());
        return nullptr;
    }
    // SDL's video stays up for the process (the player's own start and
    // shutdown count it up and down), so that the GL driver is not unloaded
    // between cycles: LeakSanitizer cannot tell its state from a leak once
    // its module is gone, and would hide the player's own leaks among them.
    SDL_InitSubSystem(SDL_INIT_VIDEO);
    return run;
}

int realtime(const std::string& file, int draw_mode, int width, int height) {
    auto run = make_run(width, height);
    if (!run || !run->open(file, draw_mode)) return 1;
    const double cpu0 = cpu_seconds();
    const auto t0 = Clock::now();
    if (!run->play()) return 1;
    while (!run->ended) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        run->drain_messages();
    }
    const double wall = seconds_since(t0), cpu = cpu_seconds() - cpu0;
    run->player.Stop();
    const sphere_player::PlaybackStats& s = run->player.state().stats;
    const double shown_s = (s.last_taken_ms - s.first_taken_ms) / 1000.0;
    std::printf("file                 %s\n", file.c_str());
    std::printf("window               %dx%d, one view (draw mode %d)\n", width, height, draw_mode);
    std::printf("pictures shown       %lld of which drawn %lld\n",
                static_cast<long long>(s.pictures_taken), static_cast<long long>(s.pictures_drawn));
    std::printf("frames per second    %.2f (over %.2f s of showing)\n",
                shown_s > 0 ? static_cast<double>(s.pictures_taken - 1) / shown_s : 0.0, shown_s);
    std::printf("lag clock-picture    min %.1f  mean %.1f  max %.1f ms (max at %.0f ms)\n",
                s.lag_min_ms, s.mean_lag_ms(), s.lag_max_ms, s.lag_max_at_ms);
    std::printf("lag after 2 s        max %.1f ms\n", s.lag_max_settled_ms);
    std::printf("lag drift            %.3f ms per second of playback\n", s.lag_slope());
    std::printf("wall time            %.2f s (Play to EndCallback)\n", wall);
    std::printf("CPU use              %.2f s = %.0f%% of one core\n", cpu, 100.0 * cpu / wall);
    return 0;
}

double timed_stop(Run& run) {
    const auto t0 = Clock::now();
    run.player.Stop();
    return seconds_since(t0) * 1000.0;
}

// Stop from each state: just started, playing, paused, stepping, and with
// the decoder waiting for room in a full ring.
int stop_times(const std::string& file) {
    auto run = make_run(320, 240);
    if (!run) return 1;
    struct Case {
        const char* name;
        void (*prepare)(Run&);
    };
    const Case cases[] = {
        {"right after Play", [](Run&) {}},
        {"playing", [](Run& r) { r.wait_position(500); }},
        {"paused",
         [](Run& r) {
             r.wait_position(500);
             r.player.Pause();
         }},
        {"stepping back",
         [](Run& r) {
             r.wait_position(1200);
             r.player.Pause();
             r.player.StepFrame(false);
             r.player.StepFrame(false);
         }},
        {"full picture queue",
         [](Run& r) {
             r.wait_position(100);  // the decoder is ahead and waits for room
         }},
    };
    double worst = 0;
    for (const Case& c : cases) {
        double max_ms = 0;
        for (int i = 0; i < 5; ++i) {
            if (!run->open(file, 2) || !run->play()) return 1;
            c.prepare(*run);
            max_ms = std::max(max_ms, timed_stop(*run));
            run->drain_messages();
        }
        std::printf("Stop %-20s max %6.1f ms of 5\n", c.name, max_ms);
        worst = std::max(worst, max_ms);
    }
    std::printf("Stop worst case      %.1f ms\n", worst);
    return 0;
}

int cycles(int n, const std::string& file) {
    auto run = make_run(320, 240);
    if (!run) return 1;
    double worst = 0;
    for (int i = 0; i < n; ++i) {
        if (!run->open(file, 2) || !run->play()) return 1;
        run->wait_position(100 + (i % 5) * 50);
        if (i % 3 == 1) run->player.Pause();
        worst = std::max(worst, timed_stop(*run));
        run->drain_messages();
    }
    std::printf("%d Init/Play/Stop cycles, slowest Stop %.1f ms\n", n, worst);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    const std::string mode = argc > 1 ? argv[1] : "realtime";
    if (mode == "realtime") {
        return realtime(argc > 2 ? argv[2] : KVP_SAMPLES_DIR "/bench_1920.mp4",
                        argc > 3 ? std::atoi(argv[3]) : 2,
                        argc > 4 ? std::atoi(argv[4]) : kWindowWidth,
                        argc > 5 ? std::atoi(argv[5]) : kWindowHeight);
    }
    if (mode == "stop") return stop_times(argc > 2 ? argv[2] : KVP_SAMPLES_DIR "/fisheye.mp4");
    if (mode == "cycles") {
        const int n = argc > 2 ? std::atoi(argv[2]) : 100;
        return cycles(n, argc > 3 ? argv[3] : KVP_SAMPLES_DIR "/fisheye.mp4");
    }
    std::fprintf(stderr,
                 "usage: playback_measure realtime [FILE] | stop [FILE] | cycles N [FILE]\n");
    return 2;
}
