#include "video_decode.h"

#include <cstdio>

#include "open_media.h"
#include "video_filter.h"

namespace sphere_player {
namespace {

// Converts `picture` into a ring slot's YUV420P planes at the ring's size.
// The scaler follows the picture's size and format (a filter or the stream
// may change them); full-range formats are taken as their plain
// counterparts, as the decoder was opened.
bool convert_into_slot(video_state& vs, const AVFrame* picture, AVFrame* slot) {
    const auto format = plain_pixel_format(static_cast<AVPixelFormat>(picture->format));
    vs.scaler.reset(sws_getCachedContext(vs.scaler.release(), picture->width, picture->height,
                                         format, slot->width, slot->height, vs.output_pix_fmt,
                                         SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!vs.scaler) return false;
    return sws_scale(vs.scaler.get(), picture->data, picture->linesize, 0, picture->height,
                     slot->data, slot->linesize) > 0;
}

// Under the picture-queue mutex: the slot holds the picture now.
int stamp_slot(video_state& vs, int slot, std::int64_t time, RingUse use) {
    PictureQueue& q = vs.pictures;
    std::lock_guard<std::mutex> lock(q.mutex);
    q.slots[slot].frame->pts = time;
    if (q.filled < kPictureSlots) ++q.filled;
    q.write_index = (slot + 1) % kPictureSlots;
    if (use == RingUse::history) return slot;
    ++q.count;
    q.slots[slot].written = 1;
    return vs.pts.push(time) ? slot : -2;
}

}  // namespace

bool feed_packet(video_state& vs, const AVPacket* packet) {
    if (packet != nullptr) vs.last_fed_pts = packet->pts;
    if (avcodec_send_packet(vs.video_codec.get(), packet) < 0) {
        std::printf("caution: decode video error;\n");
        return false;
    }
    return true;
}

Receive receive_picture(video_state& vs, std::int64_t* time) {
    AVFrame* frame = vs.decode_frame.get();
    const int rc = avcodec_receive_frame(vs.video_codec.get(), frame);
    if (rc == AVERROR(EAGAIN)) return Receive::need_packet;
    // After the drain request any failure means nothing more comes out.
    if (rc == AVERROR_EOF || (rc < 0 && vs.decoder_drained)) return Receive::end;
    if (rc < 0) {
        std::printf("caution: decode video error;\n");
        return Receive::need_packet;
    }
    frame->format = plain_pixel_format(static_cast<AVPixelFormat>(frame->format));
    *time = frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp
                                                           : vs.last_fed_pts;
    return Receive::picture;
}

int write_picture(player_state& ps, AVFrame* picture, std::int64_t time, RingUse use) {
    video_state& vs = *ps.vs;
    int slot = 0;
    {
        std::lock_guard<std::mutex> lock(vs.pictures.mutex);
        slot = vs.pictures.write_index;
    }
    std::lock_guard<std::mutex> filter_lock(ps.filter_mutex);
    AVFrame* source = picture;
    if (ps.filter_active) {
        source = filter_picture_locked(ps, picture);
        if (source == nullptr) return -1;
    }
    const bool converted = convert_into_slot(vs, source, vs.pictures.slots[slot].frame.get());
    if (source != picture) av_frame_unref(source);
    return converted ? stamp_slot(vs, slot, time, use) : -1;
}

void reset_decoder(video_state& vs) {
    avcodec_flush_buffers(vs.video_codec.get());
    av_frame_unref(vs.decode_frame.get());
    vs.held_picture = false;
    vs.decoder_drained = false;
}

}  // namespace sphere_player
