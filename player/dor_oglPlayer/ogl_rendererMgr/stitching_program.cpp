#include "ogl_rendererMgr/stitching_program.h"

#include <cmath>
#include <string>
#include <utility>

#include "gl/errors.h"
#include "gl/mesh.h"
#include "gl/program.h"

namespace sphere_player::ogl {
namespace {

// The vertex stage under the names this renderer's programs use.
const std::string& vertex_shader() {
    static const std::string source =
        gl::mesh_vertex_shader({{"aPosition", "aTextureCoord", "aLeftWeights", "aTexIndex"},
                                "fragTextureCoord",
                                "frag_left_weights",
                                "index"});
    return source;
}

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
    gl::TexIndexClass index_class;
    const char* body;
};

// In the order the full program tests them.
constexpr FragmentBranchSource kBranchSources[] = {
    {kBranchLogo, gl::TexIndexClass::logo,
     "        gl_FragColor = texture(logoTexture, fragTextureCoord.xy);\n"},
    {kBranchBlend, gl::TexIndexClass::blend,
     "        float w = frag_left_weights;\n"
     "        vec3 rgb = w * (uColorConversion * yuv(fragTextureCoord.xy)) +\n"
     "                   (1.0 - w) * (uColorConversion * yuv(fragTextureCoord.zw));\n"
     "        gl_FragColor = vec4(rgb, 1.0);\n"},
    {kBranchSecondCamera, gl::TexIndexClass::second_camera,
     "        gl_FragColor = camera(fragTextureCoord.zw);\n"},
    {kBranchFirstCamera, gl::TexIndexClass::first_camera,
     "        gl_FragColor = camera(fragTextureCoord.xy);\n"},
};

// How far from a class boundary an index must lie to be sure of its class:
// interpolating one value over a triangle moves it by a few units in the
// last place only.
constexpr float kIndexMargin = 0.01f;

std::string fragment_source(unsigned branches) {
    std::string source = kFragmentPrologue;
    bool first = true;
    for (const FragmentBranchSource& b : kBranchSources) {
        if ((branches & b.branch) == 0) continue;
        source += first ? "    if (" : "    } else if (";
        source += gl::index_condition(b.index_class, "index");
        source += ") {\n";
        source += b.body;
        first = false;
    }
    source += first ? "    gl_FragColor = kBlack;\n"
                    : "    } else {\n        gl_FragColor = kBlack;\n    }\n";
    source += "}\n";
    return source;
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

// The specialised shaders at the full program's attribute locations; an
// attribute they leave unused may be dropped, one they use must land where
// the viewports point their buffers.
void bind_locations(GLuint program, const AttributeLocations& attributes) {
    for (const NamedAttribute& a : named_attributes(attributes)) {
        glBindAttribLocation(program, static_cast<GLuint>(a.location), a.name);
    }
}

bool kept_locations(GLuint program, const AttributeLocations& attributes) {
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
    glUniformMatrix4fv(glGetUniformLocation(program, gl::kUniformSt), 1, GL_FALSE, matrix.data());
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
    for (float bound : gl::index_bounds()) {
        if (std::fabs(index - bound) < kIndexMargin) return kAllBranches;
    }
    for (const FragmentBranchSource& b : kBranchSources) {
        if (gl::in_class(b.index_class, index)) return b.branch;
    }
    return 0;
}

gl::Program generate_stitching_program(const RendererMessages& messages) {
    gl::ProgramBuild build =
        gl::build_program(vertex_shader().c_str(), fragment_source(kAllBranches).c_str());
    switch (build.failed) {
        case gl::BuildStep::none:
            break;  // the shaders go with the program once it is linked
        case gl::BuildStep::vertex_shader:
            messages.print("Could not compile vertex shader:\n%s\n", build.log.c_str());
            break;
        case gl::BuildStep::fragment_shader:
            messages.print("Could not compile fragment shader:\n%s\n", build.log.c_str());
            break;
        case gl::BuildStep::create_program:
            messages.print("error: fail to create glProgram;\n");
            break;
        case gl::BuildStep::link:
            messages.print("error: Could not link program:\n%s\n;", build.log.c_str());
            break;
    }
    return std::move(build.program);
}

StitchingProgram generate_specialised_program(unsigned branches, GLuint full,
                                              const AttributeLocations& attributes,
                                              const UniformLocations& uniforms) {
    StitchingProgram result;
    gl::ProgramBuild build =
        gl::build_program(vertex_shader().c_str(), fragment_source(branches).c_str(),
                          [&attributes](GLuint p) { bind_locations(p, attributes); });
    if (!build.ok()) {
        gl::clear_errors();
        return {};
    }
    result.program = std::move(build.program);
    const GLuint program = result.program.get();
    if (kept_locations(program, attributes)) {
        glUseProgram(program);
        copy_uniforms(full, program, uniforms);
        result.mvp_location = glGetUniformLocation(program, gl::kUniformMvp);
        glUseProgram(0);
    }
    if (glGetError() != GL_NO_ERROR || result.mvp_location == -1) {
        gl::clear_errors();
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
