#include "export/flat_copy.h"

#include <cstdio>
#include <memory>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

namespace exporter {

namespace {

struct InputCloser {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct OutputCloser {
    void operator()(AVFormatContext* f) const {
        if (f->pb != nullptr) avio_closep(&f->pb);
        avformat_free_context(f);
    }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using Input = std::unique_ptr<AVFormatContext, InputCloser>;
using Output = std::unique_ptr<AVFormatContext, OutputCloser>;

// One output stream per video and audio stream of the input; -1 for the
// others, which are left out.
std::vector<int> add_streams(AVFormatContext* in, AVFormatContext* out) {
    std::vector<int> map;
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        const AVCodecParameters* par = in->streams[i]->codecpar;
        const bool wanted =
            par->codec_type == AVMEDIA_TYPE_VIDEO || par->codec_type == AVMEDIA_TYPE_AUDIO;
        AVStream* st = wanted ? avformat_new_stream(out, nullptr) : nullptr;
        map.push_back(st != nullptr ? st->index : -1);
        if (st == nullptr) continue;
        avcodec_parameters_copy(st->codecpar, par);
        st->codecpar->codec_tag = 0;
        st->time_base = in->streams[i]->time_base;
    }
    return map;
}

bool copy_packets(AVFormatContext* in, AVFormatContext* out, const std::vector<int>& map) {
    std::unique_ptr<AVPacket, PacketFree> pkt(av_packet_alloc());
    if (!pkt) return false;
    while (av_read_frame(in, pkt.get()) >= 0) {
        const int o = map[static_cast<std::size_t>(pkt->stream_index)];
        bool ok = true;
        if (o >= 0) {
            av_packet_rescale_ts(pkt.get(), in->streams[pkt->stream_index]->time_base,
                                 out->streams[o]->time_base);
            pkt->stream_index = o;
            pkt->pos = -1;
            ok = av_interleaved_write_frame(out, pkt.get()) >= 0;
        }
        av_packet_unref(pkt.get());
        if (!ok) return false;
    }
    return true;
}

bool copy_into(const std::string& in, const std::string& out, std::string* why, bool* created) {
    AVFormatContext* raw_in = nullptr;
    if (avformat_open_input(&raw_in, in.c_str(), nullptr, nullptr) < 0) {
        *why = "cannot open " + in;
        return false;
    }
    Input ifmt(raw_in);
    AVFormatContext* raw_out = nullptr;
    if (avformat_find_stream_info(ifmt.get(), nullptr) < 0 ||
        avformat_alloc_output_context2(&raw_out, nullptr, nullptr, out.c_str()) < 0) {
        *why = "cannot read " + in + " or create " + out;
        return false;
    }
    Output ofmt(raw_out);
    const std::vector<int> map = add_streams(ifmt.get(), ofmt.get());
    if (avio_open(&ofmt->pb, out.c_str(), AVIO_FLAG_WRITE) < 0) {
        *why = "cannot create " + out;
        return false;
    }
    *created = true;
    if (avformat_write_header(ofmt.get(), nullptr) < 0 ||
        !copy_packets(ifmt.get(), ofmt.get(), map) || av_write_trailer(ofmt.get()) < 0) {
        *why = "stream copy into " + out + " failed";
        return false;
    }
    if (avio_closep(&ofmt->pb) < 0) {
        *why = "cannot finish writing " + out;
        return false;
    }
    return true;
}

}  // namespace

bool stream_copy(const std::string& in, const std::string& out, std::string* why) {
    std::string reason;
    bool created = false;
    if (copy_into(in, out, &reason, &created)) return true;
    if (created) std::remove(out.c_str());
    if (why != nullptr) *why = reason;
    return false;
}

bool move_file(const std::string& from, const std::string& to, std::string* why) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    if (!stream_copy(from, to, why)) return false;
    std::remove(from.c_str());
    return true;
}

bool holds_a_picture(const std::string& path) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return false;
    Input in(raw);
    std::unique_ptr<AVPacket, PacketFree> pkt(av_packet_alloc());
    if (!pkt) return false;
    // The streams are known from the header; the first video packet of a
    // stopped conversion lies near the start, behind at most some sound.
    while (av_read_frame(in.get(), pkt.get()) >= 0) {
        const bool video =
            in->streams[pkt->stream_index]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
        av_packet_unref(pkt.get());
        if (video) return true;
    }
    return false;
}

}  // namespace exporter
