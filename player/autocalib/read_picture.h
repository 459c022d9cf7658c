// A picture file (the saved first picture) as OpenCV takes it.
#pragma once

#include <opencv2/core.hpp>

namespace autocalib::detail {

// The file's first picture as 8-bit BGR; empty when missing or unreadable.
cv::Mat read_bgr_picture(const char* path);

}  // namespace autocalib::detail
