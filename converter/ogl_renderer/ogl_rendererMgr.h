// The offscreen renderer of the converter: dewarps each decoded source
// picture into the one to four viewports of an output picture, without any
// window.
//
// Usage (all on one thread, the conversion's worker):
//     ogl_rendererMgr mgr;
//     if (mgr.init(param, src_w, src_h, src_format, error) != 0) ...;
//     per frame: mgr.upload(decoded_picture); mgr.render(output_picture);
//     mgr.release();
// Pictures are planar 8-bit YUV: the source in any chroma subsampling (see
// can_upload), the output 4:2:0 of dst_width x dst_height. The output's
// pixels outside every viewport are never written.
//
// Thread-safety: owns an OpenGL context current on the thread that called
// init; every call must come from that thread.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "SphereVideoConverter.h"
#include "cpu_dewarp.h"
#include "ffmpeg_support/handles.h"
#include "gl/headless_context.h"
#include "gl/objects.h"
#include "ogl_renderer.h"

struct AVFrame;

namespace converter {

class ErrorText;

// Number of planes of a source picture.
constexpr int kSourcePlanes = 3;

// True for the formats upload takes as they are: 8-bit planar YUV with three
// planes (4:2:0, 4:2:2, 4:4:4, 4:4:0, 4:1:1, 4:1:0, limited or full range).
bool can_upload(AVPixelFormat format);

// Where viewport i of `param` lands in the output's planes.
ViewportPlacement viewport_placement(const ConverterInitParam& param, int i);

class ogl_rendererMgr {
public:
    ogl_rendererMgr() = default;
    ~ogl_rendererMgr() { release(); }
    ogl_rendererMgr(const ogl_rendererMgr&) = delete;
    ogl_rendererMgr& operator=(const ogl_rendererMgr&) = delete;

    // Validates the viewports, creates the context, the programs and each
    // viewport with its coordinate maps. The record must stay alive while
    // the renderer is used. 0, 17 or 21 with the text in `error`.
    // The processor's dewarp, when asked for or when the machine has no GPU
    // render node, draws the maps itself and never starts a GL context.
    // Chosen automatically on a GL that turns out to be a software
    // rasterizer, it reads the GL's maps back and releases the context at
    // once. Either way the pictures never reach the GL.
    int init(const ConverterInitParam& param, int src_width, int src_height,
             AVPixelFormat src_format, ErrorText& error, DewarpPath path = DewarpPath::gl);
    // Replaces the source planes with `picture` (src_width x src_height,
    // a can_upload format). 0 or 21.
    int upload(const AVFrame& picture);
    // Draws every viewport and reads it back into its place in `output`.
    // 0 or 21.
    int render(AVFrame& output);
    // Releases every GL object and the context. Always 0.
    int release();

    bool is_ready() const { return context_.is_current() || !cpu_viewports_.empty(); }
    // Whether the pictures are dewarped on the processor.
    bool on_cpu() const { return !cpu_viewports_.empty(); }
    const DOR_OglRenderer& viewport(int i) const { return renderers_[i]; }

private:
    int validate_viewports(const ConverterInitParam& param);
    int create_context();
    int create_source_planes(AVPixelFormat format);
    int create_programs();
    int bind_mesh_program();
    int init_viewport(int i);
    int gl_failure(int line);
    int init_on_cpu();
    bool wants_cpu(DewarpPath path) const;
    void move_to_cpu();
    void release_gl();

    gl::HeadlessContext context_;
    std::array<DOR_OglRenderer, DOR_CONVERTER_MAX_VIEWPORTS> renderers_;
    int viewport_count_ = 0;

    // Source planes Y, U, V on texture units 1 to 3, and their sizes.
    std::array<gl::Texture, kSourcePlanes> planes_;
    std::array<int, kSourcePlanes> plane_width_{}, plane_height_{};
    int src_width_ = 0, src_height_ = 0;

    gl::Program mesh_program_, luma_program_, chroma_program_, pack_program_, blocks_program_;
    gl::Buffer quad_buffer_;
    gl::VertexArray quad_array_;
    MeshProgram mesh_;
    PlanePrograms plane_programs_;

    // The processor's dewarp: one per viewport, and the picture uploaded.
    std::vector<CpuViewport> cpu_viewports_;
    av::FramePtr cpu_source_;

    const ConverterInitParam* _init_param = nullptr;
    ErrorText* error_ = nullptr;  // the caller's, from init on
};

}  // namespace converter
