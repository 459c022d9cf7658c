// The meshes of the seven draw modes: sizes, positions, texture mapping, the
// grid stop and the nadir cap, refusals, the converter's differences, and
// the two evaluation strategies agreeing bit for bit.
//
// Grid expectations for the dashcam lens (t_max 1.6 rad = 91.67 degrees,
// identity rotation in the file): after the axis swap the optical axis is
// the texture grid's first row boundary (latitude -90), and row boundary r
// lies r degrees off the axis. A cell of row r spans r .. r + 1 degrees, so
// row 91 is the first with a corner (92 degrees) beyond t_max; the
// converter accepts it (two corners at 91 degrees are valid) and stops at
// row 92. The automatic cap angle is 180 - trunc(91.67) = 89 degrees: 90
// cap rows from row 90. Sphere positions were computed with Python
// (double trigonometry, pi = 3.14159265359, rounded to float).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "calib_file.h"
#include "geometry/vertex_factory.h"
#include "temp_dir.h"

namespace {

using geometry::MeshStrategy;
using geometry::Variant;
using geometry::VertexFactory;
using geometry_test::CalibParams;

constexpr int kColumns = 360;
constexpr int kRows = 180;
constexpr int kSphereVertices = kColumns * kRows * 6;

class Mesh : public testing::Test {
protected:
    VertexFactory& load(const CalibParams& params, Variant variant = Variant::player) {
        factories_.push_back(std::make_unique<VertexFactory>(variant));
        VertexFactory& f = *factories_.back();
        f.set_message_sink([this](std::string_view text) { messages_.emplace_back(text); });
        const std::string path = geometry_test::write_calib(dir_, params);
        EXPECT_EQ(f.set_calibration(path.c_str(), 0, false), 0);
        return f;
    }

