#include "media_context.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

extern "C" {
#include <libavutil/cpu.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

#include "converter_log.h"

namespace converter {
namespace {

// Rate control: the initial decoder buffer fill is three quarters of it.
constexpr int kBufferFillNumerator = 3;
constexpr int kBufferFillDenominator = 4;
constexpr int kMpeg2MaxBFrames = 2;
constexpr int kMpeg1MacroblockDecision = 2;
// Used when a stream names no usable frame rate.
constexpr AVRational kFallbackFrameRate{25, 1};
// YUV 4:2:0 black in limited range.
constexpr uint8_t kBlackLuma = 16;
constexpr uint8_t kBlackChroma = 128;

AVRational usable_frame_rate(const AVStream* st) {
    if (st->r_frame_rate.num > 0 && st->r_frame_rate.den > 0) return st->r_frame_rate;
    if (st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0) return st->avg_frame_rate;
    return kFallbackFrameRate;
}

bool is_attached_picture(const AVStream* st) {
    return (st->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
}

int open_decoder(const AVStream* st, av::CodecContextPtr& ctx, ErrorText& error,
                 const char* not_found, const char* cannot_open) {
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (codec == nullptr) return error.fail(DOR_CONVERTER_ERROR_FAILURE, "%s", not_found);
    ctx.reset(avcodec_alloc_context3(codec));
    // Pictures are decoded on one thread a core: one thread decodes a
    // 1920x1920 picture more slowly than the encoder's threads take the
    // small output. The decoded pictures are the same; each thread holds a
    // picture, so not the one more than the cores that FFmpeg would pick.
    if (ctx && st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) ctx->thread_count = av_cpu_count();
    if (!ctx || avcodec_parameters_to_context(ctx.get(), st->codecpar) < 0 ||
        avcodec_open2(ctx.get(), codec, nullptr) < 0) {
        ctx.reset();
        return error.fail(DOR_CONVERTER_ERROR_FAILURE, "%s", cannot_open);
    }
    return DOR_CONVERTER_OK;
}

int pick_audio(InputMedia& in, unsigned index, ErrorText& error) {
    in.audio_index = static_cast<int>(index);
    in.audio_stream = in.container->streams[index];
    return open_decoder(in.audio_stream, in.audio_codec, error,
                        "error: codec not found for audio.\n",
                        "error: can not open codec for audio.\n");
}

int pick_video(InputMedia& in, unsigned index, ErrorText& error) {
    in.video_index = static_cast<int>(index);
    in.video_stream = in.container->streams[index];
    in.frame_rate_q = usable_frame_rate(in.video_stream);
    in.frame_rate =
        static_cast<float>(in.frame_rate_q.num) / static_cast<float>(in.frame_rate_q.den);
    return open_decoder(in.video_stream, in.video_codec, error,
                        "error: codec not found for video;\n",
                        "error: can not open codec for video;\n");
}

int pick_streams(InputMedia& in, ErrorText& error) {
    in.video_index = in.audio_index = -1;
    for (unsigned i = 0; i < in.container->nb_streams; ++i) {
        const AVStream* st = in.container->streams[i];
        int rc = DOR_CONVERTER_OK;
        if (st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            rc = pick_audio(in, i, error);
        } else if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !is_attached_picture(st)) {
            rc = pick_video(in, i, error);
        }
        if (rc != DOR_CONVERTER_OK) return rc;
    }
    if (in.video_index < 0) {
        return error.fail(DOR_CONVERTER_ERROR_NO_VIDEO, "error: can not find a video stream;\n");
    }
    return DOR_CONVERTER_OK;
}

// Whole seconds, truncated; absurd durations are held at the int32 limit.
int32_t whole_seconds(double seconds) {
    if (!(seconds > 0.0)) return 0;
    const double limit = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(std::min(seconds, limit));
}

// Total frames and whole seconds: from the frame count when the stream has
// one, else from the stream's (or, lacking that, the file's) duration.
void compute_duration(InputMedia& in) {
    const AVStream* st = in.video_stream;
    in.total_frames = st->nb_frames;
    if (in.total_frames > 0) {
        in.total_seconds = whole_seconds(static_cast<float>(in.total_frames) / in.frame_rate);
    } else {
        double seconds = 0.0;
        if (st->duration != AV_NOPTS_VALUE && st->duration > 0) {
            seconds = av_q2d(st->time_base) * static_cast<double>(st->duration);
        } else if (in.container->duration != AV_NOPTS_VALUE && in.container->duration > 0) {
            seconds = static_cast<double>(in.container->duration) / AV_TIME_BASE;
        }
        in.total_seconds = whole_seconds(seconds);
        in.total_frames =
            static_cast<int64_t>(in.frame_rate * static_cast<float>(in.total_seconds));
    }
    log_line("####### total_seconds  = %d", in.total_seconds);
}

// --- output

AVStream* new_stream(OutputMedia& out, const AVCodec* codec, av::CodecContextPtr& ctx, int& index,
                     ErrorText& error, int& rc) {
    AVStream* st = avformat_new_stream(out.container.get(), nullptr);
    if (st == nullptr) {
        rc = error.fail(DOR_CONVERTER_ERROR_FAILURE, "Could not allocate stream\n");
        return nullptr;
    }
    st->id = static_cast<int>(out.container->nb_streams) - 1;
    index = st->id;
    ctx.reset(avcodec_alloc_context3(codec));
    if (!ctx) {
        rc = error.fail(DOR_CONVERTER_ERROR_FAILURE, "Could not alloc an encoding context\n");
        return nullptr;
    }
    ctx->codec_id = codec->id;
    rc = DOR_CONVERTER_OK;
    return st;
}

const AVCodec* find_encoder(AVCodecID id, ErrorText& error) {
    const AVCodec* codec = avcodec_find_encoder(id);
    if (codec == nullptr) {
        error.set("error: could not find encoder for '%s'\n", avcodec_get_name(id));
    }
    return codec;
}

void set_rate_control(AVCodecContext* ctx, int32_t bitrate) {
    ctx->bit_rate = bitrate;
    ctx->rc_min_rate = bitrate;
    ctx->rc_max_rate = bitrate;
    ctx->bit_rate_tolerance = bitrate;
    ctx->rc_buffer_size = bitrate;
    ctx->rc_initial_buffer_occupancy = static_cast<int>(
        static_cast<int64_t>(bitrate) * kBufferFillNumerator / kBufferFillDenominator);
}

AVDictionary* encoder_options(AVCodecContext* ctx) {
    AVDictionary* options = nullptr;
    if (ctx->codec_id == AV_CODEC_ID_H264) {
        av_dict_set(&options, "preset", "slow", 0);
        av_dict_set(&options, "tune", "zerolatency", 0);
        // Whole pictures encoded in parallel instead of slices of one: the
        // stream stays without B-frames or look-ahead, and a file has no use
        // for the lower latency of slices, which leave cores idle while the
        // slowest slice of each picture finishes.
        av_dict_set(&options, "x264-params", "sliced-threads=0", 0);
        // Two encoding threads a core, not x264's own one and a half: the
        // decoder's threads share the cores, and the encoder, the slowest
        // stage, then gets its share of them.
        av_dict_set_int(&options, "threads", 2 * static_cast<int64_t>(av_cpu_count()), 0);
    } else if (ctx->codec_id == AV_CODEC_ID_HEVC) {
        av_dict_set(&options, "x265-params", "qp=20", 0);
        av_dict_set(&options, "preset", "ultrafast", 0);
        av_dict_set(&options, "tune", "zero-latency", 0);
    }
    return options;
}

void set_video_parameters(AVCodecContext* ctx, AVStream* st, const InputMedia& in,
                          const ConverterInitParam& param) {
    ctx->width = param.dst_width;
    ctx->height = param.dst_height;
    st->time_base = in.video_stream->time_base;
    st->r_frame_rate = in.frame_rate_q;
    st->avg_frame_rate = in.frame_rate_q;
    // One tick per frame: frame k is presented at k / frame rate, whatever
    // the timing of the input was.
    ctx->time_base = av_inv_q(in.frame_rate_q);
    ctx->framerate = in.frame_rate_q;
    ctx->gop_size = in.video_codec->gop_size;
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    set_rate_control(ctx, param.bitrate);
    if (ctx->codec_id == AV_CODEC_ID_MPEG2VIDEO) ctx->max_b_frames = kMpeg2MaxBFrames;
    if (ctx->codec_id == AV_CODEC_ID_MPEG1VIDEO) ctx->mb_decision = kMpeg1MacroblockDecision;
}

int add_video_stream(OutputMedia& out, const InputMedia& in, const ConverterInitParam& param,
                     ErrorText& error) {
    const AVCodec* codec = find_encoder(out.container->oformat->video_codec, error);
    if (codec == nullptr) return DOR_CONVERTER_ERROR_FAILURE;
    int rc = DOR_CONVERTER_OK;
    AVStream* st = new_stream(out, codec, out.video_codec, out.video_index, error, rc);
    if (st == nullptr) return rc;
    out.video_stream = st;
    AVCodecContext* ctx = out.video_codec.get();
    set_video_parameters(ctx, st, in, param);
    out.frame_rate = in.frame_rate;
    if (out.container->oformat->flags & AVFMT_GLOBALHEADER) {
        ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    AVDictionary* options = encoder_options(ctx);
    const int open_rc = avcodec_open2(ctx, codec, &options);
    av_dict_free(&options);
    if (open_rc < 0) {
        return error.fail(DOR_CONVERTER_ERROR_FAILURE, "error: could not open video codec;\n");
    }
    if (avcodec_parameters_from_context(st->codecpar, ctx) < 0) {
        return error.fail(DOR_CONVERTER_ERROR_FAILURE,
                          "error: could not copy the stream parameters\n");
    }
    return DOR_CONVERTER_OK;
}

int add_audio_stream(OutputMedia& out, const InputMedia& in, ErrorText& error) {
    const AVCodec* codec = find_encoder(out.container->oformat->audio_codec, error);
    if (codec == nullptr) return DOR_CONVERTER_ERROR_FAILURE;
    int rc = DOR_CONVERTER_OK;
    AVStream* st = new_stream(out, codec, out.audio_codec, out.audio_index, error, rc);
    if (st == nullptr) return rc;
    out.audio_stream = st;
    AVCodecContext* ctx = out.audio_codec.get();
    const AVCodecContext* src = in.audio_codec.get();
    ctx->sample_fmt = src->sample_fmt;
    ctx->bit_rate = src->bit_rate;
    ctx->sample_rate = src->sample_rate;
    av_channel_layout_copy(&ctx->ch_layout, &src->ch_layout);
    ctx->time_base = src->time_base.num > 0 ? src->time_base : AVRational{1, src->sample_rate};
    st->time_base = in.audio_stream->time_base;
    if (avcodec_open2(ctx, codec, nullptr) < 0) {
        return error.fail(DOR_CONVERTER_ERROR_FAILURE, "error: could not open audio codec;\n");
    }
    // The packets are copied as they are, so the stream is described by the
    // input's parameters (its decoder configuration belongs to those packets).
    if (avcodec_parameters_copy(st->codecpar, in.audio_stream->codecpar) < 0) {
        return error.fail(DOR_CONVERTER_ERROR_FAILURE,
                          "error: could not copy the stream parameters;\n");
    }
    st->codecpar->codec_tag = 0;
    return DOR_CONVERTER_OK;
}

av::FramePtr black_picture(const AVCodecContext* ctx) {
    av::FramePtr frame = av::make_frame();
    if (!frame) return nullptr;
    frame->format = ctx->pix_fmt;
    frame->width = ctx->width;
    frame->height = ctx->height;
    frame->pts = 0;
    if (av_frame_get_buffer(frame.get(), 0) < 0) return nullptr;
    const int chroma_rows = AV_CEIL_RSHIFT(ctx->height, 1);
    std::memset(frame->data[0], kBlackLuma, static_cast<size_t>(frame->linesize[0]) * ctx->height);
    std::memset(frame->data[1], kBlackChroma,
                static_cast<size_t>(frame->linesize[1]) * chroma_rows);
    std::memset(frame->data[2], kBlackChroma,
                static_cast<size_t>(frame->linesize[2]) * chroma_rows);
    return frame;
}

int allocate_pictures(OutputMedia& out, ErrorText& error) {
    out.pictures.clear();
    for (int i = 0; i < kOutputPictureCount; ++i) {
        av::FramePtr frame = black_picture(out.video_codec.get());
        if (!frame)
            return error.fail(DOR_CONVERTER_ERROR_FAILURE, "error: fail to fill image arrays;\n");
        out.pictures.push_back(std::move(frame));
    }
    return DOR_CONVERTER_OK;
}

int open_file_and_write_header(OutputMedia& out, const char* url, ErrorText& error) {
    AVFormatContext* ctx = out.container.get();
    if (!(ctx->oformat->flags & AVFMT_NOFILE) && avio_open(&ctx->pb, url, AVIO_FLAG_WRITE) < 0) {
        return error.fail(DOR_CONVERTER_ERROR_FAILURE,
                          "error: failed to open output file for video! \n");
    }
    if (avformat_write_header(ctx, nullptr) < 0) {
        return error.fail(DOR_CONVERTER_ERROR_FAILURE,
                          "error: fail to write header for output file;\n");
    }
    return DOR_CONVERTER_OK;
}

}  // namespace

int open_input(InputMedia& in, const char* url, ErrorText& error) {
    AVFormatContext* ctx = avformat_alloc_context();
    if (ctx == nullptr) {
        return error.fail(DOR_CONVERTER_ERROR_FAILURE,
                          "error: couldn't allocate formate contex;\n");
    }
    // avformat_open_input frees the context itself when it fails.
    const int open_rc = avformat_open_input(&ctx, url != nullptr ? url : "", nullptr, nullptr);
    if (open_rc < 0) {
        return error.fail(DOR_CONVERTER_ERROR_OPEN_INPUT,
                          "error: couldn't open input stream %s, code: %d;\n",
                          url != nullptr ? url : "(null)", open_rc);
    }
    in.container.reset(ctx);
    if (avformat_find_stream_info(ctx, nullptr) < 0) {
        return error.fail(DOR_CONVERTER_ERROR_FAILURE,
                          "error: couldn't find stream information;\n");
    }
    if (const int rc = pick_streams(in, error)) return rc;
    compute_duration(in);
    return DOR_CONVERTER_OK;
}

int open_output(OutputMedia& out, const InputMedia& in, const ConverterInitParam& param,
                ErrorText& error) {
    const char* url = param.dst_url != nullptr ? param.dst_url : "";
    AVFormatContext* ctx = nullptr;
    if (avformat_alloc_output_context2(&ctx, nullptr, nullptr, url) < 0 || ctx == nullptr) {
        return error.fail(DOR_CONVERTER_ERROR_FAILURE,
                          "error: failed to allocate output context for video %s;\n", url);
    }
    out.container.reset(ctx);
    if (const int rc = add_video_stream(out, in, param, error)) return rc;
    if (in.audio_stream != nullptr) {
        if (ctx->oformat->audio_codec != in.audio_stream->codecpar->codec_id) {
            return error.fail(DOR_CONVERTER_ERROR_FAILURE, "error: audio codec id not the same;\n");
        }
        if (const int rc = add_audio_stream(out, in, error)) return rc;
    }
    if (const int rc = allocate_pictures(out, error)) return rc;
    return open_file_and_write_header(out, url, error);
}

void close_input(InputMedia& in) {
    in.video_codec.reset();
    in.audio_codec.reset();
    in.container.reset();
    in.video_stream = in.audio_stream = nullptr;
    in.video_index = in.audio_index = -1;
    in.frame_rate = 0.0f;
    in.frame_rate_q = {0, 1};
}

void close_output(OutputMedia& out) {
    out.pictures.clear();
    out.video_codec.reset();
    out.audio_codec.reset();
    out.container.reset();
    out.video_stream = out.audio_stream = nullptr;
    out.video_index = out.audio_index = -1;
    out.frame_rate = 0.0f;
}

int write_packet(OutputMedia& out, AVPacket* packet) {
    std::lock_guard<std::mutex> lock(out.write_lock);
    return av_interleaved_write_frame(out.container.get(), packet);
}

}  // namespace converter
