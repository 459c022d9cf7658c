#include "export/recording_join.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include <unistd.h>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mathematics.h>
}

#include "ffmpeg_support/handles.h"

namespace exporter {
namespace {

constexpr AVRational kMicroseconds = {1, 1000000};
constexpr std::int64_t kNoTime = std::numeric_limits<std::int64_t>::min();
// Frame rates that differ by less than this share are the same rate (the
// containers round them differently).
constexpr double kFrameRateTolerance = 0.01;
// How many packets are copied between two looks at the cancel callback.
constexpr int kPacketsPerCancelCheck = 64;

std::string file_name_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

// --- the sources

struct Source {
    std::string path;
    av::InputContextPtr ctx;
    int video = -1, audio = -1;
    AVStream* video_stream() const { return ctx->streams[video]; }
    AVStream* audio_stream() const { return audio < 0 ? nullptr : ctx->streams[audio]; }
};

// A large picture's key frames can fill FFmpeg's default probe (5 MB)
// before the first sound packet of a TS file arrives; the sound's
// parameters are needed for the joined file's header.
constexpr const char* kProbeBytes = "50000000";
constexpr const char* kProbeMicroseconds = "10000000";

bool open_source(const std::string& path, Source& s, std::string& why) {
    AVFormatContext* raw = nullptr;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "probesize", kProbeBytes, 0);
    av_dict_set(&options, "analyzeduration", kProbeMicroseconds, 0);
    const int opened = avformat_open_input(&raw, path.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (opened < 0) {
        why = "cannot open " + path;
        return false;
    }
    s.path = path;
    s.ctx.reset(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0) {
        why = "cannot read the streams of " + path;
        return false;
    }
    s.video = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (s.video < 0 || s.video_stream()->codecpar->width <= 0) {
        why = "no video in " + path;
        return false;
    }
    s.audio = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, s.video, nullptr, 0);
    if (s.audio < 0) s.audio = -1;
    return true;
}

double frame_rate_of(const Source& s) {
    const AVRational r = av_guess_frame_rate(s.ctx.get(), s.video_stream(), nullptr);
    return r.num > 0 && r.den > 0 ? av_q2d(r) : 0.0;
}

std::string size_text(const AVCodecParameters* p) {
    return std::to_string(p->width) + "x" + std::to_string(p->height);
}

// Empty when `s` can continue `first` in one stream, else what differs.
std::string mismatch(const Source& first, const Source& s) {
    const AVCodecParameters* a = first.video_stream()->codecpar;
    const AVCodecParameters* b = s.video_stream()->codecpar;
    if (a->codec_id != b->codec_id) {
        return std::string("video codec ") + avcodec_get_name(b->codec_id) + " against " +
               avcodec_get_name(a->codec_id);
    }
    if (a->width != b->width || a->height != b->height) {
        return "picture size " + size_text(b) + " against " + size_text(a);
    }
    const double ra = frame_rate_of(first), rb = frame_rate_of(s);
    if (std::fabs(ra - rb) > kFrameRateTolerance * std::max(ra, rb)) {
        char text[64];
        std::snprintf(text, sizeof text, "frame rate %.3g against %.3g", rb, ra);
        return text;
    }
    if ((first.audio < 0) != (s.audio < 0)) {
        return s.audio < 0 ? "no sound, while the first file has sound"
                           : "sound, while the first file has none";
    }
    if (s.audio < 0) return {};
    const AVCodecParameters* x = first.audio_stream()->codecpar;
    const AVCodecParameters* y = s.audio_stream()->codecpar;
    if (x->codec_id != y->codec_id || x->sample_rate != y->sample_rate ||
        x->ch_layout.nb_channels != y->ch_layout.nb_channels) {
        return std::string("sound ") + avcodec_get_name(y->codec_id) + " " +
               std::to_string(y->sample_rate) + " Hz " + std::to_string(y->ch_layout.nb_channels) +
               " ch against " + avcodec_get_name(x->codec_id) + " " +
               std::to_string(x->sample_rate) + " Hz " + std::to_string(x->ch_layout.nb_channels) +
               " ch";
    }
    return {};
}

// The first time of a stream in microseconds, kNoTime when unknown.
std::int64_t start_us(const Source& s, const AVStream* st) {
    if (st == nullptr) return kNoTime;
    if (st->start_time != AV_NOPTS_VALUE)
        return av_rescale_q(st->start_time, st->time_base, kMicroseconds);
    if (s.ctx->start_time != AV_NOPTS_VALUE) return s.ctx->start_time;
    return 0;
}

// --- the joined file

struct OutputCloser {
    void operator()(AVFormatContext* f) const {
        if (f->pb != nullptr) avio_closep(&f->pb);
        avformat_free_context(f);
    }
};
using Output = std::unique_ptr<AVFormatContext, OutputCloser>;

// What has been written so far, in the joined file's microseconds.
struct Written {
    std::int64_t video_end_us = 0;  // end of the last picture
    std::int64_t audio_end_us = kNoTime;
    std::int64_t video_dts = kNoTime, audio_dts = kNoTime;  // last, in the output's time base
};

bool open_output(const Source& first, const std::string& out, Output& o, std::string& why) {
    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, "mp4", out.c_str()) < 0) {
        why = "cannot create " + out;
        return false;
    }
    o.reset(raw);
    for (const AVStream* in : {first.video_stream(), first.audio_stream()}) {
        if (in == nullptr) continue;
        AVStream* st = avformat_new_stream(raw, nullptr);
        if (st == nullptr || avcodec_parameters_copy(st->codecpar, in->codecpar) < 0) {
            why = "cannot create the streams of " + out;
            return false;
        }
        st->codecpar->codec_tag = 0;
        st->time_base = in->time_base;
    }
    if (avio_open(&raw->pb, out.c_str(), AVIO_FLAG_WRITE) < 0 ||
        avformat_write_header(raw, nullptr) < 0) {
        why = "cannot write " + out;
        return false;
    }
    return true;
}

