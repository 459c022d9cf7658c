// The GLSL program every viewport draws with: positions through uMVPMatrix,
// both texture-coordinate pairs through uSTMatrix, and per texture index the
// frame's YUV planes turned to RGB by uColorConversion, the logo, a blend of
// two cameras, or black.
#pragma once

#include <array>

#include "ogl_rendererMgr/gl_objects.h"

namespace sphere_player::ogl {

// ITU-R BT.601 limited range, column-major for glUniformMatrix3fv without
// transpose: R = 1.164 Y' + 1.596 V', G = 1.164 Y' - 0.392 U' - 0.813 V',
// B = 1.164 Y' + 2.017 U' with Y' = Y - 16/255, U' = U - 0.5, V' = V - 0.5.
constexpr std::array<float, 9> kColorConversion = {
    1.164f, 1.164f,  1.164f,  // Y'
    0.0f,   -0.392f, 2.017f,  // U'
    1.596f, -0.813f, 0.0f,    // V'
};

// Compiles and links the program. Compile and link failures are printed
// through `messages` (and left in its error text); returns the program, or
// an empty name on failure.
GlProgram generate_stitching_program(const RendererMessages& messages);

}  // namespace sphere_player::ogl
