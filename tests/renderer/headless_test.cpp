// The renderer in a headless EGL context, as its tests run without X (the
// "headless." copies of every renderer test): the same scene drawn in a
// window and into the headless context's framebuffer comes out the same.
#include "renderer_fixture.h"

namespace renderer_test {
namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 120;
constexpr int kLogoSize = 14;
constexpr float kCylinderRad = geometry::kCylinderDefaultRotationRad;

struct View {
    unsigned vp;
    int mode;
    float pitch, yaw;
};

// One viewport per quarter, each another draw mode, with the logo cap.
constexpr View kViews[] = {{0, geometry::kModeSphere, -60.0f, 30.0f},
                           {1, geometry::kModeFlat, 0.0f, 0.0f},
                           {2, geometry::kModeCylinder, 0.0f, 0.0f},
                           {3, geometry::kModeSphereWide, -100.0f, -45.0f}};

// A frame with detail everywhere, so that any shift shows.
Frame420 detailed_frame() {
    return Frame420::make(kLensFrame, kLensFrame, [](int x, int y) {
        return Yuv{16 + (x * 29 + y * 13) % 220, 40 + 3 * x, 40 + 3 * y};
    });
}

// The scene drawn into a fresh surface of `kind`, read back; empty with
// the reason in `why` when the surface or the renderer failed.
std::vector<uint8_t> draw_scene(GlSurface::Kind kind, std::string& why) {
    GlSurface surface(kWidth, kHeight, kind);
    if (!surface.ok()) {
        why = surface.reason();
        return {};
    }
    kvp_test::TempDir dir;
    const std::string calib = geometry_test::write_calib(dir, lens_params());
    const std::vector<uint8_t> logo(3 * kLogoSize * kLogoSize, 200);
    sphere_player::ogl_rendererMgr mgr;
    mgr.set_message_sink(nullptr);
    if (mgr.init(calib.c_str(), true, -1, false, kLensFrame, kLensFrame, logo.data(), kLogoSize,
                 kLogoSize, 0) != 0) {
        why = mgr.error_text();
        return {};
    }
    const int w = kWidth / 2, h = kHeight / 2;
    for (const View& v : kViews) {
        if (mgr.set_viewport_rect(v.vp, (v.vp % 2) * w, (v.vp / 2) * h, w, h) != 0 ||
            mgr.set_draw_mode(v.vp, v.mode) != 0 ||
            mgr.set_view_angles(v.vp, v.pitch, v.yaw, 0.0f, kCylinderRad) != 0) {
            why = mgr.error_text();
            return {};
        }
    }
    const Frame420 frame = detailed_frame();
    const bool all[sphere_player::kViewportCount] = {true, true, true, true};
    if (mgr.upload_frame(frame.y.data(), frame.u.data(), frame.v.data(), frame.width,
                         frame.height) != 0 ||
        mgr.draw(all) != 0) {
        why = mgr.error_text();
        return {};
    }
    return surface.read_all();
}

TEST(HeadlessContext, DrawsWhatTheWindowShows) {
    if (GlSurface::default_kind() != GlSurface::Kind::window) {
        GTEST_SKIP() << "no X display to compare with";
    }
    std::string why;
    const std::vector<uint8_t> window = draw_scene(GlSurface::Kind::window, why);
    if (window.empty()) GTEST_SKIP() << "no window: " << why;
    const std::vector<uint8_t> headless = draw_scene(GlSurface::Kind::headless, why);
    if (headless.empty()) GTEST_SKIP() << "no headless context: " << why;
    // Colour only: a window may have no alpha channel.
    EXPECT_TRUE(same_pixels(window, headless, kWidth, 3));
    // Every quarter drew something: black and at least one colour each.
    for (unsigned vp = 0; vp < 4; ++vp) {
        const int x = (vp % 2) * kWidth / 2 + kWidth / 4, y = (vp / 2) * kHeight / 2;
        bool coloured = false;
        for (int row = y; row < y + kHeight / 2 && !coloured; ++row) {
            const uint8_t* p = &window[4 * (static_cast<std::size_t>(row) * kWidth + x)];
            coloured = p[0] != 0 || p[1] != 0 || p[2] != 0;
        }
        EXPECT_TRUE(coloured) << "viewport " << vp << " is black down its middle column";
    }
}

}  // namespace
}  // namespace renderer_test
