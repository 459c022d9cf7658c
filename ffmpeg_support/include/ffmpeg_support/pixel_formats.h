// Pixel formats as the scaler and the renderers take them.
//
// Thread-safety: pure functions.
#pragma once

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace av {

// The plain (limited-range) twin of a full-range JPEG "J" format, whose
// range the caller then gives apart; other formats as given.
inline AVPixelFormat plain_pixel_format(AVPixelFormat format) {
    switch (format) {
        case AV_PIX_FMT_YUVJ420P:
            return AV_PIX_FMT_YUV420P;
        case AV_PIX_FMT_YUVJ422P:
            return AV_PIX_FMT_YUV422P;
        case AV_PIX_FMT_YUVJ444P:
            return AV_PIX_FMT_YUV444P;
        case AV_PIX_FMT_YUVJ440P:
            return AV_PIX_FMT_YUV440P;
        case AV_PIX_FMT_YUVJ411P:
            return AV_PIX_FMT_YUV411P;
        default:
            return format;
    }
}

}  // namespace av
