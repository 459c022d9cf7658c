// Short clips for the playback tests: small frames, one or two seconds.
//   play_video.mp4     2 s, 160x160, 30 fps moving test picture, no sound
//   play_grey.mp4      8 s, 160x160, flat mid grey, no sound (brightness)
//   play_two_tone.mp4  0.6 s black then 2 s white, 160x160, no sound (end time)
//   play_stereo.mp4    0.5 s, 160x160 with stereo sound: a tone left, silence right
//   play_restart.ts    two 1 s recordings back to back, the second one's
//                      timestamps starting again from the beginning
//   play_lens.mp4      1 s, 160x160 black frame with a red "lens" square of
//                      120 pixels and a blue 24-pixel square at its centre
//   play_late_clock.ts 3 s, 160x160 with sound, its timestamps starting at
//                      50000 s: above 2^32 ticks of the 90 kHz clock, as a
//                      recorder's TS clock may be
#include <cstdio>

#include "samplegen.h"

namespace {

const std::string kSize = "160x160";

std::vector<std::string> x264() {
    return {"-c:v", "libx264", "-preset", "veryfast", "-g", "30", "-pix_fmt", "yuv420p"};
}

std::vector<std::string> join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

bool make_video(const samplegen::Context& ctx) {
    return samplegen::ffmpeg(
        ctx,
        join(join({"-f", "lavfi", "-i", "testsrc2=size=" + kSize + ":rate=30", "-t", "2"}, x264()),
             {ctx.path("play_video.mp4")}));
}

bool make_grey(const samplegen::Context& ctx) {
    return samplegen::ffmpeg(
        ctx,
        join(join({"-f", "lavfi", "-i", "color=c=0x808080:size=" + kSize + ":rate=30", "-t", "8"},
                  x264()),
             {ctx.path("play_grey.mp4")}));
}

bool make_two_tone(const samplegen::Context& ctx) {
    const std::string tone = ":size=" + kSize + ":rate=30:duration=";
    return samplegen::ffmpeg(
        ctx, join(join({"-f", "lavfi", "-i", "color=c=black" + tone + "0.6", "-f", "lavfi", "-i",
                        "color=c=white" + tone + "2", "-filter_complex",
                        "[0:v][1:v]concat=n=2:v=1[v]", "-map", "[v]"},
                       x264()),
                  {ctx.path("play_two_tone.mp4")}));
}

bool make_stereo(const samplegen::Context& ctx) {
    return samplegen::ffmpeg(
        ctx,
        join(join({"-f", "lavfi", "-i", "testsrc2=size=" + kSize + ":rate=30", "-f", "lavfi", "-i",
                   "sine=frequency=440:sample_rate=48000", "-filter_complex",
                   "[1:a]pan=stereo|c0=c0|c1=0*c0[a]", "-map", "0:v", "-map", "[a]", "-t", "0.5"},
                  x264()),
             {"-c:a", "aac", "-b:a", "96k", ctx.path("play_stereo.mp4")}));
}

// A recorder that loops its file: the same clip twice, byte for byte, so
// the timestamps drop back to the start half-way.
bool make_restart(const samplegen::Context& ctx) {
    const std::string part = ctx.path("play_restart_part.ts");
    if (!samplegen::ffmpeg(
            ctx, join(join({"-f", "lavfi", "-i", "testsrc2=size=" + kSize + ":rate=30", "-t", "1"},
                           x264()),
                      {"-f", "mpegts", part}))) {
        return false;
    }
    std::string bytes;
    if (!samplegen::read_file(part, bytes)) return false;
    std::remove(part.c_str());
    return samplegen::write_file(ctx.path("play_restart.ts"), bytes + bytes);
}

// Colours at known places of the frame, for pixels read back through the
// whole playback path.
bool make_lens(const samplegen::Context& ctx) {
    return samplegen::ffmpeg(
        ctx, join(join({"-f", "lavfi", "-i",
                        "color=c=black:size=" + kSize +
                            ":rate=30,drawbox=x=20:y=20:w=120:h=120:color=red:t=fill,"
                            "drawbox=x=68:y=68:w=24:h=24:color=blue:t=fill",
                        "-t", "1"},
                       x264()),
                  {ctx.path("play_lens.mp4")}));
}

bool make_late_clock(const samplegen::Context& ctx) {
    return samplegen::ffmpeg(
        ctx, join(join({"-f", "lavfi", "-i", "testsrc2=size=" + kSize + ":rate=30", "-f", "lavfi",
                        "-i", "sine=frequency=440:sample_rate=48000", "-t", "3"},
                       x264()),
                  {"-c:a", "aac", "-b:a", "96k", "-output_ts_offset", "50000", "-f", "mpegts",
                   ctx.path("play_late_clock.ts")}));
}

bool make_playback(const samplegen::Context& ctx) {
    return make_video(ctx) && make_grey(ctx) && make_two_tone(ctx) && make_stereo(ctx) &&
           make_restart(ctx) && make_lens(ctx) && make_late_clock(ctx);
}

}  // namespace

KVP_SAMPLE_SET(playback,
               "play_video.mp4, play_grey.mp4, play_two_tone.mp4, play_stereo.mp4, "
               "play_restart.ts, play_lens.mp4, play_late_clock.ts: short clips for the playback "
               "tests",
               make_playback)
