// The mesh's vertex stage and texture-index classes as a GL runs them, and
// plane textures set up and replaced from strided rows.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "gl/mesh.h"
#include "gl/objects.h"
#include "gl/program.h"
#include "gl/textures.h"
#include "gl_context.h"

namespace gl_test {
namespace {

using gl::TexIndexClass;

constexpr TexIndexClass kClasses[] = {TexIndexClass::first_camera, TexIndexClass::second_camera,
                                      TexIndexClass::blend, TexIndexClass::logo};

// One bit per class the value belongs to.
int class_bits(float index) {
    int bits = 0;
    for (int c = 0; c < gl::kTexIndexClassCount; ++c) {
        if (gl::in_class(kClasses[c], index)) bits |= 1 << c;
    }
    return bits;
}

TEST(TexIndexClasses, TheLayoutsIndicesFallInTheirClassesAndNoValueInTwo) {
    EXPECT_EQ(class_bits(0.0f), 0);
    EXPECT_EQ(class_bits(1.0f), 1);
    EXPECT_EQ(class_bits(2.0f), 2);
    EXPECT_EQ(class_bits(3.0f), 4);
    EXPECT_EQ(class_bits(4.0f), 8);
    const auto bounds = gl::index_bounds();
    EXPECT_TRUE(std::is_sorted(bounds.begin(), bounds.end()));
    EXPECT_EQ(std::adjacent_find(bounds.begin(), bounds.end()), bounds.end());
    // Sweeping the index: never two classes at once, and a change of class
    // only where a bound lies.
    int last = class_bits(-1.0f);
    for (float v = -1.0f; v < 6.0f; v = std::nextafter(v + 0.0009765625f, 7.0f)) {
        const int bits = class_bits(v);
        EXPECT_LE(__builtin_popcount(static_cast<unsigned>(bits)), 1) << v;
        if (bits != last) {
            const bool near_bound = std::any_of(bounds.begin(), bounds.end(),
                                                [v](float b) { return std::fabs(v - b) < 0.001f; });
            EXPECT_TRUE(near_bound) << "class changes at " << v;
        }
        last = bits;
    }
}

// Points drawn through the mesh's vertex stage into a row of float pixels,
// one per point: the fragment stage writes which class conditions hold
// and the coordinates it received.
class VertexStage : public HeadlessGl {
protected:
    struct Point {
        float index;
        std::array<float, 4> texcoord;
        float weight;
    };

    static std::string fragment_source() {
        std::string s = "#version 130\nin vec4 vTex;\nin float vWeight;\nin float vIndex;\n";
        s += "out vec4 classes;\nout vec4 coords;\nvoid main() {\n    float bits = 0.0;\n";
        for (int c = 0; c < gl::kTexIndexClassCount; ++c) {
            s += "    if (" + gl::index_condition(kClasses[c], "vIndex") +
                 ") bits += " + std::to_string(1 << c) + ".0;\n";
        }
        s += "    classes = vec4(bits, vWeight, 0.0, 1.0);\n    coords = vTex;\n}\n";
        return s;
    }

