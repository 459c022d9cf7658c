// The player's draw path (deduplicated vertices with an element buffer, a
// fragment program specialised to the mesh's texture indices) against the
// reference path (the geometry's arrays drawn as they are with the full
// program): the same scenes, read back from the same window, must match
// pixel for pixel. Also the deduplication and the index classes by
// themselves, without GL.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>

#include "ogl_rendererMgr/ogl_renderer/indexed_mesh.h"
#include "ogl_rendererMgr/stitching_program.h"
#include "renderer_fixture.h"

namespace renderer_test {
namespace {

using sphere_player::ogl::DrawPath;
using sphere_player::ogl::IndexedMesh;
using sphere_player::ogl::kAllBranches;
using sphere_player::ogl::kBranchBlend;
using sphere_player::ogl::kBranchFirstCamera;
using sphere_player::ogl::kBranchLogo;
using sphere_player::ogl::kBranchSecondCamera;
using sphere_player::ogl::MeshArrays;

// --- deduplication and index classes

// A grid of quad cells written as the geometry writes them: six vertices a
// cell, corners (c0, c1, c2), (c2, c1, c3).
struct QuadGrid {
    std::vector<float> positions, texcoords, weights, indices;

    QuadGrid(int columns, int rows, float index = 1.0f) {
        constexpr int kCorners[6] = {0, 1, 2, 2, 1, 3};
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < columns; ++c) {
                for (int corner : kCorners) {
                    const float x = static_cast<float>(c + corner % 2);
                    const float y = static_cast<float>(r + corner / 2);
                    positions.insert(positions.end(), {x, y, 0.0f});
                    texcoords.insert(texcoords.end(), {x / columns, y / rows, 0.0f, 0.0f});
                    weights.push_back(0.0f);
                    indices.push_back(index);
                }
            }
        }
    }

    MeshArrays arrays() const {
        return {{{positions.data(), positions.size()},
                 {texcoords.data(), texcoords.size()},
                 {weights.data(), weights.size()},
                 {indices.data(), indices.size()}}};
    }
    std::size_t vertices() const { return weights.size(); }
};

uint32_t element_at(const IndexedMesh& m, std::size_t i) {
    return m.elements16.empty() ? m.elements32[i] : m.elements16[i];
}

// Every drawn vertex, looked up through its element, equals the original
// bit for bit, and no two unique vertices are equal.
void expect_same_vertices(const MeshArrays& original, const IndexedMesh& m) {
    const std::size_t count = sphere_player::ogl::common_vertex_count(original);
    ASSERT_EQ(m.element_count(), count);
    for (std::size_t i = 0; i < count; ++i) {
        const uint32_t e = element_at(m, i);
        ASSERT_LT(e, m.unique_count);
        for (int slot = 0; slot < sphere_player::ogl::kAttributeCount; ++slot) {
            const std::size_t n = sphere_player::ogl::kSlotComponents[slot];
            ASSERT_EQ(std::memcmp(original[slot].data + i * n, m.arrays[slot].data() + e * n,
                                  n * sizeof(float)),
                      0)
                << "vertex " << i << ", slot " << slot;
        }
    }
}

TEST(IndexedMesh, QuadCellsShareTheirCorners) {
    const QuadGrid grid(3, 2);
    IndexedMesh m;
    ASSERT_TRUE(sphere_player::ogl::index_mesh(grid.arrays(), m));
    EXPECT_EQ(m.unique_count, 4u * 3u);  // (3 + 1) x (2 + 1) corners
    EXPECT_EQ(m.element_type(), static_cast<GLenum>(GL_UNSIGNED_SHORT));
    expect_same_vertices(grid.arrays(), m);
    // In the order of first use: the first cell's corners come first.
    EXPECT_EQ(element_at(m, 0), 0u);
    EXPECT_EQ(element_at(m, 1), 1u);
    EXPECT_EQ(element_at(m, 2), 2u);
    EXPECT_EQ(element_at(m, 3), 2u);
    EXPECT_EQ(element_at(m, 4), 1u);
    EXPECT_EQ(element_at(m, 5), 3u);
}

