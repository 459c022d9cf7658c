#include "cpu_dewarp.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#include <opencv2/imgproc.hpp>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

namespace converter {
namespace {

constexpr int kTexelFloats = 4;
constexpr float kDrawnThreshold = 0.5f;  // the shaders' test of the third value
constexpr uint8_t kBlackLuma = 16;
constexpr uint8_t kBlackChroma = 128;
constexpr uint8_t kMaskSet = 255;

const float* texel(const CoordinateMap& map, int x, int y) {
    return map.texels.data() + (static_cast<std::size_t>(y) * map.width + x) * kTexelFloats;
}

bool drawn(const float* t) {
    return t[2] > kDrawnThreshold;
}

// A plane of `frame` as a matrix over its pixels (no copy).
cv::Mat plane_of(const AVFrame& frame, int i, int width, int height) {
    return cv::Mat(height, width, CV_8UC1, frame.data[i],
                   static_cast<std::size_t>(frame.linesize[i]));
}

}  // namespace

DewarpPath parse_dewarp_path(const char* text) {
    if (text == nullptr) return DewarpPath::automatic;
    if (std::strcmp(text, "gl") == 0) return DewarpPath::gl;
    if (std::strcmp(text, "cpu") == 0) return DewarpPath::cpu;
    return DewarpPath::automatic;
}

bool has_gpu_render_node() {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/dri", ec)) {
        if (entry.path().filename().string().rfind("renderD", 0) == 0) return true;
    }
    return false;
}

bool is_software_renderer(const std::string& renderer) {
    for (const char* name : {"llvmpipe", "softpipe", "swrast"}) {
        if (renderer.find(name) != std::string::npos) return true;
    }
    return false;
}

CoordinateMap block_chroma_map(const CoordinateMap& luma) {
    CoordinateMap chroma;
    chroma.width = luma.width / 2;
    chroma.height = luma.height / 2;
    chroma.texels.assign(static_cast<std::size_t>(chroma.width) * chroma.height * kTexelFloats,
                         0.0f);
    for (int by = 0; by < chroma.height; ++by) {
        for (int bx = 0; bx < chroma.width; ++bx) {
            float s = 0.0f, t = 0.0f;
            int n = 0;
            for (int dy = 0; dy < 2; ++dy) {
                for (int dx = 0; dx < 2; ++dx) {
                    const float* p = texel(luma, 2 * bx + dx, 2 * by + dy);
                    if (!drawn(p)) continue;
                    s += p[0];
                    t += p[1];
                    ++n;
                }
            }
            if (n == 0) continue;
            float* out = chroma.texels.data() +
                         (static_cast<std::size_t>(by) * chroma.width + bx) * kTexelFloats;
            out[0] = s / static_cast<float>(n);
            out[1] = t / static_cast<float>(n);
            out[2] = out[3] = 1.0f;
        }
    }
    return chroma;
}

CpuViewport::PlaneMap CpuViewport::make_plane(const CoordinateMap& map, const PlaneRect& rect,
                                              uint8_t black_value) {
    PlaneMap plane;
    plane.rect = rect;
    plane.black_value = black_value;
    plane.s.create(rect.height, rect.width, CV_32FC1);
    plane.t.create(rect.height, rect.width, CV_32FC1);
    cv::Mat black(rect.height, rect.width, CV_8UC1, cv::Scalar(0));
    bool any_black = false;
    for (int y = 0; y < rect.height; ++y) {
        for (int x = 0; x < rect.width; ++x) {
            const float* p = texel(map, x, y);
            const bool is_drawn = drawn(p);
            plane.s.at<float>(y, x) = is_drawn ? p[0] : 0.0f;
            plane.t.at<float>(y, x) = is_drawn ? p[1] : 0.0f;
            if (!is_drawn) {
                black.at<uint8_t>(y, x) = kMaskSet;
                any_black = true;
            }
        }
    }
    if (any_black) plane.black = black;
    return plane;
}

CpuViewport::CpuViewport(const CoordinateMap& luma, const CoordinateMap& chroma,
                         const ViewportPlacement& placement)
    : luma_(make_plane(luma, placement.luma, kBlackLuma)),
      chroma_(make_plane(chroma, placement.chroma, kBlackChroma)) {}

// Texel centres lie at (i + 0.5) / size, remap's pixel centres at i: the
// position in pixels is s * size - 0.5. Clamping the edges is remap's
// replicated border.
void CpuViewport::remap_plane(PlaneMap& plane, const cv::Mat& source, cv::Mat target) {
    if (plane.source != source.size()) {
        cv::Mat x, y;
        plane.s.convertTo(x, CV_32F, source.cols, -0.5);
        plane.t.convertTo(y, CV_32F, source.rows, -0.5);
        cv::convertMaps(x, y, plane.xy, plane.fraction, CV_16SC2);
        plane.source = source.size();
    }
    cv::remap(source, target, plane.xy, plane.fraction, cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    if (!plane.black.empty()) target.setTo(plane.black_value, plane.black);
}

void CpuViewport::render(const AVFrame& source, AVFrame& output) {
    const auto* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(source.format));
    const int cw = AV_CEIL_RSHIFT(source.width, d->log2_chroma_w);
    const int ch = AV_CEIL_RSHIFT(source.height, d->log2_chroma_h);
    const PlaneRect& l = luma_.rect;
    const PlaneRect& c = chroma_.rect;
    const cv::Mat out_y = plane_of(output, 0, output.width, output.height);
    const int ow = AV_CEIL_RSHIFT(output.width, 1), oh = AV_CEIL_RSHIFT(output.height, 1);
    remap_plane(luma_, plane_of(source, 0, source.width, source.height),
                out_y(cv::Rect(l.x, l.y, l.width, l.height)));
    for (int i = 1; i <= 2; ++i) {
        const cv::Mat out_c = plane_of(output, i, ow, oh);
        remap_plane(chroma_, plane_of(source, i, cw, ch),
                    out_c(cv::Rect(c.x, c.y, c.width, c.height)));
    }
}

}  // namespace converter
