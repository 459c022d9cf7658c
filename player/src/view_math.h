// Plain arithmetic on view angles.
#pragma once

#include <cmath>

namespace sphere_player {

inline constexpr int kHalfTurnDeg = 180;
inline constexpr int kFullTurnDeg = 360;
// Beyond this the angle is first reduced by whole turns, so that the
// truncation to int cannot overflow.
inline constexpr double kLargeAngleDeg = 1.0e6;

// (truncate(angle + 180) mod 360) - 180 with C's remainder: whole degrees,
// in [-180, 180) for angles from -180 upwards; below -180 the remainder
// keeps its sign and the result stays below -180. Not-a-number gives 0.
inline float normalise_angle_deg(float angle_deg) {
    if (!std::isfinite(angle_deg)) return 0.0f;
    double a = angle_deg;
    if (std::fabs(a) > kLargeAngleDeg) a = std::fmod(a, kFullTurnDeg);
    return static_cast<float>(static_cast<int>(a + kHalfTurnDeg) % kFullTurnDeg - kHalfTurnDeg);
}

}  // namespace sphere_player
