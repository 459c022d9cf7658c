// The window's control sets and play panel height by playback state.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "controller/window_states.h"

namespace {

using controller::VideoKind;

std::map<std::string, bool> as_map(const std::vector<controller::ControlState>& set) {
    std::map<std::string, bool> m;
    for (const auto& c : set) m[c.name] = c.visible;  // a later entry wins, as applied
    return m;
}

TEST(ControlSets, IdleHidesTheViewControlsThePlayButtonAndTheChart) {
    const auto idle = as_map(controller::idle_controls());
    for (const char* name :
         {"brightness", "sliderBright", "split2btn", "split4btn", "widebtn", "ballbtn", "btnPlay",
          "OffMirrorbtn", "OnMirrorbtn", "gsensor_panel"}) {
        ASSERT_EQ(idle.count(name), 1u) << name;
        EXPECT_FALSE(idle.at(name)) << name;
    }
}

TEST(ControlSets, FisheyeGetsLayoutsAndBrightnessFlatGetsTheMirrorItIsNotIn) {
    const auto fisheye = as_map(controller::playing_controls(VideoKind::fisheye, true));
    for (const char* name : {"brightness", "sliderBright", "split2btn", "split4btn", "widebtn",
                             "ballbtn", "btnPause"}) {
        EXPECT_TRUE(fisheye.at(name)) << name;
    }
    EXPECT_FALSE(fisheye.at("OffMirrorbtn"));
    EXPECT_FALSE(fisheye.at("OnMirrorbtn"));
    EXPECT_FALSE(fisheye.at("btnPlay"));

    const auto flat = as_map(controller::playing_controls(VideoKind::flat, false));
    for (const char* name : {"brightness", "sliderBright", "split2btn", "split4btn", "widebtn",
                             "ballbtn", "OnMirrorbtn"}) {
        EXPECT_FALSE(flat.at(name)) << name;
    }
    EXPECT_TRUE(flat.at("OffMirrorbtn"));
    const auto mirrored = as_map(controller::playing_controls(VideoKind::flat, true));
    EXPECT_TRUE(mirrored.at("OnMirrorbtn"));
    EXPECT_FALSE(mirrored.at("OffMirrorbtn"));
}

TEST(ControlSets, PanelHeightFollowsTheTrackAndLeavesMusicAlone) {
    EXPECT_EQ(controller::playing_panel_height("/r/a.mp4", false), controller::kPlayPanelHeight);
    EXPECT_EQ(controller::playing_panel_height("/r/a.TS", true),
              controller::kPlayPanelWithChartHeight);
    EXPECT_FALSE(controller::playing_panel_height("/r/song.FLAC", true).has_value());
    EXPECT_TRUE(controller::is_music_file("/r/x.mp3"));
    EXPECT_TRUE(controller::is_music_file("/r/x.Ra"));
    // An extension that only ends like one of the list's is not music.
    EXPECT_FALSE(controller::is_music_file("/r/x.a"));
    EXPECT_FALSE(controller::is_music_file("/r.mp3/x"));
    EXPECT_FALSE(controller::is_music_file("/r/mp3"));
}

}  // namespace