// Where one source goes: its packets at time t (microseconds) land at
// t - origin_us + offset_us.
struct Placement {
    std::int64_t origin_us = 0, offset_us = 0;
    std::int64_t frame_us = 0;  // one picture, for packets without a duration
    std::int64_t map(std::int64_t t_us) const { return t_us - origin_us + offset_us; }
};

std::int64_t to_us(std::int64_t ts, AVRational tb) {
    return av_rescale_q(ts, tb, kMicroseconds);
}

// Video packets keep every picture; a decoding time that would not move
// forward (sources with different reordering delays) is pushed on by one
// tick.
bool write_video(AVFormatContext* out, AVPacket* pkt, AVRational in_tb, const Placement& pl,
                 Written& w) {
    AVStream* st = out->streams[0];
    const std::int64_t pts_us = pl.map(to_us(pkt->pts, in_tb));
    const std::int64_t dts_us =
        pkt->dts == AV_NOPTS_VALUE ? pts_us : pl.map(to_us(pkt->dts, in_tb));
    const std::int64_t dur_us = pkt->duration > 0 ? to_us(pkt->duration, in_tb) : pl.frame_us;
    w.video_end_us = std::max(w.video_end_us, pts_us + dur_us);
    pkt->pts = av_rescale_q(pts_us, kMicroseconds, st->time_base);
    pkt->dts = av_rescale_q(dts_us, kMicroseconds, st->time_base);
    if (w.video_dts != kNoTime && pkt->dts <= w.video_dts) pkt->dts = w.video_dts + 1;
    if (pkt->pts < pkt->dts) pkt->pts = pkt->dts;
    w.video_dts = pkt->dts;
    pkt->duration = av_rescale_q(dur_us, kMicroseconds, st->time_base);
    pkt->stream_index = 0;
    pkt->pos = -1;
    return av_interleaved_write_frame(out, pkt) >= 0;
}

// Sound packets that would overlap the sound already written are dropped,
// or moved to its end when they overlap by less than half their length.
bool write_audio(AVFormatContext* out, AVPacket* pkt, AVRational in_tb, const Placement& pl,
                 Written& w) {
    AVStream* st = out->streams[1];
    std::int64_t pts_us = pl.map(to_us(pkt->pts, in_tb));
    const std::int64_t dur_us = pkt->duration > 0 ? to_us(pkt->duration, in_tb) : 0;
    if (w.audio_end_us != kNoTime && pts_us < w.audio_end_us) {
        if (pts_us + dur_us / 2 < w.audio_end_us) return true;
        pts_us = w.audio_end_us;
    }
    const std::int64_t ts = av_rescale_q(pts_us, kMicroseconds, st->time_base);
    if (w.audio_dts != kNoTime && ts <= w.audio_dts) return true;
    w.audio_end_us = pts_us + dur_us;
    w.audio_dts = ts;
    pkt->pts = pkt->dts = ts;
    pkt->duration = av_rescale_q(dur_us, kMicroseconds, st->time_base);
    pkt->stream_index = 1;
    pkt->pos = -1;
    return av_interleaved_write_frame(out, pkt) >= 0;
}

