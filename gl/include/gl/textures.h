// 2-D textures of picture planes and other images: set-up (filters, edge
// wrapping, storage) step by step, and replacement of a whole image from
// rows of any stride. Rows are byte-aligned: the helpers set an unpack
// alignment of 1 (an odd plane width is common) and leave it so.
//
//     gl::set_up_texture(y_plane, gl::kLuminancePlane, {nullptr, width, height});
//     per picture: gl::replace_image(y_plane, gl::kLuminancePlane, {y, width, height});
//
// Thread-safety: on the thread whose GL context is current.
#pragma once

#include <GL/glew.h>

#include "gl/errors.h"

namespace gl {

struct TextureFormat {
    GLint internal_format;
    GLenum format;  // of the pixels handed in
    GLenum type;
    GLint filter;  // minification and magnification
    GLint wrap;    // s and t
};

// An 8-bit plane as luminance (every colour channel reads it), sampled
// linearly, edges clamped: the player's picture planes.
constexpr TextureFormat kLuminancePlane = {GL_LUMINANCE, GL_LUMINANCE, GL_UNSIGNED_BYTE, GL_LINEAR,
                                           GL_CLAMP_TO_EDGE};
// An 8-bit plane in the red channel, sampled linearly, edges clamped: the
// converter's source planes.
constexpr TextureFormat kRedPlane = {GL_R8, GL_RED, GL_UNSIGNED_BYTE, GL_LINEAR, GL_CLAMP_TO_EDGE};

struct Image {
    const void* pixels = nullptr;  // null: storage only, contents undefined
    int width = 0;
    int height = 0;
    int row_pixels = 0;  // distance between rows in pixels; 0: tightly packed
};

// The numbers of the set-up's steps for a StepCheck after each; 0 checks
// nothing after that step (a later check still sees its error).
struct TextureSetupLines {
    int bind = 0;
    int min_filter = 0;
    int mag_filter = 0;
    int wrap_s = 0;
    int wrap_t = 0;
    int allocate = 0;
};

// Binds `texture` to GL_TEXTURE_2D of the active unit, sets its filters and
// wrap modes and allocates the image's storage from its pixels. With a
// check, stops at the first step whose check fails and returns false.
bool set_up_texture(GLuint texture, const TextureFormat& format, const Image& image,
                    const TextureSetupLines& lines = {}, const StepCheck* check = nullptr);

// Binds `texture` to the active unit and allocates its storage anew from
// the image, keeping its parameters.
void allocate_image(GLuint texture, const TextureFormat& format, const Image& image);

// Binds `texture` to the active unit and replaces its whole image, which
// must have the texture's size.
void replace_image(GLuint texture, const TextureFormat& format, const Image& image);

}  // namespace gl
