#include "sphere_player_impl.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>

#include "audio_output.h"
#include "autocalib/prepare_calibration.h"
#include "clock_units.h"
#include "frame_step.h"
#include "geometry/viewport_camera.h"
#include "media_duration.h"
#include "open_media.h"
#include "playback_end.h"
#include "playback_threads.h"
#include "player_clock.h"
#include "video_decode.h"
#include "view_math.h"
#include "worker_sync.h"

namespace sphere_player {
namespace {

// A view change handed to the display thread is taken on its next turn;
// after this long the caller looks again whether the display still runs.
constexpr int kHandOverWaitMs = 100;
// Without sound a seek waits this long at most for the first new picture.
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
}

DOR_SpherePlayerImpl::~DOR_SpherePlayerImpl() {
    Stop();  // the caller should have stopped; never leave a thread behind
    ps_.filter.release();
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
    vs.view.wait_taken(pending, kHandOverWaitMs,
                       [&] { return ps_.playing == 0 || !vs.flags.running(Worker::display); });
}

int DOR_SpherePlayerImpl::Init(init_param* param) {
    const HostCall call(ps_.vs->flags);
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
    video_state& vs = *ps_.vs;
    vs.flags.clear_display_started();
    ps_.media_path = param->media_path;
    ps_.filter.release();
    reset_video_state(vs);
    ps_.last_pcr = 0;
    vs.param = param;
    {
        // The mounting comes with each file (init_param); one set for the
        // last file does not carry over.
        platform::MutexLock lock(vs.view.mutex);
        vs.view.record.orientation_request = kNoOrientationRequest;
    }
    ps_.audio_device_available = CheckAudioDevice(ps_.errors);

    const int rc = open_stream(ps_);
    if (rc != DOR_PLAYER_OK) return rc;
    vs.clock.reset(vs.clock_scale, video_start_ms(vs));

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
    const HostCall call(ps_.vs->flags);
    if (!valid_viewport(viewport)) return viewport_error(viewport);
    ViewState& view = ps_.vs->view;
    const bool playing = ps_.playing != 0;
    {
        platform::MutexLock lock(view.mutex);
        view.record.draw_mode[viewport] = mode;
        if (playing) view.record.pending_draw_mode = static_cast<int>(viewport) + 1;
    }
    if (playing) wait_for_display(&ViewRecord::pending_draw_mode);
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::SetWindowRect(int x, int y, int width, int height) {
    const HostCall call(ps_.vs->flags);
    if (ps_.playing != 0) {
        return ps_.errors.fail(DOR_PLAYER_FAILED, "error: can not create window while playing;\n");
    }
    ViewState& view = ps_.vs->view;
    platform::MutexLock lock(view.mutex);
    view.record.use_native_window = 0;
    view.record.window_x = x;
    view.record.window_y = y;
    view.record.window_width = width;
    view.record.window_height = height;
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::SetNativeWindow(DOR_NativeWindow window) {
    const HostCall call(ps_.vs->flags);
    ViewState& view = ps_.vs->view;
    platform::MutexLock lock(view.mutex);
    view.record.use_native_window = 1;
    view.record.native_window = window;
    ps_.native_window = window;
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::SetViewport(int x, int y, int width, int height, unsigned viewport) {
    const HostCall call(ps_.vs->flags);
    if (!valid_viewport(viewport)) return viewport_error(viewport);
    ViewState& view = ps_.vs->view;
    const bool playing = ps_.playing != 0;
    {
        platform::MutexLock lock(view.mutex);
        view.record.rect[viewport] = ViewportRect{x < 1 ? 0 : x, y < 1 ? 0 : y, width, height};
        if (playing) {
            view.record.pending_rect = static_cast<int>(viewport) + 1;
        } else {
            view.record.enabled[viewport] = 1;
        }
    }
    if (playing) wait_for_display(&ViewRecord::pending_rect);
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::DisableViewport(unsigned viewport) {
    const HostCall call(ps_.vs->flags);
    if (!valid_viewport(viewport)) return viewport_error(viewport);
    ViewState& view = ps_.vs->view;
    platform::MutexLock lock(view.mutex);
    view.record.enabled[viewport] = 0;
    view.record.redraw_requested = true;  // shown at once, also while paused
    return DOR_PLAYER_OK;
}

const char* DOR_SpherePlayerImpl::GetLastErrorText() {
    const HostCall call(ps_.vs->flags);
    return ps_.errors.c_str();
}

int DOR_SpherePlayerImpl::GetPlayTime(DOR_VideoTime* time) {
    const HostCall call(ps_.vs->flags);
    if (time != nullptr) *time = DOR_VideoTime{0, 0, 0};
    return DOR_PLAYER_OK;
}

std::int64_t DOR_SpherePlayerImpl::GetCurrentPositionMs() {
    const HostCall call(ps_.vs->flags);
    video_state& vs = *ps_.vs;
    if (vs.video_stream == nullptr) return 0;
    // The clock in picture units, measured from the video stream's start.
    vs.position_ms = position_ms_of(vs, vs.clock.scaled());
    return vs.position_ms;
}

int DOR_SpherePlayerImpl::GetVideoDuration(DOR_VideoTime* duration) {
    const HostCall call(ps_.vs->flags);
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
    const HostCall call(ps_.vs->flags);
    return ps_.vs->duration_ms;
}

int DOR_SpherePlayerImpl::Seek(int minutes, int seconds, int milliseconds) {
    const HostCall call(ps_.vs->flags);
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
        platform::MutexLock view_lock(vs.view.mutex);
        vs.view.steps.request = kNoStepRequest;
        vs.flags.set_paused(true);
        if (device != 0) SDL_PauseAudioDevice(device, 1);
        if (playing) vs.flags.wait_until_parked();
        moved = move_to(start_ms);
        vs.view.steps.in_progress = false;
    }
    vs.flags.resume_after_seek(moved);
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
    vs.pictures.reset();
    vs.pts.flush();
    flush_sound(ps_);
    return true;
}

// Without sound the clock waits for the first picture after a seek.
void DOR_SpherePlayerImpl::wait_for_first_picture() {
    video_state& vs = *ps_.vs;
    while (!vs.pts.wait_for_any(kSeekPictureWaitMs)) {
        if (ps_.playing == 0 || vs.flags.abort_requested()) return;
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
    vs.pictures.reset();
    vs.pts.flush();
    vs.flags.reset(false, false);
    {
        platform::MutexLock lock(vs.view.mutex);
        vs.view.record.pending_draw_mode = vs.view.record.pending_rect = kNoPendingChange;
        vs.view.steps.request = kNoStepRequest;
        vs.view.steps.in_progress = false;
    }
    vs.audio.chunk_remaining = 0;
    vs.audio.chunk_read = nullptr;
    vs.audio_packets.flush();
    vs.video_packets.flush();
    reset_decoder(vs);
    reset_read_position(vs);
    vs.clock.reset(vs.clock_scale, video_start_ms(vs));
    vs.flags.clear_stop();
    vs.flags.clear_display_started();
    ps_.display_failed = false;
    ps_.display_failure_code = DOR_PLAYER_OK;
    ps_.display_failed_while_playing = false;
    ps_.stats = PlaybackStats{};
    ps_.audio_enabled = vs.audio_stream_index != kNoStream;
    ps_.startup.reset();
    ps_.filter.release();
}

// False when a thread could not be started (the ones that were are ended
// by the caller's Stop).
bool DOR_SpherePlayerImpl::start_threads() {
    video_state& vs = *ps_.vs;
    for (Worker w : {Worker::clock, Worker::read, Worker::decode, Worker::display}) {
        vs.flags.set_running(w, true);
    }
    try {
        ps_.clock_thread = std::thread(run_worker, std::ref(ps_), Worker::clock, clock_thread_main,
                                       end_clock_worker);
        ps_.read_thread =
            std::thread(run_worker, std::ref(ps_), Worker::read, read_thread_main, end_worker);
        ps_.decode_thread =
            std::thread(run_worker, std::ref(ps_), Worker::decode, decode_thread_main, end_worker);
        ps_.display_thread = std::thread(run_worker, std::ref(ps_), Worker::display,
                                         display_thread_main, end_display_worker);
    } catch (const std::system_error& e) {
        for (Worker w : {Worker::clock, Worker::read, Worker::decode, Worker::display}) {
            vs.flags.set_running(w, false);
        }
        ps_.errors.set("error: can not start a player thread: %s;\n", e.what());
        return false;
    }
    return true;
}

int DOR_SpherePlayerImpl::Play(FrameCallback on_frame, void* frame_context, EndCallback on_end,
                               void* context, ErrorCallback on_error) {
    StartupFailure failure;
    int rc = DOR_PLAYER_OK;
    {
        const HostCall call(ps_.vs->flags);
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
    if (!start_threads() || !ps_.startup.wait_all_running()) {
        // The others are ended and joined; the error text holds the failing
        // thread's reason.
        Stop();
        if (ps_.display_failed) *failure = {ps_.on_error, ps_.context, ps_.display_failure_code};
        return DOR_PLAYER_FAILED;
    }
    // Playback that already ended on its own (a zero-length file) is not
    // playing any more.
    const PlaybackFlags& flags = ps_.vs->flags;
    ps_.playing = flags.running(Worker::read) || flags.running(Worker::decode) ||
                          flags.running(Worker::display)
                      ? 1
                      : 0;
    return DOR_PLAYER_OK;
}

float DOR_SpherePlayerImpl::GetZoom(int viewport) {
    const HostCall call(ps_.vs->flags);
    if (!valid_viewport(viewport)) return 0.0f;
    ViewState& view = ps_.vs->view;
    platform::MutexLock lock(view.mutex);
    return view.record.zoom[static_cast<std::size_t>(viewport)];
}

// The view record mirrors what the renderer manager holds: the display
// thread writes back every change it makes (mouse drags, draw modes).
int DOR_SpherePlayerImpl::GetViewAngles(int viewport, float* pitch, float* yaw, float* roll) {
    const HostCall call(ps_.vs->flags);
    if (!valid_viewport(viewport)) return viewport_error(viewport);
    ViewState& view = ps_.vs->view;
    platform::MutexLock lock(view.mutex);
    const auto& angles = view.record.angles_deg[static_cast<std::size_t>(viewport)];
    if (pitch != nullptr) *pitch = angles[0];
    if (yaw != nullptr) *yaw = angles[1];
    if (roll != nullptr) *roll = angles[2];
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::SetViewAngleLimits(float min1, float max1, float min2, float max2,
                                             float min3, float max3, int viewport) {
    const HostCall call(ps_.vs->flags);
    if (!valid_viewport(viewport)) return viewport_error(viewport);
    ViewState& view = ps_.vs->view;
    platform::MutexLock lock(view.mutex);
    const auto v = static_cast<std::size_t>(viewport);
    view.record.angle_min_deg[v] = {min1, min2, min3};
    view.record.angle_max_deg[v] = {max1, max2, max3};
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::SetViewAngles(float pitch, float yaw, float roll, unsigned viewport) {
    const HostCall call(ps_.vs->flags);
    if (!valid_viewport(viewport)) {
        std::printf("error: invalid viewport index %d;\n", static_cast<int>(viewport));
        return DOR_PLAYER_OK;
    }
    ViewState& view = ps_.vs->view;
    platform::MutexLock lock(view.mutex);
    view.record.angles_deg[viewport] = {normalise_angle_deg(pitch), normalise_angle_deg(yaw),
                                        normalise_angle_deg(roll)};
    view.record.pending_angles |= 1u << viewport;  // the display hands them on
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::SetZoom(float zoom, unsigned viewport) {
    const HostCall call(ps_.vs->flags);
    if (!valid_viewport(viewport)) {
        std::printf("error: invalid viewport index %d;\n", static_cast<int>(viewport));
        return DOR_PLAYER_OK;
    }
    ViewState& view = ps_.vs->view;
    platform::MutexLock lock(view.mutex);
    // While playing the renderer manager applies it within these bounds.
    view.record.zoom[viewport] =
        ps_.playing != 0 ? std::clamp(zoom, geometry::kZoomMin, geometry::kPlayerZoomMax) : zoom;
    view.record.pending_zoom |= 1u << viewport;
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::SetVolume(int volume) {
    const HostCall call(ps_.vs->flags);
    ps_.volume = std::clamp(volume, 0, kMaxVolume);
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::IsPlaying() {
    const HostCall call(ps_.vs->flags);
    return ps_.playing;
}

// Ends playback from any state: the workers see abort (and no pause) at
// their next turn or wait, and each is joined. From a callback (a worker's
// own thread) the other workers are joined and the calling one ends by
// itself; when the controlling thread is stopping at that moment, the
// callback's Stop only asks for the end.
int DOR_SpherePlayerImpl::Stop() {
    video_state& vs = *ps_.vs;
    if (on_worker_thread(ps_)) {
        if (!ps_.stop_mutex.try_lock()) {
            vs.flags.request_abort(true);
            return DOR_PLAYER_OK;
        }
    } else {
        ps_.stop_mutex.lock();
    }
    vs.flags.request_stop();
    vs.flags.request_abort(true);
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
        platform::MutexLock lock(vs.view.mutex);
        if (vs.view.record.window != nullptr) SDL_DestroyWindow(vs.view.record.window);
        vs.view.record.window = nullptr;
    }
    ps_.playing = 0;
    ps_.stop_mutex.unlock();
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::Pause() {
    const HostCall call(ps_.vs->flags);
    if (ps_.playing == 0) return DOR_PLAYER_OK;
    video_state& vs = *ps_.vs;
    vs.flags.set_paused(true);
    const SDL_AudioDeviceID device = ps_.audio_device;
    if (device != 0) SDL_PauseAudioDevice(device, 1);
    // The history is what the ring holds once nothing changes it any more:
    // the decoder parked and the display taking no more pictures.
    vs.flags.wait_until_parked();
    platform::MutexLock lock(vs.view.mutex);
    prepare_stepping_locked(ps_, vs.view);
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::Resume() {
    const HostCall call(ps_.vs->flags);
    if (ps_.playing == 0) return DOR_PLAYER_OK;
    video_state& vs = *ps_.vs;
    {
        platform::MutexLock lock(vs.view.mutex);
        resume_stepping_locked(ps_, vs.view);
    }
    vs.flags.set_paused(false);
    const SDL_AudioDeviceID device = ps_.audio_device;
    if (device != 0) SDL_PauseAudioDevice(device, 0);
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::PrepareCalibration(const char* media_path, const char* dest_path) {
    const HostCall call(ps_.vs->flags);
    std::string error_text;
    if (autocalib::prepare_calibration(media_path, dest_path, &error_text) ==
        autocalib::kPrepareOk) {
        return DOR_PLAYER_OK;
    }
    return ps_.errors.fail(DOR_PLAYER_FAILED, "%s", error_text.c_str());
}

int DOR_SpherePlayerImpl::GetVideoSize(int* width, int* height) {
    const HostCall call(ps_.vs->flags);
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
    const HostCall call(ps_.vs->flags);
    const int value =
        orientation == kDisplayOrientationCount ? kDisplayOrientationCount - 1 : orientation;
    ViewState& view = ps_.vs->view;
    platform::MutexLock lock(view.mutex);
    view.record.orientation_request = value;  // the display thread hands it on
    return DOR_PLAYER_OK;
}

// Only while paused. A step back first rebuilds the history on this thread
// when no step has been made since the pause.
int DOR_SpherePlayerImpl::StepFrame(bool forward) {
    const HostCall call(ps_.vs->flags);
    video_state& vs = *ps_.vs;
    if (ps_.playing == 0 || !vs.flags.paused()) return DOR_PLAYER_OK;
    platform::MutexLock lock(vs.view.mutex);
    if (!forward) refill_history_locked(ps_, vs.view, false);
    vs.view.steps.request = forward ? 1 : 0;
    return DOR_PLAYER_OK;
}

// An empty description removes the filter; one FFmpeg cannot build leaves
// the video unfiltered.
int DOR_SpherePlayerImpl::SetVideoFilter(const char* description) {
    const HostCall call(ps_.vs->flags);
    const video_state& vs = *ps_.vs;
    VideoFilter::Source source;
    const bool opened = vs.video_codec && vs.video_stream != nullptr;
    if (opened) {
        source.width = vs.video_codec->width;
        source.height = vs.video_codec->height;
        source.format = vs.video_pix_fmt;
        source.time_base = vs.video_stream->time_base;
        source.aspect = vs.video_codec->sample_aspect_ratio;
    }
    ps_.filter.rebuild(description, opened ? &source : nullptr);
    return DOR_PLAYER_OK;
}

}  // namespace sphere_player
