#include "ogl_rendererMgr/ogl_renderer/view_culling.h"

#include <algorithm>
#include <cmath>

namespace sphere_player::ogl {
namespace {

constexpr std::size_t kChunkElements = 3 * kChunkTriangles;
// Slack on the plane test, relative to the size of the terms: float
// rounding of the transform is below 1e-6 of them; this leaves a wide
// safety margin and still skips nearly everything out of view.
constexpr double kRelativeMargin = 1e-4;

std::size_t element_of(const IndexedMesh& mesh, std::size_t i) {
    return mesh.elements16.empty() ? mesh.elements32[i] : mesh.elements16[i];
}

ChunkBox box_of(const IndexedMesh& mesh, std::size_t first, std::size_t end) {
    const float* positions = mesh.arrays[kSlotPosition].data();
    std::array<float, 3> low, high;
    for (int axis = 0; axis < 3; ++axis) {
        low[axis] = high[axis] = positions[3 * element_of(mesh, first) + axis];
    }
    for (std::size_t i = first; i < end; ++i) {
        const float* p = positions + 3 * element_of(mesh, i);
        for (int axis = 0; axis < 3; ++axis) {
            low[axis] = std::min(low[axis], p[axis]);
            high[axis] = std::max(high[axis], p[axis]);
        }
    }
    ChunkBox box;
    for (int axis = 0; axis < 3; ++axis) {
        box.centre[axis] = (static_cast<double>(low[axis]) + high[axis]) / 2.0;
        box.half_size[axis] = (static_cast<double>(high[axis]) - low[axis]) / 2.0;
    }
    return box;
}

}  // namespace

std::vector<ChunkBox> chunk_boxes(const IndexedMesh& mesh) {
    std::vector<ChunkBox> boxes;
    const std::size_t count = mesh.element_count();
    if (mesh.unique_count == 0) return boxes;
    boxes.reserve((count + kChunkElements - 1) / kChunkElements);
    for (std::size_t first = 0; first < count; first += kChunkElements) {
        boxes.push_back(box_of(mesh, first, std::min(count, first + kChunkElements)));
    }
    return boxes;
}

ClipPlanes clip_planes(const geometry::Mat4& mvp) {
    // Row r of the matrix: mvp[4 * column + r].
    auto row = [&mvp](int r) {
        return std::array<double, 4>{mvp[r], mvp[4 + r], mvp[8 + r], mvp[12 + r]};
    };
    const std::array<double, 4> w = row(3);
    ClipPlanes planes;
    for (int axis = 0; axis < 3; ++axis) {
        const std::array<double, 4> a = row(axis);
        for (int i = 0; i < 4; ++i) {
            planes.plane[2 * axis][i] = w[i] + a[i];      // -w <= a
            planes.plane[2 * axis + 1][i] = w[i] - a[i];  // a <= w
        }
    }
    return planes;
}

bool box_outside(const ChunkBox& box, const ClipPlanes& planes) {
    for (const std::array<double, 4>& p : planes.plane) {
        double centre = p[3], reach = 0.0, scale = std::fabs(p[3]);
        for (int axis = 0; axis < 3; ++axis) {
            centre += p[axis] * box.centre[axis];
            reach += std::fabs(p[axis]) * box.half_size[axis];
            scale += std::fabs(p[axis]) * (std::fabs(box.centre[axis]) + box.half_size[axis]);
        }
        if (centre + reach < -kRelativeMargin * scale) return true;
    }
    return false;
}

void visible_ranges(const DrawRun& run, const std::vector<ChunkBox>& boxes,
                    const ClipPlanes& planes, std::vector<ElementRange>& out) {
    const std::size_t end = run.first + run.count;
    const std::size_t merge_from = out.size();
    for (std::size_t first = run.first; first < end;) {
        const std::size_t chunk = first / kChunkElements;
        const std::size_t next = std::min(end, (chunk + 1) * kChunkElements);
        if (chunk >= boxes.size() || !box_outside(boxes[chunk], planes)) {
            if (out.size() > merge_from && out.back().first + out.back().count == first) {
                out.back().count += next - first;
            } else {
                out.push_back({first, next - first});
            }
        }
        first = next;
    }
}

}  // namespace sphere_player::ogl
