#include "sphere_player_impl.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "audio_output.h"
#include "autocalib/prepare_calibration.h"
#include "clock_units.h"
#include "frame_step.h"
#include "geometry/viewport_camera.h"
#include "media_duration.h"
#include "open_media.h"
#include "playback_threads.h"
#include "player_clock.h"
#include "video_decode.h"
#include "video_filter.h"
#include "view_math.h"
#include "worker_sync.h"

namespace sphere_player {
namespace {

// How often a view change handed to the display thread is looked at.
constexpr int kHandOverPollMs = 10;
// How often Play looks at the start-up statuses of its threads.
constexpr int kStartupPollMs = 10;
// Without sound a seek looks this often for the first new picture.
constexpr int kSeekPictureWaitMs = 100;
constexpr std::int64_t kMsPerMinute = 60000;

bool valid_viewport(long long viewport) {
    return viewport >= 0 && viewport < kMaxViewports;
}

std::int64_t to_ms(std::int64_t minutes, std::int64_t seconds, std::int64_t milliseconds) {
    return minutes * kMsPerMinute + seconds * kMsPerSecond + milliseconds;
}

}  // namespace

DOR_SpherePlayerImpl::DOR_SpherePlayerImpl() {
    avformat_network_init();
    ps_.vs = std::make_unique<video_state>();
    reset_video_state(*ps_.vs);
    ps_.playing = 0;
    ps_.filter_active = false;
}

DOR_SpherePlayerImpl::~DOR_SpherePlayerImpl() {
    Stop();  // the caller should have stopped; never leave a thread behind
    {
        std::lock_guard<std::mutex> lock(ps_.vs->view_mutex);
        if (ps_.vs->view.window != nullptr) SDL_DestroyWindow(ps_.vs->view.window);
        ps_.vs->view.window = nullptr;
    }
    reset_video_state(*ps_.vs);
    ps_.vs.reset();
    avformat_network_deinit();
}

int DOR_SpherePlayerImpl::viewport_error(long long viewport) {
    return ps_.errors.fail(
        DOR_PLAYER_FAILED,
        "error: invalid viewport index: %lld: we support at most %d viewports;\n", viewport,
        kMaxViewports);
}

// A change of what the display thread owns is taken by it on its next turn;
// wait (without the view mutex) until it has, or the display has ended.
void DOR_SpherePlayerImpl::wait_for_display(int ViewRecord::*pending) {
    video_state& vs = *ps_.vs;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(vs.view_mutex);
            if (vs.view.*pending == kNoPendingChange) return;
        }
        if (ps_.playing == 0 || !ps_.display_running) return;
        sleep_ms(kHandOverPollMs);
    }
}

int DOR_SpherePlayerImpl::Init(init_param* param) {
    const HostCall call(ps_);
    if (ps_.playing != 0) {
        return ps_.errors.fail(DOR_PLAYER_FAILED,
                               "error: the player is playing video, please stop it first;\n");
    }
    if (param == nullptr || param->media_path == nullptr) {
        return ps_.errors.fail(DOR_PLAYER_FAILED, "error: no media path given to Init;\n");
    }
    try {
        return init_media(param);
    } catch (const std::bad_alloc&) {
        return ps_.errors.fail(DOR_PLAYER_FAILED, "error: out of memory while opening media;\n");
    }
}

