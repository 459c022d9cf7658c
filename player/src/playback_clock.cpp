#include "playback_clock.h"

#include <algorithm>

#include "player_clock.h"

namespace sphere_player {

void PlaybackClock::reset(int scale, std::int64_t origin_ms) {
    platform::MutexLock lock(mutex);
    value_ = 0;
    scale_ = scale;
    origin_ms_ = origin_ms;
    start_tick_ms_ = paused_total_ms_ = 0;
}

void PlaybackClock::set_scale(int scale) {
    platform::MutexLock lock(mutex);
    scale_ = scale;
}

int PlaybackClock::scale() {
    platform::MutexLock lock(mutex);
    return scale_;
}

std::int64_t PlaybackClock::origin_ms() {
    platform::MutexLock lock(mutex);
    return origin_ms_;
}

std::int64_t PlaybackClock::scaled() {
    platform::MutexLock lock(mutex);
    return static_cast<std::int64_t>(scale_) * value_;
}

void PlaybackClock::set_scaled(std::int64_t t) {
    platform::MutexLock lock(mutex);
    value_ = scale_ > 0 ? t / scale_ : t;
}

std::int64_t PlaybackClock::value() {
    platform::MutexLock lock(mutex);
    return value_;
}

void PlaybackClock::set_value(std::int64_t v) {
    platform::MutexLock lock(mutex);
    value_ = v;
}

void PlaybackClock::advance(std::int64_t units) {
    platform::MutexLock lock(mutex);
    value_ += units;
}

void PlaybackClock::restart() {
    platform::MutexLock lock(mutex);
    start_tick_ms_ = clock_ms();
    paused_total_ms_ = 0;
}

void PlaybackClock::tick() {
    platform::MutexLock lock(mutex);
    value_ = origin_ms_ + clock_ms() - start_tick_ms_ - paused_total_ms_;
}

PlaybackClock::PauseMark PlaybackClock::begin_pause() {
    platform::MutexLock lock(mutex);
    return PauseMark{clock_ms(), rebases_};
}

void PlaybackClock::end_pause(PauseMark mark) {
    platform::MutexLock lock(mutex);
    if (rebases_ == mark.rebases) paused_total_ms_ += clock_ms() - mark.started_ms;
}

void PlaybackClock::rebase_ms(std::int64_t position_ms) {
    const std::int64_t target_ms = std::max<std::int64_t>(position_ms, 0);
    platform::MutexLock lock(mutex);
    start_tick_ms_ = static_cast<int>(clock_ms() - target_ms);
    paused_total_ms_ = 0;
    ++rebases_;
    value_ = origin_ms_ + target_ms;
}

}  // namespace sphere_player
