// Automatic lens calibration from the first frame of a recording.
//
// When no stored calibration exists for a camera, the player makes one from
// the recording itself: the first picture is decoded and saved as the work
// picture "onframe.jpg" in the program folder, the circular fisheye image is
// found in it, and a calibration file is written that describes an ideal
// equidistant fisheye of 200 degrees with the detected centre and radius.
//
// Thread-safety: every function may run on any thread. Calibrations from
// recordings take turns on the program folder (an exclusive flock on it,
// across threads and processes), since they share its one work picture.
#pragma once

#include <opencv2/core/mat.hpp>

struct AVFrame;

namespace autocalib {

// Result codes. 0 is success; the groups below belong to the function named.
enum ResultCode : int {
    kOk = 0,

    // make_calibration_from_video
    kNoFrameExtracted = 459,       // extract_first_frame failed
    kCalibrationFailed = 467,      // detection or writing failed
    kCircleNotFound = 398,         // detail of kCalibrationFailed
    kCalibrationNotWritten = 414,  // detail of kCalibrationFailed

    // extract_first_frame
    kCannotOpenInput = 289,
    kNoStreamInfo = 295,
    kNoVideoStream = 306,
    kNoDecoder = 314,
    kCannotOpenDecoder = 320,
    kCannotAllocateFrames = 328,
    kCannotAllocatePicture = 336,  // the stream's picture size is unusable

    // encode_jpeg
    kCannotOpenOutput = 191,
    kNoOutputStream = 197,
    kEncoderNotFound = 219,
    kCannotOpenEncoder = 224,
    kEncodeError = 242,

    // write_calibration_file
    kCannotCreateCalibration = 120,
};

// A short English description of any code above ("" for unknown codes).
const char* result_text(int code);

// Field of view the generated calibrations describe, in degrees.
inline constexpr double kCalibrationFovDeg = 200.0;

// Name of the work picture in the program folder.
inline constexpr const char* kWorkPictureName = "onframe.jpg";

// A detected lens circle, in pixels of the full picture (pixel centres at
// integer coordinates).
struct CircleDetection {
    bool found = false;
    float cx = 0.0f;
    float cy = 0.0f;
    float radius = 0.0f;
    // Share of the candidate edge points (0..1) that lie on the circle.
    float inlier_share = 0.0f;
};

// Finds the fisheye image circle in an 8-bit BGR picture. The search is
// randomised with a generator seeded from the clock, so two runs on one
// picture may differ by a fraction of a pixel. An empty picture, or one
// without enough edges, gives found = false.
CircleDetection detect_image_circle(const cv::Mat& picture);

// True when the circle lies entirely inside a width x height picture.
bool circle_is_whole(const CircleDetection& circle, int width, int height);

// Writes the 380-byte calibration file of an equidistant fisheye with field
// of view `fov_deg` (degrees), centre (cx, cy) and image radius `radius`
// (pixels) for frames of width x height. Returns 0, or
// kCannotCreateCalibration when the file cannot be created or fully
// written (a partly written file is removed).
int write_calibration_file(const char* path, double fov_deg, float cx, float cy, float radius,
                           int width, int height);

// Encodes one decoded picture as a baseline JPEG of width x height at
// `jpeg_path`. A 4:2:0 planar picture of that size is encoded as it is;
// any other pixel format or size is converted first. Returns 0 or one of
// kCannotOpenOutput, kNoOutputStream, kEncoderNotFound, kCannotOpenEncoder,
// kEncodeError. Progress and failure texts go to the debug output.
int encode_jpeg(const char* jpeg_path, const AVFrame* picture, int width, int height);

// Decodes the first picture of the first video stream of `media_path` and
// saves it with encode_jpeg (a picture that fails to encode is skipped for
// the next one). Returns 0, also when the file ends without any picture
// (nothing is written then), or one of kCannotOpenInput .. kCannotAllocatePicture.
int extract_first_frame(const char* media_path, const char* jpeg_path);

// What one calibration run found; filled as far as the run got.
struct CalibrationReport {
    int code = kOk;         // the value returned
    int detail_code = kOk;  // the failing step's own code (extract, 398, 414)
    CircleDetection circle;
    bool whole = false;  // the circle lies entirely inside the picture
    int width = 0;       // size of the first picture
    int height = 0;
};

// The whole automatic calibration: extract the first picture into the work
// picture of the program folder, detect the circle and write the
// calibration file. Returns 0, kNoFrameExtracted or kCalibrationFailed; on
// failure no calibration file is written.
int make_calibration_from_video(const char* media_path, const char* calibration_path,
                                CalibrationReport* report = nullptr);

}  // namespace autocalib
