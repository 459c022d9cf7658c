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

void set_perspective(ViewportCamera& camera, float half_width, float aspect, float zoom) {
    camera.right = camera.left = half_width;
    camera.top = camera.bottom = half_width / aspect;
    camera.default_zoom = zoom;
}

// Mode 0: the frame keeps its aspect inside the viewport.
void flat_extents(ViewportCamera& camera, int32_t fw, int32_t fh, int32_t vw, int32_t vh) {
    const float a = ratio(fh, fw);
    const int32_t c = truncate_to_int(static_cast<float>(vw) * a);
    camera.ortho_half_height = c < vh ? a * static_cast<float>(vh) / static_cast<float>(c) : a;
    const int32_t e = truncate_to_int(static_cast<float>(vh) / a);
    camera.ortho_half_width = e < vw ? ratio(vw, e) : 1.0f;
    camera.eye.z = kEyeFlat;
    camera.default_zoom = 1.0f;
}

// Mode 1: the 2:1 plane keeps its aspect.
void panorama_extents(ViewportCamera& camera, int32_t vw, int32_t vh) {
    const int32_t f = truncate_to_int(static_cast<float>(vw) * 0.5f);
    camera.ortho_half_height =
        f < vh ? 0.5f * static_cast<float>(vh) / static_cast<float>(f) : 0.5f;
    const int32_t g = truncate_to_int(2.0 * vh);
    camera.ortho_half_width = g < vw ? ratio(vw, g) : 1.0f;
    camera.eye.z = kEyeFlat;
    camera.default_zoom = 1.0f;
}

// Modes 2 and 5: the eye inside the sphere at distance `eye`, the view cone
// of half-angle `angle` around the axis reaching the surface.
void inside_extents(ViewportCamera& camera, float eye, float angle, float aspect) {
    const float l = kSphereRadius * std::cos(angle) + eye;
    const float k = std::tan(std::atan(kSphereRadius * std::sin(angle) / l));
    const float half_width = 0.5f * k * l;
    camera.eye.z = eye;
    set_perspective(camera, half_width, aspect, half_width / k);
}

void surface_extents(ViewportCamera& camera, float aspect) {
    const float d = 0.5f * kSphereRadius * std::sin(kTwentyFiveDegRad);
    camera.eye.z = kEyeSurface;
    set_perspective(camera, d, aspect, d / std::tan(kSeventySevenHalfDegRad));
}

void ortho_sphere_extents(ViewportCamera& camera, int32_t vw, int32_t vh) {
    camera.ortho_half_height =
        vw < vh ? kSphereRadius * static_cast<float>(vh) / vw : kSphereRadius;
    camera.ortho_half_width = vh < vw ? kSphereRadius * static_cast<float>(vw) / vh : kSphereRadius;
    camera.eye.z = kEyeOrtho;
    camera.default_zoom = 1.0f;
}

// Mode 5: the view cone follows the viewport's diagonal.
float diagonal_angle(int32_t vw, int32_t vh) {
    const float diag = std::sqrt(static_cast<float>(vw) * vw + static_cast<float>(vh) * vh);
    return static_cast<float>((180.0f / diag * vw) * 0.5 / 180.0 * kPi);
}

