// The saved first picture read back for the circle detection: decoded with
// FFmpeg, which wrote it, as 8-bit BGR.
#include <opencv2/core.hpp>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

#include "ffmpeg_support/pixel_formats.h"
#include "media_input.h"
#include "read_picture.h"

namespace autocalib::detail {
namespace {

// The first picture of the file's first video stream; null when none decodes.
av::FramePtr decode_first(const char* path) {
    av::InputContextPtr input;
    if (open_media(path, input) != OpenResult::kOk) return nullptr;
    const int index = first_video_stream(input.get());
    if (index < 0) return nullptr;
    const AVCodecParameters* par = input->streams[index]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    av::CodecContextPtr decoder(codec != nullptr ? avcodec_alloc_context3(codec) : nullptr);
    if (!decoder || avcodec_parameters_to_context(decoder.get(), par) < 0 ||
        avcodec_open2(decoder.get(), codec, nullptr) < 0) {
        return nullptr;
    }
    av::FramePtr frame = av::make_frame();
    av::PacketPtr packet = av::make_packet();
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == index) avcodec_send_packet(decoder.get(), packet.get());
        av_packet_unref(packet.get());
        if (avcodec_receive_frame(decoder.get(), frame.get()) == 0) return frame;
    }
    avcodec_send_packet(decoder.get(), nullptr);
    if (avcodec_receive_frame(decoder.get(), frame.get()) == 0) return frame;
    return nullptr;
}

}  // namespace

cv::Mat read_bgr_picture(const char* path) {
    const av::FramePtr frame = decode_first(path);
    if (!frame || frame->width <= 0 || frame->height <= 0) return {};
    // JPEG pictures come in the full-range "J" formats: the scaler takes
    // their plain twins with the range given apart.
    const auto decoded = static_cast<AVPixelFormat>(frame->format);
    const AVPixelFormat format = av::plain_pixel_format(decoded);
    const bool full_range = format != decoded;
    SwsContext* scaler =
        sws_getContext(frame->width, frame->height, format, frame->width, frame->height,
                       AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (scaler == nullptr) return {};
    if (full_range || frame->color_range == AVCOL_RANGE_JPEG) {
        const int* coefficients = sws_getCoefficients(SWS_CS_DEFAULT);
        sws_setColorspaceDetails(scaler, coefficients, 1, coefficients, 1, 0, 1 << 16, 1 << 16);
    }
    cv::Mat picture(frame->height, frame->width, CV_8UC3);
    uint8_t* planes[1] = {picture.data};
    const int strides[1] = {static_cast<int>(picture.step)};
    sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
    sws_freeContext(scaler);
    return picture;
}

}  // namespace autocalib::detail
