// The conversion dialog's rules as pure functions: the quality table, the
// converter record's viewports filled from the preview's current view, and
// the output names it proposes.
//
// Thread-safety: every function is independent and keeps no state.
#pragma once

#include <optional>
#include <string>

#include "SphereVideoConverter.h"
#include "layout/view_layout.h"

namespace view_layout {

struct Quality {
    char letter;  // 'L', 'M' or 'H'
    int width;    // output frame, pixels
    int height;
    int bitrate;  // units of 1024 bit/s
};

inline constexpr int kQualityCount = 3;
inline constexpr int kDefaultQuality = 1;  // the item the dialog selects
// Indexed by the quality item; the fourth letter belongs to no item.
inline constexpr char kQualityLetters[] = "LMH0";

// Quality item 0 to 2 (low, medium, high); nothing otherwise.
std::optional<Quality> quality_of_index(int index);
// The quality whose letter is `letter`, either case; nothing otherwise.
std::optional<Quality> quality_of_letter(char letter);

// Sets dst_width, dst_height and bitrate.
void set_quality(ConverterInitParam& param, const Quality& quality);

// One viewport of the preview as its player reports it.
struct PreviewView {
    Rect rect;          // preview pixels, origin bottom left
    int draw_mode = 2;  // the player's draw mode, 0 to 5 for the converter
    Angles angles;      // degrees
    float zoom = 1.0f;
};

// The preview's current layout: its window size and viewports in use.
struct PreviewLayout {
    int width = 0, height = 0;  // preview window, pixels
    int count = 0;              // 1 to kMaxViewports
    PreviewView views[kMaxViewports];
};

// Two or four exported views are lowered by this much.
inline constexpr float kSplitExportPitchLowerDeg = 18.0f;

// Fills the record's viewports of a square (fisheye) export from the
// preview, scaled to the output size already in param.dst_width and
// dst_height: angles, zoom and draw mode as the preview has them (the
// pitch lowered by kSplitExportPitchLowerDeg when the count is even);
// rectangles multiplied by sx = dst_width / preview width and sy =
// dst_height / preview height (single precision), truncated toward zero
// and clamped: x to [0, dst_width - 1], y to [0, dst_height - 1], width to
// [0, dst_width], height to [0, dst_height]. Sets viewport_count and
// orientation 1. False, with the record unchanged, when the count is not 1
// to 4 or a size (preview or output) is not positive.
bool fill_export_viewports(ConverterInitParam& param, const PreviewLayout& preview);

// The preview of a fisheye recording that nobody has turned: `layout`'s
// viewports in a width x height window, each at the zoom its draw mode
// starts with, and the layout's default view for `direction`, lifted by the
// automatic pitch (worked out from the calibration file `calib`) in the
// split layouts. video_height is the recording's frame height, 0 when it
// could not be read.
PreviewLayout default_preview(int layout, int direction, int width, int height,
                              const std::string& calib, int video_height);

// The output name proposed for `source`: the text before its last full
// stop followed by "_<letter>_out.mp4" ("%s_%c_out.mp4"), or by "_out.mp4"
// ("%s_out.mp4") when quality_letter is 0. Nothing when the source has no
// full stop. "D:\rec\clip.ts" with 'H' gives "D:\rec\clip_H_out.mp4".
std::optional<std::string> proposed_output_name(const std::string& source, char quality_letter);

// --- the progress line, once a second

// "12.34%" ("%.2f%%"); "--%" when the percent is not a finite number.
std::string percent_text(float percent);
// The progress bar's 0 to 100: the percent truncated and held in range; 0
// when it is not a finite number.
int progress_bar_value(float percent);
// "MM:SS" ("%02d:%02d") of the remaining time; "--:--" when the estimate
// is not a time (negative, seconds past 59, or more than 9999 minutes).
std::string remaining_text(int minutes, int seconds);

}  // namespace view_layout
