#include "ogl_renderer.h"

extern "C" {
#include <libavutil/frame.h>
}

#include "SphereVideoConverter.h"
#include "converter_log.h"
#include "cpu_dewarp.h"
#include "geometry/mat4.h"
#include "map_rasterizer.h"
#include "gl/errors.h"
#include "gl/textures.h"
#include "gl_lines.h"

namespace converter {
namespace {

// What the viewport's textures hold, each texel read as it is.
constexpr gl::TextureFormat kCoordinateMap = {GL_RGBA32F, GL_RGBA, GL_FLOAT, GL_NEAREST,
                                              GL_CLAMP_TO_EDGE};
constexpr gl::TextureFormat kPlane = {GL_R8, GL_RED, GL_UNSIGNED_BYTE, GL_NEAREST,
                                      GL_CLAMP_TO_EDGE};
constexpr gl::TextureFormat kRowPairs = {GL_RG8, GL_RG, GL_UNSIGNED_BYTE, GL_NEAREST,
                                         GL_CLAMP_TO_EDGE};

// Creates `texture` anew with storage of `format` for width x height texels.
void storage(gl::Texture& texture, const gl::TextureFormat& format, int width, int height) {
    gl::set_up_texture(texture.create(), format, {nullptr, width, height});
}

int framebuffer_complete(ErrorText& error) {
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status == GL_FRAMEBUFFER_COMPLETE) return DOR_CONVERTER_OK;
    return error.fail(DOR_CONVERTER_ERROR_FAILURE,
                      "error: in gl_init, frame buffer preview is not ready, code %d: %s;\n",
                      static_cast<int>(status),
                      reinterpret_cast<const char*>(glewGetErrorString(status)));
}

// 0, or 21 with the viewport's GL error text when GL holds an error after
// the step `line` names.
int gl_failure(ErrorText& error, int line) {
    const gl::StepCheck check([&error](int failed_line, int code) {
        error.fail(DOR_CONVERTER_ERROR_FAILURE, kGlErrorText, failed_line, code);
    });
    return check.failed(line) ? DOR_CONVERTER_ERROR_FAILURE : DOR_CONVERTER_OK;
}

void read_plane(GLenum attachment, const PlaneRect& rect, uint8_t* plane, int linesize) {
    glReadBuffer(attachment);
    glPixelStorei(GL_PACK_ROW_LENGTH, linesize);
    uint8_t* first_row = plane + static_cast<std::ptrdiff_t>(rect.y) * linesize + rect.x;
    glReadPixels(0, 0, rect.width, rect.height, GL_RED, GL_UNSIGNED_BYTE, first_row);
}

// Two-byte pixels (a block's two luma values) into every other row of the
// luma plane, starting at `first_row`.
void read_row_pairs(GLenum attachment, int blocks_wide, int blocks_high, uint8_t* first_row,
                    int linesize) {
    glReadBuffer(attachment);
    glPixelStorei(GL_PACK_ROW_LENGTH, linesize);  // in two-byte pixels: two rows
    glReadPixels(0, 0, blocks_wide, blocks_high, GL_RG, GL_UNSIGNED_BYTE, first_row);
}

void attach(GLenum attachment, const gl::Texture& texture) {
    glFramebufferTexture2D(GL_FRAMEBUFFER, attachment, GL_TEXTURE_2D, texture.get(), 0);
}

void draw_to(GLsizei count) {
    static const GLenum kTargets[] = {GL_COLOR_ATTACHMENT0, GL_COLOR_ATTACHMENT1,
                                      GL_COLOR_ATTACHMENT2, GL_COLOR_ATTACHMENT3};
    glDrawBuffers(count, kTargets);
}

bool even(int v) {
    return v % 2 == 0;
}

}  // namespace

PlaneLayout plane_layout(const ViewportPlacement& p) {
    const PlaneRect& r = p.luma;
    return even(r.x) && even(r.y) && even(r.width) && even(r.height) ? PlaneLayout::blocks
                                                                     : PlaneLayout::planes;
}

DOR_OglRenderer::DOR_OglRenderer()
    : factory_(geometry::Variant::converter),
      camera_(geometry::make_viewport_camera(geometry::Variant::converter)) {}

int DOR_OglRenderer::set_calibration(const char* path, int32_t orientation, ErrorText& error) {
    const int rc = factory_.set_calibration(path, orientation, false);
    if (rc != geometry::kCodeOk) error.assign(factory_.error_text());
    return rc;
}

void DOR_OglRenderer::reset_rotation() {
    camera_.model = geometry::mat4_identity();
}

