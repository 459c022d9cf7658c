#include "still_picture.h"

#include <cstdio>
#include <cstring>

#include "SpherePlayer.h"
#include "ffmpeg_support/handles.h"
#include "open_media.h"

extern "C" {
#include <libavutil/imgutils.h>
}

namespace sphere_player {
namespace {

constexpr int kBgrAlignment = 1;

struct Decoder {
    av::InputContextPtr format;
    av::CodecContextPtr codec;
    int stream = -1;
};

int failure(ErrorText& errors, const char* text) {
    std::printf("%s", text);
    return errors.fail(DOR_PLAYER_FAILED, "%s", text);
}

int open_picture(const char* path, Decoder& d, ErrorText& errors) {
    AVFormatContext* raw = avformat_alloc_context();
    if (raw == nullptr) {
        return failure(errors, "error: couldn't allocate formate context to load picture file;\n");
    }
    const int rc = avformat_open_input(&raw, path != nullptr ? path : "", nullptr, nullptr);
    if (rc < 0) {
        char text[128];
        std::snprintf(text, sizeof text, "error: couldn't open input picture file, code: %d;\n",
                      rc);
        return failure(errors, text);
    }
    d.format.reset(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0) {
        return failure(errors, "error: couldn't find stream information for picture file;\n");
    }
    return DOR_PLAYER_OK;
}

// The last video stream wins.
int open_codec(Decoder& d, ErrorText& errors) {
    for (unsigned i = 0; i < d.format->nb_streams; ++i) {
        const AVStream* s = d.format->streams[i];
        if (s->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
        const AVCodec* codec = avcodec_find_decoder(s->codecpar->codec_id);
        if (codec == nullptr) return failure(errors, "error: codec not found for picture.\n");
        av::CodecContextPtr ctx(avcodec_alloc_context3(codec));
        if (!ctx || avcodec_parameters_to_context(ctx.get(), s->codecpar) < 0 ||
            avcodec_open2(ctx.get(), codec, nullptr) < 0) {
            return failure(errors, "error: can not open codec for picture.\n");
        }
        d.codec = std::move(ctx);
        d.stream = static_cast<int>(i);
    }
    if (!d.codec) return failure(errors, "error: can not find a video stream for picture;\n");
    return DOR_PLAYER_OK;
}

// Reads until one packet decodes into a picture.
int decode_first(Decoder& d, AVFrame* frame, ErrorText& errors) {
    av::PacketPtr pkt(av_packet_alloc());
    if (!pkt) return failure(errors, "error: decode picture error;\n");
    bool draining = false;
    for (;;) {
        const int rc = avcodec_receive_frame(d.codec.get(), frame);
        if (rc == 0) return DOR_PLAYER_OK;
        if (rc != AVERROR(EAGAIN)) break;  // drained, or a decoder failure
        if (draining) break;
        if (av_read_frame(d.format.get(), pkt.get()) < 0) {
            draining = true;
            avcodec_send_packet(d.codec.get(), nullptr);
            continue;
        }
        if (pkt->stream_index == d.stream && avcodec_send_packet(d.codec.get(), pkt.get()) < 0) {
            return failure(errors, "error: decode picture error;\n");
        }
        av_packet_unref(pkt.get());
    }
    return failure(errors, "error: no frame decoded;\n");
}

int convert_to_bgr(const AVFrame* frame, StillPicture* out, ErrorText& errors) {
    const int w = frame->width, h = frame->height;
    const int size = av_image_get_buffer_size(AV_PIX_FMT_BGR24, w, h, kBgrAlignment);
    if (size <= 0)
        return failure(errors, "error: fail to fill image arrays for picture decoding;\n");
    const auto format = plain_pixel_format(static_cast<AVPixelFormat>(frame->format));
    av::SwsContextPtr sws(sws_getContext(w, h, format, w, h, AV_PIX_FMT_BGR24, SWS_BILINEAR,
                                         nullptr, nullptr, nullptr));
    if (!sws) {
        return failure(errors, "error: on createing converter context for picture decoding;\n");
    }
    out->bgr.assign(static_cast<std::size_t>(size), 0);
    std::uint8_t* planes[4] = {};
    int lines[4] = {};
    av_image_fill_arrays(planes, lines, out->bgr.data(), AV_PIX_FMT_BGR24, w, h, kBgrAlignment);
    sws_scale(sws.get(), frame->data, frame->linesize, 0, h, planes, lines);
    out->width = w;
    out->height = h;
    return DOR_PLAYER_OK;
}

}  // namespace

int decode_still_picture(const char* path, StillPicture* out, ErrorText& errors) {
    Decoder d;
    int rc = open_picture(path, d, errors);
    if (rc == DOR_PLAYER_OK) rc = open_codec(d, errors);
    av::FramePtr frame(av_frame_alloc());
    if (rc == DOR_PLAYER_OK && !frame) rc = failure(errors, "error: decode picture error;\n");
    if (rc == DOR_PLAYER_OK) rc = decode_first(d, frame.get(), errors);
    if (rc == DOR_PLAYER_OK) rc = convert_to_bgr(frame.get(), out, errors);
    return rc;
}

}  // namespace sphere_player
