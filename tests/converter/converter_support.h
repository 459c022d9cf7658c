// Helpers of the converter tests: parameter records with their own buffers,
// calibration files of the generated lenses, and what an exported file holds
// (read back with libavformat/libavcodec, independently of the converter).
#pragma once

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
}

#include "SphereVideoConverter.h"
#include "autocalib/autocalib.h"
#include "temp_dir.h"

namespace converter_test {

inline std::string sample(const std::string& name) {
    return std::string(KVP_SAMPLES_DIR "/") + name;
}

// The generated lenses are equidistant fisheyes of 200 degrees.
inline std::string write_calibration(const kvp_test::TempDir& dir, int width, int height, float cx,
                                     float cy, float radius, const std::string& name = "lens.inf") {
    const std::string path = dir.file(name);
    autocalib::write_calibration_file(path.c_str(), 200.0, cx, cy, radius, width, height);
    return path;
}

// fisheye.mp4 (480 x 480, r = 232) and conv_gradient.mp4 (320 x 320, r = 156).
inline std::string fisheye_calibration(const kvp_test::TempDir& dir) {
    return write_calibration(dir, 480, 480, 240, 240, 232, "fisheye.inf");
}
inline std::string gradient_calibration(const kvp_test::TempDir& dir) {
    return write_calibration(dir, 320, 320, 160, 160, 156, "gradient.inf");
}

// A parameter record and the buffers behind its three paths: one viewport
// filling a 320 x 192 picture, draw mode 2, looking along the lens axis.
struct Param {
    char src[DOR_CONVERTER_SRC_URL_BYTES] = {};
    char calib[DOR_CONVERTER_CALIB_FILENAME_BYTES] = {};
    char dst[DOR_CONVERTER_DST_URL_BYTES] = {};
    ConverterInitParam p{};

    Param(const std::string& src_path, const std::string& calib_path, const std::string& dst_path) {
        std::strncpy(src, src_path.c_str(), sizeof src - 1);
        std::strncpy(calib, calib_path.c_str(), sizeof calib - 1);
        std::strncpy(dst, dst_path.c_str(), sizeof dst - 1);
        p.src_url = src;
        p.calib_filename = calib;
        p.dst_url = dst;
        p.bitrate = 2048;
        p.orientation = 1;
        one_view(320, 192, 2, 0.0f, 0.0f, 1.5f);
    }
    Param(const Param&) = delete;
    Param& operator=(const Param&) = delete;

    void one_view(int w, int h, int mode, float pitch, float yaw, float zoom) {
        p.dst_width = w;
        p.dst_height = h;
        p.viewport_count = 1;
        set_view(0, mode, pitch, yaw, zoom, 0, 0, w, h);
    }
    void set_view(int i, int mode, float pitch, float yaw, float zoom, int x, int y, int w, int h) {
        p.prj_mode[i] = mode;
        p.pitch[i] = pitch;
        p.yaw[i] = yaw;
        p.roll[i] = 0.0f;
        p.zoom[i] = zoom;
        p.viewport_x[i] = x;
        p.viewport_y[i] = y;
        p.viewport_width[i] = w;
        p.viewport_height[i] = h;
    }
};

// Owns a converter made by the library's factory.
struct Converter {
    DOR_SphereVideoConverter* c = CreateSphereVideoConverter();
    ~Converter() { DestroySphereVideoConverter(c); }
    DOR_SphereVideoConverter* operator->() const { return c; }

