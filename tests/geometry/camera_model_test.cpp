// The camera model (sphere_to_image) and the cylinder unwrap, probed at
// points whose results follow by hand from the model's definition; where a
// value needs the lens polynomial, it was computed once with a float32
// emulation of the model in Python (every operation rounded through
// struct.pack('f')) and is quoted with the inputs beside it.
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "calib_file.h"
#include "geometry/vertex_factory.h"
#include "temp_dir.h"

namespace {

using geometry::ImagePoint;
using geometry::Variant;
using geometry::VertexFactory;
using geometry_test::CalibParams;

class CameraModel : public testing::Test {
protected:
    // Loads `params` into a fresh factory of `variant`.
    VertexFactory& load(const CalibParams& params, Variant variant = Variant::player,
                        int32_t orientation = 0) {
        factory_ = std::make_unique<VertexFactory>(variant);
        factory_->set_message_sink(nullptr);
        const std::string path = geometry_test::write_calib(dir_, params);
        EXPECT_EQ(factory_->set_calibration(path.c_str(), orientation, false), 0);
        return *factory_;
    }

    kvp_test::TempDir dir_;
    std::unique_ptr<VertexFactory> factory_;
};

// 1920 x 1080, dashcam polynomial; the optical axis at latitude 0,
// longitude 0. The player's circle: min(879.32, 960, 540) - 1 = 539.
CalibParams forward_1080p() {
    CalibParams params = geometry_test::dashcam();
    params.set_all_rotations(geometry_test::kAxisForward);
    params.width = 1920;
    params.height = 1080;
    return params;
}

// A lens that sees all around (t_max 3.2 > pi) on a 5000 x 5000 frame with
// rho = 700 t.
CalibParams all_around() {
    CalibParams params;
    params.set_all_rotations(geometry_test::kAxisForward);
    params.width = params.height = 5000;
    params.t_max = 3.2f;
    return params;
}

TEST_F(CameraModel, OpticalAxisMapsToTheCentrePixel) {
    const ImagePoint p = load(forward_1080p()).sphere_to_image(0.0f, 0.0f);
    EXPECT_EQ(p.u, 0.5f);
    EXPECT_EQ(p.v, 0.5f);
    EXPECT_EQ(p.valid, 1);
    EXPECT_EQ(p.weight, 539.0f);  // R - 0, nearer than every frame edge

    // The converter maps the axis onto the file's own centre (300, 400);
    // the weight is the distance to the left edge.
    CalibParams params = forward_1080p();
    params.set_all_centres(300.0f, 400.0f);
    const ImagePoint c = load(params, Variant::converter).sphere_to_image(0.0f, 0.0f);
    EXPECT_EQ(c.u, 300.0f / 1920.0f);
    EXPECT_EQ(c.v, 1.0f - 400.0f / 1080.0f);
    EXPECT_EQ(c.valid, 1);
    EXPECT_EQ(c.weight, 300.0f);
}

TEST_F(CameraModel, BehindTheCameraIsValidOnlyForLensesWiderThanAHalfSphere) {
    // Longitude 2 rad: q_z = 700 cos 2 < 0, so t = pi - asin(sin 2) = 2.
    const ImagePoint narrow = load(forward_1080p()).sphere_to_image(0.0f, 2.0f);
    EXPECT_EQ(narrow.valid, 0);
    EXPECT_NEAR(narrow.u, 1.03375006f, 1e-6f);  // x = 960 + 1024.8, off the frame
    EXPECT_EQ(narrow.weight, 0.0f);

    // rho = 700 x 2 = 1400: x = 2500 + 1400 = 3900; weight = min(2239 - 1400, 5000 - 3900).
    const ImagePoint wide = load(all_around()).sphere_to_image(0.0f, 2.0f);
    EXPECT_EQ(wide.valid, 1);
    EXPECT_NEAR(wide.u, 0.78f, 1e-6f);
    EXPECT_NEAR(wide.v, 0.5f, 1e-6f);
    EXPECT_NEAR(wide.weight, 839.0f, 1e-3f);
}

TEST_F(CameraModel, TheLensAngleLimitRefusesEvenInsideTheCircle) {
    // rho = 700 (t - 0.5 t^3) falls beyond t = 0.816, so just past t_max = 1
    // the point lies inside the circle R = rho(1) = 350 and only the angle
    // refuses it. Converter: centre (2000, 2000) from the file, R unfitted.
    CalibParams params;
    params.set_all_rotations(geometry_test::kAxisForward);
    params.set_all_centres(2000.0f, 2000.0f);
    params.k3 = -0.5f;
    params.t_max = 1.0f;
    params.width = params.height = 4000;
    VertexFactory& f = load(params, Variant::converter);
    EXPECT_EQ(f.circle_radius(), 350.0f);

    const ImagePoint inside = f.sphere_to_image(0.0f, 0.5f);  // rho(0.5) = 306.25
    EXPECT_EQ(inside.valid, 1);
    EXPECT_NEAR(inside.u, 2306.25f / 4000.0f, 1e-6f);
    EXPECT_NEAR(inside.weight, 43.75f, 1e-3f);

    const ImagePoint beyond = f.sphere_to_image(0.0f, 1.001f);  // rho = 349.65 < 350
    EXPECT_EQ(beyond.valid, 0);
    EXPECT_NEAR(beyond.weight, 0.351f, 1e-3f);  // R - d > 0: inside the circle
}

TEST_F(CameraModel, PixelsOnTheFirstOrLastColumnOrRowBoundaryAreInvalid) {
    // The optical axis lands exactly on the file's centre (converter): a
    // pixel is valid when its integer part lies in 1 .. W - 1 (1 .. H - 1).
    struct Case {
        float cx, cy;
        int32_t valid;
        float weight;
    };
    const Case cases[] = {
        {0.5f, 500.0f, 0, 0.5f},    {1.0f, 500.0f, 1, 1.0f},    {999.5f, 500.0f, 1, 0.5f},
        {1000.0f, 500.0f, 0, 0.0f}, {500.0f, 0.5f, 0, 0.5f},    {500.0f, 1.0f, 1, 1.0f},
        {500.0f, 999.9f, 1, 0.1f},  {500.0f, 1000.0f, 0, 0.0f}, {-0.5f, 500.0f, 0, 0.0f},
    };
    for (const Case& c : cases) {
        CalibParams params;
        params.set_all_rotations(geometry_test::kAxisForward);
        params.set_all_centres(c.cx, c.cy);
        params.width = params.height = 1000;
        const ImagePoint p = load(params, Variant::converter).sphere_to_image(0.0f, 0.0f);
        SCOPED_TRACE(testing::Message() << "centre " << c.cx << ", " << c.cy);
        EXPECT_EQ(p.valid, c.valid);
        EXPECT_NEAR(p.weight, c.weight, 1e-4f);
        EXPECT_EQ(p.u, c.cx / 1000.0f);
    }
}

TEST_F(CameraModel, ADirectionLongerThanTheScaleIsClampedToTheHorizonNotNaN) {
    // A file rotation scaled by 2 makes s = 2 at longitude pi/2: clamped to
    // 1, t = asin(1), rho = 700 x 1.5707964 = 1099.557; x = 2500 + rho.
    CalibParams params = all_around();
    std::array<float, 9> doubled = geometry_test::kAxisForward;
    for (float& v : doubled) v *= 2.0f;
    params.set_all_rotations(doubled);
    const ImagePoint p = load(params).sphere_to_image(0.0f, 1.5707964f);
    EXPECT_TRUE(std::isfinite(p.u) && std::isfinite(p.v) && std::isfinite(p.weight));
    EXPECT_NEAR(p.u, 0.7199115f, 1e-6f);
    EXPECT_EQ(p.valid, 1);
}

TEST_F(CameraModel, CylinderUnwrapWalksTheImageCircle) {
    // Player, 1920 x 1080: centre (960, 540), R = 539.
    VertexFactory& f = load(forward_1080p(), Variant::player, 0);
    auto expect_point = [&f](int32_t column, int32_t row, float rotation, float s, float t) {
        const geometry::TexCoord c = f.circle_unwrap_point(column, row, rotation);
        SCOPED_TRACE(testing::Message() << "column " << column << " row " << row);
        EXPECT_NEAR(c.s, s, 1e-6f);
        EXPECT_NEAR(c.t, t, 1e-6f);
    };
    // Orientation 0: row 0 is the rim, row 20 the centre.
    expect_point(0, 0, 0.0f, 1499.0f / 1920.0f, 0.5f);
    expect_point(20, 0, 0.0f, 0.5f, 1.0f - 1079.0f / 1080.0f);  // a quarter turn down
    expect_point(40, 0, 0.0f, 421.0f / 1920.0f, 0.5f);
    expect_point(60, 0, 0.0f, 0.5f, 1.0f - 1.0f / 1080.0f);
    expect_point(0, 0, 1.5707964f, 0.5f, 1.0f - 1079.0f / 1080.0f);
    expect_point(0, 20, 0.0f, 0.5f, 0.5f);
    expect_point(80, 0, 0.0f, 1499.0f / 1920.0f, 0.5f);  // a full turn

    // Any other orientation: row 0 is the centre.
    VertexFactory& g = load(forward_1080p(), Variant::player, 1);
    const geometry::TexCoord centre = g.circle_unwrap_point(0, 0, 0.0f);
    EXPECT_NEAR(centre.s, 0.5f, 1e-6f);
    const geometry::TexCoord half = g.circle_unwrap_point(0, 10, 0.0f);
    EXPECT_NEAR(half.s, (960.0f + 269.5f) / 1920.0f, 1e-6f);

    // Converter, centre (100, 540), unfitted R = 879.32: the rim leaves the
    // frame on the left and is marked (-1, -1).
    CalibParams params = forward_1080p();
    params.set_all_centres(100.0f, 540.0f);
    VertexFactory& c = load(params, Variant::converter, 0);
    const geometry::TexCoord right = c.circle_unwrap_point(0, 0, 0.0f);
    EXPECT_NEAR(right.s, (100.0f + 879.32f) / 1920.0f, 1e-6f);
    const geometry::TexCoord left = c.circle_unwrap_point(40, 0, 0.0f);
    EXPECT_EQ(left.s, -1.0f);
    EXPECT_EQ(left.t, -1.0f);
}

}  // namespace