    // Draws the points at x = 0, 1, 2, ... through `mvp`; returns the two
    // float targets, RGBA per pixel.
    void draw(const std::vector<Point>& points, const std::array<float, 16>& mvp,
              const std::array<float, 16>& st, std::vector<float>& classes,
              std::vector<float>& coords) {
        const gl::MeshShaderNames names{
            {"aPos", "aTex", "aWeight", "aIndex"}, "vTex", "vWeight", "vIndex"};
        gl::ProgramBuild build = gl::build_program(gl::mesh_vertex_shader(names).c_str(),
                                                   fragment_source().c_str(), [](GLuint p) {
                                                       glBindFragDataLocation(p, 0, "classes");
                                                       glBindFragDataLocation(p, 1, "coords");
                                                   });
        ASSERT_TRUE(build.ok()) << build.log;
        const GLuint program = build.program.get();
        glUseProgram(program);
        glUniformMatrix4fv(glGetUniformLocation(program, gl::kUniformMvp), 1, GL_FALSE, mvp.data());
        glUniformMatrix4fv(glGetUniformLocation(program, gl::kUniformSt), 1, GL_FALSE, st.data());

        const auto n = static_cast<int>(points.size());
        std::array<std::vector<float>, gl::kMeshSlotCount> arrays;
        for (int i = 0; i < n; ++i) {
            const Point& p = points[i];
            arrays[gl::kSlotPosition].insert(arrays[gl::kSlotPosition].end(),
                                             {static_cast<float>(i), 0.0f, 0.0f});
            arrays[gl::kSlotTexcoord].insert(arrays[gl::kSlotTexcoord].end(), p.texcoord.begin(),
                                             p.texcoord.end());
            arrays[gl::kSlotWeight].push_back(p.weight);
            arrays[gl::kSlotIndex].push_back(p.index);
        }
        std::array<gl::Buffer, gl::kMeshSlotCount> buffers;
        for (int slot = 0; slot < gl::kMeshSlotCount; ++slot) {
            gl::fill_array_buffer(buffers[slot], arrays[slot].data(), arrays[slot].size(),
                                  GL_STATIC_DRAW);
            gl::point_float_attribute(glGetAttribLocation(program, names.attributes[slot]),
                                      gl::kSlotComponents[slot]);
        }

        std::array<gl::Texture, 2> targets;
        gl::Framebuffer fb;
        glBindFramebuffer(GL_FRAMEBUFFER, fb.create());
        for (int t = 0; t < 2; ++t) {
            gl::set_up_texture(targets[t].create(),
                               {GL_RGBA32F, GL_RGBA, GL_FLOAT, GL_NEAREST, GL_CLAMP_TO_EDGE},
                               {nullptr, n, 1});
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + t, GL_TEXTURE_2D,
                                   targets[t].get(), 0);
        }
        const GLenum attachments[] = {GL_COLOR_ATTACHMENT0, GL_COLOR_ATTACHMENT1};
        glDrawBuffers(2, attachments);
        ASSERT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER),
                  static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
        glViewport(0, 0, n, 1);
        const float nothing[4] = {-1.0f, -1.0f, -1.0f, -1.0f};
        glClearBufferfv(GL_COLOR, 0, nothing);
        glClearBufferfv(GL_COLOR, 1, nothing);
        glDrawArrays(GL_POINTS, 0, n);
        for (int t = 0; t < 2; ++t) {
            std::vector<float>& out = t == 0 ? classes : coords;
            out.assign(static_cast<std::size_t>(n) * 4, 0.0f);
            glReadBuffer(GL_COLOR_ATTACHMENT0 + t);
            glReadPixels(0, 0, n, 1, GL_RGBA, GL_FLOAT, out.data());
        }
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glUseProgram(0);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }

    // x = 0 .. n-1 onto the centres of the n pixels of the row, column-major.
    static std::array<float, 16> row_of_pixels(int n) {
        std::array<float, 16> m{};
        m[0] = 2.0f / static_cast<float>(n);
        m[5] = m[10] = m[15] = 1.0f;
        m[12] = 1.0f / static_cast<float>(n) - 1.0f;  // translation: the fourth column
        return m;
    }
};

TEST_F(VertexStage, FragmentStagesSeeTheIndexClassesTheCpuSees) {
    std::vector<float> values = {-1.0f, 0.0f, 1.0f, 1.5f, 2.0f, 3.0f, 4.0f, 100.0f};
    for (float b : gl::index_bounds()) {
        const float inf = std::numeric_limits<float>::infinity();
        values.insert(values.end(),
                      {b, std::nextafter(b, -inf), std::nextafter(b, inf), b - 0.05f, b + 0.05f});
    }
    std::vector<Point> points;
    for (float v : values) points.push_back({v, {0.25f, 0.5f, 0.75f, 0.125f}, 0.5f});
    std::vector<float> classes, coords;
    draw(points, row_of_pixels(static_cast<int>(points.size())),
         {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, classes, coords);
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(static_cast<int>(classes[4 * i]), class_bits(values[i]))
            << "index " << values[i] << " (point " << i << ")";
    }
}

TEST_F(VertexStage, PositionsGoThroughTheMvpAndBothPairsThroughTheTextureMatrix) {
    // The texture matrix the renderers use, column-major: t -> 1 - t.
    std::array<float, 16> flip_t{};
    flip_t[0] = 1.0f;
    flip_t[5] = -1.0f;
    flip_t[10] = 1.0f;
    flip_t[13] = 1.0f;
    flip_t[15] = 1.0f;
    const std::vector<Point> points = {{1.0f, {0.0f, 0.0f, 1.0f, 1.0f}, 0.0f},
                                       {2.0f, {0.3f, 0.8f, 0.6f, 0.1f}, 0.25f},
                                       {3.0f, {1.0f, 0.5f, -1.0f, -1.0f}, 1.0f}};
    std::vector<float> classes, coords;
    draw(points, row_of_pixels(3), flip_t, classes, coords);
    for (std::size_t i = 0; i < points.size(); ++i) {
        // A misplaced point would leave its pixel cleared (-1).
        const std::array<float, 4>& t = points[i].texcoord;
        EXPECT_NEAR(coords[4 * i + 0], t[0], 1e-6f) << i;
        EXPECT_NEAR(coords[4 * i + 1], 1.0f - t[1], 1e-6f) << i;
        EXPECT_NEAR(coords[4 * i + 2], t[2], 1e-6f) << i;
        EXPECT_NEAR(coords[4 * i + 3], 1.0f - t[3], 1e-6f) << i;
        EXPECT_EQ(classes[4 * i + 1], points[i].weight) << i;
    }
}

