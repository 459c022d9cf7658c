#include "shell/window_rules.h"

namespace shell {
namespace {

constexpr int kSmallScreenWidth = 1024;
constexpr int kMediumScreenWidth = 1280;
constexpr int kWideListScreenWidth = 1366;
// Room for the caption, the control bar and the frame under a 16:9 picture.
constexpr int kChromeHeight = 114;
constexpr int kSearchBoxShortfall = 32;
constexpr int kSearchButtonFromRight = 24;

}  // namespace

WindowGeometry window_geometry_for_screen(int screen_width) {
    WindowGeometry g;
    if (screen_width <= kSmallScreenWidth) {
        g.width = 775;
    } else if (screen_width <= kMediumScreenWidth) {
        g.width = 968;
    } else {
        g.width = 1224;
    }
    g.height = g.width * 4 / 9 + kChromeHeight;
    const bool wide_list =
        screen_width > kMediumScreenWidth && screen_width <= kWideListScreenWidth;
    g.playlist_width = wide_list ? 246 : 225;
    g.search_width = g.playlist_width - kSearchBoxShortfall;
    g.search_button_x = g.playlist_width - kSearchButtonFromRight;
    return g;
}

int centred_origin(int origin, int screen, int size) {
    return origin + (screen - size) / 2;
}

}  // namespace shell
