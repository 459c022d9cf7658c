// Frames drawn by the renderer manager, read back from the window and
// compared with what the geometry and the BT.601 matrix predict.
#include <cmath>

#include "renderer_fixture.h"

namespace renderer_test {
namespace {

constexpr float kRightAngleDeg = 90.0f;
constexpr float kDefaultCylinderRad = geometry::kCylinderDefaultRotationRad;

class SphereView : public RendererTest {
protected:
    // One mode-2 viewport over the whole window, looking `pitch_deg` up.
    void draw_sphere(float pitch_deg, const std::vector<uint8_t>* logo = nullptr,
                     int logo_size = 0) {
        ASSERT_EQ(init(kLensFrame, kLensFrame, logo, logo_size), 0) << mgr_->error_text();
        set_up_viewport(0, geometry::kModeSphere, 0, 0, kWindowWidth, kWindowHeight);
        ASSERT_EQ(mgr_->set_view_angles(0, pitch_deg, 0, 0, kDefaultCylinderRad), 0);
        upload(fisheye_frame());
        ASSERT_EQ(draw_only({0}), 0) << printed_;
    }

    // Every pixel of a block around the window centre.
    void expect_centre_block(const Rgb& expected, int half_size) {
        for (int dy = -half_size; dy <= half_size; dy += 2) {
            for (int dx = -half_size; dx <= half_size; dx += 2) {
                const WindowPoint p{kWindowWidth / 2 + dx, kWindowHeight / 2 + dy};
                EXPECT_TRUE(colour_near(at(p), expected)) << "at " << p.x << ", " << p.y;
            }
        }
    }
};

TEST_F(SphereView, OpticalAxisShowsTheLensCentre) {
    draw_sphere(kRightAngleDeg);
    const auto axis = project(0, optical_axis_vertex(0));
    ASSERT_TRUE(axis.has_value()) << "the optical axis is not in view";
    // Looking straight up the pole puts the axis in the middle of the view.
    EXPECT_NEAR(axis->x, kWindowWidth / 2, 2);
    EXPECT_NEAR(axis->y, kWindowHeight / 2, 2);
    for (int d : {-2, 0, 2}) {
        EXPECT_TRUE(colour_near(at({axis->x + d, axis->y + d}), bt601(kCentreColour)));
    }
    // Further out, still inside the lens circle.
    EXPECT_TRUE(colour_near(at({axis->x + 40, axis->y}), bt601(kLensColour)));
}

TEST_F(SphereView, OutsideTheLensIsBlack) {
    draw_sphere(-kRightAngleDeg);
    EXPECT_FALSE(project(0, optical_axis_vertex(0)).has_value());
    expect_centre_block(kBlack, 30);
}

TEST_F(SphereView, NadirCapShowsTheLogo) {
    // 14 pixels of BGR24 a row: rows are not 4-byte aligned.
    constexpr int kLogoSize = 14;
    constexpr std::array<uint8_t, 3> kLogoBgr = {40, 200, 90};
    std::vector<uint8_t> logo;
    for (int i = 0; i < kLogoSize * kLogoSize; ++i)
        logo.insert(logo.end(), kLogoBgr.begin(), kLogoBgr.end());
    draw_sphere(-kRightAngleDeg, &logo, kLogoSize);
    expect_centre_block({kLogoBgr[2], kLogoBgr[1], kLogoBgr[0]}, 10);
}

TEST_F(SphereView, MountedUpsideDownTurnsTheViewOnNextBuild) {
    draw_sphere(kRightAngleDeg);
    ASSERT_TRUE(colour_near(at({kWindowWidth / 2, kWindowHeight / 2}), bt601(kCentreColour)));

    // The new roll offset reaches the view only when the mesh is rebuilt.
    mgr_->set_orientation(0);
    ASSERT_EQ(mgr_->set_draw_mode(0, geometry::kModeSphereWide), 0);
    ASSERT_EQ(mgr_->set_draw_mode(0, geometry::kModeSphere), 0);
    EXPECT_FLOAT_EQ(mgr_->viewport(0)->camera().roll_offset_deg, 180.0f);
    ASSERT_EQ(mgr_->set_view_angles(0, kRightAngleDeg, 0, 0, kDefaultCylinderRad), 0);
    ASSERT_EQ(draw_only({0}), 0);
    EXPECT_FALSE(project(0, optical_axis_vertex(0)).has_value());
    EXPECT_TRUE(colour_near(at({kWindowWidth / 2, kWindowHeight / 2}), kBlack));

    ASSERT_EQ(mgr_->set_view_angles(0, -kRightAngleDeg, 0, 0, kDefaultCylinderRad), 0);
    ASSERT_EQ(draw_only({0}), 0);
    const auto axis = project(0, optical_axis_vertex(0));
    ASSERT_TRUE(axis.has_value());
    EXPECT_TRUE(colour_near(at(*axis), bt601(kCentreColour)));
}

// Mode 6 unwraps the lens circle: screen column j shows the angle
// j / 80 turns + rotation, screen row i the radius R (20 - i) / 20.
class CylinderView : public RendererTest {
protected:
    static constexpr Yuv kLeftColour = {90, 100, 170};
    static constexpr Yuv kRightColour = {170, 150, 80};
    static constexpr int kRow = 10;

    // Left half of the frame (x < centre) one colour, right half another.
    static Frame420 halves() {
        return Frame420::make(kLensFrame, kLensFrame, [](int x, int) {
            return x < kLensFrame / 2 ? kLeftColour : kRightColour;
        });
    }

    WindowPoint cell_centre(int column, int row) const {
        const double x_ndc = 0.025 * (column + 0.5) - 1.0, y_ndc = 0.1 * (row + 0.5) - 1.0;
        return {static_cast<int>((x_ndc + 1.0) * 0.5 * kWindowWidth),
                static_cast<int>((y_ndc + 1.0) * 0.5 * kWindowHeight)};
    }

