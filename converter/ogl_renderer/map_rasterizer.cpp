#include "map_rasterizer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "gl/mesh.h"

namespace converter {
namespace {

constexpr int kTexelFloats = 4;
// What travels with a vertex to the pixels: both coordinate pairs, the
// weight, the index.
constexpr int kVaryings = 6;

struct Vertex {
    std::array<float, 4> clip;  // x y z w
    std::array<float, kVaryings> varying;
};

Vertex make_vertex(const MeshArrays& m, const geometry::Mat4& mvp, const geometry::Mat4& st,
                   int i) {
    Vertex v;
    const float* p = m.positions + 3 * i;
    v.clip = geometry::mat4_transform_point(mvp, {p[0], p[1], p[2]});
    const float* tc = m.texcoords + 4 * i;
    for (int pair = 0; pair < 2; ++pair) {
        const auto t = geometry::mat4_transform_point(st, {tc[2 * pair], tc[2 * pair + 1], 1.0f});
        v.varying[2 * pair] = t[0];
        v.varying[2 * pair + 1] = t[1];
    }
    v.varying[4] = m.weights != nullptr ? m.weights[i] : 0.0f;
    v.varying[5] = m.indices != nullptr ? m.indices[i] : 0.0f;
    return v;
}

Vertex lerp(const Vertex& a, const Vertex& b, float t) {
    Vertex v;
    for (int k = 0; k < 4; ++k) v.clip[k] = a.clip[k] + t * (b.clip[k] - a.clip[k]);
    for (int k = 0; k < kVaryings; ++k)
        v.varying[k] = a.varying[k] + t * (b.varying[k] - a.varying[k]);
    return v;
}

// The polygon's part on the side where distance(v) >= 0.
template <typename Distance>
std::vector<Vertex> clip_polygon(const std::vector<Vertex>& in, Distance distance) {
    std::vector<Vertex> out;
    for (std::size_t i = 0; i < in.size(); ++i) {
        const Vertex& a = in[i];
        const Vertex& b = in[(i + 1) % in.size()];
        const float da = distance(a), db = distance(b);
        if (da >= 0.0f) out.push_back(a);
        if ((da >= 0.0f) != (db >= 0.0f)) out.push_back(lerp(a, b, da / (da - db)));
    }
    return out;
}

// The pixel's value as the mesh program writes it; false where it discards.
bool shade(const std::array<float, kVaryings>& v, float* texel) {
    const auto inside = [](float s, float t) {
        return s >= 0.0f && s <= 1.0f && t >= 0.0f && t <= 1.0f;
    };
    const float index = v[5];
    float s = 0.0f, t = 0.0f, drawn = 0.0f;
    if (gl::in_class(gl::TexIndexClass::blend, index)) {
        s = v[4] * v[0] + (1.0f - v[4]) * v[2];
        t = v[4] * v[1] + (1.0f - v[4]) * v[3];
        drawn = 1.0f;
    } else if (gl::in_class(gl::TexIndexClass::second_camera, index)) {
        if (!inside(v[2], v[3])) return false;
        s = v[2], t = v[3], drawn = 1.0f;
    } else if (gl::in_class(gl::TexIndexClass::first_camera, index)) {
        if (!inside(v[0], v[1])) return false;
        s = v[0], t = v[1], drawn = 1.0f;
    }
    texel[0] = s;
    texel[1] = t;
    texel[2] = texel[3] = drawn;
    return true;
}

struct Screen {
    float x, y, inv_w;
};

// A shared edge belongs to the triangle it bounds on the top or the left
// (the triangle wound counter-clockwise, y up).
bool top_left(const Screen& a, const Screen& b) {
    return (a.y == b.y && b.x < a.x) || b.y < a.y;
}

void draw_triangle(const Vertex* v, CoordinateMap& map) {
    std::array<Screen, 3> s{};
    for (int k = 0; k < 3; ++k) {
        const float inv_w = 1.0f / v[k].clip[3];
        s[k] = {(v[k].clip[0] * inv_w + 1.0f) * 0.5f * static_cast<float>(map.width),
                (v[k].clip[1] * inv_w + 1.0f) * 0.5f * static_cast<float>(map.height), inv_w};
    }
    std::array<int, 3> order{0, 1, 2};
    const auto edge = [](const Screen& a, const Screen& b, float x, float y) {
        return (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x);
    };
    const float area = edge(s[0], s[1], s[2].x, s[2].y);
    if (area == 0.0f || !std::isfinite(area)) return;
    if (area < 0.0f) std::swap(order[1], order[2]);
    const Screen& a = s[order[0]];
    const Screen& b = s[order[1]];
    const Screen& c = s[order[2]];
    const float total = std::fabs(area);
    const int x0 = std::max(0, static_cast<int>(std::floor(std::min({a.x, b.x, c.x}))));
    const int x1 = std::min(map.width - 1, static_cast<int>(std::ceil(std::max({a.x, b.x, c.x}))));
    const int y0 = std::max(0, static_cast<int>(std::floor(std::min({a.y, b.y, c.y}))));
    const int y1 = std::min(map.height - 1, static_cast<int>(std::ceil(std::max({a.y, b.y, c.y}))));
    const bool own_bc = top_left(b, c), own_ca = top_left(c, a), own_ab = top_left(a, b);
    for (int y = y0; y <= y1; ++y) {
        const float py = static_cast<float>(y) + 0.5f;
        for (int x = x0; x <= x1; ++x) {
            const float px = static_cast<float>(x) + 0.5f;
            const float wa = edge(b, c, px, py), wb = edge(c, a, px, py), wc = edge(a, b, px, py);
            if (wa < 0.0f || wb < 0.0f || wc < 0.0f) continue;
            if ((wa == 0.0f && !own_bc) || (wb == 0.0f && !own_ca) || (wc == 0.0f && !own_ab)) {
                continue;
            }
            // Perspective: the weights over w, normalised.
            const float la = wa / total * a.inv_w, lb = wb / total * b.inv_w,
                        lc = wc / total * c.inv_w;
            const float sum = la + lb + lc;
            std::array<float, kVaryings> varying{};
            const Vertex& va = v[order[0]];
            const Vertex& vb = v[order[1]];
            const Vertex& vc = v[order[2]];
            for (int k = 0; k < kVaryings; ++k) {
                varying[k] = (la * va.varying[k] + lb * vb.varying[k] + lc * vc.varying[k]) / sum;
            }
            float* texel =
                map.texels.data() + (static_cast<std::size_t>(y) * map.width + x) * kTexelFloats;
            float value[kTexelFloats];
            if (shade(varying, value)) std::copy(value, value + kTexelFloats, texel);
        }
    }
}

}  // namespace

CoordinateMap rasterize_map(const MeshArrays& mesh, const geometry::Mat4& mvp,
                            const geometry::Mat4& st, int width, int height) {
    CoordinateMap map;
    map.width = width;
    map.height = height;
    map.texels.assign(static_cast<std::size_t>(width) * height * kTexelFloats, 0.0f);
    if (mesh.positions == nullptr || mesh.texcoords == nullptr) return map;
    // The depth range: -w <= z <= w.
    const auto near_side = [](const Vertex& v) { return v.clip[2] + v.clip[3]; };
    const auto far_side = [](const Vertex& v) { return v.clip[3] - v.clip[2]; };
    const auto within_depth = [&](const Vertex& v) {
        return near_side(v) >= 0.0f && far_side(v) >= 0.0f;
    };
    for (int first = 0; first + 2 < mesh.vertex_count; first += 3) {
        const Vertex triangle[3] = {make_vertex(mesh, mvp, st, first),
                                    make_vertex(mesh, mvp, st, first + 1),
                                    make_vertex(mesh, mvp, st, first + 2)};
        // Most triangles lie wholly within it: drawn as they are, which is
        // what clipping would leave of them.
        if (within_depth(triangle[0]) && within_depth(triangle[1]) && within_depth(triangle[2])) {
            draw_triangle(triangle, map);
            continue;
        }
        std::vector<Vertex> polygon(triangle, triangle + 3);
        polygon = clip_polygon(polygon, near_side);
        polygon = clip_polygon(polygon, far_side);
        for (std::size_t k = 1; k + 1 < polygon.size(); ++k) {
            const Vertex fan[3] = {polygon[0], polygon[k], polygon[k + 1]};
            draw_triangle(fan, map);
        }
    }
    return map;
}

}  // namespace converter
