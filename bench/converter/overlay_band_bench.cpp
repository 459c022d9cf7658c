// What the telemetry band costs the converter per picture, at the three
// output sizes (the argument is the height: 384 L, 480 M, 768 H): the
// band's rendering, done once per cue, and its blend, done for every
// picture. Compare the blend with the export's time per picture.
#include <benchmark/benchmark.h>

extern "C" {
#include <libavutil/frame.h>
}

#include "overlay_band.h"

namespace {

const char* const kText = "2024-12-07 15:30:05\n36KM/H\n22°32'24\"N, 114°3'1\"E";

int width_for(int height) {
    return height == 384 ? 640 : height == 480 ? 800 : 1280;
}

void RenderBand(benchmark::State& state) {
    const int h = static_cast<int>(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(converter::render_band(kText, width_for(h), h));
    }
}

void BlendBand(benchmark::State& state) {
    const int h = static_cast<int>(state.range(0));
    const int w = width_for(h);
    const converter::OverlayBand band = converter::render_band(kText, w, h);
    AVFrame* frame = av_frame_alloc();
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = w;
    frame->height = h;
    av_frame_get_buffer(frame, 0);
    for (auto _ : state) {
        converter::blend_band(band, *frame);
        benchmark::ClobberMemory();
    }
    av_frame_free(&frame);
}

}  // namespace

BENCHMARK(RenderBand)->Arg(384)->Arg(480)->Arg(768)->Unit(benchmark::kMicrosecond);
BENCHMARK(BlendBand)->Arg(384)->Arg(480)->Arg(768)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
