#include "ogl_rendererMgr.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

#include "converter_log.h"
#include "geometry/mat4.h"
#include "gl/entry_points.h"
#include "gl/errors.h"
#include "gl/mesh.h"
#include "gl/program.h"
#include "gl/textures.h"
#include "gl_lines.h"
#include "shaders.h"

namespace converter {
namespace {

// The full-viewport quad as a triangle strip.
constexpr float kQuad[] = {-1.0f, -1.0f, 1.0f, -1.0f, -1.0f, 1.0f, 1.0f, 1.0f};
constexpr GLuint kQuadLocation = 0;
constexpr GLint kQuadComponents = 2;

int plane_size(int size, int i, int log2_chroma) {
    return i == 0 ? size : AV_CEIL_RSHIFT(size, log2_chroma);
}

// The entry points the renderer needs beyond OpenGL 2.
bool has_gl3_entry_points() {
    return glGenVertexArrays != nullptr && glGenFramebuffers != nullptr &&
           glBindFragDataLocation != nullptr && glDrawBuffers != nullptr &&
           glCreateShader != nullptr;
}

// Builds a program into `program` (empty on failure); `bind` runs between
// attaching the shaders and linking (fixed attribute and output locations).
// 0 or 21.
int build_program(gl::Program& program, const char* vertex, const char* fragment, ErrorText& error,
                  const gl::BeforeLink& bind = {}) {
    gl::ProgramBuild build = gl::build_program(vertex, fragment, bind);
    program = std::move(build.program);
    const char* log = build.log.c_str();
    switch (build.failed) {
        case gl::BuildStep::none:
            return DOR_CONVERTER_OK;
        case gl::BuildStep::vertex_shader:
            return error.fail(DOR_CONVERTER_ERROR_FAILURE,
                              "error: could not compile vertex shader:\n%s\n", log);
        case gl::BuildStep::fragment_shader:
            return error.fail(DOR_CONVERTER_ERROR_FAILURE,
                              "error: could not compile fragment shader:\n%s\n", log);
        case gl::BuildStep::create_program:
            return error.fail(DOR_CONVERTER_ERROR_FAILURE, "error: fail to create glProgram;\n");
        case gl::BuildStep::link:
            if (!build.log.empty()) error.set("error: Could not link program:\n%s\n;", log);
            return DOR_CONVERTER_ERROR_FAILURE;
    }
    return DOR_CONVERTER_ERROR_FAILURE;
}

void set_sampler(GLuint program, const char* name, GLint unit) {
    glUseProgram(program);
    glUniform1i(glGetUniformLocation(program, name), unit);
}

}  // namespace

bool can_upload(AVPixelFormat format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    if (d == nullptr || d->nb_components != kSourcePlanes) return false;
    if (d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BE |
                    AV_PIX_FMT_FLAG_FLOAT | AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL)) {
        return false;
    }
    if (!(d->flags & AV_PIX_FMT_FLAG_PLANAR)) return false;
    for (int i = 0; i < kSourcePlanes; ++i) {
        const AVComponentDescriptor& c = d->comp[i];
        if (c.plane != i || c.depth != 8 || c.step != 1 || c.shift != 0 || c.offset != 0) {
            return false;
        }
    }
    return true;
}

ViewportPlacement viewport_placement(const ConverterInitParam& param, int i) {
    ViewportPlacement p;
    p.luma.x = param.viewport_x[i];
    p.luma.width = param.viewport_width[i];
    p.luma.height = param.viewport_height[i];
    // Rows of the output count from the top; viewport_y from the bottom.
    p.luma.y = param.dst_height - param.viewport_y[i] - param.viewport_height[i];
    const int chroma_width = (param.dst_width + 1) / 2;
    const int chroma_height = (param.dst_height + 1) / 2;
    p.chroma.x = p.luma.x / 2;
    p.chroma.y = p.luma.y / 2;
    p.chroma.width = std::min((p.luma.x + p.luma.width + 1) / 2, chroma_width) - p.chroma.x;
    p.chroma.height = std::min((p.luma.y + p.luma.height + 1) / 2, chroma_height) - p.chroma.y;
    return p;
}

