// The camera model and the constants every geometry source shares. Internal.
#pragma once

#include <cmath>
#include <cstdint>

#include "geometry/vertex_factory.h"

namespace geometry::detail {

// Lens pixel scale: radii are 700 x polynomial, and 700 is the length of the
// direction vector the model rotates.
constexpr float kLensPixelScale = 700.0f;
// pi in full, as the cylinder unwrap turns by it.
constexpr double kPiFull = 3.141592653589793;
// 1 / (2 pi) as the texture grid divides by it.
constexpr double kInvTwoPi = 0.15915494;

// Mesh layout, fixed at construction: degrees per cell, spans in degrees,
// depth of the flat meshes.
constexpr int32_t kMeshStepDeg = 1;
constexpr int32_t kLongitudeSpanDeg = 360;
constexpr int32_t kLatitudeSpanDeg = 180;
constexpr float kPlaneDepth = 0.0f;
constexpr double kSphereRadius = 4.0;

// What sphere_to_image reads: camera 0 and the frame.
struct LensParams {
    CameraRecord camera;
    float t_max = 0.0f;
    float radius = 0.0f;
    int32_t width = 0;
    int32_t height = 0;
};

// cos and sin of one angle, float, as the model takes them.
struct AngleTrig {
    float cos = 1.0f, sin = 0.0f;
};

inline AngleTrig angle_trig(float angle_rad) {
    return {std::cos(angle_rad), std::sin(angle_rad)};
}

// 700 x (k1 t + k3 t^3 + k5 t^5): t^3 and t^5 by pow, rounded to float; the
// first two terms summed in double; the total rounded to float before the
// scale.
float lens_radius(float t, float k1, float k3, float k5);

// sphere_to_image for a direction given by the cos/sin of its latitude and
// longitude. The single implementation behind both mesh strategies, so that
// they agree bit for bit.
ImagePoint project_direction(const LensParams& lens, AngleTrig latitude, AngleTrig longitude);

inline ImagePoint sphere_to_image(const LensParams& lens, float latitude_rad, float longitude_rad) {
    return project_direction(lens, angle_trig(latitude_rad), angle_trig(longitude_rad));
}

// The C conversion of a float to int, saturating instead of undefined for
// values out of range (NaN gives 0).
int32_t truncate_to_int(double value);

}  // namespace geometry::detail
