// The player controller's view rules as pure functions: which viewports a
// layout or display type uses (rectangles, draw mode, angle-limits record),
// the default view angles, and the automatic pitch that lifts the split
// views of a downward-looking camera towards the horizon.
//
// Rectangles are in pixels of the video window, origin at its bottom left
// (as the player's SetViewport takes them). Angles are in degrees: pitch,
// yaw, roll, as SetViewAngles takes them. Draw modes are the player's: 0
// flat, 2 sphere, 5 wide sphere, 6 unwrapped strip.
//
// Thread-safety: every function is independent and keeps no state.
#pragma once

#include <optional>

namespace view_layout {

// The layouts of the main window's buttons.
enum Layout : int {
    kLayoutSingle = 0,  // one sphere view
    kLayoutWide = 1,    // one wide view
    kLayoutSplit2 = 2,  // two views, one above the other
    kLayoutSplit4 = 3,  // four quarters
    kLayoutStrip = 4,   // the unwrapped 360-degree strip
};

// Where the camera looks.
enum Direction : int { kDirectionUp = 0, kDirectionDown = 1, kDirectionSide = 2 };

inline constexpr int kMaxViewports = 4;
inline constexpr int kNoLimitsRecord = -1;

struct Rect {
    int x = 0, y = 0;  // pixels from the left and from the bottom edge
    int width = 0, height = 0;
};

// The viewports a layout uses. Viewports from `count` up to
// kMaxViewports - 1 are disabled; their rectangles are zero.
struct Viewports {
    int count = 0;  // viewports in use, 0 for an unknown layout
    Rect rects[kMaxViewports] = {};
    int draw_mode = 0;  // of every viewport in use
    // N of the settings section camera_param_N whose angle limits apply to
    // every viewport in use; kNoLimitsRecord when none do.
    int limits_record = kNoLimitsRecord;
};

// The viewports of `layout` (0 to 4) in a window of width x height pixels.
// Halves and quarters use integer division; the strip keeps the aspect of
// the unwrapped circle (see strip_rect).
Viewports layout_viewports(int layout, int width, int height);

// The strip of layout 4: the whole window height and height x pi wide,
// centred, when that fits; else the whole width and width / pi high. pi is
// 3.1415925 in single precision and the products are truncated.
Rect strip_rect(int width, int height);

// The viewports of display type 0 to 4 (SetDisplayMode): 0 one wide view, 1
// one sphere view, 2 two views as layout 2, 4 four quarters as layout 3, and
// 3 the strip of layout 4. Count 0 for any other type.
Viewports display_type_viewports(int display_type, int width, int height);

// A flat (non-square) video or a rear-camera file: viewport 0 shows the
// plain frame over the whole window, draw mode 0, no limits.
Viewports flat_viewports(int width, int height);

struct Angles {
    float pitch_deg = 0.0f, yaw_deg = 0.0f, roll_deg = 0.0f;
};

// The default view of `viewport` in layout 1, 2 or 3 looking in `direction`
// (0 to 2), before the automatic pitch; nothing for other layouts (0 and 4
// have no default view) or a viewport the layout does not use.
std::optional<Angles> default_view_angles(int layout, int viewport, int direction);

// The view SetDisplayMode gives `viewport` when `count` viewports (1, 2 or
// 4) are in use, before the automatic pitch; nothing otherwise.
std::optional<Angles> display_type_angles(int count, int viewport, int direction);

// Added to the lens pitch by SetView always, and by SetDisplayMode only for
// a recording with a GPS track.
inline constexpr int kAutomaticPitchExtraDeg = 5;

// The pitch in whole degrees at which the lens circle's rim is seen:
// truncate(242 / ((calibration frame height x 0.5) / 180) x 0.5 x 1.5 /
// zoom0), evaluated step by step in double precision as written; zoom0 is
// the zoom of viewport 0. 0 when the frame height or zoom0 is not positive
// (no usable calibration). A 480-row calibration at zoom 1.5 gives 90.
int lens_pitch_deg(int calibration_frame_height, float zoom0);

// The automatic pitch of the split views: lens_pitch_deg +
// kAutomaticPitchExtraDeg (5 even without a usable calibration).
int automatic_pitch_deg(int calibration_frame_height, float zoom0);

// The frame height of the calibration file at `path` when it reads
// correctly (380 bytes, camera count 1 or 2); 0 otherwise.
int calibration_frame_height(const char* path);

// Looking down, a non-zero automatic pitch replaces the default pitch by
// minus itself; every other view is returned as it is.
Angles with_automatic_pitch(Angles angles, int direction, int auto_pitch_deg);

// The automatic pitch layout 1 leaves behind: |pitch of viewport 0 + 20|,
// truncated.
int wide_automatic_pitch_deg(float pitch0_deg);

// The zoom the player gives a viewport of vp_width x vp_height right after
// its draw mode is set for a frame_width x frame_height picture (the mode's
// default zoom); 1 for a mode outside 0 to 6.
float default_zoom(int draw_mode, int frame_width, int frame_height, int vp_width, int vp_height);

}  // namespace view_layout
