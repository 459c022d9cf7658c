// The playlist: the recordings the user opened, dropped or added, the play
// mode, the entry played last, and the choice of the previous or next entry
// by the mode. The tree in the window shows one row per entry in this
// order; indices here are the rows' indices, counted from the first.
//
// Thread-safety: a model belongs to its caller's thread (the UI thread).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace playlist {

enum PlayMode : int { kSequence = 0, kRandom = 1, kSingleCircle = 2 };
inline constexpr int kNoEntry = -1;

enum class Direction { previous, next };

class PlaylistModel {
public:
    // From the saved list, play mode and last index (both validated: a mode
    // outside 0..2 is sequence, an index naming no entry is none).
    explicit PlaylistModel(std::vector<std::string> entries = {}, int play_mode = kSequence,
                           int last_index = kNoEntry);

    const std::vector<std::string>& entries() const { return entries_; }
    std::size_t size() const { return entries_.size(); }
    std::optional<std::size_t> index_of(const std::string& path) const;

    // Appends a playable recording (see acceptable()) that is not in the
    // list yet; its index, or nothing when it was not added.
    std::optional<std::size_t> add(const std::string& path);
    // Whether a path may be an entry: a playable recording whose name holds
    // no line break (the playlist file has one path per line).
    static bool acceptable(const std::string& path);

    // Removing an entry before the last played one moves that index back;
    // removing the last played entry makes the one before it the last.
    bool remove(std::size_t index);
    bool remove_path(const std::string& path);
    void clear();

    int play_mode() const { return play_mode_; }
    void set_play_mode(int mode);
    int last_index() const { return last_index_; }
    // The user played this entry (activated its row).
    void set_last(std::size_t index);

    // The entry to play going `direction` by the mode, now the last played;
    // nothing when there is none (sequence mode past either end, an empty
    // list). Random mode plays every entry once per round, in an order
    // drawn afresh for each round.
    std::optional<std::size_t> choose(Direction direction);

    // For tests: the random order's generator.
    void seed(std::uint32_t seed) { random_.seed(seed); }

private:
    void changed() { random_order_.clear(); }

    std::vector<std::string> entries_;
    int play_mode_ = kSequence;
    int last_index_ = kNoEntry;
    std::deque<std::size_t> random_order_;  // of the current round
    std::mt19937 random_;
};

// Every playable recording in `folder` and its subfolders, by name within
// each folder, subfolders after the files of their parent. Links to
// folders are not followed and no folder is walked twice.
std::vector<std::string> collect_recordings(const std::string& folder);

// The local paths of a dropped "text/uri-list": one URI per line (CRLF or
// LF), '#' lines are comments; "file:" URIs with an empty host or
// "localhost" become paths with their %XX escapes decoded. Other URIs, other
// hosts, and paths that would hold a NUL or a line break are left out.
std::vector<std::string> paths_from_uri_list(const std::string& text);

}  // namespace playlist
