// The display thread: sets up the window and the renderer manager, then
// shows the decoded pictures against the clock until playback ends.
#include <GL/glew.h>

#include <cstdio>

#include "clock_units.h"
#include "display.h"
#include "gl/entry_points.h"
#include "host_messages.h"
#include "playback_end.h"
#include "playback_threads.h"
#include "platform/debug_output.h"
#include "player_clock.h"
#include "still_picture.h"
#include "view_math.h"

namespace sphere_player {
namespace {

constexpr std::size_t kDebugLineSize = 1024;
// Fixed waits of the display loop, milliseconds: the turn's pace, and the
// wait for a picture that is not due yet.
constexpr int kTurnSleepMs = 20;
constexpr int kIdleSleepMs = 20;
constexpr int kNotDueSleepMs = 5;
// A picture is shown once it is at most this far ahead of the clock.
constexpr std::int64_t kDueWithinMs = 30;
// The position goes to the host with the first of every five pictures.
constexpr int kPositionEvery = 5;

int renderer_failure(PlayerState& ps, int line, const ogl_rendererMgr* renderer) {
    return ps.errors.fail(DOR_PLAYER_DISPLAY_FAILED, "error: in OGL renderer, line: %d: %s\n", line,
                          renderer != nullptr ? renderer->error_text() : "");
}

int init_renderer(DisplayContext& dc) {
    PlayerState& ps = dc.ps;
    const init_param& param = *dc.vs.param;
    dc.renderer = std::make_unique<ogl_rendererMgr>();
    ps.renderer = dc.renderer.get();
    StillPicture logo;
    if (param.need_logo != 0) {
        const int rc = decode_still_picture(param.logo_fn, &logo, ps.errors);
        if (rc != DOR_PLAYER_OK) return rc;
    }
    const AVCodecContext* codec = dc.vs.video_codec.get();
    const int rc = dc.renderer->init(param.calib_filename, param.need_logo != 0, param.logo_fov,
                                     param.panorama_input != 0, codec->width, codec->height,
                                     logo.bgr.empty() ? nullptr : logo.bgr.data(), logo.width,
                                     logo.height, param.orientation);
    if (rc != 0) return renderer_failure(ps, kRendererInitLine, dc.renderer.get());
    return DOR_PLAYER_OK;
}

void send_angles_locked(DisplayContext& dc, int v) REQUIRES(dc.vs.view.mutex) {
    ViewRecord& view = dc.vs.view.record;
    auto& a = view.angles_deg[static_cast<std::size_t>(v)];
    for (float& angle : a) angle = normalise_angle_deg(angle);
    dc.renderer->set_view_angles(static_cast<unsigned>(v), a[0], a[1], a[2],
                                 view.cylinder_rotation_rad);
}

void apply_orientation_locked(DisplayContext& dc) REQUIRES(dc.vs.view.mutex) {
    const int wanted = dc.vs.view.record.orientation_request;
    if (wanted == kNoOrientationRequest || wanted == dc.applied_orientation) return;
    dc.renderer->set_orientation(wanted);
    dc.applied_orientation = wanted;
}

// The viewports set before playback: rectangle, draw mode, zoom, angles.
int configure_viewports(DisplayContext& dc) {
    platform::MutexLock lock(dc.vs.view.mutex);
    ViewRecord& view = dc.vs.view.record;
    apply_orientation_locked(dc);
    for (int v = 0; v < kMaxViewports; ++v) {
        const auto i = static_cast<std::size_t>(v);
        if (view.enabled[i] == 0) continue;
        const ViewportRect& r = view.rect[i];
        const auto index = static_cast<unsigned>(v);
        if (dc.renderer->set_viewport_rect(index, r.x, r.y, r.width, r.height) != 0) {
            return renderer_failure(dc.ps, kViewportRectLine, dc.renderer.get());
        }
        if (dc.renderer->set_draw_mode(index, view.draw_mode[i]) != 0) {
            return renderer_failure(dc.ps, kDrawModeLine, dc.renderer.get());
        }
        if ((view.pending_zoom & (1u << v)) != 0) {
            dc.renderer->set_zoom(index, &view.zoom[i]);  // set before playback: kept
        } else {
            view.zoom[i] = dc.renderer->zoom(index);
        }
        send_angles_locked(dc, v);
    }
    view.pending_angles = view.pending_zoom = 0;
    return DOR_PLAYER_OK;
}

void debug_line(const char* text) {
    platform::debug_output(text);
}

int start_display(DisplayContext& dc) {
    PlayerState& ps = dc.ps;
    debug_line("start_displaying_video init sdl 111\r\n");
    debug_line("start_displaying_video init sdl \r\n");
    const int t0 = clock_ms();
    int rc = init_sdl_gl_video_render(ps);
    platform::debug_printf(kDebugLineSize,
                           "start_displaying_video init_sdl_gl_video_render wast %ld ms\r\n",
                           static_cast<long>(clock_ms() - t0));
    if (rc != DOR_PLAYER_OK) return rc;
    if (dc.vs.duration_ms == 0) dc.vs.flags.request_abort();
    const gl::EntryPoints entry = gl::load_entry_points();
    if (!entry.loaded) {
        return ps.errors.fail(DOR_PLAYER_DISPLAY_FAILED, "glew error: %s\n", entry.reason);
    }
    rc = init_renderer(dc);
    if (rc == DOR_PLAYER_OK) rc = configure_viewports(dc);
    return rc;
}

// A failure at start-up or while running: no EndCallback follows and the
// other threads are ended before the display goes. A start-up failure is
// Play's to report (it returns 21 and calls ErrorCallback); a failure while
// running is reported by this thread once it has ended.
void fail_display(DisplayContext& dc, int code, bool started) {
    PlayerState& ps = dc.ps;
    ps.display_failure_code = code;
    ps.display_failed = true;
    ps.display_failed_while_playing = started;
    dc.vs.flags.request_abort();
    dc.tear_down();
    if (!started) ps.startup.set(Worker::display, StartupStatus::failed);
}

// --- the loop

// Pending changes from the interface operations, handed to the renderer.
int apply_pending_locked(DisplayContext& dc) REQUIRES(dc.vs.view.mutex) {
    ViewRecord& view = dc.vs.view.record;
    if (view.pending_draw_mode != kNoPendingChange || view.pending_rect != kNoPendingChange ||
        view.pending_angles != 0 || view.pending_zoom != 0 || view.redraw_requested ||
        (view.orientation_request != dc.applied_orientation &&
         view.orientation_request != kNoOrientationRequest)) {
        dc.redraw = true;
    }
    view.redraw_requested = false;
    if (view.pending_draw_mode != kNoPendingChange) {
        const int v = view.pending_draw_mode - 1;
        const auto i = static_cast<std::size_t>(v);
        const auto index = static_cast<unsigned>(v);
        dc.renderer->set_draw_mode(index, view.draw_mode[i]);
        float zoom = dc.renderer->default_zoom(index);
        dc.renderer->set_zoom(index, &zoom);
        view.zoom[i] = zoom;
        view.angles_deg[i] = {0.0f, 0.0f, 0.0f};
        send_angles_locked(dc, v);
        view.pending_draw_mode = kNoPendingChange;
    }
    if (view.pending_rect != kNoPendingChange) {
        const int v = view.pending_rect - 1;
        const auto i = static_cast<std::size_t>(v);
        const ViewportRect& r = view.rect[i];
        if (dc.renderer->set_viewport_rect(static_cast<unsigned>(v), r.x, r.y, r.width, r.height) !=
            0) {
            return renderer_failure(dc.ps, kPendingRectLine, dc.renderer.get());
        }
        view.pending_rect = kNoPendingChange;
        view.enabled[i] = 1;
    }
    for (int v = 0; v < kMaxViewports; ++v) {
        const unsigned bit = 1u << v;
        if ((view.pending_angles & bit) != 0) send_angles_locked(dc, v);
        if ((view.pending_zoom & bit) != 0) {
            dc.renderer->set_zoom(static_cast<unsigned>(v),
                                  &view.zoom[static_cast<std::size_t>(v)]);
        }
    }
    view.pending_angles = view.pending_zoom = 0;
    apply_orientation_locked(dc);
    return DOR_PLAYER_OK;
}

void position_rule(DisplayContext& dc, std::int64_t time) {
    if (dc.shown_counter == 1) post_position(dc.ps, position_ms_of(dc.vs, time));
    if (dc.shown_counter >= kPositionEvery) dc.shown_counter = 0;
}

// Takes the picture at the read index off the ring; uploads it when it lies
// before the end time. A pause that came meanwhile leaves it there: the
// ring is what frame stepping starts from.
void take_picture(DisplayContext& dc, std::int64_t time, std::int64_t lag_ms) {
    video_state& vs = dc.vs;
    const std::int64_t picture_ms = position_ms_of(vs, time);
    const bool drawable = picture_ms < vs.param->end_time_ms;
    const bool taken = vs.pictures.take_front(
        vs.pts, [&] { return vs.flags.running_unpaused(); },
        [&](const AVFrame* f) {
            if (drawable) {
                dc.renderer->upload_frame(f->data[0], f->data[1], f->data[2], f->width, f->height);
            }
        });
    if (!taken) return;  // a pause, or a seek emptied the ring meanwhile
    ++dc.shown_counter;
    dc.picture_taken = true;
    if (drawable) {
        dc.redraw = true;
        ++dc.ps.stats.pictures_drawn;
    }
    dc.ps.stats.add(static_cast<double>(picture_ms), static_cast<double>(lag_ms), clock_ms());
}

// Presents the frame drawn in the last turn, if any.
void present_pending(DisplayContext& dc) {
    if (!dc.present_pending) return;
    platform::MutexLock lock(dc.vs.view.mutex);
    SDL_GL_SwapWindow(dc.vs.view.record.window);
    dc.present_pending = false;
}

// Wait, then take the next picture when it is due.
void pace_pictures(DisplayContext& dc, bool paused) {
    video_state& vs = dc.vs;
    // The decoder goes on meanwhile, and the renderer finishes the frame
    // drawn last turn.
    sleep_ms(kTurnSleepMs);
    present_pending(dc);
    if (vs.pictures.count() == 0 || paused) {
        const StateFlags f = vs.flags.snapshot();
        if (f.decode_over != 0 && vs.pictures.count() == 0) vs.flags.request_abort();
        sleep_ms(kIdleSleepMs);
        return;
    }
    const std::int64_t time = vs.pts.front();
    const std::int64_t ahead_ms = clock_units_to_ms(time - vs.clock.scaled(), vs.audio_tbase);
    if (ahead_ms > kDueWithinMs) {
        sleep_ms(kNotDueSleepMs);
    } else {
        take_picture(dc, time, -ahead_ms);
    }
    position_rule(dc, time);
}

void draw_locked(DisplayContext& dc) REQUIRES(dc.vs.view.mutex) {
    bool enabled[kMaxViewports];
    enabled_viewports_locked(dc.vs.view.record, enabled);
    dc.renderer->draw(enabled);
}

// One turn of the loop; false when the thread must end (code in `failure`).
bool display_turn(DisplayContext& dc, int* failure) {
    video_state& vs = dc.vs;
    const StateFlags f = vs.flags.snapshot();
    if (f.abort_request != 0) return false;
    if (const int code = dc.ps.fail_display_with.exchange(0)) {
        *failure = dc.ps.errors.fail(code, "error: display failure made by a test;\n");
        return false;
    }
    {
        platform::MutexLock lock(dc.vs.view.mutex);
        *failure = apply_pending_locked(dc);
        if (*failure != DOR_PLAYER_OK) return false;
    }
    vs.view.notify_taken();
    // The clock starts (the first sound plays) once the first picture is
    // ready to be shown, so that the time taken to start up is not owed.
    if (!vs.flags.display_started() && vs.pictures.count() != 0) vs.flags.mark_display_started();
    pace_pictures(dc, f.paused != 0);
    handle_events(dc);
    if (!dc.picture_taken || !dc.redraw) return true;
    platform::MutexLock lock(dc.vs.view.mutex);
    draw_locked(dc);
    // Drawing only queues the work; presenting waits for it. Flushed now
    // and presented after the next turn's wait, the frame is rendered
    // while this thread sleeps instead of after it.
    glFlush();
    dc.present_pending = true;
    dc.redraw = false;
    return true;
}

}  // namespace

void DisplayContext::tear_down() {
    renderer.reset();
    ps.renderer = nullptr;
    release_sdl_gl_video_render(ps);
}

DisplayContext::~DisplayContext() {
    if (renderer) tear_down();  // an exception left the display half made
}

void enabled_viewports_locked(const ViewRecord& view, bool out[kMaxViewports]) {
    for (int v = 0; v < kMaxViewports; ++v) out[v] = view.enabled[static_cast<std::size_t>(v)] != 0;
}

void show_slot_locked(DisplayContext& dc, int slot) {
    dc.present_pending = false;  // the stepped picture replaces it
    const AVFrame* f = dc.vs.pictures.frame(slot);
    dc.renderer->upload_frame(f->data[0], f->data[1], f->data[2], f->width, f->height);
    dc.picture_taken = true;
    draw_locked(dc);
    SDL_GL_SwapWindow(dc.vs.view.record.window);
    dc.redraw = false;
}

void display_thread_main(PlayerState& ps) {
    DisplayContext dc(ps);
    bool started = false;
    int rc = start_display(dc);
    if (rc == DOR_PLAYER_OK) {
        started = true;
        ps.startup.set(Worker::display, StartupStatus::running);
        while (display_turn(dc, &rc)) {
        }
    }
    if (rc != DOR_PLAYER_OK) {
        fail_display(dc, rc, started);
    } else {
        dc.tear_down();
    }
    SDL_TLSCleanup();  // SDL's per-thread data (current GL context, error text) of this thread
}

void end_display_worker(PlayerState& ps, Worker w) {
    // Read first: when playback ended well, end_worker's EndCallback may
    // be the last use of the player on this thread.
    const bool report = ps.display_failed_while_playing && ps.on_error != nullptr;
    end_worker(ps, w);
    if (!report) return;
    // After a display failure no EndCallback was made: the host learns of
    // the failure now, as the last use of the player on this thread (it may
    // stop and destroy it from the callback).
    if (!ps.vs->flags.wait_until_host_idle()) return;
    const ErrorCallback on_error = ps.on_error;
    void* const context = ps.context;
    on_error(context, ps.display_failure_code);
}

}  // namespace sphere_player
