#include "camera_model.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace geometry::detail {
namespace {

// The integer part of x (truncated toward zero) lies in 1 .. limit - 1.
// Written without the conversion so that NaN and huge values are simply
// outside.
bool integer_part_inside(float x, int32_t limit) {
    return x >= 1.0f && static_cast<double>(x) < static_cast<double>(limit);
}

float edge_weight(float radius, float distance, float x, float y, int32_t width, int32_t height) {
    const float frame_edge = std::min(
        std::min(x, y), std::min(static_cast<float>(width) - x, static_cast<float>(height) - y));
    const float weight = std::min(radius - distance, frame_edge);
    return weight < 0.0f ? 0.0f : weight;
}

}  // namespace

float lens_radius(float t, float k1, float k3, float k5) {
    const float t3 = static_cast<float>(std::pow(static_cast<double>(t), 3.0));
    const float t5 = static_cast<float>(std::pow(static_cast<double>(t), 5.0));
    const double first_two = static_cast<double>(k1 * t) + static_cast<double>(k3 * t3);
    const float total = static_cast<float>(first_two + static_cast<double>(k5 * t5));
    return kLensPixelScale * total;
}

ImagePoint project_direction(const LensParams& lens, AngleTrig latitude, AngleTrig longitude) {
    const CameraRecord& cam = lens.camera;
    const float* m = cam.rotation.data();
    const float scaled_cos_lat = kLensPixelScale * latitude.cos;
    const float px = scaled_cos_lat * longitude.sin;
    const float py = kLensPixelScale * latitude.sin;
    const float pz = scaled_cos_lat * longitude.cos;
    const float qx = m[0] * px + m[1] * py + m[2] * pz;
    const float qy = m[3] * px + m[4] * py + m[5] * pz;
    const float qz = m[6] * px + m[7] * py + m[8] * pz;

    float s = std::sqrt(qx * qx + qy * qy) / kLensPixelScale;
    if (s > 1.0f) s = 1.0f;
    float t = std::asin(s);
    if (qz < 0.0f) t = static_cast<float>(kPi - t);

    const float rho = lens_radius(t, cam.k1, cam.k3, cam.k5);
    const float phi = std::atan2(qy, qx);
    const float x = rho * std::cos(phi) + cam.cx;
    const float y = rho * std::sin(phi) + cam.cy;
    const float dx = x - cam.cx;
    const float dy = y - cam.cy;
    const float d = std::sqrt(dx * dx + dy * dy);

    ImagePoint p;
    p.u = x / static_cast<float>(lens.width);
    p.v = 1.0f - y / static_cast<float>(lens.height);
    p.valid = t < lens.t_max && d < lens.radius && integer_part_inside(x, lens.width) &&
              integer_part_inside(y, lens.height);
    p.weight = edge_weight(lens.radius, d, x, y, lens.width, lens.height);
    return p;
}

int32_t truncate_to_int(double value) {
    if (!(value == value)) return 0;
    constexpr double lo = std::numeric_limits<int32_t>::min();
    constexpr double hi = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(std::clamp(value, lo, hi));
}

}  // namespace geometry::detail
