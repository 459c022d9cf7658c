// The player's draw path (deduplicated vertices with an element buffer,
// runs drawn with programs specialised to their texture indices, chunks out
// of view skipped) against the reference path (the geometry's arrays drawn
// as they are with the full program): the same scenes, read back from the
// same window, must match pixel for pixel.
#include <algorithm>

#include "ogl_rendererMgr/stitching_program.h"
#include "renderer_fixture.h"

namespace renderer_test {
namespace {

using sphere_player::ogl::DrawPath;
using sphere_player::ogl::kAllBranches;
using sphere_player::ogl::kBranchFirstCamera;
using sphere_player::ogl::kBranchLogo;

constexpr int kWindowW = 192;
constexpr int kWindowH = 144;
constexpr int kLogoSize = 14;

struct View {
    unsigned vp;
    int mode;
    int x, y, width, height;
};

struct Angles {
    float pitch, yaw, roll, cylinder_rad;
};

// A frame with detail everywhere, so that any shift of a texture coordinate
// or a triangle edge changes some read-back pixel.
Frame420 detailed_frame() {
    return Frame420::make(kLensFrame, kLensFrame, [](int x, int y) {
        return Yuv{16 + (x * 37 + y * 11) % 220, 60 + 2 * x, 60 + 2 * y};
    });
}

std::vector<uint8_t> logo_pixels() {
    std::vector<uint8_t> bgr;
    for (int y = 0; y < kLogoSize; ++y) {
        for (int x = 0; x < kLogoSize; ++x) {
            bgr.insert(bgr.end(), {static_cast<uint8_t>(18 * x), static_cast<uint8_t>(18 * y),
                                   static_cast<uint8_t>(9 * (x + y))});
        }
    }
    return bgr;
}

class DrawPaths : public ::testing::Test {
protected:
    void SetUp() override {
        surface_ = std::make_unique<GlSurface>(kWindowW, kWindowH);
        if (!surface_->ok()) GTEST_SKIP() << "no GL context: " << surface_->reason();
        calib_path_ = geometry_test::write_calib(dir_, lens_params());
        for (DrawPath path : {DrawPath::reference, DrawPath::indexed}) {
            auto mgr = std::make_unique<sphere_player::ogl_rendererMgr>();
            mgr->set_message_sink(nullptr);
            mgr->set_draw_path(path);
            managers_.push_back(std::move(mgr));
        }
    }

    void TearDown() override {
        managers_.clear();  // needs the context
        surface_.reset();
    }

    sphere_player::ogl_rendererMgr& reference() { return *managers_[0]; }
    sphere_player::ogl_rendererMgr& indexed() { return *managers_[1]; }

    void set_up(bool logo, const std::vector<View>& views) {
        const std::vector<uint8_t> bgr = logo_pixels();
        const Frame420 frame = detailed_frame();
        for (auto& mgr : managers_) {
            ASSERT_EQ(mgr->init(calib_path_.c_str(), logo, -1, false, kLensFrame, kLensFrame,
                                logo ? bgr.data() : nullptr, kLogoSize, kLogoSize, 0),
                      0)
                << mgr->error_text();
            for (const View& v : views) {
                ASSERT_EQ(mgr->set_viewport_rect(v.vp, v.x, v.y, v.width, v.height), 0);
                ASSERT_EQ(mgr->set_draw_mode(v.vp, v.mode), 0) << mgr->error_text();
            }
            ASSERT_EQ(mgr->upload_frame(frame.y.data(), frame.u.data(), frame.v.data(), frame.width,
                                        frame.height),
                      0);
        }
        views_ = views;
    }

    void set_angles(unsigned vp, Angles a) {
        for (auto& mgr : managers_) {
            ASSERT_EQ(mgr->set_view_angles(vp, a.pitch, a.yaw, a.roll, a.cylinder_rad), 0);
        }
    }

    void set_zoom(unsigned vp, float zoom) {
        for (auto& mgr : managers_) {
            float z = zoom;
            ASSERT_EQ(mgr->set_zoom(vp, &z), 0);
        }
    }

    std::vector<uint8_t> draw(sphere_player::ogl_rendererMgr& mgr) {
        bool enabled[sphere_player::kViewportCount] = {false, false, false, false};
        for (const View& v : views_) enabled[v.vp] = true;
        EXPECT_EQ(mgr.draw(enabled), 0) << mgr.error_text();
        return surface_->read_all();
    }

    // Both paths drawn into the same window: equal to the last bit.
    void expect_same_pixels(const std::string& what) {
        const std::vector<uint8_t> expected = draw(reference());
        const std::vector<uint8_t> actual = draw(indexed());
        EXPECT_TRUE(same_pixels(expected, actual, kWindowW)) << what;
        if (distinct_colours(expected) < kMinColours) {
            ADD_FAILURE() << what << ": the scene shows too little to compare";
        }
    }

    static int distinct_colours(const std::vector<uint8_t>& rgba) {
        std::vector<uint32_t> colours;
        for (std::size_t i = 0; i < rgba.size(); i += 4) {
            colours.push_back(rgba[i] | rgba[i + 1] << 8 | rgba[i + 2] << 16);
        }
        std::sort(colours.begin(), colours.end());
        return static_cast<int>(std::unique(colours.begin(), colours.end()) - colours.begin());
    }