int ogl_rendererMgr::gl_failure(int line) {
    const gl::StepCheck check([this](int failed_line, int code) {
        error_->fail(DOR_CONVERTER_ERROR_FAILURE, kMgrGlErrorText, failed_line, code);
    });
    return check.failed(line) ? DOR_CONVERTER_ERROR_FAILURE : DOR_CONVERTER_OK;
}

int ogl_rendererMgr::validate_viewports(const ConverterInitParam& p) {
    if (p.viewport_count < 1 || p.viewport_count > DOR_CONVERTER_MAX_VIEWPORTS) {
        error_->set("ogl_rendererMgr::init error: invalid viewport count %d;\n", p.viewport_count);
        log_line("%s", error_->str().c_str());
        return DOR_CONVERTER_ERROR_FAILURE;
    }
    for (int i = 0; i < p.viewport_count; ++i) {
        const int64_t right = int64_t{p.viewport_x[i]} + p.viewport_width[i];
        if (p.viewport_x[i] < 0 || p.viewport_width[i] < 1 || right > p.dst_width) {
            error_->set(
                "ogl_rendererMgr::init error: invalid viewport size for viewport %d;width %d "
                "_init_param->dst_width = %d \n",
                i, static_cast<int>(std::clamp<int64_t>(right, INT32_MIN, INT32_MAX)), p.dst_width);
            log_line("%s", error_->str().c_str());
            return DOR_CONVERTER_ERROR_FAILURE;
        }
        const int64_t top = int64_t{p.viewport_y[i]} + p.viewport_height[i];
        if (p.viewport_y[i] < 0 || p.viewport_height[i] < 1 || top > p.dst_height) {
            error_->set("ogl_rendererMgr::init error: invalid viewport size for viewport %d;\n", i);
            log_line("%s", error_->str().c_str());
            return DOR_CONVERTER_ERROR_FAILURE;
        }
    }
    return DOR_CONVERTER_OK;
}

int ogl_rendererMgr::create_context() {
    std::string why;
    if (!context_.create(why)) {
        return error_->fail(DOR_CONVERTER_ERROR_FAILURE,
                            "error: could not create an OpenGL context: %s;\n", why.c_str());
    }
    const gl::EntryPoints entry = gl::load_entry_points();
    if (!entry.loaded) {
        return error_->fail(DOR_CONVERTER_ERROR_FAILURE, "glew error: %s\n", entry.reason);
    }
    if (!has_gl3_entry_points()) {
        return error_->fail(DOR_CONVERTER_ERROR_FAILURE,
                            "error: OpenGL 3.0 is not available: %s;\n",
                            reinterpret_cast<const char*>(glGetString(GL_VERSION)));
    }
    glGetError();  // nothing before this point is the renderer's
    return DOR_CONVERTER_OK;
}

int ogl_rendererMgr::create_source_planes(AVPixelFormat format) {
    if (!can_upload(format)) format = AV_PIX_FMT_YUV420P;  // what the pipeline converts to
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    for (auto& plane : planes_) plane.create();
    if (const int rc = gl_failure(kLineTextureNames)) return rc;
    for (int i = 0; i < kSourcePlanes; ++i) {
        plane_width_[i] = plane_size(src_width_, i, d->log2_chroma_w);
        plane_height_[i] = plane_size(src_height_, i, d->log2_chroma_h);
        glActiveTexture(GL_TEXTURE0 + kFirstPlaneUnit + i);
        gl::set_up_texture(planes_[i].get(), gl::kRedPlane,
                           {nullptr, plane_width_[i], plane_height_[i]});
    }
    glActiveTexture(GL_TEXTURE0);
    return gl_failure(kLineSourceTexture);
}

