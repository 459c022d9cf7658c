#include "shell/browser_queue.h"

namespace shell {

BrowserRequestQueue::Requests BrowserRequestQueue::submit(BrowserRequest request) {
    queue_.push_back(std::move(request));
    return drain();
}

BrowserRequestQueue::Requests BrowserRequestQueue::view_ready() {
    view_ready_ = true;
    return drain();
}

BrowserRequestQueue::Requests BrowserRequestQueue::load_finished() {
    load_in_flight_ = false;
    return drain();
}

BrowserRequestQueue::Requests BrowserRequestQueue::page_crashed() {
    load_in_flight_ = false;
    // Pushed to the front in reverse order: URL, track, position.
    if (last_position_) queue_.push_front(*last_position_);
    if (last_track_) queue_.push_front(*last_track_);
    if (last_url_) queue_.push_front(BrowserRequest::load(*last_url_));
    return drain();
}

BrowserRequestQueue::Requests BrowserRequestQueue::drain() {
    Requests now;
    while (view_ready_ && !load_in_flight_ && !queue_.empty()) {
        BrowserRequest next = std::move(queue_.front());
        queue_.pop_front();
        remember(next);
        if (next.kind == BrowserRequest::Kind::load_url) load_in_flight_ = true;
        now.push_back(std::move(next));
    }
    return now;
}

void BrowserRequestQueue::remember(const BrowserRequest& request) {
    if (request.kind == BrowserRequest::Kind::load_url) {
        // A new page knows nothing of the old page's track.
        last_url_ = request.text;
        last_track_.reset();
        last_position_.reset();
    } else if (request.role == BrowserRequest::Role::track) {
        last_track_ = request;
        last_position_.reset();
    } else if (request.role == BrowserRequest::Role::position) {
        last_position_ = request;
    }
}

}  // namespace shell
