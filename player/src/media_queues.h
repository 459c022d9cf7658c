// The queues between the player's threads: two packet queues (read thread
// to decoders), the sorted presentation times (decode thread to display
// thread) and the ring of decoded pictures. Each queue owns its mutex.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <mutex>

#include "ffmpeg_support/handles.h"

namespace sphere_player {

// The read thread appends to a packet queue only while it holds fewer
// packets than this; the queue itself enforces no limit.
inline constexpr int kPacketQueueBound = 125;
inline constexpr int kPictureSlots = 30;
// Alignment of the planes in a picture slot's buffer: none, so that every
// plane is tightly packed as the renderer uploads it (with an alignment of
// 4, chroma rows of frames whose half width is not a multiple of 4 would
// carry padding the upload cannot skip).
inline constexpr int kPictureAlignment = 1;

// Packets waiting for a decoder, oldest first.
class PacketQueue {
public:
    PacketQueue() = default;
    ~PacketQueue() { flush(); }
    PacketQueue(const PacketQueue&) = delete;
    PacketQueue& operator=(const PacketQueue&) = delete;

    // Guards the packets. append, pop and count expect the caller to hold it.
    std::mutex mutex;

    // Takes over the packet's data reference. False when out of memory; the
    // packet then still holds its data.
    bool append(AVPacket* packet);
    // Moves the oldest packet into `out`; false when empty.
    bool pop(AVPacket* out);
    int count() const { return static_cast<int>(packets_.size()); }
    // Whether the oldest packet ends before `time` (its own time base).
    bool front_pts_before(std::int64_t time) const;
    // Releases every packet; takes the mutex itself.
    void flush();

private:
    std::deque<av::PacketPtr> packets_;
};

// Presentation times (clock units, 64 bits: a TS clock starts anywhere in
// its 33-bit range) of the decoded pictures, smallest first. A time equal to some already queued
// goes before them.
class PtsQueue {
public:
    std::mutex mutex;  // push and flush take it; pop_locked expects it held

    // False when out of memory.
    bool push(std::int64_t time);
    // Removes and returns the smallest time, 0 when empty.
    std::int64_t pop_locked();
    std::int64_t front_locked() const { return times_.empty() ? 0 : times_.front(); }
    int count_locked() const { return static_cast<int>(times_.size()); }
    void flush();

private:
    std::deque<std::int64_t> times_;
};

// One slot of the picture ring: a frame whose planes point into a buffer of
// its own, allocated once per opened file.
struct PictureSlot {
    av::FramePtr frame;  // pts: presentation time in clock units
    av::BytesPtr buffer;
    int written = 0;  // 1 from decoding until the display takes the picture
};

// The ring of decoded YUV420P pictures. The 30 slots double as the history
// that stepping backwards walks through.
struct PictureQueue {
    std::mutex mutex;  // guards everything below except the buffers' bytes
    std::array<PictureSlot, kPictureSlots> slots;
    int count = 0;        // written and not yet shown
    int write_index = 0;  // 0 to 29
    int read_index = 0;   // 0 to 29
    int filled = 0;       // slots holding a picture since the last reset (history bound)

    // Count, indices and slot flags back to empty; the caller holds mutex.
    void reset_locked();
};

// Allocates every slot for YUV420P pictures of this size. False when an
// image buffer cannot be made or filled (absurd sizes included).
bool allocate_picture_buffers(PictureQueue& queue, int width, int height);
void release_picture_buffers(PictureQueue& queue);

}  // namespace sphere_player
