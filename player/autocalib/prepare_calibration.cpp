// Providing a camera's calibration file: a stored file named after the frame
// width, else the automatic calibration of a square (fisheye) frame.
#include "autocalib/prepare_calibration.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "autocalib/autocalib.h"
#include "media_input.h"
#include "file_util.h"
#include "platform/paths.h"

namespace autocalib {
namespace {

constexpr std::size_t kErrorTextSize = 1024;

struct FrameSize {
    int width = 0;
    int height = 0;
};

// Size of the first video stream; false when the file cannot be opened or
// has no video stream with a size.
bool probe_frame_size(const char* media_path, FrameSize& size) {
    av::InputContextPtr input;
    if (detail::open_media(media_path, input) != detail::OpenResult::kOk) return false;
    const int index = detail::first_video_stream(input.get());
    if (index < 0) return false;
    const AVCodecParameters* par = input->streams[index]->codecpar;
    size = {par->width, par->height};
    return size.width > 0 && size.height > 0;
}

// "<program folder>/<width>.inf"
std::string stored_calibration_path(int width) {
    return platform::join_path(platform::program_dir(), std::to_string(width) + ".inf");
}

__attribute__((format(printf, 2, 3))) void set_error(std::string* error_text, const char* format,
                                                     ...) {
    if (error_text == nullptr) return;
    char text[kErrorTextSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    *error_text = text;
}

}  // namespace

int prepare_calibration(const char* media_path, const char* dest_path, std::string* error_text) {
    if (media_path == nullptr || dest_path == nullptr) {
        set_error(error_text, "error: null media or calibration path;\n");
        return kPrepareFailed;
    }
    FrameSize size;
    if (probe_frame_size(media_path, size)) {
        const std::string stored = stored_calibration_path(size.width);
        if (platform::path_exists(stored)) {
            if (detail::copy_file_over(stored, dest_path)) return kPrepareOk;
            set_error(error_text, "error: can not copy calibration file %s to %s;\n",
                      stored.c_str(), dest_path);
            return kPrepareFailed;
        }
        if (size.width != size.height) return kPrepareOk;
    }
    const int code = make_calibration_from_video(media_path, dest_path);
    if (code == kOk) return kPrepareOk;
    set_error(error_text, "error: automatic calibration of %s failed (%d);\n", media_path, code);
    return kPrepareFailed;
}

}  // namespace autocalib