class Planes : public HeadlessGl {
protected:
    // The texture's level 0 as bytes of one channel.
    static std::vector<uint8_t> read_back(GLuint texture, int width, int height) {
        std::vector<uint8_t> bytes(static_cast<std::size_t>(width) * height);
        glBindTexture(GL_TEXTURE_2D, texture);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RED, GL_UNSIGNED_BYTE, bytes.data());
        return bytes;
    }

    static GLint parameter(GLenum name) {
        GLint value = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
        return value;
    }

    static GLint level_size(GLenum name) {
        GLint value = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, name, &value);
        return value;
    }

    std::vector<std::pair<int, int>> reports_;
    const gl::StepCheck check_{[this](int line, int code) { reports_.emplace_back(line, code); }};
    static constexpr gl::TextureSetupLines kLines = {1, 2, 3, 4, 5, 6};
};

TEST_F(Planes, APlaneIsSetUpAndReplacedFromRowsOfAnyStride) {
    gl::Texture plane;
    ASSERT_TRUE(
        gl::set_up_texture(plane.create(), gl::kRedPlane, {nullptr, 5, 3}, kLines, &check_));
    EXPECT_TRUE(reports_.empty());
    EXPECT_EQ(parameter(GL_TEXTURE_MIN_FILTER), GL_LINEAR);
    EXPECT_EQ(parameter(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    EXPECT_EQ(parameter(GL_TEXTURE_WRAP_S), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(parameter(GL_TEXTURE_WRAP_T), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(level_size(GL_TEXTURE_WIDTH), 5);
    EXPECT_EQ(level_size(GL_TEXTURE_HEIGHT), 3);

    // Rows 8 bytes apart, 5 of them the plane's; the padding must not show.
    constexpr uint8_t kPad = 0xEE;
    std::vector<uint8_t> rows(8 * 3, kPad), expected;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 5; ++c) {
            rows[8 * r + c] = static_cast<uint8_t>(10 * r + c);
            expected.push_back(static_cast<uint8_t>(10 * r + c));
        }
    }
    gl::replace_image(plane.get(), gl::kRedPlane, {rows.data(), 5, 3, 8});
    EXPECT_EQ(read_back(plane.get(), 5, 3), expected);
    GLint row_length = -1, alignment = -1;
    glGetIntegerv(GL_UNPACK_ROW_LENGTH, &row_length);
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(row_length, 0);
    EXPECT_EQ(alignment, 1);

    // Tightly packed odd rows, into storage of a new size.
    const std::vector<uint8_t> odd = {1, 2, 3, 4, 5, 6};
    gl::allocate_image(plane.get(), gl::kRedPlane, {odd.data(), 3, 2});
    EXPECT_EQ(level_size(GL_TEXTURE_WIDTH), 3);
    EXPECT_EQ(read_back(plane.get(), 3, 2), odd);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(Planes, TheSetUpStopsAtTheStepThatFailed) {
    gl::Texture plane;
    // Wider than any texture: only the allocation fails.
    EXPECT_FALSE(
        gl::set_up_texture(plane.create(), gl::kRedPlane, {nullptr, 1 << 20, 2}, kLines, &check_));
    EXPECT_EQ(reports_, (std::vector<std::pair<int, int>>{{6, GL_INVALID_VALUE}}));

    // An error left by an earlier call is found at the first checked step.
    reports_.clear();
    glBindTexture(GL_TEXTURE_2D, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_REPEAT);  // invalid value
    EXPECT_FALSE(gl::set_up_texture(plane.get(), gl::kRedPlane, {nullptr, 4, 4}, {0, 0, 3, 0, 0, 6},
                                    &check_));
    EXPECT_EQ(reports_, (std::vector<std::pair<int, int>>{{3, GL_INVALID_ENUM}}));
}

}  // namespace
}  // namespace gl_test
