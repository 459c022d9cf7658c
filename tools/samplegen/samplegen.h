// kvp-samplegen: makes the recordings the tests, benchmarks and the README's
// main job run on. Nothing it makes is committed; everything is generated
// with the ffmpeg program (and byte-level writers for recorder data).
//
// Each sample set registers itself with KVP_SAMPLE_SET in its own source file:
//
//     static bool make_basic(const samplegen::Context& ctx) { ... }
//     KVP_SAMPLE_SET(basic, "fisheye and flat clips", make_basic);
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace samplegen {

struct Context {
    std::string out_dir;  // where the set writes its files (exists)
    bool verbose = false;

    std::string path(const std::string& name) const { return out_dir + "/" + name; }
};

using SetFn = bool (*)(const Context&);

struct SampleSet {
    const char* name;
    const char* description;
    SetFn make;
    bool by_default;  // made when no set is named on the command line
};

std::vector<SampleSet>& registry();
bool register_set(const SampleSet& set);

// Runs a program with arguments (no shell), waits, returns true on exit 0.
// Its output is discarded unless the context is verbose.
bool run(const Context& ctx, const std::vector<std::string>& argv);

// `ffmpeg -hide_banner -nostdin -loglevel error -y` followed by `args`.
bool ffmpeg(const Context& ctx, const std::vector<std::string>& args);

// Writes bytes to a file; false on failure.
bool write_file(const std::string& path, const std::string& bytes);
bool read_file(const std::string& path, std::string& bytes);

// A square fisheye clip: a moving, textured equirectangular scene (test
// pattern with a latitude/longitude grid) seen through an equidistant
// fisheye of `fov_deg`, drawn as a circle of `radius` pixels centred at
// (cx, cy) in a `width` x `height` frame, black outside the circle.
struct FisheyeClip {
    int width = 480;
    int height = 480;
    double cx = 240;
    double cy = 240;
    double radius = 232;
    double fov_deg = 200;
    double seconds = 2;
    int fps = 30;
    bool audio = true;         // mono AAC 48 kHz, a 440 Hz tone
    bool black_first = false;  // the first frame is all black
    std::string codec_args = "-c:v libx264 -preset veryfast -crf 23 -g 30 -pix_fmt yuv420p";
};
bool make_fisheye_clip(const Context& ctx, const FisheyeClip& clip, const std::string& out);

// Little-endian values written into recorder records at byte `at` of `b`
// (which is large enough).
inline void put_le32(std::string& b, std::size_t at, std::int32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xFF);
}
inline void put_le_double(std::string& b, std::size_t at, double v) {
    std::uint64_t u;
    std::memcpy(&u, &v, sizeof u);
    for (int i = 0; i < 8; ++i) b[at + i] = static_cast<char>((u >> (8 * i)) & 0xFF);
}

}  // namespace samplegen

#define KVP_SAMPLE_SET_IMPL(name, description, fn, by_default)           \
    namespace {                                                          \
    const bool kvp_sample_set_##name =                                   \
        ::samplegen::register_set({#name, description, fn, by_default}); \
    }
#define KVP_SAMPLE_SET(name, description, fn) KVP_SAMPLE_SET_IMPL(name, description, fn, true)
// A set that is only made when named (large benchmark media).
#define KVP_SAMPLE_SET_ON_REQUEST(name, description, fn) \
    KVP_SAMPLE_SET_IMPL(name, description, fn, false)
