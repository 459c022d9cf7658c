// The meshes of the seven draw modes: flat frame, panorama plane, sphere and
// cylinder positions, and the cylinder's texture coordinates.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "camera_model.h"
#include "geometry/vertex_factory.h"
#include "mesh_buffers.h"

namespace geometry {
namespace {

using detail::kCellPositionFloats;
using detail::kCellTexcoordFloats;
using detail::kVerticesPerCell;

constexpr int kGridColumns = detail::kLongitudeSpanDeg / detail::kMeshStepDeg;
constexpr int kGridRows = detail::kLatitudeSpanDeg / detail::kMeshStepDeg;
constexpr int kCylinderCells = kCylinderColumns * kCylinderRows;
// Cylinder cell size in clip coordinates.
constexpr double kCylinderCellWidth = 0.025;
constexpr double kCylinderCellHeight = 0.1;

float* fill(float* out, std::size_t count, float value) {
    std::fill(out, out + count, value);
    return out + count;
}

// Mode 0: one quad of half-height d in the plane z = 0.
void flat_frame(VertexFactory::Buffers& b, float d) {
    const float z = detail::kPlaneDepth;
    const Vec3 corners[4] = {{-1.0f, d, z}, {1.0f, d, z}, {-1.0f, -d, z}, {1.0f, -d, z}};
    detail::write_cell_positions(b.positions.reset(kCellPositionFloats), corners);
    const TexCoord tex[4] = {{0.0f, 1.0f}, {1.0f, 1.0f}, {0.0f, 0.0f}, {1.0f, 0.0f}};
    detail::write_cell_texcoords(b.texcoords.reset(kCellTexcoordFloats), tex);
    fill(b.weights.reset(kVerticesPerCell), kVerticesPerCell, 0.0f);
    fill(b.indices.reset(kVerticesPerCell), kVerticesPerCell, kIndexFirstCamera);
}

// Mode 1: the 2 x 1 panorama plane, rows top to bottom.
void panorama_plane(FloatBuffer& positions) {
    const int step = detail::kMeshStepDeg;
    const float h = 2.0f * static_cast<float>(step) / 360.0f;
    const float z = detail::kPlaneDepth;
    float* out = positions.reset(std::size_t{kGridColumns} * kGridRows * kCellPositionFloats);
    for (int n = kGridRows; n >= 1; --n) {
        const float top = h * static_cast<float>(n) - 0.5f;
        const float bottom = h * static_cast<float>(n - 1) - 0.5f;
        for (int k = 0; k < kGridColumns; ++k) {
            const float left = h * static_cast<float>(k) - 1.0f;
            const float right = h * static_cast<float>(k + 1) - 1.0f;
            const Vec3 c[4] = {
                {left, top, z}, {right, top, z}, {left, bottom, z}, {right, bottom, z}};
            out = detail::write_cell_positions(out, c);
        }
    }
}

double degrees_to_radians(int32_t degrees) {
    return degrees * kPi / 180.0;
}

// cos and sin, in double, of one row's latitude or one column's longitude.
struct SphereTrig {
    double cos = 1.0, sin = 0.0;
};

SphereTrig sphere_trig(int32_t degrees) {
    const double rad = degrees_to_radians(degrees);
    return {std::cos(rad), std::sin(rad)};
}

Vec3 sphere_point(SphereTrig lat, SphereTrig lon) {
    const double r = detail::kSphereRadius;
    return {static_cast<float>(r * lat.cos * lon.cos), static_cast<float>(r * lat.sin),
            static_cast<float>(r * lat.cos * lon.sin)};
}

// Latitude of row boundary i (from 90 down) and longitude of column
// boundary k (the first column starts one step east of 0).
int32_t sphere_row_latitude(int i) {
    return 90 - i * detail::kMeshStepDeg;
}
int32_t sphere_column_longitude(int k) {
    return (k + 1) * detail::kMeshStepDeg;
}

// Modes 2 to 5, the direct reading: trigonometry at every corner of every cell.
void sphere_positions_per_corner(float* out) {
    for (int i = 0; i < kGridRows; ++i) {
        const int32_t lat = sphere_row_latitude(i);
        const int32_t lat_next = sphere_row_latitude(i + 1);
        for (int k = 0; k < kGridColumns; ++k) {
            const int32_t lon = sphere_column_longitude(k);
            const int32_t lon_next = sphere_column_longitude(k + 1);
            const Vec3 c[4] = {sphere_point(sphere_trig(lat), sphere_trig(lon)),
                               sphere_point(sphere_trig(lat), sphere_trig(lon_next)),
                               sphere_point(sphere_trig(lat_next), sphere_trig(lon)),
                               sphere_point(sphere_trig(lat_next), sphere_trig(lon_next))};
            out = detail::write_cell_positions(out, c);
        }
    }
}

// Modes 2 to 5 with the trigonometry once per row and per column.
void sphere_positions_per_grid_point(float* out) {
    std::vector<SphereTrig> lon(kGridColumns + 1);
    for (int k = 0; k <= kGridColumns; ++k) lon[k] = sphere_trig(sphere_column_longitude(k));
    std::vector<Vec3> upper(kGridColumns + 1), lower(kGridColumns + 1);
    const SphereTrig first = sphere_trig(sphere_row_latitude(0));
    for (int k = 0; k <= kGridColumns; ++k) upper[k] = sphere_point(first, lon[k]);
    for (int i = 0; i < kGridRows; ++i) {
        const SphereTrig lat_next = sphere_trig(sphere_row_latitude(i + 1));
        for (int k = 0; k <= kGridColumns; ++k) lower[k] = sphere_point(lat_next, lon[k]);
        for (int k = 0; k < kGridColumns; ++k) {
            const Vec3 c[4] = {upper[k], upper[k + 1], lower[k], lower[k + 1]};
            out = detail::write_cell_positions(out, c);
        }
        upper.swap(lower);
    }
}

// Mode 6: the 80 x 20 grid over the clip square, rows from y = -1 upwards.
void cylinder_positions(FloatBuffer& positions) {
    float* out = positions.reset(std::size_t{kCylinderCells} * kCellPositionFloats);
    for (int i = 0; i < kCylinderRows; ++i) {
        const float y0 = static_cast<float>(kCylinderCellHeight * i - 1.0);
        const float y1 = static_cast<float>(kCylinderCellHeight * (i + 1) - 1.0);
        for (int j = 0; j < kCylinderColumns; ++j) {
            const float x0 = static_cast<float>(kCylinderCellWidth * j - 1.0);
            const float x1 = static_cast<float>(kCylinderCellWidth * (j + 1) - 1.0);
            const Vec3 c[4] = {{x0, y0, 0.0f}, {x1, y0, 0.0f}, {x0, y1, 0.0f}, {x1, y1, 0.0f}};
            out = detail::write_cell_positions(out, c);
        }
    }
}

}  // namespace

bool VertexFactory::cylinder_texcoords(float rotation_rad) {
    if (buffers_->texcoords.size() != std::size_t{kCylinderCells} * kCellTexcoordFloats)
        return false;
    // Every grid corner once; each is shared by up to four cells.
    std::vector<TexCoord> grid((kCylinderRows + 1) * (kCylinderColumns + 1));
    for (int i = 0; i <= kCylinderRows; ++i) {
        for (int j = 0; j <= kCylinderColumns; ++j) {
            grid[i * (kCylinderColumns + 1) + j] = circle_unwrap_point(j, i, rotation_rad);
        }
    }
    float* out = buffers_->texcoords.data();
    for (int i = 0; i < kCylinderRows; ++i) {
        const TexCoord* row = grid.data() + i * (kCylinderColumns + 1);
        const TexCoord* next = row + (kCylinderColumns + 1);
        for (int j = 0; j < kCylinderColumns; ++j) {
            const TexCoord c[4] = {row[j], row[j + 1], next[j], next[j + 1]};
            out = detail::write_cell_texcoords(out, c);
        }
    }
    return true;
}

const float* VertexFactory::update_cylinder_texcoords(float rotation_rad) {
    if (mesh_mode_ != kModeCylinder || !cylinder_texcoords(rotation_rad)) return nullptr;
    return texcoords();
}

void VertexFactory::build_flat_mesh() {
    // Half-height: frame height over the total width of all cameras.
    const float d = panorama_input_ ? 0.5f
                                    : static_cast<float>(frame_height_) /
                                          (static_cast<float>(frame_width_) * camera_count_);
    flat_frame(*buffers_, d);
}

void VertexFactory::build_cylinder_mesh() {
    Buffers& b = *buffers_;
    constexpr std::size_t vertices = std::size_t{kCylinderCells} * kVerticesPerCell;
    cylinder_positions(b.positions);
    b.texcoords.reset(std::size_t{kCylinderCells} * kCellTexcoordFloats);
    cylinder_texcoords(kCylinderDefaultRotationRad);
    fill(b.weights.reset(vertices), vertices, 0.0f);
    fill(b.indices.reset(vertices), vertices, kIndexFirstCamera);
}

void VertexFactory::build_grid_mesh(int32_t mode) {
    Buffers& b = *buffers_;
    if (mode == kModePanorama) {
        panorama_plane(b.positions);
    } else {
        float* out = b.positions.reset(std::size_t{kGridColumns} * kGridRows * kCellPositionFloats);
        if (strategy_ == MeshStrategy::per_corner) {
            sphere_positions_per_corner(out);
        } else {
            sphere_positions_per_grid_point(out);
        }
    }
    // Only one camera read through its calibration has a mapping; otherwise
    // the mesh carries positions alone and must not be drawn.
    if (camera_count_ == 1 && !panorama_input_) {
        generate_sphere_texcoords(kGridColumns, kGridRows);
    } else {
        b.texcoords.clear();
        b.weights.clear();
        b.indices.clear();
    }
}

const float* VertexFactory::generate_vertices(int32_t mode, bool logo, int32_t logo_angle_deg) {
    if (!ready_ && !panorama_input_) {
        report("error: calibration file path is not set yet;\n");
        return nullptr;
    }
    const int32_t last_mode = variant_ == Variant::player ? kModeCylinder : kModeSphereWide;
    if (mode < kModeFlat || mode > last_mode) {
        report("error: invalid projection model %d;\n", mode);
        return nullptr;
    }
    const bool converter = variant_ == Variant::converter;  // never a logo cap
    logo_ = converter ? false : logo;
    logo_angle_deg_ = converter ? -1 : logo_angle_deg;
    grid_report_ = GridReport{};
    mesh_mode_ = mode;
    if (mode == kModeFlat) {
        build_flat_mesh();
    } else if (mode == kModeCylinder) {
        build_cylinder_mesh();
    } else {
        build_grid_mesh(mode);
    }
    return positions();
}

}  // namespace geometry
