// The player controller against a player that records its calls: what each
// layout and direction asks of the player, how opens, stops and closes
// interleave, the volume a new player gets, and that only one thread ever
// calls the player.
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "autocalib/autocalib.h"
#include "controller/player_controller.h"
#include "fake_player.h"
#include "temp_dir.h"

namespace controller_test {
namespace {

using controller::PlayerController;

constexpr int kW = 1224, kH = 658;  // the video area of a 1366-wide screen's window

class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        static platform::NativeWindow next_host = 0x70000;
        host_ = ++next_host;
        platform::register_window(host_, 0, nullptr);
        ::setenv("XDG_CACHE_HOME", dir_.file("cache").c_str(), 1);
        kvp_test::write_file(dir_.file("rarudir.cfg"),
                             "[camera_param_0]\npicth=-100,10\nyaw=-180,180\nroll=0,0\n"
                             "[camera_param_1]\npicth=-90,0\n"
                             "[camera_param_2]\npicth=-80,-10\nyaw=-170,170\nroll=-1,1\n"
                             "[camera_param_3]\npicth=-150,-20\nyaw=-180,180\nroll=-5,5\n");
        media_ = dir_.file("clip.mp4");
        kvp_test::write_file(media_, "not read by the fake player");
        make_controller();
    }
    // A new controller: an empty view table, as a new window has.
    void make_controller() {
        controller_.reset();
        controller::PlayerFactory factory;
        factory.create = [this]() -> DOR_SpherePlayer* {
            players_.push_back(new FakePlayer(config_, log_));
            return players_.back();
        };
        factory.destroy = [](DOR_SpherePlayer* p) { delete p; };
        controller_ = std::make_unique<PlayerController>(host_, factory, dir_.path());
    }
    void TearDown() override {
        controller_.reset();
        platform::unregister_window(host_);
    }

    // A calibration of a 480-row lens picture beside the recording.
    void calibration_beside() {
        autocalib::write_calibration_file(dir_.file("lens.inf").c_str(), 200.0f, 240.0f, 240.0f,
                                          240.0f, 480, 480);
    }

    // The next message of `kind` for the host within `ms`; its wParam and
    // lParam, or {-1, -1}.
    std::pair<long, long> wait_for(unsigned kind, int ms = 3000) {
        platform::WindowMessage m;
        while (platform::wait_message(host_, &m, ms)) {
            if (m.message == kind)
                return {static_cast<long>(m.wparam), static_cast<long>(m.lparam)};
        }
        return {-1, -1};
    }

    unsigned open_and_wait(int layout = 3, int direction = 1) {
        controller_->set_view(direction, layout, kW, kH);
        unsigned g = 0;
        EXPECT_TRUE(controller_->open(media_, nullptr, kW, kH, &g));
        EXPECT_EQ(wait_for(controller::kMsgFileOpened).first, static_cast<long>(g));
        return g;
    }

    // The calls a layout change makes.
    std::vector<std::string> view_calls(int direction, int layout) {
        controller_->drain();
        log_.clear();
        controller_->set_view(direction, layout, kW, kH);
        controller_->drain();
        return log_.snapshot();
    }

    kvp_test::TempDir dir_;
    platform::NativeWindow host_ = 0;
    FakeConfig config_;
    CallLog log_;
    std::vector<FakePlayer*> players_;
    std::string media_;
    std::unique_ptr<PlayerController> controller_;
};

std::vector<std::string> only(const std::vector<std::string>& calls, const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& c : calls) {
        if (c.compare(0, prefix.size(), prefix) == 0) out.push_back(c);
    }
    return out;
}

TEST_F(ControllerTest, FourViewsLookingDownAreLiftedByTheAutomaticPitch) {
    calibration_beside();
    open_and_wait(3, 1);
    // Once more: the views stored when the file opened come back.
    const auto calls = view_calls(1, 3);
    EXPECT_EQ(
        only(calls, "SetViewport"),
        (std::vector<std::string>{"SetViewport 0 0 612 329 0", "SetViewport 612 0 612 329 1",
                                  "SetViewport 0 329 612 329 2", "SetViewport 612 329 612 329 3"}));
    EXPECT_EQ(only(calls, "SetDrawMode"),
              (std::vector<std::string>{"SetDrawMode 2 0", "SetDrawMode 2 1", "SetDrawMode 2 2",
                                        "SetDrawMode 2 3"}));
    // 242 / (240 / 180) x 0.75 / 1.5 = 90.75 -> 90, plus 5, downwards.
    EXPECT_EQ(only(calls, "SetViewAngles"),
              (std::vector<std::string>{"SetViewAngles -95 -15 0 0", "SetViewAngles -95 176 0 1",
                                        "SetViewAngles -95 -91 0 2", "SetViewAngles -95 99 0 3"}));
    EXPECT_EQ(only(calls, "SetViewAngleLimits").front(),
              "SetViewAngleLimits -150 -20 -180 180 -5 5 0");
    EXPECT_EQ(log_.count("SetViewAngleLimits"), 4);
}

