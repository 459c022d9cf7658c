#include "frame_step.h"

#include <algorithm>

#include "audio_output.h"
#include "clock_units.h"
#include "display.h"
#include "host_messages.h"
#include "playback_threads.h"
#include "video_decode.h"
#include "worker_sync.h"

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
    {
        std::lock_guard<std::mutex> lock(vs.video_packets.mutex);
        if (vs.video_packets.pop(pkt)) return true;
    }
    while (av_read_frame(vs.format.get(), pkt) >= 0) {
        if (pkt->stream_index == vs.video_stream_index) {
            av_packet_rescale_ts(pkt, vs.video_stream->time_base, vs.audio_tbase);
            return true;
        }
        av_packet_unref(pkt);
    }
    vs.demux_at_end = true;
    return false;
}

// Decodes the next picture into the ring at the write index. The slot, or
// -1 at the end of the file or when playback is ending.
int decode_for_step(player_state& ps, RingUse use) {
    video_state& vs = *ps.vs;
    av::PacketPtr pkt(av_packet_alloc());
    while (pkt && !abort_requested(vs)) {
        std::int64_t time = vs.held_time;
        Receive r = Receive::picture;
        if (!vs.held_picture) r = receive_picture(vs, &time);
        vs.held_picture = false;
        if (r == Receive::end) return -1;
        if (r == Receive::picture) {
            const int slot = write_picture(ps, vs.decode_frame.get(), time, use);
            av_frame_unref(vs.decode_frame.get());
            if (slot >= 0) return slot;
            continue;
        }
        if (next_video_packet(vs, pkt.get())) {
            feed_packet(vs, pkt.get());
            av_packet_unref(pkt.get());
        } else if (!vs.decoder_drained) {
            vs.decoder_drained = true;
            feed_packet(vs, nullptr);
        } else {
            return -1;
        }
    }
    return -1;
}

// The picture at the read index is taken as shown.
void consume_front(video_state& vs) {
    {
        std::lock_guard<std::mutex> lock(vs.pts.mutex);
        vs.pts.pop_locked();
    }
    std::lock_guard<std::mutex> lock(vs.pictures.mutex);
    PictureQueue& q = vs.pictures;
    q.slots[q.read_index].written = 0;
    --q.count;
    q.read_index = (q.read_index + 1) % kPictureSlots;
}

// Pictures kept behind the queued ones, the current one included.
int history_pictures(video_state& vs) {
    std::lock_guard<std::mutex> lock(vs.pictures.mutex);
    return vs.pictures.filled - vs.pictures.count;
}

int queued_pictures(video_state& vs) {
    std::lock_guard<std::mutex> lock(vs.pictures.mutex);
    return vs.pictures.count;
}

// Seeks the video to the whole second of `position_ms` and empties every
// queue, the sound included, and the decoder; the read thread goes on from
// there. False when the demuxer cannot seek: then nothing has changed.
bool seek_for_refill(player_state& ps, std::int64_t position_ms) {
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
    {
        std::lock_guard<std::mutex> lock(vs.pictures.mutex);
        vs.pictures.reset_locked();
    }
    vs.pts.flush();
    reset_decoder(vs);
    reset_read_position(vs);
    flush_sound(ps);
    set_flag(vs, &video_state::read_over, 0);
    set_flag(vs, &video_state::decode_over, 0);
    return true;
}

// Queues again the pictures the ring holds after `slot`, oldest first, as
// if none of them had been shown. Picture-queue mutex held.
void requeue_after_locked(video_state& vs, int slot) {
    PictureQueue& q = vs.pictures;
    const int first = (slot + 1) % kPictureSlots;
    const int n = (q.write_index - first + kPictureSlots) % kPictureSlots;
    vs.pts.flush();
    for (int i = 0; i < kPictureSlots; ++i) q.slots[i].written = 0;
    for (int i = 0; i < n; ++i) {
        PictureSlot& s = q.slots[(first + i) % kPictureSlots];
        s.written = 1;
        vs.pts.push(s.frame->pts);
    }
    q.read_index = first;
    q.count = n;
}

}  // namespace

void prepare_stepping_locked(player_state& ps) {
    video_state& vs = *ps.vs;
    {
        std::lock_guard<std::mutex> lock(vs.pictures.mutex);
        ps.step_history_index = previous_slot(vs.pictures.read_index);
        ps.step_history_length = vs.pictures.filled - vs.pictures.count;
    }
    ps.paused_position_ms = std::max<std::int64_t>(0, position_ms_of(vs, scaled_clock(vs)));
    ps.step_in_progress = false;
    ps.step_request = kNoStepRequest;
}

