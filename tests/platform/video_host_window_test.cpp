// The X11 host window for video: registered with its parent link, resized
// with its child, read back. Skips without a display.
#include <gtest/gtest.h>

#include "platform/video_host_window.h"

namespace {

TEST(VideoHostWindow, MakesAFrameWithARegisteredVideoChild) {
    std::string why;
    auto w = platform::VideoHostWindow::create(200, 120, "host test", &why);
    if (!w) GTEST_SKIP() << "no X display: " << why;
    EXPECT_NE(w->frame(), 0u);
    EXPECT_NE(w->video(), w->frame());
    EXPECT_EQ(platform::parent_window(w->video()), w->frame());
    EXPECT_GE(platform::wakeup_fd(w->frame()), 0);

    std::vector<std::uint8_t> rgb;
    ASSERT_TRUE(w->read_pixels(0, 0, 200, 120, &rgb));
    EXPECT_EQ(rgb.size(), 200u * 120u * 3u);
    EXPECT_FALSE(w->read_pixels(150, 0, 100, 10, &rgb));  // beyond the right edge
    EXPECT_FALSE(w->read_pixels(-1, 0, 10, 10, &rgb));

    w->resize(300, 150);
    EXPECT_EQ(w->width(), 300);
    ASSERT_TRUE(w->read_pixels(250, 100, 50, 50, &rgb));  // the child grew with the frame
    int events = 0;
    w->process_events([&](const platform::HostEvent&) { ++events; });
    EXPECT_GE(events, 0);

    const platform::NativeWindow video = w->video();
    w.reset();
    EXPECT_EQ(platform::parent_window(video), 0u);
}

}  // namespace
