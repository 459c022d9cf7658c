// What the main window shows in each playback state: the control sets of
// the idle window and of a playing fisheye, flat or music file, and the
// height of the play panel. The window applies the list in order.
//
// Thread-safety: pure functions.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "controller/player_controller.h"

namespace controller {

struct ControlState {
    const char* name;
    bool visible;
};

// Play panel heights: without and with the G-sensor panel.
inline constexpr int kPlayPanelHeight = 72;
inline constexpr int kPlayPanelWithChartHeight = 172;

// Nothing open: the view controls and the play button hidden.
std::vector<ControlState> idle_controls();
// A file plays: a fisheye picture gets the layouts and the brightness, a
// flat one the mirror switch that shows the state it is not in.
std::vector<ControlState> playing_controls(VideoKind kind, bool mirrored);

// A sound file by its extension (the window leaves the panel alone then).
bool is_music_file(const std::string& path);
// The play panel's height while `path` plays; nothing: leave it as it is.
std::optional<int> playing_panel_height(const std::string& path, bool has_track);

}  // namespace controller
