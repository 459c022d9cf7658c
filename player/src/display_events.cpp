// The display thread's SDL events: window size changes, turning a view by
// dragging with the left button, zooming with the wheel, double clicks and
// dropped files. Clicks, the wheel and dropped files are told to the host.
#include <cmath>
#include <cstdio>

#include "display.h"
#include "host_messages.h"
#include "view_math.h"

namespace sphere_player {
namespace {

constexpr float kWheelZoomStep = 0.05f;
constexpr float kPi = 3.14159265f;
constexpr float kHalfTurnDeg = 360.0f;  // a pixel of horizontal drag turns the cylinder by pi/360
// A double click lets the host's messages through twice before it is told.
constexpr int kDoubleClickPumps = 2;

// The first enabled viewport (in index order) whose rectangle holds the
// window point (x, y from the top); viewport 0 when none does.
int viewport_at_locked(const ViewRecord& view, int x, int y_from_top) {
    const int y = view.window_height - y_from_top;  // viewports count from the bottom
    for (int v = 0; v < kMaxViewports; ++v) {
        const ViewportRect& r = view.rect[v];
        if (view.enabled[v] != 0 && x >= r.x && x < r.x + r.width && y >= r.y &&
            y < r.y + r.height) {
            return v;
        }
    }
    return 0;
}

void on_resized(DisplayContext& dc, int width, int height) {
    platform::MutexLock lock(dc.vs.view.mutex);
    ViewRecord& view = dc.vs.view.record;
    if (width <= 0 || height <= 0 || view.window_width <= 0 || view.window_height <= 0) return;
    for (int v = 0; v < kMaxViewports; ++v) {
        if (view.enabled[v] == 0) continue;
        ViewportRect& r = view.rect[v];
        r.x = r.x * width / view.window_width;
        r.width = r.width * width / view.window_width;
        r.y = r.y * height / view.window_height;
        r.height = r.height * height / view.window_height;
        dc.renderer->set_viewport_rect(static_cast<unsigned>(v), r.x, r.y, r.width, r.height);
    }
    view.window_width = width;
    view.window_height = height;
    SDL_GetWindowPosition(view.window, &view.window_x, &view.window_y);
    dc.redraw = true;
}

void on_motion(DisplayContext& dc, const SDL_MouseMotionEvent& m) {
    platform::MutexLock lock(dc.vs.view.mutex);
    ViewRecord& view = dc.vs.view.record;
    view.mouse_x = m.x;
    view.mouse_y = m.y;
    if (m.state != SDL_BUTTON_LMASK || dc.ps.double_click) return;
    const int v = viewport_at_locked(view, m.x, m.y);
    auto& a = view.angles_deg[v];
    a[0] += static_cast<float>(m.yrel);
    a[1] += static_cast<float>(m.xrel);
    if (view.draw_mode[v] == 6) {
        view.cylinder_rotation_rad -= static_cast<float>(m.xrel) * kPi / kHalfTurnDeg;
    }
    for (float& angle : a) angle = normalise_angle_deg(angle);
    dc.renderer->set_view_angles(static_cast<unsigned>(v), a[0], a[1], a[2],
                                 view.cylinder_rotation_rad);
    dc.redraw = true;
}

void on_button_down(DisplayContext& dc, const SDL_MouseButtonEvent& b) {
    dc.ps.double_click = false;
    if (b.clicks != 2) return;
    dc.ps.double_click = true;
    post_to_host(dc.ps, WM_PLAYER_MOUSE, 0, 0);
    pump_thread_messages(dc.ps, kDoubleClickPumps);
    post_to_host(dc.ps, WM_PLAYER_DBLCLICK, 0, 0);
}

void on_wheel(DisplayContext& dc, const SDL_MouseWheelEvent& w) {
    platform::MutexLock lock(dc.vs.view.mutex);
    ViewRecord& view = dc.vs.view.record;
    const int v = viewport_at_locked(view, view.mouse_x, view.mouse_y);
    view.zoom[v] += w.y >= 1 ? kWheelZoomStep : -kWheelZoomStep;
    post_to_host(dc.ps, WM_PLAYER_MOUSE, 0, 0);
    dc.renderer->set_zoom(static_cast<unsigned>(v), &view.zoom[v]);
    dc.redraw = true;
}

void on_drop(DisplayContext& dc, char* file) {
    if (file == nullptr) return;
    std::snprintf(dc.ps.dropped_file, sizeof dc.ps.dropped_file, "%s", file);
    SDL_free(file);
    post_to_host(dc.ps, WM_PLAYER_DROPFILE, reinterpret_cast<std::uintptr_t>(dc.ps.dropped_file),
                 0);
}

void handle_event(DisplayContext& dc, SDL_Event& e) {
    switch (e.type) {
        case SDL_WINDOWEVENT:
            if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
                on_resized(dc, e.window.data1, e.window.data2);
            } else if (e.window.event == SDL_WINDOWEVENT_EXPOSED ||
                       e.window.event == SDL_WINDOWEVENT_SHOWN) {
                dc.redraw = true;  // uncovered or shown again
            }
            break;
        case SDL_MOUSEMOTION:
            on_motion(dc, e.motion);
            break;
        case SDL_MOUSEBUTTONDOWN:
            on_button_down(dc, e.button);
            break;
        case SDL_MOUSEBUTTONUP:
            post_to_host(dc.ps, WM_PLAYER_MOUSE, 0, 0);
            break;
        case SDL_MOUSEWHEEL:
            on_wheel(dc, e.wheel);
            break;
        case SDL_DROPFILE:
            on_drop(dc, e.drop.file);
            break;
        default:
            break;
    }
}

}  // namespace

void handle_events(DisplayContext& dc) {
    {
        platform::MutexLock lock(dc.vs.view.mutex);
        run_step_request_locked(dc);
    }
    SDL_Event e;
    while (!dc.vs.flags.abort_requested() && SDL_PollEvent(&e) != 0) handle_event(dc, e);
}

}  // namespace sphere_player
