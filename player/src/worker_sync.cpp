#include "worker_sync.h"

#include <exception>
#include <new>

namespace sphere_player {
namespace {

// The player whose worker the calling thread is (null: none).
thread_local const PlayerState* tls_worker_of = nullptr;

}  // namespace

WorkerThreadScope::WorkerThreadScope(const PlayerState& ps) {
    tls_worker_of = &ps;
}

WorkerThreadScope::~WorkerThreadScope() {
    tls_worker_of = nullptr;
}

bool on_worker_thread(const PlayerState& ps) {
    return tls_worker_of == &ps;
}

void run_worker(PlayerState& ps, Worker w, void (*body)(PlayerState&),
                void (*ended)(PlayerState&, Worker)) {
    WorkerThreadScope worker(ps);
    const char* what = nullptr;
    try {
        body(ps);
    } catch (const std::bad_alloc&) {
        what = "out of memory";
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {
        what = "unknown exception";
    }
    if (what != nullptr) {
        ps.errors.set("error: a player thread failed: %s;\n", what);
        ps.vs->flags.request_abort();
        if (w != Worker::clock) ps.startup.set(w, StartupStatus::failed);
    }
    if (ended != nullptr) ended(ps, w);
}

}  // namespace sphere_player

namespace sphere_player {

void StartupStatuses::reset() {
    platform::MutexLock lock(mutex);
    display_ = decode_ = read_ = StartupStatus::starting;
}

void StartupStatuses::set(Worker w, StartupStatus status) {
    platform::MutexLock lock(mutex);
    if (w == Worker::display) display_ = status;
    if (w == Worker::decode) decode_ = status;
    if (w == Worker::read) read_ = status;
    changed_.notify_all();
}

bool StartupStatuses::wait_all_running() {
    platform::UniqueLock lock(mutex);
    const auto any_failed = [&]() REQUIRES(mutex) {
        return display_ == StartupStatus::failed || decode_ == StartupStatus::failed ||
               read_ == StartupStatus::failed;
    };
    changed_.wait(lock, [&]() REQUIRES(mutex) {
        return any_failed() ||
               (display_ == StartupStatus::running && decode_ == StartupStatus::running &&
                read_ == StartupStatus::running);
    });
    return !any_failed();
}

}  // namespace sphere_player