TEST(IndexedMesh, VerticesDifferingInAnyBitStayApart) {
    QuadGrid grid(2, 1);
    // The second cell's shared corners differ from the first's in one
    // attribute each: signed zero, a texture index, a weight.
    grid.positions[3 * 6 + 2] = -0.0f;  // cell 1, c0 (= cell 0, c1)
    grid.indices[6 + 2] = 0.0f;         // cell 1, c2 (= cell 0, c3)
    grid.indices[6 + 3] = 0.0f;
    grid.weights[6 + 4] = 0.5f;  // cell 1, c1 again
    IndexedMesh m;
    ASSERT_TRUE(sphere_player::ogl::index_mesh(grid.arrays(), m));
    EXPECT_EQ(m.unique_count, 4u + 4u + 1u);
    expect_same_vertices(grid.arrays(), m);
}

TEST(IndexedMesh, MoreThanSixteenBitsOfVerticesUseIntElements) {
    const QuadGrid grid(256, 64);  // 257 x 65 = 16705 corners
    IndexedMesh small;
    ASSERT_TRUE(sphere_player::ogl::index_mesh(grid.arrays(), small));
    EXPECT_EQ(small.element_type(), static_cast<GLenum>(GL_UNSIGNED_SHORT));

    // Every vertex distinct: 3 x 2 x 11000 = 66000 of them.
    std::vector<float> positions(3 * 66000), texcoords(4 * 66000), weights(66000), indices(66000);
    for (std::size_t i = 0; i < weights.size(); ++i) positions[3 * i] = static_cast<float>(i);
    const MeshArrays distinct = {{{positions.data(), positions.size()},
                                  {texcoords.data(), texcoords.size()},
                                  {weights.data(), weights.size()},
                                  {indices.data(), indices.size()}}};
    IndexedMesh large;
    ASSERT_TRUE(sphere_player::ogl::index_mesh(distinct, large));
    EXPECT_EQ(large.unique_count, 66000u);
    EXPECT_EQ(large.element_type(), static_cast<GLenum>(GL_UNSIGNED_INT));
    EXPECT_EQ(large.element_bytes(), 66000u * 4u);
    expect_same_vertices(distinct, large);
}

TEST(IndexedMesh, ArraysOfDifferentVertexCountsAreRefused) {
    QuadGrid grid(2, 2);
    IndexedMesh m;
    MeshArrays arrays = grid.arrays();
    arrays[sphere_player::ogl::kSlotTexcoord].length -= 4;
    EXPECT_FALSE(sphere_player::ogl::index_mesh(arrays, m));
    arrays = grid.arrays();
    arrays[sphere_player::ogl::kSlotPosition].length -= 1;  // not whole vertices
    EXPECT_FALSE(sphere_player::ogl::index_mesh(arrays, m));
    arrays = grid.arrays();
    arrays[sphere_player::ogl::kSlotWeight].data = nullptr;
    EXPECT_FALSE(sphere_player::ogl::index_mesh(arrays, m));
    EXPECT_EQ(m.unique_count, 0u);
    EXPECT_TRUE(m.arrays[0].empty());
}

TEST(IndexClasses, EachIndexTakesTheShadersBranch) {
    using sphere_player::ogl::index_branch;
    EXPECT_EQ(index_branch(geometry::kIndexBlack), 0u);
    EXPECT_EQ(index_branch(geometry::kIndexFirstCamera), kBranchFirstCamera);
    EXPECT_EQ(index_branch(2.0f), kBranchSecondCamera);
    EXPECT_EQ(index_branch(3.0f), kBranchBlend);
    EXPECT_EQ(index_branch(geometry::kIndexLogo), kBranchLogo);
    EXPECT_EQ(index_branch(1.5f), 0u);
    EXPECT_EQ(index_branch(-7.0f), 0u);
    EXPECT_EQ(index_branch(100.0f), kBranchLogo);
    // Where interpolation might cross a boundary, or no class is certain.
    EXPECT_EQ(index_branch(1.095f), kAllBranches);
    EXPECT_EQ(index_branch(3.1f), kAllBranches);
    EXPECT_EQ(index_branch(std::numeric_limits<float>::quiet_NaN()), kAllBranches);
    EXPECT_EQ(index_branch(std::numeric_limits<float>::infinity()), kAllBranches);
}