    kvp_test::TempDir dir_;
    std::vector<std::unique_ptr<VertexFactory>> factories_;
    std::vector<std::string> messages_;
};

// Every vertex of every cell of `row` carries `index`.
bool row_has_index(const VertexFactory& f, int row, float index) {
    const float* first = f.indices() + row * kColumns * 6;
    return std::all_of(first, first + kColumns * 6, [index](float i) { return i == index; });
}

// The xy pair of vertex `vertex` (0..5) of cell (row, column).
std::pair<float, float> cell_st(const VertexFactory& f, int row, int column, int vertex) {
    const float* t = f.texcoords() + ((row * kColumns + column) * 6 + vertex) * 4;
    return {t[0], t[1]};
}

TEST_F(Mesh, FlatFrameKeepsTheFrameAspect) {
    CalibParams params = geometry_test::dashcam();
    params.width = 1920;
    params.height = 1080;
    VertexFactory& f = load(params);
    ASSERT_NE(f.generate_vertices(0, false, -1), nullptr);
    const std::vector<float> positions(f.positions(), f.positions() + f.position_length());
    const float d = 0.5625f;  // 1080 / 1920
    EXPECT_EQ(positions,
              (std::vector<float>{-1, d, 0, 1, d, 0, -1, -d, 0, -1, -d, 0, 1, d, 0, 1, -d, 0}));
    const std::vector<float> tex(f.texcoords(), f.texcoords() + f.texcoord_length());
    EXPECT_EQ(tex, (std::vector<float>{0, 1, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0,
                                       0, 0, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(f.index_length(), 6);
    EXPECT_TRUE(std::all_of(f.indices(), f.indices() + 6, [](float i) { return i == 1.0f; }));
    EXPECT_EQ(f.weight_length(), 6);

    params.cameras = 2;  // two lenses side by side: 1080 / 3840
    VertexFactory& two = load(params);
    ASSERT_NE(two.generate_vertices(0, false, -1), nullptr);
    EXPECT_EQ(two.positions()[1], 0.28125f);

    VertexFactory panorama(Variant::player);
    ASSERT_EQ(panorama.set_calibration(nullptr, 0, true), 0);
    ASSERT_NE(panorama.generate_vertices(0, false, -1), nullptr);
    EXPECT_EQ(panorama.positions()[1], 0.5f);
}

TEST_F(Mesh, PanoramaPlaneSpansTwoByOneFromTheTopRow) {
    VertexFactory& f = load(geometry_test::dashcam());
    ASSERT_NE(f.generate_vertices(1, false, -1), nullptr);
    ASSERT_EQ(f.vertex_count(), kSphereVertices);
    const float* p = f.positions();
    const float h = 1.0f / 180.0f;
    // First cell, top left: c0 (-1, 0.5), c1 (-1 + h, 0.5), c2 (-1, 0.5 - h).
    EXPECT_NEAR(p[0], -1.0f, 1e-6f);
    EXPECT_NEAR(p[1], 0.5f, 1e-6f);
    EXPECT_NEAR(p[3], -1.0f + h, 1e-6f);
    EXPECT_NEAR(p[7], 0.5f - h, 1e-6f);
    // Last vertex: c3 of the bottom right cell.
    const float* last = p + f.position_length() - 3;
    EXPECT_NEAR(last[0], 1.0f, 1e-5f);
    EXPECT_NEAR(last[1], -0.5f, 1e-6f);
    for (int i = 0; i < f.position_length(); i += 3) ASSERT_EQ(p[i + 2], 0.0f);
    EXPECT_EQ(f.texcoord_length(), kSphereVertices * 4);
}

TEST_F(Mesh, SphereCellsRunFromTheNorthPoleEastwardsFromOneDegree) {
    VertexFactory& f = load(geometry_test::dashcam());
    ASSERT_NE(f.generate_vertices(2, false, -1), nullptr);
    EXPECT_EQ(f.vertex_count(), 388800);
    EXPECT_EQ(f.position_length(), 1166400);
    EXPECT_EQ(f.texcoord_length(), 1555200);
    EXPECT_EQ(f.weight_length(), 388800);
    EXPECT_EQ(f.index_length(), 388800);
    const float* p = f.positions();
    auto vertex = [p](int row, int column, int v) {
        return p + ((row * kColumns + column) * 6 + v) * 3;
    };
    // Cell (0, 0): c0 = (lat 90, lon 1) = (~0, 4, ~0); c2 = (lat 89, lon 1).
    EXPECT_NEAR(vertex(0, 0, 0)[1], 4.0f, 1e-6f);
    EXPECT_EQ(vertex(0, 0, 2)[0], 0.06979899108409882f);
    EXPECT_EQ(vertex(0, 0, 2)[1], 3.9993908405303955f);
    EXPECT_EQ(vertex(0, 0, 2)[2], 0.0012183459475636482f);
    // The triangles share corners: (c0, c1, c2), (c2, c1, c3).
    EXPECT_EQ(std::memcmp(vertex(0, 0, 2), vertex(0, 0, 3), 12), 0);
    EXPECT_EQ(std::memcmp(vertex(0, 0, 1), vertex(0, 0, 4), 12), 0);
    // Cell (90, 359): c1 = (lat 0, lon 361).
    EXPECT_EQ(vertex(90, 359, 1)[0], 3.9993908405303955f);
    EXPECT_EQ(vertex(90, 359, 1)[2], 0.06980962306261063f);
    for (int i = 0; i < f.position_length(); i += 3) {
        ASSERT_NEAR(std::hypot(p[i], p[i + 1], p[i + 2]), 4.0, 1e-5);
    }
    // Modes 3 to 5 show the same sphere.
    const std::vector<float> sphere(p, p + f.position_length());
    for (int mode = 3; mode <= 5; ++mode) {
        ASSERT_NE(f.generate_vertices(mode, false, -1), nullptr);
        EXPECT_EQ(std::memcmp(f.positions(), sphere.data(), sphere.size() * 4), 0) << mode;
    }
}

TEST_F(Mesh, GridStopsAtTheFirstRowWithACornerBeyondTheLens) {
    VertexFactory& f = load(geometry_test::dashcam());
    ASSERT_NE(f.generate_vertices(2, false, -1), nullptr);
    EXPECT_EQ(f.grid_report().stop_row, 91);
    EXPECT_EQ(f.grid_report().cap_first_row, -1);
    EXPECT_EQ(f.grid_report().cap_rows, 0);
    EXPECT_TRUE(row_has_index(f, 0, 1.0f));
    EXPECT_TRUE(row_has_index(f, 90, 1.0f));
    for (int row = 91; row < kRows; ++row) ASSERT_TRUE(row_has_index(f, row, 0.0f)) << row;
    // Row 0's lower corners are the optical axis: the frame centre.
    const auto axis = cell_st(f, 0, 0, 0);
    EXPECT_NEAR(axis.first, 0.5f, 1e-6f);
    EXPECT_NEAR(axis.second, 0.5f, 1e-6f);
    // Mapped corners lie in the frame; the second camera's pair stays 0.
    for (int i = 0; i < 91 * kColumns * 6; ++i) {
        const float* t = f.texcoords() + i * 4;
        ASSERT_TRUE(t[0] > 0.0f && t[0] < 1.0f && t[1] > 0.0f && t[1] < 1.0f) << i;
        ASSERT_TRUE(t[2] == 0.0f && t[3] == 0.0f) << i;
    }
    EXPECT_TRUE(std::all_of(f.weights(), f.weights() + f.weight_length(),
                            [](float w) { return w == 0.0f; }));
}

TEST_F(Mesh, PlayerNeedsAllFourCornersAndTheConverterTwo) {
    // A coarse 8 x 4 grid (45-degree cells) under a lens tilted by 0.9 rad
    // about y: one point of row boundary 1 (latitude -45) falls outside the
    // lens, so every cell of row 0 keeps at least three valid corners and
    // one keeps exactly three. The grid boundaries are lat(r) = pi r / 4 -
    // pi / 2 and lon(k) = 2 pi k / 8.
    CalibParams params = geometry_test::dashcam();
    const float c = std::cos(0.9f), s = std::sin(0.9f);
    params.set_all_rotations({c, 0, s, 0, 1, 0, -s, 0, c});
    constexpr int kCoarseColumns = 8, kCoarseRows = 4;
    VertexFactory& player = load(params);
    auto valid = [&player](int r, int k) {
        const float lat = static_cast<float>((0.5 * r / kCoarseRows - 0.25) / 0.15915494);
        const float lon =
            static_cast<float>((static_cast<double>(k) / kCoarseColumns) / 0.15915494);
        return player.sphere_to_image(lat, lon).valid;
    };
    int fewest = 4;
    for (int k = 0; k < kCoarseColumns; ++k) {
        fewest = std::min(fewest, valid(0, k) + valid(0, k + 1) + valid(1, k) + valid(1, k + 1));
    }
    ASSERT_EQ(fewest, 3);

    player.generate_sphere_texcoords(kCoarseColumns, kCoarseRows);
    EXPECT_EQ(player.texcoord_length(), kCoarseColumns * kCoarseRows * 24);
    EXPECT_EQ(player.grid_report().stop_row, 0);
    EXPECT_TRUE(std::all_of(player.indices(), player.indices() + player.index_length(),
                            [](float i) { return i == 0.0f; }));

    VertexFactory& converter = load(params, Variant::converter);
    converter.generate_sphere_texcoords(kCoarseColumns, kCoarseRows);
    EXPECT_NE(converter.grid_report().stop_row, 0);
    EXPECT_EQ(converter.indices()[0], 1.0f);
}

TEST_F(Mesh, NadirCapShowsTheLogoFromItsRowToThePole) {
    VertexFactory& f = load(geometry_test::dashcam());
    struct Case {
        int32_t angle, stop_row, cap_first_row, cap_rows;
    };
    const Case cases[] = {
        {-1, -1, 90, 90},                       // automatic: 180 - 91 = 89 degrees, 90 rows
        {100, -1, 79, 101}, {30, 91, 91, 89},   // the grid stops first; the cap moves up to it
        {0, 91, 91, 89},    {200, -1, 0, 180},  // more rows than the grid has: the whole grid
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "logo angle " << c.angle);
        ASSERT_NE(f.generate_vertices(2, true, c.angle), nullptr);
        EXPECT_TRUE(f.logo());
        EXPECT_EQ(f.logo_angle(), c.angle);
        EXPECT_EQ(f.grid_report().stop_row, c.stop_row);
        EXPECT_EQ(f.grid_report().cap_first_row, c.cap_first_row);
        EXPECT_EQ(f.grid_report().cap_rows, c.cap_rows);
        if (c.cap_first_row > 0) {
            EXPECT_TRUE(row_has_index(f, c.cap_first_row - 1, 1.0f));
        }
        for (int row = c.cap_first_row; row < kRows; ++row) {
            ASSERT_TRUE(row_has_index(f, row, 4.0f)) << row;
        }
    }
    // The disc: its rim on the cap's first row (radius 0.5 around the
    // logo's centre, column 0 at angle -pi), its centre on the last row.
    ASSERT_NE(f.generate_vertices(2, true, -1), nullptr);
    const auto rim = cell_st(f, 90, 0, 0);
    EXPECT_NEAR(rim.first, 0.0f, 1e-6f);
    EXPECT_NEAR(rim.second, 0.5f, 1e-6f);
    const auto quarter = cell_st(f, 90, 90, 0);  // angle -pi/2
    EXPECT_NEAR(quarter.first, 0.5f, 1e-6f);
    EXPECT_NEAR(quarter.second, 1.0f, 1e-6f);
    const auto pole = cell_st(f, kRows - 1, 17, 5);  // c3: inner radius 0
    EXPECT_NEAR(pole.first, 0.5f, 1e-6f);
    EXPECT_NEAR(pole.second, 0.5f, 1e-6f);
}

TEST_F(Mesh, TwoCamerasOrPanoramaInputGetPositionsWithoutMapping) {
    CalibParams params = geometry_test::dashcam();
    params.cameras = 2;
    VertexFactory& two = load(params);
    ASSERT_NE(two.generate_vertices(2, false, -1), nullptr);
    EXPECT_EQ(two.vertex_count(), kSphereVertices);
    EXPECT_EQ(two.texcoords(), nullptr);
    EXPECT_EQ(two.weights(), nullptr);
    EXPECT_EQ(two.indices(), nullptr);
    EXPECT_EQ(two.texcoord_length(), 0);

    VertexFactory panorama(Variant::player);
    ASSERT_EQ(panorama.set_calibration(nullptr, 0, true), 0);
    ASSERT_NE(panorama.generate_vertices(1, false, -1), nullptr);
    EXPECT_EQ(panorama.indices(), nullptr);
}

TEST_F(Mesh, RefusesWithoutCalibrationAndOutsideTheModes) {
    VertexFactory f(Variant::player);
    std::vector<std::string> messages;
    f.set_message_sink([&messages](std::string_view text) { messages.emplace_back(text); });
    EXPECT_EQ(f.generate_vertices(2, false, -1), nullptr);
    VertexFactory& ready = load(geometry_test::dashcam());
    EXPECT_EQ(ready.generate_vertices(7, false, -1), nullptr);
    EXPECT_EQ(ready.generate_vertices(-1, false, -1), nullptr);
    EXPECT_EQ(messages, std::vector<std::string>{"error: calibration file path is not set yet;\n"});
    EXPECT_EQ(messages_, (std::vector<std::string>{"error: invalid projection model 7;\n",
                                                   "error: invalid projection model -1;\n"}));
}

TEST_F(Mesh, ConverterAcceptsTwoValidCornersHasNoCapAndNoCylinder) {
    VertexFactory& f = load(geometry_test::dashcam(), Variant::converter);
    testing::internal::CaptureStdout();
    ASSERT_NE(f.generate_vertices(2, true, 30), nullptr);
    EXPECT_FALSE(f.logo());
    EXPECT_EQ(f.logo_angle(), -1);
    EXPECT_EQ(f.grid_report().stop_row, 92);
    EXPECT_EQ(f.grid_report().cap_rows, 0);
    EXPECT_TRUE(row_has_index(f, 91, 1.0f));
    EXPECT_TRUE(row_has_index(f, 92, 0.0f));
    EXPECT_TRUE(std::none_of(f.indices(), f.indices() + f.index_length(),
                             [](float i) { return i == 4.0f; }));
    EXPECT_EQ(f.generate_vertices(6, false, -1), nullptr);
    EXPECT_EQ(std::string(f.error_text()), "error: invalid projection model 6;\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(messages_.empty());
}

TEST_F(Mesh, CylinderUnwrapsTheCircleOntoTheClipSquare) {
    CalibParams params = geometry_test::dashcam();
    params.set_all_rotations(geometry_test::kAxisForward);
    VertexFactory& f = load(params);
    EXPECT_EQ(f.update_cylinder_texcoords(0.0f), nullptr);  // no cylinder yet
    ASSERT_NE(f.generate_vertices(6, false, -1), nullptr);
    EXPECT_EQ(f.vertex_count(), 9600);
    EXPECT_EQ(f.texcoord_length(), 9600 * 4);
    const std::vector<float> first(f.positions(), f.positions() + 18);
    EXPECT_EQ(first, (std::vector<float>{-1, -1, 0, -0.975f, -1, 0, -1, -0.9f, 0, -1, -0.9f, 0,
                                         -0.975f, -1, 0, -0.975f, -0.9f, 0}));
    const float* last = f.positions() + f.position_length() - 3;
    EXPECT_NEAR(last[0], 1.0f, 1e-6f);
    EXPECT_NEAR(last[1], 1.0f, 1e-6f);
    EXPECT_TRUE(std::all_of(f.indices(), f.indices() + f.index_length(),
                            [](float i) { return i == 1.0f; }));

    // Corners (column, row): cell (row 1, column 3) has c0 (3, 1), c3 (4, 2).
    auto expect_cell = [&f](float rotation) {
        const float* t = f.texcoords() + (1 * 80 + 3) * 24;
        const geometry::TexCoord c0 = f.circle_unwrap_point(3, 1, rotation);
        const geometry::TexCoord c3 = f.circle_unwrap_point(4, 2, rotation);
        EXPECT_EQ(t[0], c0.s);
        EXPECT_EQ(t[1], c0.t);
        EXPECT_EQ(t[20], c3.s);
        EXPECT_EQ(t[21], c3.t);
    };
    expect_cell(1.5707964f);
    const float* before = f.texcoords();
    EXPECT_EQ(f.update_cylinder_texcoords(0.25f), before);  // rewritten in place
    expect_cell(0.25f);
}

// The per-grid-point evaluation is what the renderers get; the per-corner
// one is the model applied literally. Their buffers must match bit for bit.
void expect_identical_strategies(VertexFactory& f, int32_t mode, bool logo, int32_t angle) {
    SCOPED_TRACE(testing::Message() << "mode " << mode << " logo " << logo << " angle " << angle);
    f.set_mesh_strategy(MeshStrategy::per_corner);
    ASSERT_NE(f.generate_vertices(mode, logo, angle), nullptr);
    const geometry::GridReport reference_report = f.grid_report();
    auto copy = [](const float* p, int32_t n) { return std::vector<float>(p, p ? p + n : p); };
    const auto positions = copy(f.positions(), f.position_length());
    const auto tex = copy(f.texcoords(), f.texcoord_length());
    const auto weights = copy(f.weights(), f.weight_length());
    const auto indices = copy(f.indices(), f.index_length());

    f.set_mesh_strategy(MeshStrategy::per_grid_point);
    ASSERT_NE(f.generate_vertices(mode, logo, angle), nullptr);
    auto same = [](const std::vector<float>& a, const float* b, int32_t n) {
        return static_cast<int32_t>(a.size()) == n &&
               (n == 0 || std::memcmp(a.data(), b, n * 4) == 0);
    };
    EXPECT_TRUE(same(positions, f.positions(), f.position_length()));
    EXPECT_TRUE(same(tex, f.texcoords(), f.texcoord_length()));
    EXPECT_TRUE(same(weights, f.weights(), f.weight_length()));
    EXPECT_TRUE(same(indices, f.indices(), f.index_length()));
    EXPECT_EQ(f.grid_report().stop_row, reference_report.stop_row);
    EXPECT_EQ(f.grid_report().cap_first_row, reference_report.cap_first_row);
}

TEST_F(Mesh, BothEvaluationStrategiesGiveBitIdenticalMeshes) {
    VertexFactory& dashcam = load(geometry_test::dashcam());
    expect_identical_strategies(dashcam, 2, false, -1);
    expect_identical_strategies(dashcam, 2, true, -1);
    expect_identical_strategies(dashcam, 1, true, 30);

    CalibParams tilted = geometry_test::dashcam();  // an off-centre, tilted lens
    tilted.set_all_rotations({0.9f, 0.1f, -0.2f, -0.05f, 0.95f, 0.3f, 0.25f, -0.3f, 0.92f});
    tilted.set_all_centres(900.0f, 1100.0f);
    expect_identical_strategies(load(tilted, Variant::converter), 3, false, -1);
    expect_identical_strategies(load(tilted), 4, false, -1);

    CalibParams around;  // every cell mapped
    around.set_all_rotations(geometry_test::kIdentity);
    around.width = around.height = 5000;
    around.t_max = 3.2f;
    VertexFactory& all = load(around);
    expect_identical_strategies(all, 5, false, -1);
    EXPECT_EQ(all.grid_report().stop_row, -1);

    CalibParams two = geometry_test::dashcam();
    two.cameras = 2;
    expect_identical_strategies(load(two), 2, false, -1);
}

}  // namespace
