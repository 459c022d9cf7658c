// The video filter (brightness and contrast for fisheye video, mirror for
// flat video): "buffer" -> the caller's description -> "buffersink",
// YUV420P out, applied by the decode thread to every picture.
//
// Thread-safety: every member is guarded by `mutex`; the decode thread
// holds it while a picture passes through (apply_locked) and is converted.
#pragma once

#include <string>

#include "ffmpeg_support/handles.h"
#include "platform/thread_annotations.h"
#include "view_state.h"

namespace sphere_player {

inline constexpr std::size_t kFilterDescriptionSize = 128;  // 127 characters and the terminator

class VideoFilter {
public:
    platform::Mutex mutex ACQUIRED_AFTER(ViewState::mutex);

    // The pictures the graph is built for.
    struct Source {
        int width = 0, height = 0;
        AVPixelFormat format = AV_PIX_FMT_NONE;
        AVRational time_base{1, 1};
        AVRational aspect{0, 1};
    };

    // Rebuilds the graph for `description` (kept, cut to 127 characters;
    // the graph is built from the whole text), or removes it for an empty
    // one. Without a source, or when FFmpeg cannot build it, no graph
    // remains. FFmpeg's result (negative on failure).
    int rebuild(const char* description, const Source* source) EXCLUDES(mutex);
    void release() EXCLUDES(mutex);
    bool active() EXCLUDES(mutex);
    std::string description() EXCLUDES(mutex);

    // Passes a decoded picture through the graph when one is active. The
    // picture itself without a graph; the filtered picture (to be
    // unreferenced by the caller) or null when the graph gives none for it.
    AVFrame* apply_locked(AVFrame* picture) REQUIRES(mutex);

private:
    void release_locked() REQUIRES(mutex);
    int build_locked(const char* description, const Source& in) REQUIRES(mutex);
    int make_source(const Source& in) REQUIRES(mutex);
    int make_sink() REQUIRES(mutex);
    int link_description(const char* description) REQUIRES(mutex);

    av::FilterGraphPtr graph_ GUARDED_BY(mutex);
    AVFilterContext* source_ GUARDED_BY(mutex) = nullptr;  // owned by graph_
    AVFilterContext* sink_ GUARDED_BY(mutex) = nullptr;    // owned by graph_
    av::FramePtr filtered_ GUARDED_BY(mutex);
    bool active_ GUARDED_BY(mutex) = false;
    char description_[kFilterDescriptionSize] GUARDED_BY(mutex) = {};
};

}  // namespace sphere_player
