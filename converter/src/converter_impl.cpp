#include "converter_impl.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <limits>

#include "ogl_rendererMgr.h"
#include "pipeline.h"
#include "platform/paths.h"

namespace converter {
namespace {

constexpr int kBitrateShift = 10;  // units of 1024 bit/s -> bit/s
constexpr int64_t kSecondsPerMinute = 60;

int64_t clock_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t whole_seconds(VideoTime t) {
    return int64_t{t.minutes} * kSecondsPerMinute + int64_t{t.seconds};
}

// A float to int32 as a truncating cast would, held at the limits.
int32_t truncate_to_int32(float v) {
    if (!(v > static_cast<float>(std::numeric_limits<int32_t>::min()))) {
        return v != v ? 0 : std::numeric_limits<int32_t>::min();
    }
    if (v >= static_cast<float>(std::numeric_limits<int32_t>::max())) {
        return std::numeric_limits<int32_t>::max();
    }
    return static_cast<int32_t>(v);
}

}  // namespace

DOR_SphereVideoConverterImpl::~DOR_SphereVideoConverterImpl() {
    Stop();
    close_bundles();
}

// --- Init

int DOR_SphereVideoConverterImpl::open_bundles() {
    int rc = open_input(input_, param_->src_url, error_);
    if (rc != DOR_CONVERTER_OK) return rc;
    duration_ = {static_cast<int32_t>(input_.total_seconds / kSecondsPerMinute),
                 static_cast<int32_t>(input_.total_seconds % kSecondsPerMinute), 0};
    total_frames_ = input_.total_frames;
    if (input_.width() <= 0 || input_.height() <= 0) {
        return error_.fail(DOR_CONVERTER_ERROR_FAILURE, "error: invalid video size %dx%d;\n",
                           input_.width(), input_.height());
    }
    // A flat (already dewarped) video needs no conversion and gets no output
    // file: the caller delivers the remuxed copy instead.
    if (input_.width() != input_.height()) return DOR_CONVERTER_OK;
    // Creating the output would empty the recording before a frame is read.
    if (param_->dst_url != nullptr && platform::same_file(param_->dst_url, param_->src_url)) {
        return error_.fail(DOR_CONVERTER_ERROR_FAILURE,
                           "error: output file %s is the input file;\n", param_->dst_url);
    }
    return open_output(output_, input_, *param_, error_);
}

void DOR_SphereVideoConverterImpl::close_bundles() {
    close_output(output_);
    close_input(input_);
}

int32_t DOR_SphereVideoConverterImpl::Init(ConverterInitParam* param) {
    if (is_rendering_.load()) {
        return error_.fail(DOR_CONVERTER_ERROR_FAILURE,
                           "error: converter is working, please stop first;\n");
    }
    if (param == nullptr) {
        return error_.fail(DOR_CONVERTER_ERROR_FAILURE, "error: null parameter record;\n");
    }
    join_worker();
    if (premux_ts(*param, remux_copy_, error_) == kPremuxFailed) {
        // Nothing of an earlier Init may stay ready for a start.
        close_bundles();
        return DOR_CONVERTER_ERROR_FAILURE;
    }
    param_ = param;
    log_line(
        "dst_width %d \n dist_height %d\n bitrate %d\n calib_filename %s\n orientation %d \n "
        "zoom %.2f\n",
        param->dst_width, param->dst_height, param->bitrate,
        param->calib_filename != nullptr ? param->calib_filename : "(null)", param->orientation,
        static_cast<double>(param->zoom[0]));
    param->bitrate = static_cast<int32_t>(static_cast<uint32_t>(param->bitrate) << kBitrateShift);
    close_bundles();
    const int rc = open_bundles();
    if (rc != DOR_CONVERTER_OK || !output_.is_open()) close_bundles();
    return rc;
}

// --- StartDewarpingAsync

int DOR_SphereVideoConverterImpl::check_span(int64_t s, int64_t e) {
    const int64_t d = whole_seconds(duration_);
    if (s > d || s < 0) {
        return error_.fail(DOR_CONVERTER_ERROR_FAILURE,
                           "error: invalid seeking time: out of video time duration;\n");
    }
    if (s >= e || e > d) {
        return error_.fail(DOR_CONVERTER_ERROR_FAILURE, "error: invalid converting video span;\n");
    }
    return DOR_CONVERTER_OK;
}

// Backward to the key frame at or before the start; both decoders forget
// what they held.
void DOR_SphereVideoConverterImpl::seek_input(int64_t start_seconds) {
    const AVRational tb = input_.video_stream->time_base;
    const auto ts = static_cast<int64_t>(static_cast<double>(start_seconds) / av_q2d(tb));
    av_seek_frame(input_.container.get(), input_.video_index, ts, AVSEEK_FLAG_BACKWARD);
    avcodec_flush_buffers(input_.video_codec.get());
    if (input_.audio_codec) avcodec_flush_buffers(input_.audio_codec.get());
}

void DOR_SphereVideoConverterImpl::reset_progress() {
    std::lock_guard<std::mutex> lock(progress_mutex_);
    progress_.speed = 0.0f;
    progress_.percent = 0.0f;
    progress_.remaining_minutes = 0;
    progress_.remaining_seconds = 0;
    progress_.reserved = 0;
}

void DOR_SphereVideoConverterImpl::set_start_status(int32_t status) {
    std::lock_guard<std::mutex> lock(state_mutex_);
    start_status_ = status;
    state_changed_.notify_all();
}

int DOR_SphereVideoConverterImpl::start_worker() {
    reset_progress();
    converting_ = 1;
    stop_ = 0;
    conversion_result_ = -1;
    is_rendering_ = 1;
    set_start_status(0);
    try {
        worker_ = std::thread([this] { StartDewarpingAsyncImpl(); });
    } catch (const std::exception&) {
        converting_ = 0;
        conversion_result_ = DOR_CONVERTER_ERROR_FAILURE;
        is_rendering_ = 0;
        return error_.fail(DOR_CONVERTER_ERROR_FAILURE, "error: can not start the converter;\n");
    }
    std::unique_lock<std::mutex> lock(state_mutex_);
    state_changed_.wait(lock, [this] { return start_status_ != 0; });
    return start_status_ == 1 ? DOR_CONVERTER_OK : DOR_CONVERTER_ERROR_FAILURE;
}

int32_t DOR_SphereVideoConverterImpl::StartDewarpingAsync(VideoTime start, VideoTime end) {
    log_line("is_rendering = %d", is_rendering_.load());
    if (is_rendering_.load()) {
        return error_.fail(DOR_CONVERTER_ERROR_FAILURE,
                           "error: converter is working, please stop first;\n");
    }
    if (!input_.is_open() || !output_.is_open()) {
        return error_.fail(DOR_CONVERTER_ERROR_FAILURE,
                           "error: nothing to convert, Init did not prepare a fisheye input;\n");
    }
    join_worker();
    first_audio_pts_ = -1;
    const int64_t s = whole_seconds(start);
    const int64_t e = whole_seconds(end);
    if (const int rc = check_span(s, e)) return rc;
    const int64_t span_frames = truncate_to_int32(input_.frame_rate * static_cast<float>(e - s));
    frm_number_to_render_ = std::min(span_frames, total_frames_);
    log_line("frm_number_to_render %lld", static_cast<long long>(frm_number_to_render_.load()));
    seek_input(s);
    return start_worker();
}

// --- the worker

int DOR_SphereVideoConverterImpl::run_conversion(ogl_rendererMgr& renderer, bool& started) {
    const int w = input_.width();
    const int h = input_.height();
    // KVP_DEWARP=gl or cpu overrides the choice made from the GL renderer.
    const DewarpPath path = parse_dewarp_path(std::getenv("KVP_DEWARP"));
    const int rc = renderer.init(*param_, w, h, input_.video_codec->pix_fmt, error_, path);
    if (rc != DOR_CONVERTER_OK) return rc;
    log_line("StartDewarpingAsyncImpl %d, %d", w, h);
    log_line("dewarp on the %s", renderer.on_cpu() ? "processor" : "GL");
    frames_encoded_ = 0;
    start_clock_ms_ = clock_ms();
    started = true;
    set_start_status(1);
    Pipeline p{input_, output_, renderer, error_, stop_, frames_encoded_};
    OverlayDrawer overlay(overlay_cues_, input_.frame_rate_q, output_.video_codec->width,
                          output_.video_codec->height);
    if (!overlay_cues_.empty()) p.overlay = &overlay;
    p.frames_to_render = frm_number_to_render_.load();
    p.first_audio_pts = first_audio_pts_;
    const int result = run_pipeline(p);
    first_audio_pts_ = p.first_audio_pts;
    return result;
}

// Every end of the worker comes here: the file is finished (unless the
// start, an upload or a render failed), everything is released, the outcome
// is recorded, and only then does the converter read as idle. Packets the
// pipeline had to skip leave their text but do not make the outcome a
// failure; a file without a single picture does, unless a stop came first.
void DOR_SphereVideoConverterImpl::finish(ogl_rendererMgr& renderer, int pipeline_result) {
    int result = pipeline_result;
    if (result == DOR_CONVERTER_OK) {
        if (frames_encoded_.load() == 0 && !stop_.load()) {
            result = error_.fail(DOR_CONVERTER_ERROR_FAILURE,
                                 "error: no video frame could be converted;\n");
        }
        if (av_write_trailer(output_.container.get()) < 0) {
            result = error_.fail(DOR_CONVERTER_ERROR_FAILURE, "error: fail to write trailers;\n");
        }
    }
    renderer.release();
    reset_progress();
    close_bundles();
    converting_ = 0;
    stop_ = 0;
    conversion_result_ = result;
    std::lock_guard<std::mutex> lock(state_mutex_);
    is_rendering_ = 0;
    state_changed_.notify_all();
}

void DOR_SphereVideoConverterImpl::StartDewarpingAsyncImpl() {
    ogl_rendererMgr renderer;
    bool started = false;
    int rc = DOR_CONVERTER_ERROR_FAILURE;
    try {
        rc = run_conversion(renderer, started);
    } catch (const std::exception& e) {
        error_.set("error: %s;\n", e.what());
    }
    finish(renderer, started ? rc : DOR_CONVERTER_ERROR_FAILURE);
    if (!started) set_start_status(-1);
}

void DOR_SphereVideoConverterImpl::join_worker() {
    if (worker_.joinable()) worker_.join();
}

// --- polling

int32_t DOR_SphereVideoConverterImpl::Stop() {
    if (is_rendering_.load()) {
        stop_ = 1;
        std::unique_lock<std::mutex> lock(state_mutex_);
        state_changed_.wait(lock, [this] { return is_rendering_.load() == 0; });
    }
    join_worker();
    return 0;
}

ConvertProgress DOR_SphereVideoConverterImpl::GetProgress() {
    const float elapsed = static_cast<float>(clock_ms() - start_clock_ms_.load()) / 1000.0f;
    const int64_t encoded = frames_encoded_.load();
    const int64_t to_render = frm_number_to_render_.load();
    std::lock_guard<std::mutex> lock(progress_mutex_);
    if (encoded > 0 && to_render > 0 && elapsed > 0.0f) {
        const float ratio = static_cast<float>(encoded) / static_cast<float>(to_render);
        progress_.speed = static_cast<float>(encoded) / elapsed;
        const int32_t remaining = truncate_to_int32(elapsed / ratio - elapsed);
        progress_.remaining_minutes = remaining / 60;
        progress_.remaining_seconds = remaining % 60;
        progress_.percent = ratio * 100.0f;
    } else {
        // Nothing encoded yet: no speed and no estimate.
        progress_.speed = 0.0f;
        progress_.percent = 0.0f;
        progress_.remaining_minutes = 0;
        progress_.remaining_seconds = 0;
    }
    progress_.reserved = 0;
    progress_.converting = converting_.load();
    return progress_;
}

VideoTime DOR_SphereVideoConverterImpl::GetVideoDuration() {
    return duration_;
}

int32_t DOR_SphereVideoConverterImpl::IsRendering() {
    return is_rendering_.load();
}

const char* DOR_SphereVideoConverterImpl::GetLastErrorText() {
    return error_.c_str();
}

int32_t DOR_SphereVideoConverterImpl::GetConversionResult() {
    return conversion_result_.load();
}

int32_t DOR_SphereVideoConverterImpl::SetOverlay(const ConverterOverlayCue* cues, int32_t count) {
    if (is_rendering_.load()) {
        return error_.fail(DOR_CONVERTER_ERROR_FAILURE,
                           "error: converter is working, please stop first;\n");
    }
    if (count < 0 || (count > 0 && cues == nullptr)) {
        return error_.fail(DOR_CONVERTER_ERROR_FAILURE, "error: invalid overlay cues;\n");
    }
    std::vector<OverlayCueCopy> copies;
    copies.reserve(static_cast<std::size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        const ConverterOverlayCue& c = cues[i];
        if (c.text == nullptr || c.end_ms < c.start_ms) {
            return error_.fail(DOR_CONVERTER_ERROR_FAILURE, "error: invalid overlay cue %d;\n", i);
        }
        copies.push_back({c.start_ms, c.end_ms, c.text});
    }
    std::stable_sort(
        copies.begin(), copies.end(),
        [](const OverlayCueCopy& a, const OverlayCueCopy& b) { return a.start_ms < b.start_ms; });
    overlay_cues_ = std::move(copies);
    return DOR_CONVERTER_OK;
}

}  // namespace converter
