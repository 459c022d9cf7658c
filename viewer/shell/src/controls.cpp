#include "shell/controls.h"

#include <iterator>

namespace shell {
namespace {

using K = ControlKind;
constexpr Layout M = Layout::main;
constexpr Layout P = Layout::menu;
constexpr Layout T = Layout::translate;

const ControlSpec kControls[] = {
    // The caption strip ("Caption").
    {M, "ctnCaption", K::container},
    {M, "btnTitle", K::button, 62},
    {M, "btnOpen", K::button, 32},
    {M, "btnHelp", K::button, 40},
    {M, "minbtn", K::button, 56},
    {M, "maxbtn", K::button, 57},
    {M, "restorebtn", K::button, 58},
    {M, "closebtn", K::button, 55},
    // The video, map and telemetry ("Allwinview").
    {M, "ctnClient", K::container},
    {M, "wndMedia", K::video_host},
    {M, "gpsview", K::browser},
    {M, "speed_cur_lab", K::label},
    {M, "latpos_lab", K::label},
    {M, "date_lab", K::label},
    {M, "time_lab", K::label},
    {M, "compass_cur", K::image},
    // The control bar ("PlayPanel").
    {M, "ctnPlayWnd", K::container},
    {M, "sliderPlay", K::seek_slider, 59},
    {M, "labelPlayTime", K::label},
    {M, "Label_PlayPath", K::label},
    {M, "btnOpenMini", K::button, 49},
    {M, "btnPrePlay", K::button, 33},
    {M, "btnPlay", K::button, 20},
    {M, "btnPause", K::button, 31},
    {M, "btnStop", K::button, 21},
    {M, "btnNextPlay", K::button, 34},
    {M, "top_btn", K::button, 23},
    {M, "downbtn", K::button, 24},
    {M, "leftbtn", K::button, 22},
    {M, "widebtn", K::button, 25},
    {M, "split2btn", K::button, 28},
    {M, "split4btn", K::button, 27},
    {M, "ballbtn", K::button, 26},
    {M, "brightness", K::button, 41},
    {M, "sliderBright", K::slider, 61},
    {M, "OffMirrorbtn", K::button, 42},
    {M, "OnMirrorbtn", K::button, 43},
    {M, "btnVolume", K::button, 29},
    {M, "btnVolumeZero", K::button, 30},
    {M, "sliderVol", K::slider, 60},
    {M, "btnTranslate", K::button, 38},
    {M, "btnBiaoding", K::button, 39},
    {M, "btnScreenFull", K::button, 35},
    {M, "btnScreenNormal", K::button, 37},
    {M, "btnPlaylistShow", K::button},
    {M, "btnPlaylistHide", K::button},
    {M, "gsensor_panel", K::container},
    {M, "WndImageCalibration", K::chart},
    // The playlist ("Playlist").
    {M, "ctnPlaylist", K::container},
    {M, "PlayListTitle", K::label},
    {M, "btnPlayMode", K::button, 45},
    {M, "btnAdd", K::button, 46},
    {M, "btnDelete", K::button, 47},
    {M, "btnDelOne", K::button, 48},
    {M, "editSearch", K::edit},
    {M, "btnSearch", K::button},
    {M, "treePlaylist", K::tree},
    {M, "nodePlaylist", K::tree_model},
    // The play-mode menu ("menu").
    {P, "MenuWnd", K::popover},
    {P, "menuSequence", K::button},
    {P, "menuRandom", K::button},
    {P, "menuSingleCircle", K::button},
    {P, "lab_menuSequence", K::label},
    {P, "lab_menuRandom", K::label},
    {P, "lab_menuSingleCircle", K::label},
    {P, "lab_item0", K::image},
    {P, "lab_item1", K::image},
    {P, "lab_item2", K::image},
    // The conversion dialog ("translage").
    {T, "TranslateWnd", K::window},
    {T, "Label_title", K::label},
    {T, "minbtn", K::button},
    {T, "closebtn", K::button},
    {T, "wndMedia", K::video_host},
    {T, "Label_prompt", K::label},
    {T, "btnAdd", K::button},
    {T, "srcEdit", K::edit},
    {T, "Label_direct", K::label},
    {T, "optUp", K::option},
    {T, "optDown", K::option},
    {T, "optLeft", K::option},
    {T, "optRight", K::option},
    {T, "Label_model", K::label},
    {T, "optWide", K::option},
    {T, "optSlit2", K::option},
    {T, "optSlit4", K::option},
    {T, "Label_quality", K::label},
    {T, "comboquality", K::combo},
    {T, "Label_process", K::label},
    {T, "ProgressTranslate", K::progress},
    {T, "labpersent", K::label},
    {T, "Label_remain", K::label},
    {T, "labetime", K::label},
    {T, "Label_output", K::label},
    {T, "editPath", K::edit},
    {T, "btnBorse", K::button},
    {T, "btnStart", K::button},
    {T, "btnStop", K::button},
};

}  // namespace

const ControlSpec* control_specs(std::size_t* count) {
    *count = std::size(kControls);
    return kControls;
}

std::string_view control_kind_name(ControlKind kind) {
    switch (kind) {
        case K::container:
            return "container";
        case K::button:
            return "button";
        case K::label:
            return "label";
        case K::image:
            return "image";
        case K::slider:
            return "slider";
        case K::seek_slider:
            return "seek slider";
        case K::video_host:
            return "video host";
        case K::browser:
            return "browser";
        case K::chart:
            return "chart";
        case K::edit:
            return "edit";
        case K::tree:
            return "tree";
        case K::tree_model:
            return "tree model";
        case K::option:
            return "option";
        case K::combo:
            return "combo";
        case K::progress:
            return "progress";
        case K::popover:
            return "popover";
        case K::window:
            return "window";
    }
    return "?";
}

}  // namespace shell
