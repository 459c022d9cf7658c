// Small recordings for the player's opening rules: sound only, a full-range
// (JPEG) pixel format, a frame rate above 30 whose sound outlasts the
// picture, and the live formats (FLV, an HLS playlist) whose length the
// player does not report.
#include "samplegen.h"

namespace {

const std::string kPicture = "testsrc2=size=160x160:rate=";
const std::string kTone = "sine=frequency=550:sample_rate=48000";

std::vector<std::string> x264(const std::string& pix_fmt) {
    return {"-c:v", "libx264", "-preset", "ultrafast", "-g", "30", "-pix_fmt", pix_fmt};
}

std::vector<std::string> join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

bool make_audio_only(const samplegen::Context& ctx) {
    return samplegen::ffmpeg(ctx, {"-f", "lavfi", "-i", kTone, "-t", "1", "-c:a", "aac", "-b:a",
                                   "48k", ctx.path("audio_only.m4a")});
}

bool make_full_range(const samplegen::Context& ctx) {
    return samplegen::ffmpeg(
        ctx, join(join({"-f", "lavfi", "-i", kPicture + "30", "-t", "1"}, x264("yuvj420p")),
                  {ctx.path("yuvj420p.mp4")}));
}

// 1 s of 60 fps picture with 1.5 s of sound: the sound's length counts.
bool make_high_rate(const samplegen::Context& ctx) {
    return samplegen::ffmpeg(ctx, join(join({"-f", "lavfi", "-t", "1", "-i", kPicture + "60", "-f",
                                             "lavfi", "-t", "1.5", "-i", kTone},
                                            x264("yuv420p")),
                                       {"-c:a", "aac", "-b:a", "48k", ctx.path("high_rate.mp4")}));
}

bool make_live(const samplegen::Context& ctx) {
    const auto source = join({"-f", "lavfi", "-i", kPicture + "30", "-t", "2"}, x264("yuv420p"));
    return samplegen::ffmpeg(ctx, join(source, {"-f", "flv", ctx.path("live.flv")})) &&
           samplegen::ffmpeg(ctx, join(source, {"-f", "hls", "-hls_time", "1", "-hls_list_size",
                                                "0", "-hls_segment_filename",
                                                ctx.path("live_%d.ts"), ctx.path("live.m3u8")}));
}

bool make_player_media(const samplegen::Context& ctx) {
    return make_audio_only(ctx) && make_full_range(ctx) && make_high_rate(ctx) && make_live(ctx);
}

}  // namespace

KVP_SAMPLE_SET(player_media,
               "audio_only.m4a, yuvj420p.mp4, high_rate.mp4 (60 fps, sound outlasts picture), "
               "live.flv, live.m3u8 with live_N.ts",
               make_player_media)