void refill_history_locked(player_state& ps, bool forced) {
    if (ps.step_in_progress && !forced) return;
    video_state& vs = *ps.vs;
    if (vs.video_stream == nullptr) return;
    wait_for_workers_parked(ps);
    std::int64_t target = scaled_clock(vs);
    if (ps.step_history_length > 0) {
        std::lock_guard<std::mutex> lock(vs.pictures.mutex);
        target = vs.pictures.slots[ps.step_history_index].frame->pts;
    }
    const std::int64_t target_ms = position_ms_of(vs, target);
    const std::int64_t back_ms =
        std::max<std::int64_t>(0, std::min(ps.paused_position_ms, target_ms) - kRefillBackMs);
    if (!seek_for_refill(ps, back_ms)) return;  // the history stays as it is
    ps.paused_position_ms = back_ms;
    ps.step_history_index = previous_slot(0);
    ps.step_history_length = 0;
    int written = 0;
    for (;;) {
        const int slot = decode_for_step(ps, RingUse::history);
        if (slot < 0) return;  // the end of the file (or of playback) first
        ++written;
        if (vs.pictures.slots[slot].frame->pts < target) continue;
        std::lock_guard<std::mutex> lock(vs.pictures.mutex);
        vs.pictures.read_index = vs.pictures.write_index;
        ps.step_history_index = slot;
        ps.step_history_length = std::min(written, kPictureSlots);
        return;
    }
}

int step_forward_locked(player_state& ps) {
    video_state& vs = *ps.vs;
    ps.step_in_progress = true;
    const int next = (ps.step_history_index + 1) % kPictureSlots;
    bool at_front = false;
    {
        std::lock_guard<std::mutex> lock(vs.pictures.mutex);
        at_front = next == vs.pictures.read_index;
    }
    if (at_front) {  // onto a picture not shown yet: decode it when there is none
        if (queued_pictures(vs) == 0 && decode_for_step(ps, RingUse::queued) < 0) return -1;
        consume_front(vs);
        if (queued_pictures(vs) == 0) decode_for_step(ps, RingUse::queued);  // one of look-ahead
    }
    ps.step_history_index = next;
    ps.step_history_length = std::min(ps.step_history_length + 1, history_pictures(vs));
    return next;
}

int step_back_locked(player_state& ps) {
    ps.step_in_progress = true;
    if (ps.step_history_length <= 1) {
        refill_history_locked(ps, true);
        if (ps.step_history_length <= 1) return -1;
    }
    ps.step_history_index = previous_slot(ps.step_history_index);
    --ps.step_history_length;
    return ps.step_history_index;
}

void stepped_to_locked(player_state& ps, int slot) {
    video_state& vs = *ps.vs;
    std::int64_t time = 0;
    {
        std::lock_guard<std::mutex> lock(vs.pictures.mutex);
        time = vs.pictures.slots[slot].frame->pts;
    }
    set_scaled_clock(vs, time);
    const std::int64_t position = position_ms_of(vs, time);
    vs.position_ms = position;
    post_position(ps, position);
}

void resume_stepping_locked(player_state& ps) {
    const bool stepped = ps.step_in_progress && ps.step_history_length > 0;
    ps.step_in_progress = false;
    ps.step_request = kNoStepRequest;
    if (!stepped) return;
    video_state& vs = *ps.vs;
    wait_for_workers_parked(ps);
    std::int64_t shown = 0;
    {
        std::lock_guard<std::mutex> lock(vs.pictures.mutex);
        shown = vs.pictures.slots[ps.step_history_index].frame->pts;
        requeue_after_locked(vs, ps.step_history_index);
    }
    drop_sound_before(ps, shown);
    rebase_clock(vs, position_ms_of(vs, shown));
}

void run_step_request_locked(DisplayContext& dc) {
    player_state& ps = dc.ps;
    const int request = ps.step_request;
    if (request == kNoStepRequest) return;
    ps.step_request = kNoStepRequest;
    if (read_flags(dc.vs).paused == 0) return;
    wait_for_workers_parked(ps);
    const int slot = request == 1 ? step_forward_locked(ps) : step_back_locked(ps);
    if (slot < 0) return;
    show_slot_locked(dc, slot);
    stepped_to_locked(ps, slot);
}

}  // namespace sphere_player
