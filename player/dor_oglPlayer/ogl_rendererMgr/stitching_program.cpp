#include "ogl_rendererMgr/stitching_program.h"

#include <string>

namespace sphere_player::ogl {
namespace {

constexpr const char* kVertexShader = R"(#version 130
uniform mat4 uMVPMatrix;
uniform mat4 uSTMatrix;
in vec4 aTextureCoord;
in vec4 aPosition;
in float aTexIndex;
in float aLeftWeights;
out vec4 fragTextureCoord;
out float index;
out float frag_left_weights;
void main() {
    gl_Position = uMVPMatrix * aPosition;
    index = aTexIndex;
    frag_left_weights = aLeftWeights;
    fragTextureCoord.xy = (uSTMatrix * vec4(aTextureCoord.xy, 1, 1)).xy;
    fragTextureCoord.zw = (uSTMatrix * vec4(aTextureCoord.zw, 1, 1)).xy;
}
)";

// Index 1 samples the frame at xy, 2 at zw, 3 blends both by the weight,
// 4 shows the logo; a coordinate outside [0, 1] and every other index give
// opaque black.
constexpr const char* kFragmentShader = R"(#version 130
uniform sampler2D sTextureY;
uniform sampler2D sTextureU;
uniform sampler2D sTextureV;
uniform sampler2D logoTexture;
uniform mat3 uColorConversion;
in vec4 fragTextureCoord;
in float index;
in float frag_left_weights;
const vec4 kBlack = vec4(0.0, 0.0, 0.0, 1.0);
vec3 yuv(vec2 p) {
    return vec3(texture(sTextureY, p).r - 16.0 / 255.0,
                texture(sTextureU, p).g - 0.5,
                texture(sTextureV, p).b - 0.5);
}
bool inside(vec2 p) {
    return all(greaterThanEqual(p, vec2(0.0))) && all(lessThanEqual(p, vec2(1.0)));
}
vec4 camera(vec2 p) {
    return inside(p) ? vec4(uColorConversion * yuv(p), 1.0) : kBlack;
}
void main() {
    if (index >= 3.1) {
        gl_FragColor = texture(logoTexture, fragTextureCoord.xy);
    } else if (index >= 2.9) {
        float w = frag_left_weights;
        vec3 rgb = w * (uColorConversion * yuv(fragTextureCoord.xy)) +
                   (1.0 - w) * (uColorConversion * yuv(fragTextureCoord.zw));
        gl_FragColor = vec4(rgb, 1.0);
    } else if (index > 1.9 && index < 2.1) {
        gl_FragColor = camera(fragTextureCoord.zw);
    } else if (index > 0.9 && index < 1.1) {
        gl_FragColor = camera(fragTextureCoord.xy);
    } else {
        gl_FragColor = kBlack;
    }
}
)";

std::string shader_log(GLuint shader) {
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    if (length <= 1) return {};
    std::string log(static_cast<std::size_t>(length), '\0');
    glGetShaderInfoLog(shader, length, nullptr, log.data());
    log.resize(log.find('\0') == std::string::npos ? log.size() : log.find('\0'));
    return log;
}

std::string program_log(GLuint program) {
    GLint length = 0;
    glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
    if (length <= 1) return {};
    std::string log(static_cast<std::size_t>(length), '\0');
    glGetProgramInfoLog(program, length, nullptr, log.data());
    log.resize(log.find('\0') == std::string::npos ? log.size() : log.find('\0'));
    return log;
}

// A failed compile with an empty log is let through: the link reports it.
bool compile_shader(GlShader& shader, GLenum type, const char* source,
                    const RendererMessages& messages) {
    shader.reset(glCreateShader(type));
    glShaderSource(shader.get(), 1, &source, nullptr);
    glCompileShader(shader.get());
    GLint compiled = GL_FALSE;
    glGetShaderiv(shader.get(), GL_COMPILE_STATUS, &compiled);
    if (compiled == GL_TRUE) return true;
    const std::string log = shader_log(shader.get());
    if (log.empty()) return true;
    messages.print(type == GL_VERTEX_SHADER ? "Could not compile vertex shader:\n%s\n"
                                            : "Could not compile fragment shader:\n%s\n",
                   log.c_str());
    shader.reset();
    return false;
}

}  // namespace

GlProgram generate_stitching_program(const RendererMessages& messages) {
    GlShader vertex, fragment;
    if (!compile_shader(vertex, GL_VERTEX_SHADER, kVertexShader, messages)) return {};
    if (!compile_shader(fragment, GL_FRAGMENT_SHADER, kFragmentShader, messages)) return {};
    GlProgram program(glCreateProgram());
    if (program.get() == 0) {
        messages.print("error: fail to create glProgram;\n");
        return {};
    }
    glAttachShader(program.get(), vertex.get());
    glAttachShader(program.get(), fragment.get());
    glLinkProgram(program.get());
    GLint linked = GL_FALSE;
    glGetProgramiv(program.get(), GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE) {
        messages.print("error: Could not link program:\n%s\n;", program_log(program.get()).c_str());
        return {};
    }
    // The shaders go with the program once it is linked.
    return program;
}

}  // namespace sphere_player::ogl
