// Mesh generation of one viewport: the sphere (mode 2) with its texture
// coordinates at the 1-degree step, 64,800 cells and 388,800 vertices,
// computed per grid point (what the renderers use) and per cell corner (the
// direct reading, for comparison).
//
//     build/bin/geometry_bench --benchmark_repetitions=10
//                              --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "geometry/vertex_factory.h"

namespace {

// A one-camera calibration file: identity rotation in the file (the model
// then looks along the nadir of the texture grid), centred circle.
struct Lens {
    int32_t width, height;
    float k1, k3, k5, t_max;
};

std::string write_calibration(const Lens& lens) {
    float values[geometry::kCalibrationValueCount] = {};
    for (int c = 0; c < geometry::kCameraSlots; ++c) {
        values[9 * c + 0] = values[9 * c + 4] = values[9 * c + 8] = 1.0f;
        values[72 + 2 * c] = lens.width * 0.5f;
        values[73 + 2 * c] = lens.height * 0.5f;
    }
    values[88] = lens.k1;
    values[89] = lens.k3;
    values[90] = lens.k5;
    const int32_t ints[3] = {1, lens.width, lens.height};
    std::memcpy(&values[91], ints, sizeof ints);
    values[94] = lens.t_max;
    char path[] = "/tmp/kvp-bench-calib-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0 || ::write(fd, values, sizeof values) != static_cast<ssize_t>(sizeof values)) {
        std::abort();
    }
    ::close(fd);
    return path;
}

// A lens seeing all around: every cell of the grid is mapped (worst case).
const Lens kAllAround{5000, 5000, 1.0f, 0.0f, 0.0f, 3.2f};
// A dashcam lens of about 183 degrees: the grid stops near the horizon.
const Lens kDashcam{2000, 2000, 0.9f, -0.05f, 0.002f, 1.6f};

void sphere_mesh(benchmark::State& state, const Lens& lens, geometry::MeshStrategy strategy) {
    const std::string path = write_calibration(lens);
    geometry::VertexFactory factory(geometry::Variant::player);
    if (factory.set_calibration(path.c_str(), 0, false) != 0) std::abort();
    ::unlink(path.c_str());
    factory.set_mesh_strategy(strategy);
    for (auto _ : state) {
        benchmark::DoNotOptimize(factory.generate_vertices(geometry::kModeSphere, false, -1));
        benchmark::ClobberMemory();
    }
    state.counters["vertices"] = factory.vertex_count();
    state.counters["stop_row"] = factory.grid_report().stop_row;
}

void BM_SphereAllAround_PerGridPoint(benchmark::State& s) {
    sphere_mesh(s, kAllAround, geometry::MeshStrategy::per_grid_point);
}
void BM_SphereAllAround_PerCorner(benchmark::State& s) {
    sphere_mesh(s, kAllAround, geometry::MeshStrategy::per_corner);
}
void BM_SphereDashcam_PerGridPoint(benchmark::State& s) {
    sphere_mesh(s, kDashcam, geometry::MeshStrategy::per_grid_point);
}
void BM_SphereDashcam_PerCorner(benchmark::State& s) {
    sphere_mesh(s, kDashcam, geometry::MeshStrategy::per_corner);
}

// Switching to the four-view layout: four fresh viewports each load the
// calibration and build their sphere (first use of their buffers included).
void BM_FourViewLayout(benchmark::State& state) {
    const std::string path = write_calibration(kAllAround);
    for (auto _ : state) {
        for (int view = 0; view < 4; ++view) {
            geometry::VertexFactory factory(geometry::Variant::player);
            if (factory.set_calibration(path.c_str(), 0, false) != 0) std::abort();
            benchmark::DoNotOptimize(factory.generate_vertices(geometry::kModeSphere, false, -1));
        }
    }
    ::unlink(path.c_str());
}

BENCHMARK(BM_SphereAllAround_PerGridPoint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SphereAllAround_PerCorner)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SphereDashcam_PerGridPoint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SphereDashcam_PerCorner)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FourViewLayout)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
