// The dewarp on the processor: applies a viewport's coordinate maps, as the
// GL renderer drew them, to each source picture with OpenCV's remap. Where
// the GL is a software rasterizer this is cheaper than drawing every picture
// through it, and it needs no GL context once the maps are taken.
//
// A coordinate map holds per output pixel (s, t, drawn) as the mesh program
// writes it: the source position in texture coordinates (0..1 across the
// plane, texel centres at (i + 0.5) / size) and 1 where the pixel is drawn,
// 0 where it is black. Samples are bilinear with the edges clamped, as the
// GL samples the source planes; black is limited-range (16, 128, 128).
//
// Thread-safety: a built CpuViewport is immutable; render writes only the
// output rectangles of its own placement.
#pragma once

#include <string>

#include <opencv2/core.hpp>

#include "ogl_renderer.h"

struct AVFrame;

namespace converter {

// Where the dewarp runs.
enum class DewarpPath {
    automatic,  // the processor where the GL is a software rasterizer
    gl,
    cpu,
};

// "gl", "cpu", or automatic for anything else (null included).
DewarpPath parse_dewarp_path(const char* text);
// Whether the machine has a GPU render node (/dev/dri/renderD*); without
// one, the GL can only be a software rasterizer.
bool has_gpu_render_node();
// Whether a GL_RENDERER string names a software rasterizer (Mesa's
// llvmpipe, softpipe or swrast).
bool is_software_renderer(const std::string& renderer);

// The chroma map of the blocks layout: per 2 x 2 block of `luma`, the mean
// position of its drawn pixels; undrawn where none is.
CoordinateMap block_chroma_map(const CoordinateMap& luma);

class CpuViewport {
public:
    // From the luma map and the chroma map (at the chroma rectangle's size)
    // of a viewport placed at `placement`.
    CpuViewport(const CoordinateMap& luma, const CoordinateMap& chroma,
                const ViewportPlacement& placement);

    // Dewarps `source` (planar 8-bit YUV, three planes) into this viewport's
    // rectangles of `output` (YUV 4:2:0). The first picture of a plane size
    // turns the maps into remap's fixed-point form for that size.
    void render(const AVFrame& source, AVFrame& output);

private:
    struct PlaneMap {
        PlaneRect rect;
        cv::Mat s, t;   // texture coordinates, 32-bit float
        cv::Mat black;  // 255 where undrawn; empty where all is drawn
        uint8_t black_value = 0;
        cv::Size source;  // the plane size the fixed maps are for
        cv::Mat xy, fraction;
    };
    static PlaneMap make_plane(const CoordinateMap& map, const PlaneRect& rect,
                               uint8_t black_value);
    static void remap_plane(PlaneMap& plane, const cv::Mat& source, cv::Mat target);

    PlaneMap luma_;
    PlaneMap chroma_;  // U and V alike
};

}  // namespace converter
