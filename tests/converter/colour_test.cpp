// Pixels of an export against what the geometry predicts. The source is a
// fisheye of a smooth colour gradient, so a pixel's colour tells where in
// the lens it was sampled; a wrong projection, a flipped or mirrored view or
// a misplaced viewport shows as a different colour.
#include <cmath>
#include <cstdlib>

#include <gtest/gtest.h>

#include "converter_support.h"
#include "geometry/vertex_factory.h"
#include "geometry/viewport_camera.h"

namespace {

using converter_test::Converter;
using converter_test::Param;
using converter_test::Picture;
using converter_test::Yuv;

constexpr int kSourceSize = 320;
constexpr double kSphereRadius = 4.0;
constexpr double kTolerance = 8.0;  // levels of 255, after two lossy encodes

struct SourcePoint {
    bool valid = false;
    double x = 0, y = 0;  // pixels of the source picture, rows from the top
};

// Where the view of viewport `i` of `p` looks through its pixel (px, py)
// (rows from the top of the viewport): the ray of the player's camera with
// the same settings (its projection is upright), met with the sphere, and
// the lens coordinate of the nearest mesh vertex.
SourcePoint predict(const ConverterInitParam& p, int i, int px, int py) {
    geometry::VertexFactory factory(geometry::Variant::converter);
    if (factory.set_calibration(p.calib_filename, p.orientation, false) != 0) return {};
    geometry::ViewportCamera cam = geometry::make_viewport_camera(geometry::Variant::player);
    const int vw = p.viewport_width[i], vh = p.viewport_height[i];
    geometry::set_draw_mode(cam, factory, p.prj_mode[i], kSourceSize, kSourceSize, vw, vh);
    if (factory.generate_vertices(p.prj_mode[i], false, -1) == nullptr) return {};
    cam.roll_offset_deg = factory.roll_offset();
    geometry::set_zoom(cam, p.zoom[i]);
    geometry::set_view_angles(cam, p.pitch[i], p.yaw[i], p.roll[i], 0.0f);

    const double xn = (px + 0.5) / vw * 2.0 - 1.0;
    const double yn = 1.0 - (py + 0.5) / vh * 2.0;
    const double d[3] = {xn * cam.right, yn * cam.top, -cam.zoom};  // eye space
    const double o[3] = {0.0, 0.0, cam.eye.z};                      // the eye, world space
    // |o + s d| = radius, the far root (the eye is inside the sphere).
    const double a = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
    const double b = 2.0 * (o[2] * d[2]);
    const double c = o[2] * o[2] - kSphereRadius * kSphereRadius;
    const double s = (-b + std::sqrt(b * b - 4.0 * a * c)) / (2.0 * a);
    const double w[3] = {o[0] + s * d[0], o[1] + s * d[1], o[2] + s * d[2]};
    // world = model * mesh point, the model a rotation: mesh point = model^T * world.
    const auto& m = cam.model;
    double q[3];
    for (int r = 0; r < 3; ++r)
        q[r] = m[4 * r + 0] * w[0] + m[4 * r + 1] * w[1] + m[4 * r + 2] * w[2];

    const float* pos = factory.positions();
    int best = -1;
    double best_d2 = 1e30;
    for (int v = 0; v < factory.vertex_count(); ++v) {
        const double dx = pos[3 * v] - q[0], dy = pos[3 * v + 1] - q[1], dz = pos[3 * v + 2] - q[2];
        const double d2 = dx * dx + dy * dy + dz * dz;
        if (d2 < best_d2) best_d2 = d2, best = v;
    }
    if (best < 0 || factory.indices()[best] != 1.0f) return {};
    const float* t = factory.texcoords() + 4 * best;
    return {true, t[0] * kSourceSize, (1.0 - t[1]) * kSourceSize};
}

void expect_colour(const Yuv& got, const Yuv& want, const char* where) {
    EXPECT_NEAR(got.y, want.y, kTolerance) << where;
    EXPECT_NEAR(got.u, want.u, kTolerance) << where;
    EXPECT_NEAR(got.v, want.v, kTolerance) << where;
}

class GradientExport : public ::testing::Test {
protected:
    void export_frames(Param& param) {
        Converter conv;
        ASSERT_EQ(conv->Init(&param.p), 0) << conv->GetLastErrorText();
        ASSERT_EQ(conv->StartDewarpingAsync({0, 0, 0}, {0, 1, 0}), 0) << conv->GetLastErrorText();
        ASSERT_TRUE(conv.wait());
        source_ = converter_test::decode_picture(converter_test::sample("conv_gradient.mp4"), 5);
        output_ = converter_test::decode_picture(param.dst, 5);
        ASSERT_FALSE(source_.empty());
        ASSERT_FALSE(output_.empty());
    }

