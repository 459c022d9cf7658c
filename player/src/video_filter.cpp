#include "video_filter.h"

#include <cstdio>

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/opt.h>
}

namespace sphere_player {
namespace {

struct InOutDeleter {
    void operator()(AVFilterInOut* io) const { avfilter_inout_free(&io); }
};
using InOutPtr = std::unique_ptr<AVFilterInOut, InOutDeleter>;

constexpr std::size_t kSourceArgsSize = 512;

int make_source(player_state& ps, AVFilterGraph* graph) {
    const video_state& vs = *ps.vs;
    const AVCodecContext* codec = vs.video_codec.get();
    const AVRational tb = vs.video_stream->time_base;
    char args[kSourceArgsSize];
    std::snprintf(args, sizeof args,
                  "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d", codec->width,
                  codec->height, static_cast<int>(vs.video_pix_fmt), tb.num, tb.den,
                  codec->sample_aspect_ratio.num, codec->sample_aspect_ratio.den);
    return avfilter_graph_create_filter(&ps.filter_source, avfilter_get_by_name("buffer"), "in",
                                        args, nullptr, graph);
}

int make_sink(player_state& ps, AVFilterGraph* graph) {
    int rc = avfilter_graph_create_filter(&ps.filter_sink, avfilter_get_by_name("buffersink"),
                                          "out", nullptr, nullptr, graph);
    if (rc < 0) return rc;
    const enum AVPixelFormat formats[] = {AV_PIX_FMT_YUV420P, AV_PIX_FMT_NONE};
    rc = av_opt_set_int_list(ps.filter_sink, "pix_fmts", formats, AV_PIX_FMT_NONE,
                             AV_OPT_SEARCH_CHILDREN);
    if (rc < 0) av_log(nullptr, AV_LOG_ERROR, "Cannot set output pixel format\n");
    return rc;
}

// The graph's open output "in" feeds the description, whose open input
// "out" ends in the sink.
int link_description(player_state& ps, AVFilterGraph* graph, const char* description) {
    InOutPtr outputs(avfilter_inout_alloc());
    InOutPtr inputs(avfilter_inout_alloc());
    if (!outputs || !inputs) return AVERROR(ENOMEM);
    outputs->name = av_strdup("in");
    outputs->filter_ctx = ps.filter_source;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = ps.filter_sink;
    AVFilterInOut* in_raw = inputs.release();
    AVFilterInOut* out_raw = outputs.release();
    int rc = avfilter_graph_parse_ptr(graph, description, &in_raw, &out_raw, nullptr);
    inputs.reset(in_raw);
    outputs.reset(out_raw);
    if (rc >= 0) rc = avfilter_graph_config(graph, nullptr);
    return rc;
}

}  // namespace

void release_filter_locked(player_state& ps) {
    ps.filter_graph.reset();
    ps.filter_source = ps.filter_sink = nullptr;
    ps.filtered_frame.reset();
    ps.filter_active = false;
}

int init_filters(player_state& ps, const char* description) {
    release_filter_locked(ps);
    if (!ps.vs->video_codec || ps.vs->video_stream == nullptr) return AVERROR(EINVAL);
    ps.filtered_frame.reset(av_frame_alloc());
    ps.filter_graph.reset(avfilter_graph_alloc());
    if (!ps.filtered_frame || !ps.filter_graph) {
        release_filter_locked(ps);
        return AVERROR(ENOMEM);
    }
    AVFilterGraph* graph = ps.filter_graph.get();
    int rc = make_source(ps, graph);
    if (rc >= 0) rc = make_sink(ps, graph);
    if (rc >= 0) rc = link_description(ps, graph, description);
    if (rc < 0) {
        release_filter_locked(ps);
        return rc;
    }
    ps.filter_active = true;
    return rc;
}

AVFrame* filter_picture_locked(player_state& ps, AVFrame* picture) {
    if (av_buffersrc_add_frame_flags(ps.filter_source, picture, AV_BUFFERSRC_FLAG_KEEP_REF) < 0) {
        return nullptr;
    }
    if (av_buffersink_get_frame(ps.filter_sink, ps.filtered_frame.get()) < 0) return nullptr;
    return ps.filtered_frame.get();
}

}  // namespace sphere_player
