// The controller's view rules by numbers worked out by hand: the layouts'
// rectangles in a 1224 x 658 window (the viewer's window on a 1366-wide
// screen), the strip's aspect on both sides of its boundary, the angle
// tables typed a second time (a slip in either copy shows), and the
// automatic pitch.
#include <string>

#include <gtest/gtest.h>

#include "calib_file.h"
#include "layout/view_layout.h"
#include "temp_dir.h"

namespace {

using view_layout::Angles;
using view_layout::Rect;
using view_layout::Viewports;

void expect_rect(const Rect& r, int x, int y, int width, int height) {
    EXPECT_EQ(r.x, x);
    EXPECT_EQ(r.y, y);
    EXPECT_EQ(r.width, width);
    EXPECT_EQ(r.height, height);
}

void expect_angles(const std::optional<Angles>& a, float pitch, float yaw, float roll) {
    ASSERT_TRUE(a.has_value());
    EXPECT_EQ(a->pitch_deg, pitch);
    EXPECT_EQ(a->yaw_deg, yaw);
    EXPECT_EQ(a->roll_deg, roll);
}

TEST(LayoutViewports, EachLayoutSplitsTheWindowWithItsModeAndLimits) {
    const Viewports single = view_layout::layout_viewports(0, 1224, 658);
    ASSERT_EQ(single.count, 1);
    expect_rect(single.rects[0], 0, 0, 1224, 658);
    EXPECT_EQ(single.draw_mode, 2);
    EXPECT_EQ(single.limits_record, 1);

    const Viewports wide = view_layout::layout_viewports(1, 1224, 658);
    ASSERT_EQ(wide.count, 1);
    expect_rect(wide.rects[0], 0, 0, 1224, 658);
    EXPECT_EQ(wide.draw_mode, 5);
    EXPECT_EQ(wide.limits_record, 0);

    // Odd sizes: every half and quarter is an integer division.
    const Viewports two = view_layout::layout_viewports(2, 1225, 659);
    ASSERT_EQ(two.count, 2);
    expect_rect(two.rects[0], 306, 0, 612, 329);
    expect_rect(two.rects[1], 306, 329, 612, 329);
    expect_rect(two.rects[2], 0, 0, 0, 0);
    EXPECT_EQ(two.draw_mode, 2);
    EXPECT_EQ(two.limits_record, 2);

    const Viewports four = view_layout::layout_viewports(3, 1225, 659);
    ASSERT_EQ(four.count, 4);
    expect_rect(four.rects[0], 0, 0, 612, 329);
    expect_rect(four.rects[1], 612, 0, 612, 329);
    expect_rect(four.rects[2], 0, 329, 612, 329);
    expect_rect(four.rects[3], 612, 329, 612, 329);
    EXPECT_EQ(four.draw_mode, 2);
    EXPECT_EQ(four.limits_record, 3);

    const Viewports strip = view_layout::layout_viewports(4, 1224, 658);
    ASSERT_EQ(strip.count, 1);
    EXPECT_EQ(strip.draw_mode, 6);
    EXPECT_EQ(strip.limits_record, view_layout::kNoLimitsRecord);

    EXPECT_EQ(view_layout::layout_viewports(5, 1224, 658).count, 0);
    EXPECT_EQ(view_layout::layout_viewports(-1, 1224, 658).count, 0);
}

TEST(LayoutViewports, TheStripKeepsTheUnwrappedAspectCentred) {
    // 658 x pi = 2067.2 > 1224: full width, 1224 / pi = 389.6 -> 389 high.
    expect_rect(view_layout::strip_rect(1224, 658), 0, 134, 1224, 389);
    // 1000 x pi = 3141.59 <= 4000: full height, 3141 wide.
    expect_rect(view_layout::strip_rect(4000, 1000), 429, 0, 3141, 1000);
    // Either side of the boundary 1000 x pi = 3141.59.
    expect_rect(view_layout::strip_rect(3141, 1000), 0, 0, 3141, 999);
    expect_rect(view_layout::strip_rect(3142, 1000), 0, 0, 3141, 1000);
}

TEST(LayoutViewports, DisplayTypesAndTheFlatVideo) {
    const Viewports t0 = view_layout::display_type_viewports(0, 800, 450);
    EXPECT_EQ(t0.count, 1);
    EXPECT_EQ(t0.draw_mode, 5);
    EXPECT_EQ(t0.limits_record, 0);
    const Viewports t1 = view_layout::display_type_viewports(1, 800, 450);
    EXPECT_EQ(t1.count, 1);
    EXPECT_EQ(t1.draw_mode, 2);
    EXPECT_EQ(t1.limits_record, 1);
    expect_rect(t1.rects[0], 0, 0, 800, 450);
    const Viewports t2 = view_layout::display_type_viewports(2, 800, 450);
    EXPECT_EQ(t2.count, 2);
    expect_rect(t2.rects[1], 200, 225, 400, 225);
    EXPECT_EQ(t2.limits_record, 2);
    const Viewports t3 = view_layout::display_type_viewports(3, 800, 450);
    EXPECT_EQ(t3.count, 1);
    EXPECT_EQ(t3.draw_mode, 6);
    expect_rect(t3.rects[0], 0, 98, 800, 254);  // 800 / pi = 254.6
    const Viewports t4 = view_layout::display_type_viewports(4, 800, 450);
    EXPECT_EQ(t4.count, 4);
    expect_rect(t4.rects[3], 400, 225, 400, 225);
    EXPECT_EQ(t4.limits_record, 3);
    EXPECT_EQ(view_layout::display_type_viewports(5, 800, 450).count, 0);

    const Viewports flat = view_layout::flat_viewports(640, 360);
    EXPECT_EQ(flat.count, 1);
    expect_rect(flat.rects[0], 0, 0, 640, 360);
    EXPECT_EQ(flat.draw_mode, 0);
    EXPECT_EQ(flat.limits_record, view_layout::kNoLimitsRecord);
}

struct AngleRow {
    int table_row;  // the layout, or the number of viewports in use
    int viewport, direction;
    float pitch, yaw, roll;
};

TEST(ViewAngles, DefaultViewsOfTheLayouts) {
    const AngleRow rows[] = {
        {1, 0, 0, -130, 90, 0},   {1, 0, 1, -70, -90, 0}, {1, 0, 2, -90, -90, 0},
        {2, 0, 0, -150, -90, 0},  {2, 0, 1, -31, 99, 0},  {2, 0, 2, -150, 90, 0},
        {2, 1, 0, -150, 90, 0},   {2, 1, 1, -31, -91, 0}, {2, 1, 2, -90, 90, 0},
        {3, 0, 0, -150, 0, 0},    {3, 0, 1, -31, -15, 0}, {3, 0, 2, -30, 0, 0},
        {3, 1, 0, -150, -180, 0}, {3, 1, 1, -31, 176, 0}, {3, 1, 2, -30, -150, 0},
        {3, 2, 0, -150, 90, 0},   {3, 2, 1, -31, -91, 0}, {3, 2, 2, -90, -90, 0},
        {3, 3, 0, -150, -90, 0},  {3, 3, 1, -31, 99, 0},  {3, 3, 2, -150, 45, 0},
    };
    for (const AngleRow& r : rows) {
        SCOPED_TRACE(testing::Message() << r.table_row << "/" << r.viewport << "/" << r.direction);
        expect_angles(view_layout::default_view_angles(r.table_row, r.viewport, r.direction),
                      r.pitch, r.yaw, r.roll);
    }
    // No defaults for the single view, the strip, a viewport the layout
    // does not use or an unknown direction.
    EXPECT_FALSE(view_layout::default_view_angles(0, 0, 1));
    EXPECT_FALSE(view_layout::default_view_angles(4, 0, 1));
    EXPECT_FALSE(view_layout::default_view_angles(1, 1, 1));
    EXPECT_FALSE(view_layout::default_view_angles(2, 2, 1));
    EXPECT_FALSE(view_layout::default_view_angles(3, 4, 1));
    EXPECT_FALSE(view_layout::default_view_angles(3, -1, 1));
    EXPECT_FALSE(view_layout::default_view_angles(3, 0, 3));
}

TEST(ViewAngles, DisplayTypeViewsByViewportCount) {
    const AngleRow rows[] = {
        {1, 0, 0, 70, 0, 0},    {1, 0, 1, -60, -87, 0}, {1, 0, 2, 0, -91, 0},
        {2, 0, 0, 42, 174, 0},  {2, 0, 1, -31, 99, 0},  {2, 0, 2, -132, 92, 0},
        {2, 1, 0, 42, 0, 0},    {2, 1, 1, -31, -91, 0}, {2, 1, 2, 15, -90, 0},
        {4, 0, 0, 25, -160, 0}, {4, 0, 1, -31, -15, 0}, {4, 0, 2, 15, -57, 0},
        {4, 1, 0, 25, -45, 0},  {4, 1, 1, -31, 176, 0}, {4, 1, 2, 15, -111, 0},
        {4, 2, 0, 25, 90, 0},   {4, 2, 1, -31, -91, 0}, {4, 2, 2, 20, -86, 0},
        {4, 3, 0, 25, -90, 0},  {4, 3, 1, -31, 99, 0},  {4, 3, 2, -132, 92, 0},
    };
    for (const AngleRow& r : rows) {
        SCOPED_TRACE(testing::Message() << r.table_row << "/" << r.viewport << "/" << r.direction);
        expect_angles(view_layout::display_type_angles(r.table_row, r.viewport, r.direction),
                      r.pitch, r.yaw, r.roll);
    }
    EXPECT_FALSE(view_layout::display_type_angles(3, 0, 0));
    EXPECT_FALSE(view_layout::display_type_angles(2, 2, 0));
    EXPECT_FALSE(view_layout::display_type_angles(4, 0, -1));
}

TEST(AutomaticPitch, LensPitchTruncatesAndNeedsACalibration) {
    // 242 / (240 / 180) x 0.75 / 1.5 = 90.75
    EXPECT_EQ(view_layout::lens_pitch_deg(480, 1.5f), 90);
    // 242 / (540 / 180) x 0.75 / 1 = 60.5
    EXPECT_EQ(view_layout::lens_pitch_deg(1080, 1.0f), 60);
    // 242 / (960 / 180) x 0.75 / 1.5 = 22.6875
    EXPECT_EQ(view_layout::lens_pitch_deg(1920, 1.5f), 22);
    EXPECT_EQ(view_layout::lens_pitch_deg(0, 1.5f), 0);
    EXPECT_EQ(view_layout::lens_pitch_deg(480, 0.0f), 0);
    EXPECT_EQ(view_layout::lens_pitch_deg(-480, 1.5f), 0);
    EXPECT_EQ(view_layout::lens_pitch_deg(1, 1e-30f), 1000000);  // held, not overflowed

    EXPECT_EQ(view_layout::automatic_pitch_deg(480, 1.5f), 95);
    EXPECT_EQ(view_layout::automatic_pitch_deg(0, 1.5f), 5);
}

TEST(AutomaticPitch, OnlyTheDownwardViewTakesIt) {
    const Angles a{-31.0f, 99.0f, 2.0f};
    const Angles down = view_layout::with_automatic_pitch(a, 1, 95);
    EXPECT_EQ(down.pitch_deg, -95.0f);
    EXPECT_EQ(down.yaw_deg, 99.0f);
    EXPECT_EQ(down.roll_deg, 2.0f);
    EXPECT_EQ(view_layout::with_automatic_pitch(a, 0, 95).pitch_deg, -31.0f);
    EXPECT_EQ(view_layout::with_automatic_pitch(a, 2, 95).pitch_deg, -31.0f);
    EXPECT_EQ(view_layout::with_automatic_pitch(a, 1, 0).pitch_deg, -31.0f);

    EXPECT_EQ(view_layout::wide_automatic_pitch_deg(-130.0f), 110);
    EXPECT_EQ(view_layout::wide_automatic_pitch_deg(-25.5f), 5);
    EXPECT_EQ(view_layout::wide_automatic_pitch_deg(5.7f), 25);
}

TEST(AutomaticPitch, CalibrationFrameHeightOnlyFromAFileThatReads) {
    kvp_test::TempDir dir;
    geometry_test::CalibParams params = geometry_test::dashcam();
    params.width = 1920;
    params.height = 1080;
    EXPECT_EQ(view_layout::calibration_frame_height(
                  geometry_test::write_calib(dir, params, "one.inf").c_str()),
              1080);
    params.cameras = 2;
    EXPECT_EQ(view_layout::calibration_frame_height(
                  geometry_test::write_calib(dir, params, "two.inf").c_str()),
              1080);
    params.cameras = 3;
    EXPECT_EQ(view_layout::calibration_frame_height(
                  geometry_test::write_calib(dir, params, "three.inf").c_str()),
              0);
    const std::string short_file = dir.file("short.inf");
    ASSERT_TRUE(kvp_test::write_file(short_file, std::string(379, '\0')));
    EXPECT_EQ(view_layout::calibration_frame_height(short_file.c_str()), 0);
    EXPECT_EQ(view_layout::calibration_frame_height(dir.file("none.inf").c_str()), 0);
    EXPECT_EQ(view_layout::calibration_frame_height(nullptr), 0);
}

TEST(DefaultZoom, TheDrawModesOwnZoom) {
    // Mode 2: half the distance from the eye (1) to the sphere's 60-degree
    // rim plane (2), whatever the viewport.
    EXPECT_FLOAT_EQ(view_layout::default_zoom(2, 480, 480, 400, 240), 1.5f);
    EXPECT_FLOAT_EQ(view_layout::default_zoom(2, 480, 480, 1224, 658), 1.5f);
    // Mode 5: 0.5 x (4 cos a + 3), a = 90 degrees x width / diagonal.
    EXPECT_NEAR(view_layout::default_zoom(5, 480, 480, 800, 480), 1.943970f, 1e-5f);
    EXPECT_NEAR(view_layout::default_zoom(5, 480, 480, 480, 480), 2.388032f, 1e-5f);
    EXPECT_FLOAT_EQ(view_layout::default_zoom(9, 480, 480, 800, 480), 1.0f);
}

}  // namespace