int ogl_rendererMgr::create_programs() {
    int rc = build_program(mesh_program_, mesh_vertex_shader().c_str(),
                           mesh_fragment_shader().c_str(), *error_);
    if (rc != DOR_CONVERTER_OK) return rc;
    rc =
        build_program(luma_program_, kQuadVertexShader, kLumaFragmentShader, *error_, [](GLuint p) {
            glBindAttribLocation(p, kQuadLocation, kAttrQuad);
            glBindFragDataLocation(p, 0, kOutLuma);
        });
    if (rc != DOR_CONVERTER_OK) return rc;
    rc = build_program(chroma_program_, kQuadVertexShader, kChromaFragmentShader, *error_,
                       [](GLuint p) {
                           glBindAttribLocation(p, kQuadLocation, kAttrQuad);
                           glBindFragDataLocation(p, 0, kOutChromaU);
                           glBindFragDataLocation(p, 1, kOutChromaV);
                       });
    if (rc != DOR_CONVERTER_OK) return rc;
    rc =
        build_program(pack_program_, kQuadVertexShader, kPackFragmentShader, *error_, [](GLuint p) {
            glBindAttribLocation(p, kQuadLocation, kAttrQuad);
            glBindFragDataLocation(p, 0, kOutUpperPairs);
            glBindFragDataLocation(p, 1, kOutLowerPairs);
        });
    if (rc != DOR_CONVERTER_OK) return rc;
    rc = build_program(blocks_program_, kQuadVertexShader, kBlocksFragmentShader, *error_,
                       [](GLuint p) {
                           glBindAttribLocation(p, kQuadLocation, kAttrQuad);
                           glBindFragDataLocation(p, 0, kOutUpperLuma);
                           glBindFragDataLocation(p, 1, kOutLowerLuma);
                           glBindFragDataLocation(p, 2, kOutChromaU);
                           glBindFragDataLocation(p, 3, kOutChromaV);
                       });
    if (rc != DOR_CONVERTER_OK) return rc;
    plane_programs_.luma = luma_program_.get();
    plane_programs_.chroma = chroma_program_.get();
    plane_programs_.pack = pack_program_.get();
    plane_programs_.blocks = blocks_program_.get();
    return DOR_CONVERTER_OK;
}

int ogl_rendererMgr::bind_mesh_program() {
    const GLuint p = mesh_program_.get();
    mesh_.program = p;
    glUseProgram(p);
    const struct {
        GLint* location;
        const char* name;
        int line;
    } attributes[] = {{&mesh_.position, kAttrPosition, kLineAttrPosition},
                      {&mesh_.texcoord, kAttrTexCoord, kLineAttrTexCoord},
                      {&mesh_.weights, kAttrLeftWeights, kLineAttrLeftWeights},
                      {&mesh_.index, kAttrTexIndex, kLineAttrTexIndex}};
    for (const auto& a : attributes) {
        *a.location = glGetAttribLocation(p, a.name);
        // An attribute the program lacks cannot be enabled.
        if (*a.location < 0) {
            return error_->fail(DOR_CONVERTER_ERROR_FAILURE, kMgrGlErrorText, a.line,
                                static_cast<int>(GL_INVALID_VALUE));
        }
        if (const int rc = gl_failure(a.line)) return rc;
    }
    mesh_.mvp = glGetUniformLocation(p, gl::kUniformMvp);
    if (const int rc = gl_failure(kLineUniformMvp)) return rc;
    glUniformMatrix4fv(glGetUniformLocation(p, gl::kUniformSt), 1, GL_FALSE,
                       geometry::kTextureMatrix.data());
    if (const int rc = gl_failure(kLineUniformSt)) return rc;
    set_sampler(luma_program_.get(), kUniformMap, kMapUnit);
    set_sampler(luma_program_.get(), kUniformPlaneY, kFirstPlaneUnit);
    set_sampler(chroma_program_.get(), kUniformMap, kMapUnit);
    set_sampler(chroma_program_.get(), kUniformPlaneU, kFirstPlaneUnit + 1);
    set_sampler(chroma_program_.get(), kUniformPlaneV, kFirstPlaneUnit + 2);
    set_sampler(pack_program_.get(), kUniformMap, kMapUnit);
    set_sampler(blocks_program_.get(), kUniformUpperPairs, kMapUnit);
    set_sampler(blocks_program_.get(), kUniformLowerPairs, kLowerPairsUnit);
    set_sampler(blocks_program_.get(), kUniformPlaneY, kFirstPlaneUnit);
    set_sampler(blocks_program_.get(), kUniformPlaneU, kFirstPlaneUnit + 1);
    set_sampler(blocks_program_.get(), kUniformPlaneV, kFirstPlaneUnit + 2);
    return gl_failure(kLineUniformTexture);
}

