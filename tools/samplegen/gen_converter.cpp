// Recordings for the converter's tests: a fisheye of a smooth colour
// gradient (every direction has its own colour, so a dewarped pixel can be
// traced back to the lens), and the awkward inputs (MP3 sound, full-range
// YUV, no frame count, no video). All of them are small and short.
#include <cstdio>
#include <string>

#include "samplegen.h"

namespace {

// The gradient lens: 320 x 320, circle r = 156 centred, 200 degrees,
// 1 s at 10 fps, no sound. Luma follows the longitude, blue-difference the
// latitude, red-difference the longitude backwards.
bool make_gradient(const samplegen::Context& ctx) {
    const std::string scene =
        "color=black:size=720x360:rate=10,format=yuv444p,"
        "geq=lum='40+170*X/W':cb='50+150*Y/H':cr='200-120*X/W'";
    const std::string mask =
        "color=black:size=312x312:rate=10,format=gray,"
        "geq=lum='255*lt(hypot(X-155.5\\,Y-155.5)\\,156)'";
    const std::string graph =
        "[0:v]v360=input=e:output=fisheye:h_fov=200:v_fov=200:w=312:h=312,format=yuva420p[lens];"
        "[2:v]format=gray[mask];[lens][mask]alphamerge[disc];"
        "[1:v][disc]overlay=x=4:y=4:shortest=1,format=yuv420p[v]";
    return samplegen::ffmpeg(ctx, {"-f",
                                   "lavfi",
                                   "-i",
                                   scene,
                                   "-f",
                                   "lavfi",
                                   "-i",
                                   "color=black:size=320x320:rate=10",
                                   "-f",
                                   "lavfi",
                                   "-i",
                                   mask,
                                   "-filter_complex",
                                   graph,
                                   "-map",
                                   "[v]",
                                   "-c:v",
                                   "libx264",
                                   "-preset",
                                   "veryfast",
                                   "-qp",
                                   "4",
                                   "-g",
                                   "10",
                                   "-t",
                                   "1",
                                   ctx.path("conv_gradient.mp4")});
}

// A small fisheye: 240 x 240, circle r = 116 centred, 1 s at 10 fps, AAC.
samplegen::FisheyeClip small_clip() {
    samplegen::FisheyeClip clip;
    clip.width = clip.height = 240;
    clip.cx = clip.cy = 120;
    clip.radius = 116;
    clip.seconds = 1;
    clip.fps = 10;
    clip.codec_args = "-c:v libx264 -preset veryfast -crf 23 -g 10 -pix_fmt yuv420p";
    return clip;
}

// Video with MP3 sound (not the MP4 default, AAC).
bool make_mp3(const samplegen::Context& ctx) {
    samplegen::FisheyeClip clip = small_clip();
    clip.audio = false;
    const std::string silent = ctx.path("conv_mp3_video.mp4");
    return samplegen::make_fisheye_clip(ctx, clip, silent) &&
           samplegen::ffmpeg(
               ctx, {"-i", silent, "-f", "lavfi", "-i", "sine=frequency=330:sample_rate=44100",
                     "-map", "0:v", "-map", "1:a", "-c:v", "copy", "-c:a", "libmp3lame", "-b:a",
                     "64k", "-t", "1", ctx.path("conv_mp3.mp4")}) &&
           std::remove(silent.c_str()) == 0;
}

bool make_full_range(const samplegen::Context& ctx) {
    samplegen::FisheyeClip clip = small_clip();
    clip.codec_args = "-c:v libx264 -preset veryfast -crf 23 -g 10 -pix_fmt yuvj420p";
    return samplegen::make_fisheye_clip(ctx, clip, ctx.path("conv_yuvj.mp4"));
}

bool make_silent(const samplegen::Context& ctx) {
    samplegen::FisheyeClip clip = small_clip();
    clip.audio = false;
    return samplegen::make_fisheye_clip(ctx, clip, ctx.path("conv_silent.mp4"));
}

bool make_converter(const samplegen::Context& ctx) {
    return make_gradient(ctx) && make_mp3(ctx) && make_full_range(ctx) && make_silent(ctx) &&
           // Matroska keeps no frame count: the duration has to come from elsewhere.
           samplegen::make_fisheye_clip(ctx, small_clip(), ctx.path("conv_nocount.mkv")) &&
           samplegen::ffmpeg(ctx, {"-f", "lavfi", "-i", "sine=frequency=500:sample_rate=48000",
                                   "-t", "1", "-c:a", "aac", ctx.path("conv_audio_only.m4a")});
}

}  // namespace

KVP_SAMPLE_SET(converter,
               "conv_*: gradient lens, MP3 sound, full range, no frame count, no sound, no video",
               make_converter)
