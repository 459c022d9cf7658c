// The converter object behind DOR_SphereVideoConverter.
//
// Threads: the caller's thread runs every interface operation; one worker
// thread per conversion (StartDewarpingAsyncImpl) owns the OpenGL context
// and runs the pipeline with its decode and encode threads. The caller only
// polls the flags and counters below.
//
// Locks: state_mutex_ guards the start status and the wake-ups of
// StartDewarpingAsync and Stop; progress_mutex_ guards the progress record;
// the error text and each bundle's write lock are their own. No two of them
// are ever held together.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "SphereVideoConverter.h"
#include "converter_log.h"
#include "media_context.h"
#include "overlay_band.h"
#include "premux.h"

namespace converter {

class ogl_rendererMgr;

class DOR_SphereVideoConverterImpl final : public DOR_SphereVideoConverter {
public:
    DOR_SphereVideoConverterImpl() = default;
    ~DOR_SphereVideoConverterImpl() override;
    DOR_SphereVideoConverterImpl(const DOR_SphereVideoConverterImpl&) = delete;
    DOR_SphereVideoConverterImpl& operator=(const DOR_SphereVideoConverterImpl&) = delete;

    int32_t Init(ConverterInitParam* param) override;
    int32_t StartDewarpingAsync(VideoTime start, VideoTime end) override;
    int32_t Stop() override;
    ConvertProgress GetProgress() override;
    VideoTime GetVideoDuration() override;
    int32_t IsRendering() override;
    const char* GetLastErrorText() override;
    int32_t GetConversionResult() override;
    int32_t SetOverlay(const ConverterOverlayCue* cues, int32_t count) override;

private:
    int open_bundles();
    void close_bundles();
    int check_span(int64_t s, int64_t e);
    void seek_input(int64_t start_seconds);
    void reset_progress();
    int start_worker();
    void join_worker();
    void set_start_status(int32_t status);

    // The worker thread.
    void StartDewarpingAsyncImpl();
    int run_conversion(ogl_rendererMgr& renderer, bool& started);
    void finish(ogl_rendererMgr& renderer, int pipeline_result);

    // --- the caller's (fixed while a conversion runs)
    ConverterInitParam* param_ = nullptr;  // owned by the caller
    RemuxedCopy remux_copy_;               // "temp.mp4" of a TS input, removed with us
    VideoTime duration_{-1, -1, -1};
    int64_t total_frames_ = 0;
    std::thread worker_;
    std::vector<OverlayCueCopy> overlay_cues_;  // sorted by start

    // --- opened by Init, handed to the worker's threads while converting
    InputMedia input_;
    OutputMedia output_;

    // --- shared with the worker
    ErrorText error_;
    std::atomic<int32_t> stop_{0};
    std::atomic<int32_t> is_rendering_{0};
    std::atomic<int32_t> converting_{0};
    std::atomic<int64_t> frames_encoded_{0};
    std::atomic<int64_t> frm_number_to_render_{0};
    std::atomic<int64_t> start_clock_ms_{0};
    // How the last conversion ended: 0 file complete, 21 failed, -1 none yet
    // or running; written by the worker before is_rendering_ drops.
    std::atomic<int32_t> conversion_result_{-1};
    int64_t first_audio_pts_ = -1;  // the worker's while converting

    // --- guarded by state_mutex_
    std::mutex state_mutex_;
    std::condition_variable state_changed_;
    int32_t start_status_ = 0;  // 0 pending, 1 started, -1 failed

    // --- guarded by progress_mutex_
    std::mutex progress_mutex_;
    ConvertProgress progress_{};
};

}  // namespace converter
