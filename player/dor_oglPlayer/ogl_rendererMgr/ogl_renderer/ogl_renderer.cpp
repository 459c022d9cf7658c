#include "ogl_rendererMgr/ogl_renderer/ogl_renderer.h"

#include <algorithm>
#include <cstdint>

#include "gl/mesh.h"
#include "ogl_rendererMgr/stitching_program.h"

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

GLint attribute_of(const AttributeLocations& a, int slot) {
    const GLint locations[] = {a.aPosition, a.aTextureCoord, a.aLeftWeights, a.aTexIndex};
    return locations[slot];
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
    if (int rc = factory_.set_calibration(options.calibration_path, options.orientation,
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

// The factory's mesh, which a successful rebuild left complete.
MeshArrays DOR_OglRenderer::mesh_arrays() const {
    auto length = [](int32_t floats) { return static_cast<std::size_t>(std::max(floats, 0)); };
    MeshArrays mesh;
    mesh[kSlotPosition] = {factory_.positions(), length(factory_.position_length())};
    mesh[kSlotTexcoord] = {factory_.texcoords(), length(factory_.texcoord_length())};
    mesh[kSlotWeight] = {factory_.weights(), length(factory_.weight_length())};
    mesh[kSlotIndex] = {factory_.indices(), length(factory_.index_length())};
    return mesh;
}

int DOR_OglRenderer::alloc_buffer_object() {
    switch (geometry::rebuild_viewport(camera_, factory_, {need_logo_, logo_angle_deg_})) {
        case geometry::Rebuild::ok:
            return upload_mesh(mesh_arrays());
        case geometry::Rebuild::no_mesh:
            return 1;  // the factory printed why
        case geometry::Rebuild::no_lens_mapping:
            // Two cameras or panorama input: the sphere and plane meshes
            // carry positions only. The old buffers stay as they are.
            shared_->messages.print("error: vp %d draw mode %d has no texture mapping;\n", index_,
                                    camera_.draw_mode);
            return 1;
    }
    return 1;
}

int DOR_OglRenderer::upload_mesh(const MeshArrays& mesh) {
    for (gl::Buffer& buffer : buffers_) buffer.reset();
    element_buffer_.reset();
    boxes_.clear();
    runs_.clear();
    // Until the new buffers are complete nothing may be drawn from them.
    camera_.built = false;
    vertex_count_ = buffer_vertices_ = texcoord_floats_ = 0;
    element_type_ = 0;
    glUseProgram(shared_->program.get());
    if (steps_.failed(kLineReleaseBuffers)) return 1;
    const bool reference = shared_->draw_path == DrawPath::reference;
    // The cylinder's texture coordinates are replaced at every draw, one
    // per drawn vertex: it keeps the geometry's arrays.
    IndexedMesh indexed;
    if (!reference && camera_.draw_mode != geometry::kModeCylinder && index_mesh(mesh, indexed)) {
        if (int rc = upload_elements(indexed)) return rc;
    } else if (int rc = upload_arrays(mesh)) {
        return rc;
    }
    vertex_count_ =
        static_cast<GLsizei>(mesh[kSlotPosition].length / gl::kSlotComponents[kSlotPosition]);
    texcoord_floats_ = static_cast<GLsizei>(mesh[kSlotTexcoord].length);
    runs_ = plan_runs(mesh, reference);
    for (const DrawRun& run : runs_) program_for_branches(*shared_, run.branches);
    camera_.built = true;
    shared_->messages.print("DOR_OglRenderer::alloc_buffer_object()_End:\n");
    glUseProgram(find_program(*shared_, runs_.front().branches).program);
    glViewport(rect_.x, rect_.y, rect_.width, rect_.height);
    bind_attributes();
    return 0;
}

// One run of the full program over every vertex, or runs of one texture
// index class each when the arrays agree on the vertex count.
std::vector<DrawRun> DOR_OglRenderer::plan_runs(const MeshArrays& mesh, bool reference) const {
    const auto drawn = static_cast<std::size_t>(vertex_count_);
    if (reference || common_vertex_count(mesh) != drawn) return {{0, drawn, kAllBranches}};
    return mesh_runs(mesh[kSlotIndex].data, drawn);
}

int DOR_OglRenderer::upload_arrays(const MeshArrays& mesh) {
    for (int slot = 0; slot < gl::kMeshSlotCount; ++slot) {
        gl::fill_array_buffer(buffers_[slot], mesh[slot].data, mesh[slot].length, GL_DYNAMIC_DRAW);
        if (steps_.failed(kLineUploadBuffer)) return 1;
    }
    buffer_vertices_ =
        static_cast<GLsizei>(mesh[kSlotPosition].length / gl::kSlotComponents[kSlotPosition]);
    return 0;
}

int DOR_OglRenderer::upload_elements(const IndexedMesh& indexed) {
    if (int rc = upload_arrays(indexed.view())) return rc;
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, element_buffer_.create());
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indexed.element_bytes()),
                 indexed.element_data(), GL_STATIC_DRAW);
    if (steps_.failed(kLineUploadBuffer)) return 1;
    element_type_ = indexed.element_type();
    boxes_ = chunk_boxes(indexed);
    return 0;
}

