// The coordinate map of a viewport drawn without a GL context: the mesh's
// triangles through the camera, rasterized as the GL rasterizes them (the
// near and far planes clip, pixel centres sampled, shared edges owned by
// one triangle, attributes interpolated with perspective, later triangles
// over earlier ones), each pixel given what the mesh program writes.
//
// Thread-safety: pure functions.
#pragma once

#include "geometry/mat4.h"
#include "ogl_renderer.h"

namespace converter {

// The mesh as the vertex buffers hold it: per vertex x y z; s t of the
// first camera and s t of the second; the blend weight; the texture index.
// Every three vertices are one triangle.
struct MeshArrays {
    const float* positions = nullptr;
    const float* texcoords = nullptr;
    const float* weights = nullptr;
    const float* indices = nullptr;
    int vertex_count = 0;
};

// The map of width x height pixels, rows from the bottom of the viewport as
// the GL reads them back. `mvp` places the positions; `st` transforms each
// coordinate pair as (s, t, 1, 1).
CoordinateMap rasterize_map(const MeshArrays& mesh, const geometry::Mat4& mvp,
                            const geometry::Mat4& st, int width, int height);

}  // namespace converter
