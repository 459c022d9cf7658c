// Posting to registered windows: parent links, order, delivery on the
// host's own thread, the wake-up descriptor, many posting threads.
#include <poll.h>

#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/window_messages.h"

namespace {

using platform::WindowMessage;

// Window ids of this test, far from any real X window id.
constexpr platform::NativeWindow kFrame = 0x7f000001, kVideo = 0x7f000002;

class WindowMessagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::register_window(kFrame, 0, nullptr);
        platform::register_window(kVideo, kFrame, nullptr);
    }
    void TearDown() override {
        platform::unregister_window(kVideo);
        platform::unregister_window(kFrame);
    }
};

bool readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1;
}

TEST_F(WindowMessagesTest, ParentsAreWhatWasRegistered) {
    EXPECT_EQ(platform::parent_window(kVideo), kFrame);
    EXPECT_EQ(platform::parent_window(kFrame), 0u);
    EXPECT_EQ(platform::parent_window(0x7f0000ff), 0u);
    platform::register_window(kVideo, 0x7f000003, nullptr);  // re-parented
    EXPECT_EQ(platform::parent_window(kVideo), 0x7f000003u);
}

TEST_F(WindowMessagesTest, MessagesArriveInTheOrderPostedWithTheirParameters) {
    EXPECT_TRUE(platform::post_message(kFrame, 1225, 3, 3120));
    EXPECT_TRUE(platform::post_message(kFrame, 1226, 0, -1));
    EXPECT_FALSE(platform::post_message(0x7f0000ff, 1225, 0, 0));  // nobody there
    WindowMessage m;
    ASSERT_TRUE(platform::take_message(kFrame, &m));
    EXPECT_EQ(m.window, kFrame);
    EXPECT_EQ(m.message, 1225u);
    EXPECT_EQ(m.wparam, 3u);
    EXPECT_EQ(m.lparam, 3120);
    ASSERT_TRUE(platform::take_message(kFrame, &m));
    EXPECT_EQ(m.message, 1226u);
    EXPECT_EQ(m.lparam, -1);
    EXPECT_FALSE(platform::take_message(kFrame, &m));
    EXPECT_FALSE(platform::take_message(kVideo, &m));  // posted to the frame only
}

TEST_F(WindowMessagesTest, TheWakeUpDescriptorIsReadableWhileMessagesWait) {
    const int fd = platform::wakeup_fd(kFrame);
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(readable(fd));
    platform::post_message(kFrame, 1, 0, 0);
    platform::post_message(kFrame, 2, 0, 0);
    EXPECT_TRUE(readable(fd));
    WindowMessage m;
    platform::take_message(kFrame, &m);
    EXPECT_TRUE(readable(fd));
    platform::take_message(kFrame, &m);
    EXPECT_FALSE(readable(fd));
    EXPECT_EQ(platform::wakeup_fd(0x7f0000ff), -1);
}

TEST_F(WindowMessagesTest, DispatchDeliversOnTheCallingThread) {
    std::vector<unsigned> seen;
    std::thread::id sink_thread;
    platform::register_window(kFrame, 0, [&](const WindowMessage& m) {
        seen.push_back(m.message);
        sink_thread = std::this_thread::get_id();
        if (m.message == 1) platform::post_message(kFrame, 3, 0, 0);  // waits for the next round
    });
    std::thread poster([] {
        platform::post_message(kFrame, 1, 0, 0);
        platform::post_message(kFrame, 2, 0, 0);
    });
    poster.join();
    EXPECT_TRUE(seen.empty());  // posting never calls the host
    EXPECT_EQ(platform::dispatch_messages(kFrame), 2);
    EXPECT_EQ(seen, (std::vector<unsigned>{1, 2}));
    EXPECT_EQ(sink_thread, std::this_thread::get_id());
    EXPECT_EQ(platform::dispatch_messages(kFrame), 1);
    EXPECT_EQ(seen.back(), 3u);
    EXPECT_FALSE(readable(platform::wakeup_fd(kFrame)));
}

TEST_F(WindowMessagesTest, WaitReturnsWhenAMessageComes) {
    WindowMessage m;
    EXPECT_FALSE(platform::wait_message(kFrame, &m, 20));
    std::thread poster([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        platform::post_message(kFrame, 7, 0, 0);
    });
    EXPECT_TRUE(platform::wait_message(kFrame, &m, 5000));
    EXPECT_EQ(m.message, 7u);
    poster.join();
}

TEST_F(WindowMessagesTest, ManyThreadsPostWithoutLosingOrReordering) {
    constexpr int kThreads = 4, kEach = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kEach; ++i) {
                platform::post_message(kFrame, static_cast<unsigned>(t), static_cast<unsigned>(i),
                                       0);
            }
        });
    }
    std::vector<int> next(kThreads, 0);
    int total = 0;
    WindowMessage m;
    while (total < kThreads * kEach && platform::wait_message(kFrame, &m, 5000)) {
        EXPECT_EQ(static_cast<int>(m.wparam), next[m.message]++);
        ++total;
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(total, kThreads * kEach);
}

TEST_F(WindowMessagesTest, UnregisteringDropsWaitingMessages) {
    platform::post_message(kVideo, 1, 0, 0);
    platform::unregister_window(kVideo);
    WindowMessage m;
    EXPECT_FALSE(platform::take_message(kVideo, &m));
    EXPECT_EQ(platform::parent_window(kVideo), 0u);
    platform::register_window(kVideo, kFrame, nullptr);
    EXPECT_FALSE(platform::take_message(kVideo, &m));
}

}  // namespace
