// The camera of one viewport: draw mode, view angles, zoom and the model,
// view and projection matrices, as plain data and free functions (no GL).
//
// Usage (a viewport renderer, player or converter):
//     geometry::ViewportCamera camera = geometry::make_viewport_camera(Variant::player);
//     camera.view = geometry::view_matrix(camera);        // after set-up
//     auto r = geometry::set_draw_mode(camera, factory, mode, frame_w, frame_h, vp_w, vp_h);
//     if (r.code != 0) return r.code;                     // the text went through the factory
//     if (r.rebuild) {                                    // mode changed or never built
//         if (geometry::rebuild_viewport(camera, factory, {logo, logo_angle}) != Rebuild::ok)
//             return 1;
//         ... upload the factory's buffers ...; camera.built = true;
//     }
//     geometry::set_view_angles(camera, pitch, yaw, roll, cylinder_rotation);
//     per draw: mvp = geometry::mvp_matrix(camera); in mode 6 also
//               factory.update_cylinder_texcoords(camera.cylinder_rotation_rad).
// set_draw_mode applies the mode's default zoom itself (the projection does
// not depend on the mesh), so r.zoom is the zoom after the call.
//
// The converter variant differs in its largest zoom (3 instead of 4), in
// refusing mode 6 (code 21 instead of 7) and in projections that are
// mirrored vertically (bottom and top exchanged).
//
// Thread-safety: plain data; belongs to the thread that renders the viewport.
#pragma once

#include <cstdint>

#include "geometry/mat4.h"
#include "geometry/vertex_factory.h"

namespace geometry {

constexpr float kPlayerZoomMax = 4.0f;
constexpr float kConverterZoomMax = 3.0f;
constexpr float kZoomMin = 0.05f;
constexpr float kFarPlane = 50.0f;

struct ViewportCamera {
    Variant variant = Variant::player;
    int32_t draw_mode = kModeFlat;
    bool built = false;  // set by the renderer once the mode's mesh is uploaded

    // View angles in degrees; the cylinder rotation in radians (mode 6).
    float pitch_deg = 0.0f, yaw_deg = 0.0f, roll_deg = 0.0f;
    float cylinder_rotation_rad = kCylinderDefaultRotationRad;
    float roll_offset_deg = 0.0f;  // the factory's, copied at each rebuild

    Vec3 eye{0.0f, 0.0f, 2.0f};
    Vec3 centre{0.0f, 0.0f, -4.0f};
    Vec3 up{0.0f, 1.0f, 0.0f};

    float zoom = 1.0f;  // the near plane
    float default_zoom = 1.0f;
    float zoom_max = kPlayerZoomMax;
    float far_plane = kFarPlane;

    // Perspective half-extents at the near plane; orthographic half-extents.
    float right = 0.0f, left = 0.0f, top = 0.0f, bottom = 0.0f;
    float ortho_half_width = 0.0f, ortho_half_height = 0.0f;

    Mat4 model = mat4_identity();
    Mat4 view = mat4_identity();
    Mat4 projection = mat4_identity();
};

ViewportCamera make_viewport_camera(Variant variant);

struct DrawModeResult {
    int code = kCodeOk;    // 7 (player) or 21 (converter) for a refused mode
    bool rebuild = false;  // the mesh and view must be rebuilt for the new mode
    float zoom = 0.0f;     // the zoom applied (the mode's default)
};

// Stores the mode and its eye distance, projection extents and default zoom
// for a frame of frame_width x frame_height shown in a viewport_width x
// viewport_height viewport, then applies the default zoom. Mode 0 also gives
// the factory the frame size. A refused mode ("error: invalid draw mode %d;\n"
// through the factory's report) changes nothing.
DrawModeResult set_draw_mode(ViewportCamera& camera, VertexFactory& factory, int32_t mode,
                             int32_t frame_width, int32_t frame_height, int32_t viewport_width,
                             int32_t viewport_height);

// Clamps to [0.05, zoom_max], stores it as the near plane, rebuilds the
// projection (orthographic in modes 0, 1, 4, perspective otherwise); returns
// the zoom applied.
float set_zoom(ViewportCamera& camera, float zoom);

// Model := identity, then (except in modes 0 and 1, which keep the angles
// they had) Rot(s pitch, x) [Rot(90, x) in mode 3] Rot(s yaw, y)
// Rot(s roll - roll offset, z), with s = +1 in mode 4 and -1 otherwise.
void set_view_angles(ViewportCamera& camera, float pitch_deg, float yaw_deg, float roll_deg,
                     float cylinder_rotation_rad);

// The look-at matrix of the camera's eye, centre and up.
Mat4 view_matrix(const ViewportCamera& camera);

// projection x (view x model); the identity in mode 6.
Mat4 mvp_matrix(const ViewportCamera& camera);

// The mesh a viewport asks its factory for (the nadir cap is the player's;
// the converter never asks for it).
struct MeshRequest {
    bool logo = false;
    int32_t logo_angle_deg = -1;  // negative: chosen from the lens
};

enum class Rebuild {
    ok,
    no_mesh,          // the factory refused (and reported why)
    no_lens_mapping,  // positions only (two cameras, panorama input): not drawable
};

// Rebuilds the viewport for camera.draw_mode, in this order: the view matrix
// from the camera's look-at, the factory's mesh, the calibration's roll
// offset (not taken when the factory refused). The factory's buffers then
// hold the mesh to upload; `built` is the caller's to set once its buffers
// hold it.
Rebuild rebuild_viewport(ViewportCamera& camera, VertexFactory& factory,
                         const MeshRequest& request);

// The camera's part of a rebuild alone (view matrix, roll offset), for a
// viewport that draws the mesh another viewport of the same calibration
// built for the same draw mode.
void rebuild_camera(ViewportCamera& camera, const VertexFactory& factory);

}  // namespace geometry
