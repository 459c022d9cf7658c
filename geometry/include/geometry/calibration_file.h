// The lens calibration file: 95 little-endian 32-bit values, 380 bytes.
// Read by the renderers' camera model, written by the automatic
// calibration.
#pragma once

#include <cstddef>
#include <cstdint>

namespace geometry {

constexpr int kCalibrationValueCount = 95;
constexpr std::size_t kCalibrationFileBytes = 4 * kCalibrationValueCount;
constexpr int kCameraSlots = 8;

// Value indices in the file.
namespace calibration_file {
constexpr int kRotationFirst = 0;  // 8 x 9 floats, row-major
constexpr int kCentreFirst = 72;   // 8 x (cx, cy)
constexpr int kK1 = 88;
constexpr int kK3 = 89;
constexpr int kK5 = 90;
constexpr int kCameraCount = 91;  // int32
constexpr int kFrameWidth = 92;   // int32
constexpr int kFrameHeight = 93;  // int32
constexpr int kMaxAngle = 94;     // radians

// Value `index` of the file's bytes (kCalibrationFileBytes of them).
float read_float(const unsigned char* bytes, int index);
std::int32_t read_int(const unsigned char* bytes, int index);
void write_float(unsigned char* bytes, int index, float value);
void write_int(unsigned char* bytes, int index, std::int32_t value);
}  // namespace calibration_file

}  // namespace geometry