int DOR_SpherePlayerImpl::init_media(init_param* param) {
    ps_.opened = false;
    ps_.display_started = false;
    ps_.media_path = param->media_path;
    reset_video_state(*ps_.vs);
    ps_.last_pcr = 0;
    video_state& vs = *ps_.vs;
    vs.param = param;
    {
        // The mounting comes with each file (init_param); one set for the
        // last file does not carry over.
        std::lock_guard<std::mutex> lock(vs.view_mutex);
        vs.view.orientation_request = kNoOrientationRequest;
    }
    ps_.audio_device_available = CheckAudioDevice(ps_.errors);

    const int rc = open_stream(ps_);
    if (rc != DOR_PLAYER_OK) return rc;

    ps_.end_callback_fired = false;
    if (vs.audio_stream_index != kNoStream) {
        if (vs.audio_codec->sample_rate == 0) {
            ps_.audio_device_available = false;
        } else {
            fill_wanted_spec(vs, &ps_);
        }
    }
    ps_.opened = true;
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::SetDrawMode(int mode, unsigned viewport) {
    const HostCall call(ps_);
    if (!valid_viewport(viewport)) return viewport_error(viewport);
    video_state& vs = *ps_.vs;
    const bool playing = ps_.playing != 0;
    {
        std::lock_guard<std::mutex> lock(vs.view_mutex);
        vs.view.draw_mode[viewport] = mode;
        if (playing) vs.view.pending_draw_mode = static_cast<int>(viewport) + 1;
    }
    if (playing) wait_for_display(&ViewRecord::pending_draw_mode);
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::SetWindowRect(int x, int y, int width, int height) {
    const HostCall call(ps_);
    if (ps_.playing != 0) {
        return ps_.errors.fail(DOR_PLAYER_FAILED, "error: can not create window while playing;\n");
    }
    video_state& vs = *ps_.vs;
    std::lock_guard<std::mutex> lock(vs.view_mutex);
    vs.view.use_native_window = 0;
    vs.view.window_x = x;
    vs.view.window_y = y;
    vs.view.window_width = width;
    vs.view.window_height = height;
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::SetNativeWindow(DOR_NativeWindow window) {
    const HostCall call(ps_);
    video_state& vs = *ps_.vs;
    std::lock_guard<std::mutex> lock(vs.view_mutex);
    vs.view.use_native_window = 1;
    vs.view.native_window = window;
    ps_.native_window = window;
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::SetViewport(int x, int y, int width, int height, unsigned viewport) {
    const HostCall call(ps_);
    if (!valid_viewport(viewport)) return viewport_error(viewport);
    video_state& vs = *ps_.vs;
    const bool playing = ps_.playing != 0;
    {
        std::lock_guard<std::mutex> lock(vs.view_mutex);
        vs.view.rect[viewport] = ViewportRect{x < 1 ? 0 : x, y < 1 ? 0 : y, width, height};
        if (playing) {
            vs.view.pending_rect = static_cast<int>(viewport) + 1;
        } else {
            vs.view.enabled[viewport] = 1;
        }
    }
    if (playing) wait_for_display(&ViewRecord::pending_rect);
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::DisableViewport(unsigned viewport) {
    const HostCall call(ps_);
    if (!valid_viewport(viewport)) return viewport_error(viewport);
    std::lock_guard<std::mutex> lock(ps_.vs->view_mutex);
    ps_.vs->view.enabled[viewport] = 0;
    ps_.vs->view.redraw_requested = true;  // shown at once, also while paused
    return DOR_PLAYER_OK;
}

const char* DOR_SpherePlayerImpl::GetLastErrorText() {
    const HostCall call(ps_);
    return ps_.errors.c_str();
}

int DOR_SpherePlayerImpl::GetPlayTime(DOR_VideoTime* time) {
    const HostCall call(ps_);
    if (time != nullptr) *time = DOR_VideoTime{0, 0, 0};
    return DOR_PLAYER_OK;
}

std::int64_t DOR_SpherePlayerImpl::GetCurrentPositionMs() {
    const HostCall call(ps_);
    video_state& vs = *ps_.vs;
    if (vs.video_stream == nullptr) return 0;
    // The clock in picture units, measured from the video stream's start.
    vs.position_ms = position_ms_of(vs, scaled_clock(vs));
    return vs.position_ms;
}

int DOR_SpherePlayerImpl::GetVideoDuration(DOR_VideoTime* duration) {
    const HostCall call(ps_);
    if (duration == nullptr) return DOR_PLAYER_OK;
    const video_state& vs = *ps_.vs;
    if (vs.format && vs.format->iformat != nullptr && is_live_format(vs.format->iformat->name)) {
        *duration = DOR_VideoTime{kLiveStreamMinutes, 0, 0};
    } else {
        *duration =
            DOR_VideoTime{vs.duration_minutes, vs.duration_seconds, vs.duration_milliseconds};
    }
    return DOR_PLAYER_OK;
}

std::int64_t DOR_SpherePlayerImpl::GetVideoDurationms() {
    const HostCall call(ps_);
    return ps_.vs->duration_ms;
}

int DOR_SpherePlayerImpl::Seek(int minutes, int seconds, int milliseconds) {
    const HostCall call(ps_);
    video_state& vs = *ps_.vs;
    const std::int64_t target_ms = to_ms(minutes, seconds, milliseconds);
    const std::int64_t duration_ms =
        to_ms(vs.duration_minutes, vs.duration_seconds, vs.duration_milliseconds);
    if (target_ms >= duration_ms || !ps_.opened) {
        return ps_.errors.fail(DOR_PLAYER_FAILED,
                               "error: invalid seeking time: out of video time duration;\n");
    }
    const std::int64_t start_ms = std::max<std::int64_t>(target_ms, 0);  // before it: the start
    const bool playing = ps_.playing != 0;
    const SDL_AudioDeviceID device = ps_.audio_device;
    bool moved = false;
    {
        // A frame step runs under the view mutex: taking it waits for a
        // running step, and a pending one is dropped, so that the step and
        // the seek never use the demuxer and the decoders at once.
        std::lock_guard<std::mutex> view_lock(vs.view_mutex);
        ps_.step_request = kNoStepRequest;
        set_flag(vs, &video_state::paused, 1);
        if (device != 0) SDL_PauseAudioDevice(device, 1);
        if (playing) wait_for_workers_parked(ps_);
        moved = move_to(start_ms);
        ps_.step_in_progress = false;
    }
    {
        std::lock_guard<std::mutex> lock(vs.state_mutex);
        vs.paused = 0;
        if (moved) vs.read_over = vs.decode_over = 0;
    }
    vs.state_changed.notify_all();
    if (device != 0) {
        SDL_PauseAudioDevice(device, 0);
    } else if (playing && moved) {
        wait_for_first_picture();
        rebase_clock(vs, start_ms);
    }
    if (!moved) {
        return ps_.errors.fail(DOR_PLAYER_FAILED, "error: can not seek in the media file;\n");
    }
    return DOR_PLAYER_OK;
}

// The demuxer to the whole second of the target, every queue and decoder
// emptied, the clock at the target. The workers are parked. False when the
// demuxer cannot seek: then nothing has changed.
bool DOR_SpherePlayerImpl::move_to(std::int64_t target_ms) {
    video_state& vs = *ps_.vs;
    const AVRational tb = vs.video_stream->time_base;
    const std::int64_t start =
        vs.video_stream->start_time == AV_NOPTS_VALUE ? 0 : vs.video_stream->start_time;
    const std::int64_t target_s = target_ms / kMsPerSecond;  // toward zero
    const std::int64_t seek_ts = tb.num > 0 ? target_s * tb.den / tb.num + start : start;
    if (vs.seek_frame(vs.format.get(), vs.video_stream_index, seek_ts, AVSEEK_FLAG_BACKWARD) < 0) {
        return false;
    }
    rebase_clock(vs, target_ms);
    reset_decoder(vs);
    vs.video_packets.flush();
    reset_read_position(vs);
    {
        std::lock_guard<std::mutex> lock(vs.pictures.mutex);
        vs.pictures.reset_locked();
    }
    vs.pts.flush();
    flush_sound(ps_);
    return true;
}

// Without sound the clock waits for the first picture after a seek.
void DOR_SpherePlayerImpl::wait_for_first_picture() {
    video_state& vs = *ps_.vs;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(vs.pts.mutex);
            if (vs.pts.count_locked() > 0) return;
        }
        if (ps_.playing == 0 || wait_or_abort(vs, kSeekPictureWaitMs)) return;
    }
}

// Everything a new playback starts from: empty queues, clear flags, no
// filter, the clock at the start.
void DOR_SpherePlayerImpl::reset_for_play(FrameCallback on_frame, void* frame_context,
                                          EndCallback on_end, void* context,
                                          ErrorCallback on_error) {
    video_state& vs = *ps_.vs;
    ps_.on_frame = on_frame;
    ps_.frame_context = frame_context;
    ps_.on_end = on_end;
    ps_.context = context;
    ps_.on_error = on_error;
    {
        std::lock_guard<std::mutex> lock(vs.pictures.mutex);
        vs.pictures.reset_locked();
    }
    vs.pts.flush();
    {
        std::lock_guard<std::mutex> lock(vs.state_mutex);
        vs.abort_request = vs.paused = vs.read_over = vs.decode_over = 0;
        vs.read_parked = vs.decode_parked = 0;
    }
    {
        std::lock_guard<std::mutex> lock(vs.view_mutex);
        vs.view.pending_draw_mode = vs.view.pending_rect = kNoPendingChange;
        ps_.step_request = kNoStepRequest;
        ps_.step_in_progress = false;
    }
    ps_.audio_chunk_remaining = 0;
    ps_.audio_chunk_read = nullptr;
    vs.audio_packets.flush();
    vs.video_packets.flush();
    reset_decoder(vs);
    reset_read_position(vs);
    vs.clock_origin_ms = video_start_ms(vs);
    {
        std::lock_guard<std::mutex> lock(vs.clock_mutex);
        vs.clock_value = 0;
    }
    ps_.stop_requested = false;
    ps_.display_failed = false;
    ps_.display_failure_code = DOR_PLAYER_OK;
    ps_.display_started = false;
    ps_.stats = PlaybackStats{};
    ps_.audio_enabled = vs.audio_stream_index != kNoStream;
    {
        std::lock_guard<std::mutex> lock(ps_.status_mutex);
        ps_.display_status = ps_.decode_status = ps_.read_status = StartupStatus::starting;
    }
    std::lock_guard<std::mutex> lock(ps_.filter_mutex);
    release_filter_locked(ps_);
}

void DOR_SpherePlayerImpl::start_threads() {
    ps_.clock_running = ps_.read_running = ps_.decode_running = ps_.display_running = true;
    ps_.clock_thread = std::thread(clock_thread_main, std::ref(ps_));
    ps_.read_thread = std::thread(read_thread_main, std::ref(ps_));
    ps_.decode_thread = std::thread(decode_thread_main, std::ref(ps_));
    ps_.display_thread = std::thread(display_thread_main, std::ref(ps_));
}

// Waits until the three workers run; false when one of them failed.
bool DOR_SpherePlayerImpl::wait_for_startup() {
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(ps_.status_mutex);
            const StartupStatus all[] = {ps_.display_status, ps_.decode_status, ps_.read_status};
            if (std::find(std::begin(all), std::end(all), StartupStatus::failed) != std::end(all)) {
                return false;
            }
            if (std::all_of(std::begin(all), std::end(all),
                            [](StartupStatus st) { return st == StartupStatus::running; })) {
                return true;
            }
        }
        sleep_ms(kStartupPollMs);
    }
}

int DOR_SpherePlayerImpl::Play(FrameCallback on_frame, void* frame_context, EndCallback on_end,
                               void* context, ErrorCallback on_error) {
    StartupFailure failure;
    int rc = DOR_PLAYER_OK;
    {
        const HostCall call(ps_);
        rc = start_playback(on_frame, frame_context, on_end, context, on_error, &failure);
    }
    // A display that failed to start is reported from here, as Play's last
    // use of the player: the host may stop and destroy it in the callback.
    if (failure.on_error != nullptr) failure.on_error(failure.context, failure.code);
    return rc;
}

int DOR_SpherePlayerImpl::start_playback(FrameCallback on_frame, void* frame_context,
                                         EndCallback on_end, void* context, ErrorCallback on_error,
                                         StartupFailure* failure) {
    if (ps_.playing != 0) return DOR_PLAYER_OK;
    // Only a file Init opened completely: one it gave up on half-way lacks
    // its picture buffers, scaler or sound set-up.
    if (!ps_.opened) {
        return ps_.errors.fail(DOR_PLAYER_FAILED, "error: no media opened, call Init first;\n");
    }
    Stop();  // threads of a playback that ended on its own are joined here
    reset_for_play(on_frame, frame_context, on_end, context, on_error);
    start_threads();
    if (!wait_for_startup()) {
        // The others are ended and joined; the error text holds the failing
        // thread's reason.
        Stop();
        if (ps_.display_failed) *failure = {ps_.on_error, ps_.context, ps_.display_failure_code};
        return DOR_PLAYER_FAILED;
    }
    std::lock_guard<std::mutex> lock(ps_.vs->state_mutex);
    // Playback that already ended on its own (a zero-length file) is not
    // playing any more.
    ps_.playing = ps_.read_running || ps_.decode_running || ps_.display_running ? 1 : 0;
    return DOR_PLAYER_OK;
}

float DOR_SpherePlayerImpl::GetZoom(int viewport) {
    const HostCall call(ps_);
    if (!valid_viewport(viewport)) return 0.0f;
    std::lock_guard<std::mutex> lock(ps_.vs->view_mutex);
    return ps_.vs->view.zoom[viewport];
}

// The view record mirrors what the renderer manager holds: the display
// thread writes back every change it makes (mouse drags, draw modes).
int DOR_SpherePlayerImpl::GetViewAngles(int viewport, float* pitch, float* yaw, float* roll) {
    const HostCall call(ps_);
    if (!valid_viewport(viewport)) return viewport_error(viewport);
    std::lock_guard<std::mutex> lock(ps_.vs->view_mutex);
    const auto& angles = ps_.vs->view.angles_deg[viewport];
    if (pitch != nullptr) *pitch = angles[0];
    if (yaw != nullptr) *yaw = angles[1];
    if (roll != nullptr) *roll = angles[2];
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::SetViewAngleLimits(float min1, float max1, float min2, float max2,
                                             float min3, float max3, int viewport) {
    const HostCall call(ps_);
    if (!valid_viewport(viewport)) return viewport_error(viewport);
    std::lock_guard<std::mutex> lock(ps_.vs->view_mutex);
    ps_.vs->view.angle_min_deg[viewport] = {min1, min2, min3};
    ps_.vs->view.angle_max_deg[viewport] = {max1, max2, max3};
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::SetViewAngles(float pitch, float yaw, float roll, unsigned viewport) {
    const HostCall call(ps_);
    if (!valid_viewport(viewport)) {
        std::printf("error: invalid viewport index %d;\n", static_cast<int>(viewport));
        return DOR_PLAYER_OK;
    }
    std::lock_guard<std::mutex> lock(ps_.vs->view_mutex);
    ps_.vs->view.angles_deg[viewport] = {normalise_angle_deg(pitch), normalise_angle_deg(yaw),
                                         normalise_angle_deg(roll)};
    ps_.vs->view.pending_angles |= 1u << viewport;  // the display hands them on
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::SetZoom(float zoom, unsigned viewport) {
    const HostCall call(ps_);
    if (!valid_viewport(viewport)) {
        std::printf("error: invalid viewport index %d;\n", static_cast<int>(viewport));
        return DOR_PLAYER_OK;
    }
    std::lock_guard<std::mutex> lock(ps_.vs->view_mutex);
    // While playing the renderer manager applies it within these bounds.
    ps_.vs->view.zoom[viewport] =
        ps_.playing != 0 ? std::clamp(zoom, geometry::kZoomMin, geometry::kPlayerZoomMax) : zoom;
    ps_.vs->view.pending_zoom |= 1u << viewport;
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::SetVolume(int volume) {
    const HostCall call(ps_);
    ps_.volume = std::clamp(volume, 0, kMaxVolume);
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::IsPlaying() {
    const HostCall call(ps_);
    return ps_.playing;
}

// Ends playback from any state: the workers see abort (and no pause) at
// their next turn or wait, and each is joined. From a callback (a worker's
// own thread) the other workers are joined and the calling one ends by
// itself; when the controlling thread is stopping at that moment, the
// callback's Stop only asks for the end.
int DOR_SpherePlayerImpl::Stop() {
    video_state& vs = *ps_.vs;
    std::unique_lock<std::mutex> stopping(ps_.stop_mutex, std::defer_lock);
    if (on_worker_thread(ps_)) {
        if (!stopping.try_lock()) {
            request_abort(vs, true);
            return DOR_PLAYER_OK;
        }
    } else {
        stopping.lock();
    }
    ps_.stop_requested = true;
    request_abort(vs, true);
    for (std::thread* t :
         {&ps_.clock_thread, &ps_.read_thread, &ps_.decode_thread, &ps_.display_thread}) {
        if (!t->joinable()) continue;
        if (t->get_id() == std::this_thread::get_id()) {
            t->detach();  // Stop called from a callback on this very thread: it ends by itself
        } else {
            t->join();
        }
    }
    {
        std::lock_guard<std::mutex> lock(vs.view_mutex);
        if (vs.view.window != nullptr) SDL_DestroyWindow(vs.view.window);
        vs.view.window = nullptr;
    }
    ps_.playing = 0;
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::Pause() {
    const HostCall call(ps_);
    if (ps_.playing == 0) return DOR_PLAYER_OK;
    video_state& vs = *ps_.vs;
    set_flag(vs, &video_state::paused, 1);
    const SDL_AudioDeviceID device = ps_.audio_device;
    if (device != 0) SDL_PauseAudioDevice(device, 1);
    // The history is what the ring holds once nothing changes it any more:
    // the decoder parked and the display taking no more pictures.
    wait_for_workers_parked(ps_);
    std::lock_guard<std::mutex> lock(vs.view_mutex);
    prepare_stepping_locked(ps_);
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::Resume() {
    const HostCall call(ps_);
    if (ps_.playing == 0) return DOR_PLAYER_OK;
    {
        std::lock_guard<std::mutex> lock(ps_.vs->view_mutex);
        resume_stepping_locked(ps_);
    }
    set_flag(*ps_.vs, &video_state::paused, 0);
    const SDL_AudioDeviceID device = ps_.audio_device;
    if (device != 0) SDL_PauseAudioDevice(device, 0);
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::PrepareCalibration(const char* media_path, const char* dest_path) {
    const HostCall call(ps_);
    std::string error_text;
    if (autocalib::prepare_calibration(media_path, dest_path, &error_text) ==
        autocalib::kPrepareOk) {
        return DOR_PLAYER_OK;
    }
    return ps_.errors.fail(DOR_PLAYER_FAILED, "%s", error_text.c_str());
}

int DOR_SpherePlayerImpl::GetVideoSize(int* width, int* height) {
    const HostCall call(ps_);
    int w = 0, h = 0;
    const video_state& vs = *ps_.vs;
    if (vs.video_codec) {
        w = vs.video_codec->width;
        h = vs.video_codec->height;
    } else if (probe_video_size(ps_.media_path, ps_.errors, w, h) != DOR_PLAYER_OK) {
        return DOR_PLAYER_FAILED;
    }
    if (width != nullptr) *width = w;
    if (height != nullptr) *height = h;
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::SetOrientation(int orientation) {
    const HostCall call(ps_);
    const int value =
        orientation == kDisplayOrientationCount ? kDisplayOrientationCount - 1 : orientation;
    std::lock_guard<std::mutex> lock(ps_.vs->view_mutex);
    ps_.vs->view.orientation_request = value;  // the display thread hands it on
    return DOR_PLAYER_OK;
}

// Only while paused. A step back first rebuilds the history on this thread
// when no step has been made since the pause.
int DOR_SpherePlayerImpl::StepFrame(bool forward) {
    const HostCall call(ps_);
    video_state& vs = *ps_.vs;
    if (ps_.playing == 0 || read_flags(vs).paused == 0) return DOR_PLAYER_OK;
    std::lock_guard<std::mutex> lock(vs.view_mutex);
    if (!forward) refill_history_locked(ps_, false);
    ps_.step_request = forward ? 1 : 0;
    return DOR_PLAYER_OK;
}

// An empty description removes the filter; one FFmpeg cannot build leaves
// the video unfiltered. The description is kept (cut to 127 characters)
// but the graph is built from the whole text.
int DOR_SpherePlayerImpl::SetVideoFilter(const char* description) {
    const HostCall call(ps_);
    const char* text = description != nullptr ? description : "";
    std::lock_guard<std::mutex> lock(ps_.filter_mutex);
    release_filter_locked(ps_);
    std::snprintf(ps_.filter_description, sizeof ps_.filter_description, "%s", text);
    if (*text != '\0') init_filters(ps_, text);
    return DOR_PLAYER_OK;
}

}  // namespace sphere_player
