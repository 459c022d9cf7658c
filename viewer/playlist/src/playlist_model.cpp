#include "playlist/playlist_model.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <utility>

#include "controller/playback_rules.h"
#include "platform/paths.h"

namespace playlist {
namespace {

std::uint32_t time_seed() {
    return static_cast<std::uint32_t>(std::chrono::system_clock::now().time_since_epoch().count());
}

}  // namespace

PlaylistModel::PlaylistModel(std::vector<std::string> entries, int play_mode, int last_index)
    : random_(time_seed()) {
    for (auto& path : entries) {
        if (acceptable(path) && !index_of(path)) entries_.push_back(std::move(path));
    }
    set_play_mode(play_mode);
    last_index_ = last_index >= 0 && static_cast<std::size_t>(last_index) < entries_.size()
                      ? last_index
                      : kNoEntry;
}

std::optional<std::size_t> PlaylistModel::index_of(const std::string& path) const {
    const auto it = std::find(entries_.begin(), entries_.end(), path);
    if (it == entries_.end()) return std::nullopt;
    return static_cast<std::size_t>(it - entries_.begin());
}

bool PlaylistModel::acceptable(const std::string& path) {
    return controller::is_playable_recording(path) &&
           path.find_first_of("\r\n") == std::string::npos;
}

std::optional<std::size_t> PlaylistModel::add(const std::string& path) {
    if (!acceptable(path) || index_of(path)) return std::nullopt;
    entries_.push_back(path);
    changed();
    return entries_.size() - 1;
}

bool PlaylistModel::remove(std::size_t index) {
    if (index >= entries_.size()) return false;
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
    if (last_index_ >= static_cast<int>(index)) --last_index_;  // kNoEntry at most
    if (last_index_ < kNoEntry) last_index_ = kNoEntry;
    changed();
    return true;
}

bool PlaylistModel::remove_path(const std::string& path) {
    const auto index = index_of(path);
    return index && remove(*index);
}

void PlaylistModel::clear() {
    entries_.clear();
    last_index_ = kNoEntry;
    changed();
}

void PlaylistModel::set_play_mode(int mode) {
    play_mode_ = mode == kRandom || mode == kSingleCircle ? mode : kSequence;
    changed();
}

void PlaylistModel::set_last(std::size_t index) {
    if (index < entries_.size()) last_index_ = static_cast<int>(index);
}

std::optional<std::size_t> PlaylistModel::choose(Direction direction) {
    const int n = static_cast<int>(entries_.size());
    if (n < 1) return std::nullopt;
    int d = 0;
    if (play_mode_ == kRandom) {
        if (random_order_.empty()) {
            for (int i = 0; i < n; ++i) random_order_.push_back(static_cast<std::size_t>(i));
            for (int i = 0; i < n; ++i) {
                std::swap(random_order_[static_cast<std::size_t>(i)],
                          random_order_[random_() % static_cast<std::uint32_t>(n)]);
            }
        }
        d = static_cast<int>(random_order_.front());
        random_order_.pop_front();
    } else if (play_mode_ == kSingleCircle) {
        d = last_index_ == kNoEntry ? 0 : last_index_;
    } else if (last_index_ == kNoEntry) {
        // Nothing played yet: the first entry either way.
        d = direction == Direction::next ? 0 : kNoEntry;
    } else {
        d = last_index_ + (direction == Direction::next ? 1 : -1);
    }
    if (d < 0 || d >= n) return std::nullopt;
    last_index_ = d;
    return static_cast<std::size_t>(d);
}

namespace {

void walk(const std::string& folder, std::set<std::pair<dev_t, ino_t>>& visited,
          std::vector<std::string>& out) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return;
    if (!visited.insert({st.st_dev, st.st_ino}).second) return;  // walked already
    std::vector<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> subfolders;
    for (const std::string& name : names) {
        const std::string path = platform::join_path(folder, name);
        struct stat lst {};
        if (::lstat(path.c_str(), &lst) != 0) continue;
        if (S_ISDIR(lst.st_mode)) {
            subfolders.push_back(path);  // a link to a folder is not a folder here
        } else if (controller::is_playable_recording(path) && platform::is_regular_file(path) &&
                   PlaylistModel::acceptable(path)) {
            out.push_back(path);
        }
    }
    for (const std::string& sub : subfolders) walk(sub, visited, out);
}

}  // namespace

std::vector<std::string> collect_recordings(const std::string& folder) {
    std::vector<std::string> out;
    std::set<std::pair<dev_t, ino_t>> visited;
    walk(folder, visited, out);
    return out;
}

}  // namespace playlist

namespace playlist {
namespace {

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The path of one "file:" URI; nothing for anything else.
std::optional<std::string> path_of_uri(const std::string& uri) {
    const std::string scheme = "file:";
    if (uri.compare(0, scheme.size(), scheme) != 0) return std::nullopt;
    std::size_t slash = scheme.size();  // "file:/path" has no authority
    if (uri.compare(slash, 2, "//") == 0) {
        slash = uri.find('/', scheme.size() + 2);
        if (slash == std::string::npos) return std::nullopt;
        const std::string host = uri.substr(scheme.size() + 2, slash - scheme.size() - 2);
        if (!host.empty() && host != "localhost") return std::nullopt;
    }
    if (slash >= uri.size() || uri[slash] != '/') return std::nullopt;
    std::string path;
    for (std::size_t i = slash; i < uri.size(); ++i) {
        if (uri[i] != '%') {
            path += uri[i];
            continue;
        }
        if (i + 2 >= uri.size()) return std::nullopt;
        const int hi = hex_value(uri[i + 1]), lo = hex_value(uri[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt;
        path += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    if (path.find_first_of(std::string("\0\r\n", 3)) != std::string::npos) return std::nullopt;
    return path;
}

}  // namespace

std::vector<std::string> paths_from_uri_list(const std::string& text) {
    std::vector<std::string> paths;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (auto path = path_of_uri(line)) paths.push_back(std::move(*path));
    }
    return paths;
}

}  // namespace playlist
