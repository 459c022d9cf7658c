#include "layout/export_record.h"

#include <cctype>
#include <cmath>
#include <cstdio>

namespace view_layout {

namespace {

constexpr int kBitrateKbit = 10240;  // units of 1024 bit/s: 10485760 bit/s
constexpr Quality kQualities[kQualityCount] = {
    {kQualityLetters[0], 640, 384, kBitrateKbit},
    {kQualityLetters[1], 800, 480, kBitrateKbit},
    {kQualityLetters[2], 1280, 768, kBitrateKbit},
};

// The record's own orientation for a dewarped export.
constexpr int kExportOrientation = 1;

// v truncated toward zero, then held in [lo, hi]; NaN gives lo.
int scaled_and_clamped(int value, float scale, int lo, int hi) {
    const float v = static_cast<float>(value) * scale;
    if (!(v > static_cast<float>(lo))) return lo;
    if (v >= static_cast<float>(hi)) return hi;
    return static_cast<int>(v);
}

void fill_view(ConverterInitParam& p, int k, const PreviewView& view, float pitch_lower_deg,
               float sx, float sy) {
    p.zoom[k] = view.zoom;
    p.pitch[k] = view.angles.pitch_deg - pitch_lower_deg;
    p.yaw[k] = view.angles.yaw_deg;
    p.roll[k] = view.angles.roll_deg;
    p.prj_mode[k] = view.draw_mode;
    p.viewport_x[k] = scaled_and_clamped(view.rect.x, sx, 0, p.dst_width - 1);
    p.viewport_y[k] = scaled_and_clamped(view.rect.y, sy, 0, p.dst_height - 1);
    p.viewport_width[k] = scaled_and_clamped(view.rect.width, sx, 0, p.dst_width);
    p.viewport_height[k] = scaled_and_clamped(view.rect.height, sy, 0, p.dst_height);
}

}  // namespace

std::optional<Quality> quality_of_index(int index) {
    if (index < 0 || index >= kQualityCount) return std::nullopt;
    return kQualities[index];
}

std::optional<Quality> quality_of_letter(char letter) {
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    for (const Quality& q : kQualities) {
        if (q.letter == upper) return q;
    }
    return std::nullopt;
}

void set_quality(ConverterInitParam& param, const Quality& quality) {
    param.dst_width = quality.width;
    param.dst_height = quality.height;
    param.bitrate = quality.bitrate;
}

bool fill_export_viewports(ConverterInitParam& param, const PreviewLayout& preview) {
    if (preview.count < 1 || preview.count > kMaxViewports || preview.width <= 0 ||
        preview.height <= 0 || param.dst_width <= 0 || param.dst_height <= 0) {
        return false;
    }
    const float sx = static_cast<float>(param.dst_width) / static_cast<float>(preview.width);
    const float sy = static_cast<float>(param.dst_height) / static_cast<float>(preview.height);
    const float lower = preview.count % 2 == 0 ? kSplitExportPitchLowerDeg : 0.0f;
    for (int k = 0; k < preview.count; ++k) fill_view(param, k, preview.views[k], lower, sx, sy);
    param.viewport_count = preview.count;
    param.orientation = kExportOrientation;
    return true;
}

PreviewLayout default_preview(int layout, int direction, int width, int height,
                              const std::string& calib, int video_height) {
    const Viewports views = layout_viewports(layout, width, height);
    PreviewLayout preview;
    preview.width = width;
    preview.height = height;
    preview.count = views.count;
    for (int k = 0; k < views.count; ++k) {
        PreviewView& v = preview.views[k];
        v.rect = views.rects[k];
        v.draw_mode = views.draw_mode;
        v.zoom =
            default_zoom(views.draw_mode, video_height, video_height, v.rect.width, v.rect.height);
    }
    int auto_pitch = 0;
    if (layout != kLayoutWide) {
        const int rows = video_height > 0 ? calibration_frame_height(calib.c_str()) : 0;
        auto_pitch = automatic_pitch_deg(rows, preview.views[0].zoom);
    }
    for (int k = 0; k < views.count; ++k) {
        const auto a = default_view_angles(layout, k, direction);
        if (a) preview.views[k].angles = with_automatic_pitch(*a, direction, auto_pitch);
    }
    return preview;
}

std::optional<std::string> proposed_output_name(const std::string& source, char quality_letter) {
    const std::size_t dot = source.rfind('.');
    if (dot == std::string::npos) return std::nullopt;
    std::string name = source.substr(0, dot);
    if (quality_letter != '\0') {
        name += '_';
        name += quality_letter;
    }
    return name + "_out.mp4";
}

std::string percent_text(float percent) {
    if (!std::isfinite(percent)) return "--%";
    char text[64];
    std::snprintf(text, sizeof text, "%.2f%%", static_cast<double>(percent));
    return text;
}

int progress_bar_value(float percent) {
    constexpr float kFull = 100.0f;
    if (!std::isfinite(percent) || percent <= 0.0f) return 0;
    if (percent >= kFull) return static_cast<int>(kFull);
    return static_cast<int>(percent);
}

std::string remaining_text(int minutes, int seconds) {
    constexpr int kMaxMinutes = 9999;
    constexpr int kSecondsPerMinute = 60;
    if (minutes < 0 || minutes > kMaxMinutes || seconds < 0 || seconds >= kSecondsPerMinute) {
        return "--:--";
    }
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d", minutes, seconds);
    return text;
}

}  // namespace view_layout
