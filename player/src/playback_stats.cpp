#include <algorithm>

#include "player_state.h"

namespace sphere_player {

void PlaybackStats::add(double picture_ms, double lag_ms, int now_ms) {
    if (pictures_taken == 0) {
        first_taken_ms = now_ms;
        lag_min_ms = lag_max_ms = lag_ms;
        lag_max_at_ms = picture_ms;
    }
    ++pictures_taken;
    last_taken_ms = now_ms;
    lag_min_ms = std::min(lag_min_ms, lag_ms);
    if (lag_ms > lag_max_ms) lag_max_at_ms = picture_ms;
    if (picture_ms >= kSettleMs) lag_max_settled_ms = std::max(lag_max_settled_ms, lag_ms);
    lag_max_ms = std::max(lag_max_ms, lag_ms);
    const double t = picture_ms / 1000.0;
    sum_t += t;
    sum_tt += t * t;
    sum_lag += lag_ms;
    sum_t_lag += t * lag_ms;
}

double PlaybackStats::mean_lag_ms() const {
    return pictures_taken > 0 ? sum_lag / static_cast<double>(pictures_taken) : 0.0;
}

double PlaybackStats::lag_slope() const {
    const auto n = static_cast<double>(pictures_taken);
    const double denominator = n * sum_tt - sum_t * sum_t;
    return n > 1 && denominator != 0.0 ? (n * sum_t_lag - sum_t * sum_lag) / denominator : 0.0;
}

}  // namespace sphere_player
