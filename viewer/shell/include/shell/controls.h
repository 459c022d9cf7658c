// The named controls of the viewer's layouts: which layout holds each, what
// kind of control it is and which text number gives its tooltip. The GTK
// side applies the tooltips from this table; the tests check the built
// layouts against it.
//
// Thread-safety: constant data.
#pragma once

#include <cstddef>
#include <string_view>

namespace shell {

enum class ControlKind {
    container,
    button,
    label,
    image,
    slider,       // a plain slider
    seek_slider,  // the seek slider "MySlider"
    video_host,   // the native video window host "WndMediaDisplay"
    browser,      // the map browser "WkeWebkitUI"
    chart,        // the G-sensor chart "LineCharUI"
    edit,
    tree,
    tree_model,  // the playlist's root node: the tree's rows are its children
    option,      // one of a group of exclusive choices
    combo,
    progress,
    popover,  // a popup that closes when it loses the focus
    window,
};

// The layouts, by the file name they are built from.
enum class Layout { main, menu, translate };

struct ControlSpec {
    Layout layout;
    std::string_view name;
    ControlKind kind;
    int tooltip_text = 0;  // text number of its tooltip; 0: none
};

// Every control the viewer looks up by name.
const ControlSpec* control_specs(std::size_t* count);

// The tooltips the main window sets at start: 36 pairs of control name and
// text number.
inline constexpr std::size_t kMainTooltipCount = 36;

// "button", "seek slider", ... for messages.
std::string_view control_kind_name(ControlKind kind);

}  // namespace shell
