// The order in which the map browser's requests reach its page. A script
// run while no page has finished loading is lost on the browser we use, so
// load and script requests wait in order until the view exists and the last
// load has finished. When the page's process dies, the page is loaded again
// and the last track and position are sent anew.
//
// The class decides only what to do and when; the caller carries out the
// requests it hands back, in order.
//
// Thread-safety: one thread (the UI thread) uses an object.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace shell {

struct BrowserRequest {
    enum class Kind { load_url, script };
    // What a script does, so that a replay knows which to send again.
    enum class Role { other, track, position };

    Kind kind = Kind::script;
    Role role = Role::other;
    std::string text;  // the URL or the script

    static BrowserRequest load(std::string url) {
        return {Kind::load_url, Role::other, std::move(url)};
    }
    static BrowserRequest script(std::string code, Role role = Role::other) {
        return {Kind::script, role, std::move(code)};
    }
    bool operator==(const BrowserRequest& o) const {
        return kind == o.kind && role == o.role && text == o.text;
    }
};

class BrowserRequestQueue {
public:
    using Requests = std::vector<BrowserRequest>;

    // A new request; returns what to carry out now (it, or nothing while it
    // has to wait).
    Requests submit(BrowserRequest request);
    // The view exists now.
    Requests view_ready();
    // The last load has finished (also when it failed).
    Requests load_finished();
    // The page's process has ended: load the last URL again, then the last
    // track and position, then whatever was waiting.
    Requests page_crashed();

    std::size_t waiting() const { return queue_.size(); }

private:
    Requests drain();
    void remember(const BrowserRequest& request);

    std::deque<BrowserRequest> queue_;
    bool view_ready_ = false;
    bool load_in_flight_ = false;
    std::optional<std::string> last_url_;
    std::optional<BrowserRequest> last_track_, last_position_;
};

}  // namespace shell
