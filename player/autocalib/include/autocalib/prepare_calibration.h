// Providing a camera's calibration file before playback.
//
// Thread-safety: as make_calibration_from_video (autocalib.h).
#pragma once

#include <string>

namespace autocalib {

// Result codes, as the player returns them.
inline constexpr int kPrepareOk = 0;
inline constexpr int kPrepareFailed = 21;

// Provides the calibration file `dest_path` for the recording `media_path`;
// needs no opened player.
//  1. The recording is opened just to read its first video stream's width
//     and height.
//  2. When that works and the program folder holds a calibration named after
//     the width ("<program folder>/<width>.inf"), it is copied over
//     `dest_path`: 0, or 21 when the copy fails.
//  3. Otherwise, when the width and height differ (a flat video), 0 is
//     returned and nothing is done.
//  4. In the remaining cases (the probe failed, or a square frame without a
//     stored file) the automatic calibration writes `dest_path`
//     (make_calibration_from_video): 0 on success, 21 on failure.
// On failure `error_text`, when given, receives a message of the form
// "error: ...;\n"; it is left alone on success.
int prepare_calibration(const char* media_path, const char* dest_path,
                        std::string* error_text = nullptr);

}  // namespace autocalib