int DOR_OglRenderer::create_map(gl::Texture& texture, gl::Framebuffer& framebuffer, int width,
                                int height, ErrorText& error) {
    storage(texture, kCoordinateMap, width, height);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer.create());
    attach(GL_COLOR_ATTACHMENT0, texture);
    return framebuffer_complete(error);
}

int DOR_OglRenderer::create_planes(ErrorText& error) {
    const PlaneRect& c = placement_.chroma;
    storage(plane_y_, kPlane, width_, height_);
    glBindFramebuffer(GL_FRAMEBUFFER, luma_fb_.create());
    attach(GL_COLOR_ATTACHMENT0, plane_y_);
    if (const int rc = framebuffer_complete(error)) return rc;

    storage(plane_u_, kPlane, c.width, c.height);
    storage(plane_v_, kPlane, c.width, c.height);
    glBindFramebuffer(GL_FRAMEBUFFER, chroma_fb_.create());
    attach(GL_COLOR_ATTACHMENT0, plane_u_);
    attach(GL_COLOR_ATTACHMENT1, plane_v_);
    draw_to(2);
    return framebuffer_complete(error);
}

// Blocks layout: every target is one texel per 2 x 2 block.
int DOR_OglRenderer::create_blocks(ErrorText& error) {
    const int bw = width_ / 2, bh = height_ / 2;
    for (gl::Texture* pairs : {&upper_pairs_, &lower_pairs_}) {
        storage(*pairs, kCoordinateMap, bw, bh);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, pairs_fb_.create());
    attach(GL_COLOR_ATTACHMENT0, upper_pairs_);
    attach(GL_COLOR_ATTACHMENT1, lower_pairs_);
    draw_to(2);
    if (const int rc = framebuffer_complete(error)) return rc;

    for (gl::Texture* rows : {&upper_luma_, &lower_luma_}) storage(*rows, kRowPairs, bw, bh);
    for (gl::Texture* plane : {&plane_u_, &plane_v_}) storage(*plane, kPlane, bw, bh);
    glBindFramebuffer(GL_FRAMEBUFFER, blocks_fb_.create());
    attach(GL_COLOR_ATTACHMENT0, upper_luma_);
    attach(GL_COLOR_ATTACHMENT1, lower_luma_);
    attach(GL_COLOR_ATTACHMENT2, plane_u_);
    attach(GL_COLOR_ATTACHMENT3, plane_v_);
    draw_to(4);
    return framebuffer_complete(error);
}

void DOR_OglRenderer::place(int width, int height, const ViewportPlacement& placement) {
    camera_.view = geometry::view_matrix(camera_);
    width_ = width;
    height_ = height;
    placement_ = placement;
    layout_ = plane_layout(placement);
}

