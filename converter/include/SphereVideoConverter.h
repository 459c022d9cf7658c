// Public interface of the converter library libSphereVideoConverter.so:
// exports a fisheye recording into a flat H.264 MP4 of one to four dewarped
// views, with the recording's sound copied packet for packet.
//
// Usage (the conversion dialog's order):
//     DOR_SphereVideoConverter* c = CreateSphereVideoConverter();
//     ConverterInitParam p = ...;           // owned by the caller, kept alive
//     if (c->Init(&p) != 0) puts(c->GetLastErrorText());
//     VideoTime d = c->GetVideoDuration();
//     c->StartDewarpingAsync({0, 0, 0}, d);
//     while (c->IsRendering()) { ConvertProgress pr = c->GetProgress(); sleep(1); }
//     c->Stop();
//     if (c->GetConversionResult() != 0) puts(c->GetLastErrorText());
//     DestroySphereVideoConverter(c);
// A cancel is Stop() then DestroySphereVideoConverter(); the file written so
// far is complete. Use a new converter (or Init again) for every export.
//
// Thread-safety: one caller thread. Init and StartDewarpingAsync block it
// (Init runs the TS remux tool to its end); the conversion runs on threads of
// the library, which only the polling operations observe.
#ifndef SPHERE_VIDEO_CONVERTER_H
#define SPHERE_VIDEO_CONVERTER_H

#include <stdint.h>

#if defined(SPHERE_VIDEO_CONVERTER_BUILDING)
#define SPHERE_VIDEO_CONVERTER_EXPORT __attribute__((visibility("default")))
#else
#define SPHERE_VIDEO_CONVERTER_EXPORT
#endif

// Result codes of Init and StartDewarpingAsync.
enum : int32_t {
    DOR_CONVERTER_OK = 0,
    DOR_CONVERTER_ERROR_OPEN_INPUT = 15,   // the input could not be opened
    DOR_CONVERTER_ERROR_NO_VIDEO = 16,     // the input has no video stream
    DOR_CONVERTER_ERROR_CALIBRATION = 17,  // the calibration file cannot be read
    DOR_CONVERTER_ERROR_FAILURE = 21,      // any other failure
};

// Four is the fixed upper bound on viewports everywhere in the converter.
#define DOR_CONVERTER_MAX_VIEWPORTS 4
// Sizes of the caller's text buffers behind the three path pointers.
#define DOR_CONVERTER_SRC_URL_BYTES 260
#define DOR_CONVERTER_CALIB_FILENAME_BYTES 260
#define DOR_CONVERTER_DST_URL_BYTES 1024
// Size of the error text buffer that GetLastErrorText returns.
#define DOR_CONVERTER_ERROR_TEXT_BYTES 2048

// The parameter record of one export. The caller owns it and keeps it alive
// and unchanged from Init until the conversion has ended; the converter keeps
// the pointer and reads it again from its own threads. Init changes two
// members in place: `src_url` (an MPEG-TS input becomes the path of its MP4
// copy "temp.mp4" in the same folder) and `bitrate` (multiplied by 1024).
// The converter removes that copy when it is destroyed: a caller that wants
// it (a flat recording needs no conversion) copies or moves it before.
struct ConverterInitParam {
    char* src_url;         // input file (buffer of DOR_CONVERTER_SRC_URL_BYTES)
    char* calib_filename;  // calibration file of the camera (380 bytes)
    char* dst_url;         // output file; its extension chooses the container
    int32_t bitrate;       // units of 1024 bit/s; bit/s after Init
    int32_t dst_width;     // output frame size, pixels
    int32_t dst_height;
    int32_t orientation;                            // camera mounting: 0, 1 or 2
    int32_t prj_mode[DOR_CONVERTER_MAX_VIEWPORTS];  // draw mode 0..5 per viewport
    float pitch[DOR_CONVERTER_MAX_VIEWPORTS];       // view angles, degrees
    float yaw[DOR_CONVERTER_MAX_VIEWPORTS];
    float roll[DOR_CONVERTER_MAX_VIEWPORTS];
    float zoom[DOR_CONVERTER_MAX_VIEWPORTS];  // clamped to [0.05, 3.0]
    int32_t viewport_count;                   // 1 to 4
    // Viewport rectangles in output pixels: x from the left edge, y from the
    // bottom edge (rows counted upward, as OpenGL does).
    int32_t viewport_x[DOR_CONVERTER_MAX_VIEWPORTS];
    int32_t viewport_y[DOR_CONVERTER_MAX_VIEWPORTS];
    int32_t viewport_width[DOR_CONVERTER_MAX_VIEWPORTS];
    int32_t viewport_height[DOR_CONVERTER_MAX_VIEWPORTS];
};

