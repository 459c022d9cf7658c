// The display thread's events and the view operations while playing:
// turning a view by dragging, the wheel, double clicks, dropped files,
// window size changes, draw-mode changes, and a window of the player's own.
#include <cmath>

#include <SDL2/SDL.h>

#include "playback_support.h"

namespace playback_test {
namespace {

class ViewEventsTest : public PlaybackTest {
protected:
    // Viewport 0 on the left half, viewport 1 on the right half, both in
    // `mode` (flat by default: cheap to draw); playing a 2 s clip.
    void play_two_views(int mode = 0) {
        ASSERT_EQ(open("play_video.mp4", mode), DOR_PLAYER_OK);
        player_->SetViewport(0, 0, kWindowWidth / 2, kWindowHeight, 0);
        player_->SetViewport(kWindowWidth / 2, 0, kWindowWidth / 2, kWindowHeight, 1);
        player_->SetDrawMode(mode, 1);
        ASSERT_EQ(play(), DOR_PLAYER_OK) << player_->GetLastErrorText();
        ASSERT_TRUE(wait_position_at_least(50, 5000));
    }

    static void push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError(); }
    static void motion(int x, int y, int xrel, int yrel, Uint32 buttons) {
        SDL_Event e{};
        e.type = SDL_MOUSEMOTION;
        e.motion.x = x;
        e.motion.y = y;
        e.motion.xrel = xrel;
        e.motion.yrel = yrel;
        e.motion.state = buttons;
        push(e);
    }
    static void button(Uint32 type, Uint8 clicks) {
        SDL_Event e{};
        e.type = type;
        e.button.button = SDL_BUTTON_LEFT;
        e.button.clicks = clicks;
        push(e);
    }
    // Waits until the display thread has handled everything pushed so far:
    // a wheel event is pushed and its mouse message awaited.
    void settle() {
        const int before = count_of(WM_PLAYER_MOUSE);
        SDL_Event e{};
        e.type = SDL_MOUSEWHEEL;
        e.wheel.y = 0;  // counts as "down": zoom - 0.05 on the viewport under the mouse
        push(e);
        ASSERT_TRUE(wait_until([&] { return count_of(WM_PLAYER_MOUSE) > before; }, 3000));
    }
    std::array<float, 3> angles(int v) {
        std::array<float, 3> a{};
        player_->GetViewAngles(v, &a[0], &a[1], &a[2]);
        return a;
    }
};

TEST_F(ViewEventsTest, DraggingWithTheLeftButtonTurnsTheViewUnderThePointer) {
    play_two_views();
    motion(240, 100, 10, -5, SDL_BUTTON_LMASK);  // over viewport 1 (right half)
    ASSERT_TRUE(wait_until([&] { return angles(1)[1] != 0.0f; }, 3000));
    EXPECT_EQ(angles(1)[0], -5.0f);
    EXPECT_EQ(angles(1)[1], 10.0f);
    EXPECT_EQ(angles(0)[0], 0.0f);
    EXPECT_EQ(angles(0)[1], 0.0f);

    motion(40, 100, 200, 0, SDL_BUTTON_LMASK);  // viewport 0; 200 degrees wraps
    motion(40, 100, 30, 30, SDL_BUTTON_RMASK);  // the right button does not turn
    motion(40, 100, 30, 30, SDL_BUTTON_LMASK | SDL_BUTTON_RMASK);
    settle();
    EXPECT_EQ(angles(0)[0], 0.0f);
    EXPECT_EQ(angles(0)[1], -160.0f);
    EXPECT_EQ(angles(1)[1], 10.0f);
}

TEST_F(ViewEventsTest, ADoubleClickIsToldToTheHostAndStartsNoDrag) {
    play_two_views();
    button(SDL_MOUSEBUTTONDOWN, 2);
    ASSERT_TRUE(wait_until([&] { return count_of(WM_PLAYER_DBLCLICK) == 1; }, 3000));
    std::vector<unsigned> order;
    for (const auto& m : messages()) {
        if (m.message == WM_PLAYER_DBLCLICK || m.message == WM_PLAYER_MOUSE)
            order.push_back(m.message);
    }
    EXPECT_EQ(order, (std::vector<unsigned>{WM_PLAYER_MOUSE, WM_PLAYER_DBLCLICK}));
    motion(40, 100, 10, 10, SDL_BUTTON_LMASK);  // still the double click's press
    button(SDL_MOUSEBUTTONUP, 2);
    settle();
    EXPECT_EQ(angles(0)[1], 0.0f);
    EXPECT_GE(count_of(WM_PLAYER_MOUSE), 2);  // released, and the settling wheel

    button(SDL_MOUSEBUTTONDOWN, 1);  // a new press starts a drag again
    motion(40, 100, 10, 10, SDL_BUTTON_LMASK);
    ASSERT_TRUE(wait_until([&] { return angles(0)[1] == 10.0f; }, 3000));
}

TEST_F(ViewEventsTest, TheWheelZoomsTheViewportUnderThePointer) {
    play_two_views();
    const float before = player_->GetZoom(1);
    motion(250, 50, 0, 0, 0);  // over viewport 1, no button
    SDL_Event e{};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.y = 1;
    push(e);
    ASSERT_TRUE(wait_until([&] { return count_of(WM_PLAYER_MOUSE) == 1; }, 3000));
    EXPECT_NEAR(player_->GetZoom(1), before + 0.05f, 1e-4);
    settle();  // y = 0 zooms out
    EXPECT_NEAR(player_->GetZoom(1), before, 1e-4);
    EXPECT_EQ(player_->GetZoom(0), player_->GetZoom(0));
}

TEST_F(ViewEventsTest, ADroppedFileIsHandedToTheHost) {
    play_two_views();
    const std::string path = "/media/card/20241207_153000A.ts";
    SDL_Event e{};
    e.type = SDL_DROPFILE;
    e.drop.file = SDL_strdup(path.c_str());
    push(e);
    ASSERT_TRUE(wait_until([&] { return count_of(WM_PLAYER_DROPFILE) == 1; }, 3000));
    for (const auto& m : messages()) {
        if (m.message != WM_PLAYER_DROPFILE) continue;
        EXPECT_EQ(reinterpret_cast<const char*>(m.wparam), std::string(ps().dropped_file));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.wparam)), path);
    }
}

