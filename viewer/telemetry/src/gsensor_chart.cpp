#include "telemetry/gsensor_chart.h"

#include <algorithm>
#include <cstdio>

namespace telemetry {
namespace {

constexpr double kAxisRise = 10;  // the axis line above the bottom
constexpr double kTextInsetX = 10, kTextInsetY = 5;

}  // namespace

ChartLayout chart_layout(int width, int height) {
    ChartLayout c;
    c.left = kChartMargin;
    c.right = std::max(c.left, width - kChartMargin);
    c.top = 0;
    c.bottom = std::max(0, height);
    c.half_height = (c.bottom - c.top) / 2;
    c.scale = c.half_height / kChartUnits;
    c.axis_y = c.bottom - kAxisRise;
    c.text_x = c.left + kTextInsetX;
    c.text_y = c.top + kTextInsetY;
    return c;
}

double sample_x(const ChartLayout& c, std::size_t i, std::size_t n) {
    const double steps = n < 2 ? 1.0 : static_cast<double>(n - 1);
    return c.left + static_cast<double>(i) * (c.right - c.left) / steps;
}

double sample_y(const ChartLayout& c, double value) {
    return c.bottom - value * c.scale - c.half_height;
}

std::vector<std::string> axis_labels(const std::vector<GSample>& samples, long index) {
    GSample s;
    if (index >= 0 && static_cast<std::size_t>(index) < samples.size()) {
        s = samples[static_cast<std::size_t>(index)];
    }
    char x[32], y[32], z[32];
    std::snprintf(x, sizeof x, "X:%d", s.x);
    std::snprintf(y, sizeof y, "Y:%d", s.y);
    std::snprintf(z, sizeof z, "Z:%d", s.z);
    return {x, y, z};
}

std::vector<std::size_t> drawn_samples(std::size_t n, int plot_width_px) {
    std::vector<std::size_t> out;
    const std::size_t columns = static_cast<std::size_t>(std::max(plot_width_px, 1)) + 1;
    if (n <= columns) {
        for (std::size_t i = 0; i < n; ++i) out.push_back(i);
        return out;
    }
    std::size_t last_column = static_cast<std::size_t>(-1);
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t column = i * (columns - 1) / (n - 1);
        if (column != last_column) out.push_back(i);
        last_column = column;
    }
    if (out.back() != n - 1) out.push_back(n - 1);  // the line reaches the right edge
    return out;
}

long cursor_index(long second, std::size_t n) {
    if (n == 0) return -1;
    return std::clamp<long>(second, 0, static_cast<long>(n) - 1);
}

}  // namespace telemetry
