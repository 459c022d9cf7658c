// The automatic calibration run: first picture, circle, calibration file.
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "autocalib/autocalib.h"
#include "file_util.h"
#include "platform/debug_output.h"
#include "platform/paths.h"
#include "read_picture.h"

namespace autocalib {
namespace {

constexpr std::size_t kDebugLineSize = 512;
// Debug line of a failed detection ("calibration failed").
constexpr const char* kTextCircleNotFound = "标定失败\r\n";

std::string work_picture_path() {
    return platform::join_path(platform::program_dir(), kWorkPictureName);
}

void log_circle(const CircleDetection& c, bool whole) {
    platform::debug_printf(kDebugLineSize,
                           "autocalib: circle centre (%.1f, %.1f) radius %.1f, %s\r\n", c.cx, c.cy,
                           c.radius, whole ? "inside the picture" : "cut by the picture edge");
}

// Detection and writing, on the saved first picture.
int calibrate_from_picture(const std::string& picture_path, const char* calibration_path,
                           CalibrationReport& report) {
    const cv::Mat picture = detail::read_bgr_picture(picture_path.c_str());
    report.width = picture.cols;
    report.height = picture.rows;
    report.circle = detect_image_circle(picture);
    if (!report.circle.found) {
        platform::debug_output(kTextCircleNotFound);
        report.detail_code = kCircleNotFound;
        return kCalibrationFailed;
    }
    report.whole = circle_is_whole(report.circle, picture.cols, picture.rows);
    log_circle(report.circle, report.whole);
    const CircleDetection& c = report.circle;
    if (write_calibration_file(calibration_path, kCalibrationFovDeg, c.cx, c.cy, c.radius,
                               picture.cols, picture.rows) != kOk) {
        report.detail_code = kCalibrationNotWritten;
        return kCalibrationFailed;
    }
    return kOk;
}

// Holds the program folder for one calibration: the work picture is one
// file for every process, so two calibrations at once (two exports, a
// viewer and a tool) take turns instead of reading each other's picture.
// Where the folder cannot be opened nothing is held.
class ProgramFolderTurn {
public:
    ProgramFolderTurn() : fd_(::open(platform::program_dir().c_str(), O_RDONLY | O_DIRECTORY)) {
        // Unbounded on purpose: the holder is a calibration, which ends.
        if (fd_ >= 0) ::flock(fd_, LOCK_EX);
    }
    ~ProgramFolderTurn() {
        if (fd_ >= 0) ::close(fd_);  // releases the lock
    }
    ProgramFolderTurn(const ProgramFolderTurn&) = delete;
    ProgramFolderTurn& operator=(const ProgramFolderTurn&) = delete;

private:
    int fd_;
};

int run_calibration(const char* media_path, const char* calibration_path,
                    CalibrationReport& report) {
    const ProgramFolderTurn turn;
    const std::string picture_path = work_picture_path();
    // A picture left by an earlier run must not stand in for this recording's.
    detail::remove_regular_file(picture_path.c_str());
    const int extracted = extract_first_frame(media_path, picture_path.c_str());
    if (extracted != kOk) {
        report.detail_code = extracted;
        return kNoFrameExtracted;
    }
    return calibrate_from_picture(picture_path, calibration_path, report);
}

}  // namespace

int make_calibration_from_video(const char* media_path, const char* calibration_path,
                                CalibrationReport* report) {
    CalibrationReport local;
    CalibrationReport& r = report != nullptr ? *report : local;
    r = CalibrationReport{};
    r.code = run_calibration(media_path, calibration_path, r);
    return r.code;
}

const char* result_text(int code) {
    switch (code) {
        case kOk:
            return "success";
        case kNoFrameExtracted:
            return "no picture could be extracted from the recording";
        case kCalibrationFailed:
            return "the lens circle was not found or the file not written";
        case kCircleNotFound:
            return "no lens circle found in the first picture";
        case kCalibrationNotWritten:
            return "the calibration file could not be written";
        case kCannotOpenInput:
            return "cannot open the recording";
        case kNoStreamInfo:
            return "cannot read the stream information";
        case kNoVideoStream:
            return "the recording has no video stream";
        case kNoDecoder:
            return "no decoder for the video stream";
        case kCannotOpenDecoder:
            return "cannot open the video decoder";
        case kCannotAllocateFrames:
            return "cannot allocate frames";
        case kCannotAllocatePicture:
            return "cannot allocate the picture buffer";
        case kCannotOpenOutput:
            return "Couldn't open output file.";
        case kNoOutputStream:
            return "cannot add the picture stream";
        case kEncoderNotFound:
            return "Codec not found.";
        case kCannotOpenEncoder:
            return "Could not open codec.";
        case kEncodeError:
            return "Encode Error.";
        case kCannotCreateCalibration:
            return "cannot create the calibration file";
        default:
            return "";
    }
}

}  // namespace autocalib