// A time in whole seconds (minutes * 60 + seconds); milliseconds are never
// read and always reported as 0.
struct VideoTime {
    int32_t minutes;
    int32_t seconds;
    int32_t milliseconds;
};

struct ConvertProgress {
    int32_t converting;         // 1 from an accepted start until the end
    float speed;                // frames encoded per second of elapsed time
    float percent;              // frames encoded / frames to render * 100
    int32_t remaining_minutes;  // estimated remaining time
    int32_t remaining_seconds;  // 0 to 59
    int32_t reserved;           // always 0
};

// One text drawn into the output pictures whose presentation time lies in
// [start_ms, end_ms) of the output (the first picture is at 0). `text` is
// UTF-8, lines separated by '\n'; the converter copies it.
struct ConverterOverlayCue {
    int64_t start_ms;
    int64_t end_ms;
    const char* text;
};

// Slot order is a fixed contract with the viewer.
class DOR_SphereVideoConverter {
public:
    // Prepares an export: remuxes an MPEG-TS input, opens the input and
    // creates the output file. 0 with both open for a square (fisheye)
    // input; 0 with nothing open for any other input (nothing to dewarp);
    // 15, 16 or 21 with the reason in GetLastErrorText (21 also when the
    // remux tool fails, or when the output file would be the input).
    virtual int32_t Init(ConverterInitParam* param) = 0;
    // Starts converting the span [start, end) (whole seconds, from the key
    // frame at or before start) and returns once the renderer is ready:
    // 0, or 21 with the reason.
    virtual int32_t StartDewarpingAsync(VideoTime start, VideoTime end) = 0;
    // Ends a running conversion after the frame being encoded and waits until
    // the file is complete. Always 0.
    virtual int32_t Stop() = 0;
    virtual ConvertProgress GetProgress() = 0;
    // {-1, -1, -1} before the first successful Init.
    virtual VideoTime GetVideoDuration() = 0;
    virtual int32_t IsRendering() = 0;
    // The text of the most recent failure (DOR_CONVERTER_ERROR_TEXT_BYTES).
    virtual const char* GetLastErrorText() = 0;
    // Stops a running conversion first.
    virtual ~DOR_SphereVideoConverter() {}

    // Added after the slots above, which keep their order.
    // How the last conversion ended, once IsRendering reads 0: 0 when its
    // file is complete (to the end of the span, or early after Stop), even
    // if single damaged packets were skipped on the way (their text stays in
    // GetLastErrorText); 21 when it failed (no picture could be converted, a
    // render or the trailer failed; the reason is in GetLastErrorText). -1
    // before the first conversion and while one runs.
    virtual int32_t GetConversionResult() = 0;

    // The texts drawn into the pictures of the next conversions, in a
    // band at the bottom-left corner (a dark, half-transparent band with
    // light text); pictures outside every cue stay untouched. Replaces the
    // earlier cues; a count of 0 draws nothing. The cues are copied. Any time
    // but while a conversion runs: 0, or 21 (running, or a cue with a null
    // text, an end before its start or a negative count).
    virtual int32_t SetOverlay(const ConverterOverlayCue* cues, int32_t count) = 0;
};

#ifdef __cplusplus
extern "C" {
#endif

// A new converter; null only when memory is exhausted.
SPHERE_VIDEO_CONVERTER_EXPORT DOR_SphereVideoConverter* CreateSphereVideoConverter(void);
// Destroys a converter (null is accepted). Always 0.
SPHERE_VIDEO_CONVERTER_EXPORT int DestroySphereVideoConverter(DOR_SphereVideoConverter* converter);

typedef DOR_SphereVideoConverter* (*CreateSphereVideoConverterFn)(void);
typedef int (*DestroySphereVideoConverterFn)(DOR_SphereVideoConverter*);

#ifdef __cplusplus
}
#endif

#endif  // SPHERE_VIDEO_CONVERTER_H
