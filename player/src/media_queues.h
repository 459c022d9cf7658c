// The queues between the player's threads: two packet queues (read thread
// to decoders), the sorted presentation times (decode thread to display
// thread) and the ring of decoded pictures. Each queue owns its mutex and
// the condition variables its waits use; every wait is bounded by the
// delay its caller would otherwise sleep.
//
// Lock order: PictureQueue's mutex comes before the PtsQueue's and before
// PlaybackFlags' (the display checks the pause with the ring held); the
// packet queues' and the PtsQueue's are leaves.
#pragma once

#include <array>
#include <cstdint>
#include <deque>

#include "ffmpeg_support/handles.h"
#include "platform/thread_annotations.h"
#include "video_filter.h"

namespace sphere_player {

// The read thread appends to a packet queue only while it holds fewer
// packets than this.
inline constexpr int kPacketQueueBound = 125;
inline constexpr int kPictureSlots = 30;
// Alignment of the planes in a picture slot's buffer: none, so that every
// plane is tightly packed as the renderer uploads it (with an alignment of
// 4, chroma rows of frames whose half width is not a multiple of 4 would
// carry padding the upload cannot skip).
inline constexpr int kPictureAlignment = 1;

class PtsQueue;

// How a picture goes into the ring: queued for the display (counted,
// flagged, its time in the PtsQueue), or kept only as stepping history.
enum class RingUse { queued, history };

// The ring of decoded YUV420P pictures. The 30 slots double as the history
// that stepping backwards walks through: behind the read index lie the
// pictures shown (at most `filled` of them since the last reset).
//
// The slots' frames and buffers are allocated once per opened file. Their
// bytes are not guarded by the mutex: the decode thread writes the slot at
// the write index, which the display never reads while it is not queued,
// and the display uploads a slot while holding the mutex (see take_front).
class PictureQueue {
public:
    // --- while no playback runs (Init)
    // Allocates every slot for YUV420P pictures of this size. False when an
    // image buffer cannot be made or filled (absurd sizes included).
    bool allocate(int width, int height) EXCLUDES(mutex);
    void release() EXCLUDES(mutex);
    bool allocated() const { return slots_[0].frame != nullptr; }
    // The frame of a slot: a stable pointer; see above for its bytes.
    AVFrame* frame(int slot) { return slots_[static_cast<std::size_t>(slot)].frame.get(); }

    // --- the decode side
    int write_index() EXCLUDES(mutex);
    bool full() EXCLUDES(mutex);
    // Waits up to `ms` for room; true when there is.
    bool wait_for_room(int ms) EXCLUDES(mutex);
    // `slot` (the write index) holds a picture of `time` now: the write index
    // moves on; queued, the picture is counted and its time goes into `pts`.
    // False when the time could not be queued (out of memory).
    bool stamp(int slot, std::int64_t time, RingUse use, PtsQueue& pts) EXCLUDES(mutex);

    // --- the display side
    int count() EXCLUDES(mutex);
    // Takes the picture at the read index off the queue (and its time off
    // `pts`) when `may_take()` agrees, which is asked with the ring held;
    // then calls `use(frame)` still holding it. False when nothing was
    // taken.
    template <typename May, typename Use>
    bool take_front(PtsQueue& pts, May may_take, Use use) EXCLUDES(mutex) {
        platform::MutexLock lock(mutex);
        if (count_ == 0 || !may_take()) return false;
        const int slot = pop_front_locked(pts);
        use(frame(slot));
        return true;
    }

    // --- stepping and seeking (the decode thread parked)
    // Count, indices and slot flags back to empty.
    void reset() EXCLUDES(mutex);
    int read_index() EXCLUDES(mutex);
    // Pictures kept behind the queued ones, the current one included.
    int history_count() EXCLUDES(mutex);
    // The presentation time a slot holds (clock units).
    std::int64_t time_of(int slot) EXCLUDES(mutex);
    // The picture at the read index is taken as shown.
    void consume_front(PtsQueue& pts) EXCLUDES(mutex);
    // Nothing queued: the read index joins the write index.
    void drop_queued() EXCLUDES(mutex);
    // Queues again the pictures after `slot` up to the write index, oldest
    // first, as if none of them had been shown.
    void requeue_after(int slot, PtsQueue& pts) EXCLUDES(mutex);

    platform::Mutex mutex ACQUIRED_AFTER(VideoFilter::mutex);

private:
    struct Slot {
        av::FramePtr frame;  // pts: presentation time in clock units
        av::BytesPtr buffer;
    };
    int pop_front_locked(PtsQueue& pts) REQUIRES(mutex);

    platform::CondVar room_;  // a picture was taken or the ring emptied
    std::array<Slot, kPictureSlots> slots_;
    // 1 from decoding until the display takes the picture
    std::array<int, kPictureSlots> written_ GUARDED_BY(mutex) = {};
    int count_ GUARDED_BY(mutex) = 0;        // written and not yet shown
    int write_index_ GUARDED_BY(mutex) = 0;  // 0 to 29
    int read_index_ GUARDED_BY(mutex) = 0;   // 0 to 29
    int filled_ GUARDED_BY(mutex) = 0;       // slots holding a picture since the last reset
};

// Packets waiting for a decoder, oldest first, at most kPacketQueueBound.
class PacketQueue {
public:
    PacketQueue() = default;
    ~PacketQueue() { flush(); }
    PacketQueue(const PacketQueue&) = delete;
    PacketQueue& operator=(const PacketQueue&) = delete;

    enum class Push { appended, full, no_memory };
    // Takes over the packet's data reference when there is room; otherwise
    // the packet keeps its data.
    Push try_push(AVPacket* pkt) EXCLUDES(mutex);
    // Waits up to `ms` for room; true when there is.
    bool wait_for_room(int ms) EXCLUDES(mutex);
    // Moves the oldest packet into `out`; false when empty.
    bool pop(AVPacket* out) EXCLUDES(mutex);
    // Waits up to `ms` for a packet; true when one waits.
    bool wait_for_packet(int ms) EXCLUDES(mutex);
    int count() EXCLUDES(mutex);
    // Drops the packets that end at or before `time` (their own time base)
    // from the front; how many.
    int drop_before(std::int64_t time) EXCLUDES(mutex);
    void flush() EXCLUDES(mutex);

    platform::Mutex mutex ACQUIRED_AFTER(PictureQueue::mutex);  // a leaf

private:
    platform::CondVar changed_;  // a packet came or went
    std::deque<av::PacketPtr> packets_ GUARDED_BY(mutex);
};

// Presentation times (clock units, 64 bits: a TS clock starts anywhere in
// its 33-bit range) of the decoded pictures, smallest first. A time equal
// to some already queued goes before them.
class PtsQueue {
public:
    // False when out of memory.
    bool push(std::int64_t time) EXCLUDES(mutex);
    // Removes and returns the smallest time, 0 when empty.
    std::int64_t pop() EXCLUDES(mutex);
    std::int64_t front() EXCLUDES(mutex);
    int count() EXCLUDES(mutex);
    // Waits up to `ms` for a time; true when one is queued.
    bool wait_for_any(int ms) EXCLUDES(mutex);
    void flush() EXCLUDES(mutex);

    platform::Mutex mutex ACQUIRED_AFTER(PictureQueue::mutex);  // a leaf

private:
    platform::CondVar changed_;
    std::deque<std::int64_t> times_ GUARDED_BY(mutex);
};

}  // namespace sphere_player