int ogl_rendererMgr::init_viewport(int i) {
    const ConverterInitParam& p = *_init_param;
    DOR_OglRenderer& r = renderers_[i];
    if (const int rc = r.set_calibration(p.calib_filename, p.orientation, *error_)) return rc;
    r.reset_rotation();
    const ViewportPlacement placement = viewport_placement(p, i);
    int rc = r.create_framebuffer(p.viewport_width[i], p.viewport_height[i], placement, *error_);
    if (rc != DOR_CONVERTER_OK) return rc;
    // Every viewport reads the same calibration: one mesh per draw mode.
    const DOR_OglRenderer* same_mesh = nullptr;
    for (int j = 0; j < i && same_mesh == nullptr; ++j) {
        if (p.prj_mode[j] == p.prj_mode[i]) same_mesh = &renderers_[j];
    }
    rc = r.set_draw_mode(p.prj_mode[i], src_width_, src_height_, mesh_, *error_, same_mesh);
    if (rc != DOR_CONVERTER_OK) return rc;
    r.set_zoom(p.zoom[i]);
    r.set_angles(p.pitch[i], p.yaw[i], p.roll[i]);
    return r.draw_maps(mesh_, plane_programs_, *error_);
}

int ogl_rendererMgr::init(const ConverterInitParam& param, int src_width, int src_height,
                          AVPixelFormat src_format, ErrorText& error, DewarpPath path) {
    release();
    _init_param = &param;
    error_ = &error;
    src_width_ = src_width;
    src_height_ = src_height;
    if (const int rc = validate_viewports(param)) return rc;
    viewport_count_ = param.viewport_count;
    if (path == DewarpPath::cpu || (path == DewarpPath::automatic && !has_gpu_render_node())) {
        return init_on_cpu();
    }
    if (const int rc = create_context()) return rc;
    if (const int rc = create_source_planes(src_format)) return rc;
    if (const int rc = create_programs()) return rc;
    if (const int rc = bind_mesh_program()) return rc;

    glBindVertexArray(quad_array_.create());
    gl::fill_array_buffer(quad_buffer_, kQuad, std::size(kQuad), GL_STATIC_DRAW);
    gl::point_float_attribute(kQuadLocation, kQuadComponents);
    glBindVertexArray(0);
    plane_programs_.quad_array = quad_array_.get();

    for (int i = 0; i < viewport_count_; ++i) {
        if (const int rc = init_viewport(i)) return rc;
    }
    if (wants_cpu(path)) move_to_cpu();
    return DOR_CONVERTER_OK;
}

// Without any GL: the maps are drawn on the processor.
int ogl_rendererMgr::init_on_cpu() {
    const ConverterInitParam& p = *_init_param;
    cpu_viewports_.clear();
    for (int i = 0; i < viewport_count_; ++i) {
        DOR_OglRenderer& r = renderers_[i];
        if (const int rc = r.set_calibration(p.calib_filename, p.orientation, *error_)) return rc;
        r.reset_rotation();
        const ViewportPlacement placement = viewport_placement(p, i);
        r.place(p.viewport_width[i], p.viewport_height[i], placement);
        if (const int rc = r.build_mesh(p.prj_mode[i], src_width_, src_height_, *error_)) {
            return rc;
        }
        r.set_zoom(p.zoom[i]);
        r.set_angles(p.pitch[i], p.yaw[i], p.roll[i]);
        const CoordinateMap luma = r.rasterize_luma_map();
        cpu_viewports_.emplace_back(luma, r.rasterize_chroma_map(luma), placement);
        r.release_mesh();
    }
    cpu_source_ = av::make_frame();
    return DOR_CONVERTER_OK;
}

bool ogl_rendererMgr::wants_cpu(DewarpPath path) const {
    if (path != DewarpPath::automatic) return path == DewarpPath::cpu;
    const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    return renderer != nullptr && is_software_renderer(renderer);
}

// The maps are all the processor's dewarp needs of the GL.
void ogl_rendererMgr::move_to_cpu() {
    cpu_viewports_.clear();
    for (int i = 0; i < viewport_count_; ++i) {
        const CoordinateMap luma = renderers_[i].read_luma_map();
        cpu_viewports_.emplace_back(luma, renderers_[i].read_chroma_map(luma),
                                    renderers_[i].placement());
    }
    for (int i = 0; i < viewport_count_; ++i) renderers_[i].release_mesh();
    cpu_source_ = av::make_frame();
    release_gl();
}