DOR_OglRenderer::Upload DOR_OglRenderer::upload() const {
    Upload u{static_cast<std::size_t>(buffer_vertices_), element_type_, {}, boxes_.size()};
    for (const DrawRun& run : runs_) {
        const bool full = find_program(*shared_, run.branches).program == shared_->program.get();
        u.run_programs.push_back(full ? kAllBranches : run.branches);
    }
    return u;
}

void DOR_OglRenderer::bind_attributes() const {
    for (int slot = 0; slot < gl::kMeshSlotCount; ++slot) {
        glBindBuffer(GL_ARRAY_BUFFER, buffers_[slot].get());
        gl::point_float_attribute(attribute_of(shared_->attributes, slot),
                                  gl::kSlotComponents[slot]);
    }
}

void DOR_OglRenderer::report_gl_error(int line, int code) const {
    shared_->messages.print("error in opengl %s(line %d): code %d, vp: %d\n", kSourceName, line,
                            code, index_);
}

int DOR_OglRenderer::set_viewport_rect(int x, int y, int width, int height) {
    rect_ = {x, y, width, height};
    return steps_.failed(kLineViewportRect) ? 1 : 0;
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
    glBindBuffer(GL_ARRAY_BUFFER, buffers_[kSlotTexcoord].get());
    glBufferSubData(GL_ARRAY_BUFFER, 0, texcoord_floats_ * kFloatBytes, texcoords);
    gl::point_float_attribute(shared_->attributes.aTextureCoord,
                              gl::kSlotComponents[kSlotTexcoord]);
}

std::size_t DOR_OglRenderer::element_bytes() const {
    return element_type_ == GL_UNSIGNED_SHORT ? sizeof(GLushort) : sizeof(GLuint);
}

// A run of an element mesh is drawn in the ranges the view can show; the
// program is switched only for a run with something to draw.
void DOR_OglRenderer::draw_run(const DrawRun& run, const geometry::Mat4& mvp) {
    ranges_.clear();
    if (boxes_.empty()) {
        ranges_.push_back({run.first, run.count});
    } else {
        visible_ranges(run, boxes_, planes_, ranges_);
        if (ranges_.empty()) return;
    }
    const StitchingProgram::Ref program = find_program(*shared_, run.branches);
    glUseProgram(program.program);
    glUniformMatrix4fv(program.mvp_location, 1, GL_FALSE, mvp.data());
    if (element_type_ == 0) {
        glDrawArrays(GL_TRIANGLES, static_cast<GLint>(run.first), static_cast<GLsizei>(run.count));
        last_drawn_vertices_ += run.count;
        return;
    }
    range_counts_.clear();
    range_offsets_.clear();
    for (const ElementRange& r : ranges_) {
        range_counts_.push_back(static_cast<GLsizei>(r.count));
        range_offsets_.push_back(
            reinterpret_cast<const void*>(static_cast<std::uintptr_t>(r.first * element_bytes())));
        last_drawn_vertices_ += r.count;
    }
    if (ranges_.size() == 1) {
        glDrawElements(GL_TRIANGLES, range_counts_[0], element_type_, range_offsets_[0]);
    } else {
        glMultiDrawElements(GL_TRIANGLES, range_counts_.data(), element_type_,
                            range_offsets_.data(), static_cast<GLsizei>(ranges_.size()));
    }
}

int DOR_OglRenderer::draw() {
    if (!camera_.built) {
        shared_->messages.print("error: vp %d vertex is not inited, please set draw mode first;\n",
                                index_);
        return 1;
    }
    glViewport(rect_.x, rect_.y, rect_.width, rect_.height);
    const geometry::Mat4 mvp = geometry::mvp_matrix(camera_);
    // The attribute pointers and the element buffer are context state that
    // the last viewport built or drawn left behind: point them at this
    // viewport's own buffers.
    bind_attributes();
    if (camera_.draw_mode == geometry::kModeCylinder) update_cylinder_texcoords();
    if (element_type_ != 0) glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, element_buffer_.get());
    if (!boxes_.empty()) planes_ = clip_planes(mvp);
    // Each run with its own program; the MVP is per program.
    last_drawn_vertices_ = 0;
    for (const DrawRun& run : runs_) draw_run(run, mvp);
    return steps_.failed(kLineDraw) ? 1 : 0;
}

}  // namespace sphere_player
