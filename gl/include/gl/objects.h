// Ownership of OpenGL object names: one move-only owner per name, which
// deletes its object when it is reset, assigned to or destroyed.
//
//     gl::Texture plane;
//     glBindTexture(GL_TEXTURE_2D, plane.create());  // deletes any old one first
//     gl::Shader vs;
//     vs.create(GL_VERTEX_SHADER);
//
// Thread-safety: an owner belongs to the thread whose GL context made its
// object; that context must be current when the owner deletes it.
#pragma once

#include <GL/glew.h>

#include <utility>

namespace gl {

// Owns one name of the kind `Kind` describes (0: none). Kind::make(args...)
// creates an object and returns its name (0 when GL made none);
// Kind::destroy(name) deletes it.
template <class Kind>
class Name {
public:
    Name() = default;
    explicit Name(GLuint name) : name_(name) {}
    ~Name() { reset(); }
    Name(Name&& other) noexcept : name_(std::exchange(other.name_, 0)) {}
    Name& operator=(Name&& other) noexcept {
        if (this != &other) reset(std::exchange(other.name_, 0));
        return *this;
    }
    Name(const Name&) = delete;
    Name& operator=(const Name&) = delete;

    GLuint get() const { return name_; }
    explicit operator bool() const { return name_ != 0; }

    // Deletes the object held, then takes `name`.
    void reset(GLuint name = 0) {
        if (name_ != 0) Kind::destroy(name_);
        name_ = name;
    }

    // Deletes the object held, then creates a new one (GL may hand the
    // freed name out again). Returns the new name, 0 when GL made none.
    template <class... Args>
    GLuint create(Args... args) {
        reset();
        name_ = Kind::make(args...);
        return name_;
    }

private:
    GLuint name_ = 0;
};

// One name from a glGen* entry point.
template <class Generate>
GLuint generate_one(Generate generate) {
    GLuint name = 0;
    generate(1, &name);
    return name;
}

struct TextureKind {
    static GLuint make() { return generate_one(glGenTextures); }
    static void destroy(GLuint name) { glDeleteTextures(1, &name); }
};

struct BufferKind {
    static GLuint make() { return generate_one(glGenBuffers); }
    static void destroy(GLuint name) { glDeleteBuffers(1, &name); }
};

struct FramebufferKind {
    static GLuint make() { return generate_one(glGenFramebuffers); }
    static void destroy(GLuint name) { glDeleteFramebuffers(1, &name); }
};

struct RenderbufferKind {
    static GLuint make() { return generate_one(glGenRenderbuffers); }
    static void destroy(GLuint name) { glDeleteRenderbuffers(1, &name); }
};

struct VertexArrayKind {
    static GLuint make() { return generate_one(glGenVertexArrays); }
    static void destroy(GLuint name) { glDeleteVertexArrays(1, &name); }
};

struct ShaderKind {
    static GLuint make(GLenum type) { return glCreateShader(type); }
    static void destroy(GLuint name) { glDeleteShader(name); }
};

struct ProgramKind {
    static GLuint make() { return glCreateProgram(); }
    static void destroy(GLuint name) { glDeleteProgram(name); }
};

using Texture = Name<TextureKind>;
using Buffer = Name<BufferKind>;
using Framebuffer = Name<FramebufferKind>;
using Renderbuffer = Name<RenderbufferKind>;
using VertexArray = Name<VertexArrayKind>;
using Shader = Name<ShaderKind>;  // create(GL_VERTEX_SHADER or GL_FRAGMENT_SHADER)
using Program = Name<ProgramKind>;

}  // namespace gl
