#include "ogl_rendererMgr/stitching_program.h"

#include <cmath>
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
// opaque black. The source is assembled from a prologue and one branch per
// class of index, so that a specialised program is the full one with
// branches left out, character for character in what remains.
constexpr const char* kFragmentPrologue = R"(#version 130
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
)";

struct FragmentBranchSource {
    FragmentBranch branch;
    const char* condition;
    const char* body;
};

// In the order the full program tests them; index_branch() repeats the
// thresholds.
constexpr FragmentBranchSource kBranchSources[] = {
    {kBranchLogo, "index >= 3.1",
     "        gl_FragColor = texture(logoTexture, fragTextureCoord.xy);\n"},
    {kBranchBlend, "index >= 2.9",
     "        float w = frag_left_weights;\n"
     "        vec3 rgb = w * (uColorConversion * yuv(fragTextureCoord.xy)) +\n"
     "                   (1.0 - w) * (uColorConversion * yuv(fragTextureCoord.zw));\n"
     "        gl_FragColor = vec4(rgb, 1.0);\n"},
    {kBranchSecondCamera, "index > 1.9 && index < 2.1",
     "        gl_FragColor = camera(fragTextureCoord.zw);\n"},
    {kBranchFirstCamera, "index > 0.9 && index < 1.1",
     "        gl_FragColor = camera(fragTextureCoord.xy);\n"},
};

// The boundaries of the classes as the shader compares them (GLSL float
// literals), and how far from each an index must lie: interpolating one
// value over a triangle moves it by a few units in the last place only.
constexpr float kIndexThresholds[] = {0.9f, 1.1f, 1.9f, 2.1f, 2.9f, 3.1f};
constexpr float kIndexMargin = 0.01f;

std::string fragment_source(unsigned branches) {
    std::string source = kFragmentPrologue;
    bool first = true;
    for (const FragmentBranchSource& b : kBranchSources) {
        if ((branches & b.branch) == 0) continue;
        source += first ? "    if (" : "    } else if (";
        source += b.condition;
        source += ") {\n";
        source += b.body;
        first = false;
    }
    source += first ? "    gl_FragColor = kBlack;\n"
                    : "    } else {\n        gl_FragColor = kBlack;\n    }\n";
    source += "}\n";
    return source;
}

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

bool compiled_quietly(GlShader& shader, GLenum type, const char* source) {
    shader.reset(glCreateShader(type));
    glShaderSource(shader.get(), 1, &source, nullptr);
    glCompileShader(shader.get());
    GLint compiled = GL_FALSE;
    glGetShaderiv(shader.get(), GL_COMPILE_STATUS, &compiled);
    return compiled == GL_TRUE;
}

struct NamedAttribute {
    const char* name;
    GLint location;
};

std::array<NamedAttribute, 4> named_attributes(const AttributeLocations& a) {
    return {{{"aPosition", a.aPosition},
             {"aTextureCoord", a.aTextureCoord},
             {"aLeftWeights", a.aLeftWeights},
             {"aTexIndex", a.aTexIndex}}};
}

// Links `program` with every attribute at the full program's location; an
// attribute the specialised shaders leave unused may be dropped, one they
// use must land where the viewports point their buffers.
bool link_with_locations(GLuint program, const AttributeLocations& attributes) {
    for (const NamedAttribute& a : named_attributes(attributes)) {
        glBindAttribLocation(program, static_cast<GLuint>(a.location), a.name);
    }
    glLinkProgram(program);
    GLint linked = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE) return false;
    for (const NamedAttribute& a : named_attributes(attributes)) {
        const GLint location = glGetAttribLocation(program, a.name);
        if (location != -1 && location != a.location) return false;
    }
    return true;
}

// Gives `program` (in use) the values the full program holds; a uniform the
// specialised program does not use has location -1, which GL ignores.
void copy_uniforms(GLuint full, GLuint program, const UniformLocations& u) {
    std::array<GLfloat, 16> matrix{};
    glGetUniformfv(full, u.uSTMatrix, matrix.data());
    glUniformMatrix4fv(glGetUniformLocation(program, "uSTMatrix"), 1, GL_FALSE, matrix.data());
    glGetUniformfv(full, u.uColorConversion, matrix.data());
    glUniformMatrix3fv(glGetUniformLocation(program, "uColorConversion"), 1, GL_FALSE,
                       matrix.data());
    const NamedAttribute samplers[] = {{"sTextureY", u.sTextureY},
                                       {"sTextureU", u.sTextureU},
                                       {"sTextureV", u.sTextureV},
                                       {"logoTexture", u.logoTexture}};
    for (const NamedAttribute& s : samplers) {
        GLint unit = 0;
        if (s.location != -1) glGetUniformiv(full, s.location, &unit);
        glUniform1i(glGetUniformLocation(program, s.name), unit);
    }
}

}  // namespace

unsigned index_branch(float index) {
    if (!std::isfinite(index)) return kAllBranches;
    for (float threshold : kIndexThresholds) {
        if (std::fabs(index - threshold) < kIndexMargin) return kAllBranches;
    }
    if (index >= 3.1f) return kBranchLogo;
    if (index >= 2.9f) return kBranchBlend;
    if (index > 1.9f && index < 2.1f) return kBranchSecondCamera;
    if (index > 0.9f && index < 1.1f) return kBranchFirstCamera;
    return 0;
}

GlProgram generate_stitching_program(const RendererMessages& messages) {
    const std::string fragment_text = fragment_source(kAllBranches);
    GlShader vertex, fragment;
    if (!compile_shader(vertex, GL_VERTEX_SHADER, kVertexShader, messages)) return {};
    if (!compile_shader(fragment, GL_FRAGMENT_SHADER, fragment_text.c_str(), messages)) return {};
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

StitchingProgram generate_specialised_program(unsigned branches, GLuint full,
                                              const AttributeLocations& attributes,
                                              const UniformLocations& uniforms) {
    StitchingProgram result;
    const std::string fragment_text = fragment_source(branches);
    GlShader vertex, fragment;
    if (compiled_quietly(vertex, GL_VERTEX_SHADER, kVertexShader) &&
        compiled_quietly(fragment, GL_FRAGMENT_SHADER, fragment_text.c_str())) {
        result.program.reset(glCreateProgram());
    }
    const GLuint program = result.program.get();
    if (program == 0) return {};
    glAttachShader(program, vertex.get());
    glAttachShader(program, fragment.get());
    if (link_with_locations(program, attributes)) {
        glUseProgram(program);
        copy_uniforms(full, program, uniforms);
        result.mvp_location = glGetUniformLocation(program, "uMVPMatrix");
        glUseProgram(0);
    }
    if (glGetError() != GL_NO_ERROR || result.mvp_location == -1) {
        clear_gl_errors();
        return {};
    }
    return result;
}

StitchingProgram::Ref find_program(const RendererShared& shared, unsigned branches) {
    if (branches < kAllBranches) {
        const StitchingProgram& p = shared.specialised[branches];
        if (p.program.get() != 0) return {p.program.get(), p.mvp_location};
    }
    return {shared.program.get(), shared.uniforms.uMVPMatrix};
}

StitchingProgram::Ref program_for_branches(RendererShared& shared, unsigned branches) {
    if (branches < kAllBranches && !shared.specialised_tried[branches]) {
        shared.specialised_tried[branches] = true;
        shared.specialised[branches] = generate_specialised_program(
            branches, shared.program.get(), shared.attributes, shared.uniforms);
    }
    return find_program(shared, branches);
}

}  // namespace sphere_player::ogl
