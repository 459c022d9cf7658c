// The basic recordings: a square fisheye MP4 with sound, its MPEG-TS copy and
// a flat 16:9 MP4.
#include "samplegen.h"

namespace {

bool make_basic(const samplegen::Context& ctx) {
    samplegen::FisheyeClip fisheye;  // 480 x 480, circle r = 232 centred, 2 s
    if (!samplegen::make_fisheye_clip(ctx, fisheye, ctx.path("fisheye.mp4"))) return false;

    // A plain remux; the program map goes to PID 0x20 so that nothing but
    // recorder data ever sits on PID 0x1000 (FFmpeg's default PMT PID).
    if (!samplegen::ffmpeg(ctx, {"-i", ctx.path("fisheye.mp4"), "-c", "copy", "-f", "mpegts",
                                 "-mpegts_pmt_start_pid", "0x20", ctx.path("fisheye.ts")})) {
        return false;
    }
    return samplegen::ffmpeg(ctx, {"-f",
                                   "lavfi",
                                   "-i",
                                   "testsrc2=size=640x360:rate=30",
                                   "-f",
                                   "lavfi",
                                   "-i",
                                   "sine=frequency=660:sample_rate=44100",
                                   "-t",
                                   "2",
                                   "-c:v",
                                   "libx264",
                                   "-preset",
                                   "veryfast",
                                   "-pix_fmt",
                                   "yuv420p",
                                   "-c:a",
                                   "aac",
                                   "-b:a",
                                   "64k",
                                   "-ac",
                                   "2",
                                   ctx.path("flat.mp4")});
}

// The benchmark recording: 20 s of 1920 x 1920 at 30 fps, the recorder's
// own size and rate.
bool make_bench(const samplegen::Context& ctx) {
    samplegen::FisheyeClip clip;
    clip.width = clip.height = 1920;
    clip.cx = clip.cy = 960;
    clip.radius = 950;
    clip.seconds = 20;
    clip.codec_args = "-c:v libx264 -preset veryfast -b:v 10M -g 30 -pix_fmt yuv420p";
    return samplegen::make_fisheye_clip(ctx, clip, ctx.path("bench_1920.mp4"));
}

}  // namespace

KVP_SAMPLE_SET(basic, "fisheye.mp4, fisheye.ts (remuxed), flat.mp4", make_basic)
KVP_SAMPLE_SET_ON_REQUEST(bench, "bench_1920.mp4: 20 s, 1920x1920, 30 fps", make_bench)

namespace {

// The viewer demo's recording: 10 s of a 960 x 960 fisheye with sound,
// long enough to watch the layouts while it plays.
bool make_demo(const samplegen::Context& ctx) {
    samplegen::FisheyeClip clip;
    clip.width = clip.height = 960;
    clip.cx = clip.cy = 480;
    clip.radius = 470;
    clip.seconds = 10;
    return samplegen::make_fisheye_clip(ctx, clip, ctx.path("demo_fisheye.mp4"));
}

}  // namespace

KVP_SAMPLE_SET_ON_REQUEST(demo, "demo_fisheye.mp4: 10 s, 960x960 fisheye with sound", make_demo)