int DOR_OglRenderer::create_framebuffer(int width, int height, const ViewportPlacement& placement,
                                        ErrorText& error) {
    place(width, height, placement);
    const PlaneRect& c = placement.chroma;
    int rc = create_map(luma_map_, luma_map_fb_, width, height, error);
    if (rc == DOR_CONVERTER_OK && layout_ == PlaneLayout::blocks) {
        rc = create_blocks(error);
    } else if (rc == DOR_CONVERTER_OK) {
        rc = create_map(chroma_map_, chroma_map_fb_, c.width, c.height, error);
        if (rc == DOR_CONVERTER_OK) rc = create_planes(error);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (rc != DOR_CONVERTER_OK) return rc;
    return gl_failure(error, kLineFramebuffer);
}

int DOR_OglRenderer::upload_mesh(const MeshProgram& program, ErrorText& error) {
    const GLsizei vertices = factory_.vertex_count();
    const float* const arrays[gl::kMeshSlotCount] = {factory_.positions(), factory_.texcoords(),
                                                     factory_.weights(), factory_.indices()};
    const GLint locations[gl::kMeshSlotCount] = {program.position, program.texcoord,
                                                 program.weights, program.index};
    glBindVertexArray(mesh_array_.create());
    for (int slot = 0; slot < gl::kMeshSlotCount; ++slot) {
        const int components = gl::kSlotComponents[slot];
        gl::fill_array_buffer(mesh_buffers_[slot], arrays[slot],
                              static_cast<std::size_t>(vertices) * components, GL_DYNAMIC_DRAW);
        gl::point_float_attribute(locations[slot], components);
        if (slot == gl::kSlotTexcoord) {
            if (const int rc = gl_failure(error, kLineTexCoordBuffer)) return rc;
        }
    }
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    if (const int rc = gl_failure(error, kLineIndexBuffer)) return rc;
    mesh_drawn_ = mesh_array_.get();
    vertex_count_ = vertices;
    return DOR_CONVERTER_OK;
}

int DOR_OglRenderer::set_draw_mode(int32_t mode, int src_width, int src_height,
                                   const MeshProgram& program, ErrorText& error,
                                   const DOR_OglRenderer* same_mesh) {
    const geometry::DrawModeResult r =
        geometry::set_draw_mode(camera_, factory_, mode, src_width, src_height, width_, height_);
    if (r.code != geometry::kCodeOk) {
        error.assign(factory_.error_text());
        return DOR_CONVERTER_ERROR_FAILURE;
    }
    const bool share = same_mesh != nullptr && same_mesh->camera_.built &&
                       same_mesh->camera_.draw_mode == mode && same_mesh->mesh_drawn_ != 0;
    if (r.rebuild && share) {
        geometry::rebuild_camera(camera_, factory_);
        mesh_drawn_ = same_mesh->mesh_drawn_;
        vertex_count_ = same_mesh->vertex_count_;
        camera_.built = true;
    } else if (r.rebuild) {
        // Only a mesh with a lens mapping can be drawn (one camera).
        if (geometry::rebuild_viewport(camera_, factory_, {}) != geometry::Rebuild::ok) {
            return error.fail(DOR_CONVERTER_ERROR_FAILURE, "error: can not get vertex data;\n");
        }
        if (const int rc = upload_mesh(program, error)) return rc;
        camera_.built = true;
    }
    glViewport(0, 0, width_, height_);
    return gl_failure(error, kLineDrawMode);
}

float DOR_OglRenderer::set_zoom(float zoom) {
    return geometry::set_zoom(camera_, zoom);
}

void DOR_OglRenderer::set_angles(float pitch_deg, float yaw_deg, float roll_deg) {
    geometry::set_view_angles(camera_, pitch_deg, yaw_deg, roll_deg, camera_.cylinder_rotation_rad);
}

void DOR_OglRenderer::draw_map(const MeshProgram& program, GLuint framebuffer, int width,
                               int height) const {
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glViewport(0, 0, width, height);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);  // black
    glClear(GL_COLOR_BUFFER_BIT);
    glUseProgram(program.program);
    const geometry::Mat4 mvp = geometry::mvp_matrix(camera_);
    glUniformMatrix4fv(program.mvp, 1, GL_FALSE, mvp.data());
    glBindVertexArray(mesh_drawn_);
    glDrawArrays(GL_TRIANGLES, 0, vertex_count_);
    glBindVertexArray(0);
}

// The per-pixel map, regrouped by 2 x 2 block.
void DOR_OglRenderer::pack_map(const PlanePrograms& planes) const {
    glBindFramebuffer(GL_FRAMEBUFFER, pairs_fb_.get());
    glViewport(0, 0, width_ / 2, height_ / 2);
    glUseProgram(planes.pack);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, luma_map_.get());
    glBindVertexArray(planes.quad_array);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glBindVertexArray(0);
}

int DOR_OglRenderer::draw_maps(const MeshProgram& program, const PlanePrograms& planes,
                               ErrorText& error) {
    draw_map(program, luma_map_fb_.get(), width_, height_);
    if (layout_ == PlaneLayout::blocks) {
        pack_map(planes);
    } else {
        draw_map(program, chroma_map_fb_.get(), placement_.chroma.width, placement_.chroma.height);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    const GLenum code = glGetError();
    if (code == GL_NO_ERROR) return DOR_CONVERTER_OK;
    return error.fail(DOR_CONVERTER_ERROR_FAILURE, kRenderErrorText, static_cast<int>(code));
}

void DOR_OglRenderer::draw_planes(const PlanePrograms& programs) const {
    if (layout_ == PlaneLayout::blocks) {
        glBindFramebuffer(GL_FRAMEBUFFER, blocks_fb_.get());
        glViewport(0, 0, width_ / 2, height_ / 2);
        glUseProgram(programs.blocks);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, upper_pairs_.get());
        glActiveTexture(GL_TEXTURE0 + kLowerPairsUnit);
        glBindTexture(GL_TEXTURE_2D, lower_pairs_.get());
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        return;
    }
    glActiveTexture(GL_TEXTURE0);
    glBindFramebuffer(GL_FRAMEBUFFER, luma_fb_.get());
    glViewport(0, 0, width_, height_);
    glUseProgram(programs.luma);
    glBindTexture(GL_TEXTURE_2D, luma_map_.get());
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);

    glBindFramebuffer(GL_FRAMEBUFFER, chroma_fb_.get());
    glViewport(0, 0, placement_.chroma.width, placement_.chroma.height);
    glUseProgram(programs.chroma);
    glBindTexture(GL_TEXTURE_2D, chroma_map_.get());
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
}

