// Calibration files for the geometry tests, written byte by byte (95
// little-endian 32-bit values) independently of the loader.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "temp_dir.h"

namespace geometry_test {

struct CalibParams {
    std::array<float, 72> rotations{};  // 8 x 3x3 row-major
    std::array<float, 16> centres{};    // 8 x (cx, cy)
    float k1 = 1.0f, k3 = 0.0f, k5 = 0.0f;
    int32_t cameras = 1, width = 2000, height = 2000;
    float t_max = 1.6f;

    void set_rotation(int slot, const std::array<float, 9>& m) {
        for (int i = 0; i < 9; ++i) rotations[9 * slot + i] = m[i];
    }
    void set_all_rotations(const std::array<float, 9>& m) {
        for (int slot = 0; slot < 8; ++slot) set_rotation(slot, m);
    }
    void set_all_centres(float cx, float cy) {
        for (int slot = 0; slot < 8; ++slot) {
            centres[2 * slot] = cx;
            centres[2 * slot + 1] = cy;
        }
    }
};

constexpr std::array<float, 9> kIdentity = {1, 0, 0, 0, 1, 0, 0, 0, 1};
// Turned so that, after the loader's axis swap, the camera model's rotation
// is the identity: the optical axis is latitude 0, longitude 0.
constexpr std::array<float, 9> kAxisForward = {1, 0, 0, 0, 0, -1, 0, 1, 0};

inline void put_u32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

inline void put_float(std::string& out, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    put_u32(out, bits);
}

inline std::string calib_bytes(const CalibParams& params) {
    std::string out;
    for (float v : params.rotations) put_float(out, v);
    for (float v : params.centres) put_float(out, v);
    put_float(out, params.k1);
    put_float(out, params.k3);
    put_float(out, params.k5);
    put_u32(out, static_cast<uint32_t>(params.cameras));
    put_u32(out, static_cast<uint32_t>(params.width));
    put_u32(out, static_cast<uint32_t>(params.height));
    put_float(out, params.t_max);
    return out;
}

// A dashcam lens of about 183 degrees on a 2000 x 2000 frame, identity
// rotations in the file (so the optical axis is the texture grid's first
// row), centres in the frame's middle.
inline CalibParams dashcam() {
    CalibParams params;
    params.set_all_rotations(kIdentity);
    params.set_all_centres(1000.0f, 1000.0f);
    params.k1 = 0.9f;
    params.k3 = -0.05f;
    params.k5 = 0.002f;
    return params;
}

// Writes `params` into `dir` as `name`; returns the path.
inline std::string write_calib(const kvp_test::TempDir& dir, const CalibParams& params,
                               const std::string& name = "camera.inf") {
    const std::string path = dir.file(name);
    kvp_test::write_file(path, calib_bytes(params));
    return path;
}

}  // namespace geometry_test
