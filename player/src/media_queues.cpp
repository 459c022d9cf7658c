#include "media_queues.h"

#include <algorithm>
#include <new>

extern "C" {
#include <libavutil/imgutils.h>
}

namespace sphere_player {

// --- PacketQueue

PacketQueue::Push PacketQueue::try_push(AVPacket* pkt) {
    av::PacketPtr node(av_packet_alloc());
    if (!node) return Push::no_memory;
    platform::MutexLock lock(mutex);
    if (static_cast<int>(packets_.size()) >= kPacketQueueBound) return Push::full;
    try {
        packets_.push_back(nullptr);
    } catch (const std::bad_alloc&) {
        return Push::no_memory;
    }
    av_packet_move_ref(node.get(), pkt);
    packets_.back() = std::move(node);
    changed_.notify_all();
    return Push::appended;
}

bool PacketQueue::wait_for_room(int ms) {
    platform::UniqueLock lock(mutex);
    return changed_.wait_for(lock, ms, [&]() REQUIRES(mutex) {
        return static_cast<int>(packets_.size()) < kPacketQueueBound;
    });
}

bool PacketQueue::pop(AVPacket* out) {
    platform::MutexLock lock(mutex);
    if (packets_.empty()) return false;
    av_packet_move_ref(out, packets_.front().get());
    packets_.pop_front();
    changed_.notify_all();
    return true;
}

bool PacketQueue::wait_for_packet(int ms) {
    platform::UniqueLock lock(mutex);
    return changed_.wait_for(lock, ms, [&]() REQUIRES(mutex) { return !packets_.empty(); });
}

int PacketQueue::count() {
    platform::MutexLock lock(mutex);
    return static_cast<int>(packets_.size());
}

int PacketQueue::drop_before(std::int64_t time) {
    platform::MutexLock lock(mutex);
    int dropped = 0;
    while (!packets_.empty()) {
        const AVPacket* pkt = packets_.front().get();
        if (pkt->pts == AV_NOPTS_VALUE ||
            pkt->pts + std::max<std::int64_t>(pkt->duration, 0) > time) {
            break;
        }
        packets_.pop_front();
        ++dropped;
    }
    if (dropped > 0) changed_.notify_all();
    return dropped;
}

void PacketQueue::flush() {
    platform::MutexLock lock(mutex);
    packets_.clear();
    changed_.notify_all();
}

// --- PtsQueue

bool PtsQueue::push(std::int64_t time) {
    platform::MutexLock lock(mutex);
    try {
        times_.insert(std::lower_bound(times_.begin(), times_.end(), time), time);
    } catch (const std::bad_alloc&) {
        return false;
    }
    changed_.notify_all();
    return true;
}

std::int64_t PtsQueue::pop() {
    platform::MutexLock lock(mutex);
    if (times_.empty()) return 0;
    const std::int64_t t = times_.front();
    times_.pop_front();
    return t;
}

std::int64_t PtsQueue::front() {
    platform::MutexLock lock(mutex);
    return times_.empty() ? 0 : times_.front();
}

int PtsQueue::count() {
    platform::MutexLock lock(mutex);
    return static_cast<int>(times_.size());
}

bool PtsQueue::wait_for_any(int ms) {
    platform::UniqueLock lock(mutex);
    return changed_.wait_for(lock, ms, [&]() REQUIRES(mutex) { return !times_.empty(); });
}

void PtsQueue::flush() {
    platform::MutexLock lock(mutex);
    times_.clear();
}

// --- PictureQueue

bool PictureQueue::allocate(int width, int height) {
    const int size = av_image_get_buffer_size(AV_PIX_FMT_YUV420P, width, height, kPictureAlignment);
    if (size <= 0) return false;
    for (Slot& slot : slots_) {
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
    }
    reset();
    return true;
}

void PictureQueue::release() {
    reset();
    for (Slot& slot : slots_) {
        slot.frame.reset();
        slot.buffer.reset();
    }
}

int PictureQueue::write_index() {
    platform::MutexLock lock(mutex);
    return write_index_;
}

bool PictureQueue::full() {
    platform::MutexLock lock(mutex);
    return count_ >= kPictureSlots;
}

bool PictureQueue::wait_for_room(int ms) {
    platform::UniqueLock lock(mutex);
    return room_.wait_for(lock, ms, [&]() REQUIRES(mutex) { return count_ < kPictureSlots; });
}

bool PictureQueue::stamp(int slot, std::int64_t time, RingUse use, PtsQueue& pts) {
    platform::MutexLock lock(mutex);
    frame(slot)->pts = time;
    if (filled_ < kPictureSlots) ++filled_;
    write_index_ = (slot + 1) % kPictureSlots;
    if (use == RingUse::history) return true;
    ++count_;
    written_[static_cast<std::size_t>(slot)] = 1;
    return pts.push(time);
}

int PictureQueue::count() {
    platform::MutexLock lock(mutex);
    return count_;
}

int PictureQueue::pop_front_locked(PtsQueue& pts) {
    pts.pop();
    const int slot = read_index_;
    written_[static_cast<std::size_t>(slot)] = 0;
    --count_;
    read_index_ = (read_index_ + 1) % kPictureSlots;
    room_.notify_all();
    return slot;
}

void PictureQueue::reset() {
    platform::MutexLock lock(mutex);
    count_ = write_index_ = read_index_ = filled_ = 0;
    written_.fill(0);
    room_.notify_all();
}

int PictureQueue::read_index() {
    platform::MutexLock lock(mutex);
    return read_index_;
}

int PictureQueue::history_count() {
    platform::MutexLock lock(mutex);
    return filled_ - count_;
}

std::int64_t PictureQueue::time_of(int slot) {
    platform::MutexLock lock(mutex);
    return frame(slot)->pts;
}

void PictureQueue::consume_front(PtsQueue& pts) {
    platform::MutexLock lock(mutex);
    if (count_ > 0) pop_front_locked(pts);
}

void PictureQueue::drop_queued() {
    platform::MutexLock lock(mutex);
    read_index_ = write_index_;
    count_ = 0;
    written_.fill(0);
    room_.notify_all();
}

void PictureQueue::requeue_after(int slot, PtsQueue& pts) {
    platform::MutexLock lock(mutex);
    const int first = (slot + 1) % kPictureSlots;
    const int n = (write_index_ - first + kPictureSlots) % kPictureSlots;
    pts.flush();
    written_.fill(0);
    for (int i = 0; i < n; ++i) {
        const int s = (first + i) % kPictureSlots;
        written_[static_cast<std::size_t>(s)] = 1;
        pts.push(frame(s)->pts);
    }
    read_index_ = first;
    count_ = n;
}

}  // namespace sphere_player
