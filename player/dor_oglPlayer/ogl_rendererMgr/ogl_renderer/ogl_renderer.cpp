#include "ogl_rendererMgr/ogl_renderer/ogl_renderer.h"

namespace sphere_player {

using namespace ogl;

namespace {

// Source name and line numbers that the viewport's GL error messages carry.
constexpr const char* kSourceName = "dor_oglPlayer/ogl_rendererMgr/ogl_renderer/ogl_renderer.cpp";
constexpr int kLineViewportRect = 188;
constexpr int kLineReleaseBuffers = 298;
constexpr int kLineUploadBuffer = 303;
constexpr int kLineDraw = 439;

constexpr GLsizeiptr kFloatBytes = sizeof(float);

constexpr GLint kComponents[] = {kPositionComponents, kTexcoordComponents, kWeightComponents,
                                 kIndexComponents};

GLint attribute_of(const AttributeLocations& a, int slot) {
    const GLint locations[] = {a.aPosition, a.aTextureCoord, a.aLeftWeights, a.aTexIndex};
    return locations[slot];
}

void point_attribute(GLint location, GLint components) {
    glEnableVertexAttribArray(static_cast<GLuint>(location));
    glVertexAttribPointer(static_cast<GLuint>(location), components, GL_FLOAT, GL_FALSE, 0,
                          nullptr);
}

}  // namespace

DOR_OglRenderer::DOR_OglRenderer() = default;

// Deletes the buffer objects: the GL context must still be current.
DOR_OglRenderer::~DOR_OglRenderer() = default;

void DOR_OglRenderer::connect(int index, RendererShared* shared) {
    index_ = index;
    shared_ = shared;
    factory_.set_error_buffer(shared->messages.text(), shared->messages.text_size());
}

void DOR_OglRenderer::set_message_sink(const MessageSink& sink) {
    factory_.set_message_sink(sink);
}

int DOR_OglRenderer::init(const Options& options) {
    if (int rc = factory_.set_calibration(options.calib_path, options.orientation,
                                          options.panorama_input)) {
        return rc;
    }
    // The default camera: identity model, unbuilt, the default look-at.
    camera_ = geometry::make_viewport_camera(geometry::Variant::player);
    need_logo_ = options.need_logo;
    logo_angle_deg_ = options.logo_angle_deg;
    panorama_input_ = options.panorama_input;
    camera_.view = geometry::view_matrix(camera_);
    return 0;
}

bool DOR_OglRenderer::take_mesh(MeshArrays& mesh) const {
    mesh[kBufferPosition] = {factory_.positions(), factory_.position_length()};
    mesh[kBufferTexcoord] = {factory_.texcoords(), factory_.texcoord_length()};
    mesh[kBufferWeight] = {factory_.weights(), factory_.weight_length()};
    mesh[kBufferIndex] = {factory_.indices(), factory_.index_length()};
    for (const MeshArray& array : mesh) {
        if (array.data == nullptr || array.length <= 0) return false;
    }
    return true;
}

int DOR_OglRenderer::alloc_buffer_object() {
    camera_.view = geometry::view_matrix(camera_);
    if (factory_.generate_vertices(camera_.draw_mode, need_logo_, logo_angle_deg_) == nullptr) {
        return 1;  // the factory printed why
    }
    camera_.roll_offset_deg = factory_.roll_offset();
    MeshArrays mesh;
    if (!take_mesh(mesh)) {
        // Two cameras or panorama input: the sphere and plane meshes carry
        // positions only. The old buffers stay as they are.
        shared_->messages.print("error: vp %d draw mode %d has no texture mapping;\n", index_,
                                camera_.draw_mode);
        return 1;
    }
    return upload_mesh(mesh);
}

int DOR_OglRenderer::upload_mesh(const MeshArrays& mesh) {
    for (GlBuffer& buffer : buffers_) buffer.reset();
    // Until the new buffers are complete nothing may be drawn from them.
    camera_.built = false;
    vertex_count_ = texcoord_floats_ = 0;
    glUseProgram(shared_->program.get());
    if (GLenum code = glGetError()) return gl_failure(kLineReleaseBuffers, code);
    for (int slot = 0; slot < kBufferCount; ++slot) {
        buffers_[slot].reset(generate_buffer_name());
        glBindBuffer(GL_ARRAY_BUFFER, buffers_[slot].get());
        glBufferData(GL_ARRAY_BUFFER, mesh[slot].length * kFloatBytes, mesh[slot].data,
                     GL_DYNAMIC_DRAW);
        if (GLenum code = glGetError()) return gl_failure(kLineUploadBuffer, code);
    }
    camera_.built = true;
    vertex_count_ = mesh[kBufferPosition].length / kPositionComponents;
    texcoord_floats_ = mesh[kBufferTexcoord].length;
    shared_->messages.print("DOR_OglRenderer::alloc_buffer_object()_End:\n");
    glUseProgram(shared_->program.get());
    glViewport(rect_.x, rect_.y, rect_.width, rect_.height);
    bind_attributes();
    return 0;
}

void DOR_OglRenderer::bind_attributes() const {
    for (int slot = 0; slot < kBufferCount; ++slot) {
        glBindBuffer(GL_ARRAY_BUFFER, buffers_[slot].get());
        point_attribute(attribute_of(shared_->attributes, slot), kComponents[slot]);
    }
}

int DOR_OglRenderer::gl_failure(int line, GLenum code) {
    shared_->messages.print("error in opengl %s(line %d): code %d, vp: %d\n", kSourceName, line,
                            static_cast<int>(code), index_);
    return 1;
}

int DOR_OglRenderer::set_viewport_rect(int x, int y, int width, int height) {
    rect_ = {x, y, width, height};
    if (GLenum code = glGetError()) return gl_failure(kLineViewportRect, code);
    return 0;
}

int DOR_OglRenderer::set_draw_mode(int mode, int frame_width, int frame_height) {
    const geometry::DrawModeResult result = geometry::set_draw_mode(
        camera_, factory_, mode, frame_width, frame_height, rect_.width, rect_.height);
    if (result.code != geometry::kCodeOk) return result.code;
    return result.rebuild ? alloc_buffer_object() : 0;
}

void DOR_OglRenderer::set_view_angles(float pitch_deg, float yaw_deg, float roll_deg,
                                      float cylinder_rotation_rad) {
    geometry::set_view_angles(camera_, pitch_deg, yaw_deg, roll_deg, cylinder_rotation_rad);
}

float DOR_OglRenderer::set_zoom(float zoom) {
    return geometry::set_zoom(camera_, zoom);
}

void DOR_OglRenderer::view_angles(float* pitch_deg, float* yaw_deg, float* roll_deg) const {
    if (pitch_deg != nullptr) *pitch_deg = camera_.pitch_deg;
    if (yaw_deg != nullptr) *yaw_deg = camera_.yaw_deg;
    if (roll_deg != nullptr) *roll_deg = camera_.roll_deg;
}

void DOR_OglRenderer::set_orientation(int value) {
    factory_.set_orientation(value);
}

// The cylinder unwrap follows the viewport's rotation: its texture
// coordinates are recomputed and replaced before every draw.
void DOR_OglRenderer::update_cylinder_texcoords() {
    const float* texcoords = factory_.update_cylinder_texcoords(camera_.cylinder_rotation_rad);
    if (texcoords == nullptr || factory_.texcoord_length() != texcoord_floats_) return;
    glBindBuffer(GL_ARRAY_BUFFER, buffers_[kBufferTexcoord].get());
    glBufferSubData(GL_ARRAY_BUFFER, 0, texcoord_floats_ * kFloatBytes, texcoords);
    point_attribute(shared_->attributes.aTextureCoord, kTexcoordComponents);
}

int DOR_OglRenderer::draw() {
    if (!camera_.built) {
        shared_->messages.print("error: vp %d vertex is not inited, please set draw mode first;\n",
                                index_);
        return 1;
    }
    glUseProgram(shared_->program.get());
    glViewport(rect_.x, rect_.y, rect_.width, rect_.height);
    const geometry::Mat4 mvp = geometry::mvp_matrix(camera_);
    glUniformMatrix4fv(shared_->uniforms.uMVPMatrix, 1, GL_FALSE, mvp.data());
    // The attribute pointers are context state that the last viewport built
    // or drawn left behind: point them at this viewport's own buffers.
    bind_attributes();
    if (camera_.draw_mode == geometry::kModeCylinder) update_cylinder_texcoords();
    glDrawArrays(GL_TRIANGLES, 0, vertex_count_);
    if (GLenum code = glGetError()) return gl_failure(kLineDraw, code);
    return 0;
}

}  // namespace sphere_player
