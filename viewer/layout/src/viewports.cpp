#include "layout/view_layout.h"

namespace view_layout {

namespace {

// The player's draw modes that layouts use.
constexpr int kModeFlat = 0;
constexpr int kModeSphere = 2;
constexpr int kModeSphereWide = 5;
constexpr int kModeCylinder = 6;

// pi as the strip's aspect rule writes it, in single precision.
constexpr float kStripPi = 3.1415925f;

Viewports one_view(int width, int height, int mode, int limits_record) {
    Viewports v;
    v.count = 1;
    v.rects[0] = {0, 0, width, height};
    v.draw_mode = mode;
    v.limits_record = limits_record;
    return v;
}

Viewports two_views(int w, int h) {
    Viewports v;
    v.count = 2;
    v.rects[0] = {w / 4, 0, w / 2, h / 2};
    v.rects[1] = {w / 4, h / 2, w / 2, h / 2};
    v.draw_mode = kModeSphere;
    v.limits_record = 2;
    return v;
}

Viewports four_views(int w, int h) {
    Viewports v;
    v.count = 4;
    v.rects[0] = {0, 0, w / 2, h / 2};
    v.rects[1] = {w / 2, 0, w / 2, h / 2};
    v.rects[2] = {0, h / 2, w / 2, h / 2};
    v.rects[3] = {w / 2, h / 2, w / 2, h / 2};
    v.draw_mode = kModeSphere;
    v.limits_record = 3;
    return v;
}

Viewports strip_view(int w, int h) {
    Viewports v;
    v.count = 1;
    v.rects[0] = strip_rect(w, h);
    v.draw_mode = kModeCylinder;
    return v;
}

}  // namespace

Rect strip_rect(int width, int height) {
    const float w = static_cast<float>(width);
    const float h = static_cast<float>(height);
    if (h * kStripPi > w) {
        const int strip_height = static_cast<int>(w / kStripPi);
        return {0, (height - strip_height) / 2, width, strip_height};
    }
    const int strip_width = static_cast<int>(h * kStripPi);
    return {(width - strip_width) / 2, 0, strip_width, height};
}

Viewports layout_viewports(int layout, int width, int height) {
    switch (layout) {
        case kLayoutSingle:
            return one_view(width, height, kModeSphere, 1);
        case kLayoutWide:
            return one_view(width, height, kModeSphereWide, 0);
        case kLayoutSplit2:
            return two_views(width, height);
        case kLayoutSplit4:
            return four_views(width, height);
        case kLayoutStrip:
            return strip_view(width, height);
        default:
            return {};
    }
}

Viewports display_type_viewports(int display_type, int width, int height) {
    switch (display_type) {
        case 0:
            return one_view(width, height, kModeSphereWide, 0);
        case 1:
            return one_view(width, height, kModeSphere, 1);
        case 2:
            return two_views(width, height);
        case 3:
            return strip_view(width, height);
        case 4:
            return four_views(width, height);
        default:
            return {};
    }
}

Viewports flat_viewports(int width, int height) {
    return one_view(width, height, kModeFlat, kNoLimitsRecord);
}

}  // namespace view_layout
