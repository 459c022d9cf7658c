// kvptool info FILE [--json]: what the player reports when it opens a
// recording (its Init, through the library's public interface): the
// duration by the player's rules, the frame size, square fisheye or flat,
// and on failure the code and error text. A recorder TS file is repaired
// first, exactly as the player does before playing it. The streams are
// listed from a plain probe of the file.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

#include "SpherePlayer.h"
#include "command.h"
#include "common.h"
#include "tsfix/ts_fix_tool.h"
#include "tsfix/ts_packet.h"

// Named for the build that compiles the commands together.
namespace info_command {
namespace {

struct Options {
    std::string file;
    bool json = false;
};

struct PlayerDeleter {
    void operator()(DOR_SpherePlayer* p) const { DestroySpherePlayer(p); }
};

struct Report {
    int code = DOR_PLAYER_OK;
    std::string error;
    DOR_VideoTime duration{0, 0, 0};
    long long duration_ms = 0;
    int width = 0, height = 0;
    bool has_audio = false;
    nlohmann::json last_pcr;  // TS files only
    nlohmann::json streams = nlohmann::json::array();
    long long size_before = -1, size_after = -1;
};

long long file_size(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

// What the player says when it opens the file.
void run_init(const std::string& file, Report& r) {
    std::unique_ptr<DOR_SpherePlayer, PlayerDeleter> player(CreateSpherePlayer());
    if (!player) {
        r.code = DOR_PLAYER_FAILED;
        r.error = "error: cannot create the player;\n";
        return;
    }
    init_param param{file.c_str(), "", "", 0, 0, 0, 0, 1};
    r.code = player->Init(&param);
    if (r.code != DOR_PLAYER_OK) {
        r.error = player->GetLastErrorText();
        return;
    }
    player->GetVideoDuration(&r.duration);
    r.duration_ms = static_cast<long long>(player->GetVideoDurationms());
    player->GetVideoSize(&r.width, &r.height);
}

// The streams as FFmpeg lists them.
void probe_streams(const std::string& file, Report& r) {
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, file.c_str(), nullptr, nullptr) < 0) return;
    avformat_find_stream_info(fmt, nullptr);
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        const AVCodecParameters* par = fmt->streams[i]->codecpar;
        const char* type = av_get_media_type_string(par->codec_type);
        nlohmann::json s = {{"index", i},
                            {"type", type ? type : "unknown"},
                            {"codec", avcodec_get_name(par->codec_id)}};
        if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
            s["width"] = par->width;
            s["height"] = par->height;
        } else if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
            r.has_audio = true;
            s["sample_rate"] = par->sample_rate;
            s["channels"] = par->ch_layout.nb_channels;
        }
        r.streams.push_back(s);
    }
    avformat_close_input(&fmt);
}

bool square(const Report& r) {
    return r.width > 0 && r.width == r.height;
}

nlohmann::json to_json(const std::string& file, const Report& r) {
    nlohmann::json j = {{"file", file}, {"code", r.code}, {"error", r.error}};
    if (r.code != DOR_PLAYER_OK) return j;
    j["duration"] = {r.duration.minutes, r.duration.seconds, r.duration.milliseconds};
    j["duration_ms"] = r.duration_ms;
    j["width"] = r.width;
    j["height"] = r.height;
    j["square"] = square(r);
    j["has_audio"] = r.has_audio;
    j["last_pcr"] = r.last_pcr;
    j["streams"] = r.streams;
    return j;
}

void print_plain(const std::string& file, const Report& r) {
    if (r.code != DOR_PLAYER_OK) {
        std::string text = r.error.empty() ? DOR_PlayerResultName(r.code) : r.error;
        while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
        std::fprintf(stderr, "kvptool info: %s: %s (code %d)\n", file.c_str(), text.c_str(),
                     r.code);
        return;
    }
    std::printf("file:      %s\n", file.c_str());
    std::printf("size:      %dx%d (%s)\n", r.width, r.height,
                square(r) ? "square fisheye" : "flat");
    std::printf("duration:  %d:%02d.%03d (%lld ms)\n", r.duration.minutes, r.duration.seconds,
                r.duration.milliseconds, r.duration_ms);
    for (const auto& s : r.streams) {
        std::printf("stream %d:  %s %s", s["index"].get<int>(),
                    s["type"].get<std::string>().c_str(), s["codec"].get<std::string>().c_str());
        if (s.contains("width"))
            std::printf(" %dx%d", s["width"].get<int>(), s["height"].get<int>());
        if (s.contains("sample_rate")) {
            std::printf(" %d Hz, %d channel(s)", s["sample_rate"].get<int>(),
                        s["channels"].get<int>());
        }
        std::printf("\n");
    }
    if (!r.last_pcr.is_null()) std::printf("last PCR:  %lld\n", r.last_pcr.get<long long>());
    if (r.size_after != r.size_before) {
        std::printf("repaired:  cut from %lld to %lld bytes\n", r.size_before, r.size_after);
    }
}

int run_info(const Options& opt) {
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);  // probing never needs a real sound device
    Report r;
    r.size_before = file_size(opt.file);
    if (kvptool::is_special_file(opt.file)) {
        r.code = DOR_PLAYER_OPEN_FAILED;
        r.error = "error: " + opt.file + " is not a regular file;\n";
    } else {
        run_init(opt.file, r);
    }
    r.size_after = file_size(opt.file);
    if (r.code == DOR_PLAYER_OK) {
        probe_streams(opt.file, r);
        if (tsfix::is_ts_path(opt.file)) {
            r.last_pcr = static_cast<long long>(tsfix::read_last_pcr(opt.file));
        }
    }
    if (opt.json) {
        std::cout << kvptool::json_text(to_json(opt.file, r)) << "\n";
    } else {
        print_plain(opt.file, r);
    }
    return r.code;
}

void setup_info(CLI::App& app, int& exit_code) {
    auto opt = std::make_shared<Options>();
    auto* sub = app.add_subcommand(
        "info", "Show what the player reports on a recording: size, kind, duration, streams");
    sub->add_option("file", opt->file, "MP4 or MPEG-TS recording")->required();
    sub->add_flag("--json", opt->json,
                  "Print one JSON object (code, error, duration [min, s, ms], duration_ms, width, "
                  "height, square, has_audio, last_pcr, streams)");
    sub->footer(
        "The exit status is the player's code: 0, 15 (cannot open), 16 (no video stream) or 21.\n"
        "A recorder TS file is repaired first, as the player does (see kvptool tsfix).");
    sub->callback([opt, &exit_code] { exit_code = run_info(*opt); });
}

}  // namespace
}  // namespace info_command

KVPTOOL_COMMAND(info, info_command::setup_info)
