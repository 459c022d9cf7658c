// The bodies of the threads Play starts, each run behind run_worker's
// exception barrier (worker_sync.h). Each runs until abort is set (by Stop,
// or by the display thread when playback has ended on its own); then its
// end function runs the end-of-playback epilogue (playback_end.h).
#pragma once

#include "player_state.h"

namespace sphere_player {

// Demuxes into the audio and video packet queues.
void read_thread_main(PlayerState& ps);
// Decodes the video packets into the picture ring.
void decode_thread_main(PlayerState& ps);
// Owns the window, the GL context and the renderer manager; shows the
// pictures against the clock.
void display_thread_main(PlayerState& ps);
// The millisecond clock, for playback without sound.
void clock_thread_main(PlayerState& ps);

// The display thread's end: the epilogue, then a failure while playing is
// reported to ErrorCallback.
void end_display_worker(PlayerState& ps, Worker w);

// Resets the reading state before the read thread (re)starts at a new
// place: no timestamp seen, no jump, not at the end. Call with the read
// thread parked or not running.
void reset_read_position(video_state& vs);

}  // namespace sphere_player
