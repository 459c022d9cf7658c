// The calibration file of an ideal equidistant fisheye: 95 little-endian
// 32-bit values, 380 bytes.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "autocalib/autocalib.h"
#include "file_util.h"

namespace autocalib {
namespace {

// Layout of the file, in value indices.
constexpr int kValueCount = 95;
constexpr int kCameraSlots = 8;
constexpr int kRotationsAt = 0;  // 3x3 row-major per slot
constexpr int kCentresAt = 72;   // (cx, cy) per slot
constexpr int kK1At = 88;
constexpr int kK3At = 89;
constexpr int kK5At = 90;
constexpr int kCameraCountAt = 91;
constexpr int kWidthAt = 92;
constexpr int kHeightAt = 93;
constexpr int kMaxAngleAt = 94;

// Lens pixel scale of the camera model: radii are 700 x polynomial(angle).
constexpr double kLensPixelScale = 700.0;
// Higher lens terms: negligible, but kept non-zero as the model expects.
constexpr float kHigherTerm = 1.0e-10f;
constexpr double kPi = 3.141592653589793;

using FileBytes = std::array<unsigned char, kValueCount * 4>;

void put_u32(FileBytes& bytes, int index, std::uint32_t v) {
    for (int b = 0; b < 4; ++b) bytes[index * 4 + b] = static_cast<unsigned char>(v >> (8 * b));
}

void put_float(FileBytes& bytes, int index, float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    put_u32(bytes, index, bits);
}

void put_int(FileBytes& bytes, int index, std::int32_t v) {
    put_u32(bytes, index, static_cast<std::uint32_t>(v));
}

FileBytes calibration_bytes(double fov_deg, float cx, float cy, float radius, int width,
                            int height) {
    FileBytes bytes{};
    for (int slot = 0; slot < kCameraSlots; ++slot) {
        for (int i = 0; i < 9; ++i) {
            put_float(bytes, kRotationsAt + 9 * slot + i, i % 4 == 0 ? 1.0f : 0.0f);
        }
        put_float(bytes, kCentresAt + 2 * slot, cx);
        put_float(bytes, kCentresAt + 2 * slot + 1, cy);
    }
    const double max_angle_rad = fov_deg * 0.5 / 180.0 * kPi;
    put_float(bytes, kK1At, static_cast<float>(radius / kLensPixelScale / max_angle_rad));
    put_float(bytes, kK3At, kHigherTerm);
    put_float(bytes, kK5At, kHigherTerm);
    put_int(bytes, kCameraCountAt, 1);
    put_int(bytes, kWidthAt, width);
    put_int(bytes, kHeightAt, height);
    put_float(bytes, kMaxAngleAt, static_cast<float>(max_angle_rad));
    return bytes;
}

}  // namespace

int write_calibration_file(const char* path, double fov_deg, float cx, float cy, float radius,
                           int width, int height) {
    if (path == nullptr) return kCannotCreateCalibration;
    const FileBytes bytes = calibration_bytes(fov_deg, cx, cy, radius, width, height);
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) return kCannotCreateCalibration;
    const bool written = std::fwrite(bytes.data(), 4, kValueCount, file) == kValueCount;
    const bool closed = std::fclose(file) == 0;
    if (written && closed) return kOk;
    // A short calibration file would load as garbage; leave none.
    detail::remove_regular_file(path);
    return kCannotCreateCalibration;
}

}  // namespace autocalib
