#include "gl/textures.h"

namespace gl {
namespace {

constexpr GLint kByteAlignment = 1;

// Sets the unpack state for `image`, runs `upload`, and puts the row length
// back to the default (rows as wide as the image).
template <class Upload>
void unpack(const Image& image, Upload upload) {
    glPixelStorei(GL_UNPACK_ALIGNMENT, kByteAlignment);
    if (image.row_pixels != 0) glPixelStorei(GL_UNPACK_ROW_LENGTH, image.row_pixels);
    upload();
    if (image.row_pixels != 0) glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

void tex_image(const TextureFormat& f, const Image& image) {
    unpack(image, [&] {
        glTexImage2D(GL_TEXTURE_2D, 0, f.internal_format, image.width, image.height, 0, f.format,
                     f.type, image.pixels);
    });
}

}  // namespace

bool set_up_texture(GLuint texture, const TextureFormat& f, const Image& image,
                    const TextureSetupLines& lines, const StepCheck* check) {
    auto failed = [check](int line) {
        return check != nullptr && line != 0 && check->failed(line);
    };
    glBindTexture(GL_TEXTURE_2D, texture);
    if (failed(lines.bind)) return false;
    const struct {
        GLenum name;
        GLint value;
        int line;
    } parameters[] = {
        {GL_TEXTURE_MIN_FILTER, f.filter, lines.min_filter},
        {GL_TEXTURE_MAG_FILTER, f.filter, lines.mag_filter},
        {GL_TEXTURE_WRAP_S, f.wrap, lines.wrap_s},
        {GL_TEXTURE_WRAP_T, f.wrap, lines.wrap_t},
    };
    for (const auto& p : parameters) {
        glTexParameteri(GL_TEXTURE_2D, p.name, p.value);
        if (failed(p.line)) return false;
    }
    tex_image(f, image);
    return !failed(lines.allocate);
}

void allocate_image(GLuint texture, const TextureFormat& f, const Image& image) {
    glBindTexture(GL_TEXTURE_2D, texture);
    tex_image(f, image);
}

void replace_image(GLuint texture, const TextureFormat& f, const Image& image) {
    glBindTexture(GL_TEXTURE_2D, texture);
    unpack(image, [&] {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, image.width, image.height, f.format, f.type,
                        image.pixels);
    });
}

}  // namespace gl
