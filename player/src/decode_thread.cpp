// The decode thread: video packets into decoded pictures in the ring.
#include "playback_end.h"
#include "playback_threads.h"
#include "video_decode.h"
#include "worker_sync.h"

namespace sphere_player {
namespace {

// Fixed waits of the decode loop, milliseconds.
constexpr int kParkMs = 100;
constexpr int kEmptyQueueWaitMs = 20;
constexpr int kRoomWaitMs = 10;
constexpr int kFinishedWaitMs = 100;

enum class Step { go_on, stop };

bool ring_full(video_state& vs) {
    std::lock_guard<std::mutex> lock(vs.pictures.mutex);
    return vs.pictures.count >= kPictureSlots;
}

// Waits for room in the ring, then writes the picture in decode_frame.
// A pause meanwhile keeps the picture (held) for later.
Step place_picture(player_state& ps, std::int64_t time) {
    video_state& vs = *ps.vs;
    while (ring_full(vs)) {
        const StateFlags f = read_flags(vs);
        if (f.abort_request != 0) return Step::stop;
        if (f.paused != 0) {
            vs.held_picture = true;
            vs.held_time = time;
            return Step::go_on;
        }
        if (wait_or_abort(vs, kRoomWaitMs)) return Step::stop;
    }
    vs.held_picture = false;
    const int slot = write_picture(ps, vs.decode_frame.get(), time, RingUse::queued);
    av_frame_unref(vs.decode_frame.get());
    if (slot == -2) {
        ps.errors.set("error: on malloc a pts list to push to the pts queue;\n");
        request_abort(vs);
        return Step::stop;
    }
    return Step::go_on;
}

bool pop_video_packet(video_state& vs, AVPacket* pkt) {
    std::lock_guard<std::mutex> lock(vs.video_packets.mutex);
    return vs.video_packets.pop(pkt);
}

// No packet waits: when the reader has delivered everything, tell the
// decoder so that it gives out the pictures it still holds.
Step starved(video_state& vs) {
    if (read_flags(vs).read_over != 0 && !vs.decoder_drained) {
        vs.decoder_drained = true;
        feed_packet(vs, nullptr);
        return Step::go_on;
    }
    return wait_or_abort(vs, kEmptyQueueWaitMs) ? Step::stop : Step::go_on;
}

// Everything is decoded: announce it, then idle until a seek brings new
// packets or playback ends.
Step finished(video_state& vs) {
    if (read_flags(vs).decode_over == 0) set_flag(vs, &video_state::decode_over, 1);
    return wait_or_abort(vs, kFinishedWaitMs) ? Step::stop : Step::go_on;
}

Step decode_turn(player_state& ps, AVPacket* pkt) {
    video_state& vs = *ps.vs;
    if (vs.held_picture) return place_picture(ps, vs.held_time);
    std::int64_t time = 0;
    switch (receive_picture(vs, &time)) {
        case Receive::picture:
            return place_picture(ps, time);
        case Receive::end:
            return finished(vs);
        case Receive::need_packet:
            break;
    }
    if (!pop_video_packet(vs, pkt)) return starved(vs);
    feed_packet(vs, pkt);
    av_packet_unref(pkt);
    return Step::go_on;
}

void mark_running(player_state& ps) {
    std::lock_guard<std::mutex> lock(ps.status_mutex);
    ps.decode_status = StartupStatus::running;
}

}  // namespace

void decode_thread_main(player_state& ps) {
    WorkerThreadScope worker(ps);
    video_state& vs = *ps.vs;
    if (vs.duration_ms == 0) request_abort(vs);
    mark_running(ps);
    set_flag(vs, &video_state::decode_over, 0);
    av::PacketPtr pkt(av_packet_alloc());
    for (Step step = pkt ? Step::go_on : Step::stop; step == Step::go_on;) {
        const Turn turn = begin_turn(vs, &video_state::decode_parked, kParkMs);
        if (turn == Turn::abort) break;
        if (turn == Turn::parked) continue;
        step = decode_turn(ps, pkt.get());
    }
    end_worker(ps, &player_state::decode_running);
}

}  // namespace sphere_player