// The calls after Play of an open in `layout` looking in `direction`, by a
// new window's controller.
std::vector<std::string> calls_after_play(const std::vector<std::string>& calls) {
    const auto play = std::find(calls.begin(), calls.end(), "Play");
    return std::vector<std::string>(play == calls.end() ? calls.end() : play + 1, calls.end());
}

TEST_F(ControllerTest, EachLayoutAsksThePlayerForItsViewports) {
    struct Case {
        int layout, direction;
        std::vector<std::string> viewports, modes, angles;
        std::string limits;  // of viewport 0, "" for none
    };
    const Case cases[] = {
        {0, 0, {"SetViewport 0 0 1224 658 0"}, {"SetDrawMode 2 0"}, {}, "-90 0 0 0 0 0 0"},
        {1,
         0,
         {"SetViewport 0 0 1224 658 0"},
         {"SetDrawMode 5 0"},
         {"SetViewAngles -130 90 0 0"},
         "-100 10 -180 180 0 0 0"},
        {1,
         2,
         {"SetViewport 0 0 1224 658 0"},
         {"SetDrawMode 5 0"},
         {"SetViewAngles -90 -90 0 0"},
         "-100 10 -180 180 0 0 0"},
        // Up and to the side the split views keep their default pitch.
        {2,
         0,
         {"SetViewport 306 0 612 329 0", "SetViewport 306 329 612 329 1"},
         {"SetDrawMode 2 0", "SetDrawMode 2 1"},
         {"SetViewAngles -150 -90 0 0", "SetViewAngles -150 90 0 1"},
         "-80 -10 -170 170 -1 1 0"},
        {2,
         2,
         {"SetViewport 306 0 612 329 0", "SetViewport 306 329 612 329 1"},
         {"SetDrawMode 2 0", "SetDrawMode 2 1"},
         {"SetViewAngles -150 90 0 0", "SetViewAngles -90 90 0 1"},
         "-80 -10 -170 170 -1 1 0"},
        // The strip: as wide as the height allows (658 x 3.1415925 > 1224).
        {4, 1, {"SetViewport 0 134 1224 389 0"}, {"SetDrawMode 6 0"}, {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.layout) + "/" + std::to_string(c.direction));
        make_controller();
        log_.clear();
        open_and_wait(c.layout, c.direction);
        controller_->drain();
        const auto calls = calls_after_play(log_.snapshot());
        EXPECT_EQ(only(calls, "SetViewport"), c.viewports);
        EXPECT_EQ(only(calls, "SetDrawMode"), c.modes);
        EXPECT_EQ(only(calls, "SetViewAngles"), c.angles);
        const auto limits = only(calls, "SetViewAngleLimits");
        if (c.limits.empty()) {
            EXPECT_TRUE(limits.empty());
        } else {
            ASSERT_FALSE(limits.empty());
            EXPECT_EQ(limits.front(), "SetViewAngleLimits " + c.limits);
        }
        EXPECT_EQ(static_cast<int>(only(calls, "DisableViewport").size()),
                  4 - static_cast<int>(c.viewports.size()));
    }
    EXPECT_EQ(only(view_calls(0, 4), "SetOrientation"),
              std::vector<std::string>{"SetOrientation 0"});
    EXPECT_EQ(only(view_calls(2, 4), "SetOrientation"),
              std::vector<std::string>{"SetOrientation 1"});
}

TEST_F(ControllerTest, ALayoutsViewIsKeptAndShownAgain) {
    open_and_wait(1, 0);
    controller_->run_on_worker([](DOR_SpherePlayer* p) { p->SetViewAngles(-40, 10, 0, 0); });
    controller_->save_view();
    view_calls(0, 3);
    const auto calls = view_calls(0, 1);
    EXPECT_EQ(only(calls, "SetViewAngles"), std::vector<std::string>{"SetViewAngles -40 10 0 0"});

    // A forgotten view gives way to the layout's default view.
    controller_->forget_view();
    const auto fresh = only(view_calls(0, 1), "SetViewAngles");
    ASSERT_EQ(fresh.size(), 1u);
    EXPECT_NE(fresh[0], "SetViewAngles -40 10 0 0");
}

