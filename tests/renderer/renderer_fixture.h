// Shared set-up of the renderer tests: a GL surface (a window under X, else
// a framebuffer of a headless context), a renderer manager whose printed
// messages are captured, synthetic YUV 4:2:0 frames, a lens calibration, the
// BT.601 colours the frames should show, and where the geometry puts a mesh
// vertex on the screen.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "calib_file.h"
#include "gl_surface.h"
#include "ogl_rendererMgr/ogl_rendererMgr.h"
#include "temp_dir.h"

namespace renderer_test {

using Rgb = std::array<int, 3>;

struct Yuv {
    int y, u, v;
};

// Limited-range BT.601 in 8-bit terms, clamped to 0..255.
inline Rgb bt601(Yuv c) {
    const double luma = 1.164 * (c.y - 16);
    const double u = c.u - 128.0, v = c.v - 128.0;
    auto clamp = [](double x) {
        return static_cast<int>(std::lround(std::fmin(255, std::fmax(0, x))));
    };
    return {clamp(luma + 1.596 * v), clamp(luma - 0.392 * u - 0.813 * v), clamp(luma + 2.017 * u)};
}

constexpr Rgb kBlack = {0, 0, 0};
constexpr int kColourTolerance = 4;

// A tightly packed YUV 4:2:0 frame; chroma of (width / 2) x (height / 2).
struct Frame420 {
    int width = 0, height = 0;
    std::vector<uint8_t> y, u, v;

    // colour_at(x, y) of a pixel; a chroma sample takes the colour of the
    // top-left luma pixel of its 2x2 block.
    static Frame420 make(int width, int height, const std::function<Yuv(int, int)>& colour_at) {
        Frame420 f;
        f.width = width;
        f.height = height;
        f.y.resize(static_cast<size_t>(width) * height);
        const int cw = width / 2, ch = height / 2;
        f.u.resize(static_cast<size_t>(cw) * ch);
        f.v.resize(f.u.size());
        for (int row = 0; row < height; ++row)
            for (int col = 0; col < width; ++col)
                f.y[row * width + col] = static_cast<uint8_t>(colour_at(col, row).y);
        for (int row = 0; row < ch; ++row) {
            for (int col = 0; col < cw; ++col) {
                const Yuv c = colour_at(2 * col, 2 * row);
                f.u[row * cw + col] = static_cast<uint8_t>(c.u);
                f.v[row * cw + col] = static_cast<uint8_t>(c.v);
            }
        }
        return f;
    }
};

// Colours of the synthetic fisheye frame.
constexpr Yuv kCentreColour = {150, 90, 180};
constexpr Yuv kLensColour = {100, 160, 110};
constexpr Yuv kOutsideColour = {200, 128, 128};
constexpr int kLensFrame = 64;           // square fisheye frame, pixels
constexpr double kCentreDiscRadius = 8;  // pixels around the frame centre
constexpr double kLensRadius = 31;       // the image circle the calibration fits
constexpr float kLensHalfAngleRad = 1.2f;

// One camera looking along the mesh's pole (identity rotations in the file),
// a linear lens whose circle just fills the frame.
inline geometry_test::CalibParams lens_params(int camera_count = 1) {
    geometry_test::CalibParams params;
    params.set_all_rotations(geometry_test::kIdentity);
    params.set_all_centres(kLensFrame / 2.0f, kLensFrame / 2.0f);
    params.k1 = static_cast<float>((kLensRadius + 1) / (700.0 * kLensHalfAngleRad));
    params.k3 = params.k5 = 0.0f;
    params.cameras = camera_count;
    params.width = params.height = kLensFrame;
    params.t_max = kLensHalfAngleRad;
    return params;
}

inline Frame420 fisheye_frame() {
    return Frame420::make(kLensFrame, kLensFrame, [](int x, int y) {
        const double r = std::hypot(x + 0.5 - kLensFrame / 2.0, y + 0.5 - kLensFrame / 2.0);
        if (r < kCentreDiscRadius) return kCentreColour;
        return r < kLensRadius ? kLensColour : kOutsideColour;
    });
}

inline Frame420 solid_frame(int width, int height, Yuv colour) {
    return Frame420::make(width, height, [colour](int, int) { return colour; });
}

struct WindowPoint {
    int x, y;
};

class RendererTest : public ::testing::Test {
protected:
    static constexpr int kWindowWidth = 128;
    static constexpr int kWindowHeight = 96;

    void SetUp() override {
        surface_ = std::make_unique<GlSurface>(kWindowWidth, kWindowHeight);
        if (!surface_->ok()) GTEST_SKIP() << "no GL context: " << surface_->reason();
        mgr_ = std::make_unique<sphere_player::ogl_rendererMgr>();
        mgr_->set_message_sink([this](std::string_view text) { printed_.append(text); });
        calib_path_ = geometry_test::write_calib(dir_, lens_params());
    }

    void TearDown() override {
        mgr_.reset();  // needs the context
        surface_.reset();
    }

