// The mesh forms of the player's draw path, without GL: deduplicated
// vertices with their element list, the runs of one texture-index class,
// and the chunks a view cannot show.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "geometry/mat4.h"
#include "geometry/vertex_factory.h"
#include "ogl_rendererMgr/ogl_renderer/indexed_mesh.h"
#include "ogl_rendererMgr/ogl_renderer/view_culling.h"
#include "ogl_rendererMgr/stitching_program.h"

namespace renderer_test {
namespace {

using sphere_player::ogl::IndexedMesh;
using sphere_player::ogl::kAllBranches;
using sphere_player::ogl::kBranchBlend;
using sphere_player::ogl::kBranchFirstCamera;
using sphere_player::ogl::kBranchLogo;
using sphere_player::ogl::kBranchSecondCamera;
using sphere_player::ogl::MeshArrays;

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
        for (int slot = 0; slot < gl::kMeshSlotCount; ++slot) {
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

std::vector<std::array<std::size_t, 3>> runs_of(const std::vector<float>& indices,
                                                std::size_t count) {
    std::vector<std::array<std::size_t, 3>> out;
    for (const auto& r : sphere_player::ogl::mesh_runs(indices.data(), count)) {
        out.push_back({r.first, r.count, r.branches});
    }
    return out;
}

using Runs = std::vector<std::array<std::size_t, 3>>;

TEST(IndexClasses, RunsFollowTheClassesOfWholeTriangles) {
    std::vector<float> indices = {1, 1, 1, 1, 1, 1, 0, 0, 0, 4, 4, 4, 4, 4, 4};
    EXPECT_EQ(runs_of(indices, indices.size()),
              (Runs{{0, 6, kBranchFirstCamera}, {6, 3, 0}, {9, 6, kBranchLogo}}));
    // Values of one class make one run; an unfinished triangle ends the last.
    indices[6] = indices[7] = indices[8] = -2.0f;
    indices.insert(indices.begin() + 3, {1.05f, 1.05f, 1.05f});
    indices.push_back(2.0f);
    EXPECT_EQ(runs_of(indices, indices.size()),
              (Runs{{0, 9, kBranchFirstCamera}, {9, 3, 0}, {12, 7, kBranchLogo}}));
    EXPECT_EQ(runs_of(indices, 2), (Runs{{0, 2, 0}}));
}

TEST(IndexClasses, UncertainTrianglesTakeTheFullProgram) {
    std::vector<float> indices = {1, 1, 1, 4, 4, 4};
    // A triangle whose corners differ sweeps the classes between them.
    indices[4] = 1.0f;
    EXPECT_EQ(runs_of(indices, indices.size()), (Runs{{0, 6, kAllBranches}}));
    indices = {1, 1, 1, 1.099f, 1.099f, 1.099f};
    EXPECT_EQ(runs_of(indices, indices.size()), (Runs{{0, 6, kAllBranches}}));
    // Classes changing at every triangle: one run with all of them.
    indices.clear();
    for (int t = 0; t < 10; ++t) indices.insert(indices.end(), 3, t % 2 == 0 ? 1.0f : 4.0f);
    EXPECT_EQ(runs_of(indices, indices.size()), (Runs{{0, 30, kBranchFirstCamera | kBranchLogo}}));
}

// --- chunks out of view

using sphere_player::ogl::ChunkBox;
using sphere_player::ogl::ElementRange;
using sphere_player::ogl::kChunkTriangles;

ChunkBox box(std::array<double, 3> centre, std::array<double, 3> half_size) {
    return {centre, half_size};
}

TEST(ViewCulling, BoxesOutsideOnePlaneAreSkipped) {
    // An orthographic view of the cube -1..1: the clip volume itself.
    const auto planes = sphere_player::ogl::clip_planes(geometry::mat4_identity());
    using sphere_player::ogl::box_outside;
    EXPECT_FALSE(box_outside(box({0, 0, 0}, {0.1, 0.1, 0.1}), planes));
    EXPECT_TRUE(box_outside(box({1.5, 0, 0}, {0.2, 0.2, 0.2}), planes));
    EXPECT_TRUE(box_outside(box({0, -3, 0}, {1, 1, 1}), planes));
    EXPECT_TRUE(box_outside(box({0, 0, 2}, {5, 5, 0.5}), planes));
    // Straddling a plane, or across a corner of the volume: kept.
    EXPECT_FALSE(box_outside(box({1.1, 0, 0}, {0.2, 0.2, 0.2}), planes));
    EXPECT_FALSE(box_outside(box({1.5, 1.5, 0}, {0.6, 0.6, 0.6}), planes));
    // Outside by less than rounding could account for: kept.
    EXPECT_FALSE(box_outside(box({1.0 + 1e-7, 0, 0}, {0, 0, 0}), planes));
    EXPECT_TRUE(box_outside(box({1.01, 0, 0}, {0, 0, 0}), planes));
}

TEST(ViewCulling, PerspectivePlanesCutBehindTheEye) {
    // glFrustum(-1, 1, -1, 1, 1, 10): the eye at the origin looking down -z.
    geometry::Mat4 frustum{};
    ASSERT_TRUE(geometry::mat4_frustum(frustum, -1, 1, -1, 1, 1, 10));
    const auto planes = sphere_player::ogl::clip_planes(frustum);
    using sphere_player::ogl::box_outside;
    EXPECT_FALSE(box_outside(box({0, 0, -5}, {0.5, 0.5, 0.5}), planes));
    EXPECT_TRUE(box_outside(box({0, 0, 5}, {0.5, 0.5, 0.5}), planes));     // behind
    EXPECT_TRUE(box_outside(box({0, 0, -0.5}, {0.1, 0.1, 0.1}), planes));  // before near
    EXPECT_TRUE(box_outside(box({0, 0, -20}, {1, 1, 1}), planes));         // past far
    EXPECT_TRUE(box_outside(box({8, 0, -5}, {1, 1, 1}), planes));          // right of view
    EXPECT_FALSE(box_outside(box({5.5, 0, -5}, {1, 1, 1}), planes));       // on its edge
}

TEST(ViewCulling, VisibleRangesKeepTheOrderWithinTheirRun) {
    // Chunks alternately in and out of view.
    const std::size_t chunk = 3 * kChunkTriangles;
    std::vector<ChunkBox> boxes;
    for (int i = 0; i < 6; ++i) {
        boxes.push_back(box({i == 2 || i == 3 || i == 5 ? 5.0 : 0.0, 0, 0}, {0.1, 0.1, 0.1}));
    }
    const auto planes = sphere_player::ogl::clip_planes(geometry::mat4_identity());
    std::vector<ElementRange> out;
    auto ranges = [&](std::size_t first, std::size_t count) {
        out.clear();
        sphere_player::ogl::visible_ranges({first, count, kBranchFirstCamera}, boxes, planes, out);
        std::vector<std::array<std::size_t, 2>> result;
        for (const ElementRange& r : out) result.push_back({r.first, r.count});
        return result;
    };
    using Ranges = std::vector<std::array<std::size_t, 2>>;
    EXPECT_EQ(ranges(0, 6 * chunk), (Ranges{{0, 2 * chunk}, {4 * chunk, chunk}}));
    // A run starting and ending inside chunks keeps its own bounds.
    EXPECT_EQ(ranges(3, 2 * chunk), (Ranges{{3, 2 * chunk - 3}}));
    EXPECT_EQ(ranges(2 * chunk + 3, chunk), (Ranges{}));
    // Elements past the last box are always drawn.
    EXPECT_EQ(ranges(5 * chunk, 2 * chunk), (Ranges{{6 * chunk, chunk}}));
}

TEST(ViewCulling, ChunkBoxesHoldTheirVertices) {
    const QuadGrid grid(40, 8);  // 640 triangles: 10 chunks
    IndexedMesh m;
    ASSERT_TRUE(sphere_player::ogl::index_mesh(grid.arrays(), m));
    const auto boxes = sphere_player::ogl::chunk_boxes(m);
    ASSERT_EQ(boxes.size(), 10u);
    // Chunk 0: the first 32 cells of row 0, x 0..32, y 0..1.
    EXPECT_DOUBLE_EQ(boxes[0].centre[0], 16.0);
    EXPECT_DOUBLE_EQ(boxes[0].half_size[0], 16.0);
    EXPECT_DOUBLE_EQ(boxes[0].centre[1], 0.5);
    EXPECT_DOUBLE_EQ(boxes[0].half_size[1], 0.5);
    EXPECT_DOUBLE_EQ(boxes[0].half_size[2], 0.0);
    // Chunk 1 runs over the end of row 0 into row 1: x 0..40, y 0..2.
    EXPECT_DOUBLE_EQ(boxes[1].centre[0], 20.0);
    EXPECT_DOUBLE_EQ(boxes[1].half_size[1], 1.0);
}

}  // namespace
}  // namespace renderer_test
