// Render cost of one picture in the player's window: upload of a 1920x1920
// YUV 4:2:0 frame, draw of 1 or 4 mode-2 (sphere) viewports, glFinish, and in
// the "swap" variants the buffer swap, into a 1224x658 SDL window on
// whatever GL the display offers (Mesa llvmpipe under Xvfb without a GPU).
// Without an X display it draws into a framebuffer object of that size in a
// headless EGL context, where the "swap" variants only flush.
// "path" 0 draws as the player does (deduplicated vertices, each
// texture-index class with its own program, chunks out of view skipped), 1
// the reference path (the geometry's arrays, one draw with the full
// program), which gives the same pixels. Also the cost of a viewport's mesh
// build at a mode change, and of the work on its vertices alone.
// Wall time: the GL driver works in its own threads. Run it as
//     xvfb-run -a -s "-screen 0 1920x1080x24" build/bin/render_bench
//     --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
// (one command line).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "calib_file.h"
#include "gl_surface.h"
#include "ogl_rendererMgr/ogl_renderer/indexed_mesh.h"
#include "ogl_rendererMgr/ogl_renderer/view_culling.h"
#include "ogl_rendererMgr/ogl_rendererMgr.h"
#include "temp_dir.h"

namespace {

constexpr int kFrameSize = 1920;
constexpr int kWindowWidth = 1224;
constexpr int kWindowHeight = 658;
constexpr float kLensHalfAngleRad = 1.6f;  // a lens of about 183 degrees
constexpr float kCylinderRotationRad = 1.5707964f;
constexpr int kWarmUpPictures = 3;

struct Angles {
    float pitch, yaw;
};
// The single view and the four-way split of the viewer's first direction,
// with the camera mounting the viewer passes by default (orientation 1:
// roll offset 180 degrees), so the views look into the lens.
constexpr int kOrientation = 1;
constexpr Angles kSingleView = {-130.0f, 90.0f};
constexpr std::array<Angles, 4> kFourViews = {
    {{-150.0f, 0.0f}, {-150.0f, -180.0f}, {-150.0f, 90.0f}, {-150.0f, -90.0f}}};

constexpr sphere_player::ogl::DrawPath kPaths[] = {sphere_player::ogl::DrawPath::indexed,
                                                   sphere_player::ogl::DrawPath::reference};
constexpr int kPathCount = 2;

// The surface, one manager per draw path with all four viewports built in
// mode 2, and one frame; made once for every benchmark of the program.
struct Scene {
    kvp_test::TempDir dir;
    std::unique_ptr<renderer_test::GlSurface> surface;
    std::array<std::unique_ptr<sphere_player::ogl_rendererMgr>, kPathCount> managers;
    sphere_player::ogl_rendererMgr* mgr = nullptr;  // the one in use
    std::vector<uint8_t> y, u, v;
    std::string error;

    Scene() {
        surface = std::make_unique<renderer_test::GlSurface>(kWindowWidth, kWindowHeight);
        if (!surface->ok()) {
            error = "no GL context: " + surface->reason();
            return;
        }
        make_frame();
        const std::string calib = geometry_test::write_calib(dir, lens());
        for (int path = 0; path < kPathCount && error.empty(); ++path) {
            managers[path] = make_manager(calib, kPaths[path]);
        }
        mgr = managers[0].get();
    }

    ~Scene() {
        for (auto& m : managers) m.reset();
        surface.reset();
    }

    std::unique_ptr<sphere_player::ogl_rendererMgr> make_manager(
        const std::string& calib, sphere_player::ogl::DrawPath path) {
        auto m = std::make_unique<sphere_player::ogl_rendererMgr>();
        m->set_message_sink(nullptr);
        m->set_draw_path(path);
        if (m->init(calib.c_str(), false, -1, false, kFrameSize, kFrameSize, nullptr, 0, 0,
                    kOrientation)) {
            error = std::string("init: ") + m->error_text();
            return m;
        }
        for (unsigned vp = 0; vp < 4; ++vp) {
            m->set_viewport_rect(vp, 0, 0, kWindowWidth, kWindowHeight);
            if (m->set_draw_mode(vp, geometry::kModeSphere) != 0) {
                error = std::string("draw mode: ") + m->error_text();
                return m;
            }
        }
        return m;
    }

