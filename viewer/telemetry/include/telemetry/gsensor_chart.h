// The G-sensor chart's geometry: where its plot, axis, labels, samples and
// cursor lie in a window of a given size. The widget draws what this says.
//
// Thread-safety: pure functions.
#pragma once

#include <string>
#include <vector>

#include "telemetry/map_track.h"

namespace telemetry {

struct ChartLayout {
    double left = 0, top = 0, right = 0, bottom = 0;  // the plot
    double half_height = 0;
    double scale = 0;               // pixels per sensor unit: -40..40 fill the plot
    double axis_y = 0;              // the axis line, from left to right
    double text_x = 0, text_y = 0;  // the labels' origin
};

inline constexpr double kChartMargin = 20;  // taken off left and right
inline constexpr double kChartUnits = 40;   // sensor units in half the plot
inline constexpr double kChartFontHeight = 15;
inline constexpr double kChartLabelSpacing = 60;  // from "X:" to "Y:" to "Z:"
inline constexpr double kCursorInset = 25;        // the cursor's ends from top and bottom

ChartLayout chart_layout(int width, int height);

// The horizontal place of sample i of n (the first at the left edge, the
// last at the right), and the height of a value.
double sample_x(const ChartLayout& c, std::size_t i, std::size_t n);
double sample_y(const ChartLayout& c, double value);

// "X:%d", "Y:%d", "Z:%d" of the sample at `index`, or the zeros when the
// index lies beyond the series.
std::vector<std::string> axis_labels(const std::vector<GSample>& samples, long index);

// The series drawn: at most one point per pixel column of the plot (a long
// drive is decimated, keeping each column's first sample), each point with
// its sample index.
std::vector<std::size_t> drawn_samples(std::size_t n, int plot_width_px);

// The cursor's sample for the playing second: the second, clamped to the
// last sample (-1 without samples).
long cursor_index(long second, std::size_t n);

}  // namespace telemetry
