// kvptool info FILE [--json]: what a recording holds.
#include <cstdio>
#include <iostream>
#include <string>

#include <nlohmann/json.hpp>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

#include "command.h"

namespace {

struct Options {
    std::string file;
    bool json = false;
};

struct StreamInfo {
    std::string type;
    std::string codec;
    int width = 0, height = 0;
    int sample_rate = 0, channels = 0;
};

int run_info(const Options& opt) {
    AVFormatContext* fmt = nullptr;
    const int open_rc = avformat_open_input(&fmt, opt.file.c_str(), nullptr, nullptr);
    if (open_rc < 0) {
        char err[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(open_rc, err, sizeof err);
        if (opt.json) {
            nlohmann::json j = {{"code", 15}, {"error", std::string("cannot open: ") + err}};
            std::cout << j.dump(2) << "\n";
        } else {
            std::fprintf(stderr, "kvptool info: cannot open %s: %s\n", opt.file.c_str(), err);
        }
        return 15;
    }
    avformat_find_stream_info(fmt, nullptr);
    nlohmann::json streams = nlohmann::json::array();
    int width = 0, height = 0;
    bool has_audio = false;
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        const AVCodecParameters* par = fmt->streams[i]->codecpar;
        nlohmann::json s = {{"index", i},
                            {"type", av_get_media_type_string(par->codec_type)
                                         ? av_get_media_type_string(par->codec_type)
                                         : "unknown"},
                            {"codec", avcodec_get_name(par->codec_id)}};
        if (par->codec_type == AVMEDIA_TYPE_VIDEO && width == 0) {
            width = par->width;
            height = par->height;
        }
        if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
            s["width"] = par->width;
            s["height"] = par->height;
        } else if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
            has_audio = true;
            s["sample_rate"] = par->sample_rate;
            s["channels"] = par->ch_layout.nb_channels;
        }
        streams.push_back(s);
    }
    const long long duration_ms =
        fmt->duration == AV_NOPTS_VALUE ? 0 : fmt->duration / (AV_TIME_BASE / 1000);
    nlohmann::json j = {{"code", width > 0 ? 0 : 16},
                        {"error", width > 0 ? "" : "no video stream"},
                        {"format", fmt->iformat->name},
                        {"duration_ms", duration_ms},
                        {"width", width},
                        {"height", height},
                        {"square", width > 0 && width == height},
                        {"has_audio", has_audio},
                        {"streams", streams}};
    avformat_close_input(&fmt);
    if (opt.json) {
        std::cout << j.dump(2) << "\n";
    } else {
        std::printf("file:      %s\n", opt.file.c_str());
        std::printf("size:      %dx%d (%s)\n", width, height,
                    width > 0 && width == height ? "square fisheye" : "flat");
        std::printf("duration:  %lld ms\n", duration_ms);
        for (const auto& s : streams) {
            std::printf("stream %d:  %s %s\n", s["index"].get<int>(),
                        s["type"].get<std::string>().c_str(),
                        s["codec"].get<std::string>().c_str());
        }
    }
    return j["code"].get<int>();
}

void setup_info(CLI::App& app, int& exit_code) {
    auto opt = std::make_shared<Options>();
    auto* sub = app.add_subcommand("info", "Show size, kind, duration and streams of a recording");
    sub->add_option("file", opt->file, "MP4 or MPEG-TS recording")->required();
    sub->add_flag("--json", opt->json, "Print one JSON object");
    sub->callback([opt, &exit_code] { exit_code = run_info(*opt); });
}

}  // namespace

KVPTOOL_COMMAND(info, setup_info)
