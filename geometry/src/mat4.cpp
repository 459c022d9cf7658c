#include "geometry/mat4.h"

#include <cmath>

#include "camera_model.h"

namespace geometry {
namespace {

float& at(Mat4& m, int row, int column) {
    return m[4 * column + row];
}
float at(const Mat4& m, int row, int column) {
    return m[4 * column + row];
}

Vec3 cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float dot(Vec3 a, Vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vec3 normalized(Vec3 v) {
    const float length = std::sqrt(dot(v, v));
    if (length == 0.0f) return v;
    return {v.x / length, v.y / length, v.z / length};
}

}  // namespace

const Mat4 kTextureMatrix = {1.0f, 0.0f, 0.0f, 0.0f, 0.0f, -1.0f, 0.0f, 0.0f,
                             0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f,  0.0f, 1.0f};

Mat4 mat4_identity() {
    Mat4 m{};
    m[0] = m[5] = m[10] = m[15] = 1.0f;
    return m;
}

Mat4 mat4_multiply(const Mat4& a, const Mat4& b) {
    Mat4 r{};
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            float sum = 0.0f;
            for (int i = 0; i < 4; ++i) sum += at(a, row, i) * at(b, i, column);
            at(r, row, column) = sum;
        }
    }
    return r;
}

Mat4 mat4_rotate(const Mat4& m, float angle_deg, Vec3 axis) {
    const float length = std::sqrt(dot(axis, axis));
    if (length == 0.0f) return m;
    const Vec3 a = normalized(axis);
    const float rad = static_cast<float>(angle_deg * kPi / 180.0);
    const float c = std::cos(rad);
    const float s = std::sin(rad);
    const float nc = 1.0f - c;
    Mat4 r = mat4_identity();
    at(r, 0, 0) = a.x * a.x * nc + c;
    at(r, 0, 1) = a.x * a.y * nc - a.z * s;
    at(r, 0, 2) = a.x * a.z * nc + a.y * s;
    at(r, 1, 0) = a.y * a.x * nc + a.z * s;
    at(r, 1, 1) = a.y * a.y * nc + c;
    at(r, 1, 2) = a.y * a.z * nc - a.x * s;
    at(r, 2, 0) = a.z * a.x * nc - a.y * s;
    at(r, 2, 1) = a.z * a.y * nc + a.x * s;
    at(r, 2, 2) = a.z * a.z * nc + c;
    return mat4_multiply(m, r);
}

bool mat4_ortho(Mat4& out, float left, float right, float bottom, float top, float near_plane,
                float far_plane) {
    if (left == right || bottom == top || near_plane == far_plane) return false;
    const float w = right - left, h = top - bottom, d = far_plane - near_plane;
    Mat4 m{};
    at(m, 0, 0) = 2.0f / w;
    at(m, 1, 1) = 2.0f / h;
    at(m, 2, 2) = -2.0f / d;
    at(m, 0, 3) = -(right + left) / w;
    at(m, 1, 3) = -(top + bottom) / h;
    at(m, 2, 3) = -(far_plane + near_plane) / d;
    at(m, 3, 3) = 1.0f;
    out = m;
    return true;
}

bool mat4_frustum(Mat4& out, float left, float right, float bottom, float top, float near_plane,
                  float far_plane) {
    if (left == right || bottom == top || near_plane == far_plane || !(near_plane > 0.0f) ||
        !(far_plane > 0.0f)) {
        return false;
    }
    const float w = right - left, h = top - bottom, d = far_plane - near_plane;
    Mat4 m{};
    at(m, 0, 0) = 2.0f * near_plane / w;
    at(m, 1, 1) = 2.0f * near_plane / h;
    at(m, 0, 2) = (right + left) / w;
    at(m, 1, 2) = (top + bottom) / h;
    at(m, 2, 2) = -(far_plane + near_plane) / d;
    at(m, 3, 2) = -1.0f;
    at(m, 2, 3) = -2.0f * far_plane * near_plane / d;
    out = m;
    return true;
}

Mat4 mat4_look_at(Vec3 eye, Vec3 centre, Vec3 up) {
    const Vec3 f = normalized({centre.x - eye.x, centre.y - eye.y, centre.z - eye.z});
    const Vec3 s = normalized(cross(f, up));
    const Vec3 u = cross(s, f);
    Mat4 m = mat4_identity();
    at(m, 0, 0) = s.x;
    at(m, 0, 1) = s.y;
    at(m, 0, 2) = s.z;
    at(m, 1, 0) = u.x;
    at(m, 1, 1) = u.y;
    at(m, 1, 2) = u.z;
    at(m, 2, 0) = -f.x;
    at(m, 2, 1) = -f.y;
    at(m, 2, 2) = -f.z;
    at(m, 0, 3) = -dot(s, eye);
    at(m, 1, 3) = -dot(u, eye);
    at(m, 2, 3) = dot(f, eye);
    return m;
}

std::array<float, 4> mat4_transform_point(const Mat4& m, Vec3 p) {
    std::array<float, 4> r{};
    for (int row = 0; row < 4; ++row) {
        r[row] = at(m, row, 0) * p.x + at(m, row, 1) * p.y + at(m, row, 2) * p.z + at(m, row, 3);
    }
    return r;
}

}  // namespace geometry
