// Skipping the parts of an indexed mesh that a view cannot show. The mesh's
// element list is cut into chunks of consecutive triangles, each with the
// box around its vertices; at each draw the chunks whose box lies wholly
// outside one plane of the clip volume are left out. GL clips such
// triangles away whole, so the picture is the same; what is saved is their
// vertex and clipping work (a sphere view shows a fraction of the mesh).
// Plain data and free functions, no GL call.
//
// Thread-safety: none needed; pure functions of their arguments.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "geometry/mat4.h"
#include "ogl_rendererMgr/ogl_renderer/indexed_mesh.h"

namespace sphere_player::ogl {

// Triangles per chunk: small enough to follow the view's edge closely, large
// enough that testing the chunks costs little next to drawing them.
constexpr std::size_t kChunkTriangles = 64;

// The axis-aligned box around a chunk's vertices, in model coordinates.
struct ChunkBox {
    std::array<double, 3> centre{};
    std::array<double, 3> half_size{};
};

// One box per kChunkTriangles triangles of `mesh`'s elements, in order (the
// last chunk may be shorter).
std::vector<ChunkBox> chunk_boxes(const IndexedMesh& mesh);

// The six planes of the clip volume (-w <= x, y, z <= w) in model
// coordinates for `mvp` (column-major, as glUniformMatrix4fv takes it): a
// point p is inside plane i when a.x p.x + a.y p.y + a.z p.z + a.w >= 0.
struct ClipPlanes {
    std::array<std::array<double, 4>, 6> plane{};
};
ClipPlanes clip_planes(const geometry::Mat4& mvp);

// Whether every point of the box lies outside one of the planes by more
// than the rounding of a float transform could ever account for.
bool box_outside(const ChunkBox& box, const ClipPlanes& planes);

// A range of elements, in elements.
struct ElementRange {
    std::size_t first = 0;
    std::size_t count = 0;
};

// Appends to `out` the parts of `run` (a range of whole triangles of the
// mesh the boxes were made for) whose chunks are not wholly outside
// `planes`, adjacent parts merged, in drawing order.
void visible_ranges(const DrawRun& run, const std::vector<ChunkBox>& boxes,
                    const ClipPlanes& planes, std::vector<ElementRange>& out);

}  // namespace sphere_player::ogl
