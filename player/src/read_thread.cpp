// The read thread: packets from the demuxer into the two packet queues.
#include "playback_end.h"
#include "playback_threads.h"
#include "worker_sync.h"

namespace sphere_player {
namespace {

// Fixed waits of the read loop, milliseconds.
constexpr int kParkMs = 100;
constexpr int kDrainWaitMs = 30;      // the decoder drains the video queue first
constexpr int kEndSettleMs = 100;     // before read-over is announced
constexpr int kAudioFullWaitMs = 20;  // audio queue full
constexpr int kVideoFullWaitMs = 50;  // video queue full

enum class Delivery { appended, dropped, stop, retry };

// Waits for room in a full queue: abort stops the thread, a pause drops the
// packet (the reader must park), otherwise try again after `wait_ms`.
Delivery full_queue_turn(video_state& vs, int wait_ms) {
    const StateFlags f = read_flags(vs);
    if (f.abort_request != 0) return Delivery::stop;
    if (f.paused != 0) return Delivery::dropped;
    return wait_or_abort(vs, wait_ms) ? Delivery::stop : Delivery::retry;
}

Delivery deliver_audio(player_state& ps, AVPacket* pkt) {
    video_state& vs = *ps.vs;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(vs.audio_packets.mutex);
            if (vs.audio_packets.count() < kPacketQueueBound) {
                if (!vs.audio_packets.append(pkt)) {
                    ps.errors.set("error: on malloc a packet list to push to the packet queue;\n");
                    return Delivery::dropped;
                }
                return Delivery::appended;
            }
        }
        const Delivery d = full_queue_turn(vs, kAudioFullWaitMs);
        if (d != Delivery::retry) return d;
    }
}

// Decoding times only grow within one recording; a drop back means the file
// restarts its timestamps (a looped or concatenated recording). The decoding
// time is compared, since presentation times of reordered pictures drop back
// in every stream with B-frames.
bool is_timestamp_jump(video_state& vs, const AVPacket* pkt) {
    const std::int64_t t = pkt->dts != AV_NOPTS_VALUE ? pkt->dts : pkt->pts;
    if (t == AV_NOPTS_VALUE) return false;
    if (vs.highest_video_pts == kNoTimestampYet || t >= vs.highest_video_pts) {
        vs.highest_video_pts = t;
        return false;
    }
    return true;
}

Delivery deliver_video(player_state& ps, AVPacket* pkt) {
    video_state& vs = *ps.vs;
    // All times of a queued video packet are in clock units.
    av_packet_rescale_ts(pkt, vs.video_stream->time_base, vs.audio_tbase);
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(vs.video_packets.mutex);
            if (vs.video_packets.count() < kPacketQueueBound) {
                if (is_timestamp_jump(vs, pkt)) {
                    vs.timestamp_jump_seen = true;
                    return Delivery::dropped;
                }
                if (!vs.video_packets.append(pkt)) {
                    ps.errors.set("error: on malloc a packet list to push to the packet queue;\n");
                    return Delivery::dropped;
                }
                return Delivery::appended;
            }
        }
        const Delivery d = full_queue_turn(vs, kVideoFullWaitMs);
        if (d != Delivery::retry) return d;
    }
}

bool video_queue_empty(video_state& vs) {
    std::lock_guard<std::mutex> lock(vs.video_packets.mutex);
    return vs.video_packets.count() == 0;
}

// Nothing more is read (end of file, or a timestamp jump): once the decoder
// has drained the video queue, announce read-over; then idle until a seek
// moves the reader or playback ends. False when the thread must end.
bool finished_turn(video_state& vs) {
    if (read_flags(vs).read_over != 0) return !wait_or_abort(vs, kParkMs);
    if (!video_queue_empty(vs)) return !wait_or_abort(vs, kDrainWaitMs);
    if (wait_or_abort(vs, kEndSettleMs)) return false;
    set_flag(vs, &video_state::read_over, 1);
    return true;
}

// One packet from the demuxer into its queue. False when the thread must end.
bool read_turn(player_state& ps, AVPacket* pkt) {
    video_state& vs = *ps.vs;
    if (av_read_frame(vs.format.get(), pkt) < 0) {  // an error counts as the end
        vs.demux_at_end = true;
        return true;
    }
    Delivery d = Delivery::dropped;
    if (pkt->stream_index == vs.audio_stream_index) {
        d = deliver_audio(ps, pkt);
    } else if (pkt->stream_index == vs.video_stream_index) {
        d = deliver_video(ps, pkt);
    }
    av_packet_unref(pkt);  // whatever was not taken over
    return d != Delivery::stop;
}

void mark_running(player_state& ps) {
    std::lock_guard<std::mutex> lock(ps.status_mutex);
    ps.read_status = StartupStatus::running;
}

}  // namespace

void reset_read_position(video_state& vs) {
    vs.highest_video_pts = kNoTimestampYet;
    vs.timestamp_jump_seen = false;
    vs.demux_at_end = false;
}

void read_thread_main(player_state& ps) {
    WorkerThreadScope worker(ps);
    video_state& vs = *ps.vs;
    if (vs.duration_ms == 0) request_abort(vs);
    set_flag(vs, &video_state::read_over, 0);
    mark_running(ps);
    av::PacketPtr pkt(av_packet_alloc());
    for (bool go = pkt != nullptr; go;) {
        const Turn turn = begin_turn(vs, &video_state::read_parked, kParkMs);
        if (turn == Turn::abort) break;
        if (turn == Turn::parked) continue;
        if (vs.timestamp_jump_seen || vs.demux_at_end) {
            go = finished_turn(vs);
        } else {
            go = read_turn(ps, pkt.get());
        }
    }
    end_worker(ps, &player_state::read_running);
}

}  // namespace sphere_player
