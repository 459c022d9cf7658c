#include "open_media.h"

#include "SpherePlayer.h"
#include "audio_output.h"
#include "media_duration.h"
#include "tsfix/ts_fix_tool.h"
#include "tsfix/ts_packet.h"

namespace sphere_player {
namespace {

int open_input(const std::string& path, av::InputContextPtr& format, ErrorText& errors) {
    AVFormatContext* raw = avformat_alloc_context();
    if (raw == nullptr)
        return errors.fail(DOR_PLAYER_FAILED, "error: couldn't allocate formate contex;\n");
    AVDictionary* options = nullptr;
    av_dict_set(&options, kSocketTimeoutOption, kSocketTimeoutUs, 0);
    const int rc = avformat_open_input(&raw, path.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (rc < 0) {  // avformat_open_input has freed the context
        return errors.fail(DOR_PLAYER_OPEN_FAILED,
                           "error: couldn't open input stream, code: 0x%x;\n",
                           static_cast<unsigned>(rc));
    }
    format.reset(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0) {
        return errors.fail(DOR_PLAYER_FAILED, "error: couldn't find stream information;\n");
    }
    return DOR_PLAYER_OK;
}

// A decoder for a stream; `video` applies the pixel-format mapping and the
// thread count. Null when it cannot be opened (`found` tells which step).
av::CodecContextPtr open_decoder(const AVStream* stream, bool video, bool& found) {
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    found = codec != nullptr;
    if (!found) return nullptr;
    av::CodecContextPtr ctx(avcodec_alloc_context3(codec));
    if (!ctx || avcodec_parameters_to_context(ctx.get(), stream->codecpar) < 0) return nullptr;
    ctx->pkt_timebase = stream->time_base;
    if (video) {
        ctx->pix_fmt = plain_pixel_format(ctx->pix_fmt);
        ctx->thread_count = kVideoDecoderThreads;
    }
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) return nullptr;
    if (video) ctx->pix_fmt = plain_pixel_format(ctx->pix_fmt);
    return ctx;
}

int open_audio_stream(video_state& vs, int index, ErrorText& errors) {
    bool found = false;
    AVStream* stream = vs.format->streams[index];
    av::CodecContextPtr ctx = open_decoder(stream, false, found);
    if (!found) return errors.fail(DOR_PLAYER_FAILED, "error: codec not found for audio.\n");
    if (!ctx) return errors.fail(DOR_PLAYER_FAILED, "error: can not open codec for audio.\n");
    vs.audio_codec = std::move(ctx);
    vs.audio_stream = stream;
    vs.audio_stream_index = index;
    return DOR_PLAYER_OK;
}

int open_video_stream(video_state& vs, int index, ErrorText& errors) {
    AVStream* stream = vs.format->streams[index];
    vs.frame_rate =
        stream->r_frame_rate.den != 0 ? static_cast<float>(av_q2d(stream->r_frame_rate)) : 0.0f;
    bool found = false;
    av::CodecContextPtr ctx = open_decoder(stream, true, found);
    if (!found) return errors.fail(DOR_PLAYER_FAILED, "error: codec not found for video.\n");
    if (!ctx) return errors.fail(DOR_PLAYER_FAILED, "error: can not open codec for video.\n");
    vs.video_pix_fmt = ctx->pix_fmt;
    vs.video_codec = std::move(ctx);
    vs.video_stream = stream;
    vs.video_stream_index = index;
    return DOR_PLAYER_OK;
}

// Every stream in order; a later audio or video stream replaces an earlier.
int choose_streams(video_state& vs, ErrorText& errors) {
    vs.audio_stream_index = vs.video_stream_index = kNoStream;
    vs.clock_scale = 1;
    for (unsigned i = 0; i < vs.format->nb_streams; ++i) {
        const AVMediaType type = vs.format->streams[i]->codecpar->codec_type;
        int rc = DOR_PLAYER_OK;
        if (type == AVMEDIA_TYPE_AUDIO) rc = open_audio_stream(vs, static_cast<int>(i), errors);
        if (type == AVMEDIA_TYPE_VIDEO) rc = open_video_stream(vs, static_cast<int>(i), errors);
        if (rc != DOR_PLAYER_OK) return rc;
    }
    return DOR_PLAYER_OK;
}

// Without a usable sound device the file plays as video only, paced by the
// millisecond clock scaled into audio_tbase units.
void choose_clock(PlayerState& ps) {
    video_state& vs = *ps.vs;
    vs.audio_tbase = vs.audio_stream != nullptr ? vs.audio_stream->time_base : kMillisecondTimeBase;
    if (vs.audio_codec && vs.audio_codec->sample_rate == 0) ps.audio_device_available = false;
    if (ps.audio_device_available) return;
    if (vs.audio_stream != nullptr && vs.audio_tbase.num > 0) {
        // (1/1000) / (num/den), truncated
        vs.clock_scale = static_cast<int>(
            static_cast<std::int64_t>(vs.audio_tbase.den) /
            (static_cast<std::int64_t>(vs.audio_tbase.num) * kMillisecondTimeBase.den));
    }
    vs.audio_stream_index = kNoStream;
    ps.audio_enabled = false;
}

StreamTiming timing_of(const AVStream* stream) {
    StreamTiming t;
    if (stream == nullptr) return t;
    t.present = true;
    t.duration = stream->duration;
    t.time_base = stream->time_base;
    return t;
}

void store_duration(PlayerState& ps, bool is_ts) {
    video_state& vs = *ps.vs;
    DurationInputs in;
    in.is_ts = is_ts;
    if (is_ts) {
        ps.last_pcr = tsfix::read_last_pcr(ps.media_path);
        in.last_pcr = ps.last_pcr;
    }
    in.audio_tbase = vs.audio_tbase;
    in.video = timing_of(vs.video_stream);
    in.audio = timing_of(vs.audio_stream);
    in.video_frame_count = vs.video_stream->nb_frames;
    in.frame_rate = vs.frame_rate;
    in.container_duration_us = vs.format->duration;
    vs.duration_ms = compute_duration_ms(in);
    const DurationTriple t = split_duration(vs.duration_ms);
    vs.duration_minutes = t.minutes;
    vs.duration_seconds = t.seconds;
    vs.duration_milliseconds = t.milliseconds;
}

// A stream whose picture format or size FFmpeg could not determine (a
// damaged sample description, say) cannot be converted: the scaler would
// abort the process on it.
bool picture_format_known(const video_state& vs) {
    const AVCodecContext* codec = vs.video_codec.get();
    return codec->width > 0 && codec->height > 0 && vs.video_pix_fmt != AV_PIX_FMT_NONE &&
           sws_isSupportedInput(vs.video_pix_fmt) > 0;
}

int prepare_pictures(PlayerState& ps) {
    video_state& vs = *ps.vs;
    ErrorText& errors = ps.errors;
    const AVCodecContext* codec = vs.video_codec.get();
    if (!picture_format_known(vs)) {
        return errors.fail(DOR_PLAYER_FAILED,
                           "error: unknown picture format or size of the video stream;\n");
    }
    vs.decode.frame.reset(av_frame_alloc());
    if (!vs.decode.frame || ps.fail_init_at == InitStep::pictures ||
        !vs.pictures.allocate(codec->width, codec->height)) {
        vs.pictures.release();
        return errors.fail(DOR_PLAYER_FAILED, "error: fail to fill image arrays;\n");
    }
    if (ps.fail_init_at != InitStep::scaler) {
        vs.decode.scaler.reset(sws_getContext(codec->width, codec->height, vs.video_pix_fmt,
                                              codec->width, codec->height, vs.output_pix_fmt,
                                              SWS_BILINEAR, nullptr, nullptr, nullptr));
    }
    if (!vs.decode.scaler) {
        return errors.fail(DOR_PLAYER_FAILED, "error: on createing converter context for video;\n");
    }
    return DOR_PLAYER_OK;
}

int prepare_sound(PlayerState& ps) {
    video_state& vs = *ps.vs;
    if (vs.audio_stream_index == kNoStream) return DOR_PLAYER_OK;
    const ResamplerSetup setup =
        ps.fail_init_at == InitStep::sound ? ResamplerSetup::create_failed : setup_resampler(vs);
    switch (setup) {
        case ResamplerSetup::ok:
            return DOR_PLAYER_OK;
        case ResamplerSetup::create_failed:
            return ps.errors.fail(DOR_PLAYER_FAILED, "error: can not create audio converter;\n");
        case ResamplerSetup::init_failed:
            break;
    }
    ps.errors.set("error: can not init audio converter;\n");
    vs.audio_stream_index = kNoStream;
    vs.audio_tbase = kMillisecondTimeBase;
    ps.audio_enabled = false;
    return DOR_PLAYER_OK;
}

void repair_if_allowed(const std::string& path) {
    if (!tsfix::is_ts_path(path)) return;
    const std::string marker_dir = tsfix::marker_dir_of(path);
    if (tsfix::repair_forbidden(marker_dir)) return;
    tsfix::TSFixTool().repair(path);  // its outcome shows only in its log and the file
}

}  // namespace

int open_stream(PlayerState& ps) {
    video_state& vs = *ps.vs;
    repair_if_allowed(ps.media_path);
    int rc = open_input(ps.media_path, vs.format, ps.errors);
    if (rc == DOR_PLAYER_OK) rc = choose_streams(vs, ps.errors);
    if (rc != DOR_PLAYER_OK) return rc;
    choose_clock(ps);
    if (vs.video_stream_index == kNoStream) {
        return ps.errors.fail(DOR_PLAYER_NO_VIDEO, "error: can not find a video stream.\n");
    }
    store_duration(ps, tsfix::is_ts_path(ps.media_path));
    rc = prepare_pictures(ps);
    if (rc == DOR_PLAYER_OK) rc = prepare_sound(ps);
    return rc;
}

int probe_video_size(const std::string& path, ErrorText& errors, int& width, int& height) {
    av::InputContextPtr format;
    const int rc = open_input(path, format, errors);
    if (rc != DOR_PLAYER_OK) return DOR_PLAYER_FAILED;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVCodecParameters* par = format->streams[i]->codecpar;
        if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
            width = par->width;
            height = par->height;
            return DOR_PLAYER_OK;
        }
    }
    return errors.fail(DOR_PLAYER_FAILED, "error: can not find a video stream.\n");
}

}  // namespace sphere_player