    void use_path(int64_t path) { mgr = managers[static_cast<std::size_t>(path)].get(); }

    static geometry_test::CalibParams lens() {
        geometry_test::CalibParams params;
        params.set_all_rotations(geometry_test::kIdentity);
        params.set_all_centres(kFrameSize / 2.0f, kFrameSize / 2.0f);
        params.k1 = kFrameSize / 2.0f / (700.0f * kLensHalfAngleRad);
        params.k3 = params.k5 = 0.0f;
        params.width = params.height = kFrameSize;
        params.t_max = kLensHalfAngleRad;
        return params;
    }

    // A smooth picture with detail everywhere, as a decoded frame has.
    void make_frame() {
        const int c = kFrameSize / 2;
        y.resize(static_cast<size_t>(kFrameSize) * kFrameSize);
        u.resize(static_cast<size_t>(c) * c);
        v.resize(u.size());
        for (int r = 0; r < kFrameSize; ++r)
            for (int x = 0; x < kFrameSize; ++x) y[r * kFrameSize + x] = (x ^ r) & 0xFF;
        for (int r = 0; r < c; ++r) {
            for (int x = 0; x < c; ++x) {
                u[r * c + x] = static_cast<uint8_t>(x * 255 / c);
                v[r * c + x] = static_cast<uint8_t>(r * 255 / c);
            }
        }
    }

    // Sets the viewports up and draws a few pictures untimed, so that the
    // driver has compiled its code for this state.
    void layout(int viewports) {
        set_up_viewports(viewports);
        const bool enabled[4] = {true, viewports == 4, viewports == 4, viewports == 4};
        upload();
        for (int i = 0; i < kWarmUpPictures; ++i) mgr->draw(enabled);
        glFinish();
    }

    int upload() { return mgr->upload_frame(y.data(), u.data(), v.data(), kFrameSize, kFrameSize); }

