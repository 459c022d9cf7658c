// Frame stepping while paused. The ring of 30 pictures doubles as the
// history: the shown picture sits at the history index, the history length
// counts the pictures kept up to and including it. Stepping forward past
// the decoded pictures decodes the next one; stepping back past the
// history seeks about 600 ms back and decodes the history again.
//
// All of it runs with the view mutex held (the step state is guarded by
// it) and with the read and decode threads parked.
#pragma once

#include "player_state.h"

namespace sphere_player {

// The history a pause leaves: the picture shown last is the current one,
// the paused position is the clock's.
void prepare_stepping_locked(PlayerState& ps, ViewState& view) REQUIRES(view.mutex);

// Rebuilds the history ending at the current picture: seeks back, empties
// the queues and decodes up to the current picture again. Runs on the
// caller's thread (a step back asked through the interface) or the display
// thread. Does nothing while a step is in progress unless `forced`.
void refill_history_locked(PlayerState& ps, ViewState& view, bool forced) REQUIRES(view.mutex);

// The picture to show after a step: a ring slot, or -1 for none.
int step_forward_locked(PlayerState& ps, ViewState& view) REQUIRES(view.mutex);
int step_back_locked(PlayerState& ps, ViewState& view) REQUIRES(view.mutex);

// Before playback resumes after frame steps: it goes on from the picture
// shown last (the pictures after it in the ring are queued again, the
// clock is re-based to it, the sound before it is dropped). Nothing
// happens when no step was made since the pause.
void resume_stepping_locked(PlayerState& ps, ViewState& view) REQUIRES(view.mutex);

// After a picture was shown by a step: the clock and the current position
// follow it, and the host is told the position.
void stepped_to(PlayerState& ps, int slot);

}  // namespace sphere_player