    int init(int frame_width, int frame_height, const std::vector<uint8_t>* logo = nullptr,
             int logo_size = 0, int orientation = 0) {
        return mgr_->init(calib_path_.c_str(), logo != nullptr, -1, false, frame_width,
                          frame_height, logo != nullptr ? logo->data() : nullptr, logo_size,
                          logo_size, orientation);
    }

    void upload(const Frame420& f) {
        ASSERT_EQ(mgr_->upload_frame(f.y.data(), f.u.data(), f.v.data(), f.width, f.height), 0)
            << mgr_->error_text();
    }

    // Builds viewport `index` in `mode` over the given rectangle.
    void set_up_viewport(unsigned index, int mode, int x, int y, int width, int height) {
        ASSERT_EQ(mgr_->set_viewport_rect(index, x, y, width, height), 0);
        ASSERT_EQ(mgr_->set_draw_mode(index, mode), 0) << printed_;
    }

    int draw_only(std::initializer_list<unsigned> viewports) {
        bool enabled[sphere_player::kViewportCount] = {false, false, false, false};
        for (unsigned v : viewports) enabled[v] = true;
        return mgr_->draw(enabled);
    }

    Rgb at(WindowPoint p) const { return surface_->pixel(p.x, p.y); }

    // A vertex of the viewport's mesh that shows the frame's centre (the
    // optical axis): texture index 1, coordinate nearest (0.5, 0.5).
    geometry::Vec3 optical_axis_vertex(unsigned index) const {
        const geometry::VertexFactory& f = mgr_->viewport(index)->factory();
        int best = -1;
        float best_d = 1e9f;
        for (int i = 0; i < f.vertex_count(); ++i) {
            if (f.indices()[i] != geometry::kIndexFirstCamera) continue;
            const float ds = f.texcoords()[4 * i] - 0.5f, dt = f.texcoords()[4 * i + 1] - 0.5f;
            if (ds * ds + dt * dt < best_d) best_d = ds * ds + dt * dt, best = i;
        }
        if (best < 0) return {};
        const float* p = f.positions() + 3 * best;
        return {p[0], p[1], p[2]};
    }

    // Where the viewport's camera puts a mesh point; nothing when it lies
    // behind the eye or outside the viewport.
    std::optional<WindowPoint> project(unsigned index, geometry::Vec3 point) const {
        const sphere_player::DOR_OglRenderer* vp = mgr_->viewport(index);
        const auto clip = geometry::mat4_transform_point(geometry::mvp_matrix(vp->camera()), point);
        if (clip[3] <= 0.0f) return std::nullopt;
        const sphere_player::DOR_OglRenderer::Rect& r = vp->rect();
        const double x = r.x + (clip[0] / clip[3] + 1.0) * 0.5 * r.width;
        const double y = r.y + (clip[1] / clip[3] + 1.0) * 0.5 * r.height;
        if (x < r.x || y < r.y || x >= r.x + r.width || y >= r.y + r.height) return std::nullopt;
        return WindowPoint{static_cast<int>(x), static_cast<int>(y)};
    }

    kvp_test::TempDir dir_;
    std::unique_ptr<GlSurface> surface_;
    std::unique_ptr<sphere_player::ogl_rendererMgr> mgr_;
    std::string calib_path_;
    std::string printed_;
};

inline ::testing::AssertionResult colour_near(const Rgb& actual, const Rgb& expected,
                                              int tolerance = kColourTolerance) {
    for (int c = 0; c < 3; ++c) {
        if (std::abs(actual[c] - expected[c]) > tolerance) {
            return ::testing::AssertionFailure()
                   << "got (" << actual[0] << ", " << actual[1] << ", " << actual[2]
                   << "), expected (" << expected[0] << ", " << expected[1] << ", " << expected[2]
                   << ")";
        }
    }
    return ::testing::AssertionSuccess();
}

// Whether two read-backs of a surface `width` pixels wide (RGBA, rows
// bottom first) agree in the first `channels` bytes of every pixel; on
// failure, how many pixels differ and the first of them.
inline ::testing::AssertionResult same_pixels(const std::vector<uint8_t>& expected,
                                              const std::vector<uint8_t>& actual, int width,
                                              int channels = 4) {
    if (actual.size() != expected.size()) {
        return ::testing::AssertionFailure() << "read-backs of different sizes";
    }
    int differing = 0;
    std::ostringstream first;
    for (std::size_t i = 0; i < expected.size(); i += 4) {
        if (std::memcmp(&expected[i], &actual[i], static_cast<std::size_t>(channels)) == 0) {
            continue;
        }
        if (differing++ == 0) {
            const int pixel = static_cast<int>(i / 4);
            first << ", first at (" << pixel % width << ", " << pixel / width
                  << "): " << int{expected[i]} << "," << int{expected[i + 1]} << ","
                  << int{expected[i + 2]} << " became " << int{actual[i]} << ","
                  << int{actual[i + 1]} << "," << int{actual[i + 2]};
        }
    }
    if (differing == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << differing << " pixels differ" << first.str();
}

}  // namespace renderer_test
