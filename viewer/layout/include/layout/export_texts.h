// The conversion dialog's texts by number from the language plug-in: which
// control shows which text, which tooltip, and the message boxes' texts.
//
// Thread-safety: constant data.
#pragma once

#include <string_view>

namespace view_layout {

struct ControlText {
    std::string_view control;
    int text;
};

// Labels and buttons. The title takes text 1.
inline constexpr ControlText kExportControlTexts[] = {
    {"Label_title", 1}, {"Label_prompt", 2},  {"Label_direct", 3},  {"Label_quality", 4},
    {"Label_model", 8}, {"Label_process", 9}, {"Label_remain", 10}, {"Label_output", 11},
    {"btnAdd", 12},     {"btnStart", 13},     {"btnStop", 14},      {"btnBorse", 15},
};

// The direction and layout options say what the main window's buttons for
// the same view say.
inline constexpr ControlText kExportTooltips[] = {
    {"optLeft", 22}, {"optUp", 23},    {"optDown", 24},
    {"optWide", 25}, {"optSlit4", 27}, {"optSlit2", 28},
};

// The quality items low, medium and high.
inline constexpr int kQualityItemTexts[] = {5, 6, 7};

inline constexpr int kTextExportFinished = 16;
inline constexpr int kTextExportCaption = 17;
inline constexpr int kTextNoOutputPath = 18;
inline constexpr int kTextCannotPlay = 36;
// The caption of the message that the preview cannot play a file.
inline constexpr std::string_view kCannotPlayCaption = "Lumora Player";

// The direction options (view direction 0 to 2) and the layout options
// (layout 1 to 3), each with its number.
inline constexpr ControlText kDirectionOptions[] = {{"optUp", 0}, {"optDown", 1}, {"optLeft", 2}};
inline constexpr ControlText kLayoutOptions[] = {{"optWide", 1}, {"optSlit2", 2}, {"optSlit4", 3}};

}  // namespace view_layout
