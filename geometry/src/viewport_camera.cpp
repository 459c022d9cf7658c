#include "geometry/viewport_camera.h"

#include <algorithm>
#include <cmath>

#include "camera_model.h"

namespace geometry {
namespace {

// Eye distances from the sphere's centre per mode.
constexpr float kEyeFlat = 2.0f;
constexpr float kEyeInside = 1.0f;   // mode 2
constexpr float kEyeSurface = 4.0f;  // mode 3
constexpr float kEyeOrtho = 2.0f;    // mode 4
constexpr float kEyeWide = 3.0f;     // mode 5
// Field-of-view angles in radians (60, 25 and 77.5 degrees).
constexpr float kSixtyDegRad = 1.0471975803375244f;
constexpr float kTwentyFiveDegRad = 0.43633231299861114f;
constexpr float kSeventySevenHalfDegRad = 1.3526301383972168f;
constexpr float kSphereRadius = 4.0f;
constexpr float kSurfacePitchDeg = 90.0f;

using detail::truncate_to_int;

float ratio(int32_t a, int32_t b) {
    return static_cast<float>(a) / static_cast<float>(b);
}

void set_perspective(ViewportCamera& cam, float half_width, float aspect, float zoom) {
    cam.right = cam.left = half_width;
    cam.top = cam.bottom = half_width / aspect;
    cam.default_zoom = zoom;
}

// Mode 0: the frame keeps its aspect inside the viewport.
void flat_extents(ViewportCamera& cam, int32_t fw, int32_t fh, int32_t vw, int32_t vh) {
    const float a = ratio(fh, fw);
    const int32_t c = truncate_to_int(static_cast<float>(vw) * a);
    cam.ortho_half_height = c < vh ? a * static_cast<float>(vh) / static_cast<float>(c) : a;
    const int32_t e = truncate_to_int(static_cast<float>(vh) / a);
    cam.ortho_half_width = e < vw ? ratio(vw, e) : 1.0f;
    cam.eye.z = kEyeFlat;
    cam.default_zoom = 1.0f;
}

// Mode 1: the 2:1 plane keeps its aspect.
void panorama_extents(ViewportCamera& cam, int32_t vw, int32_t vh) {
    const int32_t f = truncate_to_int(static_cast<float>(vw) * 0.5f);
    cam.ortho_half_height = f < vh ? 0.5f * static_cast<float>(vh) / static_cast<float>(f) : 0.5f;
    const int32_t g = truncate_to_int(2.0 * vh);
    cam.ortho_half_width = g < vw ? ratio(vw, g) : 1.0f;
    cam.eye.z = kEyeFlat;
    cam.default_zoom = 1.0f;
}

// Modes 2 and 5: the eye inside the sphere at distance `eye`, the view cone
// of half-angle `angle` around the axis reaching the surface.
void inside_extents(ViewportCamera& cam, float eye, float angle, float aspect) {
    const float l = kSphereRadius * std::cos(angle) + eye;
    const float k = std::tan(std::atan(kSphereRadius * std::sin(angle) / l));
    const float half_width = 0.5f * k * l;
    cam.eye.z = eye;
    set_perspective(cam, half_width, aspect, half_width / k);
}

void surface_extents(ViewportCamera& cam, float aspect) {
    const float d = 0.5f * kSphereRadius * std::sin(kTwentyFiveDegRad);
    cam.eye.z = kEyeSurface;
    set_perspective(cam, d, aspect, d / std::tan(kSeventySevenHalfDegRad));
}

void ortho_sphere_extents(ViewportCamera& cam, int32_t vw, int32_t vh) {
    cam.ortho_half_height = vw < vh ? kSphereRadius * static_cast<float>(vh) / vw : kSphereRadius;
    cam.ortho_half_width = vh < vw ? kSphereRadius * static_cast<float>(vw) / vh : kSphereRadius;
    cam.eye.z = kEyeOrtho;
    cam.default_zoom = 1.0f;
}

// Mode 5: the view cone follows the viewport's diagonal.
float diagonal_angle(int32_t vw, int32_t vh) {
    const float diag = std::sqrt(static_cast<float>(vw) * vw + static_cast<float>(vh) * vh);
    return static_cast<float>((180.0f / diag * vw) * 0.5 / 180.0 * kPi);
}

void mode_extents(ViewportCamera& cam, int32_t mode, int32_t fw, int32_t fh, int32_t vw,
                  int32_t vh) {
    const float aspect = ratio(vw, vh);
    switch (mode) {
        case kModeFlat:
            flat_extents(cam, fw, fh, vw, vh);
            break;
        case kModePanorama:
            panorama_extents(cam, vw, vh);
            break;
        case kModeSphere:
            inside_extents(cam, kEyeInside, kSixtyDegRad, aspect);
            break;
        case kModeSphereSurface:
            surface_extents(cam, aspect);
            break;
        case kModeSphereOrtho:
            ortho_sphere_extents(cam, vw, vh);
            break;
        case kModeSphereWide:
            inside_extents(cam, kEyeWide, diagonal_angle(vw, vh), aspect);
            break;
        default:
            break;  // the cylinder keeps everything
    }
}

bool orthographic_mode(int32_t mode) {
    return mode == kModeFlat || mode == kModePanorama || mode == kModeSphereOrtho;
}

}  // namespace

ViewportCamera make_viewport_camera(Variant variant) {
    ViewportCamera cam;
    cam.variant = variant;
    cam.zoom_max = variant == Variant::player ? kPlayerZoomMax : kConverterZoomMax;
    return cam;
}

DrawModeResult set_draw_mode(ViewportCamera& cam, VertexFactory& factory, int32_t mode,
                             int32_t frame_width, int32_t frame_height, int32_t viewport_width,
                             int32_t viewport_height) {
    DrawModeResult result;
    const bool player = cam.variant == Variant::player;
    const int32_t last_mode = player ? kModeCylinder : kModeSphereWide;
    if (mode < kModeFlat || mode > last_mode) {
        factory.report("error: invalid draw mode %d;\n", mode);
        result.code = player ? kCodeInvalidDrawMode : kCodeConverterFailure;
        result.zoom = cam.zoom;
        return result;
    }
    result.rebuild = mode != cam.draw_mode || !cam.built;
    cam.draw_mode = mode;
    mode_extents(cam, mode, frame_width, frame_height, viewport_width, viewport_height);
    if (mode == kModeFlat) factory.set_frame_size(frame_width, frame_height);
    result.zoom = set_zoom(cam, cam.default_zoom);
    return result;
}

float set_zoom(ViewportCamera& cam, float zoom) {
    float z = std::min(zoom, cam.zoom_max);
    if (!(z > kZoomMin)) z = kZoomMin;
    cam.zoom = z;
    // The converter renders into a framebuffer that is read back bottom row
    // first, so its projections are upside down.
    const float flip = cam.variant == Variant::player ? 1.0f : -1.0f;
    if (orthographic_mode(cam.draw_mode)) {
        if (cam.ortho_half_width != 0.0f) {
            const float oh = cam.ortho_half_height * flip;
            mat4_ortho(cam.projection, -cam.ortho_half_width, cam.ortho_half_width, -oh, oh, z,
                       cam.far_plane);
        }
    } else {
        mat4_frustum(cam.projection, -cam.left, cam.right, -cam.bottom * flip, cam.top * flip, z,
                     cam.far_plane);
    }
    return z;
}

void set_view_angles(ViewportCamera& cam, float pitch_deg, float yaw_deg, float roll_deg,
                     float cylinder_rotation_rad) {
    cam.model = mat4_identity();
    if (cam.draw_mode == kModeFlat || cam.draw_mode == kModePanorama) return;
    if (cam.draw_mode == kModeCylinder) cam.cylinder_rotation_rad = cylinder_rotation_rad;
    cam.pitch_deg = pitch_deg;
    cam.yaw_deg = yaw_deg;
    cam.roll_deg = roll_deg;
    const float s = cam.draw_mode == kModeSphereOrtho ? 1.0f : -1.0f;
    cam.model = mat4_rotate(cam.model, s * pitch_deg, {1.0f, 0.0f, 0.0f});
    if (cam.draw_mode == kModeSphereSurface)
        cam.model = mat4_rotate(cam.model, kSurfacePitchDeg, {1.0f, 0.0f, 0.0f});
    cam.model = mat4_rotate(cam.model, s * yaw_deg, {0.0f, 1.0f, 0.0f});
    cam.model = mat4_rotate(cam.model, s * roll_deg - cam.roll_offset_deg, {0.0f, 0.0f, 1.0f});
}

Mat4 view_matrix(const ViewportCamera& cam) {
    return mat4_look_at(cam.eye, cam.centre, cam.up);
}

Mat4 mvp_matrix(const ViewportCamera& cam) {
    if (cam.draw_mode == kModeCylinder) return mat4_identity();
    return mat4_multiply(cam.projection, mat4_multiply(cam.view, cam.model));
}

Rebuild rebuild_viewport(ViewportCamera& cam, VertexFactory& factory, const MeshRequest& request) {
    cam.view = view_matrix(cam);
    if (factory.generate_vertices(cam.draw_mode, request.logo, request.logo_angle_deg) == nullptr) {
        return Rebuild::no_mesh;
    }
    cam.roll_offset_deg = factory.roll_offset();
    // The texture coordinates, weights and indices come all or none.
    const bool mapped = factory.texcoords() != nullptr && factory.weights() != nullptr &&
                        factory.indices() != nullptr;
    return mapped ? Rebuild::ok : Rebuild::no_lens_mapping;
}

void rebuild_camera(ViewportCamera& cam, const VertexFactory& factory) {
    cam.view = view_matrix(cam);
    cam.roll_offset_deg = factory.roll_offset();
}

}  // namespace geometry
