// The renderer's GLSL programs (all "#version 130").
//
// The mesh pair is the dewarping shader pair: the vertex shader places the
// viewport's mesh and passes the lens texture coordinates (through the
// texture matrix `uSTMatrix`; the vertex stage both renderers share, see
// gl/mesh.h), the fragment shader chooses the lens by the vertex's texture
// index. Because the view of a conversion never changes,
// the pair draws each viewport's mesh once, at set-up, into a coordinate map
// (per pixel: where in the source picture it samples, or black); each frame
// then resamples the source planes through that map. This is what drawing
// the mesh every frame would give, pixel for pixel, without rasterising
// hundreds of thousands of triangles per frame.
#pragma once

#include <string>

namespace converter {

// Attribute names of the mesh pair; its uniforms are gl::kUniformMvp and
// gl::kUniformSt.
constexpr const char* kAttrPosition = "Position";
constexpr const char* kAttrTexCoord = "TexCoord";
constexpr const char* kAttrLeftWeights = "aLeftWeights";
constexpr const char* kAttrTexIndex = "aTexIndex";

// The per-frame programs draw one full-viewport quad (attribute location 0).
constexpr const char* kAttrQuad = "aQuad";
constexpr const char* kUniformMap = "uMap";
constexpr const char* kUniformPlaneY = "uPlaneY";
constexpr const char* kUniformPlaneU = "uPlaneU";
constexpr const char* kUniformPlaneV = "uPlaneV";
constexpr const char* kUniformUpperPairs = "uUpperPairs";
constexpr const char* kUniformLowerPairs = "uLowerPairs";
constexpr const char* kOutLuma = "luma";
constexpr const char* kOutChromaU = "chroma_u";
constexpr const char* kOutChromaV = "chroma_v";
constexpr const char* kOutUpperPairs = "upper_pairs";
constexpr const char* kOutLowerPairs = "lower_pairs";
constexpr const char* kOutUpperLuma = "upper_luma";
constexpr const char* kOutLowerLuma = "lower_luma";

std::string mesh_vertex_shader();
std::string mesh_fragment_shader();
extern const char* const kQuadVertexShader;
extern const char* const kLumaFragmentShader;
extern const char* const kChromaFragmentShader;
extern const char* const kPackFragmentShader;
extern const char* const kBlocksFragmentShader;

}  // namespace converter
