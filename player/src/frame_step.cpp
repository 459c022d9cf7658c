#include "frame_step.h"

#include <algorithm>

#include "audio_output.h"
#include "clock_units.h"
#include "display.h"
#include "host_messages.h"
#include "playback_threads.h"
#include "video_decode.h"

namespace sphere_player {
namespace {

// A step back past the history starts decoding this long before the
// current picture, at the whole second before that.
constexpr std::int64_t kRefillBackMs = 600;
// The refill lets the host's messages through twice after the seek.
constexpr int kRefillPumps = 2;

int previous_slot(int slot) {
    return (slot + kPictureSlots - 1) % kPictureSlots;
}

// The next video packet for stepping: from the video queue while it holds
// any, then straight from the demuxer (other streams' packets skipped).
bool next_video_packet(video_state& vs, AVPacket* pkt) {
    if (vs.video_packets.pop(pkt)) return true;
    while (av_read_frame(vs.format.get(), pkt) >= 0) {
        if (pkt->stream_index == vs.video_stream_index) {
            av_packet_rescale_ts(pkt, vs.video_stream->time_base, vs.audio_tbase);
            return true;
        }
        av_packet_unref(pkt);
    }
    vs.read.demux_at_end = true;
    return false;
}

// Decodes the next picture into the ring at the write index. The slot, or
// -1 at the end of the file or when playback is ending.
int decode_for_step(PlayerState& ps, RingUse use) {
    video_state& vs = *ps.vs;
    DecodeState& decode = vs.decode;
    av::PacketPtr pkt(av_packet_alloc());
    while (pkt && !vs.flags.abort_requested()) {
        std::int64_t time = decode.held_time;
        Receive r = Receive::picture;
        if (!decode.held_picture) r = receive_picture(vs, &time);
        decode.held_picture = false;
        if (r == Receive::end) return -1;
        if (r == Receive::picture) {
            const int slot = write_picture(vs, ps.filter, decode.frame.get(), time, use);
            av_frame_unref(decode.frame.get());
            if (slot >= 0) return slot;
            continue;
        }
        if (next_video_packet(vs, pkt.get())) {
            feed_packet(vs, pkt.get());
            av_packet_unref(pkt.get());
        } else if (!decode.decoder_drained) {
            decode.decoder_drained = true;
            feed_packet(vs, nullptr);
        } else {
            return -1;
        }
    }
    return -1;
}

// Seeks the video to the whole second of `position_ms` and empties every
// queue, the sound included, and the decoder; the read thread goes on from
// there. False when the demuxer cannot seek: then nothing has changed.
bool seek_for_refill(PlayerState& ps, std::int64_t position_ms) {
    video_state& vs = *ps.vs;
    const std::int64_t whole_ms = position_ms / kMsPerSecond * kMsPerSecond;
    const std::int64_t ts =
        av_rescale_q(whole_ms, AVRational{1, static_cast<int>(kMsPerSecond)},
                     vs.video_stream->time_base) +
        (vs.video_stream->start_time == AV_NOPTS_VALUE ? 0 : vs.video_stream->start_time);
    if (vs.seek_frame(vs.format.get(), vs.video_stream_index, ts, AVSEEK_FLAG_BACKWARD) < 0) {
        return false;
    }
    pump_thread_messages(ps, kRefillPumps);
    vs.video_packets.flush();
    vs.pictures.reset();
    vs.pts.flush();
    reset_decoder(vs);
    reset_read_position(vs);
    flush_sound(ps);
    vs.flags.set_read_over(false);
    vs.flags.set_decode_over(false);
    return true;
}

}  // namespace

void prepare_stepping_locked(PlayerState& ps, ViewState& view) {
    video_state& vs = *ps.vs;
    StepState& steps = view.steps;
    steps.history_index = previous_slot(vs.pictures.read_index());
    steps.history_length = vs.pictures.history_count();
    steps.paused_position_ms = std::max<std::int64_t>(0, position_ms_of(vs, vs.clock.scaled()));
    steps.in_progress = false;
    steps.request = kNoStepRequest;
}

void refill_history_locked(PlayerState& ps, ViewState& view, bool forced) {
    video_state& vs = *ps.vs;
    StepState& steps = view.steps;
    if (steps.in_progress && !forced) return;
    if (vs.video_stream == nullptr) return;
    vs.flags.wait_until_parked();
    std::int64_t target = vs.clock.scaled();
    if (steps.history_length > 0) target = vs.pictures.time_of(steps.history_index);
    const std::int64_t target_ms = position_ms_of(vs, target);
    const std::int64_t back_ms =
        std::max<std::int64_t>(0, std::min(steps.paused_position_ms, target_ms) - kRefillBackMs);
    if (!seek_for_refill(ps, back_ms)) return;  // the history stays as it is
    steps.paused_position_ms = back_ms;
    steps.history_index = previous_slot(0);
    steps.history_length = 0;
    int written = 0;
    for (;;) {
        const int slot = decode_for_step(ps, RingUse::history);
        if (slot < 0) return;  // the end of the file (or of playback) first
        ++written;
        if (vs.pictures.time_of(slot) < target) continue;
        vs.pictures.drop_queued();
        steps.history_index = slot;
        steps.history_length = std::min(written, kPictureSlots);
        return;
    }
}

int step_forward_locked(PlayerState& ps, ViewState& view) {
    video_state& vs = *ps.vs;
    StepState& steps = view.steps;
    steps.in_progress = true;
    const int next = (steps.history_index + 1) % kPictureSlots;
    if (next == vs.pictures.read_index()) {
        // Onto a picture not shown yet: decode it when there is none.
        if (vs.pictures.count() == 0 && decode_for_step(ps, RingUse::queued) < 0) return -1;
        vs.pictures.consume_front(vs.pts);
        if (vs.pictures.count() == 0) decode_for_step(ps, RingUse::queued);  // one of look-ahead
    }
    steps.history_index = next;
    steps.history_length = std::min(steps.history_length + 1, vs.pictures.history_count());
    return next;
}

int step_back_locked(PlayerState& ps, ViewState& view) {
    StepState& steps = view.steps;
    steps.in_progress = true;
    if (steps.history_length <= 1) {
        refill_history_locked(ps, view, true);
        if (steps.history_length <= 1) return -1;
    }
    steps.history_index = previous_slot(steps.history_index);
    --steps.history_length;
    return steps.history_index;
}

void stepped_to(PlayerState& ps, int slot) {
    video_state& vs = *ps.vs;
    const std::int64_t time = vs.pictures.time_of(slot);
    vs.clock.set_scaled(time);
    const std::int64_t position = position_ms_of(vs, time);
    vs.position_ms = position;
    post_position(ps, position);
}

void resume_stepping_locked(PlayerState& ps, ViewState& view) {
    video_state& vs = *ps.vs;
    StepState& steps = view.steps;
    const bool stepped = steps.in_progress && steps.history_length > 0;
    steps.in_progress = false;
    steps.request = kNoStepRequest;
    if (!stepped) return;
    vs.flags.wait_until_parked();
    const std::int64_t shown = vs.pictures.time_of(steps.history_index);
    vs.pictures.requeue_after(steps.history_index, vs.pts);
    drop_sound_before(ps, shown);
    rebase_clock(vs, position_ms_of(vs, shown));
}

void run_step_request_locked(DisplayContext& dc) {
    PlayerState& ps = dc.ps;
    StepState& steps = dc.vs.view.steps;
    const int request = steps.request;
    if (request == kNoStepRequest) return;
    steps.request = kNoStepRequest;
    if (!dc.vs.flags.paused()) return;
    dc.vs.flags.wait_until_parked();
    const int slot =
        request == 1 ? step_forward_locked(ps, dc.vs.view) : step_back_locked(ps, dc.vs.view);
    if (slot < 0) return;
    show_slot_locked(dc, slot);
    stepped_to(ps, slot);
}

}  // namespace sphere_player
