// Opening a media file for playback: the demuxer, the stream choice, the
// decoders, the length, the picture buffers, the scaler and the resampler.
#pragma once

#include "ffmpeg_support/pixel_formats.h"

#include "player_state.h"

namespace sphere_player {

inline constexpr int kVideoDecoderThreads = 5;
// Socket time-out for network streams, microseconds (FFmpeg's "timeout",
// once "stimeout").
inline constexpr const char* kSocketTimeoutOption = "timeout";
inline constexpr const char* kSocketTimeoutUs = "5000000";

// The plain counterpart of a full-range (JPEG) pixel format; others as given.
using av::plain_pixel_format;

// Opens `ps.media_path` into ps.vs (which reset_video_state has emptied):
// repairs a recorder TS file first unless its file system forbids it, then
// the steps of Init that can fail. Returns 0 or the code (error text set).
int open_stream(PlayerState& ps);

// The frame size of the first video stream of a file, opened just for
// that. 0 or 21 (error text set).
int probe_video_size(const std::string& path, ErrorText& errors, int& width, int& height);

}  // namespace sphere_player