int ogl_rendererMgr::upload(const AVFrame& picture) {
    const auto format = static_cast<AVPixelFormat>(picture.format);
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    if (error_ == nullptr) return DOR_CONVERTER_ERROR_FAILURE;  // never initialised
    if (!is_ready() || !can_upload(format) || picture.width != src_width_ ||
        picture.height != src_height_) {
        return error_->fail(DOR_CONVERTER_ERROR_FAILURE, kUploadErrorText, kMgrSourceName,
                            kLineUpload, static_cast<int>(GL_INVALID_VALUE));
    }
    if (on_cpu()) {
        // Held, not copied, until the next upload.
        av_frame_unref(cpu_source_.get());
        if (av_frame_ref(cpu_source_.get(), &picture) == 0) return DOR_CONVERTER_OK;
        return error_->fail(DOR_CONVERTER_ERROR_FAILURE, kUploadErrorText, kMgrSourceName,
                            kLineUpload, static_cast<int>(GL_OUT_OF_MEMORY));
    }
    for (int i = 0; i < kSourcePlanes; ++i) {
        const int w = plane_size(src_width_, i, d->log2_chroma_w);
        const int h = plane_size(src_height_, i, d->log2_chroma_h);
        const gl::Image image{picture.data[i], w, h, picture.linesize[i]};
        glActiveTexture(GL_TEXTURE0 + kFirstPlaneUnit + i);
        if (w != plane_width_[i] || h != plane_height_[i]) {
            // Another chroma layout than announced: the plane is reallocated.
            gl::allocate_image(planes_[i].get(), gl::kRedPlane, image);
            plane_width_[i] = w;
            plane_height_[i] = h;
        } else {
            gl::replace_image(planes_[i].get(), gl::kRedPlane, image);
        }
    }
    glActiveTexture(GL_TEXTURE0);
    const GLenum code = glGetError();
    if (code == GL_NO_ERROR) return DOR_CONVERTER_OK;
    return error_->fail(DOR_CONVERTER_ERROR_FAILURE, kUploadErrorText, kMgrSourceName, kLineUpload,
                        static_cast<int>(code));
}

int ogl_rendererMgr::render(AVFrame& output) {
    if (error_ == nullptr) return DOR_CONVERTER_ERROR_FAILURE;  // never initialised
    const ConverterInitParam& p = *_init_param;
    if (!is_ready() || output.format != AV_PIX_FMT_YUV420P || output.width != p.dst_width ||
        output.height != p.dst_height) {
        return error_->fail(DOR_CONVERTER_ERROR_FAILURE, kRenderErrorText,
                            static_cast<int>(GL_INVALID_VALUE));
    }
    if (on_cpu()) {
        if (cpu_source_->data[0] == nullptr) {  // nothing uploaded yet
            return error_->fail(DOR_CONVERTER_ERROR_FAILURE, kRenderErrorText,
                                static_cast<int>(GL_INVALID_OPERATION));
        }
        // In index order: a later viewport covers an earlier one.
        for (CpuViewport& v : cpu_viewports_) v.render(*cpu_source_, output);
        return DOR_CONVERTER_OK;
    }
    glBindVertexArray(plane_programs_.quad_array);
    for (int i = 0; i < viewport_count_; ++i) renderers_[i].draw_planes(plane_programs_);
    glBindVertexArray(0);
    // Read back after every viewport has been queued, in index order (a
    // later viewport covers an earlier one).
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    for (int i = 0; i < viewport_count_; ++i) renderers_[i].read_back(output);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    const GLenum code = glGetError();
    if (code == GL_NO_ERROR) return DOR_CONVERTER_OK;
    return error_->fail(DOR_CONVERTER_ERROR_FAILURE, kRenderErrorText, static_cast<int>(code));
}

int ogl_rendererMgr::release() {
    release_gl();
    cpu_viewports_.clear();
    cpu_source_.reset();
    viewport_count_ = 0;
    return 0;
}

void ogl_rendererMgr::release_gl() {
    if (context_.is_current()) {
        for (auto& r : renderers_) r.release();
        for (gl::Program* p :
             {&mesh_program_, &luma_program_, &chroma_program_, &pack_program_, &blocks_program_}) {
            p->reset();
        }
        quad_buffer_.reset();
        quad_array_.reset();
        for (gl::Texture& plane : planes_) plane.reset();
    }
    context_.destroy();
    mesh_ = MeshProgram{};
    plane_programs_ = PlanePrograms{};
}

}  // namespace converter
