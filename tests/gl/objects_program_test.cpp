// Owners of GL names, the program builder, the entry-point loader and the
// headless context.
#include <EGL/egl.h>

#include <array>
#include <atomic>
#include <string>
#include <thread>
#include <utility>

#include "gl/objects.h"
#include "gl/program.h"
#include "gl_context.h"

namespace gl_test {
namespace {

TEST_F(HeadlessGl, OwnersDeleteWhatTheyHoldAndHandItOnWhenMoved) {
    gl::Buffer first;
    const GLuint name = first.create();
    glBindBuffer(GL_ARRAY_BUFFER, name);  // a buffer exists once bound
    ASSERT_TRUE(glIsBuffer(name));

    gl::Buffer second = std::move(first);
    EXPECT_EQ(first.get(), 0u);
    EXPECT_FALSE(first);
    EXPECT_EQ(second.get(), name);
    EXPECT_TRUE(glIsBuffer(name));  // moving deletes nothing

    gl::Buffer third;
    glBindBuffer(GL_ARRAY_BUFFER, third.create());
    const GLuint overwritten = third.get();
    third = std::move(second);  // deletes what third held
    EXPECT_FALSE(glIsBuffer(overwritten));
    EXPECT_TRUE(glIsBuffer(name));
    third.reset();
    EXPECT_FALSE(glIsBuffer(name));

    GLuint program = 0, texture = 0;
    {
        gl::Program p;
        program = p.create();
        gl::Texture t;
        glBindTexture(GL_TEXTURE_2D, texture = t.create());
        ASSERT_TRUE(glIsProgram(program));
        ASSERT_TRUE(glIsTexture(texture));
    }
    EXPECT_FALSE(glIsProgram(program));
    EXPECT_FALSE(glIsTexture(texture));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

constexpr const char* kVertex = R"(#version 130
in vec2 aQuad;
out vec2 where;
void main() {
    where = aQuad;
    gl_Position = vec4(aQuad, 0.0, 1.0);
}
)";

constexpr const char* kFragment = R"(#version 130
in vec2 where;
out vec4 colour;
void main() {
    colour = vec4(where, 0.0, 1.0);
}
)";

constexpr const char* kBroken = R"(#version 130
void main() {
    this is not glsl;
}
)";

// Calls a function that no stage defines: compiles, does not link.
constexpr const char* kUnresolvedFragment = R"(#version 130
in vec2 where;
out vec4 colour;
vec4 defined_nowhere(vec2 p);
void main() {
    colour = defined_nowhere(where);
}
)";

TEST_F(HeadlessGl, ProgramsLinkOrNameTheStepThatFailedWithItsLog) {
    constexpr GLuint kQuadLocation = 3;
    gl::ProgramBuild good = gl::build_program(
        kVertex, kFragment, [](GLuint p) { glBindAttribLocation(p, kQuadLocation, "aQuad"); });
    ASSERT_TRUE(good.ok()) << good.log;
    EXPECT_TRUE(glIsProgram(good.program.get()));
    EXPECT_EQ(glGetAttribLocation(good.program.get(), "aQuad"), static_cast<GLint>(kQuadLocation));
    // The shaders stay attached, already marked for deletion with the program.
    std::array<GLuint, 2> shaders{};
    GLsizei attached = 0;
    glGetAttachedShaders(good.program.get(), 2, &attached, shaders.data());
    ASSERT_EQ(attached, 2);
    for (GLuint shader : shaders) {
        GLint deleting = GL_FALSE;
        glGetShaderiv(shader, GL_DELETE_STATUS, &deleting);
        EXPECT_EQ(deleting, GL_TRUE);
    }

    const struct {
        const char* vertex;
        const char* fragment;
        gl::BuildStep step;
    } failures[] = {{kBroken, kFragment, gl::BuildStep::vertex_shader},
                    {kVertex, kBroken, gl::BuildStep::fragment_shader},
                    {kVertex, kUnresolvedFragment, gl::BuildStep::link}};
    for (const auto& f : failures) {
        const gl::ProgramBuild bad = gl::build_program(f.vertex, f.fragment);
        EXPECT_EQ(bad.failed, f.step);
        EXPECT_FALSE(bad.ok());
        EXPECT_FALSE(bad.program);
        EXPECT_FALSE(bad.log.empty());
        EXPECT_EQ(bad.log.find('\0'), std::string::npos);
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// Two threads start their contexts at once, as a player's display thread
// and a converter's worker may; each loads the entry points for its own and
// uses them, then makes a second context after the first.
TEST(HeadlessContext, EveryThreadLoadsTheEntryPointsForItsOwnContext) {
    std::atomic<int> skipped{0}, usable{0};
    auto run = [&] {
        for (int round = 0; round < 2; ++round) {
            gl::HeadlessContext context;
            std::string why;
            if (!context.create(why)) {
                ++skipped;
                return;
            }
            if (!context.is_current() || eglGetCurrentContext() == EGL_NO_CONTEXT) return;
            if (!gl::load_entry_points().loaded) return;
            {
                gl::Program program;
                if (program.create() == 0) return;
            }
            context.destroy();
            if (context.is_current() || eglGetCurrentContext() != EGL_NO_CONTEXT) return;
            ++usable;
        }
    };
    std::thread a(run), b(run);
    a.join();
    b.join();
    if (skipped > 0) GTEST_SKIP() << "no headless GL context";
    EXPECT_EQ(usable.load(), 4);
}

}  // namespace
}  // namespace gl_test
