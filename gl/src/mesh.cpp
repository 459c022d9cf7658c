#include "gl/mesh.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

namespace gl {
namespace {

constexpr float kUnbounded = std::numeric_limits<float>::infinity();

// A class as the fragment stages compare the index with GLSL float
// literals; the upper bound of the last class is open-ended.
struct IndexRange {
    float low;
    bool low_closed;
    float high;
    bool high_closed;
};

constexpr IndexRange kRanges[kTexIndexClassCount] = {
    {0.9f, false, 1.1f, false},       // first_camera
    {1.9f, false, 2.1f, false},       // second_camera
    {2.9f, true, 3.1f, false},        // blend
    {3.1f, true, kUnbounded, false},  // logo
};

const IndexRange& range_of(TexIndexClass c) {
    return kRanges[static_cast<int>(c)];
}

// The shortest literal that reads back as the same float ("0.9").
std::string glsl_float(float value) {
    char text[32];
    for (int digits = 1; digits <= std::numeric_limits<float>::max_digits10; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
        if (std::strtof(text, nullptr) == value) break;
    }
    std::string literal = text;
    if (literal.find_first_of(".e") == std::string::npos) literal += ".0";
    return literal;
}

}  // namespace

std::string mesh_vertex_shader(const MeshShaderNames& n) {
    const std::string position = n.attributes[kSlotPosition];
    const std::string texcoord = n.attributes[kSlotTexcoord];
    const std::string out = n.texcoord_out;
    std::string s = "#version 130\n";
    s += std::string("uniform mat4 ") + kUniformMvp + ";\n";
    s += std::string("uniform mat4 ") + kUniformSt + ";\n";
    s += "in vec3 " + position + ";\n";
    s += "in vec4 " + texcoord + ";\n";
    s += std::string("in float ") + n.attributes[kSlotWeight] + ";\n";
    s += std::string("in float ") + n.attributes[kSlotIndex] + ";\n";
    s += "out vec4 " + out + ";\n";
    s += std::string("out float ") + n.weight_out + ";\n";
    s += std::string("out float ") + n.index_out + ";\n";
    s += "void main() {\n";
    s += std::string("    gl_Position = ") + kUniformMvp + " * vec4(" + position + ", 1.0);\n";
    for (const char* pair : {"xy", "zw"}) {
        s += "    " + out + "." + pair + " = (" + kUniformSt + " * vec4(" + texcoord + "." + pair +
             ", 1.0, 1.0)).xy;\n";
    }
    s += std::string("    ") + n.weight_out + " = " + n.attributes[kSlotWeight] + ";\n";
    s += std::string("    ") + n.index_out + " = " + n.attributes[kSlotIndex] + ";\n";
    s += "}\n";
    return s;
}

bool in_class(TexIndexClass c, float index) {
    const IndexRange& r = range_of(c);
    const bool above = r.low_closed ? index >= r.low : index > r.low;
    const bool below = r.high_closed ? index <= r.high : index < r.high;
    return above && below;
}

std::string index_condition(TexIndexClass c, const char* variable) {
    const IndexRange& r = range_of(c);
    const std::string v = variable;
    std::string condition = v + (r.low_closed ? " >= " : " > ") + glsl_float(r.low);
    if (!std::isinf(r.high)) {
        condition += " && " + v + (r.high_closed ? " <= " : " < ") + glsl_float(r.high);
    }
    return condition;
}

std::array<float, kTexIndexBoundCount> index_bounds() {
    std::array<float, kTexIndexBoundCount> bounds{};
    std::size_t n = 0;
    for (const IndexRange& r : kRanges) {
        for (float b : {r.low, r.high}) {
            if (std::isinf(b)) continue;
            bool known = false;
            for (std::size_t i = 0; i < n; ++i) known = known || bounds[i] == b;
            if (!known && n < bounds.size()) bounds[n++] = b;
        }
    }
    return bounds;  // the table lists its classes in ascending order
}

void fill_array_buffer(Buffer& buffer, const float* data, std::size_t floats, GLenum usage) {
    std::vector<float> zeros;
    if (data == nullptr) {
        zeros.assign(floats, 0.0f);
        data = zeros.data();
    }
    glBindBuffer(GL_ARRAY_BUFFER, buffer.create());
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(floats * sizeof(float)), data, usage);
}

void point_float_attribute(GLint location, int components) {
    glVertexAttribPointer(static_cast<GLuint>(location), components, GL_FLOAT, GL_FALSE, 0,
                          nullptr);
    glEnableVertexAttribArray(static_cast<GLuint>(location));
}

}  // namespace gl
