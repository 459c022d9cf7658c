// The state the renderer manager shares with its viewports: texture names,
// programs, uniform and attribute locations, the error text.
//
// Every GL object is created and deleted on the thread whose context is
// current (the display thread); the context must still be current when an
// owner is destroyed.
#pragma once

#include <GL/glew.h>

#include <array>

#include "gl/objects.h"
#include "ogl_rendererMgr/renderer_messages.h"

namespace sphere_player::ogl {

// Texture names in the order of their texture units (Y = unit 0 ... logo =
// unit 3); the spare is generated and deleted with the others, never bound.
enum TextureSlot : int { kTextureY, kTextureU, kTextureV, kTextureLogo, kTextureSpare };
constexpr int kTextureNameCount = 5;
constexpr int kBoundTextureCount = 4;

struct UniformLocations {
    GLint sTextureY = -1;
    GLint sTextureU = -1;
    GLint sTextureV = -1;
    GLint logoTexture = -1;
    GLint uMVPMatrix = -1;
    GLint uSTMatrix = -1;
    GLint uColorConversion = -1;
};

struct AttributeLocations {
    GLint aPosition = -1;
    GLint aTextureCoord = -1;
    GLint aLeftWeights = -1;
    GLint aTexIndex = -1;
};

// A program of the stitching family and the location of the one uniform
// every draw sets.
struct StitchingProgram {
    gl::Program program;
    GLint mvp_location = -1;

    struct Ref {
        GLuint program = 0;
        GLint mvp_location = -1;
    };
};

// How the viewports upload and draw their meshes.
// - indexed: one copy of each distinct vertex and an element buffer
//   (except the cylinder, whose texture coordinates change every draw); the
//   runs of one texture-index class each drawn with the program specialised
//   to it; chunks of triangles wholly out of view left out;
// - reference: the geometry's arrays as they are, one glDrawArrays with the
//   full program; the direct reading, kept to check the other against.
// Both give the same pixels.
enum class DrawPath { indexed, reference };

// Number of programs the shared state can hold, the full one included.
constexpr int kStitchingProgramSlots = 16;

// Owned by the manager; each viewport keeps a pointer to it for the
// manager's lifetime and changes nothing but the error text and the
// specialised programs it asks for.
struct RendererShared {
    std::array<gl::Texture, kTextureNameCount> textures;
    UniformLocations uniforms;
    AttributeLocations attributes;
    gl::Program program;  // the full program
    RendererMessages messages;

    // Specialised programs by branch mask, made on first request by a
    // viewport build and deleted when the full program is replaced; tried
    // is set once an attempt was made (an empty program after it means
    // the full program serves that mask).
    std::array<StitchingProgram, kStitchingProgramSlots> specialised;
    std::array<bool, kStitchingProgramSlots> specialised_tried{};
    DrawPath draw_path = DrawPath::indexed;
};

}  // namespace sphere_player::ogl
