// Decoding one picture file (the logo) into BGR24 pixels.
#pragma once

#include <cstdint>
#include <vector>

#include "error_text.h"

namespace sphere_player {

struct StillPicture {
    std::vector<std::uint8_t> bgr;  // width x height x 3 bytes, rows back to back
    int width = 0, height = 0;
};

// Decodes the first picture of `path`. 0, or 21 with the error text set
// (and printed).
int decode_still_picture(const char* path, StillPicture* out, ErrorText& errors);

}  // namespace sphere_player
