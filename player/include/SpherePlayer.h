// Public interface of the player library libSpherePlayer.so.
//
// The library plays panoramic recordings (MP4 or MPEG-TS, H.264 video,
// optional audio): it opens a file, dewarps the fisheye picture into up to
// four viewports of an OpenGL window inside a native window, plays the sound
// through SDL, and reports to the host window by posting messages to it.
//
//     DOR_SpherePlayer* player = CreateSpherePlayer();
//     init_param param = {"/media/20241207_153000A.ts", "/opt/kvp/1920.inf", "", 0, 0, 0, 0, 1};
//     if (player->Init(&param) != DOR_PLAYER_OK) puts(player->GetLastErrorText());
//     DOR_VideoTime length;
//     player->GetVideoDuration(&length);
//     ...
//     DestroySpherePlayer(player);
//
// Only the two factory functions are exported; every other call goes through
// the virtual operations of DOR_SpherePlayer, whose order is part of the
// binary interface and never changes.
//
// Thread-safety: one controlling thread calls the operations; the callbacks
// handed to Play run on the player's own threads.
#ifndef SPHERE_PLAYER_H
#define SPHERE_PLAYER_H

#include <cstdint>

#if defined(DOR_SPHERE_PLAYER_BUILDING)
#define DOR_SPHERE_PLAYER_API __attribute__((visibility("default")))
#else
#define DOR_SPHERE_PLAYER_API
#endif

// Results of the operations that can fail. On failure the object's error
// text (GetLastErrorText) says why, in a line that starts "error: ".
enum DOR_PlayerResult : int {
    DOR_PLAYER_OK = 0,
    DOR_PLAYER_OPEN_FAILED = 15,     // the media file cannot be opened
    DOR_PLAYER_NO_VIDEO = 16,        // the media file has no video stream
    DOR_PLAYER_SDL_FAILED = 19,      // initialising SDL failed
    DOR_PLAYER_DISPLAY_FAILED = 20,  // window, GL context, GLEW or renderer failure
    DOR_PLAYER_FAILED = 21,          // any other failure: state, argument, codec, memory
};

// A short English name for a result code.
inline const char* DOR_PlayerResultName(int code) {
    switch (code) {
        case DOR_PLAYER_OK:
            return "success";
        case DOR_PLAYER_OPEN_FAILED:
            return "cannot open the media file";
        case DOR_PLAYER_NO_VIDEO:
            return "no video stream";
        case DOR_PLAYER_SDL_FAILED:
            return "SDL initialisation failed";
        case DOR_PLAYER_DISPLAY_FAILED:
            return "display failed";
        case DOR_PLAYER_FAILED:
            return "failed";
        default:
            return "unknown result";
    }
}

// At most this many viewports (indices 0 to 3).
enum { DOR_PLAYER_MAX_VIEWPORTS = 4 };

// The initialisation record handed to Init. The caller owns it (and the
// strings it points to) and keeps it valid until Stop has returned: the
// player's display thread reads it while playing.
struct init_param {
    const char* media_path;      // file or stream URL to open
    const char* calib_filename;  // calibration file of the camera (380 bytes)
    const char* logo_fn;         // picture drawn as a logo when need_logo is set
    int panorama_input;          // non-zero: frames are already a 2:1 panorama, no calibration
    int need_logo;               // non-zero: decode logo_fn and draw it
    int logo_fov;                // angular size of the logo, degrees
    int end_time_ms;             // pictures at or past this time are not drawn
    int orientation;             // camera mounting: 0, 1 or 2
};

// A span of time as the player reports it.
struct DOR_VideoTime {
    int minutes;
    int seconds;
    int milliseconds;
};

// Native window handle the video is shown in (an X11 window id on Linux).
typedef void* DOR_NativeWindow;

// Callbacks handed to Play. EndCallback and ErrorCallback are made when no
// other operation of the player is in progress, and each is the last use
// of the player by the thread that makes it: the host may call Stop and
// then DestroySpherePlayer from them (but must not unload the library
// until that thread has returned).
typedef void (*FrameCallback)(void* context);
// Called once when playback ends on its own (never after Stop), on one of
// the player's threads.
typedef void (*EndCallback)(void* context);
// Called with the result code when the display fails: while playing on the
// player's display thread, at start-up by Play itself just before it
// returns 21. Playback then ends without EndCallback.
typedef void (*ErrorCallback)(void* context, int code);

