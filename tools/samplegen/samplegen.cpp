#include "samplegen.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace samplegen {

std::vector<SampleSet>& registry() {
    static std::vector<SampleSet> sets;
    return sets;
}

bool register_set(const SampleSet& set) {
    registry().push_back(set);
    return true;
}

bool run(const Context& ctx, const std::vector<std::string>& argv) {
    if (ctx.verbose) {
        for (const auto& a : argv) std::fprintf(stderr, "%s ", a.c_str());
        std::fprintf(stderr, "\n");
    }
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        if (!ctx.verbose) {
            const int devnull = ::open("/dev/null", O_WRONLY);
            if (devnull >= 0) ::dup2(devnull, STDOUT_FILENO);
        }
        ::execvp(args[0], args.data());
        std::fprintf(stderr, "samplegen: cannot run %s: %s\n", args[0], std::strerror(errno));
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool ffmpeg(const Context& ctx, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"ffmpeg",    "-hide_banner", "-nostdin",
                                     "-loglevel", "error",        "-y"};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(ctx, argv);
}

bool write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool read_file(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

namespace {

std::vector<std::string> split_args(const std::string& s) {
    std::istringstream in(s);
    std::vector<std::string> out;
    for (std::string word; in >> word;) out.push_back(word);
    return out;
}

std::string num(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

}  // namespace

bool make_fisheye_clip(const Context& ctx, const FisheyeClip& c, const std::string& out) {
    // The lens circle is rendered at 2r x 2r by v360, masked round, and laid
    // over a black frame at its place; the frame may cut it.
    const int diameter = static_cast<int>(2 * c.radius + 0.5);
    const std::string d = std::to_string(diameter);
    const std::string half = num(diameter / 2.0 - 0.5);
    const std::string dur = num(c.seconds);
    const std::string fps = std::to_string(c.fps);
    const int scene_h = std::max(256, diameter);  // equirectangular 2:1 scene
    const std::string scene = "testsrc2=size=" + std::to_string(2 * scene_h) + "x" +
                              std::to_string(scene_h) + ":rate=" + fps +
                              ",drawgrid=w=iw/24:h=ih/12:t=2:c=white@0.6";
    const std::string frame = "color=black:size=" + std::to_string(c.width) + "x" +
                              std::to_string(c.height) + ":rate=" + fps;
    const std::string mask = "color=black:size=" + d + "x" + d +
                             ",format=gray,geq=lum='255*lt(hypot(X-" + half + "\\,Y-" + half +
                             ")\\," + num(diameter / 2.0) + ")'";
    std::string graph = "[0:v]v360=input=e:output=fisheye:h_fov=" + num(c.fov_deg) +
                        ":v_fov=" + num(c.fov_deg) + ":w=" + d + ":h=" + d +
                        ",format=yuva420p[lens];" +
                        "[2:v]loop=-1:1:0[mask];[lens][mask]alphamerge[disc];" +
                        "[1:v][disc]overlay=x=" + num(c.cx - diameter / 2.0) +
                        ":y=" + num(c.cy - diameter / 2.0) + ":shortest=1,format=yuv420p";
    if (c.black_first) graph += ",drawbox=enable='eq(n\\,0)':c=black:t=fill";
    graph += "[v]";

    std::vector<std::string> args = {"-f", "lavfi", "-i", scene,   "-f", "lavfi",
                                     "-i", frame,   "-f", "lavfi", "-i", mask};
    if (c.audio) {
        args.insert(args.end(), {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000"});
    }
    args.insert(args.end(), {"-filter_complex", graph, "-map", "[v]"});
    if (c.audio) args.insert(args.end(), {"-map", "3:a", "-c:a", "aac", "-b:a", "64k", "-ac", "1"});
    for (auto& a : split_args(c.codec_args)) args.push_back(a);
    args.insert(args.end(), {"-r", fps, "-t", dur, out});
    return ffmpeg(ctx, args);
}

}  // namespace samplegen

namespace {

void usage() {
    std::fprintf(stderr,
                 "usage: kvp-samplegen [-v] OUT_DIR [SET...]\n       kvp-samplegen --list\n");
}

}  // namespace

int main(int argc, char** argv) {
    samplegen::Context ctx;
    std::vector<std::string> names;
    std::string out_dir;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-v") {
            ctx.verbose = true;
        } else if (a == "--list") {
            for (const auto& s : samplegen::registry()) {
                std::printf("%-16s %s%s\n", s.name, s.description,
                            s.by_default ? "" : " (on request)");
            }
            return 0;
        } else if (out_dir.empty()) {
            out_dir = a;
        } else {
            names.push_back(a);
        }
    }
    if (out_dir.empty()) {
        usage();
        return 2;
    }
    ::mkdir(out_dir.c_str(), 0755);
    ctx.out_dir = out_dir;
    int failures = 0;
    bool matched_any = names.empty();
    for (const auto& set : samplegen::registry()) {
        bool wanted = names.empty() ? set.by_default : false;
        for (const auto& n : names) wanted = wanted || n == set.name;
        if (!wanted) continue;
        matched_any = true;
        if (!set.make(ctx)) {
            std::fprintf(stderr, "kvp-samplegen: set '%s' failed\n", set.name);
            ++failures;
        }
    }
    if (!matched_any) {
        std::fprintf(stderr, "kvp-samplegen: no such set\n");
        return 2;
    }
    return failures == 0 ? 0 : 1;
}