TEST_F(ViewEventsTest, ResizingTheWindowScalesEveryViewport) {
    play_two_views();
    host_->resize(kWindowWidth * 2, kWindowHeight * 3 / 2);
    const auto rect = [&](int v) { return view_record().rect[v]; };
    ASSERT_TRUE(wait_until([&] { return rect(1).width == kWindowWidth; }, 3000));
    EXPECT_EQ(rect(1).x, kWindowWidth);
    EXPECT_EQ(rect(1).height, kWindowHeight * 3 / 2);
    EXPECT_EQ(rect(0).x, 0);
    EXPECT_EQ(rect(0).width, kWindowWidth);
    EXPECT_EQ(view_record().window_width, kWindowWidth * 2);
}

TEST_F(ViewEventsTest, DraggingTheUnwrappedStripTurnsTheCylinder) {
    play_two_views(6);
    const auto rotation = [&] { return view_record().cylinder_rotation_rad; };
    const float before = rotation();
    motion(40, 100, 36, 0, SDL_BUTTON_LMASK);
    ASSERT_TRUE(wait_until([&] { return rotation() != before; }, 3000));
    EXPECT_NEAR(rotation(), before - 36 * 3.14159265f / 360.0f, 1e-4);
}

TEST_F(ViewEventsTest, ViewOperationsWhilePlayingReachTheRenderer) {
    play_two_views();
    EXPECT_EQ(player_->SetViewAngles(190.0f, -31.0f, 0.0f, 0), DOR_PLAYER_OK);
    EXPECT_EQ(angles(0)[0], -170.0f);
    EXPECT_EQ(player_->SetZoom(10.0f, 0), DOR_PLAYER_OK);
    EXPECT_EQ(player_->GetZoom(0), 4.0f);  // the renderer's largest
    // A draw-mode change is taken by the display thread before it returns:
    // the mode's default zoom, the angles back to 0.
    EXPECT_EQ(player_->SetDrawMode(5, 0), DOR_PLAYER_OK);
    EXPECT_EQ(angles(0)[0], 0.0f);
    EXPECT_NE(player_->GetZoom(0), 4.0f);
    { EXPECT_EQ(view_record().pending_draw_mode, 0); }
    // A viewport moved while playing is handed over the same way.
    EXPECT_EQ(player_->SetViewport(0, 0, 100, 100, 2), DOR_PLAYER_OK);
    EXPECT_EQ(view_record().pending_rect, 0);
    EXPECT_EQ(view_record().enabled[2], 1);
}

TEST_F(PlaybackTest, AWindowOfItsOwnPlaysWithoutAHost) {
    ASSERT_EQ(open("play_video.mp4", 0), DOR_PLAYER_OK);
    player_->SetNativeWindow(nullptr);  // nothing was handed over: no parent to tell
    ASSERT_EQ(player_->SetWindowRect(20, 20, 200, 150), DOR_PLAYER_OK);
    ASSERT_EQ(play(), DOR_PLAYER_OK) << player_->GetLastErrorText();
    ASSERT_TRUE(wait_position_at_least(300, 5000));
    EXPECT_TRUE(positions_ms().empty());
    EXPECT_NE(view_record().window, nullptr);
    EXPECT_EQ(view_record().use_native_window, 0);
}

}  // namespace
}  // namespace playback_test