    // Output pixel (ox, oy) against the source where viewport i's pixel
    // (px, py) looks.
    void check(const ConverterInitParam& p, int i, int px, int py, int ox, int oy) {
        const SourcePoint sp = predict(p, i, px, py);
        ASSERT_TRUE(sp.valid) << "the test view must look into the lens";
        const Yuv want = source_.mean(static_cast<int>(sp.x), static_cast<int>(sp.y));
        const Yuv got = output_.mean(ox, oy);
        char where[96];
        std::snprintf(where, sizeof where, "output (%d, %d) <- source (%.1f, %.1f)", ox, oy, sp.x,
                      sp.y);
        expect_colour(got, want, where);
    }

    kvp_test::TempDir dir_;
    Picture source_, output_;
};

TEST_F(GradientExport, EveryPartOfAOneViewExportShowsWhatTheGeometryPredicts) {
    Param param(converter_test::sample("conv_gradient.mp4"),
                converter_test::gradient_calibration(dir_), dir_.file("one.mp4"));
    param.one_view(320, 192, 2, -50.0f, 35.0f, 1.5f);
    export_frames(param);
    if (HasFatalFailure()) return;
    // The centre, and points off both axes: a view upside down or mirrored
    // would show other colours there.
    for (const auto& xy : {std::pair{160, 96}, std::pair{80, 48}, std::pair{240, 48},
                           std::pair{80, 144}, std::pair{250, 150}}) {
        check(param.p, 0, xy.first, xy.second, xy.first, xy.second);
    }
}

TEST_F(GradientExport, AViewportLandsWhereItsRectangleSaysCountingRowsFromTheBottom) {
    Param param(converter_test::sample("conv_gradient.mp4"),
                converter_test::gradient_calibration(dir_), dir_.file("quarter.mp4"));
    param.p.dst_width = 320;
    param.p.dst_height = 192;
    param.p.viewport_count = 1;
    // The lower right quarter: x 160..319, y 0..95 from the bottom.
    param.set_view(0, 2, -40.0f, -20.0f, 1.5f, 160, 0, 160, 96);
    export_frames(param);
    if (HasFatalFailure()) return;
    check(param.p, 0, 80, 48, 240, 144);
    check(param.p, 0, 30, 20, 190, 116);
    // Everything else is never drawn: limited-range black.
    for (const auto& xy : {std::pair{80, 48}, std::pair{240, 40}, std::pair{60, 150}}) {
        const Yuv black = output_.mean(xy.first, xy.second);
        EXPECT_NEAR(black.y, 16, 3) << xy.first << "," << xy.second;
        EXPECT_NEAR(black.u, 128, 3);
        EXPECT_NEAR(black.v, 128, 3);
    }
}

TEST_F(GradientExport, AFullHeightViewportStartsAtTheTopRow) {
    Param param(converter_test::sample("conv_gradient.mp4"),
                converter_test::gradient_calibration(dir_), dir_.file("full.mp4"));
    param.one_view(320, 192, 5, -100.0f, 10.0f, 1.0f);
    export_frames(param);
    if (HasFatalFailure()) return;
    check(param.p, 0, 160, 2, 160, 2);
    check(param.p, 0, 160, 189, 160, 189);
}

}  // namespace