    // The indexed manager really draws from elements and specialised
    // programs, the reference from the arrays with the full program.
    void expect_paths(unsigned vp, bool elements, const std::vector<unsigned>& programs) {
        const auto fast = indexed().viewport(vp)->upload();
        const auto ref = reference().viewport(vp)->upload();
        const auto drawn =
            static_cast<std::size_t>(indexed().viewport(vp)->factory().vertex_count());
        EXPECT_EQ(ref.element_type, 0u);
        EXPECT_EQ(ref.vertices, drawn);
        EXPECT_EQ(ref.run_programs, std::vector<unsigned>{kAllBranches});
        EXPECT_EQ(fast.element_type != 0, elements) << "viewport " << vp;
        if (elements) {
            EXPECT_LT(fast.vertices, drawn) << "viewport " << vp;
        } else {
            EXPECT_EQ(fast.vertices, drawn) << "viewport " << vp;
        }
        EXPECT_EQ(fast.run_programs, programs) << "viewport " << vp;
        EXPECT_EQ(fast.chunks != 0, elements) << "viewport " << vp;
        EXPECT_EQ(ref.chunks, 0u);
    }

    static constexpr int kMinColours = 8;

    kvp_test::TempDir dir_;
    std::unique_ptr<GlSurface> surface_;
    std::vector<std::unique_ptr<sphere_player::ogl_rendererMgr>> managers_;
    std::string calib_path_;
    std::vector<View> views_;
};

constexpr float kCylinderRad = geometry::kCylinderDefaultRotationRad;
const View kWhole0{0, geometry::kModeSphere, 0, 0, kWindowW, kWindowH};

TEST_F(DrawPaths, SphereUpToItsGridStop) {
    set_up(false, {kWhole0});
    // The rows past the lens circle are drawn black (index 0).
    EXPECT_GE(indexed().viewport(0)->factory().grid_report().stop_row, 0);
    expect_paths(0, true, {kBranchFirstCamera, 0});
    // Nearly every corner is shared by four cells, six vertices each.
    EXPECT_LT(indexed().viewport(0)->upload().vertices * 5,
              static_cast<std::size_t>(indexed().viewport(0)->factory().vertex_count()));
    for (Angles a : {Angles{90, 0, 0, kCylinderRad}, Angles{10, 0, 0, kCylinderRad},
                     Angles{-20, 45, 0, kCylinderRad}, Angles{35, 120, 15, kCylinderRad}}) {
        set_angles(0, a);
        expect_same_pixels("pitch " + std::to_string(a.pitch) + " yaw " + std::to_string(a.yaw));
    }
    for (float zoom : {0.3f, 2.5f}) {
        set_zoom(0, zoom);
        expect_same_pixels("zoom " + std::to_string(zoom));
    }
    // The narrow view skips most of the sphere; the reference draws it all.
    const auto all = static_cast<std::size_t>(indexed().viewport(0)->factory().vertex_count());
    EXPECT_EQ(reference().viewport(0)->last_drawn_vertices(), all);
    EXPECT_LT(indexed().viewport(0)->last_drawn_vertices(), all / 4);
    EXPECT_GT(indexed().viewport(0)->last_drawn_vertices(), 0u);
}

TEST_F(DrawPaths, SphereWithTheLogoCap) {
    set_up(true, {kWhole0});
    EXPECT_GT(indexed().viewport(0)->factory().grid_report().cap_rows, 0);
    expect_paths(0, true, {kBranchFirstCamera, kBranchLogo});
    for (Angles a : {Angles{-90, 0, 0, kCylinderRad}, Angles{-15, 30, 0, kCylinderRad},
                     Angles{60, -70, 5, kCylinderRad}}) {
        set_angles(0, a);
        expect_same_pixels("pitch " + std::to_string(a.pitch) + " yaw " + std::to_string(a.yaw));
    }
}

TEST_F(DrawPaths, EveryOtherDrawMode) {
    for (int mode :
         {geometry::kModeFlat, geometry::kModePanorama, geometry::kModeSphereSurface,
          geometry::kModeSphereOrtho, geometry::kModeSphereWide, geometry::kModeCylinder}) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        set_up(mode != geometry::kModeFlat, {{0, mode, 0, 0, kWindowW, kWindowH}});
        const bool cylinder = mode == geometry::kModeCylinder;
        const bool grid = !cylinder && mode != geometry::kModeFlat;
        expect_paths(0, !cylinder,
                     grid ? std::vector<unsigned>{kBranchFirstCamera, kBranchLogo}
                          : std::vector<unsigned>{kBranchFirstCamera});
        set_angles(0, {-40, 30, 0, kCylinderRad});
        expect_same_pixels("first angles");
        set_angles(0, {20, -100, 10, kCylinderRad + 2.0f});
        expect_same_pixels("second angles");
    }
}

TEST_F(DrawPaths, FourViewportsInTheirOrder) {
    constexpr int w = kWindowW / 2, h = kWindowH / 2;
    // Viewport 2 overlaps viewport 3 (drawn before it) by a column.
    set_up(true, {{0, geometry::kModeSphere, 0, 0, w, h},
                  {1, geometry::kModeSphereWide, w, 0, w, h},
                  {2, geometry::kModeSphere, 0, h, w + 1, h},
                  {3, geometry::kModeFlat, w, h, w, h}});
    for (unsigned vp = 0; vp < 3; ++vp) {
        set_angles(
            vp, {-30.0f * static_cast<float>(vp), 90.0f * static_cast<float>(vp), 0, kCylinderRad});
    }
    expect_paths(3, true, {kBranchFirstCamera});
    expect_paths(1, true, {kBranchFirstCamera, kBranchLogo});
    expect_same_pixels("four viewports");
    // The same meshes drawn again after other viewports bound theirs.
    set_angles(2, {-90, 0, 0, kCylinderRad});
    expect_same_pixels("four viewports, viewport 2 turned");
}

}  // namespace
}  // namespace renderer_test
