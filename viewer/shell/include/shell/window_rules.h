// The main window's size rule: its size and the playlist panel's geometry
// for a screen width. All values are logical pixels (a toolkit scales them
// on a high-resolution screen).
//
// Thread-safety: pure functions.
#pragma once

namespace shell {

struct WindowGeometry {
    int width = 0, height = 0;  // the window
    int playlist_width = 0;     // the playlist panel
    int search_width = 0;       // the search box ("editSearch"): 32 less than the panel
    int search_button_x = 0;    // the search button ("btnSearch") within the panel
};

// Width 775 up to a 1024-wide screen, 968 up to 1280, 1224 above; height
// width * 4 / 9 + 114. The playlist panel is 246 wide on screens wider than
// 1280 up to 1366, else 225.
WindowGeometry window_geometry_for_screen(int screen_width);

// Where a window of `size` stands centred on a screen (or monitor) of
// `screen` pixels starting at `origin`; may be negative for a window larger
// than the screen.
int centred_origin(int origin, int screen, int size);

}  // namespace shell