    static Rgb expected_at(int column, float rotation_rad) {
        const double angle = (column + 0.5) / 80.0 * 2.0 * M_PI + rotation_rad;
        return bt601(std::cos(angle) < 0.0 ? kLeftColour : kRightColour);
    }

    void expect_columns(float rotation_rad) {
        for (int column : {4, 20, 36, 44, 60, 76}) {
            EXPECT_TRUE(
                colour_near(at(cell_centre(column, kRow)), expected_at(column, rotation_rad)))
                << "column " << column << ", rotation " << rotation_rad;
        }
    }
};

TEST_F(CylinderView, EveryDrawFollowsTheCylinderRotation) {
    ASSERT_EQ(init(kLensFrame, kLensFrame), 0) << mgr_->error_text();
    set_up_viewport(0, geometry::kModeCylinder, 0, 0, kWindowWidth, kWindowHeight);
    upload(halves());
    ASSERT_EQ(draw_only({0}), 0) << printed_;
    expect_columns(kDefaultCylinderRad);
    const std::vector<uint8_t> before = surface_->read_all();

    // Half a turn more: only the angles change, the mesh is not rebuilt.
    printed_.clear();
    const float turned = kDefaultCylinderRad + static_cast<float>(M_PI);
    ASSERT_EQ(mgr_->set_view_angles(0, 0, 0, 0, turned), 0);
    ASSERT_EQ(draw_only({0}), 0);
    EXPECT_EQ(printed_.find("alloc_buffer_object"), std::string::npos);
    expect_columns(turned);
    EXPECT_NE(surface_->read_all(), before);
}

// Mode 0 shows the frame flat; the frame pixel (fx, fy) is at quad point
// (2 (fx + 0.5) / W - 1, d - 2 d (fy + 0.5) / H), d the quad's half-height.
class FlatView : public RendererTest {
protected:
    WindowPoint frame_pixel(unsigned vp, int width, int height, int fx, int fy) const {
        const float d = mgr_->viewport(vp)->factory().positions()[1];
        const geometry::Vec3 p{2.0f * (fx + 0.5f) / width - 1.0f,
                               d - 2.0f * d * (fy + 0.5f) / height, 0.0f};
        const auto w = project(vp, p);
        EXPECT_TRUE(w.has_value());
        return w.value_or(WindowPoint{0, 0});
    }

    static void expect_texture_size(int unit, int width, int height) {
        GLint name = 0, w = 0, h = 0;
        glActiveTexture(GL_TEXTURE0 + unit);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(name));
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
        glActiveTexture(GL_TEXTURE0);
        EXPECT_EQ(w, width) << "unit " << unit;
        EXPECT_EQ(h, height) << "unit " << unit;
    }
};

TEST_F(FlatView, OddFrameSizeUploadsTightlyPackedPlanes) {
    constexpr int kWidth = 63, kHeight = 47;
    const std::array<Yuv, 3> bands = {{{60, 200, 100}, {180, 80, 140}, {120, 140, 60}}};
    const Frame420 frame = Frame420::make(kWidth, kHeight, [&](int x, int) {
        return bands[x < 21 ? 0 : x < 42 ? 1 : 2];
    });
    ASSERT_EQ(init(kWidth, kHeight), 0) << mgr_->error_text();
    set_up_viewport(0, geometry::kModeFlat, 0, 0, kWindowWidth, kWindowHeight);
    upload(frame);
    ASSERT_EQ(draw_only({0}), 0) << printed_;

    expect_texture_size(0, kWidth, kHeight);
    expect_texture_size(1, kWidth / 2, kHeight / 2);
    expect_texture_size(2, kWidth / 2, kHeight / 2);
    // A row stride other than the width would shear the bands downwards.
    for (int fy : {1, 23, 45}) {
        for (int band = 0; band < 3; ++band) {
            const int fx = 10 + 21 * band;
            EXPECT_TRUE(
                colour_near(at(frame_pixel(0, kWidth, kHeight, fx, fy)), bt601(bands[band])))
                << "frame pixel " << fx << ", " << fy;
        }
    }
}

TEST_F(FlatView, ViewportsOfDifferentModesDrawTheirOwnMeshes) {
    // The sphere is built first and the six-vertex quad last: each viewport
    // must draw from its own buffers, not from the last ones built.
    ASSERT_EQ(init(kLensFrame, kLensFrame), 0) << mgr_->error_text();
    constexpr int kHalf = kWindowWidth / 2;
    set_up_viewport(1, geometry::kModeSphere, kHalf, 0, kHalf, kWindowHeight);
    ASSERT_EQ(mgr_->set_view_angles(1, kRightAngleDeg, 0, 0, kDefaultCylinderRad), 0);
    set_up_viewport(0, geometry::kModeFlat, 0, 0, kHalf, kWindowHeight);
    upload(fisheye_frame());
    ASSERT_EQ(draw_only({0, 1}), 0) << printed_;

    EXPECT_TRUE(
        colour_near(at(frame_pixel(0, kLensFrame, kLensFrame, 32, 32)), bt601(kCentreColour)));
    EXPECT_TRUE(
        colour_near(at(frame_pixel(0, kLensFrame, kLensFrame, 32, 12)), bt601(kLensColour)));
    EXPECT_TRUE(
        colour_near(at(frame_pixel(0, kLensFrame, kLensFrame, 1, 1)), bt601(kOutsideColour)));
    const auto axis = project(1, optical_axis_vertex(1));
    ASSERT_TRUE(axis.has_value());
    EXPECT_TRUE(colour_near(at(*axis), bt601(kCentreColour)));
}

}  // namespace
}  // namespace renderer_test
