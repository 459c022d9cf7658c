#include "shaders.h"

#include "gl/mesh.h"

namespace converter {

std::string mesh_vertex_shader() {
    return gl::mesh_vertex_shader({{kAttrPosition, kAttrTexCoord, kAttrLeftWeights, kAttrTexIndex},
                                   "fragTexCoord",
                                   "left_weight",
                                   "index"});
}

// Writes (s, t, 1, 1): sample the source picture at (s, t); (0, 0, 0, 0) is
// opaque black. Where no colour is written the map keeps its cleared black.
// The seam between two lenses (index 3) blends the two coordinates; the
// converter's one-lens meshes carry indices 0 and 1 only. There is no logo
// class: such an index is black.
std::string mesh_fragment_shader() {
    const auto condition = [](gl::TexIndexClass c) { return gl::index_condition(c, "index"); };
    return std::string(R"(#version 130
in vec4 fragTexCoord;
in float left_weight;
in float index;
out vec4 mapped;
bool inside(vec2 p) {
    return all(greaterThanEqual(p, vec2(0.0))) && all(lessThanEqual(p, vec2(1.0)));
}
vec4 sample_at(vec2 p) {
    return vec4(p, 1.0, 1.0);
}
void main() {
    if ()") +
           condition(gl::TexIndexClass::blend) + R"() {
        mapped = left_weight * sample_at(fragTexCoord.xy) +
                 (1.0 - left_weight) * sample_at(fragTexCoord.zw);
    } else if ()" +
           condition(gl::TexIndexClass::second_camera) + R"() {
        if (!inside(fragTexCoord.zw)) discard;
        mapped = sample_at(fragTexCoord.zw);
    } else if ()" +
           condition(gl::TexIndexClass::first_camera) + R"() {
        if (!inside(fragTexCoord.xy)) discard;
        mapped = sample_at(fragTexCoord.xy);
    } else {
        mapped = vec4(0.0);
    }
}
)";
}

const char* const kQuadVertexShader = R"(#version 130
in vec2 aQuad;
void main() {
    gl_Position = vec4(aQuad, 0.0, 1.0);
}
)";

// One map texel per pixel of the plane being drawn; black is limited-range
// YUV black (16, 128, 128).
const char* const kLumaFragmentShader = R"(#version 130
uniform sampler2D uMap;
uniform sampler2D uPlaneY;
out vec4 luma;
void main() {
    vec4 m = texelFetch(uMap, ivec2(gl_FragCoord.xy), 0);
    luma = vec4(m.z > 0.5 ? texture(uPlaneY, m.xy).r : 16.0 / 255.0);
}
)";

const char* const kChromaFragmentShader = R"(#version 130
uniform sampler2D uMap;
uniform sampler2D uPlaneU;
uniform sampler2D uPlaneV;
out vec4 chroma_u;
out vec4 chroma_v;
void main() {
    vec4 m = texelFetch(uMap, ivec2(gl_FragCoord.xy), 0);
    bool drawn = m.z > 0.5;
    chroma_u = vec4(drawn ? texture(uPlaneU, m.xy).r : 128.0 / 255.0);
    chroma_v = vec4(drawn ? texture(uPlaneV, m.xy).r : 128.0 / 255.0);
}
)";

// Set-up of the blocks layout: the coordinates of each 2 x 2 block's upper
// and lower pixel pairs, (-1, -1) for a black pixel.
const char* const kPackFragmentShader = R"(#version 130
uniform sampler2D uMap;
out vec4 upper_pairs;
out vec4 lower_pairs;
vec2 coordinate(ivec2 pixel) {
    vec4 m = texelFetch(uMap, pixel, 0);
    return m.z > 0.5 ? m.xy : vec2(-1.0);
}
void main() {
    ivec2 p = 2 * ivec2(gl_FragCoord.xy);
    upper_pairs = vec4(coordinate(p), coordinate(p + ivec2(1, 0)));
    lower_pairs = vec4(coordinate(p + ivec2(0, 1)), coordinate(p + ivec2(1, 1)));
}
)";

// One 2 x 2 block: its four luma values (two rows of two) and its chroma,
// sampled where the block's drawn pixels look on average.
const char* const kBlocksFragmentShader = R"(#version 130
uniform sampler2D uUpperPairs;
uniform sampler2D uLowerPairs;
uniform sampler2D uPlaneY;
uniform sampler2D uPlaneU;
uniform sampler2D uPlaneV;
out vec4 upper_luma;
out vec4 lower_luma;
out vec4 chroma_u;
out vec4 chroma_v;
float luma_at(vec2 p) {
    return p.x >= 0.0 ? texture(uPlaneY, p).r : 16.0 / 255.0;
}
void main() {
    ivec2 block = ivec2(gl_FragCoord.xy);
    vec4 upper = texelFetch(uUpperPairs, block, 0);
    vec4 lower = texelFetch(uLowerPairs, block, 0);
    upper_luma = vec4(luma_at(upper.xy), luma_at(upper.zw), 0.0, 1.0);
    lower_luma = vec4(luma_at(lower.xy), luma_at(lower.zw), 0.0, 1.0);
    vec4 drawn = step(vec4(0.0), vec4(upper.x, upper.z, lower.x, lower.z));
    float n = dot(drawn, vec4(1.0));
    vec2 c = (drawn.x * upper.xy + drawn.y * upper.zw + drawn.z * lower.xy + drawn.w * lower.zw) /
             max(n, 1.0);
    chroma_u = vec4(n > 0.5 ? texture(uPlaneU, c).r : 128.0 / 255.0);
    chroma_v = vec4(n > 0.5 ? texture(uPlaneV, c).r : 128.0 / 255.0);
}
)";

}  // namespace converter
