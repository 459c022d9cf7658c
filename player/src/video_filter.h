// The video filter graph (brightness and contrast for fisheye video, mirror
// for flat video): "buffer" -> the caller's description -> "buffersink",
// YUV420P out. Everything here runs under player_state::filter_mutex.
#pragma once

#include "player_state.h"

namespace sphere_player {

// Builds the graph for `description` on the opened video into the player's
// filter fields. Returns FFmpeg's result (negative on failure, when
// nothing of the graph is kept).
int init_filters(player_state& ps, const char* description);

// Releases the graph and the filtered frame; clears filter_active.
void release_filter_locked(player_state& ps);

// Passes a decoded picture through the active graph. The filtered picture
// (in ps.filtered_frame, to be unreferenced by the caller) or null when the
// graph gives none for it.
AVFrame* filter_picture_locked(player_state& ps, AVFrame* picture);

}  // namespace sphere_player