void mode_extents(ViewportCamera& camera, int32_t mode, int32_t fw, int32_t fh, int32_t vw,
                  int32_t vh) {
    const float aspect = ratio(vw, vh);
    switch (mode) {
        case kModeFlat:
            flat_extents(camera, fw, fh, vw, vh);
            break;
        case kModePanorama:
            panorama_extents(camera, vw, vh);
            break;
        case kModeSphere:
            inside_extents(camera, kEyeInside, kSixtyDegRad, aspect);
            break;
        case kModeSphereSurface:
            surface_extents(camera, aspect);
            break;
        case kModeSphereOrtho:
            ortho_sphere_extents(camera, vw, vh);
            break;
        case kModeSphereWide:
            inside_extents(camera, kEyeWide, diagonal_angle(vw, vh), aspect);
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
    ViewportCamera camera;
    camera.variant = variant;
    camera.zoom_max = variant == Variant::player ? kPlayerZoomMax : kConverterZoomMax;
    return camera;
}

DrawModeResult set_draw_mode(ViewportCamera& camera, VertexFactory& factory, int32_t mode,
                             int32_t frame_width, int32_t frame_height, int32_t viewport_width,
                             int32_t viewport_height) {
    DrawModeResult result;
    const bool player = camera.variant == Variant::player;
    const int32_t last_mode = player ? kModeCylinder : kModeSphereWide;
    if (mode < kModeFlat || mode > last_mode) {
        factory.report("error: invalid draw mode %d;\n", mode);
        result.code = player ? kCodeInvalidDrawMode : kCodeConverterFailure;
        result.zoom = camera.zoom;
        return result;
    }
    result.rebuild = mode != camera.draw_mode || !camera.built;
    camera.draw_mode = mode;
    mode_extents(camera, mode, frame_width, frame_height, viewport_width, viewport_height);
    if (mode == kModeFlat) factory.set_frame_size(frame_width, frame_height);
    result.zoom = set_zoom(camera, camera.default_zoom);
    return result;
}

float set_zoom(ViewportCamera& camera, float zoom) {
    float z = std::min(zoom, camera.zoom_max);
    if (!(z > kZoomMin)) z = kZoomMin;
    camera.zoom = z;
    // The converter renders into a framebuffer that is read back bottom row
    // first, so its projections are upside down.
    const float flip = camera.variant == Variant::player ? 1.0f : -1.0f;
    if (orthographic_mode(camera.draw_mode)) {
        if (camera.ortho_half_width != 0.0f) {
            const float oh = camera.ortho_half_height * flip;
            mat4_ortho(camera.projection, -camera.ortho_half_width, camera.ortho_half_width, -oh,
                       oh, z, camera.far_plane);
        }
    } else {
        mat4_frustum(camera.projection, -camera.left, camera.right, -camera.bottom * flip,
                     camera.top * flip, z, camera.far_plane);
    }
    return z;
}

void set_view_angles(ViewportCamera& camera, float pitch_deg, float yaw_deg, float roll_deg,
                     float cylinder_rotation_rad) {
    camera.model = mat4_identity();
    if (camera.draw_mode == kModeFlat || camera.draw_mode == kModePanorama) return;
    if (camera.draw_mode == kModeCylinder) camera.cylinder_rotation_rad = cylinder_rotation_rad;
    camera.pitch_deg = pitch_deg;
    camera.yaw_deg = yaw_deg;
    camera.roll_deg = roll_deg;
    const float s = camera.draw_mode == kModeSphereOrtho ? 1.0f : -1.0f;
    camera.model = mat4_rotate(camera.model, s * pitch_deg, {1.0f, 0.0f, 0.0f});
    if (camera.draw_mode == kModeSphereSurface)
        camera.model = mat4_rotate(camera.model, kSurfacePitchDeg, {1.0f, 0.0f, 0.0f});
    camera.model = mat4_rotate(camera.model, s * yaw_deg, {0.0f, 1.0f, 0.0f});
    camera.model =
        mat4_rotate(camera.model, s * roll_deg - camera.roll_offset_deg, {0.0f, 0.0f, 1.0f});
}

Mat4 view_matrix(const ViewportCamera& camera) {
    return mat4_look_at(camera.eye, camera.centre, camera.up);
}

Mat4 mvp_matrix(const ViewportCamera& camera) {
    if (camera.draw_mode == kModeCylinder) return mat4_identity();
    return mat4_multiply(camera.projection, mat4_multiply(camera.view, camera.model));
}

Rebuild rebuild_viewport(ViewportCamera& camera, VertexFactory& factory,
                         const MeshRequest& request) {
    camera.view = view_matrix(camera);
    if (factory.generate_vertices(camera.draw_mode, request.logo, request.logo_angle_deg) ==
        nullptr) {
        return Rebuild::no_mesh;
    }
    camera.roll_offset_deg = factory.roll_offset();
    // The texture coordinates, weights and indices come all or none.
    const bool mapped = factory.texcoords() != nullptr && factory.weights() != nullptr &&
                        factory.indices() != nullptr;
    return mapped ? Rebuild::ok : Rebuild::no_lens_mapping;
}

void rebuild_camera(ViewportCamera& camera, const VertexFactory& factory) {
    camera.view = view_matrix(camera);
    camera.roll_offset_deg = factory.roll_offset();
}

}  // namespace geometry