    // Polls like the dialog (but faster) until the conversion has ended;
    // false when it is still running after `limit`.
    bool wait(std::chrono::seconds limit = std::chrono::seconds(120)) const {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (c->IsRendering()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }
};

inline VideoTime seconds(int s) {
    return VideoTime{s / 60, s % 60, 0};
}

// --- reading files back

struct Stream {
    std::string codec;
    int width = 0, height = 0;
    std::string extradata;
};

struct MediaSummary {
    bool opened = false;
    Stream video, audio;
    bool has_video = false, has_audio = false;
    std::vector<int64_t> video_pts;  // in frames of the stream's frame rate
    int64_t decoded_frames = 0;      // pictures the decoder returned
    int decode_errors = 0;
    std::vector<std::string> audio_packets;  // payloads in file order
};

struct InputCloser {
    AVFormatContext* ctx = nullptr;
    ~InputCloser() { avformat_close_input(&ctx); }
};

inline Stream describe(const AVStream* st) {
    Stream s;
    s.codec = avcodec_get_name(st->codecpar->codec_id);
    s.width = st->codecpar->width;
    s.height = st->codecpar->height;
    if (st->codecpar->extradata != nullptr) {
        s.extradata.assign(reinterpret_cast<const char*>(st->codecpar->extradata),
                           static_cast<std::size_t>(st->codecpar->extradata_size));
    }
    return s;
}

// Reads every packet; decodes the video when `decode` is set.
inline MediaSummary read_media(const std::string& path, bool decode = true) {
    MediaSummary m;
    InputCloser in;
    if (avformat_open_input(&in.ctx, path.c_str(), nullptr, nullptr) < 0) return m;
    if (avformat_find_stream_info(in.ctx, nullptr) < 0) return m;
    m.opened = true;
    const int v = av_find_best_stream(in.ctx, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const int a = av_find_best_stream(in.ctx, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    AVCodecContext* dec = nullptr;
    AVRational frame_tb{1, 1};
    if (v >= 0) {
        m.has_video = true;
        m.video = describe(in.ctx->streams[v]);
        frame_tb = av_inv_q(in.ctx->streams[v]->r_frame_rate);
        const AVCodec* codec = avcodec_find_decoder(in.ctx->streams[v]->codecpar->codec_id);
        dec = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(dec, in.ctx->streams[v]->codecpar);
        if (!decode || avcodec_open2(dec, codec, nullptr) < 0) avcodec_free_context(&dec);
    }
    if (a >= 0) {
        m.has_audio = true;
        m.audio = describe(in.ctx->streams[a]);
    }
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto drain = [&] {
        while (avcodec_receive_frame(dec, frame) == 0) {
            ++m.decoded_frames;
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(in.ctx, pkt) >= 0) {
        if (pkt->stream_index == v) {
            m.video_pts.push_back(av_rescale_q(pkt->pts, in.ctx->streams[v]->time_base, frame_tb));
            if (dec != nullptr) {
                if (avcodec_send_packet(dec, pkt) < 0) ++m.decode_errors;
                drain();
            }
        } else if (pkt->stream_index == a) {
            m.audio_packets.emplace_back(reinterpret_cast<const char*>(pkt->data),
                                         static_cast<std::size_t>(pkt->size));
        }
        av_packet_unref(pkt);
    }
    if (dec != nullptr) {
        avcodec_send_packet(dec, nullptr);
        drain();
        avcodec_free_context(&dec);
    }
    av_frame_free(&frame);
    av_packet_free(&pkt);
    return m;
}

// One decoded picture, converted to planar 4:2:0 as it is stored.
struct Yuv {
    double y = 0, u = 0, v = 0;
};

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> y, u, v;

    bool empty() const { return width == 0; }
    // Mean over the (2r+1) square around luma pixel (x, y), clipped to the
    // picture; chroma from the 4:2:0 planes at half the coordinates.
    Yuv mean(int cx, int cy, int r = 1) const {
        Yuv s;
        int n = 0;
        for (int yy = cy - r; yy <= cy + r; ++yy) {
            for (int xx = cx - r; xx <= cx + r; ++xx) {
                if (xx < 0 || yy < 0 || xx >= width || yy >= height) continue;
                s.y += y[static_cast<std::size_t>(yy) * width + xx];
                const std::size_t c = static_cast<std::size_t>(yy / 2) * (width / 2) + xx / 2;
                s.u += u[c];
                s.v += v[c];
                ++n;
            }
        }
        if (n > 0) s.y /= n, s.u /= n, s.v /= n;
        return s;
    }
};

// Picture `index` (decode order) of the first video stream; empty when the
// file has fewer.
inline Picture decode_picture(const std::string& path, int index) {
    Picture out;
    InputCloser in;
    if (avformat_open_input(&in.ctx, path.c_str(), nullptr, nullptr) < 0 ||
        avformat_find_stream_info(in.ctx, nullptr) < 0) {
        return out;
    }
    const int v = av_find_best_stream(in.ctx, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (v < 0) return out;
    const AVCodec* codec = avcodec_find_decoder(in.ctx->streams[v]->codecpar->codec_id);
    AVCodecContext* dec = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(dec, in.ctx->streams[v]->codecpar);
    avcodec_open2(dec, codec, nullptr);
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    int seen = 0;
    bool done = false, flushed = false;
    auto take = [&] {
        while (!done && avcodec_receive_frame(dec, frame) == 0) {
            if (seen++ == index) {
                out.width = frame->width;
                out.height = frame->height;
                const int cw = frame->width / 2, ch = frame->height / 2;
                out.y.resize(static_cast<std::size_t>(out.width) * out.height);
                out.u.resize(static_cast<std::size_t>(cw) * ch);
                out.v.resize(out.u.size());
                av_image_copy_plane(out.y.data(), out.width, frame->data[0], frame->linesize[0],
                                    out.width, out.height);
                av_image_copy_plane(out.u.data(), cw, frame->data[1], frame->linesize[1], cw, ch);
                av_image_copy_plane(out.v.data(), cw, frame->data[2], frame->linesize[2], cw, ch);
                done = true;
            }
            av_frame_unref(frame);
        }
    };
    while (!done && !flushed) {
        if (av_read_frame(in.ctx, pkt) < 0) {
            avcodec_send_packet(dec, nullptr);
            flushed = true;
        } else if (pkt->stream_index == v) {
            avcodec_send_packet(dec, pkt);
        }
        av_packet_unref(pkt);
        take();
    }
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&dec);
    return out;
}

// --- damaged input

// A copy of `src` (every stream copied packet for packet into an MP4) in
// which the video packets [first, last) (file order) announce a NAL unit far
// longer than the packet, so that a decoder refuses each of them. False when
// the copy could not be written.
inline bool write_damaged_copy(const std::string& src, const std::string& dst, int first,
                               int last) {
    InputCloser in;
    if (avformat_open_input(&in.ctx, src.c_str(), nullptr, nullptr) < 0 ||
        avformat_find_stream_info(in.ctx, nullptr) < 0) {
        return false;
    }
    AVFormatContext* out = nullptr;
    if (avformat_alloc_output_context2(&out, nullptr, "mp4", dst.c_str()) < 0) return false;
    bool ok = true;
    for (unsigned i = 0; i < in.ctx->nb_streams && ok; ++i) {
        AVStream* st = avformat_new_stream(out, nullptr);
        ok = st != nullptr &&
             avcodec_parameters_copy(st->codecpar, in.ctx->streams[i]->codecpar) >= 0;
        if (ok) st->codecpar->codec_tag = 0;
        if (ok) st->time_base = in.ctx->streams[i]->time_base;
    }
    ok = ok && avio_open(&out->pb, dst.c_str(), AVIO_FLAG_WRITE) >= 0 &&
         avformat_write_header(out, nullptr) >= 0;
    const int v = av_find_best_stream(in.ctx, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    AVPacket* pkt = av_packet_alloc();
    for (int video = 0; ok && av_read_frame(in.ctx, pkt) >= 0; av_packet_unref(pkt)) {
        if (pkt->stream_index == v && video >= first && video < last && pkt->size >= 4 &&
            av_packet_make_writable(pkt) >= 0) {
            std::memset(pkt->data, 0x7F, 4);  // a 4-byte NAL length of about 2 GB
        }
        if (pkt->stream_index == v) ++video;
        av_packet_rescale_ts(pkt, in.ctx->streams[pkt->stream_index]->time_base,
                             out->streams[pkt->stream_index]->time_base);
        ok = av_interleaved_write_frame(out, pkt) >= 0;
    }
    av_packet_free(&pkt);
    ok = ok && av_write_trailer(out) >= 0;
    if (out->pb != nullptr) avio_closep(&out->pb);
    avformat_free_context(out);
    return ok;
}

}  // namespace converter_test
