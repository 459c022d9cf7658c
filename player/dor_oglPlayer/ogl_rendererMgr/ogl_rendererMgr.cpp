#include "ogl_rendererMgr/ogl_rendererMgr.h"

#include <utility>

#include "gl/mesh.h"
#include "gl/textures.h"
#include "ogl_rendererMgr/stitching_program.h"

namespace sphere_player {

using namespace ogl;

namespace {

// Source name that the frame upload's GL error message carries.
constexpr const char* kSourceName = "dor_oglPlayer/ogl_rendererMgr/ogl_rendererMgr.cpp";

// Line numbers reported with a GL error after each step of the
// initialisation ("error in oglMgr(line %d): code %d\n") and the upload.
constexpr int kLineTextureNames = 221;
constexpr int kLineTexturesEntry = 272;
constexpr int kLineBindPlane = 277;
constexpr int kLineMinFilter = 281;
constexpr int kLineMagFilter = 284;
constexpr int kLineWrapS = 287;
constexpr int kLineWrapT = 290;
constexpr int kLineAllocatePlane = 294;
constexpr int kLineLogo = 309;
constexpr int kLineAttribPosition = 411;
constexpr int kLineAttribTexcoord = 417;
constexpr int kLineAttribWeights = 423;
constexpr int kLineAttribIndex = 428;
constexpr int kLineUniformMvp = 433;
constexpr int kLineUniformSt = 437;
constexpr int kLineUniformColor = 441;
constexpr int kLineSamplerY = 445;
constexpr int kLineSamplerU = 449;
constexpr int kLineSamplerV = 453;
constexpr int kLineSamplerLogo = 457;
constexpr int kLineUploadPlane = 204;

// Viewports are visited in this order when a frame is drawn.
constexpr std::array<unsigned, kViewportCount> kDrawOrder = {0, 1, 3, 2};

// The steps of a plane texture's set-up with the lines they report.
constexpr gl::TextureSetupLines kPlaneLines = {kLineBindPlane, kLineMinFilter, kLineMagFilter,
                                               kLineWrapS,     kLineWrapT,     kLineAllocatePlane};
// The logo's set-up is checked once, after its upload.
constexpr gl::TextureSetupLines kLogoLines = {0, 0, 0, 0, 0, kLineLogo};
// The logo: RGB from BGR bytes, sampled as the planes are.
constexpr gl::TextureFormat kLogoFormat = {GL_RGB, GL_BGR, GL_UNSIGNED_BYTE, GL_LINEAR,
                                           GL_CLAMP_TO_EDGE};

int half(int size) {
    return size / 2;
}

}  // namespace

ogl_rendererMgr::ogl_rendererMgr()
    : init_steps_([this](int line, int code) {
          shared_.messages.record("error in oglMgr(line %d): code %d\n", line, code);
      }),
      upload_steps_([this](int line, int code) {
          shared_.messages.print("error in opengl %s(line %d): code %d\n", kSourceName, line, code);
      }),
      st_matrix_(geometry::kTextureMatrix) {
    for (int i = 0; i < kViewportCount; ++i) {
        viewports_[i].connect(i, &shared_);
        viewports_[i].set_message_sink(shared_.messages.sink());
    }
}

ogl_rendererMgr::~ogl_rendererMgr() = default;

void ogl_rendererMgr::set_draw_path(DrawPath path) {
    shared_.draw_path = path;
}

void ogl_rendererMgr::set_message_sink(MessageSink sink) {
    for (DOR_OglRenderer& viewport : viewports_) viewport.set_message_sink(sink);
    shared_.messages.set_sink(std::move(sink));
}

int ogl_rendererMgr::init(const char* calibration_path, bool need_logo, int logo_angle_deg,
                          bool panorama_input, int frame_width, int frame_height,
                          const unsigned char* logo_bgr, int logo_width, int logo_height,
                          int orientation) {
    st_matrix_ = geometry::kTextureMatrix;
    if (reset_textures() != kRendererOk) return kRendererFailure;
    frame_width_ = frame_width;
    frame_height_ = frame_height;
    if (set_up_textures(need_logo, logo_bgr, logo_width, logo_height) != kRendererOk) {
        return kRendererFailure;
    }
    // The specialised programs hold the old program's uniforms and locations.
    for (StitchingProgram& p : shared_.specialised) p = StitchingProgram{};
    shared_.specialised_tried.fill(false);
    shared_.program = generate_stitching_program(shared_.messages);
    if (shared_.program.get() == 0) return kRendererFailure;
    if (bind_program_inputs() != kRendererOk) return kRendererFailure;
    glEnable(GL_DEPTH_TEST);
    const DOR_OglRenderer::Options options{calibration_path, orientation, panorama_input, need_logo,
                                           logo_angle_deg};
    for (DOR_OglRenderer& viewport : viewports_) {
        if (int rc = viewport.init(options)) return rc;
    }
    return kRendererOk;
}

int ogl_rendererMgr::reset_textures() {
    for (gl::Texture& texture : shared_.textures) {
        texture.create();
        if (init_steps_.failed(kLineTextureNames)) return kRendererFailure;
    }
    return kRendererOk;
}

// A logo given as null pixels leaves its texture allocated but undefined.
int ogl_rendererMgr::set_up_textures(bool need_logo, const unsigned char* logo_bgr, int logo_width,
                                     int logo_height) {
    if (init_steps_.failed(kLineTexturesEntry)) return kRendererFailure;
    const auto& textures = shared_.textures;
    if (!set_up_plane(textures[kTextureY].get(), frame_width_, frame_height_) ||
        !set_up_plane(textures[kTextureU].get(), half(frame_width_), half(frame_height_)) ||
        !set_up_plane(textures[kTextureV].get(), half(frame_width_), half(frame_height_))) {
        return kRendererFailure;
    }
    if (need_logo &&
        !gl::set_up_texture(textures[kTextureLogo].get(), kLogoFormat,
                            {logo_bgr, logo_width, logo_height}, kLogoLines, &init_steps_)) {
        return kRendererFailure;
    }
    return kRendererOk;
}

bool ogl_rendererMgr::set_up_plane(GLuint name, int width, int height) {
    return gl::set_up_texture(name, gl::kLuminancePlane, {nullptr, width, height}, kPlaneLines,
                              &init_steps_);
}

int ogl_rendererMgr::enable_attribute(GLint* location, const char* name, int line) {
    *location = glGetAttribLocation(shared_.program.get(), name);
    glEnableVertexAttribArray(static_cast<GLuint>(*location));
    return init_steps_.failed(line) ? kRendererFailure : kRendererOk;
}

int ogl_rendererMgr::set_sampler(GLint* location, const char* name, GLint unit, int line) {
    *location = glGetUniformLocation(shared_.program.get(), name);
    glUniform1i(*location, unit);
    return init_steps_.failed(line) ? kRendererFailure : kRendererOk;
}

int ogl_rendererMgr::bind_program_inputs() {
    const GLuint program = shared_.program.get();
    AttributeLocations& a = shared_.attributes;
    UniformLocations& u = shared_.uniforms;
    glUseProgram(program);
    if (enable_attribute(&a.aPosition, "aPosition", kLineAttribPosition) ||
        enable_attribute(&a.aTextureCoord, "aTextureCoord", kLineAttribTexcoord) ||
        enable_attribute(&a.aLeftWeights, "aLeftWeights", kLineAttribWeights) ||
        enable_attribute(&a.aTexIndex, "aTexIndex", kLineAttribIndex)) {
        return kRendererFailure;
    }
    const geometry::Mat4 zeros{};
    u.uMVPMatrix = glGetUniformLocation(program, gl::kUniformMvp);
    glUniformMatrix4fv(u.uMVPMatrix, 1, GL_FALSE, zeros.data());
    if (init_steps_.failed(kLineUniformMvp)) return kRendererFailure;
    u.uSTMatrix = glGetUniformLocation(program, gl::kUniformSt);
    glUniformMatrix4fv(u.uSTMatrix, 1, GL_FALSE, st_matrix_.data());
    if (init_steps_.failed(kLineUniformSt)) return kRendererFailure;
    u.uColorConversion = glGetUniformLocation(program, "uColorConversion");
    glUniformMatrix3fv(u.uColorConversion, 1, GL_FALSE, kColorConversion.data());
    if (init_steps_.failed(kLineUniformColor)) return kRendererFailure;
    if (set_sampler(&u.sTextureY, "sTextureY", kTextureY, kLineSamplerY) ||
        set_sampler(&u.sTextureU, "sTextureU", kTextureU, kLineSamplerU) ||
        set_sampler(&u.sTextureV, "sTextureV", kTextureV, kLineSamplerV) ||
        set_sampler(&u.logoTexture, "logoTexture", kTextureLogo, kLineSamplerLogo)) {
        return kRendererFailure;
    }
    return kRendererOk;
}

DOR_OglRenderer* ogl_rendererMgr::viewport_at(unsigned index) {
    return const_cast<DOR_OglRenderer*>(std::as_const(*this).viewport_at(index));
}

const DOR_OglRenderer* ogl_rendererMgr::viewport_at(unsigned index) const {
    if (index < static_cast<unsigned>(kViewportCount)) return &viewports_[index];
    shared_.messages.print("error: invalid viewport index %d;\n", static_cast<int>(index));
    return nullptr;
}

const DOR_OglRenderer* ogl_rendererMgr::viewport(unsigned index) const {
    return index < static_cast<unsigned>(kViewportCount) ? &viewports_[index] : nullptr;
}

int ogl_rendererMgr::set_viewport_rect(unsigned index, int x, int y, int width, int height) {
    DOR_OglRenderer* viewport = viewport_at(index);
    if (viewport == nullptr) return kRendererBadViewport;
    return viewport->set_viewport_rect(x, y, width, height);
}

int ogl_rendererMgr::set_draw_mode(unsigned index, int mode) {
    DOR_OglRenderer* viewport = viewport_at(index);
    if (viewport == nullptr) return kRendererBadViewport;
    return viewport->set_draw_mode(mode, frame_width_, frame_height_);
}

int ogl_rendererMgr::set_view_angles(unsigned index, float pitch_deg, float yaw_deg, float roll_deg,
                                     float cylinder_rotation_rad) {
    DOR_OglRenderer* viewport = viewport_at(index);
    if (viewport == nullptr) return kRendererBadViewport;
    viewport->set_view_angles(pitch_deg, yaw_deg, roll_deg, cylinder_rotation_rad);
    return kRendererOk;
}

int ogl_rendererMgr::set_zoom(unsigned index, float* zoom) {
    DOR_OglRenderer* viewport = viewport_at(index);
    if (viewport == nullptr) return kRendererBadViewport;
    if (zoom == nullptr) return kRendererFailure;
    *zoom = viewport->set_zoom(*zoom);
    return kRendererOk;
}

float ogl_rendererMgr::zoom(unsigned index) const {
    const DOR_OglRenderer* viewport = viewport_at(index);
    return viewport != nullptr ? viewport->zoom() : static_cast<float>(kRendererBadViewport);
}

float ogl_rendererMgr::default_zoom(unsigned index) const {
    const DOR_OglRenderer* viewport = viewport_at(index);
    return viewport != nullptr ? viewport->default_zoom()
                               : static_cast<float>(kRendererBadViewport);
}

int ogl_rendererMgr::view_angles(unsigned index, float* pitch_deg, float* yaw_deg,
                                 float* roll_deg) const {
    const DOR_OglRenderer* viewport = viewport_at(index);
    if (viewport == nullptr) return kRendererBadViewport;
    viewport->view_angles(pitch_deg, yaw_deg, roll_deg);
    return kRendererOk;
}

void ogl_rendererMgr::set_orientation(int value) {
    for (DOR_OglRenderer& viewport : viewports_) viewport.set_orientation(value);
}

int ogl_rendererMgr::upload_plane(GLuint name, const unsigned char* pixels, int width, int height) {
    gl::clear_errors();
    gl::replace_image(name, gl::kLuminancePlane, {pixels, width, height});
    return upload_steps_.failed(kLineUploadPlane) ? kRendererFailure : kRendererOk;
}

int ogl_rendererMgr::upload_frame(const unsigned char* y, const unsigned char* u,
                                  const unsigned char* v, int width, int height) {
    if (y == nullptr || u == nullptr || v == nullptr) {
        shared_.messages.print("error: frame plane is null;\n");
        return kRendererFailure;
    }
    const auto& textures = shared_.textures;
    if (upload_plane(textures[kTextureY].get(), y, width, height) ||
        upload_plane(textures[kTextureU].get(), u, half(width), half(height)) ||
        upload_plane(textures[kTextureV].get(), v, half(width), half(height))) {
        return kRendererFailure;
    }
    return kRendererOk;
}

int ogl_rendererMgr::draw(const bool enabled[kViewportCount]) {
    if (enabled == nullptr) return kRendererFailure;
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    for (int unit = 0; unit < kBoundTextureCount; ++unit) {
        glActiveTexture(GL_TEXTURE0 + unit);
        glBindTexture(GL_TEXTURE_2D, shared_.textures[unit].get());
    }
    glActiveTexture(GL_TEXTURE0);
    for (unsigned index : kDrawOrder) {
        if (enabled[index] && viewports_[index].draw() != kRendererOk) return kRendererFailure;
    }
    return kRendererOk;
}

}  // namespace sphere_player
