#include <algorithm>
#include <cmath>

#include "geometry/vertex_factory.h"
#include "geometry/viewport_camera.h"
#include "layout/view_layout.h"

namespace view_layout {

namespace {

constexpr int kDirections = 3;

// Default views of layouts 1 to 3 per viewport and direction (up, down,
// side); rows past the layout's viewport count are unused.
constexpr Angles kLayoutAngles[3][kMaxViewports][kDirections] = {
    {// layout 1, wide
     {{-130, 90, 0}, {-70, -90, 0}, {-90, -90, 0}}},
    {// layout 2, two views
     {{-150, -90, 0}, {-31, 99, 0}, {-150, 90, 0}},
     {{-150, 90, 0}, {-31, -91, 0}, {-90, 90, 0}}},
    {// layout 3, four views
     {{-150, 0, 0}, {-31, -15, 0}, {-30, 0, 0}},
     {{-150, -180, 0}, {-31, 176, 0}, {-30, -150, 0}},
     {{-150, 90, 0}, {-31, -91, 0}, {-90, -90, 0}},
     {{-150, -90, 0}, {-31, 99, 0}, {-150, 45, 0}}},
};
constexpr int kLayoutViewports[3] = {1, 2, 4};

// SetDisplayMode's views for one, two and four viewports in use.
constexpr Angles kDisplayTypeAngles[3][kMaxViewports][kDirections] = {
    {{{70, 0, 0}, {-60, -87, 0}, {0, -91, 0}}},
    {{{42, 174, 0}, {-31, 99, 0}, {-132, 92, 0}}, {{42, 0, 0}, {-31, -91, 0}, {15, -90, 0}}},
    {{{25, -160, 0}, {-31, -15, 0}, {15, -57, 0}},
     {{25, -45, 0}, {-31, 176, 0}, {15, -111, 0}},
     {{25, 90, 0}, {-31, -91, 0}, {20, -86, 0}},
     {{25, -90, 0}, {-31, 99, 0}, {-132, 92, 0}}},
};

// The lens pitch: the rim of the lens circle is seen under this many
// degrees, and the split views look at 0.5 x 1.5 of it.
constexpr double kRimDeg = 242.0;
constexpr double kHalfTurnDeg = 180.0;
// Far above any real pitch; keeps absurd inputs (and NaN) away from an int
// conversion that overflows.
constexpr double kLensPitchMaxDeg = 1.0e6;

constexpr float kWidePitchOffsetDeg = 20.0f;

bool valid_direction(int direction) {
    return direction >= 0 && direction < kDirections;
}

}  // namespace

std::optional<Angles> default_view_angles(int layout, int viewport, int direction) {
    if (layout < kLayoutWide || layout > kLayoutSplit4 || !valid_direction(direction)) {
        return std::nullopt;
    }
    const int row = layout - kLayoutWide;
    if (viewport < 0 || viewport >= kLayoutViewports[row]) return std::nullopt;
    return kLayoutAngles[row][viewport][direction];
}

std::optional<Angles> display_type_angles(int count, int viewport, int direction) {
    const int row = count == 1 ? 0 : count == 2 ? 1 : count == 4 ? 2 : -1;
    if (row < 0 || viewport < 0 || viewport >= count || !valid_direction(direction)) {
        return std::nullopt;
    }
    return kDisplayTypeAngles[row][viewport][direction];
}

int lens_pitch_deg(int calibration_frame_height, float zoom0) {
    if (calibration_frame_height <= 0 || !(zoom0 > 0.0f)) return 0;
    const double rows_per_deg = calibration_frame_height * 0.5 / kHalfTurnDeg;
    const double pitch = kRimDeg / rows_per_deg * 0.5 * 1.5 / zoom0;
    return static_cast<int>(std::min(pitch, kLensPitchMaxDeg));
}

int automatic_pitch_deg(int calibration_frame_height, float zoom0) {
    return lens_pitch_deg(calibration_frame_height, zoom0) + kAutomaticPitchExtraDeg;
}

int calibration_frame_height(const char* path) {
    geometry::VertexFactory factory(geometry::Variant::player);
    factory.set_message_sink(nullptr);
    if (factory.load_calibration_file(path) != geometry::kCodeOk) return 0;
    return std::max(factory.frame_height(), 0);
}

Angles with_automatic_pitch(Angles angles, int direction, int auto_pitch_deg) {
    if (direction == kDirectionDown && auto_pitch_deg != 0) {
        angles.pitch_deg = -static_cast<float>(auto_pitch_deg);
    }
    return angles;
}

int wide_automatic_pitch_deg(float pitch0_deg) {
    const float pitch = std::fabs(pitch0_deg + kWidePitchOffsetDeg);
    return pitch < static_cast<float>(kLensPitchMaxDeg) ? static_cast<int>(pitch) : 0;
}

float default_zoom(int draw_mode, int frame_width, int frame_height, int vp_width, int vp_height) {
    geometry::VertexFactory factory(geometry::Variant::player);
    factory.set_message_sink(nullptr);
    geometry::ViewportCamera cam = geometry::make_viewport_camera(geometry::Variant::player);
    return geometry::set_draw_mode(cam, factory, draw_mode, frame_width, frame_height, vp_width,
                                   vp_height)
        .zoom;
}

}  // namespace view_layout
