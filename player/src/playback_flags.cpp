#include "playback_flags.h"

namespace sphere_player {

StateFlags PlaybackFlags::snapshot() {
    platform::MutexLock lock(mutex);
    return flags_;
}

bool PlaybackFlags::abort_requested() {
    platform::MutexLock lock(mutex);
    return flags_.abort_request != 0;
}

bool PlaybackFlags::paused() {
    platform::MutexLock lock(mutex);
    return flags_.paused != 0;
}

bool PlaybackFlags::running_unpaused() {
    platform::MutexLock lock(mutex);
    return flags_.paused == 0 && flags_.abort_request == 0;
}

void PlaybackFlags::request_abort(bool unpause) {
    platform::MutexLock lock(mutex);
    flags_.abort_request = 1;
    if (unpause) flags_.paused = 0;
    notify_locked();
}

void PlaybackFlags::set_paused(bool paused) {
    platform::MutexLock lock(mutex);
    flags_.paused = paused ? 1 : 0;
    notify_locked();
}

void PlaybackFlags::set_read_over(bool over) {
    platform::MutexLock lock(mutex);
    flags_.read_over = over ? 1 : 0;
    notify_locked();
}

void PlaybackFlags::set_decode_over(bool over) {
    platform::MutexLock lock(mutex);
    flags_.decode_over = over ? 1 : 0;
    notify_locked();
}

void PlaybackFlags::reset(bool abort, bool paused) {
    platform::MutexLock lock(mutex);
    flags_ = StateFlags{abort ? 1 : 0, 0, 0, paused ? 1 : 0};
    read_parked_ = decode_parked_ = false;
    notify_locked();
}

void PlaybackFlags::resume_after_seek(bool moved) {
    platform::MutexLock lock(mutex);
    flags_.paused = 0;
    if (moved) flags_.read_over = flags_.decode_over = 0;
    notify_locked();
}

std::atomic<bool>& PlaybackFlags::running_flag(Worker w) {
    switch (w) {
        case Worker::read:
            return read_running_;
        case Worker::decode:
            return decode_running_;
        case Worker::display:
            return display_running_;
        case Worker::clock:
            break;
    }
    return clock_running_;
}

const std::atomic<bool>& PlaybackFlags::running_flag(Worker w) const {
    return const_cast<PlaybackFlags*>(this)->running_flag(w);
}

void PlaybackFlags::set_running(Worker w, bool running) {
    platform::MutexLock lock(mutex);
    running_flag(w) = running;
    notify_locked();
}

bool PlaybackFlags::end(Worker w) {
    platform::MutexLock lock(mutex);
    running_flag(w) = false;
    notify_locked();
    return w != Worker::clock && !read_running_ && !decode_running_ && !display_running_;
}

Turn PlaybackFlags::begin_turn(Worker w, int park_ms) {
    bool& parked = w == Worker::read ? read_parked_ : decode_parked_;
    platform::UniqueLock lock(mutex);
    if (flags_.abort_request != 0) return Turn::abort;
    if (flags_.paused == 0) {
        parked = false;
        return Turn::run;
    }
    if (!parked) {
        parked = true;
        notify_locked();
    }
    changed_.wait_for(lock, park_ms, [&]() REQUIRES(mutex) {
        return flags_.abort_request != 0 || flags_.paused == 0;
    });
    return flags_.abort_request != 0 ? Turn::abort : Turn::parked;
}

bool PlaybackFlags::wait_or_abort(int ms) {
    platform::UniqueLock lock(mutex);
    return changed_.wait_for(lock, ms, [&]() REQUIRES(mutex) { return flags_.abort_request != 0; });
}

bool PlaybackFlags::wait_while_paused(int ms) {
    platform::UniqueLock lock(mutex);
    changed_.wait_for(lock, ms, [&]() REQUIRES(mutex) {
        return flags_.abort_request != 0 || flags_.paused == 0;
    });
    return flags_.abort_request != 0;
}

void PlaybackFlags::wait_until_parked() {
    platform::UniqueLock lock(mutex);
    // Abort alone is not enough: a worker that has not seen it yet may be
    // using the demuxer or the decoder; it parks or ends within its turn.
    changed_.wait(lock, [&]() REQUIRES(mutex) {
        return (read_parked_ || !read_running_) && (decode_parked_ || !decode_running_);
    });
}

void PlaybackFlags::mark_display_started() {
    if (display_started_) return;
    platform::MutexLock lock(mutex);
    display_started_ = true;
    notify_locked();
}

void PlaybackFlags::clear_display_started() {
    platform::MutexLock lock(mutex);
    display_started_ = false;
}

bool PlaybackFlags::wait_for_display_start(int ms) {
    platform::UniqueLock lock(mutex);
    changed_.wait_for(
        lock, ms, [&]() REQUIRES(mutex) { return flags_.abort_request != 0 || display_started_; });
    return flags_.abort_request != 0;
}

void PlaybackFlags::request_stop() {
    platform::MutexLock lock(mutex);
    stop_requested_ = true;
    notify_locked();
}

void PlaybackFlags::clear_stop() {
    platform::MutexLock lock(mutex);
    stop_requested_ = false;
}

bool PlaybackFlags::wait_for_stop(int ms) {
    platform::UniqueLock lock(mutex);
    return changed_.wait_for(lock, ms, [&] { return stop_requested_.load(); });
}

void PlaybackFlags::begin_host_call() {
    platform::MutexLock lock(mutex);
    ++host_calls_;
}

void PlaybackFlags::end_host_call() {
    platform::MutexLock lock(mutex);
    --host_calls_;
    // Notified with the lock held: a worker it wakes may go on to free the
    // player (from a callback) only once this thread has let go of it.
    notify_locked();
}

bool PlaybackFlags::wait_until_host_idle() {
    platform::UniqueLock lock(mutex);
    // Bounded by the calls themselves: none waits for this worker, and the
    // ones that wait for playback see it ending.
    changed_.wait(lock, [&]() REQUIRES(mutex) { return host_calls_ == 0 || stop_requested_; });
    return !stop_requested_;
}

}  // namespace sphere_player
