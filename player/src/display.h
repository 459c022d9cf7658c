// The display thread's own parts: the SDL window with its GL context, the
// renderer manager, the event handling and the frame steps it carries out.
// Everything here runs on the display thread.
#pragma once

#include <memory>

#include "ogl_rendererMgr/ogl_rendererMgr.h"
#include "player_state.h"

namespace sphere_player {

// Line numbers the renderer failures are reported with.
inline constexpr int kRendererInitLine = 1007;
inline constexpr int kViewportRectLine = 1021;
inline constexpr int kDrawModeLine = 1027;
inline constexpr int kPendingRectLine = 1104;

struct DisplayContext {
    explicit DisplayContext(PlayerState& state) : ps(state), vs(*state.vs) {}
    ~DisplayContext();
    DisplayContext(const DisplayContext&) = delete;
    DisplayContext& operator=(const DisplayContext&) = delete;

    // The renderer manager, the GL context and the window go, and SDL is
    // shut down.
    void tear_down();

    PlayerState& ps;
    video_state& vs;
    std::unique_ptr<ogl_rendererMgr> renderer;
    int shown_counter = 0;       // pictures taken, counted 1 to 5 for the position rule
    bool picture_taken = false;  // a picture has been taken since the start
    // What the window shows is out of date: a new picture was uploaded, or
    // a view, a viewport or the window changed. Drawing is the expensive
    // part of a turn, so an unchanged frame is not drawn again.
    bool redraw = false;
    // A frame is drawn and flushed but not yet presented: the renderer
    // finishes it during the turn's wait, and the next turn presents it.
    bool present_pending = false;
    int applied_orientation = kNoOrientationRequest;
};

// SDL (video and sound), the sound device, the window (from the native
// window or of its own), the GL context. 0, 19 or 20 (error text set).
int init_sdl_gl_video_render(PlayerState& ps);
// Destroys the GL context and the window and shuts SDL down. The renderer
// manager must be gone.
void release_sdl_gl_video_render(PlayerState& ps);

// Polls every SDL event; the view mutex is taken per event.
void handle_events(DisplayContext& dc);

// Uploads a ring slot, draws every enabled viewport and presents the frame.
void show_slot_locked(DisplayContext& dc, int slot) REQUIRES(dc.vs.view.mutex);

// Carries out a pending frame step.
void run_step_request_locked(DisplayContext& dc) REQUIRES(dc.vs.view.mutex);

// The enabled flags of the view record as the renderer takes them.
void enabled_viewports_locked(const ViewRecord& view, bool out[kMaxViewports]);

}  // namespace sphere_player
