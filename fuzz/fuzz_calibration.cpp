// The calibration loader on arbitrary file bytes, and the camera model and
// meshes on whatever values it accepts. The input is the file; a
// calibration file is read up to its 380th byte, so the bytes after it
// choose what the target asks of the camera (absent: zero):
//   byte 380  mounting orientation (0, 1, 2, or others)
//   byte 381  bit 0: nadir cap (logo); the signed byte 382 is its angle
//   byte 383  cylinder rotation in 1/16 radians (signed)
// Checked beyond the sanitizers: the loader answers one of its codes and,
// on failure, keeps the previous calibration whole; both mesh strategies
// give bit-identical texture coordinates; accepted points lie in the frame.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "geometry/vertex_factory.h"

namespace {

using geometry::VertexFactory;

constexpr int kProbeSteps = 8;  // probes per quarter turn of latitude and longitude
constexpr std::int32_t kGridColumns = 24, kGridRows = 12;  // a coarse sphere grid

struct Knobs {
    std::int32_t orientation = 0;
    bool logo = false;
    std::int32_t logo_angle_deg = 0;
    float cylinder_rotation_rad = 0.0f;
};

Knobs knobs_of(const std::uint8_t* data, std::size_t size) {
    const std::size_t at = geometry::kCalibrationFileBytes;
    auto byte = [&](std::size_t i) -> std::uint8_t { return at + i < size ? data[at + i] : 0; };
    Knobs k;
    k.orientation = byte(0);
    k.logo = (byte(1) & 1) != 0;
    k.logo_angle_deg = static_cast<std::int8_t>(byte(2));
    k.cylinder_rotation_rad = static_cast<float>(static_cast<std::int8_t>(byte(3))) / 16.0f;
    return k;
}

bool is_loader_code(geometry::Variant variant, int code) {
    if (variant == geometry::Variant::player) {
        return code == geometry::kCodeOk || code == geometry::kCodeInvalidCameraCount ||
               code == geometry::kCodeCalibrationFile;
    }
    return code == geometry::kCodeOk || code == geometry::kCodeConverterCalibrationFile ||
           code == geometry::kCodeConverterFailure;
}

bool same_bytes(const float* a, const float* b, std::int32_t floats) {
    if (floats == 0) return true;
    return a != nullptr && b != nullptr &&
           std::memcmp(a, b, static_cast<std::size_t>(floats) * sizeof(float)) == 0;
}

// A point the model accepts lies in the picture: finite, inside [0, 1].
void check_probes(const VertexFactory& f) {
    constexpr float kQuarter = static_cast<float>(geometry::kPi / 2);
    for (int i = -kProbeSteps; i <= kProbeSteps; ++i) {
        for (int j = -2 * kProbeSteps; j <= 2 * kProbeSteps; ++j) {
            const geometry::ImagePoint p =
                f.sphere_to_image(kQuarter * i / kProbeSteps, kQuarter * j / kProbeSteps);
            if (!p.valid) continue;
            if (!(p.u >= 0.0f && p.u <= 1.0f && p.v >= 0.0f && p.v <= 1.0f)) __builtin_trap();
            if (!(p.weight >= 0.0f) || !std::isfinite(p.weight)) __builtin_trap();
        }
    }
}

// The grid mapped per corner and per grid point gives the same bytes.
void check_strategies(VertexFactory& f) {
    f.set_mesh_strategy(geometry::MeshStrategy::per_corner);
    f.generate_sphere_texcoords(kGridColumns, kGridRows);
    const std::int32_t floats = f.texcoord_length();
    const std::vector<float> by_corner(f.texcoords(), f.texcoords() + floats);
    const std::vector<float> indices(f.indices(), f.indices() + f.index_length());
    const geometry::GridReport report = f.grid_report();
    f.set_mesh_strategy(geometry::MeshStrategy::per_grid_point);
    f.generate_sphere_texcoords(kGridColumns, kGridRows);
    if (f.texcoord_length() != floats || !same_bytes(by_corner.data(), f.texcoords(), floats) ||
        !same_bytes(indices.data(), f.indices(), f.index_length()) ||
        f.grid_report().stop_row != report.stop_row ||
        f.grid_report().cap_rows != report.cap_rows) {
        __builtin_trap();
    }
}

void run_variant(geometry::Variant variant, const std::string& path, const Knobs& k) {
    VertexFactory f(variant);
    f.set_message_sink(nullptr);
    const int code = f.set_calibration(path.c_str(), k.orientation, false);
    if (!is_loader_code(variant, code)) __builtin_trap();
    if (code != geometry::kCodeOk) {
        // Nothing of the refused file was taken over.
        if (f.ready() || f.camera_count() != 0 || f.frame_width() != 0) __builtin_trap();
        return;
    }
    check_probes(f);
    // The flat mesh stores the cap settings the sphere grid reads.
    if (f.generate_vertices(geometry::kModeFlat, k.logo, k.logo_angle_deg) == nullptr) {
        __builtin_trap();
    }
    check_strategies(f);
    if (variant == geometry::Variant::player &&
        f.generate_vertices(geometry::kModeCylinder, false, 0) != nullptr) {
        f.update_cylinder_texcoords(k.cylinder_rotation_rad);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = kvp_fuzz::write_scratch_file("lens.inf", data, size);
    const Knobs k = knobs_of(data, size);
    run_variant(geometry::Variant::player, path, k);
    run_variant(geometry::Variant::converter, path, k);
    return 0;
}
