// The telemetry band drawn into output pictures: a dark, half-transparent
// band flush with the bottom-left corner holding light text, one line per
// line of the cue.
//
// Each cue's band is rendered once, when the pictures reach it, into a
// table of per-pixel weights; every picture then only blends that table
// into its planes (luma towards the band's value, chroma towards neutral).
//
// Thread-safety: an OverlayDrawer belongs to the thread that renders.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/rational.h>
}

namespace converter {

struct OverlayCueCopy {
    int64_t start_ms = 0;
    int64_t end_ms = 0;
    std::string text;
};

// One cue's band at one output size, ready to blend. A pixel becomes
// (plane * keep + 127) / 255 + add, in luma and in chroma (there `add` is
// the neutral value's share).
struct OverlayBand {
    int x = 0, y = 0;     // top-left corner in output pixels, both even
    cv::Mat luma_keep;    // CV_8U, band size: 255 - opacity
    cv::Mat luma_add;     // CV_8U, band size: the band's value x opacity / 255
    cv::Mat chroma_keep;  // CV_8U, half size each way
    cv::Mat chroma_add;   // CV_8U, half size each way
    bool empty() const { return luma_keep.empty(); }
};

// The band of `text` (UTF-8, '\n' between lines) for pictures of
// `width` x `height`; the text is sized from the height (legible from 384
// rows up) and cut to the picture. Characters outside ASCII print as '?',
// except the degree sign, which is drawn as a small ring.
OverlayBand render_band(const std::string& text, int width, int height);

// Blends the band into a YUV 4:2:0 picture (8-bit planar) in place.
void blend_band(const OverlayBand& band, AVFrame& picture);

// Draws the cue of each picture's time into the pictures of one conversion.
class OverlayDrawer {
public:
    // `cues` sorted by start; pictures follow each other at `frame_rate`.
    OverlayDrawer(std::vector<OverlayCueCopy> cues, AVRational frame_rate, int width, int height);
    // Picture number `index` of the output (0 first); untouched outside
    // every cue.
    void draw(AVFrame& picture, int64_t index);

private:
    const OverlayCueCopy* cue_at(int64_t time_ms) const;

    std::vector<OverlayCueCopy> cues_;
    AVRational frame_rate_;
    int width_, height_;
    const OverlayCueCopy* shown_ = nullptr;  // the cue band_ was rendered for
    OverlayBand band_;
};

}  // namespace converter
