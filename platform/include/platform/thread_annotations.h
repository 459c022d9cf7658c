// Locks that clang's thread-safety analysis understands.
//
// A field GUARDED_BY(m) may be touched only with m held, a function
// REQUIRES(m) only when its caller holds m, and ACQUIRED_AFTER on a mutex
// writes a lock order down where the compiler checks it: a clang build with
// -Wthread-safety -Wthread-safety-beta reports every violation. Other
// compilers see plain std::mutex wrappers.
//
//     class Queue {
//         platform::Mutex mutex_;
//         std::deque<int> items_ GUARDED_BY(mutex_);
//         void push_locked(int v) REQUIRES(mutex_);
//     };
//
// Thread-safety: the types are what they wrap (std::mutex and
// std::condition_variable).
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#if defined(__clang__)
#define KVP_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define KVP_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) KVP_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY KVP_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) KVP_THREAD_ANNOTATION(guarded_by(x))
#define PT_GUARDED_BY(x) KVP_THREAD_ANNOTATION(pt_guarded_by(x))
#define ACQUIRED_BEFORE(...) KVP_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define ACQUIRED_AFTER(...) KVP_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))
#define REQUIRES(...) KVP_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) KVP_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) KVP_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) KVP_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) KVP_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define RETURN_CAPABILITY(x) KVP_THREAD_ANNOTATION(lock_returned(x))
#define NO_THREAD_SAFETY_ANALYSIS KVP_THREAD_ANNOTATION(no_thread_safety_analysis)

namespace platform {

class CAPABILITY("mutex") Mutex {
public:
    void lock() ACQUIRE() { mutex_.lock(); }
    void unlock() RELEASE() { mutex_.unlock(); }
    bool try_lock() TRY_ACQUIRE(true) { return mutex_.try_lock(); }

private:
    friend class UniqueLock;
    std::mutex mutex_;
};

// Holds a mutex for its scope.
class SCOPED_CAPABILITY MutexLock {
public:
    explicit MutexLock(Mutex& m) ACQUIRE(m) : mutex_(m) { mutex_.lock(); }
    ~MutexLock() RELEASE() { mutex_.unlock(); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    Mutex& mutex_;
};

// Holds a mutex for its scope; a condition variable may release it while
// waiting, and it may be released early.
class SCOPED_CAPABILITY UniqueLock {
public:
    explicit UniqueLock(Mutex& m) ACQUIRE(m) : lock_(m.mutex_) {}
    ~UniqueLock() RELEASE() {}
    UniqueLock(const UniqueLock&) = delete;
    UniqueLock& operator=(const UniqueLock&) = delete;

    void unlock() RELEASE() { lock_.unlock(); }

private:
    friend class CondVar;
    std::unique_lock<std::mutex> lock_;
};

// A condition variable waited on with a UniqueLock held.
class CondVar {
public:
    void notify_all() { cv_.notify_all(); }
    void notify_one() { cv_.notify_one(); }

    // Waits until `done` holds. Every caller says why the wait ends.
    template <typename Predicate>
    void wait(UniqueLock& lock, Predicate done) {
        cv_.wait(lock.lock_, done);
    }
    // Waits until `done` holds or `ms` have passed; the last answer.
    template <typename Predicate>
    bool wait_for(UniqueLock& lock, int ms, Predicate done) {
        return cv_.wait_for(lock.lock_, std::chrono::milliseconds(ms), done);
    }

private:
    std::condition_variable cv_;
};

}  // namespace platform
