#include "controller/window_states.h"

#include <algorithm>
#include <cctype>

namespace controller {
namespace {

// Extensions of sound files, lower case, each followed by ';'.
constexpr const char* kMusicExtensions =
    "mp3;wma;wav;mid;rmi;aac;ac3;aiff;amr;m4a;mka;mp2;ogg;ra;au;flac;";

const char* const kLayoutButtons[] = {"split2btn", "split4btn", "widebtn", "ballbtn"};

}  // namespace

std::vector<ControlState> idle_controls() {
    return {{"brightness", false},   {"sliderBright", false}, {"split2btn", false},
            {"split4btn", false},    {"widebtn", false},      {"ballbtn", false},
            {"btnPlay", false},      {"OffMirrorbtn", false}, {"OnMirrorbtn", false},
            {"gsensor_panel", false}};
}

std::vector<ControlState> playing_controls(VideoKind kind, bool mirrored) {
    std::vector<ControlState> set;
    const bool fisheye = kind != VideoKind::flat;
    set.push_back({"brightness", fisheye});
    set.push_back({"sliderBright", fisheye});
    for (const char* name : kLayoutButtons) set.push_back({name, fisheye});
    set.push_back({"OffMirrorbtn", !fisheye && !mirrored});
    set.push_back({"OnMirrorbtn", !fisheye && mirrored});
    set.push_back({"btnPlay", false});
    set.push_back({"btnPause", true});
    return set;
}

bool is_music_file(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || dot + 1 == name.size()) return false;
    std::string ext = name.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::string list = kMusicExtensions;
    const std::string key = ext + ";";
    for (std::size_t at = list.find(key); at != std::string::npos; at = list.find(key, at + 1)) {
        if (at == 0 || list[at - 1] == ';') return true;
    }
    return false;
}

std::optional<int> playing_panel_height(const std::string& path, bool has_track) {
    if (is_music_file(path)) return std::nullopt;
    return has_track ? kPlayPanelWithChartHeight : kPlayPanelHeight;
}

}  // namespace controller
