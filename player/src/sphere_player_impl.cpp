#include "sphere_player_impl.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "audio_output.h"
#include "autocalib/prepare_calibration.h"
#include "media_duration.h"
#include "open_media.h"
#include "player_clock.h"
#include "view_math.h"

namespace sphere_player {
namespace {

// How often a view change handed to the display thread is looked at.
constexpr int kHandOverPollMs = 10;
// A seek lets the workers park for this long before it moves the demuxer.
constexpr int kSeekParkMs = 100;
constexpr std::int64_t kMsPerMinute = 60000;
constexpr std::int64_t kMsPerSecond = 1000;

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
// wait (without the view mutex) until it has, or playback has ended.
void DOR_SpherePlayerImpl::wait_for_display(int ViewRecord::*pending) {
    video_state& vs = *ps_.vs;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(vs.view_mutex);
            if (vs.view.*pending == kNoPendingChange) return;
        }
        if (ps_.playing == 0) return;
        sleep_ms(kHandOverPollMs);
    }
}

int DOR_SpherePlayerImpl::Init(init_param* param) {
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
    ps_.display_started = false;
    ps_.media_path = param->media_path;
    reset_video_state(*ps_.vs);
    ps_.last_pcr = 0;
    video_state& vs = *ps_.vs;
    vs.param = param;
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
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::SetDrawMode(int mode, unsigned viewport) {
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
    video_state& vs = *ps_.vs;
    std::lock_guard<std::mutex> lock(vs.view_mutex);
    vs.view.use_native_window = 1;
    vs.view.native_window = window;
    ps_.native_window = window;
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::SetViewport(int x, int y, int width, int height, unsigned viewport) {
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
    if (!valid_viewport(viewport)) return viewport_error(viewport);
    std::lock_guard<std::mutex> lock(ps_.vs->view_mutex);
    ps_.vs->view.enabled[viewport] = 0;
    return DOR_PLAYER_OK;
}

const char* DOR_SpherePlayerImpl::GetLastErrorText() {
    return ps_.errors.c_str();
}

int DOR_SpherePlayerImpl::GetPlayTime(DOR_VideoTime* time) {
    if (time != nullptr) *time = DOR_VideoTime{0, 0, 0};
    return DOR_PLAYER_OK;
}

std::int64_t DOR_SpherePlayerImpl::GetCurrentPositionMs() {
    video_state& vs = *ps_.vs;
    if (vs.video_stream == nullptr) return 0;
    const std::int64_t start =
        vs.video_stream->start_time == AV_NOPTS_VALUE ? 0 : vs.video_stream->start_time;
    std::int64_t clock = 0;
    {
        std::lock_guard<std::mutex> lock(vs.clock_mutex);
        clock = vs.clock_value;
    }
    vs.position_ms = static_cast<std::int64_t>(static_cast<double>(clock - start) *
                                               av_q2d(vs.audio_tbase) * kMsPerSecond);
    return vs.position_ms;
}

int DOR_SpherePlayerImpl::GetVideoDuration(DOR_VideoTime* duration) {
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
    return ps_.vs->duration_ms;
}

int DOR_SpherePlayerImpl::Seek(int minutes, int seconds, int milliseconds) {
    video_state& vs = *ps_.vs;
    const std::int64_t target_ms = to_ms(minutes, seconds, milliseconds);
    const std::int64_t duration_ms =
        to_ms(vs.duration_minutes, vs.duration_seconds, vs.duration_milliseconds);
    if (target_ms >= duration_ms || vs.video_stream == nullptr) {
        return ps_.errors.fail(DOR_PLAYER_FAILED,
                               "error: invalid seeking time: out of video time duration;\n");
    }
    const bool playing = ps_.playing != 0;
    const AVRational tb = vs.video_stream->time_base;
    const std::int64_t start =
        vs.video_stream->start_time == AV_NOPTS_VALUE ? 0 : vs.video_stream->start_time;
    const std::int64_t target_s = target_ms / kMsPerSecond;
    const std::int64_t seek_ts = tb.num > 0 ? target_s * tb.den / tb.num + start : start;
    {
        std::lock_guard<std::mutex> lock(vs.state_mutex);
        // PLAYBACK: with sound, pause the audio device here.
        vs.paused = 1;
    }
    if (playing) sleep_ms(kSeekParkMs);
    av_seek_frame(vs.format.get(), vs.video_stream_index, seek_ts, AVSEEK_FLAG_BACKWARD);
    {
        std::lock_guard<std::mutex> lock(vs.clock_mutex);
        vs.clock_start_tick_ms = static_cast<int>(clock_ms() - target_ms);
        vs.clock_paused_total_ms = 0;
    }
    avcodec_flush_buffers(vs.video_codec.get());
    vs.video_packets.flush();
    if (vs.audio_stream_index != kNoStream) {
        avcodec_flush_buffers(vs.audio_codec.get());
        vs.audio_packets.flush();
    }
    vs.highest_video_pts = 0;
    {
        std::lock_guard<std::mutex> lock(vs.pictures.mutex);
        vs.pictures.reset_locked();
    }
    vs.pts.flush();
    {
        std::lock_guard<std::mutex> lock(vs.state_mutex);
        vs.paused = 0;
        ps_.audio_chunk_remaining = 0;
        // PLAYBACK: with sound unpause the device; without, wait for the first
        // new picture time and re-base the clock once more.
    }
    return DOR_PLAYER_OK;
}

// PLAYBACK: the read, decode, display and clock threads arrive with the
// playback engine; until then nothing can be played.
int DOR_SpherePlayerImpl::Play(FrameCallback, void*, EndCallback, void*, ErrorCallback) {
    if (ps_.playing != 0) return DOR_PLAYER_OK;
    return ps_.errors.fail(DOR_PLAYER_FAILED,
                           "error: playback is not available in this build of the player;\n");
}

float DOR_SpherePlayerImpl::GetZoom(int viewport) {
    if (!valid_viewport(viewport)) return 0.0f;
    std::lock_guard<std::mutex> lock(ps_.vs->view_mutex);
    return ps_.vs->view.zoom[viewport];
}

// While playing the renderer manager's angles are the ones shown.
// PLAYBACK: read them from the renderer manager on the display side.
int DOR_SpherePlayerImpl::GetViewAngles(int viewport, float* pitch, float* yaw, float* roll) {
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
    if (!valid_viewport(viewport)) return viewport_error(viewport);
    std::lock_guard<std::mutex> lock(ps_.vs->view_mutex);
    ps_.vs->view.angle_min_deg[viewport] = {min1, min2, min3};
    ps_.vs->view.angle_max_deg[viewport] = {max1, max2, max3};
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::SetViewAngles(float pitch, float yaw, float roll, unsigned viewport) {
    if (!valid_viewport(viewport)) {
        std::printf("error: invalid viewport index %d;\n", static_cast<int>(viewport));
        return DOR_PLAYER_OK;
    }
    std::lock_guard<std::mutex> lock(ps_.vs->view_mutex);
    ps_.vs->view.angles_deg[viewport] = {normalise_angle_deg(pitch), normalise_angle_deg(yaw),
                                         normalise_angle_deg(roll)};
    // PLAYBACK: while playing, hand the angles and the cylinder rotation to
    // the renderer manager.
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::SetZoom(float zoom, unsigned viewport) {
    if (!valid_viewport(viewport)) {
        std::printf("error: invalid viewport index %d;\n", static_cast<int>(viewport));
        return DOR_PLAYER_OK;
    }
    std::lock_guard<std::mutex> lock(ps_.vs->view_mutex);
    ps_.vs->view.zoom[viewport] = zoom;
    // PLAYBACK: while playing, the renderer manager applies (and clamps) it.
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::SetVolume(int volume) {
    ps_.volume = std::clamp(volume, 0, kMaxVolume);
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::IsPlaying() {
    return ps_.playing;
}

// PLAYBACK: join the clock, read, decode and display threads as they are
// started by Play.
int DOR_SpherePlayerImpl::Stop() {
    video_state& vs = *ps_.vs;
    {
        std::lock_guard<std::mutex> lock(vs.state_mutex);
        vs.paused = 0;
        vs.abort_request = 1;
    }
    for (std::thread* t :
         {&ps_.clock_thread, &ps_.read_thread, &ps_.decode_thread, &ps_.display_thread}) {
        if (t->joinable()) t->join();
    }
    return DOR_PLAYER_OK;
}

// PLAYBACK: pausing and resuming act only while playing.
int DOR_SpherePlayerImpl::Pause() {
    return DOR_PLAYER_OK;
}
int DOR_SpherePlayerImpl::Resume() {
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::PrepareCalibration(const char* media_path, const char* dest_path) {
    std::string error_text;
    if (autocalib::prepare_calibration(media_path, dest_path, &error_text) == autocalib::kPrepareOk) {
        return DOR_PLAYER_OK;
    }
    return ps_.errors.fail(DOR_PLAYER_FAILED, "%s", error_text.c_str());
}

int DOR_SpherePlayerImpl::GetVideoSize(int* width, int* height) {
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
    const int value =
        orientation == kDisplayOrientationCount ? kDisplayOrientationCount - 1 : orientation;
    std::lock_guard<std::mutex> lock(ps_.vs->view_mutex);
    // PLAYBACK: while playing, the renderer manager takes it at once.
    ps_.vs->view.orientation_request = value;
    return DOR_PLAYER_OK;
}

// PLAYBACK: frame steps act only while paused during playback.
int DOR_SpherePlayerImpl::StepFrame(bool) {
    return DOR_PLAYER_OK;
}

int DOR_SpherePlayerImpl::SetVideoFilter(const char* description) {
    std::lock_guard<std::mutex> lock(ps_.filter_mutex);
    ps_.filter_graph.reset();
    ps_.filter_source = ps_.filter_sink = nullptr;
    ps_.filtered_frame.reset();
    ps_.filter_active = false;
    std::snprintf(ps_.filter_description, sizeof ps_.filter_description, "%s",
                  description != nullptr ? description : "");
    // PLAYBACK: build the graph (buffer, description, buffersink) and set
    // filter_active when it configures.
    return DOR_PLAYER_OK;
}

}  // namespace sphere_player
