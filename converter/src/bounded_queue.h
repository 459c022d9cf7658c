// A bounded first-in first-out queue between two pipeline stages. The
// producer closes it when it has nothing more (the consumer still gets what
// is queued); either side aborts it to make both give up at once.
//
// Thread-safety: safe; the queue owns its lock and waits on condition
// variables.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <utility>

namespace converter {

template <typename T>
class BoundedQueue {
public:
    explicit BoundedQueue(std::size_t capacity) : capacity_(capacity) {}

    // Waits for room; false (the item is dropped) when closed or aborted.
    bool push(T item) {
        std::unique_lock<std::mutex> lock(mutex_);
        not_full_.wait(lock, [&] { return aborted_ || closed_ || items_.size() < capacity_; });
        if (aborted_ || closed_) return false;
        items_.push_back(std::move(item));
        not_empty_.notify_one();
        return true;
    }

    // Waits for an item; false when the queue is aborted, or closed and empty.
    bool pop(T& item) {
        std::unique_lock<std::mutex> lock(mutex_);
        not_empty_.wait(lock, [&] { return aborted_ || closed_ || !items_.empty(); });
        if (aborted_ || items_.empty()) return false;
        item = std::move(items_.front());
        items_.pop_front();
        not_full_.notify_one();
        return true;
    }

    void close() {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        not_empty_.notify_all();
        not_full_.notify_all();
    }

    void abort() {
        std::lock_guard<std::mutex> lock(mutex_);
        aborted_ = true;
        not_empty_.notify_all();
        not_full_.notify_all();
    }

private:
    const std::size_t capacity_;
    std::mutex mutex_;
    std::condition_variable not_empty_;
    std::condition_variable not_full_;
    std::deque<T> items_;
    bool closed_ = false;
    bool aborted_ = false;
};

}  // namespace converter
