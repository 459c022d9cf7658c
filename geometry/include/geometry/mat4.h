// 4x4 float matrices as OpenGL takes them: column-major, element (row i,
// column j) at m[4 * j + i], so a matrix can be handed to glUniformMatrix4fv
// with transpose = GL_FALSE as it stands.
//
// Usage (a renderer's draw):
//     geometry::Mat4 mvp = geometry::mat4_multiply(projection,
//                                                  geometry::mat4_multiply(view, model));
//     glUniformMatrix4fv(loc, 1, GL_FALSE, mvp.data());
//     glUniformMatrix4fv(st_loc, 1, GL_FALSE, geometry::kTextureMatrix.data());
//
// Pure functions, no state; safe from any thread.
#pragma once

#include <array>

namespace geometry {

using Mat4 = std::array<float, 16>;

struct Vec3 {
    float x = 0.0f, y = 0.0f, z = 0.0f;
};

Mat4 mat4_identity();

// a x b (b is applied first to a column vector).
Mat4 mat4_multiply(const Mat4& a, const Mat4& b);

// m x Rot(angle_deg, axis), Rot as glRotate (the axis is normalised; a zero
// axis leaves m as it is).
Mat4 mat4_rotate(const Mat4& m, float angle_deg, Vec3 axis);

// The glOrtho matrix. Leaves `out` unchanged and returns false when
// left = right, bottom = top or near = far.
bool mat4_ortho(Mat4& out, float left, float right, float bottom, float top, float near_plane,
                float far_plane);

// The glFrustum matrix. Leaves `out` unchanged and returns false when
// left = right, bottom = top, near = far, or near or far is not positive.
bool mat4_frustum(Mat4& out, float left, float right, float bottom, float top, float near_plane,
                  float far_plane);

// The gluLookAt matrix.
Mat4 mat4_look_at(Vec3 eye, Vec3 centre, Vec3 up);

// Applies m to the point (x, y, z, 1); returns the clip-space (x, y, z, w).
std::array<float, 4> mat4_transform_point(const Mat4& m, Vec3 p);

// The texture matrix `uSTMatrix` shared by every viewport: (s, t) -> (s, 1 - t),
// because texture row 0 of an uploaded frame is its top row.
extern const Mat4 kTextureMatrix;

}  // namespace geometry
