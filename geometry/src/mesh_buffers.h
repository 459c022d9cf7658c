// The factory's four vertex buffers and the helpers that write quad cells
// into them. Internal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "geometry/mat4.h"
#include "geometry/vertex_factory.h"

namespace geometry {

struct FreeDeleter {
    void operator()(float* p) const { std::free(p); }
};

// Storage for `count` floats. Arrays of a few megabytes are aligned to and
// advised for huge pages: a sphere mesh's first generation would otherwise
// spend most of its time taking thousands of page faults.
float* allocate_floats(std::size_t count);

// A float array that keeps its storage between generations (a mesh of the
// same mode has the same size) and is not zero-filled on reset: every
// generator writes each float it hands out.
class FloatBuffer {
public:
    float* reset(std::size_t count) {
        if (count > capacity_) {
            data_.reset(allocate_floats(count));
            capacity_ = count;
        }
        size_ = count;
        return data_.get();
    }
    void clear() { size_ = 0; }
    float* data() { return size_ == 0 ? nullptr : data_.get(); }
    const float* data() const { return size_ == 0 ? nullptr : data_.get(); }
    std::size_t size() const { return size_; }

private:
    std::unique_ptr<float, FreeDeleter> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

struct VertexFactory::Buffers {
    FloatBuffer positions;  // x, y, z per vertex
    FloatBuffer texcoords;  // s, t of the first camera, s, t of the second
    FloatBuffer weights;    // `aLeftWeights`
    FloatBuffer indices;    // `aTexIndex`
};

namespace detail {

// Floats per vertex and per quad cell (two triangles).
constexpr int kVerticesPerCell = 6;
constexpr int kPositionFloats = 3;
constexpr int kTexcoordFloats = 4;
constexpr std::size_t kCellPositionFloats = kVerticesPerCell * kPositionFloats;
constexpr std::size_t kCellTexcoordFloats = kVerticesPerCell * kTexcoordFloats;

// The corner order of every cell: (c0, c1, c2), (c2, c1, c3), with c0 = (row
// r, column k), c1 = (r, k + 1), c2 = (r + 1, k), c3 = (r + 1, k + 1).
constexpr int kCellCorners[kVerticesPerCell] = {0, 1, 2, 2, 1, 3};

// Writes one cell's six vertices; returns the position after them.
inline float* write_cell_positions(float* out, const Vec3 (&corners)[4]) {
    for (int corner : kCellCorners) {
        *out++ = corners[corner].x;
        *out++ = corners[corner].y;
        *out++ = corners[corner].z;
    }
    return out;
}

// xy from the corners, zw (second camera) 0.
inline float* write_cell_texcoords(float* out, const TexCoord (&corners)[4]) {
    for (int corner : kCellCorners) {
        *out++ = corners[corner].s;
        *out++ = corners[corner].t;
        *out++ = 0.0f;
        *out++ = 0.0f;
    }
    return out;
}

}  // namespace detail
}  // namespace geometry
