// The first picture of a recording, decoded and saved as a JPEG.
#include <cstdint>

extern "C" {
#include <libavutil/imgutils.h>
}

#include "autocalib/autocalib.h"
#include "media_input.h"
#include "file_util.h"
#include "platform/debug_output.h"

namespace autocalib {
namespace detail {

OpenResult open_media(const char* path, av::InputContextPtr& ctx) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path, nullptr, nullptr) < 0) return OpenResult::kCannotOpen;
    ctx.reset(raw);
    if (avformat_find_stream_info(ctx.get(), nullptr) < 0) return OpenResult::kNoStreamInfo;
    return OpenResult::kOk;
}

int first_video_stream(const AVFormatContext* ctx) {
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        if (ctx->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace detail

namespace {

using namespace detail;

// The JPEG's stream time base; one picture, so only its form matters.
constexpr AVRational kJpegTimeBase{1, 25};
constexpr AVPixelFormat kJpegPixelFormat = AV_PIX_FMT_YUVJ420P;

// Texts of the encoder, as the debug output shows them.
constexpr const char* kTextCannotOpenOutput = "Couldn't open output file.";
constexpr const char* kTextEncoderNotFound = "Codec not found.";
constexpr const char* kTextCannotOpenEncoder = "Could not open codec.";
constexpr const char* kTextEncodeError = "Encode Error.\n";
constexpr const char* kTextEncodeSuccess = "Encode Successful.\n";

// Initialises FFmpeg's network layer for the scope (the media path may be a URL).
class NetworkScope {
public:
    NetworkScope() { avformat_network_init(); }
    ~NetworkScope() { avformat_network_deinit(); }
    NetworkScope(const NetworkScope&) = delete;
    NetworkScope& operator=(const NetworkScope&) = delete;
};

bool is_planar_420(int format) {
    return format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P;
}

bool is_full_range(const AVFrame* picture) {
    switch (picture->format) {
        case AV_PIX_FMT_YUVJ420P:
        case AV_PIX_FMT_YUVJ422P:
        case AV_PIX_FMT_YUVJ440P:
        case AV_PIX_FMT_YUVJ444P:
        case AV_PIX_FMT_YUVJ411P:
            return true;
        default:
            return picture->color_range == AVCOL_RANGE_JPEG;
    }
}

// A copy of `picture` converted to width x height, 4:2:0 planar, full range
// (as the JPEG reads it).
av::FramePtr converted_picture(const AVFrame* picture, int width, int height) {
    av::SwsContextPtr sws(
        sws_getContext(picture->width, picture->height, static_cast<AVPixelFormat>(picture->format),
                       width, height, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr));
    av::FramePtr out(av_frame_alloc());
    if (!sws || !out) return nullptr;
    const int* coefficients = sws_getCoefficients(SWS_CS_DEFAULT);
    sws_setColorspaceDetails(sws.get(), coefficients, is_full_range(picture) ? 1 : 0, coefficients,
                             1, 0, 1 << 16, 1 << 16);
    out->format = AV_PIX_FMT_YUV420P;
    out->width = width;
    out->height = height;
    if (av_frame_get_buffer(out.get(), 0) < 0) return nullptr;
    if (sws_scale(sws.get(), picture->data, picture->linesize, 0, picture->height, out->data,
                  out->linesize) != height) {
        return nullptr;
    }
    return out;
}

// The picture as the encoder takes it: a new reference when the decoder
// already gave 4:2:0 planar data of the right size, else a converted copy
// (encoding other layouts as 4:2:0 would read past their planes).
av::FramePtr picture_for_encoder(const AVFrame* picture, int width, int height) {
    av::FramePtr out;
    if (is_planar_420(picture->format) && picture->width == width && picture->height == height) {
        out.reset(av_frame_alloc());
        if (!out || av_frame_ref(out.get(), picture) < 0) return nullptr;
    } else {
        out = converted_picture(picture, width, height);
        if (!out) return nullptr;
    }
    out->format = kJpegPixelFormat;
    out->pts = 0;
    return out;
}

// Sends one picture (null flushes) and writes every packet that comes out.
bool encode_and_write(AVFormatContext* output, AVCodecContext* encoder, const AVFrame* picture) {
    if (avcodec_send_frame(encoder, picture) < 0) return false;
    av::PacketPtr packet(av_packet_alloc());
    if (!packet) return false;
    for (;;) {
        const int rc = avcodec_receive_packet(encoder, packet.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
        if (rc < 0) return false;
        packet->stream_index = 0;
        av_packet_rescale_ts(packet.get(), encoder->time_base, output->streams[0]->time_base);
        if (av_write_frame(output, packet.get()) < 0) return false;
    }
}

// Encoder for the mjpeg format's video codec; `code` is set on failure.
av::CodecContextPtr open_jpeg_encoder(const AVFormatContext* output, int width, int height,
                                      int& code) {
    const AVCodec* codec = avcodec_find_encoder(output->oformat->video_codec);
    if (codec == nullptr) {
        platform::debug_output(kTextEncoderNotFound);
        code = kEncoderNotFound;
        return nullptr;
    }
    av::CodecContextPtr encoder(avcodec_alloc_context3(codec));
    if (encoder) {
        encoder->width = width;
        encoder->height = height;
        encoder->pix_fmt = kJpegPixelFormat;
        encoder->time_base = kJpegTimeBase;
    }
    if (!encoder || avcodec_open2(encoder.get(), codec, nullptr) < 0) {
        platform::debug_output(kTextCannotOpenEncoder);
        code = kCannotOpenEncoder;
        return nullptr;
    }
    return encoder;
}

// Header, picture, trailer.
bool write_jpeg(AVFormatContext* output, AVCodecContext* encoder, const AVFrame* picture, int width,
                int height) {
    av::FramePtr frame = picture_for_encoder(picture, width, height);
    if (!frame || avformat_write_header(output, nullptr) < 0) return false;
    if (!encode_and_write(output, encoder, frame.get())) return false;
    if (!encode_and_write(output, encoder, nullptr)) return false;
    return av_write_trailer(output) >= 0;
}

int encode_into(const char* jpeg_path, const AVFrame* picture, int width, int height) {
    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, "mjpeg", jpeg_path) < 0 || raw == nullptr) {
        platform::debug_output(kTextCannotOpenOutput);
        return kCannotOpenOutput;
    }
    av::OutputContextPtr output(raw);
    if (avio_open(&output->pb, jpeg_path, AVIO_FLAG_WRITE) < 0) {
        platform::debug_output(kTextCannotOpenOutput);
        return kCannotOpenOutput;
    }
    AVStream* stream = avformat_new_stream(output.get(), nullptr);
    if (stream == nullptr) return kNoOutputStream;
    int code = kOk;
    av::CodecContextPtr encoder = open_jpeg_encoder(output.get(), width, height, code);
    if (!encoder) return code;
    stream->time_base = kJpegTimeBase;
    if (avcodec_parameters_from_context(stream->codecpar, encoder.get()) < 0 ||
        !write_jpeg(output.get(), encoder.get(), picture, width, height)) {
        platform::debug_output(kTextEncodeError);
        return kEncodeError;
    }
    platform::debug_output(kTextEncodeSuccess);
    return kOk;
}

// Hands every picture the decoder has ready to the encoder until one is
// saved; `code` keeps the last encoder result. True once a picture is saved.
bool save_ready_picture(AVCodecContext* decoder, AVFrame* frame, const char* jpeg_path, int width,
                        int height, int& code) {
    while (avcodec_receive_frame(decoder, frame) >= 0) {
        code = encode_jpeg(jpeg_path, frame, width, height);
        av_frame_unref(frame);
        if (code == kOk) return true;
        // An output that cannot be opened will not open for a later picture.
        if (code == kCannotOpenOutput) return false;
    }
    return false;
}

// Reads and decodes the stream until a picture is saved or the file ends.
void decode_until_saved(AVFormatContext* input, int stream_index, AVCodecContext* decoder,
                        AVFrame* frame, AVPacket* packet, const char* jpeg_path) {
    const AVCodecParameters* par = input->streams[stream_index]->codecpar;
    int code = kOk;
    while (av_read_frame(input, packet) >= 0) {
        const bool ours = packet->stream_index == stream_index;
        // A packet the decoder refuses is skipped; the next may decode.
        if (ours) avcodec_send_packet(decoder, packet);
        av_packet_unref(packet);
        if (ours && save_ready_picture(decoder, frame, jpeg_path, par->width, par->height, code)) {
            return;
        }
        if (code == kCannotOpenOutput) return;
    }
    avcodec_send_packet(decoder, nullptr);  // pictures still held by the decoder
    save_ready_picture(decoder, frame, jpeg_path, par->width, par->height, code);
}

}  // namespace

int encode_jpeg(const char* jpeg_path, const AVFrame* picture, int width, int height) {
    if (jpeg_path == nullptr) {
        platform::debug_output(kTextCannotOpenOutput);
        return kCannotOpenOutput;
    }
    if (picture == nullptr) {
        platform::debug_output(kTextEncodeError);
        return kEncodeError;
    }
    const int code = encode_into(jpeg_path, picture, width, height);
    // A JPEG that was opened but not finished is no picture.
    if (code != kOk && code != kCannotOpenOutput) remove_regular_file(jpeg_path);
    return code;
}

int extract_first_frame(const char* media_path, const char* jpeg_path) {
    if (media_path == nullptr) return kCannotOpenInput;
    NetworkScope network;
    av::InputContextPtr input;
    switch (open_media(media_path, input)) {
        case OpenResult::kCannotOpen:
            return kCannotOpenInput;
        case OpenResult::kNoStreamInfo:
            return kNoStreamInfo;
        case OpenResult::kOk:
            break;
    }
    const int index = first_video_stream(input.get());
    if (index < 0) return kNoVideoStream;
    const AVCodecParameters* par = input->streams[index]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    if (codec == nullptr) return kNoDecoder;
    av::CodecContextPtr decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), par) < 0 ||
        avcodec_open2(decoder.get(), codec, nullptr) < 0) {
        return kCannotOpenDecoder;
    }
    av::FramePtr frame(av_frame_alloc());
    av::PacketPtr packet(av_packet_alloc());
    if (!frame || !packet) return kCannotAllocateFrames;
    if (av_image_check_size(static_cast<unsigned>(par->width), static_cast<unsigned>(par->height),
                            0, nullptr) < 0) {
        return kCannotAllocatePicture;
    }
    decode_until_saved(input.get(), index, decoder.get(), frame.get(), packet.get(), jpeg_path);
    return kOk;
}

}  // namespace autocalib
