#include "media_queues.h"

#include <algorithm>
#include <new>

extern "C" {
#include <libavutil/imgutils.h>
}

namespace sphere_player {

bool PacketQueue::append(AVPacket* packet) {
    av::PacketPtr node(av_packet_alloc());
    if (!node) return false;
    try {
        packets_.push_back(nullptr);
    } catch (const std::bad_alloc&) {
        return false;
    }
    av_packet_move_ref(node.get(), packet);
    packets_.back() = std::move(node);
    return true;
}

bool PacketQueue::pop(AVPacket* out) {
    if (packets_.empty()) return false;
    av_packet_move_ref(out, packets_.front().get());
    packets_.pop_front();
    return true;
}

bool PacketQueue::front_pts_before(std::int64_t time) const {
    if (packets_.empty()) return false;
    const AVPacket* p = packets_.front().get();
    if (p->pts == AV_NOPTS_VALUE) return false;
    return p->pts + std::max<std::int64_t>(p->duration, 0) <= time;
}

void PacketQueue::flush() {
    std::lock_guard<std::mutex> lock(mutex);
    packets_.clear();
}

bool PtsQueue::push(std::int64_t time) {
    const std::int64_t t = time;
    std::lock_guard<std::mutex> lock(mutex);
    try {
        times_.insert(std::lower_bound(times_.begin(), times_.end(), t), t);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

std::int64_t PtsQueue::pop_locked() {
    if (times_.empty()) return 0;
    const std::int64_t t = times_.front();
    times_.pop_front();
    return t;
}

void PtsQueue::flush() {
    std::lock_guard<std::mutex> lock(mutex);
    times_.clear();
}

void PictureQueue::reset_locked() {
    count = write_index = read_index = filled = 0;
    for (auto& slot : slots) slot.written = 0;
}

bool allocate_picture_buffers(PictureQueue& queue, int width, int height) {
    const int size = av_image_get_buffer_size(AV_PIX_FMT_YUV420P, width, height, kPictureAlignment);
    if (size <= 0) return false;
    for (auto& slot : queue.slots) {
        slot.frame.reset(av_frame_alloc());
        slot.buffer.reset(static_cast<std::uint8_t*>(av_malloc(static_cast<std::size_t>(size))));
        if (!slot.frame || !slot.buffer) return false;
        if (av_image_fill_arrays(slot.frame->data, slot.frame->linesize, slot.buffer.get(),
                                 AV_PIX_FMT_YUV420P, width, height, kPictureAlignment) < 0) {
            return false;
        }
        slot.frame->width = width;
        slot.frame->height = height;
        slot.frame->format = AV_PIX_FMT_YUV420P;
        slot.written = 0;
    }
    return true;
}

void release_picture_buffers(PictureQueue& queue) {
    for (auto& slot : queue.slots) {
        slot.frame.reset();
        slot.buffer.reset();
        slot.written = 0;
    }
}

}  // namespace sphere_player
