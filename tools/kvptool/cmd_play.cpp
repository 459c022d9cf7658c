// kvptool play FILE [--layout L] [--direction D]: plays a recording through
// the player library in a window of its own, as the viewer would without
// its controls: the layout's viewports, draw modes and default view angles,
// space to pause and resume, the arrow keys to step while paused, q or
// Escape to stop. Prints the position the player reports.
#include <poll.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "SpherePlayer.h"
#include "SpherePlayerMessages.h"
#include "command.h"
#include "layout/view_layout.h"
#include "platform/paths.h"
#include "platform/video_host_window.h"
#include "platform/window_messages.h"

// Named for the build that compiles the commands together.
namespace play_command {
namespace {

constexpr int kPollMs = 50;

struct Options {
    std::string file;
    std::string layout = "single";
    std::string direction = "down";
    std::string calib;
    int width = 1224, height = 658;
    double seconds = 0.0;  // stop after this long; 0: play to the end
    bool quiet = false;
};

struct PlayerDeleter {
    void operator()(DOR_SpherePlayer* p) const { DestroySpherePlayer(p); }
};
using PlayerPtr = std::unique_ptr<DOR_SpherePlayer, PlayerDeleter>;

struct Session {
    std::atomic<bool> ended{false};
    std::atomic<int> error{0};
    bool quiet = false;

