#include "gl/program.h"

namespace gl {
namespace {

// An info log of `length` bytes, NUL included, cut at its first NUL.
template <class Read>
std::string read_log(GLint length, Read read) {
    if (length <= 1) return {};
    std::string log(static_cast<std::size_t>(length), '\0');
    read(length, log.data());
    const std::size_t end = log.find('\0');
    if (end != std::string::npos) log.resize(end);
    return log;
}

// True when the shader compiled, or failed without a word.
bool compile(Shader& shader, GLenum type, const char* source, std::string& log) {
    shader.create(type);
    glShaderSource(shader.get(), 1, &source, nullptr);
    glCompileShader(shader.get());
    GLint compiled = GL_FALSE;
    glGetShaderiv(shader.get(), GL_COMPILE_STATUS, &compiled);
    if (compiled == GL_TRUE) return true;
    log = shader_log(shader.get());
    if (log.empty()) return true;
    shader.reset();
    return false;
}

}  // namespace

std::string shader_log(GLuint shader) {
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    return read_log(length,
                    [shader](GLint n, char* out) { glGetShaderInfoLog(shader, n, nullptr, out); });
}

std::string program_log(GLuint program) {
    GLint length = 0;
    glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
    return read_log(
        length, [program](GLint n, char* out) { glGetProgramInfoLog(program, n, nullptr, out); });
}

ProgramBuild build_program(const char* vertex_source, const char* fragment_source,
                           const BeforeLink& before_link) {
    ProgramBuild build;
    Shader vertex, fragment;
    if (!compile(vertex, GL_VERTEX_SHADER, vertex_source, build.log)) {
        build.failed = BuildStep::vertex_shader;
        return build;
    }
    if (!compile(fragment, GL_FRAGMENT_SHADER, fragment_source, build.log)) {
        build.failed = BuildStep::fragment_shader;
        return build;
    }
    build.log.clear();
    if (build.program.create() == 0) {
        build.failed = BuildStep::create_program;
        return build;
    }
    const GLuint program = build.program.get();
    glAttachShader(program, vertex.get());
    glAttachShader(program, fragment.get());
    if (before_link) before_link(program);
    glLinkProgram(program);
    GLint linked = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE) {
        build.log = program_log(program);
        build.program.reset();
        build.failed = BuildStep::link;
    }
    return build;
}

}  // namespace gl