class DOR_SpherePlayer {
public:
    // Opens the media file (repairing a damaged recorder TS file first) and
    // prepares its decoders. 0, 15, 16 or 21. Refused while playing.
    virtual int Init(init_param* param) = 0;
    // Projection mode 0 to 6 of a viewport. 0 or 21 (viewport above 3).
    virtual int SetDrawMode(int mode, unsigned viewport) = 0;
    // Selects a top-level window of the player's own at this rectangle.
    // 21 while playing.
    virtual int SetWindowRect(int x, int y, int width, int height) = 0;
    // Selects the host's native window to show the video in: on X11 a plain
    // child window (a GL visual with double buffering and depth bits) on
    // which the host selects no input. The player posts its messages to the
    // window's parent (see platform/window_messages.h).
    virtual int SetNativeWindow(DOR_NativeWindow window) = 0;
    // Rectangle of a viewport in window pixels, origin at the bottom left;
    // enables it. 0 or 21 (viewport above 3).
    virtual int SetViewport(int x, int y, int width, int height, unsigned viewport) = 0;
    virtual int DisableViewport(unsigned viewport) = 0;
    // The text of the last failure (at most 1023 bytes), owned by the player.
    virtual const char* GetLastErrorText() = 0;
    // Reserved: always {0, 0, 0}.
    virtual int GetPlayTime(DOR_VideoTime* time) = 0;
    virtual std::int64_t GetCurrentPositionMs() = 0;
    // Length of the opened recording; {100, 0, 0} for live streams (FLV,
    // HLS, RTSP).
    virtual int GetVideoDuration(DOR_VideoTime* duration) = 0;
    virtual std::int64_t GetVideoDurationms() = 0;
    // Moves playback to a position (one before the start counts as 0); 21
    // when it is not before the end, or when the file cannot seek (playback
    // then goes on where it was).
    virtual int Seek(int minutes, int seconds, int milliseconds) = 0;
    // Starts playback (read, decode and display threads). 0 or 21; 21 also
    // when the last Init did not succeed.
    virtual int Play(FrameCallback on_frame, void* frame_context, EndCallback on_end, void* context,
                     ErrorCallback on_error) = 0;
    virtual float GetZoom(int viewport) = 0;
    // Pitch, yaw and roll of a viewport in degrees.
    virtual int GetViewAngles(int viewport, float* pitch, float* yaw, float* roll) = 0;
    // Stores limits of the three view angles of a viewport.
    virtual int SetViewAngleLimits(float min1, float max1, float min2, float max2, float min3,
                                   float max3, int viewport) = 0;
    // View angles in degrees, each brought into [-180, 180).
    virtual int SetViewAngles(float pitch, float yaw, float roll, unsigned viewport) = 0;
    virtual int SetZoom(float zoom, unsigned viewport) = 0;
    // Mixing volume 0 to 128.
    virtual int SetVolume(int volume) = 0;
    virtual int IsPlaying() = 0;
    // Ends playback and joins the player's threads; returns within a
    // fraction of a second from any state. Call it before the host destroys
    // the native window: the player's GL context and SDL window live in it.
    virtual int Stop() = 0;
    virtual int Pause() = 0;
    virtual int Resume() = 0;
    // Provides the calibration file for a recording at dest_path: a stored
    // file named after the frame width, or an automatic calibration. 0 or 21.
    virtual int PrepareCalibration(const char* media_path, const char* dest_path) = 0;
    // Frame size of the opened (or last named) media file. 0 or 21.
    virtual int GetVideoSize(int* width, int* height) = 0;
    // Camera mounting of all viewports: 0, 1 or 2 (3 counts as 2).
    virtual int SetOrientation(int orientation) = 0;
    // One picture forward (non-zero) or back while paused.
    virtual int StepFrame(bool forward) = 0;
    // FFmpeg filter description applied to every picture ("" removes it).
    virtual int SetVideoFilter(const char* description) = 0;

    // Destroy only through DestroySpherePlayer.
    virtual ~DOR_SpherePlayer() = default;
};

extern "C" {

// A new player, or null when it cannot be made.
DOR_SPHERE_PLAYER_API DOR_SpherePlayer* CreateSpherePlayer();
// Destroys a player made by CreateSpherePlayer (stop it first); null is
// accepted. Returns 0.
DOR_SPHERE_PLAYER_API int DestroySpherePlayer(DOR_SpherePlayer* player);

typedef DOR_SpherePlayer* (*CreateSpherePlayerFn)();
typedef int (*DestroySpherePlayerFn)(DOR_SpherePlayer* player);
}

#endif  // SPHERE_PLAYER_H