void DOR_OglRenderer::read_back(AVFrame& output) const {
    if (layout_ == PlaneLayout::blocks) {
        read_blocks(output);
    } else {
        read_planes(output);
    }
}

void DOR_OglRenderer::read_blocks(AVFrame& output) const {
    const PlaneRect& r = placement_.luma;
    const int linesize = output.linesize[0];
    uint8_t* top = output.data[0] + static_cast<std::ptrdiff_t>(r.y) * linesize + r.x;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, blocks_fb_.get());
    read_row_pairs(GL_COLOR_ATTACHMENT0, r.width / 2, r.height / 2, top, linesize);
    read_row_pairs(GL_COLOR_ATTACHMENT1, r.width / 2, r.height / 2, top + linesize, linesize);
    read_plane(GL_COLOR_ATTACHMENT2, placement_.chroma, output.data[1], output.linesize[1]);
    read_plane(GL_COLOR_ATTACHMENT3, placement_.chroma, output.data[2], output.linesize[2]);
}

void DOR_OglRenderer::read_planes(AVFrame& output) const {
    glBindFramebuffer(GL_READ_FRAMEBUFFER, luma_fb_.get());
    read_plane(GL_COLOR_ATTACHMENT0, placement_.luma, output.data[0], output.linesize[0]);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, chroma_fb_.get());
    read_plane(GL_COLOR_ATTACHMENT0, placement_.chroma, output.data[1], output.linesize[1]);
    read_plane(GL_COLOR_ATTACHMENT1, placement_.chroma, output.data[2], output.linesize[2]);
}

namespace {

CoordinateMap read_map(GLuint framebuffer, int width, int height) {
    CoordinateMap map;
    map.width = width;
    map.height = height;
    map.texels.resize(static_cast<std::size_t>(width) * height * 4);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_FLOAT, map.texels.data());
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    return map;
}

}  // namespace

int DOR_OglRenderer::build_mesh(int32_t mode, int src_width, int src_height, ErrorText& error) {
    const geometry::DrawModeResult r =
        geometry::set_draw_mode(camera_, factory_, mode, src_width, src_height, width_, height_);
    if (r.code != geometry::kCodeOk) {
        error.assign(factory_.error_text());
        return DOR_CONVERTER_ERROR_FAILURE;
    }
    if (geometry::rebuild_viewport(camera_, factory_, {}) != geometry::Rebuild::ok) {
        return error.fail(DOR_CONVERTER_ERROR_FAILURE, "error: can not get vertex data;\n");
    }
    camera_.built = true;
    return DOR_CONVERTER_OK;
}

void DOR_OglRenderer::release_mesh() {
    factory_.release_mesh();
    camera_.built = false;
}

CoordinateMap DOR_OglRenderer::rasterize(int width, int height) const {
    const MeshArrays mesh{factory_.positions(), factory_.texcoords(), factory_.weights(),
                          factory_.indices(), factory_.vertex_count()};
    return rasterize_map(mesh, geometry::mvp_matrix(camera_), geometry::kTextureMatrix, width,
                         height);
}

CoordinateMap DOR_OglRenderer::rasterize_luma_map() const {
    return rasterize(width_, height_);
}

CoordinateMap DOR_OglRenderer::rasterize_chroma_map(const CoordinateMap& luma) const {
    if (layout_ == PlaneLayout::blocks) return block_chroma_map(luma);
    return rasterize(placement_.chroma.width, placement_.chroma.height);
}

CoordinateMap DOR_OglRenderer::read_luma_map() const {
    return read_map(luma_map_fb_.get(), width_, height_);
}

CoordinateMap DOR_OglRenderer::read_chroma_map(const CoordinateMap& luma) const {
    if (layout_ == PlaneLayout::blocks) return block_chroma_map(luma);
    return read_map(chroma_map_fb_.get(), placement_.chroma.width, placement_.chroma.height);
}

void DOR_OglRenderer::release() {
    for (gl::Framebuffer* f :
         {&luma_fb_, &chroma_fb_, &blocks_fb_, &luma_map_fb_, &chroma_map_fb_, &pairs_fb_}) {
        f->reset();
    }
    mesh_array_.reset();
    for (gl::Buffer& b : mesh_buffers_) b.reset();
    for (gl::Texture* t : {&luma_map_, &chroma_map_, &upper_pairs_, &lower_pairs_, &plane_y_,
                           &upper_luma_, &lower_luma_, &plane_u_, &plane_v_}) {
        t->reset();
    }
    mesh_drawn_ = 0;
    vertex_count_ = 0;
    camera_.built = false;
}

}  // namespace converter
