// The viewport camera: per-mode extents and default zooms, zoom limits,
// rebuild decisions, view-angle rotations, projections and the MVP.
// Expected extents by hand: mode 2 (60-degree cone, eye at 1): L = 4 cos 60
// + 1 = 3, K = 4 sin 60 / 3, half-width 0.5 K L = sqrt 3, default zoom
// L / 2 = 1.5. Mode 3: D = 2 sin 25 = 0.8452365, zoom D / tan 77.5 =
// 0.1873845. Mode 5 in a square viewport: angle = 90 / sqrt 2 degrees,
// half-width 2 sin(angle) = 1.7920379, zoom (4 cos(angle) + 3) / 2 =
// 2.3880317 (evaluated with Python).
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "calib_file.h"
#include "geometry/mat4.h"
#include "geometry/viewport_camera.h"
#include "temp_dir.h"

namespace {

using geometry::Mat4;
using geometry::Variant;
using geometry::VertexFactory;
using geometry::ViewportCamera;

class Camera : public testing::Test {
protected:
    Camera() {
        for (VertexFactory* f : {&player_, &converter_}) {
            f->set_message_sink([this](std::string_view text) { messages_.emplace_back(text); });
        }
    }
    // Sets `mode` on a camera of `variant` for a 1920 x 1080 frame.
    ViewportCamera with_mode(int32_t mode, int32_t vw, int32_t vh,
                             Variant variant = Variant::player) {
        ViewportCamera cam = geometry::make_viewport_camera(variant);
        VertexFactory& f = variant == Variant::player ? player_ : converter_;
        EXPECT_EQ(geometry::set_draw_mode(cam, f, mode, 1920, 1080, vw, vh).code, 0);
        cam.view = geometry::view_matrix(cam);
        return cam;
    }

