// The end of playback, common to the worker threads: the last of the read,
// decode and display threads to finish clears the playing flag and, when
// playback ended on its own, calls EndCallback once.
#pragma once

#include "player_state.h"

namespace sphere_player {

// Marks the worker `w` as ended and runs the epilogue. The last thing a
// worker does with the player: EndCallback, when this worker makes it, is
// its last use of it.
void end_worker(PlayerState& ps, Worker w);
// The clock thread's end: it only stops running.
void end_clock_worker(PlayerState& ps, Worker w);

// Closes the sound device the display thread opened, if it is still open.
void close_audio_device(PlayerState& ps);

}  // namespace sphere_player
