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

}  // namespace

int VideoFilter::make_source(const Source& in) {
    char args[kSourceArgsSize];
    std::snprintf(args, sizeof args,
                  "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d", in.width,
                  in.height, static_cast<int>(in.format), in.time_base.num, in.time_base.den,
                  in.aspect.num, in.aspect.den);
    return avfilter_graph_create_filter(&source_, avfilter_get_by_name("buffer"), "in", args,
                                        nullptr, graph_.get());
}

int VideoFilter::make_sink() {
    int rc = avfilter_graph_create_filter(&sink_, avfilter_get_by_name("buffersink"), "out",
                                          nullptr, nullptr, graph_.get());
    if (rc < 0) return rc;
    const enum AVPixelFormat formats[] = {AV_PIX_FMT_YUV420P, AV_PIX_FMT_NONE};
    rc = av_opt_set_int_list(sink_, "pix_fmts", formats, AV_PIX_FMT_NONE, AV_OPT_SEARCH_CHILDREN);
    if (rc < 0) av_log(nullptr, AV_LOG_ERROR, "Cannot set output pixel format\n");
    return rc;
}

// The graph's open output "in" feeds the description, whose open input
// "out" ends in the sink.
int VideoFilter::link_description(const char* description) {
    InOutPtr outputs(avfilter_inout_alloc());
    InOutPtr inputs(avfilter_inout_alloc());
    if (!outputs || !inputs) return AVERROR(ENOMEM);
    outputs->name = av_strdup("in");
    outputs->filter_ctx = source_;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = sink_;
    AVFilterInOut* in_raw = inputs.release();
    AVFilterInOut* out_raw = outputs.release();
    int rc = avfilter_graph_parse_ptr(graph_.get(), description, &in_raw, &out_raw, nullptr);
    avfilter_inout_free(&in_raw);
    avfilter_inout_free(&out_raw);
    if (rc >= 0) rc = avfilter_graph_config(graph_.get(), nullptr);
    return rc;
}

void VideoFilter::release_locked() {
    graph_.reset();
    source_ = sink_ = nullptr;
    filtered_.reset();
    active_ = false;
}

int VideoFilter::build_locked(const char* description, const Source& in) {
    release_locked();
    filtered_.reset(av_frame_alloc());
    graph_.reset(avfilter_graph_alloc());
    if (!filtered_ || !graph_) {
        release_locked();
        return AVERROR(ENOMEM);
    }
    int rc = make_source(in);
    if (rc >= 0) rc = make_sink();
    if (rc >= 0) rc = link_description(description);
    if (rc < 0) {
        release_locked();
        return rc;
    }
    active_ = true;
    return rc;
}

int VideoFilter::rebuild(const char* description, const Source* source) {
    const char* text = description != nullptr ? description : "";
    platform::MutexLock lock(mutex);
    release_locked();
    std::snprintf(description_, sizeof description_, "%s", text);
    if (*text == '\0') return 0;
    if (source == nullptr) return AVERROR(EINVAL);
    return build_locked(text, *source);
}

void VideoFilter::release() {
    platform::MutexLock lock(mutex);
    release_locked();
}

bool VideoFilter::active() {
    platform::MutexLock lock(mutex);
    return active_;
}

std::string VideoFilter::description() {
    platform::MutexLock lock(mutex);
    return description_;
}

AVFrame* VideoFilter::apply_locked(AVFrame* picture) {
    if (!active_) return picture;
    if (av_buffersrc_add_frame_flags(source_, picture, AV_BUFFERSRC_FLAG_KEEP_REF) < 0) {
        return nullptr;
    }
    if (av_buffersink_get_frame(sink_, filtered_.get()) < 0) return nullptr;
    return filtered_.get();
}

}  // namespace sphere_player
