// Opening the recording whose first picture the calibration is made from.
#pragma once

#include "ffmpeg_support/handles.h"

namespace autocalib::detail {

// Opens a media file and reads its stream information into `ctx`.
enum class OpenResult { kOk, kCannotOpen, kNoStreamInfo };
OpenResult open_media(const char* path, av::InputContextPtr& ctx);

// Index of the first video stream, or -1.
int first_video_stream(const AVFormatContext* ctx);

}  // namespace autocalib::detail
