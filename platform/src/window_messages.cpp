#include "platform/window_messages.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace platform {
namespace {

// One registered window. Its eventfd counts the waiting messages
// (semaphore mode), so it is readable exactly while the queue is not empty.
struct Entry {
    NativeWindow parent = 0;
    std::shared_ptr<const MessageSink> sink;
    std::deque<WindowMessage> queue;
    int fd = -1;

    ~Entry() {
        if (fd >= 0) ::close(fd);
    }
};

struct Registry {
    std::mutex mutex;  // guards windows and every entry's fields
    std::condition_variable posted;
    std::unordered_map<NativeWindow, std::unique_ptr<Entry>> windows;
};

Registry& registry() {
    static Registry r;
    return r;
}

Entry* find_locked(Registry& r, NativeWindow window) {
    const auto it = r.windows.find(window);
    return it == r.windows.end() ? nullptr : it->second.get();
}

void signal_one(const Entry& e) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(e.fd, &one, sizeof one);
}

void consume_one(const Entry& e) {
    std::uint64_t value = 0;
    [[maybe_unused]] const ssize_t n = ::read(e.fd, &value, sizeof value);
}

bool pop_locked(Entry& e, WindowMessage* out) {
    if (e.queue.empty()) return false;
    if (out != nullptr) *out = e.queue.front();
    e.queue.pop_front();
    consume_one(e);
    return true;
}

}  // namespace

void register_window(NativeWindow window, NativeWindow parent, MessageSink sink) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    std::unique_ptr<Entry>& slot = r.windows[window];
    if (!slot) {
        slot = std::make_unique<Entry>();
        slot->fd = ::eventfd(0, EFD_SEMAPHORE | EFD_NONBLOCK | EFD_CLOEXEC);
    }
    slot->parent = parent;
    slot->sink = sink ? std::make_shared<const MessageSink>(std::move(sink)) : nullptr;
}

void unregister_window(NativeWindow window) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.windows.erase(window);
}

NativeWindow parent_window(NativeWindow window) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    const Entry* e = find_locked(r, window);
    return e != nullptr ? e->parent : 0;
}

bool post_message(NativeWindow window, unsigned message, std::uintptr_t wparam,
                  std::intptr_t lparam) {
    Registry& r = registry();
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        Entry* e = find_locked(r, window);
        if (e == nullptr) return false;
        e->queue.push_back(WindowMessage{window, message, wparam, lparam});
        signal_one(*e);
    }
    r.posted.notify_all();
    return true;
}

bool take_message(NativeWindow window, WindowMessage* out) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    Entry* e = find_locked(r, window);
    return e != nullptr && pop_locked(*e, out);
}

bool wait_message(NativeWindow window, WindowMessage* out, int timeout_ms) {
    Registry& r = registry();
    std::unique_lock<std::mutex> lock(r.mutex);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        Entry* e = find_locked(r, window);
        if (e == nullptr) return false;
        if (pop_locked(*e, out)) return true;
        if (r.posted.wait_until(lock, deadline) == std::cv_status::timeout) {
            e = find_locked(r, window);
            return e != nullptr && pop_locked(*e, out);
        }
    }
}

int dispatch_messages(NativeWindow window) {
    Registry& r = registry();
    std::deque<WindowMessage> batch;
    std::shared_ptr<const MessageSink> sink;
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        Entry* e = find_locked(r, window);
        if (e == nullptr || !e->sink) return 0;
        sink = e->sink;
        batch.swap(e->queue);
        for (std::size_t i = 0; i < batch.size(); ++i) consume_one(*e);
    }
    for (const WindowMessage& m : batch) (*sink)(m);  // outside the lock: the sink may post
    return static_cast<int>(batch.size());
}

int wakeup_fd(NativeWindow window) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    const Entry* e = find_locked(r, window);
    return e != nullptr ? e->fd : -1;
}

}  // namespace platform