// Copies the video and sound of `s` into `out` at `pl`.
bool copy_source(Source& s, AVFormatContext* out, const Placement& pl, Written& w, std::string& why,
                 const JoinCancelled& cancelled) {
    av::PacketPtr pkt(av_packet_alloc());
    if (!pkt) {
        why = "out of memory";
        return false;
    }
    int count = 0;
    while (av_read_frame(s.ctx.get(), pkt.get()) >= 0) {
        const int index = pkt->stream_index;
        const AVRational tb = s.ctx->streams[index]->time_base;
        if (pkt->pts == AV_NOPTS_VALUE) pkt->pts = pkt->dts;
        bool ok = true;
        if (pkt->pts != AV_NOPTS_VALUE && index == s.video) {
            ok = write_video(out, pkt.get(), tb, pl, w);
        } else if (pkt->pts != AV_NOPTS_VALUE && index == s.audio) {
            ok = write_audio(out, pkt.get(), tb, pl, w);
        }
        av_packet_unref(pkt.get());
        if (!ok) {
            why = "cannot write the packets of " + s.path;
            return false;
        }
        if (++count % kPacketsPerCancelCheck == 0 && cancelled && cancelled()) {
            why = "interrupted";
            return false;
        }
    }
    return true;
}

// The placement of source `k`: the first keeps its own times from its
// earliest stream on; each later one starts its pictures where the pictures
// so far end.
Placement place(const Source& s, std::size_t k, const Written& w) {
    Placement pl;
    const std::int64_t video = start_us(s, s.video_stream());
    const std::int64_t audio = start_us(s, s.audio_stream());
    pl.origin_us = k == 0 && audio != kNoTime ? std::min(video, audio) : video;
    pl.offset_us = k == 0 ? 0 : w.video_end_us;
    const double rate = frame_rate_of(s);
    pl.frame_us = rate > 0 ? static_cast<std::int64_t>(std::llround(1e6 / rate)) : 0;
    return pl;
}

bool join_into(std::vector<Source>& sources, const std::string& out, JoinTimeline& timeline,
               std::string& why, const JoinCancelled& cancelled) {
    Output o;
    if (!open_output(sources.front(), out, o, why)) return false;
    Written w;
    for (std::size_t k = 0; k < sources.size(); ++k) {
        const Placement pl = place(sources[k], k, w);
        const std::int64_t first_picture_us =
            pl.map(start_us(sources[k], sources[k].video_stream()));
        if (!copy_source(sources[k], o.get(), pl, w, why, cancelled)) return false;
        timeline.push_back(
            {sources[k].path, first_picture_us / 1000, (w.video_end_us - first_picture_us) / 1000});
        sources[k].ctx.reset();  // one source open at a time after the checks
    }
    if (av_write_trailer(o.get()) < 0) {
        why = "cannot finish " + out;
        return false;
    }
    return true;
}

}  // namespace

bool join_recordings(const std::vector<std::string>& sources, const std::string& out,
                     JoinTimeline& timeline, std::string& why, const JoinCancelled& cancelled) {
    timeline.clear();
    if (sources.empty()) {
        why = "no recordings to join";
        return false;
    }
    std::vector<Source> opened(sources.size());
    for (std::size_t k = 0; k < sources.size(); ++k) {
        if (!open_source(sources[k], opened[k], why)) return false;
        const std::string differs = k == 0 ? std::string() : mismatch(opened[0], opened[k]);
        if (!differs.empty()) {
            why = file_name_of(sources[k]) + " cannot follow " + file_name_of(sources[0]) +
                  " in one video: " + differs;
            return false;
        }
    }
    if (join_into(opened, out, timeline, why, cancelled)) return true;
    timeline.clear();
    ::unlink(out.c_str());
    return false;
}

JoinTimeline shift_timeline(const JoinTimeline& timeline, std::int64_t from_ms) {
    JoinTimeline shifted = timeline;
    for (JoinSegment& s : shifted) s.start_ms -= from_ms;
    return shifted;
}

bool TempFileBeside::create(const std::string& near, std::string& why) {
    remove();
    std::string templ = folder_of(near) + "/." + file_name_of(near) + ".join-XXXXXX.mp4";
    const int fd = ::mkstemps(templ.data(), 4);
    if (fd < 0) {
        why = "cannot create a temporary file beside " + near;
        return false;
    }
    ::close(fd);
    path_ = templ;
    return true;
}

void TempFileBeside::remove() {
    if (!path_.empty()) ::unlink(path_.c_str());
    path_.clear();
}

}  // namespace exporter
