// A viewport's mesh as the GL draws it: the geometry's four attribute arrays
// (one entry per drawn vertex, six per quad cell), or one copy of each
// distinct vertex with an element list that draws the same triangles in the
// same order. The sphere meshes share nearly every corner among several
// cells, so the element form hands the vertex stage about a sixth of the
// vertices. Plain data and free functions, no GL call.
//
// Thread-safety: none needed; pure functions of their arguments.
#pragma once

#include <GL/glew.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "gl/mesh.h"

namespace sphere_player::ogl {

// The vertex layout's slots, in the order of the viewport's buffers.
using gl::kSlotComponents;
using gl::kSlotIndex;
using gl::kSlotPosition;
using gl::kSlotTexcoord;
using gl::kSlotWeight;

struct MeshArray {
    const float* data = nullptr;
    std::size_t length = 0;  // floats
};
using MeshArrays = std::array<MeshArray, gl::kMeshSlotCount>;

// The number of vertices all four arrays describe, or 0 when they disagree
// (a length that is not a whole number of vertices counts as disagreeing).
std::size_t common_vertex_count(const MeshArrays& mesh);

struct IndexedMesh {
    // One copy of each distinct vertex (all nine floats equal bit for bit),
    // in the order of first use.
    std::array<std::vector<float>, gl::kMeshSlotCount> arrays;
    std::size_t unique_count = 0;
    // One element per drawn vertex; elements16 holds them when every
    // element fits 16 bits (and elements32 is then empty).
    std::vector<uint32_t> elements32;
    std::vector<uint16_t> elements16;

    GLenum element_type() const { return elements16.empty() ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT; }
    std::size_t element_count() const { return elements16.size() + elements32.size(); }
    const void* element_data() const;
    std::size_t element_bytes() const;
    MeshArrays view() const;
};

// Builds the element form; false (and `out` untouched) when the arrays
// disagree on the vertex count or hold none.
bool index_mesh(const MeshArrays& mesh, IndexedMesh& out);

// A range of drawn vertices (whole triangles, in drawing order) and the
// fragment-shader branches (stitching_program.h) its triangles reach.
struct DrawRun {
    std::size_t first = 0;  // vertex, or element, where the range starts
    std::size_t count = 0;
    unsigned branches = 0;
};

// Most runs a mesh is split into; a mesh whose classes change more often is
// drawn as one run with the union of its branches.
constexpr std::size_t kMaxDrawRuns = 8;

// Splits GL_TRIANGLES drawn from `vertex_count` texture indices into runs
// of consecutive triangles of one class each, so that each run can be drawn
// with the program of its class alone (the sphere: the mapped rows, then
// the black rows or the logo cap). One run of all kAllBranches when a
// triangle's three indices differ or one of them is ambiguous. The runs
// cover all `vertex_count` vertices; a last partial triangle, which GL
// never draws, ends the last run.
std::vector<DrawRun> mesh_runs(const float* indices, std::size_t vertex_count);

// The union of the runs' branches.
unsigned run_branches(const std::vector<DrawRun>& runs);

}  // namespace sphere_player::ogl
