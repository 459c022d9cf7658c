// Joining consecutive recordings (the one-minute files of a trip) into one
// MP4 by stream copy, so that one conversion exports the whole drive.
//
// The joined file holds every video packet of every source, and its video
// runs on without a gap or an overlap: each source's pictures begin where
// the previous source's last picture ends. The sound of each source keeps
// its place against that source's pictures; where it would overlap the
// previous source's sound, the overlapping start is dropped (a packet that
// overlaps by less than half its length is moved to the previous end
// instead), so that the joined sound never goes back and never leaves a gap
// longer than half a sound packet. Other streams (the recorder's GPS
// packets) are left out: the timeline below says where each source's time
// lies in the joined file.
//
// Thread-safety: every call is independent; the files are the caller's.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace exporter {

// Where one source lies in the joined file. `start_ms` is where the
// source's time 0 (its first picture) lands in the joined file; it may be
// negative on a timeline that was cut to begin inside the source.
struct JoinSegment {
    std::string path;
    std::int64_t start_ms = 0;
    std::int64_t duration_ms = 0;  // its pictures, first to the end of the last
};

using JoinTimeline = std::vector<JoinSegment>;

// Returns true to stop the join early.
using JoinCancelled = std::function<bool()>;

// Joins `sources` (two or more, or one) in their order into the MP4 file
// `out`, created or replaced. The sources must agree on what a player
// cannot switch within one stream: the video codec, picture size and frame
// rate, and whether there is sound and its codec, rate and channels. On
// success `timeline` holds one segment per source. False with the reason in
// `why` (naming the source) otherwise, and nothing of `out` is left.
bool join_recordings(const std::vector<std::string>& sources, const std::string& out,
                     JoinTimeline& timeline, std::string& why, const JoinCancelled& cancelled = {});

// The timeline as seen from a cut of the joined file that begins at
// `from_ms`: every start moved back by that much.
JoinTimeline shift_timeline(const JoinTimeline& timeline, std::int64_t from_ms);

// A temporary file beside `near` (same folder, so that it lies on the
// output's file system), created empty and removed when this goes out of
// scope or remove() is called.
class TempFileBeside {
public:
    TempFileBeside() = default;
    ~TempFileBeside() { remove(); }
    TempFileBeside(const TempFileBeside&) = delete;
    TempFileBeside& operator=(const TempFileBeside&) = delete;

    // Creates ".NAME.join-XXXXXX.mp4" beside `near`; false with `why` set
    // when it cannot be made.
    bool create(const std::string& near, std::string& why);
    void remove();
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace exporter
