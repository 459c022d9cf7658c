// The dewarping mesh as both renderers' programs read it: the vertex layout
// (position, two texture-coordinate pairs, blend weight, texture index),
// the vertex stage (the position through `uMVPMatrix`, both coordinate
// pairs through `uSTMatrix`), and the classes of the texture index that
// the fragment stages tell apart. What a fragment stage does with a class
// is each renderer's own.
//
// Thread-safety: the shader texts and classes are pure functions; the
// buffer helpers run on the thread whose GL context is current.
#pragma once

#include <GL/glew.h>

#include <array>
#include <cstddef>
#include <string>

#include "gl/objects.h"

namespace gl {

// Attribute slots of the vertex layout, in the order of the mesh's buffers.
enum MeshSlot : int { kSlotPosition, kSlotTexcoord, kSlotWeight, kSlotIndex };
constexpr int kMeshSlotCount = 4;
// Floats per vertex of each slot (tightly packed, offset 0): x y z; s t of
// the first camera and s t of the second; the weight; the index.
constexpr std::array<int, kMeshSlotCount> kSlotComponents = {3, 4, 1, 1};

// Uniforms of the vertex stage.
constexpr const char* kUniformMvp = "uMVPMatrix";
constexpr const char* kUniformSt = "uSTMatrix";

// A renderer's names for the layout's attributes and for what its vertex
// stage hands the fragment stage.
struct MeshShaderNames {
    std::array<const char*, kMeshSlotCount> attributes;  // by slot
    const char* texcoord_out;                            // vec4: both pairs
    const char* weight_out;                              // float
    const char* index_out;                               // float
};

// The "#version 130" vertex shader of the mesh under those names.
std::string mesh_vertex_shader(const MeshShaderNames& names);

// Classes of the interpolated texture index. Index values 1, 2, 3, 4 of
// the layout fall in first_camera, second_camera, blend and logo; any value
// outside every class is drawn black.
enum class TexIndexClass { first_camera, second_camera, blend, logo };
constexpr int kTexIndexClassCount = 4;

// Whether `index` lies in the class, compared as the fragment stages do.
bool in_class(TexIndexClass c, float index);

// The GLSL condition of the class on the float variable `variable`, e.g.
// "index > 0.9 && index < 1.1".
std::string index_condition(TexIndexClass c, const char* variable);

// Every class boundary, ascending.
constexpr std::size_t kTexIndexBoundCount = 6;
std::array<float, kTexIndexBoundCount> index_bounds();

// Creates `buffer` anew, binds it to GL_ARRAY_BUFFER and fills it with
// `floats` floats from `data` (null: zeros).
void fill_array_buffer(Buffer& buffer, const float* data, std::size_t floats, GLenum usage);

// Points the attribute at `location` at the bound GL_ARRAY_BUFFER, as
// `components` tightly packed floats from offset 0, and enables it.
void point_float_attribute(GLint location, int components);

}  // namespace gl
