// The video decoder and the picture ring, as the decode thread and frame
// stepping use them: feeding packets, taking pictures out, writing them
// (through the filter, converted to YUV420P) into the ring. The decoder
// state (video_state::decode) belongs to the decode thread; frame stepping
// and Seek use it while that thread is parked.
#pragma once

#include <cstdint>

#include "video_filter.h"
#include "video_state.h"

namespace sphere_player {

// Feeds one packet (times in clock units) to the video decoder; null tells
// it that no packet follows. False on a decoder error ("caution" printed).
bool feed_packet(video_state& vs, const AVPacket* pkt);

enum class Receive { picture, need_packet, end };

// Takes the next picture out of the decoder into vs.decode.frame, with its
// presentation time in clock units: the picture's own timestamp, or that of
// the packet last fed when it has none.
Receive receive_picture(video_state& vs, std::int64_t* time);

// Writes `picture` into the slot at the write index (through the active
// filter, converted to YUV420P at the ring's size) and advances the write
// index. The slot written, or -1 when the filter gave no picture or the
// conversion failed; -2 when the time could not be queued (out of memory).
int write_picture(video_state& vs, VideoFilter& filter, AVFrame* picture, std::int64_t time,
                  RingUse use);

// Forgets what the decoder holds (after a seek): decoder flushed, no held
// picture, not drained.
void reset_decoder(video_state& vs);

}  // namespace sphere_player