TEST_F(ControllerTest, AFlatVideoShowsOnePlainView) {
    config_.width = 640;
    config_.height = 360;
    open_and_wait(3, 1);
    EXPECT_EQ(controller_->snapshot().kind, controller::VideoKind::flat);
    const auto calls = view_calls(1, 3);
    EXPECT_EQ(only(calls, "SetViewport"), std::vector<std::string>{"SetViewport 0 0 1224 658 0"});
    EXPECT_EQ(only(calls, "SetDrawMode"), std::vector<std::string>{"SetDrawMode 0 0"});
    EXPECT_EQ(only(calls, "DisableViewport").size(), 3u);
    EXPECT_TRUE(only(calls, "SetViewAngles").empty());
    // Mirror and brightness are one filter: neither drops the other.
    log_.clear();
    controller_->set_mirror(true);
    controller_->set_brightness(100);
    controller_->set_brightness(50);
    controller_->drain();
    EXPECT_EQ(only(log_.snapshot(), "SetVideoFilter"),
              (std::vector<std::string>{"SetVideoFilter hflip",
                                        "SetVideoFilter hflip,eq=contrast=1.0:brightness=1.0",
                                        "SetVideoFilter hflip"}));
}

TEST_F(ControllerTest, InitIsTriedElevenTimesAndAFailedOpenNeverPlays) {
    config_.init_results.assign(11, DOR_PLAYER_FAILED);
    unsigned g = 0;
    ASSERT_TRUE(controller_->open(media_, nullptr, kW, kH, &g));
    const auto failed = wait_for(controller::kMsgOpenFailed, 6000);
    EXPECT_EQ(failed.first, static_cast<long>(g));
    EXPECT_EQ(failed.second, DOR_PLAYER_FAILED);
    EXPECT_EQ(log_.count("Init"), 11);
    EXPECT_EQ(log_.count("Play"), 0);
    EXPECT_FALSE(controller_->snapshot().open);

    // A file that cannot be opened, or holds no video, is not tried again.
    for (const int code : {DOR_PLAYER_OPEN_FAILED, DOR_PLAYER_NO_VIDEO}) {
        log_.clear();
        config_.init_results.assign(1, code);
        ASSERT_TRUE(controller_->open(media_, nullptr, kW, kH));
        EXPECT_EQ(wait_for(controller::kMsgOpenFailed).second, code);
        EXPECT_EQ(log_.count("Init"), 1);
        EXPECT_EQ(log_.count("Play"), 0);
    }
}

TEST_F(ControllerTest, WhatItRefusesToOpenStartsNothing) {
    EXPECT_FALSE(controller_->open("", nullptr, kW, kH));
    EXPECT_FALSE(controller_->open(dir_.file("missing.mp4"), nullptr, kW, kH));
    kvp_test::write_file(dir_.file("clip.avi"), "x");
    EXPECT_FALSE(controller_->open(dir_.file("clip.avi"), nullptr, kW, kH));
    EXPECT_FALSE(controller_->open(dir_.path(), nullptr, kW, kH));  // a folder
    controller_->drain();
    EXPECT_EQ(log_.created, 0);
}

