// The player object behind DOR_SpherePlayer. Its operations are called from
// one controlling thread; what the worker threads share lives in
// PlayerState and video_state.
#pragma once

#include "SpherePlayer.h"
#include "player_state.h"

namespace sphere_player {

class DOR_SpherePlayerImpl final : public DOR_SpherePlayer {
public:
    DOR_SpherePlayerImpl();
    ~DOR_SpherePlayerImpl() override;
    DOR_SpherePlayerImpl(const DOR_SpherePlayerImpl&) = delete;
    DOR_SpherePlayerImpl& operator=(const DOR_SpherePlayerImpl&) = delete;

    int Init(init_param* param) override;
    int SetDrawMode(int mode, unsigned viewport) override;
    int SetWindowRect(int x, int y, int width, int height) override;
    int SetNativeWindow(DOR_NativeWindow window) override;
    int SetViewport(int x, int y, int width, int height, unsigned viewport) override;
    int DisableViewport(unsigned viewport) override;
    const char* GetLastErrorText() override;
    int GetPlayTime(DOR_VideoTime* time) override;
    std::int64_t GetCurrentPositionMs() override;
    int GetVideoDuration(DOR_VideoTime* duration) override;
    std::int64_t GetVideoDurationms() override;
    int Seek(int minutes, int seconds, int milliseconds) override;
    int Play(FrameCallback on_frame, void* frame_context, EndCallback on_end, void* context,
             ErrorCallback on_error) override;
    float GetZoom(int viewport) override;
    int GetViewAngles(int viewport, float* pitch, float* yaw, float* roll) override;
    int SetViewAngleLimits(float min1, float max1, float min2, float max2, float min3, float max3,
                           int viewport) override;
    int SetViewAngles(float pitch, float yaw, float roll, unsigned viewport) override;
    int SetZoom(float zoom, unsigned viewport) override;
    int SetVolume(int volume) override;
    int IsPlaying() override;
    int Stop() override;
    int Pause() override;
    int Resume() override;
    int PrepareCalibration(const char* media_path, const char* dest_path) override;
    int GetVideoSize(int* width, int* height) override;
    int SetOrientation(int orientation) override;
    int StepFrame(bool forward) override;
    int SetVideoFilter(const char* description) override;

    // The worker threads and the tests reach the object's state here.
    PlayerState& state() { return ps_; }

private:
    int init_media(init_param* param);
    int viewport_error(long long viewport);
    void wait_for_display(int ViewRecord::*pending);
    bool move_to(std::int64_t target_ms);
    void wait_for_first_picture();
    void reset_for_play(FrameCallback on_frame, void* frame_context, EndCallback on_end,
                        void* context, ErrorCallback on_error);
    bool start_threads();
    // What Play reports to ErrorCallback once it has let go of the player.
    struct StartupFailure {
        ErrorCallback on_error = nullptr;
        void* context = nullptr;
        int code = 0;
    };
    int start_playback(FrameCallback on_frame, void* frame_context, EndCallback on_end,
                       void* context, ErrorCallback on_error, StartupFailure* failure);

    PlayerState ps_;
};

}  // namespace sphere_player
