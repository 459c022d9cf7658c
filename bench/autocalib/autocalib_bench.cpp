// Speed of the lens circle detection on the recorder's full picture size
// (1920 x 1920), and of the whole calibration run for comparison.
//
//     ninja -C build samples autocalib_bench && build/bin/autocalib_bench
//
// The picture is the first frame of the generated lens_full.mp4 (the `lens`
// sample set); the median of the repetitions is the figure to quote.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <benchmark/benchmark.h>
#include <opencv2/imgcodecs.hpp>
#include <unistd.h>

#include "autocalib/autocalib.h"

namespace {

const char* const kClip = KVP_SAMPLES_DIR "/lens_full.mp4";

// A scratch folder for the work picture and the calibration file.
std::string scratch_dir() {
    static const std::string dir = [] {
        std::string templ = "/tmp/kvp-autocalib-bench-XXXXXX";
        return ::mkdtemp(templ.data()) != nullptr ? templ : std::string("/tmp");
    }();
    return dir;
}

const cv::Mat& full_picture() {
    static const cv::Mat picture = [] {
        const std::string jpeg = scratch_dir() + "/first.jpg";
        if (autocalib::extract_first_frame(kClip, jpeg.c_str()) != autocalib::kOk) return cv::Mat();
        return cv::imread(jpeg, cv::IMREAD_COLOR);
    }();
    return picture;
}

void BM_DetectImageCircle1920(benchmark::State& state) {
    const cv::Mat& picture = full_picture();
    if (picture.cols != 1920 || picture.rows != 1920) {
        state.SkipWithError("lens_full.mp4 missing: build the `samples` target first");
        return;
    }
    for (auto _ : state) {
        const autocalib::CircleDetection d = autocalib::detect_image_circle(picture);
        if (!d.found) state.SkipWithError("no circle found");
        benchmark::DoNotOptimize(d);
    }
}
BENCHMARK(BM_DetectImageCircle1920)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

void BM_MakeCalibration1920(benchmark::State& state) {
    ::setenv("KVP_PROGRAM_DIR", scratch_dir().c_str(), 1);
    const std::string out = scratch_dir() + "/lens.inf";
    for (auto _ : state) {
        if (autocalib::make_calibration_from_video(kClip, out.c_str()) != autocalib::kOk) {
            state.SkipWithError("calibration failed (samples built?)");
        }
    }
}
BENCHMARK(BM_MakeCalibration1920)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
