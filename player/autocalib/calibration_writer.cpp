// The calibration file of an ideal equidistant fisheye: 95 little-endian
// 32-bit values, 380 bytes.
#include <array>
#include <cstdio>

#include "autocalib/autocalib.h"
#include "file_util.h"
#include "geometry/calibration_file.h"

namespace autocalib {
namespace {

using namespace geometry::calibration_file;  // the value indices and writers

// Lens pixel scale of the camera model: radii are 700 x polynomial(angle).
constexpr double kLensPixelScale = 700.0;
// Higher lens terms: negligible, but kept non-zero as the model expects.
constexpr float kHigherTerm = 1.0e-10f;
constexpr double kPi = 3.141592653589793;

using FileBytes = std::array<unsigned char, geometry::kCalibrationFileBytes>;

FileBytes calibration_bytes(double fov_deg, float cx, float cy, float radius, int width,
                            int height) {
    FileBytes bytes{};
    for (int slot = 0; slot < geometry::kCameraSlots; ++slot) {
        for (int i = 0; i < 9; ++i) {
            write_float(bytes.data(), kRotationFirst + 9 * slot + i, i % 4 == 0 ? 1.0f : 0.0f);
        }
        write_float(bytes.data(), kCentreFirst + 2 * slot, cx);
        write_float(bytes.data(), kCentreFirst + 2 * slot + 1, cy);
    }
    const double max_angle_rad = fov_deg * 0.5 / 180.0 * kPi;
    write_float(bytes.data(), kK1, static_cast<float>(radius / kLensPixelScale / max_angle_rad));
    write_float(bytes.data(), kK3, kHigherTerm);
    write_float(bytes.data(), kK5, kHigherTerm);
    write_int(bytes.data(), kCameraCount, 1);
    write_int(bytes.data(), kFrameWidth, width);
    write_int(bytes.data(), kFrameHeight, height);
    write_float(bytes.data(), kMaxAngle, static_cast<float>(max_angle_rad));
    return bytes;
}

}  // namespace

int write_calibration_file(const char* path, double fov_deg, float cx, float cy, float radius,
                           int width, int height) {
    if (path == nullptr) return kCannotCreateCalibration;
    const FileBytes bytes = calibration_bytes(fov_deg, cx, cy, radius, width, height);
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) return kCannotCreateCalibration;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (written && closed) return kOk;
    // A short calibration file would load as garbage; leave none.
    detail::remove_regular_file(path);
    return kCannotCreateCalibration;
}

}  // namespace autocalib
