// Texture coordinates of the sphere and the panorama plane: the camera model
// over a latitude/longitude grid, and the nadir cap that shows the logo.
#include <algorithm>
#include <cmath>
#include <vector>

#include "camera_model.h"
#include "geometry/vertex_factory.h"
#include "mesh_buffers.h"

namespace geometry {
namespace {

using detail::kCellTexcoordFloats;
using detail::kVerticesPerCell;

// pi as the automatic cap angle divides by it.
constexpr double kCapPi = 3.1415925;
// Corners a cell needs inside the picture.
constexpr int kPlayerValidCorners = 4;
constexpr int kConverterValidCorners = 2;

struct GridShape {
    int32_t columns = 0;
    int32_t rows = 0;
    std::size_t cells() const { return static_cast<std::size_t>(columns) * rows; }
};

struct GridOut {
    float* texcoords = nullptr;
    float* indices = nullptr;
};

// Row boundary r: pi r / R - pi / 2 (from the nadir upwards); column boundary
// k: 2 pi k / C.
float grid_latitude(int32_t r, int32_t rows) {
    return static_cast<float>((0.5 * r / rows - 0.25) / detail::kInvTwoPi);
}
float grid_longitude(int32_t k, int32_t columns) {
    return static_cast<float>((static_cast<double>(k) / columns) / detail::kInvTwoPi);
}

TexCoord tex_of(const ImagePoint& p) {
    return {p.u, p.v};
}

// Writes one accepted cell.
void write_mapped_cell(GridOut out, std::size_t cell, const ImagePoint (&corners)[4]) {
    const TexCoord tex[4] = {tex_of(corners[0]), tex_of(corners[1]), tex_of(corners[2]),
                             tex_of(corners[3])};
    detail::write_cell_texcoords(out.texcoords + cell * kCellTexcoordFloats, tex);
    std::fill_n(out.indices + cell * kVerticesPerCell, kVerticesPerCell, kIndexFirstCamera);
}

bool cell_accepted(const ImagePoint (&c)[4], int needed) {
    return c[0].valid + c[1].valid + c[2].valid + c[3].valid >= needed;
}

// The direct reading: the camera model at all four corners of every cell.
// Returns the first row with a rejected cell, or -1.
int32_t map_grid_per_corner(const detail::LensParams& lens, GridShape shape, int32_t main_rows,
                            int needed, GridOut out) {
    for (int32_t r = 0; r < main_rows; ++r) {
        for (int32_t k = 0; k < shape.columns; ++k) {
            const float lat0 = grid_latitude(r, shape.rows);
            const float lat1 = grid_latitude(r + 1, shape.rows);
            const float lon0 = grid_longitude(k, shape.columns);
            const float lon1 = grid_longitude(k + 1, shape.columns);
            const ImagePoint c[4] = {detail::sphere_to_image(lens, lat0, lon0),
                                     detail::sphere_to_image(lens, lat0, lon1),
                                     detail::sphere_to_image(lens, lat1, lon0),
                                     detail::sphere_to_image(lens, lat1, lon1)};
            if (!cell_accepted(c, needed)) return r;
            write_mapped_cell(out, static_cast<std::size_t>(r) * shape.columns + k, c);
        }
    }
    return -1;
}

void project_row(const detail::LensParams& lens, float latitude,
                 const std::vector<detail::AngleTrig>& longitudes, std::vector<ImagePoint>& row) {
    const detail::AngleTrig lat = detail::angle_trig(latitude);
    for (std::size_t k = 0; k < longitudes.size(); ++k) {
        row[k] = detail::project_direction(lens, lat, longitudes[k]);
    }
}

// The same mapping with the camera model once per grid point: a cell corner
// depends only on its row and column boundary, so each row boundary is
// projected once and shared by the cells above and below it.
int32_t map_grid_per_grid_point(const detail::LensParams& lens, GridShape shape, int32_t main_rows,
                                int needed, GridOut out) {
    if (main_rows <= 0) return -1;
    std::vector<detail::AngleTrig> longitudes(shape.columns + 1);
    for (int32_t k = 0; k <= shape.columns; ++k) {
        longitudes[k] = detail::angle_trig(grid_longitude(k, shape.columns));
    }
    std::vector<ImagePoint> lower(shape.columns + 1), upper(shape.columns + 1);
    project_row(lens, grid_latitude(0, shape.rows), longitudes, lower);
    for (int32_t r = 0; r < main_rows; ++r) {
        project_row(lens, grid_latitude(r + 1, shape.rows), longitudes, upper);
        for (int32_t k = 0; k < shape.columns; ++k) {
            const ImagePoint c[4] = {lower[k], lower[k + 1], upper[k], upper[k + 1]};
            if (!cell_accepted(c, needed)) return r;
            write_mapped_cell(out, static_cast<std::size_t>(r) * shape.columns + k, c);
        }
        lower.swap(upper);
    }
    return -1;
}

// Rows first_row .. rows - 1 drawn black.
void blacken_rows(GridShape shape, int32_t first_row, GridOut out) {
    const std::size_t first_cell = static_cast<std::size_t>(first_row) * shape.columns;
    const std::size_t cells = shape.cells() - first_cell;
    std::fill_n(out.texcoords + first_cell * kCellTexcoordFloats, cells * kCellTexcoordFloats,
                0.0f);
    std::fill_n(out.indices + first_cell * kVerticesPerCell, cells * kVerticesPerCell, kIndexBlack);
}

// The logo disc over rows first_row .. rows - 1: its rim on the first cap
// row, its centre at the pole.
void write_cap(GridShape shape, int32_t first_row, GridOut out) {
    const int32_t cap_rows = shape.rows - first_row;
    std::vector<detail::AngleTrig> angles(shape.columns + 1);
    for (int32_t k = 0; k <= shape.columns; ++k) {
        const double a = (static_cast<double>(k) / shape.columns - 0.5) / detail::kInvTwoPi;
        angles[k] = detail::angle_trig(static_cast<float>(a));
    }
    auto corner = [](detail::AngleTrig a, float rad) {
        return TexCoord{rad * a.cos + 0.5f, 1.0f - (rad * a.sin + 0.5f)};
    };
    for (int32_t j = 0; j < cap_rows; ++j) {
        const float rim = static_cast<float>(0.5 * (1.0 - static_cast<double>(j) / cap_rows));
        const float inner = static_cast<float>(0.5 * (1.0 - static_cast<double>(j + 1) / cap_rows));
        const std::size_t row_cell = static_cast<std::size_t>(first_row + j) * shape.columns;
        for (int32_t k = 0; k < shape.columns; ++k) {
            const TexCoord c[4] = {corner(angles[k], rim), corner(angles[k + 1], rim),
                                   corner(angles[k], inner), corner(angles[k + 1], inner)};
            const std::size_t cell = row_cell + k;
            detail::write_cell_texcoords(out.texcoords + cell * kCellTexcoordFloats, c);
            std::fill_n(out.indices + cell * kVerticesPerCell, kVerticesPerCell, kIndexLogo);
        }
    }
}

// Number of cap rows for the stored logo settings: floor(angle / step) + 1,
// where a negative angle means 180 minus the lens half-angle in whole
// degrees (one camera) or two steps (two cameras). Kept within the grid so
// that an odd angle can never address rows outside it.
int32_t cap_row_count(bool logo, int32_t logo_angle_deg, int32_t camera_count, float t_max,
                      int32_t rows) {
    if (!logo) return 0;
    const int32_t step = detail::kMeshStepDeg;
    int64_t angle = logo_angle_deg;
    if (angle < 0) {
        angle = camera_count == 1
                    ? 180 - int64_t{detail::truncate_to_int(0.5 * (2.0 * t_max / kCapPi * 180.0))}
                    : 2 * step;
    }
    const int64_t count = (step + angle - angle % step) / step;
    return static_cast<int32_t>(std::clamp<int64_t>(count, 0, rows));
}

}  // namespace

void VertexFactory::generate_sphere_texcoords(int32_t columns, int32_t rows) {
    const GridShape shape{std::max(columns, 0), std::max(rows, 0)};
    Buffers& b = *buffers_;
    GridOut out{b.texcoords.reset(shape.cells() * kCellTexcoordFloats),
                b.indices.reset(shape.cells() * kVerticesPerCell)};
    // Indices 1 and 4 never read the blend weight.
    std::fill_n(b.weights.reset(shape.cells() * kVerticesPerCell), shape.cells() * kVerticesPerCell,
                0.0f);

    const int32_t cap_rows =
        cap_row_count(logo_, logo_angle_deg_, camera_count_, t_max_, shape.rows);
    const int32_t main_rows = shape.rows - cap_rows;
    const detail::LensParams lens{cameras_[0], t_max_, circle_radius_, frame_width_, frame_height_};
    const int needed = variant_ == Variant::player ? kPlayerValidCorners : kConverterValidCorners;
    const int32_t stop_row = strategy_ == MeshStrategy::per_corner
                                 ? map_grid_per_corner(lens, shape, main_rows, needed, out)
                                 : map_grid_per_grid_point(lens, shape, main_rows, needed, out);

    grid_report_ = GridReport{};
    grid_report_.stop_row = stop_row;
    const int32_t unmapped_from = stop_row >= 0 ? stop_row : main_rows;
    if (unmapped_from < shape.rows) blacken_rows(shape, unmapped_from, out);
    if (logo_) {
        write_cap(shape, unmapped_from, out);
        grid_report_.cap_first_row = unmapped_from;
        grid_report_.cap_rows = shape.rows - unmapped_from;
    }
}

}  // namespace geometry
