// The manager's viewport bookkeeping and failures: rectangles, the drawing
// order 0, 1, 3, 2, refused indices and modes, and the GL error texts.
#include "renderer_fixture.h"

namespace renderer_test {
namespace {

// Four viewports of a 4:3 frame in the quarters of the 4:3 window, flat, so
// each quarter is filled by the frame: 0 bottom left, 1 bottom right, 2 top
// left, 3 top right.
class Quarters : public RendererTest {
protected:
    static constexpr int kW = kWindowWidth / 2, kH = kWindowHeight / 2;
    static constexpr Yuv kColour = {120, 90, 170};

    void SetUp() override {
        RendererTest::SetUp();
        if (IsSkipped()) return;
        ASSERT_EQ(init(kW, kH), 0) << mgr_->error_text();
        upload(solid_frame(kW, kH, kColour));
    }

    void set_up(unsigned vp) {
        set_up_viewport(vp, geometry::kModeFlat, (vp % 2) * kW, (vp / 2) * kH, kW, kH);
    }

    static WindowPoint centre_of(unsigned vp) {
        return {static_cast<int>((vp % 2) * kW + kW / 2), static_cast<int>((vp / 2) * kH + kH / 2)};
    }

    // Which quarters show the frame.
    std::array<bool, 4> drawn() const {
        std::array<bool, 4> result{};
        for (unsigned vp = 0; vp < 4; ++vp) {
            const Rgb c = at(centre_of(vp));
            result[vp] = colour_near(c, bt601(kColour));
            EXPECT_TRUE(result[vp] || colour_near(c, kBlack)) << "quarter " << vp;
        }
        return result;
    }
};

TEST_F(Quarters, ViewportsLandInTheirRectangles) {
    for (unsigned vp = 0; vp < 4; ++vp) set_up(vp);
    ASSERT_EQ(draw_only({0, 1, 2, 3}), 0) << printed_;
    EXPECT_EQ(drawn(), (std::array<bool, 4>{true, true, true, true}));

    // Only viewport 1, moved to the top right quarter; its edges are exact.
    ASSERT_EQ(mgr_->set_viewport_rect(1, kW, kH, kW, kH), 0);
    ASSERT_EQ(draw_only({1}), 0);
    EXPECT_EQ(drawn(), (std::array<bool, 4>{false, false, false, true}));
    EXPECT_TRUE(colour_near(at({kW, kH}), bt601(kColour)));
    EXPECT_TRUE(colour_near(at({2 * kW - 1, 2 * kH - 1}), bt601(kColour)));
    EXPECT_TRUE(colour_near(at({kW - 1, kH}), kBlack));
    EXPECT_TRUE(colour_near(at({kW, kH - 1}), kBlack));
}

TEST_F(Quarters, ViewportTwoIsDrawnAfterViewportThree) {
    for (unsigned vp : {0u, 1u, 3u}) set_up(vp);
    printed_.clear();
    EXPECT_EQ(draw_only({0, 1, 2, 3}), 1);
    EXPECT_EQ(printed_, "error: vp 2 vertex is not inited, please set draw mode first;\n");
    EXPECT_STREQ(mgr_->error_text(), printed_.c_str());
    EXPECT_EQ(drawn(), (std::array<bool, 4>{true, true, false, true}));
}

TEST_F(Quarters, AnUnbuiltViewportThreeStopsViewportTwo) {
    for (unsigned vp : {0u, 1u, 2u}) set_up(vp);
    printed_.clear();
    EXPECT_EQ(draw_only({0, 1, 2, 3}), 1);
    EXPECT_EQ(printed_, "error: vp 3 vertex is not inited, please set draw mode first;\n");
    EXPECT_EQ(drawn(), (std::array<bool, 4>{true, true, false, false}));
    // Disabled, viewport 3 is skipped and viewport 2 is drawn.
    EXPECT_EQ(draw_only({0, 1, 2}), 0);
    EXPECT_EQ(drawn(), (std::array<bool, 4>{true, true, true, false}));
}

TEST_F(Quarters, SameModeAgainResetsZoomWithoutRebuilding) {
    set_up(0);
    EXPECT_EQ(printed_.find("DOR_OglRenderer::alloc_buffer_object()_End:\n") != std::string::npos,
              true);
    float zoom = 10.0f;
    ASSERT_EQ(mgr_->set_zoom(0, &zoom), 0);
    EXPECT_FLOAT_EQ(zoom, geometry::kPlayerZoomMax);
    EXPECT_FLOAT_EQ(mgr_->zoom(0), geometry::kPlayerZoomMax);

    printed_.clear();
    ASSERT_EQ(mgr_->set_draw_mode(0, geometry::kModeFlat), 0);
    EXPECT_EQ(printed_, "");
    EXPECT_FLOAT_EQ(mgr_->zoom(0), mgr_->default_zoom(0));
}

TEST_F(RendererTest, ViewportIndexFourIsRefusedEverywhere) {
    ASSERT_EQ(init(kLensFrame, kLensFrame), 0) << mgr_->error_text();
    const std::string message = "error: invalid viewport index 4;\n";
    float zoom = 2.0f, pitch = 0.0f;
    auto expect_refused = [&](int rc, const char* what) {
        EXPECT_EQ(rc, sphere_player::kRendererBadViewport) << what;
        EXPECT_EQ(printed_, message) << what;
        EXPECT_EQ(mgr_->error_text(), message) << what;
        printed_.clear();
    };
    printed_.clear();
    expect_refused(mgr_->set_viewport_rect(4, 0, 0, 10, 10), "rect");
    expect_refused(mgr_->set_draw_mode(4, geometry::kModeSphere), "mode");
    expect_refused(mgr_->set_view_angles(4, 1, 2, 3, 0), "angles");
    expect_refused(mgr_->set_zoom(4, &zoom), "zoom");
    expect_refused(static_cast<int>(mgr_->zoom(4)), "get zoom");
    expect_refused(static_cast<int>(mgr_->default_zoom(4)), "default zoom");
    expect_refused(mgr_->view_angles(4, &pitch, nullptr, nullptr), "get angles");
    EXPECT_FLOAT_EQ(zoom, 2.0f);
}

TEST_F(RendererTest, RefusedDrawModesLeaveTheViewportAsItWas) {
    ASSERT_EQ(init(kLensFrame, kLensFrame), 0) << mgr_->error_text();
    set_up_viewport(0, geometry::kModeSphere, 0, 0, kWindowWidth, kWindowHeight);
    printed_.clear();
    EXPECT_EQ(mgr_->set_draw_mode(0, 7), sphere_player::kRendererBadDrawMode);
    EXPECT_EQ(printed_, "error: invalid draw mode 7;\n");
    EXPECT_EQ(mgr_->viewport(0)->camera().draw_mode, geometry::kModeSphere);
    EXPECT_EQ(draw_only({0}), 0);
}

TEST_F(RendererTest, TwoCameraSphereCannotBeBuilt) {
    calib_path_ = geometry_test::write_calib(dir_, lens_params(2), "two.inf");
    ASSERT_EQ(init(kLensFrame, kLensFrame), 0) << mgr_->error_text();
    ASSERT_EQ(mgr_->set_viewport_rect(0, 0, 0, kWindowWidth, kWindowHeight), 0);
    printed_.clear();
    EXPECT_EQ(mgr_->set_draw_mode(0, geometry::kModeSphere), 1);
    EXPECT_EQ(printed_, "error: vp 0 draw mode 2 has no texture mapping;\n");
    upload(fisheye_frame());
    EXPECT_EQ(draw_only({0}), 1);
    // The flat frame needs no lens mapping.
    EXPECT_EQ(mgr_->set_draw_mode(0, geometry::kModeFlat), 0);
    EXPECT_EQ(draw_only({0}), 0);
}

TEST_F(RendererTest, InitialisationFailuresLeaveTheirTexts) {
    EXPECT_EQ(mgr_->init((dir_.path() + "/missing.inf").c_str(), false, -1, false, kLensFrame,
                         kLensFrame, nullptr, 0, 0, 0),
              geometry::kCodeCalibrationFile);
    EXPECT_NE(printed_.find("error: can not open calibration file"), std::string::npos);

    // A frame wider than any texture: the plane allocation fails.
    EXPECT_EQ(init(1 << 20, kLensFrame), 1);
    EXPECT_STREQ(mgr_->error_text(), "error in oglMgr(line 294): code 1281\n");

    // A logo without a size.
    const std::vector<uint8_t> logo(3, 0);
    EXPECT_EQ(mgr_->init(calib_path_.c_str(), true, -1, false, kLensFrame, kLensFrame, logo.data(),
                         -1, -1, 0),
              1);
    EXPECT_STREQ(mgr_->error_text(), "error in oglMgr(line 309): code 1281\n");
}

TEST_F(RendererTest, UploadRefusesFramesItCannotHold) {
    ASSERT_EQ(init(kLensFrame, kLensFrame), 0) << mgr_->error_text();
    const Frame420 larger = solid_frame(2 * kLensFrame, kLensFrame, kLensColour);
    printed_.clear();
    EXPECT_EQ(mgr_->upload_frame(larger.y.data(), larger.u.data(), larger.v.data(), larger.width,
                                 larger.height),
              1);
    EXPECT_EQ(printed_,
              "error in opengl dor_oglPlayer/ogl_rendererMgr/ogl_rendererMgr.cpp(line 204): "
              "code 1281\n");
    const Frame420 frame = fisheye_frame();
    EXPECT_EQ(mgr_->upload_frame(frame.y.data(), nullptr, frame.v.data(), kLensFrame, kLensFrame),
              1);
    upload(frame);
}

}  // namespace
}  // namespace renderer_test
