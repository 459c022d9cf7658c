// The window and view settings the interface operations write and the
// display thread applies, and the frame-stepping state, under one mutex.
// Changes the display must take over itself (draw modes, rectangles) are
// handed over through the pending fields: the caller waits, without the
// mutex, until the display has taken them.
//
// Thread-safety: every field is guarded by `mutex`.
#pragma once

#include <array>
#include <cstdint>

#include <SDL2/SDL.h>

#include "SpherePlayer.h"
#include "platform/thread_annotations.h"

namespace sphere_player {

inline constexpr int kMaxViewports = DOR_PLAYER_MAX_VIEWPORTS;
inline constexpr int kViewAngles = 3;  // pitch, yaw, roll
inline constexpr float kAngleLimitMin = -180.0f;
inline constexpr float kAngleLimitMax = 180.0f;
inline constexpr float kInitialCylinderRotationRad = 1.5707964f;  // pi / 2
// Pending view changes name the viewport as index + 1; this means none.
inline constexpr int kNoPendingChange = 0;
inline constexpr int kNoOrientationRequest = -1;
// No frame step is requested.
inline constexpr int kNoStepRequest = -1;

struct ViewportRect {
    int x = 0, y = 0, width = 0, height = 0;  // window pixels, origin at the bottom left
};

// The window and view settings.
struct ViewRecord {
    SDL_Window* window = nullptr;        // made and destroyed by the display thread
    SDL_GLContext gl_context = nullptr;  // likewise
    int window_x = 0, window_y = 0, window_width = 0, window_height = 0;
    DOR_NativeWindow native_window = nullptr;
    int use_native_window = 0;  // 1: show in native_window; 0: a window of our own
    int mouse_x = 0, mouse_y = 0;
    std::array<int, kMaxViewports> draw_mode{};
    std::array<ViewportRect, kMaxViewports> rect{};
    std::array<float, kMaxViewports> zoom{};
    std::array<std::array<float, kViewAngles>, kMaxViewports> angles_deg{};
    int pending_draw_mode = kNoPendingChange;  // viewport + 1 whose mode the display must apply
    int pending_rect = kNoPendingChange;       // viewport + 1 whose rectangle it must apply
    std::array<int, kMaxViewports> enabled{};
    std::array<std::array<float, kViewAngles>, kMaxViewports> angle_min_deg{};
    std::array<std::array<float, kViewAngles>, kMaxViewports> angle_max_deg{};
    float cylinder_rotation_rad = kInitialCylinderRotationRad;
    // Orientation asked for with SetOrientation (kNoOrientationRequest:
    // none); the display thread hands it to the renderer manager.
    int orientation_request = kNoOrientationRequest;
    // Viewports (bit v) whose angles or zoom the interface changed; the
    // display thread hands them to the renderer manager.
    unsigned pending_angles = 0;
    unsigned pending_zoom = 0;
    // A change the display must show although nothing above is pending
    // (a viewport disabled while paused).
    bool redraw_requested = false;
};

// Puts every angle limit back to [-180, 180].
void reset_angle_limits(ViewRecord& view);

// Frame stepping while paused. The ring of pictures doubles as the history:
// the shown picture sits at the history index, the history length counts
// the pictures kept up to and including it.
struct StepState {
    int history_index = 0;
    int history_length = 0;
    int request = kNoStepRequest;  // 1 forward, 0 backward
    bool in_progress = false;      // a step was made since the pause
    std::int64_t paused_position_ms = 0;
};

struct ViewState {
    // Outermost of the locks the threads share (only Stop's and the
    // start-up statuses' come before); frame steps, the refill of the
    // history and Seek's move run under it.
    platform::Mutex mutex;
    ViewRecord record GUARDED_BY(mutex);
    StepState steps GUARDED_BY(mutex);

    // The display thread took a pending change (or ended): wakes the caller
    // waiting in wait_taken.
    void notify_taken() { taken_.notify_all(); }
    // Waits until the change in `record.*pending` was taken or `gone()`
    // says the display will take none; each wait is bounded by `poll_ms`,
    // after which `gone()` is asked again.
    template <typename Gone>
    void wait_taken(int ViewRecord::*pending, int poll_ms, Gone gone) EXCLUDES(mutex) {
        platform::UniqueLock lock(mutex);
        while (record.*pending != kNoPendingChange && !gone()) {
            taken_.wait_for(lock, poll_ms,
                            [&]() REQUIRES(mutex) { return record.*pending == kNoPendingChange; });
        }
    }

private:
    platform::CondVar taken_;
};

}  // namespace sphere_player