    void set_up_viewports(int viewports) {
        if (viewports == 1) {
            mgr->set_viewport_rect(0, 0, 0, kWindowWidth, kWindowHeight);
            mgr->set_draw_mode(0, geometry::kModeSphere);
            mgr->set_view_angles(0, kSingleView.pitch, kSingleView.yaw, 0, kCylinderRotationRad);
            return;
        }
        const int w = kWindowWidth / 2, h = kWindowHeight / 2;
        for (unsigned vp = 0; vp < 4; ++vp) {
            mgr->set_viewport_rect(vp, (vp % 2) * w, (vp / 2) * h, w, h);
            mgr->set_draw_mode(vp, geometry::kModeSphere);
            mgr->set_view_angles(vp, kFourViews[vp].pitch, kFourViews[vp].yaw, 0,
                                 kCylinderRotationRad);
        }
    }
};

Scene& scene() {
    static Scene s;
    return s;
}

// Arguments: viewports (1 or 4), swap (0 or 1), path (0 or 1).
void BM_RenderFrame(benchmark::State& state) {
    Scene& s = scene();
    if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
    const int viewports = static_cast<int>(state.range(0));
    const bool swap = state.range(1) != 0;
    s.use_path(state.range(2));
    s.layout(viewports);
    const bool enabled[4] = {true, viewports == 4, viewports == 4, viewports == 4};
    for (auto _ : state) {
        if (s.upload() != 0 || s.mgr->draw(enabled) != 0) {
            return state.SkipWithError(s.mgr->error_text());
        }
        glFinish();
        if (swap) s.surface->swap();
    }
}
BENCHMARK(BM_RenderFrame)
    ->ArgNames({"viewports", "swap", "path"})
    ->ArgsProduct({{1, 4}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The two halves of a picture's cost: replacing the three plane textures,
// and drawing from them.
void BM_UploadFrame(benchmark::State& state) {
    Scene& s = scene();
    if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
    for (auto _ : state) {
        s.upload();
        glFinish();
    }
}
BENCHMARK(BM_UploadFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DrawOnly(benchmark::State& state) {
    Scene& s = scene();
    if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
    const int viewports = static_cast<int>(state.range(0));
    s.use_path(state.range(1));
    s.layout(viewports);
    const bool enabled[4] = {true, viewports == 4, viewports == 4, viewports == 4};
    for (auto _ : state) {
        s.mgr->draw(enabled);
        glFinish();
    }
    std::size_t drawn = 0;
    for (unsigned vp = 0; vp < 4; ++vp) {
        if (enabled[vp]) drawn += s.mgr->viewport(vp)->last_drawn_vertices();
    }
    state.counters["drawn_vertices"] = static_cast<double>(drawn);
}
BENCHMARK(BM_DrawOnly)
    ->ArgNames({"viewports", "path"})
    ->ArgsProduct({{1, 4}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A mode change of one viewport: the mesh generated, brought into the
// path's form and uploaded (mode 5 and back to 2, two builds an iteration).
void BM_ModeChange(benchmark::State& state) {
    Scene& s = scene();
    if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
    s.use_path(state.range(0));
    for (auto _ : state) {
        if (s.mgr->set_draw_mode(0, geometry::kModeSphereWide) != 0 ||
            s.mgr->set_draw_mode(0, geometry::kModeSphere) != 0) {
            return state.SkipWithError(s.mgr->error_text());
        }
        glFinish();
    }
}
BENCHMARK(BM_ModeChange)->ArgName("path")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The build-time work on the sphere mesh's 388,800 vertices: the
// deduplication, the scan of its texture indices that cuts it into runs,
// and the chunk boxes.
void BM_IndexSphereMesh(benchmark::State& state) {
    Scene& s = scene();
    if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
    const geometry::VertexFactory& f = s.managers[0]->viewport(0)->factory();
    using sphere_player::ogl::MeshArray;
    const sphere_player::ogl::MeshArrays mesh = {
        MeshArray{f.positions(), static_cast<std::size_t>(f.position_length())},
        MeshArray{f.texcoords(), static_cast<std::size_t>(f.texcoord_length())},
        MeshArray{f.weights(), static_cast<std::size_t>(f.weight_length())},
        MeshArray{f.indices(), static_cast<std::size_t>(f.index_length())}};
    std::size_t unique = 0;
    for (auto _ : state) {
        sphere_player::ogl::IndexedMesh indexed;
        if (!sphere_player::ogl::index_mesh(mesh, indexed)) return state.SkipWithError("index");
        benchmark::DoNotOptimize(sphere_player::ogl::mesh_runs(f.indices(), f.vertex_count()));
        benchmark::DoNotOptimize(sphere_player::ogl::chunk_boxes(indexed));
        unique = indexed.unique_count;
    }
    state.counters["vertices"] = f.vertex_count();
    state.counters["unique"] = static_cast<double>(unique);
}
BENCHMARK(BM_IndexSphereMesh)->Unit(benchmark::kMillisecond);

// The GL driver allocates and frees a few megabytes per draw; with glibc's
// initial thresholds every free trims the heap and the next picture faults
// the pages in again (about 20 ms a picture here), until some large block
// freed by anyone raises the thresholds for good, as a player decoding
// 1920x1920 frames soon does. Fixed thresholds measure every case in that
// steady state, whatever ran before it.
constexpr int kMmapThresholdBytes = 32 << 20;
constexpr int kTrimThresholdBytes = 256 << 20;

}  // namespace

int main(int argc, char** argv) {
    mallopt(M_MMAP_THRESHOLD, kMmapThresholdBytes);
    mallopt(M_TRIM_THRESHOLD, kTrimThresholdBytes);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