    VertexFactory player_{Variant::player};
    VertexFactory converter_{Variant::converter};
    std::vector<std::string> messages_;
};

TEST_F(Camera, FlatAndPanoramaModesKeepTheirAspectInsideTheViewport) {
    ViewportCamera square = with_mode(0, 800, 800);  // 1920 x 1080 letterboxed
    EXPECT_EQ(square.ortho_half_height, 1.0f);       // 0.5625 x 800 / int(450)
    EXPECT_EQ(square.ortho_half_width, 1.0f);
    EXPECT_EQ(square.eye.z, 2.0f);
    EXPECT_EQ(square.default_zoom, 1.0f);
    EXPECT_EQ(player_.frame_width(), 1920);  // the factory normalises by the frame
    EXPECT_EQ(player_.frame_height(), 1080);
    ViewportCamera wide = with_mode(0, 1600, 400);
    EXPECT_EQ(wide.ortho_half_height, 0.5625f);
    EXPECT_NEAR(wide.ortho_half_width, 1600.0f / 711.0f, 1e-6f);  // int(400 / 0.5625) = 711

    ViewportCamera two_to_one = with_mode(1, 800, 400);
    EXPECT_EQ(two_to_one.ortho_half_width, 1.0f);
    EXPECT_EQ(two_to_one.ortho_half_height, 0.5f);
    ViewportCamera tall = with_mode(1, 800, 800);
    EXPECT_EQ(tall.ortho_half_width, 1.0f);
    EXPECT_EQ(tall.ortho_half_height, 1.0f);  // 0.5 x 800 / 400
}

TEST_F(Camera, SphereModesSetEyeExtentsAndDefaultZoom) {
    const ViewportCamera inside = with_mode(2, 1600, 800);
    EXPECT_EQ(inside.eye.z, 1.0f);
    EXPECT_NEAR(inside.right, std::sqrt(3.0f), 1e-6f);
    EXPECT_EQ(inside.left, inside.right);
    EXPECT_NEAR(inside.top, std::sqrt(3.0f) / 2.0f, 1e-6f);
    EXPECT_EQ(inside.bottom, inside.top);
    EXPECT_NEAR(inside.default_zoom, 1.5f, 1e-6f);
    EXPECT_NEAR(inside.zoom, 1.5f, 1e-6f);

    const ViewportCamera surface = with_mode(3, 800, 800);
    EXPECT_EQ(surface.eye.z, 4.0f);
    EXPECT_NEAR(surface.right, 0.8452365f, 1e-6f);
    EXPECT_NEAR(surface.default_zoom, 0.1873845f, 1e-6f);

    const ViewportCamera ortho = with_mode(4, 800, 400);
    EXPECT_EQ(ortho.eye.z, 2.0f);
    EXPECT_EQ(ortho.ortho_half_width, 8.0f);
    EXPECT_EQ(ortho.ortho_half_height, 4.0f);
    EXPECT_EQ(with_mode(4, 400, 800).ortho_half_height, 8.0f);

    const ViewportCamera wide = with_mode(5, 800, 800);
    EXPECT_EQ(wide.eye.z, 3.0f);
    EXPECT_NEAR(wide.right, 1.7920379f, 1e-5f);
    EXPECT_NEAR(wide.default_zoom, 2.3880317f, 1e-5f);

    // The cylinder keeps the eye, extents and default zoom it finds.
    ViewportCamera cam = with_mode(2, 800, 800);
    ASSERT_EQ(geometry::set_draw_mode(cam, player_, 6, 1920, 1080, 400, 100).code, 0);
    EXPECT_EQ(cam.eye.z, 1.0f);
    EXPECT_NEAR(cam.top, std::sqrt(3.0f), 1e-6f);
    EXPECT_NEAR(cam.zoom, 1.5f, 1e-6f);
}

TEST_F(Camera, SameModeTwiceRebuildsOnceButResetsTheZoomEachTime) {
    ViewportCamera cam = geometry::make_viewport_camera(Variant::player);
    EXPECT_TRUE(geometry::set_draw_mode(cam, player_, 0, 1920, 1080, 800, 800).rebuild);  // unbuilt
    cam.built = true;
    EXPECT_TRUE(geometry::set_draw_mode(cam, player_, 2, 1920, 1080, 800, 800).rebuild);
    geometry::set_zoom(cam, 3.0f);
    const geometry::DrawModeResult again =
        geometry::set_draw_mode(cam, player_, 2, 1920, 1080, 800, 800);
    EXPECT_FALSE(again.rebuild);
    EXPECT_NEAR(again.zoom, 1.5f, 1e-6f);
    EXPECT_NEAR(cam.zoom, 1.5f, 1e-6f);
}

TEST_F(Camera, ModesBeyondTheVariantsRangeAreRefusedAndChangeNothing) {
    ViewportCamera cam = with_mode(2, 800, 800);
    const geometry::DrawModeResult r =
        geometry::set_draw_mode(cam, player_, 7, 1920, 1080, 800, 800);
    EXPECT_EQ(r.code, 7);
    EXPECT_FALSE(r.rebuild);
    EXPECT_EQ(cam.draw_mode, 2);
    EXPECT_EQ(cam.eye.z, 1.0f);
    EXPECT_EQ(messages_, std::vector<std::string>{"error: invalid draw mode 7;\n"});

    ViewportCamera conv = with_mode(2, 800, 800, Variant::converter);
    testing::internal::CaptureStdout();
    EXPECT_EQ(geometry::set_draw_mode(conv, converter_, 6, 1920, 1080, 800, 800).code, 21);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(std::string(converter_.error_text()), "error: invalid draw mode 6;\n");
    EXPECT_EQ(conv.draw_mode, 2);
}

TEST_F(Camera, ZoomIsClampedToItsLimits) {
    ViewportCamera cam = with_mode(2, 800, 800);
    EXPECT_EQ(geometry::set_zoom(cam, 0.0f), 0.05f);
    EXPECT_EQ(geometry::set_zoom(cam, -2.0f), 0.05f);
    EXPECT_EQ(geometry::set_zoom(cam, 0.05f), 0.05f);
    EXPECT_EQ(geometry::set_zoom(cam, std::nanf("")), 0.05f);
    EXPECT_EQ(geometry::set_zoom(cam, 2.5f), 2.5f);
    EXPECT_EQ(geometry::set_zoom(cam, 10.0f), 4.0f);
    EXPECT_EQ(cam.zoom, 4.0f);
    ViewportCamera conv = with_mode(2, 800, 800, Variant::converter);
    EXPECT_EQ(geometry::set_zoom(conv, 10.0f), 3.0f);
    EXPECT_EQ(geometry::set_zoom(conv, 0.0f), 0.05f);
}

TEST_F(Camera, ProjectionsFollowGlFrustumAndGlOrthoAndTheConverterIsMirrored) {
    // Mode 2, square: frustum(-sqrt 3, sqrt 3, ..., near 1.5, far 50).
    const ViewportCamera p = with_mode(2, 800, 800);
    EXPECT_NEAR(p.projection[0], 1.5f / std::sqrt(3.0f), 1e-6f);
    EXPECT_NEAR(p.projection[5], 1.5f / std::sqrt(3.0f), 1e-6f);
    EXPECT_NEAR(p.projection[10], -51.5f / 48.5f, 1e-6f);
    EXPECT_EQ(p.projection[11], -1.0f);
    EXPECT_NEAR(p.projection[14], -150.0f / 48.5f, 1e-5f);
    EXPECT_EQ(p.projection[15], 0.0f);
    const ViewportCamera c = with_mode(2, 800, 800, Variant::converter);
    EXPECT_NEAR(c.projection[5], -1.5f / std::sqrt(3.0f), 1e-6f);
    EXPECT_EQ(c.projection[0], p.projection[0]);

    // Mode 4, square: ortho(-4, 4, -4, 4, 1, 50).
    const ViewportCamera o = with_mode(4, 800, 800);
    EXPECT_EQ(o.projection[0], 0.25f);
    EXPECT_EQ(o.projection[5], 0.25f);
    EXPECT_NEAR(o.projection[10], -2.0f / 49.0f, 1e-7f);
    EXPECT_NEAR(o.projection[14], -51.0f / 49.0f, 1e-6f);
    EXPECT_EQ(o.projection[15], 1.0f);
    EXPECT_EQ(with_mode(4, 800, 800, Variant::converter).projection[5], -0.25f);
}

TEST_F(Camera, DegenerateOrthoAndFrustumLeaveTheMatrixUnchanged) {
    const Mat4 marker = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    Mat4 m = marker;
    EXPECT_FALSE(geometry::mat4_ortho(m, -1, 1, 2, 2, 1, 50));
    EXPECT_FALSE(geometry::mat4_ortho(m, -1, 1, -1, 1, 3, 3));
    EXPECT_FALSE(geometry::mat4_frustum(m, 1, 1, -1, 1, 1, 50));
    EXPECT_FALSE(geometry::mat4_frustum(m, -1, 1, -1, 1, 0, 50));
    EXPECT_FALSE(geometry::mat4_frustum(m, -1, 1, -1, 1, 1, -50));
    EXPECT_FALSE(geometry::mat4_frustum(m, -1, 1, -1, 1, 2, 2));
    EXPECT_EQ(m, marker);
    EXPECT_TRUE(geometry::mat4_frustum(m, -1, 1, -1, 1, 1, 50));
    EXPECT_NE(m, marker);
}

TEST_F(Camera, ViewAnglesTurnTheModelWithTheModesSigns) {
    // Rot(a, x) has column 1 = (0, cos a, sin a); Rot(a, z) column 0 =
    // (cos a, sin a, 0); Rot(a, y) column 0 = (cos a, 0, -sin a).
    ViewportCamera cam = with_mode(2, 800, 800);
    geometry::set_view_angles(cam, 30.0f, 0.0f, 0.0f, 0.0f);
    EXPECT_NEAR(cam.model[5], 0.8660254f, 1e-6f);
    EXPECT_NEAR(cam.model[6], -0.5f, 1e-6f);  // pitch turned by -30
    geometry::set_view_angles(cam, 0.0f, 90.0f, 0.0f, 0.0f);
    EXPECT_NEAR(cam.model[0], 0.0f, 1e-6f);
    EXPECT_NEAR(cam.model[2], 1.0f, 1e-6f);  // yaw turned by -90

    ViewportCamera ortho = with_mode(4, 800, 800);
    geometry::set_view_angles(ortho, 30.0f, 0.0f, 0.0f, 0.0f);
    EXPECT_NEAR(ortho.model[6], 0.5f, 1e-6f);  // +30 in mode 4

    ViewportCamera surface = with_mode(3, 800, 800);
    geometry::set_view_angles(surface, 0.0f, 0.0f, 0.0f, 0.0f);
    EXPECT_NEAR(surface.model[5], 0.0f, 1e-6f);  // the extra 90 about x
    EXPECT_NEAR(surface.model[6], 1.0f, 1e-6f);

    // Roll 30 with a 90-degree roll offset: -30 - 90 = -120 about z.
    cam.roll_offset_deg = 90.0f;
    geometry::set_view_angles(cam, 0.0f, 0.0f, 30.0f, 0.0f);
    EXPECT_NEAR(cam.model[0], -0.5f, 1e-6f);
    EXPECT_NEAR(cam.model[1], -0.8660254f, 1e-6f);
    EXPECT_EQ(cam.roll_deg, 30.0f);

    ViewportCamera cylinder = with_mode(6, 800, 800);
    geometry::set_view_angles(cylinder, 10.0f, 20.0f, 30.0f, 0.75f);
    EXPECT_EQ(cylinder.cylinder_rotation_rad, 0.75f);
    EXPECT_EQ(geometry::mvp_matrix(cylinder), geometry::mat4_identity());
}

TEST_F(Camera, FlatModesIgnoreTheAnglesAndResetTheModel) {
    ViewportCamera cam = with_mode(2, 800, 800);
    geometry::set_view_angles(cam, 10.0f, 20.0f, 30.0f, 0.5f);
    ASSERT_EQ(geometry::set_draw_mode(cam, player_, 1, 1920, 1080, 800, 400).code, 0);
    geometry::set_view_angles(cam, 45.0f, 45.0f, 45.0f, 1.0f);
    EXPECT_EQ(cam.model, geometry::mat4_identity());
    EXPECT_EQ(cam.pitch_deg, 10.0f);
    EXPECT_EQ(cam.yaw_deg, 20.0f);
    EXPECT_EQ(cam.cylinder_rotation_rad, geometry::kCylinderDefaultRotationRad);  // mode 6 only
}

TEST_F(Camera, MvpPutsTheFrustumEdgeOnTheViewportEdge) {
    // Mode 2, square viewport, eye at z = 1, near 1.5, half-width sqrt 3: a
    // point 5 in front of the eye at x = sqrt 3 x 5 / 1.5 is on the right
    // edge (NDC x = 1), and its clip w is its distance 5.
    const float edge = std::sqrt(3.0f) * 5.0f / 1.5f;
    const ViewportCamera p = with_mode(2, 800, 800);
    const auto right = geometry::mat4_transform_point(geometry::mvp_matrix(p), {edge, 0, -4});
    EXPECT_NEAR(right[3], 5.0f, 1e-5f);
    EXPECT_NEAR(right[0] / right[3], 1.0f, 1e-5f);
    const auto top = geometry::mat4_transform_point(geometry::mvp_matrix(p), {0, edge, -4});
    EXPECT_NEAR(top[1] / top[3], 1.0f, 1e-5f);
    const ViewportCamera c = with_mode(2, 800, 800, Variant::converter);
    const auto flipped = geometry::mat4_transform_point(geometry::mvp_matrix(c), {0, edge, -4});
    EXPECT_NEAR(flipped[1] / flipped[3], -1.0f, 1e-5f);

    // Mode 4 (eye at 2): the sphere's far point (0, 0, -4) is 6 away:
    // NDC z = (-2 / 49) x (-6) - 51 / 49 = -39 / 49.
    const ViewportCamera o = with_mode(4, 800, 800);
    const auto far_point = geometry::mat4_transform_point(geometry::mvp_matrix(o), {0, 0, -4});
    EXPECT_NEAR(far_point[2], -39.0f / 49.0f, 1e-6f);
    EXPECT_NEAR(far_point[3], 1.0f, 1e-6f);
    EXPECT_NEAR(o.view[14], -2.0f, 1e-6f);
}

TEST_F(Camera, RebuildTakesViewMeshAndRollOffsetAndLeavesBuiltToTheCaller) {
    kvp_test::TempDir dir;
    const std::string one = geometry_test::write_calib(dir, geometry_test::dashcam());
    ASSERT_EQ(player_.set_calibration(one.c_str(), 2, false), 0);  // sideways: roll offset 90
    ViewportCamera cam = geometry::make_viewport_camera(Variant::player);
    ASSERT_TRUE(geometry::set_draw_mode(cam, player_, 5, 1920, 1080, 800, 800).rebuild);
    EXPECT_EQ(geometry::rebuild_viewport(cam, player_, {}), geometry::Rebuild::ok);
    EXPECT_EQ(player_.mesh_mode(), 5);
    EXPECT_EQ(player_.vertex_count(), 388800);
    EXPECT_EQ(player_.grid_report().cap_rows, 0);
    EXPECT_EQ(cam.roll_offset_deg, 90.0f);
    EXPECT_NEAR(cam.view[14], -3.0f, 1e-6f);  // the eye of mode 5, 3 from the centre
    EXPECT_FALSE(cam.built);
    // The logo request reaches the mesh; a new mode moves the eye.
    ASSERT_EQ(geometry::set_draw_mode(cam, player_, 2, 1920, 1080, 800, 800).code, 0);
    EXPECT_EQ(geometry::rebuild_viewport(cam, player_, {true, -1}), geometry::Rebuild::ok);
    EXPECT_GT(player_.grid_report().cap_rows, 0);
    EXPECT_NEAR(cam.view[14], -1.0f, 1e-6f);

    // Two cameras: a mesh of positions only, which must not be drawn. The
    // roll offset is taken all the same.
    geometry_test::CalibParams two_cameras = geometry_test::dashcam();
    two_cameras.cameras = 2;
    const std::string two = geometry_test::write_calib(dir, two_cameras, "two.inf");
    ASSERT_EQ(player_.set_calibration(two.c_str(), 0, false), 0);
    player_.set_orientation(1);
    EXPECT_EQ(geometry::rebuild_viewport(cam, player_, {}), geometry::Rebuild::no_lens_mapping);
    EXPECT_NE(player_.positions(), nullptr);
    EXPECT_EQ(cam.roll_offset_deg, 180.0f);
}

TEST_F(Camera, ARefusedRebuildKeepsTheRollOffsetAndTheFactorysReason) {
    // No calibration: the factory refuses the mesh. The view is rebuilt
    // before the mesh is asked for, the roll offset only after it came.
    ViewportCamera cam = geometry::make_viewport_camera(Variant::player);
    ASSERT_EQ(geometry::set_draw_mode(cam, player_, 4, 1920, 1080, 800, 800).code, 0);
    cam.roll_offset_deg = 7.0f;
    EXPECT_EQ(geometry::rebuild_viewport(cam, player_, {}), geometry::Rebuild::no_mesh);
    EXPECT_EQ(cam.roll_offset_deg, 7.0f);
    EXPECT_NEAR(cam.view[14], -2.0f, 1e-6f);
    EXPECT_EQ(messages_.back(), "error: calibration file path is not set yet;\n");
}

TEST_F(Camera, AViewportDrawingAnothersMeshRebuildsItsCameraOnly) {
    kvp_test::TempDir dir;
    const std::string path = geometry_test::write_calib(dir, geometry_test::dashcam());
    ASSERT_EQ(converter_.set_calibration(path.c_str(), 1, false), 0);  // upside down: 180
    ViewportCamera cam = with_mode(3, 800, 600, Variant::converter);
    cam.view = geometry::mat4_identity();
    geometry::rebuild_camera(cam, converter_);
    EXPECT_EQ(cam.roll_offset_deg, 180.0f);
    EXPECT_EQ(cam.view, geometry::view_matrix(cam));
    EXPECT_NEAR(cam.view[14], -4.0f, 1e-6f);
    EXPECT_EQ(converter_.mesh_mode(), -1);  // no mesh of its own
    EXPECT_EQ(converter_.positions(), nullptr);
}

TEST_F(Camera, TextureMatrixFlipsT) {
    const Mat4 expected = {1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1, 0, 0, 1, 0, 1};
    EXPECT_EQ(geometry::kTextureMatrix, expected);
    const auto st = geometry::mat4_transform_point(geometry::kTextureMatrix, {0.25f, 0.75f, 1.0f});
    EXPECT_EQ(st[0], 0.25f);
    EXPECT_EQ(st[1], 0.25f);
}

}  // namespace
