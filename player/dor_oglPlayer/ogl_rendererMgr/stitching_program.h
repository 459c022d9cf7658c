// The GLSL programs every viewport draws with: positions through uMVPMatrix,
// both texture-coordinate pairs through uSTMatrix, and per texture index the
// frame's YUV planes turned to RGB by uColorConversion, the logo, a blend of
// two cameras, or black.
//
// The full program tests the index against every class in turn. A GL driver
// without real branches (Mesa's llvmpipe runs every branch of a fragment
// shader under a mask) pays for each class's texture reads on every pixel,
// so triangles that reach only some classes are drawn with a specialised
// program: the full one with the other branches left out. For the fragments
// of such triangles both programs run the same statements on the same
// inputs and write the same colour.
#pragma once

#include <array>

#include "ogl_rendererMgr/renderer_shared.h"

namespace sphere_player::ogl {

// ITU-R BT.601 limited range, column-major for glUniformMatrix3fv without
// transpose: R = 1.164 Y' + 1.596 V', G = 1.164 Y' - 0.392 U' - 0.813 V',
// B = 1.164 Y' + 2.017 U' with Y' = Y - 16/255, U' = U - 0.5, V' = V - 0.5.
constexpr std::array<float, 9> kColorConversion = {
    1.164f, 1.164f,  1.164f,  // Y'
    0.0f,   -0.392f, 2.017f,  // U'
    1.596f, -0.813f, 0.0f,    // V'
};

// Classes of the texture index (gl/mesh.h), one fragment-shader branch
// each; an index in none of them is drawn black.
enum FragmentBranch : unsigned {
    kBranchFirstCamera = 1u << 0,   // 0.9 < index < 1.1: the frame at xy
    kBranchSecondCamera = 1u << 1,  // 1.9 < index < 2.1: the frame at zw
    kBranchBlend = 1u << 2,         // 2.9 <= index < 3.1: both, weighted
    kBranchLogo = 1u << 3,          // 3.1 <= index: the logo at xy
};
constexpr unsigned kAllBranches = 15;  // the full program
static_assert(kAllBranches + 1 == kStitchingProgramSlots, "one slot per branch mask");

// The branch a fragment whose interpolated index is near `index` takes, 0
// for black; kAllBranches when the index is not finite or so near a class
// boundary that interpolation could carry it across.
unsigned index_branch(float index);

// Compiles and links the full program. Compile and link failures are
// printed through `messages` (and left in its error text); returns the
// program, or an empty name on failure.
gl::Program generate_stitching_program(const RendererMessages& messages);

// The program with only `branches` (and black), its attributes bound to the
// full program's locations and its uniforms copied from `full`, which must
// be linked. Call with no GL error pending: the errors it causes are
// cleared. Prints nothing; an empty name on any failure. Leaves no program
// in use.
StitchingProgram generate_specialised_program(unsigned branches, GLuint full,
                                              const AttributeLocations& attributes,
                                              const UniformLocations& uniforms);

// The program and MVP location for a mesh reaching `branches`: the shared
// specialised program, made on first request (with no GL error pending), or
// the full program when `branches` is kAllBranches or no specialised one
// could be made.
StitchingProgram::Ref program_for_branches(RendererShared& shared, unsigned branches);
// The same without making anything (draw time).
StitchingProgram::Ref find_program(const RendererShared& shared, unsigned branches);

}  // namespace sphere_player::ogl
