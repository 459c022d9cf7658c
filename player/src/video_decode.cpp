#include "video_decode.h"

#include <cstdio>

#include "open_media.h"

namespace sphere_player {
namespace {

// Converts `picture` into a ring slot's YUV420P planes at the ring's size.
// The scaler follows the picture's size and format (a filter or the stream
// may change them); full-range formats are taken as their plain
// counterparts, as the decoder was opened.
bool convert_into_slot(video_state& vs, const AVFrame* picture, AVFrame* slot) {
    av::SwsContextPtr& scaler = vs.decode.scaler;
    const auto format = plain_pixel_format(static_cast<AVPixelFormat>(picture->format));
    scaler.reset(sws_getCachedContext(scaler.release(), picture->width, picture->height, format,
                                      slot->width, slot->height, vs.output_pix_fmt, SWS_BILINEAR,
                                      nullptr, nullptr, nullptr));
    if (!scaler) return false;
    return sws_scale(scaler.get(), picture->data, picture->linesize, 0, picture->height, slot->data,
                     slot->linesize) > 0;
}

}  // namespace

bool feed_packet(video_state& vs, const AVPacket* pkt) {
    if (pkt != nullptr) vs.decode.last_fed_pts = pkt->pts;
    if (avcodec_send_packet(vs.video_codec.get(), pkt) < 0) {
        std::printf("caution: decode video error;\n");
        return false;
    }
    return true;
}

Receive receive_picture(video_state& vs, std::int64_t* time) {
    AVFrame* frame = vs.decode.frame.get();
    const int rc = avcodec_receive_frame(vs.video_codec.get(), frame);
    if (rc == AVERROR(EAGAIN)) return Receive::need_packet;
    // After the drain request any failure means nothing more comes out.
    if (rc == AVERROR_EOF || (rc < 0 && vs.decode.decoder_drained)) return Receive::end;
    if (rc < 0) {
        std::printf("caution: decode video error;\n");
        return Receive::need_packet;
    }
    frame->format = plain_pixel_format(static_cast<AVPixelFormat>(frame->format));
    *time = frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp
                                                           : vs.decode.last_fed_pts;
    return Receive::picture;
}

int write_picture(video_state& vs, VideoFilter& filter, AVFrame* picture, std::int64_t time,
                  RingUse use) {
    const int slot = vs.pictures.write_index();
    bool converted = false;
    {
        platform::MutexLock filter_lock(filter.mutex);
        AVFrame* source = filter.apply_locked(picture);
        if (source == nullptr) return -1;
        converted = convert_into_slot(vs, source, vs.pictures.frame(slot));
        if (source != picture) av_frame_unref(source);
    }
    if (!converted) return -1;
    return vs.pictures.stamp(slot, time, use, vs.pts) ? slot : -2;
}

void reset_decoder(video_state& vs) {
    if (vs.video_codec) avcodec_flush_buffers(vs.video_codec.get());
    av_frame_unref(vs.decode.frame.get());
    vs.decode.held_picture = false;
    vs.decode.decoder_drained = false;
}

}  // namespace sphere_player
