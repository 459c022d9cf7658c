// Owning handles for OpenGL objects. A handle must be reset on the thread
// whose context created it, while that context is current.
#pragma once

#include <GL/glew.h>

#include <utility>

namespace converter {

enum class GlKind { texture, buffer, framebuffer, vertex_array, program, shader };

class GlObject {
public:
    GlObject() = default;
    explicit GlObject(GlKind kind) : kind_(kind) {}
    ~GlObject() { reset(); }
    GlObject(GlObject&& other) noexcept : kind_(other.kind_), id_(std::exchange(other.id_, 0)) {}
    GlObject& operator=(GlObject&& other) noexcept {
        if (this != &other) {
            reset();
            kind_ = other.kind_;
            id_ = std::exchange(other.id_, 0);
        }
        return *this;
    }
    GlObject(const GlObject&) = delete;
    GlObject& operator=(const GlObject&) = delete;

    // Deletes any old object and generates a new one of `kind`.
    GLuint create(GlKind kind) {
        reset();
        kind_ = kind;
        switch (kind) {
            case GlKind::texture:
                glGenTextures(1, &id_);
                break;
            case GlKind::buffer:
                glGenBuffers(1, &id_);
                break;
            case GlKind::framebuffer:
                glGenFramebuffers(1, &id_);
                break;
            case GlKind::vertex_array:
                glGenVertexArrays(1, &id_);
                break;
            case GlKind::program:
                id_ = glCreateProgram();
                break;
            case GlKind::shader:
                break;  // shaders are made with create_shader
        }
        return id_;
    }
    GLuint create_shader(GLenum type) {
        reset();
        kind_ = GlKind::shader;
        id_ = glCreateShader(type);
        return id_;
    }

    GLuint get() const { return id_; }
    explicit operator bool() const { return id_ != 0; }

    void reset() {
        if (id_ == 0) return;
        switch (kind_) {
            case GlKind::texture:
                glDeleteTextures(1, &id_);
                break;
            case GlKind::buffer:
                glDeleteBuffers(1, &id_);
                break;
            case GlKind::framebuffer:
                glDeleteFramebuffers(1, &id_);
                break;
            case GlKind::vertex_array:
                glDeleteVertexArrays(1, &id_);
                break;
            case GlKind::program:
                glDeleteProgram(id_);
                break;
            case GlKind::shader:
                glDeleteShader(id_);
                break;
        }
        id_ = 0;
    }

private:
    GlKind kind_ = GlKind::texture;
    GLuint id_ = 0;
};

}  // namespace converter
