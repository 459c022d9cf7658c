// The flags every thread of a playback looks at, and the waits on them:
// abort, paused, read-over and decode-over; which workers run and which
// are parked; whether Stop was asked for; how many interface calls are in
// progress; whether the display has begun. One mutex and one condition
// variable: every change wakes every wait, and each wait keeps the fixed
// delay the loop would otherwise sleep as its upper bound.
//
// Thread-safety: every method may be called from any thread.
#pragma once

#include <atomic>

#include "media_queues.h"
#include "platform/thread_annotations.h"

namespace sphere_player {

// The flags at one moment.
struct StateFlags {
    int abort_request = 0;  // playback must end
    int read_over = 0;      // the read thread has delivered everything
    int decode_over = 0;    // the decode thread has drained the video queue
    int paused = 0;
};

enum class Worker { read, decode, display, clock };
enum class Turn { run, parked, abort };

class PlaybackFlags {
public:
    StateFlags snapshot() EXCLUDES(mutex);
    bool abort_requested() EXCLUDES(mutex);
    bool paused() EXCLUDES(mutex);

    // Sets abort (and clears paused when `unpause`).
    void request_abort(bool unpause = false) EXCLUDES(mutex);
    void set_paused(bool paused) EXCLUDES(mutex);
    void set_read_over(bool over) EXCLUDES(mutex);
    void set_decode_over(bool over) EXCLUDES(mutex);
    // Back to `abort` and `paused`, nothing over, nobody parked.
    void reset(bool abort, bool paused) EXCLUDES(mutex);
    // After a seek: not paused; when the demuxer moved, nothing is over.
    void resume_after_seek(bool moved) EXCLUDES(mutex);

    // --- the workers
    void set_running(Worker w, bool running) EXCLUDES(mutex);
    bool running(Worker w) const { return running_flag(w).load(); }
    // Marks `w` ended; true for the last of the read, decode and display
    // threads to end.
    bool end(Worker w) EXCLUDES(mutex);

    // The top of the read or decode loop: abort ends it; while paused the
    // worker marks itself parked (see wait_until_parked) and waits up to
    // `park_ms` for the pause to end.
    Turn begin_turn(Worker w, int park_ms) EXCLUDES(mutex);
    // Waits up to `ms` unless abort comes; true when abort is set.
    bool wait_or_abort(int ms) EXCLUDES(mutex);
    // Waits up to `ms` while paused; true when abort is set.
    bool wait_while_paused(int ms) EXCLUDES(mutex);
    // Until the read and decode threads are parked or have ended, so that
    // the caller may use the demuxer, the video decoder and the picture
    // ring. Called with paused set. Bounded: a worker parks or, on abort,
    // ends within its turn.
    void wait_until_parked() EXCLUDES(mutex);

    // Neither paused nor ending (a snapshot).
    bool running_unpaused() EXCLUDES(mutex);

    // --- the display
    void mark_display_started() EXCLUDES(mutex);
    void clear_display_started() EXCLUDES(mutex);
    bool display_started() const { return display_started_.load(); }
    // Waits up to `ms` for the display's first picture; true when abort is
    // set first.
    bool wait_for_display_start(int ms) EXCLUDES(mutex);

    // --- Stop and the host's calls
    void request_stop() EXCLUDES(mutex);
    void clear_stop() EXCLUDES(mutex);
    bool stop_requested() const { return stop_requested_.load(); }
    // Waits up to `ms` unless Stop is asked for; true when it is.
    bool wait_for_stop(int ms) EXCLUDES(mutex);
    void begin_host_call() EXCLUDES(mutex);
    void end_host_call() EXCLUDES(mutex);
    // Before a worker calls into the host: waits until no interface call is
    // in progress. False when Stop was asked for meanwhile.
    bool wait_until_host_idle() EXCLUDES(mutex);

    // The display checks the pause with the picture ring held.
    platform::Mutex mutex ACQUIRED_AFTER(PictureQueue::mutex);

private:
    std::atomic<bool>& running_flag(Worker w);
    const std::atomic<bool>& running_flag(Worker w) const;
    void notify_locked() REQUIRES(mutex) { changed_.notify_all(); }

    platform::CondVar changed_;
    StateFlags flags_ GUARDED_BY(mutex);
    // A worker that saw `paused` at the top of its loop touches neither the
    // demuxer nor the video decoder until it is cleared.
    bool read_parked_ GUARDED_BY(mutex) = false;
    bool decode_parked_ GUARDED_BY(mutex) = false;
    int host_calls_ GUARDED_BY(mutex) = 0;
    // Written under mutex (so that waits see them change), read freely.
    std::atomic<bool> read_running_{false}, decode_running_{false}, display_running_{false},
        clock_running_{false};
    std::atomic<bool> display_started_{false};
    std::atomic<bool> stop_requested_{false};
};

// Counts an interface call in progress for its scope.
class HostCall {
public:
    explicit HostCall(PlaybackFlags& flags) : flags_(flags) { flags_.begin_host_call(); }
    ~HostCall() { flags_.end_host_call(); }
    HostCall(const HostCall&) = delete;
    HostCall& operator=(const HostCall&) = delete;

private:
    PlaybackFlags& flags_;
};

}  // namespace sphere_player
