// Fisheye clips whose lens circle has a known place, for the automatic
// calibration: centred, shifted, cut by the frame edges, on a wide frame, at
// the recorder's full size, from 4:4:4 video, and one whose first picture is
// black. lens_truth.txt lists every clip with its frame size and circle:
//     name width height cx cy radius black_first
// (cx, cy, radius in pixels; pixel centres at half-integer coordinates, so a
// circle centred on a 480-wide frame has cx 240).
#include <cstdio>
#include <string>
#include <vector>

#include "samplegen.h"

namespace {

struct LensClip {
    const char* name;
    int width, height;
    double cx, cy, radius;
    bool black_first = false;
    const char* pix_fmt = "yuv420p";
};

const std::vector<LensClip>& lens_clips() {
    static const std::vector<LensClip> clips = {
        {"lens_centred.mp4", 480, 480, 240, 240, 220},
        {"lens_shifted.mp4", 480, 480, 272, 214, 196},
        {"lens_cut.mp4", 480, 480, 240, 240, 262},
        {"lens_wide.mp4", 1920, 1080, 960, 540, 600},
        {"lens_full.mp4", 1920, 1920, 968, 948, 900},
        {"lens_yuv444.mp4", 512, 512, 250, 262, 230, false, "yuv444p"},
        {"lens_black.mp4", 480, 480, 240, 240, 220, true},
    };
    return clips;
}

bool make_lens_clip(const samplegen::Context& ctx, const LensClip& c) {
    samplegen::FisheyeClip clip;
    clip.width = c.width;
    clip.height = c.height;
    clip.cx = c.cx;
    clip.cy = c.cy;
    clip.radius = c.radius;
    clip.seconds = 0.5;  // only the first picture matters
    clip.fps = 10;
    clip.audio = false;
    clip.black_first = c.black_first;
    clip.codec_args =
        std::string("-c:v libx264 -preset veryfast -crf 20 -g 10 -pix_fmt ") + c.pix_fmt;
    return samplegen::make_fisheye_clip(ctx, clip, ctx.path(c.name));
}

bool make_lens(const samplegen::Context& ctx) {
    std::string truth;
    for (const auto& c : lens_clips()) {
        if (!make_lens_clip(ctx, c)) return false;
        char line[256];
        std::snprintf(line, sizeof line, "%s %d %d %g %g %g %d\n", c.name, c.width, c.height, c.cx,
                      c.cy, c.radius, c.black_first ? 1 : 0);
        truth += line;
    }
    return samplegen::write_file(ctx.path("lens_truth.txt"), truth);
}

}  // namespace

KVP_SAMPLE_SET(lens, "lens_*.mp4: fisheye clips with known lens circles, lens_truth.txt", make_lens)