TEST_F(ControllerTest, ANewerOpenOrAStopCancelsAnOpenInProgress) {
    // The first open's Init waits until the second open has been asked for.
    std::atomic<bool> second_asked{false};
    config_.on_init = [&] {
        while (!second_asked) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    config_.init_results.assign(1, DOR_PLAYER_FAILED);  // the first open would retry
    unsigned first = 0, second = 0;
    ASSERT_TRUE(controller_->open(media_, nullptr, kW, kH, &first));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(controller_->open(media_, nullptr, kW, kH, &second));
    second_asked = true;
    EXPECT_EQ(wait_for(controller::kMsgFileOpened).first, static_cast<long>(second));
    controller_->drain();
    EXPECT_EQ(log_.count("Play"), 1);  // the first open gave up before playing
    EXPECT_EQ(controller_->snapshot().generation, second);

    // A stop during an open: the open is not reported, the stop is.
    second_asked = false;
    config_.init_results.assign(1, DOR_PLAYER_FAILED);
    ASSERT_TRUE(controller_->open(media_, nullptr, kW, kH));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    controller_->stop();
    second_asked = true;
    EXPECT_NE(wait_for(controller::kMsgStopped).first, -1);
    controller_->drain();
    platform::WindowMessage m;
    while (platform::take_message(host_, &m)) EXPECT_NE(m.message, controller::kMsgFileOpened);
    EXPECT_FALSE(controller_->snapshot().open);
}

TEST_F(ControllerTest, ClosingDuringAnOpenEndsCleanly) {
    std::atomic<bool> in_init{false};
    config_.on_init = [&] {
        in_init = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    };
    config_.init_results.assign(3, DOR_PLAYER_FAILED);
    ASSERT_TRUE(controller_->open(media_, nullptr, kW, kH));
    while (!in_init) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    controller_.reset();  // waits for the running step only, not for the retries
    EXPECT_EQ(log_.count("Init"), 1);
    EXPECT_EQ(log_.created, log_.destroyed);
}

TEST_F(ControllerTest, ANewPlayerGetsTheRememberedVolume) {
    controller_->set_volume(50);
    open_and_wait();
    EXPECT_EQ(log_.matching("SetVolume").front(), "SetVolume 64");
    controller_->mute();
    controller_->stop();
    wait_for(controller::kMsgStopped);
    log_.clear();
    open_and_wait();
    EXPECT_EQ(log_.matching("SetVolume"), std::vector<std::string>{"SetVolume 0"});
    EXPECT_EQ(controller_->snapshot().volume, 0);
}

TEST_F(ControllerTest, OnlyOneThreadEverCallsThePlayer) {
    open_and_wait();
    std::vector<std::thread> ui;
    for (int t = 0; t < 4; ++t) {
        ui.emplace_back([this, t] {
            for (int i = 0; i < 40; ++i) {
                switch ((i + t) % 7) {
                    case 0:
                        controller_->pause();
                        break;
                    case 1:
                        controller_->resume();
                        break;
                    case 2:
                        controller_->seek_permille(i * 25);
                        break;
                    case 3:
                        controller_->set_view(i % 3, i % 5, kW, kH);
                        break;
                    case 4:
                        controller_->save_view();
                        break;
                    case 5:
                        controller_->set_volume(i);
                        break;
                    default:
                        controller_->step(i % 2 == 0);
                        break;
                }
            }
        });
    }
    for (auto& t : ui) t.join();
    controller_->drain();
    EXPECT_EQ(log_.overlaps, 0);
    std::lock_guard<std::mutex> lock(log_.mutex);
    ASSERT_FALSE(log_.threads.empty());
    for (const auto& id : log_.threads) EXPECT_EQ(id, log_.threads.front());
}

TEST_F(ControllerTest, SeeksStayInsideTheRecordingAndKeepAPause) {
    open_and_wait();  // 90 s
    log_.clear();
    controller_->seek_permille(1000);  // the end: the last whole second
    controller_->pause();
    controller_->drain();
    controller_->seek_permille(499);  // half-way, paused
    controller_->drain();
    EXPECT_EQ(only(log_.snapshot(), "Seek"),
              (std::vector<std::string>{"Seek 1 29 0", "Seek 0 45 0"}));
    EXPECT_EQ(log_.count("Pause"), 2);  // the pause, and again after the paused seek
}

TEST_F(ControllerTest, PlayerThreadsOnlyPostTheEndAndFailures) {
    const unsigned g = open_and_wait();
    FakePlayer* player = players_.back();
    std::thread([player] { player->end(); }).join();
    EXPECT_EQ(wait_for(controller::kMsgEndOfFile).first, static_cast<long>(g));
    std::thread([player] { player->fail(DOR_PLAYER_DISPLAY_FAILED); }).join();
    const auto failed = wait_for(controller::kMsgDisplayFailed);
    EXPECT_EQ(failed.first, static_cast<long>(g));
    EXPECT_EQ(failed.second, DOR_PLAYER_DISPLAY_FAILED);
}

TEST_F(ControllerTest, TheCalibrationComesFromBesideThenFromTheCache) {
    open_and_wait();
    // Nothing beside: the player prepares one into the per-user cache.
    const auto prepared = log_.matching("PrepareCalibration");
    ASSERT_EQ(prepared.size(), 1u);
    EXPECT_NE(prepared[0].find(dir_.file("cache") + "/kvp/clip-"), std::string::npos);
    EXPECT_EQ(prepared[0].find(dir_.path() + "/1920.inf"), std::string::npos);
    // One beside wins and nothing is prepared.
    calibration_beside();
    controller_->stop();
    wait_for(controller::kMsgStopped);
    log_.clear();
    open_and_wait();
    EXPECT_EQ(log_.count("PrepareCalibration"), 0);
    EXPECT_EQ(controller_->snapshot().calibration_path, dir_.file("lens.inf"));
}

}  // namespace
}  // namespace controller_test