    static void on_end(void* self) { static_cast<Session*>(self)->ended = true; }
    static void on_error(void* self, int code) {
        auto* s = static_cast<Session*>(self);
        s->error = code;
        s->ended = true;
    }
};

// The default view of viewport v: the single view takes the controller's
// one-view display angles, layouts 1 to 3 their own; the strip has none.
std::optional<view_layout::Angles> default_view(int layout, int v, int direction) {
    if (layout == view_layout::kLayoutSingle) {
        return view_layout::display_type_angles(1, v, direction);
    }
    return view_layout::default_view_angles(layout, v, direction);
}

void apply_layout(DOR_SpherePlayer& player, int layout, int direction, int w, int h,
                  const std::string& calib) {
    const view_layout::Viewports views = view_layout::layout_viewports(layout, w, h);
    for (unsigned v = 0; v < DOR_PLAYER_MAX_VIEWPORTS; ++v) {
        if (static_cast<int>(v) >= views.count) {
            player.DisableViewport(v);
            continue;
        }
        const view_layout::Rect& r = views.rects[v];
        player.SetViewport(r.x, r.y, r.width, r.height, v);
        player.SetDrawMode(views.draw_mode, v);
    }
    if (layout == view_layout::kLayoutStrip) {
        player.SetOrientation(direction != view_layout::kDirectionUp ? 1 : 0);
        return;
    }
    int pitch = 0;
    if (layout == view_layout::kLayoutSplit2 || layout == view_layout::kLayoutSplit4) {
        pitch = view_layout::automatic_pitch_deg(
            view_layout::calibration_frame_height(calib.c_str()), player.GetZoom(0));
    }
    for (int v = 0; v < views.count; ++v) {
        const std::optional<view_layout::Angles> a = default_view(layout, v, direction);
        if (!a) continue;
        const view_layout::Angles b = view_layout::with_automatic_pitch(*a, direction, pitch);
        player.SetViewAngles(b.pitch_deg, b.yaw_deg, b.roll_deg, static_cast<unsigned>(v));
    }
}

bool is_square(DOR_SpherePlayer& player) {
    int w = 0, h = 0;
    return player.GetVideoSize(&w, &h) == 0 && w > 0 && w == h;
}

// A calibration beside the recording (NAME.inf), else the player's own
// preparation (stored per-width file or automatic calibration) into the
// temporary folder; empty when there is none. A failed preparation is
// reported on stderr.
std::string find_calibration(DOR_SpherePlayer& player, const std::string& file) {
    const std::string stem = file.substr(0, file.rfind('.'));
    if (platform::path_exists(stem + ".inf")) return stem + ".inf";
    const char* tmp = std::getenv("TMPDIR");
    const std::string prepared =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/kvptool-play.inf";
    std::remove(prepared.c_str());
    if (player.PrepareCalibration(file.c_str(), prepared.c_str()) != DOR_PLAYER_OK) {
        std::string text = player.GetLastErrorText();
        while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
        std::fprintf(stderr, "kvptool play: %s: no lens calibration: %s\n", file.c_str(),
                     text.c_str());
    }
    return platform::path_exists(prepared) ? prepared : std::string();
}

void print_position(const platform::WindowMessage& m) {
    std::printf("position %ld.%03ld s\n", static_cast<long>(m.wparam),
                static_cast<long>(m.lparam % 1000));
    std::fflush(stdout);
}

void on_message(const Session& s, const platform::WindowMessage& m) {
    if (s.quiet) return;
    if (m.message == WM_PLAYER_POSITION) print_position(m);
    if (m.message == WM_PLAYER_DBLCLICK) std::printf("double click\n");
    if (m.message == WM_PLAYER_DROPFILE) {
        std::printf("dropped %s\n", reinterpret_cast<const char*>(m.wparam));
    }
}

struct Controls {
    bool paused = false;
    bool quit = false;
};

void on_key(DOR_SpherePlayer& player, Controls& c, const std::string& key) {
    if (key == "space") {
        c.paused = !c.paused;
        if (c.paused) {
            player.Pause();
        } else {
            player.Resume();
        }
    } else if (key == "Right" || key == "Left") {
        player.StepFrame(key == "Right");
    } else if (key == "q" || key == "Escape") {
        c.quit = true;
    }
}

// The host's loop: X events of the frame, the player's messages, the end.
void run_loop(DOR_SpherePlayer& player, platform::VideoHostWindow& host, Session& s,
              double seconds) {
    Controls c;
    const int message_fd = platform::wakeup_fd(host.frame());
    const auto start = std::chrono::steady_clock::now();
    while (!s.ended && !c.quit) {
        pollfd fds[2] = {{host.connection_fd(), POLLIN, 0}, {message_fd, POLLIN, 0}};
        ::poll(fds, 2, kPollMs);
        host.process_events([&](const platform::HostEvent& e) {
            if (e.kind == platform::HostEvent::Kind::key) on_key(player, c, e.key);
            if (e.kind == platform::HostEvent::Kind::close) c.quit = true;
        });
        platform::WindowMessage m;
        while (platform::take_message(host.frame(), &m)) on_message(s, m);
        const std::chrono::duration<double> t = std::chrono::steady_clock::now() - start;
        if (seconds > 0.0 && t.count() >= seconds) c.quit = true;
    }
    platform::WindowMessage m;
    while (platform::take_message(host.frame(), &m)) on_message(s, m);
}

int parse_choice(const std::map<std::string, int>& names, const std::string& value) {
    const auto it = names.find(value);
    return it == names.end() ? -1 : it->second;
}

int fail(const std::string& file, const char* what, DOR_SpherePlayer* player, int code) {
    std::string text = player != nullptr ? player->GetLastErrorText() : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    std::fprintf(stderr, "kvptool play: %s: %s: %s (code %d)\n", file.c_str(), what, text.c_str(),
                 code);
    return code;
}

int run_play(const Options& opt) {
    const int layout = parse_choice({{"single", view_layout::kLayoutSingle},
                                     {"wide", view_layout::kLayoutWide},
                                     {"split2", view_layout::kLayoutSplit2},
                                     {"split4", view_layout::kLayoutSplit4},
                                     {"strip", view_layout::kLayoutStrip}},
                                    opt.layout);
    const int direction = parse_choice({{"up", view_layout::kDirectionUp},
                                        {"down", view_layout::kDirectionDown},
                                        {"side", view_layout::kDirectionSide}},
                                       opt.direction);
    std::string why;
    auto host = platform::VideoHostWindow::create(opt.width, opt.height, "kvptool play", &why);
    if (!host) {
        std::fprintf(stderr, "kvptool play: %s\n", why.c_str());
        return DOR_PLAYER_DISPLAY_FAILED;
    }
    PlayerPtr player(CreateSpherePlayer());
    if (!player) return fail(opt.file, "cannot create the player", nullptr, DOR_PLAYER_FAILED);
    init_param param{opt.file.c_str(), "", "", 0, 0, 0, 0, 1};
    int rc = player->Init(&param);
    if (rc != DOR_PLAYER_OK) return fail(opt.file, "cannot open", player.get(), rc);
    const bool square = is_square(*player);
    const std::string calib = !opt.calib.empty() ? opt.calib : find_calibration(*player, opt.file);
    // Without a lens there is nothing to dewarp: the picture is shown flat.
    const bool fisheye = square && !calib.empty();
    if (square && !fisheye) {
        std::fprintf(stderr, "kvptool play: %s: showing the picture flat\n", opt.file.c_str());
    }
    param.calib_filename = calib.c_str();
    param.panorama_input = calib.empty() ? 1 : 0;  // a flat video needs no lens
    param.end_time_ms = static_cast<int>(player->GetVideoDurationms());
    player->SetNativeWindow(reinterpret_cast<DOR_NativeWindow>(host->video()));
    player->SetViewport(0, 0, opt.width, opt.height, 0);
    const view_layout::Viewports first =
        fisheye ? view_layout::layout_viewports(layout, opt.width, opt.height)
                : view_layout::flat_viewports(opt.width, opt.height);
    player->SetDrawMode(first.draw_mode, 0);
    Session session;
    session.quiet = opt.quiet;
    rc = player->Play(nullptr, nullptr, Session::on_end, &session, Session::on_error);
    if (rc != DOR_PLAYER_OK) return fail(opt.file, "cannot play", player.get(), rc);
    if (fisheye) apply_layout(*player, layout, direction, opt.width, opt.height, calib);
    run_loop(*player, *host, session, opt.seconds);
    player->Stop();  // before the host window goes
    if (session.error != 0) return fail(opt.file, "display failed", player.get(), session.error);
    return DOR_PLAYER_OK;
}

void setup_play(CLI::App& app, int& exit_code) {
    auto opt = std::make_shared<Options>();
    auto* sub = app.add_subcommand("play", "Play a recording in a window, dewarped, with sound");
    sub->add_option("file", opt->file, "MP4 or MPEG-TS recording")->required();
    sub->add_option("--layout", opt->layout, "single, wide, split2, split4 or strip")
        ->check(CLI::IsMember({"single", "wide", "split2", "split4", "strip"}));
    sub->add_option("--direction", opt->direction, "view direction: up, down or side")
        ->check(CLI::IsMember({"up", "down", "side"}));
    sub->add_option("--calib", opt->calib,
                    "calibration file (default: NAME.inf beside the recording, else one the "
                    "player prepares)");
    sub->add_option("--width", opt->width, "window width")->check(CLI::Range(16, 8192));
    sub->add_option("--height", opt->height, "window height")->check(CLI::Range(16, 8192));
    sub->add_option("--seconds", opt->seconds, "stop after this many seconds (0: to the end)");
    sub->add_flag("--quiet", opt->quiet, "do not print the positions");
    sub->footer(
        "Keys: space pauses and resumes, Right and Left step one picture while paused,\n"
        "q or Escape stops. The player posts its position every fifth picture; each is\n"
        "printed as \"position S.MMM s\". Exit status: 0, or the player's code (15, 16, 20, 21).");
    sub->callback([opt, &exit_code] { exit_code = run_play(*opt); });
}

}  // namespace
}  // namespace play_command

KVPTOOL_COMMAND(play, play_command::setup_play)
