// ogl_rendererMgr: draws one YUV 4:2:0 frame, dewarped, into up to four
// viewports of the current GL window. Owns what the viewports share (the Y,
// U, V plane textures, the logo texture, the stitching program with its
// locations, the error text) and the four DOR_OglRenderer viewports.
//
// Usage (the player's display thread, after glewInit on the current context):
//     sphere_player::ogl_rendererMgr mgr;
//     if (mgr.init(calib, need_logo, logo_angle_deg, panorama, w, h, logo, lw, lh, orientation))
//         report(mgr.error_text());
//     mgr.set_viewport_rect(0, 0, 0, win_w, win_h);
//     mgr.set_draw_mode(0, 2);
//     mgr.set_view_angles(0, pitch_deg, yaw_deg, roll_deg, cylinder_rotation_rad);
//     per frame: mgr.upload_frame(y, u, v, w, h); mgr.draw(enabled); swap.
// Swapping buffers, the window and the context belong to the caller.
//
// Messages: GL and viewport errors and the viewport build's progress line are
// printed to the message sink (standard output unless set_message_sink says
// otherwise) and left in error_text(); the initialisation's own GL errors
// ("error in oglMgr(line %d): code %d\n") only go to error_text().
//
// Thread-safety: none. Every call, construction and destruction included,
// runs on the thread whose GL context is current.
#pragma once

#include <array>

#include "geometry/mat4.h"
#include "gl/errors.h"
#include "ogl_rendererMgr/renderer_shared.h"
#include "ogl_rendererMgr/ogl_renderer/ogl_renderer.h"

namespace sphere_player {

constexpr int kViewportCount = 4;

// Results of the manager's operations.
enum RendererResult : int {
    kRendererOk = 0,
    kRendererFailure = 1,      // GL, shader or mesh failure; see error_text()
    kRendererBadViewport = 5,  // viewport index above 3
    kRendererBadDrawMode = 7,  // draw mode outside 0..6
};

class ogl_rendererMgr {
public:
    ogl_rendererMgr();
    ~ogl_rendererMgr();  // textures and program first, then each viewport's buffers
    ogl_rendererMgr(const ogl_rendererMgr&) = delete;
    ogl_rendererMgr& operator=(const ogl_rendererMgr&) = delete;

    // Textures, program and the four viewports' calibration. logo_bgr may be
    // null when need_logo is false. Returns 0, 1 (GL or shader failure, see
    // error_text()) or the calibration loader's code (1, 2). A failed
    // initialisation leaves the manager unusable.
    int init(const char* calibration_path, bool need_logo, int logo_angle_deg, bool panorama_input,
             int frame_width, int frame_height, const unsigned char* logo_bgr, int logo_width,
             int logo_height, int orientation);

    // Per-viewport operations: index above 3 prints "error: invalid viewport
    // index %d;\n" and returns 5 (the float getters return 5.0f).
    int set_viewport_rect(unsigned index, int x, int y, int width, int height);  // 1: GL error
    int set_draw_mode(unsigned index, int mode);  // 7 bad mode, 1 build failure
    // Angles in degrees; the cylinder rotation (mode 6) in radians.
    int set_view_angles(unsigned index, float pitch_deg, float yaw_deg, float roll_deg,
                        float cylinder_rotation_rad);
    // The applied (clamped) zoom is written back; 1 when zoom is null.
    int set_zoom(unsigned index, float* zoom);
    float zoom(unsigned index) const;
    float default_zoom(unsigned index) const;
    int view_angles(unsigned index, float* pitch_deg, float* yaw_deg, float* roll_deg) const;
    // All four viewports: orientation := value, roll offset 180 degrees.
    void set_orientation(int value);

    // Tightly packed 8-bit planes: Y width x height, U and V (width / 2) x
    // (height / 2), rows without padding. 0, or 1 with a message.
    int upload_frame(const unsigned char* y, const unsigned char* u, const unsigned char* v,
                     int width, int height);
    // Clears the window and draws the enabled viewports in the order 0, 1,
    // 3, 2; stops with 1 at the first failing viewport.
    int draw(const bool enabled[kViewportCount]);

    const char* error_text() const { return shared_.messages.text(); }

    // Null discards printed messages. Also used by the viewports' meshes.
    void set_message_sink(ogl::MessageSink sink);
    // How viewports built from now on upload and draw their meshes (see
    // renderer_shared.h); both draw the same pixels. The reference path is the
    // direct reading, for tests and the benchmark. Default: indexed.
    void set_draw_path(ogl::DrawPath path);
    // Read access for diagnostics and tests; null for an index above 3.
    const DOR_OglRenderer* viewport(unsigned index) const;

private:
    DOR_OglRenderer* viewport_at(unsigned index);
    const DOR_OglRenderer* viewport_at(unsigned index) const;
    int reset_textures();
    int set_up_textures(bool need_logo, const unsigned char* logo_bgr, int logo_width,
                        int logo_height);
    bool set_up_plane(GLuint name, int width, int height);
    int bind_program_inputs();
    int enable_attribute(GLint* location, const char* name, int line);
    int set_sampler(GLint* location, const char* name, GLint unit, int line);
    int upload_plane(GLuint name, const unsigned char* pixels, int width, int height);

    std::array<DOR_OglRenderer, kViewportCount> viewports_;
    ogl::RendererShared shared_;  // textures, locations, program, error text
    // GL errors of the initialisation's steps, into the error text only.
    const gl::StepCheck init_steps_;
    // GL errors of the frame upload, printed.
    const gl::StepCheck upload_steps_;
    geometry::Mat4 st_matrix_;
    int frame_width_ = 0;  // of the Y plane
    int frame_height_ = 0;
};

}  // namespace sphere_player
