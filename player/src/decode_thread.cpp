// The decode thread: video packets into decoded pictures in the ring. It
// works on the video decoder and its state, the video packet queue, the
// picture ring, the filter and the playback flags.
#include "playback_threads.h"
#include "video_decode.h"

namespace sphere_player {
namespace {

// Fixed waits of the decode loop, milliseconds: each ends early when what
// it waits for comes.
constexpr int kParkMs = 100;
constexpr int kEmptyQueueWaitMs = 20;
constexpr int kRoomWaitMs = 10;
constexpr int kFinishedWaitMs = 100;

enum class Step { go_on, stop };

struct DecodeThread {
    video_state& vs;  // the decoder, its state, the video packets, the ring
    VideoFilter& filter;
    ErrorText& errors;

    // Waits for room in the ring, then writes the picture in the decode
    // frame. A pause meanwhile keeps the picture (held) for later.
    Step place_picture(std::int64_t time) {
        while (vs.pictures.full()) {
            const StateFlags f = vs.flags.snapshot();
            if (f.abort_request != 0) return Step::stop;
            if (f.paused != 0) {
                vs.decode.held_picture = true;
                vs.decode.held_time = time;
                return Step::go_on;
            }
            vs.pictures.wait_for_room(kRoomWaitMs);
        }
        vs.decode.held_picture = false;
        const int slot = write_picture(vs, filter, vs.decode.frame.get(), time, RingUse::queued);
        av_frame_unref(vs.decode.frame.get());
        if (slot == -2) {
            errors.set("error: on malloc a pts list to push to the pts queue;\n");
            vs.flags.request_abort();
            return Step::stop;
        }
        return Step::go_on;
    }

    // No packet waits: when the reader has delivered everything, tell the
    // decoder so that it gives out the pictures it still holds.
    Step starved() {
        if (vs.flags.snapshot().read_over != 0 && !vs.decode.decoder_drained) {
            vs.decode.decoder_drained = true;
            feed_packet(vs, nullptr);
            return Step::go_on;
        }
        if (vs.flags.abort_requested()) return Step::stop;
        vs.video_packets.wait_for_packet(kEmptyQueueWaitMs);
        return Step::go_on;
    }

    // Everything is decoded: announce it, then idle until a seek brings new
    // packets or playback ends.
    Step finished() {
        if (vs.flags.snapshot().decode_over == 0) vs.flags.set_decode_over(true);
        return vs.flags.wait_or_abort(kFinishedWaitMs) ? Step::stop : Step::go_on;
    }

    Step turn(AVPacket* pkt) {
        if (vs.decode.held_picture) return place_picture(vs.decode.held_time);
        std::int64_t time = 0;
        switch (receive_picture(vs, &time)) {
            case Receive::picture:
                return place_picture(time);
            case Receive::end:
                return finished();
            case Receive::need_packet:
                break;
        }
        if (!vs.video_packets.pop(pkt)) return starved();
        feed_packet(vs, pkt);
        av_packet_unref(pkt);
        return Step::go_on;
    }

    void run() {
        av::PacketPtr pkt(av_packet_alloc());
        for (Step step = pkt ? Step::go_on : Step::stop; step == Step::go_on;) {
            const Turn t = vs.flags.begin_turn(Worker::decode, kParkMs);
            if (t == Turn::abort) break;
            if (t == Turn::parked) continue;
            step = turn(pkt.get());
        }
    }
};

}  // namespace

void decode_thread_main(PlayerState& ps) {
    video_state& vs = *ps.vs;
    if (vs.duration_ms == 0) vs.flags.request_abort();
    ps.startup.set(Worker::decode, StartupStatus::running);
    vs.flags.set_decode_over(false);
    DecodeThread{vs, ps.filter, ps.errors}.run();
}

}  // namespace sphere_player