TEST(IndexClasses, MeshBranchesComeFromWholeTriangles) {
    using sphere_player::ogl::mesh_branches;
    std::vector<float> indices = {1, 1, 1, 0, 0, 0, 4, 4, 4, 1, 1, 1};
    EXPECT_EQ(mesh_branches(indices.data(), indices.size()), kBranchFirstCamera | kBranchLogo);
    EXPECT_EQ(mesh_branches(indices.data(), 6), kBranchFirstCamera);
    // Vertices after the last whole triangle are never drawn.
    indices.push_back(2.0f);
    EXPECT_EQ(mesh_branches(indices.data(), indices.size()), kBranchFirstCamera | kBranchLogo);
    // A triangle whose corners differ sweeps the classes between them.
    indices[7] = 1.0f;
    EXPECT_EQ(mesh_branches(indices.data(), indices.size()), kAllBranches);
    indices[7] = 4.0f;
    indices[0] = indices[1] = indices[2] = 1.099f;
    EXPECT_EQ(mesh_branches(indices.data(), indices.size()), kAllBranches);
    EXPECT_EQ(mesh_branches(indices.data(), 0), 0u);
}

// --- the two paths drawn

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
        window_ = std::make_unique<GlWindow>(kWindowW, kWindowH);
        if (!window_->ok()) GTEST_SKIP() << "no GL context: " << window_->reason();
        calib_path_ = geometry_test::write_calib(dir_, lens_spec());
        for (DrawPath path : {DrawPath::reference, DrawPath::indexed}) {
            auto mgr = std::make_unique<sphere_player::ogl_rendererMgr>();
            mgr->set_message_sink(nullptr);
            mgr->set_draw_path(path);
            managers_.push_back(std::move(mgr));
        }
    }

    void TearDown() override {
        managers_.clear();  // needs the context
        window_.reset();
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
        return window_->read_all();
    }

    // Both paths drawn into the same window: equal to the last bit.
    void expect_same_pixels(const std::string& what) {
        const std::vector<uint8_t> expected = draw(reference());
        const std::vector<uint8_t> actual = draw(indexed());
        ASSERT_EQ(actual.size(), expected.size());
        int differing = 0;
        std::ostringstream first;
        for (std::size_t i = 0; i < expected.size(); i += 4) {
            if (std::memcmp(&expected[i], &actual[i], 4) == 0) continue;
            if (differing++ == 0) {
                const int pixel = static_cast<int>(i / 4);
                first << " first at (" << pixel % kWindowW << ", " << pixel / kWindowW
                      << "): " << int{expected[i]} << "," << int{expected[i + 1]} << ","
                      << int{expected[i + 2]} << " became " << int{actual[i]} << ","
                      << int{actual[i + 1]} << "," << int{actual[i + 2]};
            }
        }
        EXPECT_EQ(differing, 0) << what << ":" << first.str();
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

    // The indexed manager really draws from elements and a specialised
    // program, the reference from the arrays and the full program.
    void expect_paths(unsigned vp, bool elements, unsigned branches) {
        const auto fast = indexed().viewport(vp)->upload();
        const auto ref = reference().viewport(vp)->upload();
        const auto drawn =
            static_cast<std::size_t>(indexed().viewport(vp)->factory().vertex_count());
        EXPECT_EQ(ref.element_type, 0u);
        EXPECT_EQ(ref.vertices, drawn);
        EXPECT_EQ(ref.branches, kAllBranches);
        EXPECT_EQ(fast.element_type != 0, elements) << "viewport " << vp;
        if (elements) {
            EXPECT_LT(fast.vertices, drawn) << "viewport " << vp;
        } else {
            EXPECT_EQ(fast.vertices, drawn) << "viewport " << vp;
        }
        EXPECT_EQ(fast.branches, branches) << "viewport " << vp;
    }

    static constexpr int kMinColours = 8;

    kvp_test::TempDir dir_;
    std::unique_ptr<GlWindow> window_;
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
    expect_paths(0, true, kBranchFirstCamera);
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
}

TEST_F(DrawPaths, SphereWithTheLogoCap) {
    set_up(true, {kWhole0});
    EXPECT_GT(indexed().viewport(0)->factory().grid_report().cap_rows, 0);
    expect_paths(0, true, kBranchFirstCamera | kBranchLogo);
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
        const bool cap = indexed().viewport(0)->factory().grid_report().cap_rows > 0;
        expect_paths(0, !cylinder, kBranchFirstCamera | (cap ? kBranchLogo : 0u));
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
    expect_paths(3, true, kBranchFirstCamera);
    expect_same_pixels("four viewports");
    // The same meshes drawn again after other viewports bound theirs.
    set_angles(2, {-90, 0, 0, kCylinderRad});
    expect_same_pixels("four viewports, viewport 2 turned");
}

}  // namespace
}  // namespace renderer_test
