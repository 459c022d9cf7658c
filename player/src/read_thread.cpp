// The read thread: packets from the demuxer into the two packet queues. It
// works on the demuxer, the packet queues, its read position and the
// playback flags only.
#include "playback_threads.h"

namespace sphere_player {
namespace {

// Fixed waits of the read loop, milliseconds.
constexpr int kParkMs = 100;
constexpr int kDrainWaitMs = 30;      // the decoder drains the video queue first
constexpr int kEndSettleMs = 100;     // before read-over is announced
constexpr int kAudioFullWaitMs = 20;  // audio queue full
constexpr int kVideoFullWaitMs = 50;  // video queue full

enum class Delivery { appended, dropped, stop };

struct ReadThread {
    PlaybackFlags& flags;
    AVFormatContext* format;
    const std::atomic<int>& audio_stream_index;
    const int video_stream_index;
    const AVRational video_time_base;
    const AVRational clock_time_base;  // audio_tbase
    PacketQueue& audio_packets;
    PacketQueue& video_packets;
    ReadPosition& position;
    ErrorText& errors;

    // Appends to a queue, waiting for room while it is full: abort stops the
    // thread, a pause drops the packet (the reader must park).
    Delivery deliver(PacketQueue& queue, AVPacket* pkt, int full_wait_ms) {
        for (;;) {
            switch (queue.try_push(pkt)) {
                case PacketQueue::Push::appended:
                    return Delivery::appended;
                case PacketQueue::Push::no_memory:
                    errors.set("error: on malloc a packet list to push to the packet queue;\n");
                    return Delivery::dropped;
                case PacketQueue::Push::full:
                    break;
            }
            const StateFlags f = flags.snapshot();
            if (f.abort_request != 0) return Delivery::stop;
            if (f.paused != 0) return Delivery::dropped;
            queue.wait_for_room(full_wait_ms);
        }
    }

    // Decoding times only grow within one recording; a drop back means the
    // file restarts its timestamps (a looped or concatenated recording). The
    // decoding time is compared, since presentation times of reordered
    // pictures drop back in every stream with B-frames.
    bool is_timestamp_jump(const AVPacket* pkt) {
        const std::int64_t t = pkt->dts != AV_NOPTS_VALUE ? pkt->dts : pkt->pts;
        if (t == AV_NOPTS_VALUE) return false;
        if (position.highest_video_pts == kNoTimestampYet || t >= position.highest_video_pts) {
            position.highest_video_pts = t;
            return false;
        }
        return true;
    }

    Delivery deliver_video(AVPacket* pkt) {
        // All times of a queued video packet are in clock units.
        av_packet_rescale_ts(pkt, video_time_base, clock_time_base);
        if (is_timestamp_jump(pkt)) {
            position.timestamp_jump_seen = true;
            return Delivery::dropped;
        }
        return deliver(video_packets, pkt, kVideoFullWaitMs);
    }

    // Nothing more is read (end of file, or a timestamp jump): once the
    // decoder has drained the video queue, announce read-over; then idle
    // until a seek moves the reader or playback ends. False when the
    // thread must end.
    bool finished_turn() {
        if (flags.snapshot().read_over != 0) return !flags.wait_or_abort(kParkMs);
        if (video_packets.count() != 0) return !flags.wait_or_abort(kDrainWaitMs);
        if (flags.wait_or_abort(kEndSettleMs)) return false;
        flags.set_read_over(true);
        return true;
    }

    // One packet from the demuxer into its queue. False when the thread
    // must end.
    bool read_turn(AVPacket* pkt) {
        if (av_read_frame(format, pkt) < 0) {  // an error counts as the end
            position.demux_at_end = true;
            return true;
        }
        Delivery d = Delivery::dropped;
        if (pkt->stream_index == audio_stream_index) {
            d = deliver(audio_packets, pkt, kAudioFullWaitMs);
        } else if (pkt->stream_index == video_stream_index) {
            d = deliver_video(pkt);
        }
        av_packet_unref(pkt);  // whatever was not taken over
        return d != Delivery::stop;
    }

    void run() {
        av::PacketPtr pkt(av_packet_alloc());
        for (bool go = pkt != nullptr; go;) {
            const Turn turn = flags.begin_turn(Worker::read, kParkMs);
            if (turn == Turn::abort) break;
            if (turn == Turn::parked) continue;
            if (position.timestamp_jump_seen || position.demux_at_end) {
                go = finished_turn();
            } else {
                go = read_turn(pkt.get());
            }
        }
    }
};

}  // namespace

void reset_read_position(video_state& vs) {
    vs.read = ReadPosition{};
}

void read_thread_main(PlayerState& ps) {
    video_state& vs = *ps.vs;
    if (vs.duration_ms == 0) vs.flags.request_abort();
    vs.flags.set_read_over(false);
    ps.startup.set(Worker::read, StartupStatus::running);
    ReadThread{vs.flags,
               vs.format.get(),
               vs.audio_stream_index,
               vs.video_stream_index,
               vs.video_stream->time_base,
               vs.audio_tbase,
               vs.audio_packets,
               vs.video_packets,
               vs.read,
               ps.errors}
        .run();
}

}  // namespace sphere_player
