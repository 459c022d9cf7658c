#include "trips/folder_scan.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include <dirent.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include "gps/track_reader.h"
#include "platform/paths.h"
#include "trips/recording_name.h"

namespace trips {
namespace {

struct InputCloser {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;

std::string av_text(int err) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, buf, sizeof buf);
    return buf;
}

// The length in seconds: the container's, else the longest stream's.
double duration_of(const AVFormatContext& fmt) {
    if (fmt.duration != AV_NOPTS_VALUE && fmt.duration > 0) {
        return static_cast<double>(fmt.duration) / AV_TIME_BASE;
    }
    double longest = 0;
    for (unsigned i = 0; i < fmt.nb_streams; ++i) {
        const AVStream* s = fmt.streams[i];
        if (s->duration != AV_NOPTS_VALUE && s->duration > 0) {
            longest = std::max(longest, s->duration * av_q2d(s->time_base));
        }
    }
    return longest;
}

bool probe_duration(const std::string& path, double& seconds, std::string& why) {
    AVFormatContext* raw = nullptr;
    if (const int err = avformat_open_input(&raw, path.c_str(), nullptr, nullptr); err < 0) {
        why = "cannot open: " + av_text(err);
        return false;
    }
    InputPtr fmt(raw);
    if (const int err = avformat_find_stream_info(fmt.get(), nullptr); err < 0) {
        why = "cannot read its streams: " + av_text(err);
        return false;
    }
    if (av_find_best_stream(fmt.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0) < 0) {
        why = "no video stream";
        return false;
    }
    seconds = duration_of(*fmt);
    if (!(seconds > 0)) {
        why = "no duration";
        return false;
    }
    return true;
}

std::vector<std::string> names_in(DIR* dir) {
    std::vector<std::string> names;
    while (const dirent* e = ::readdir(dir)) names.emplace_back(e->d_name);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

bool probe_clip(const std::string& path, Clip& clip, std::string& why) {
    if (!probe_duration(path, clip.duration_s, why)) return false;
    std::vector<gps::GpsRecord> track;
    bool continuous = false;
    if (gps::read_track(path, gps::is_ts_path(path), track, continuous) == gps::kTrackExamined) {
        clip.gps_records = static_cast<int>(track.size());
        clip.gps_fixes = static_cast<int>(std::count_if(track.begin(), track.end(), gps::has_fix));
    }
    return true;
}

FolderTrips find_trips(const std::string& folder, const TripRules& rules) {
    FolderTrips out;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        out.error = std::strerror(errno);
        return out;
    }
    const std::vector<std::string> names = names_in(dir);
    ::closedir(dir);
    out.opened = true;
    std::vector<Clip> clips;
    for (const std::string& name : names) {
        const auto parsed = parse_recording_name(name);
        if (!parsed) continue;
        const std::string path = platform::join_path(folder, name);
        // A FIFO or a device would block the probe or never end.
        if (!platform::is_regular_file(path)) {
            out.skipped.push_back({path, "not a regular file"});
            continue;
        }
        Clip clip;
        clip.path = path;
        clip.camera = parsed->camera;
        clip.start_s = parsed->start_s;
        clip.is_ts = parsed->is_ts;
        std::string why;
        if (probe_clip(path, clip, why)) {
            clips.push_back(std::move(clip));
        } else {
            out.skipped.push_back({path, why});
        }
    }
    out.grouping = group_trips(std::move(clips), rules);
    return out;
}

std::vector<gps::GpsRecord> trip_track(const Trip& trip) {
    std::vector<gps::GpsRecord> all;
    for (const Clip& c : trip.clips) {
        std::vector<gps::GpsRecord> track;
        bool continuous = false;
        if (gps::read_track(c.path, c.is_ts, track, continuous) == gps::kTrackExamined) {
            all.insert(all.end(), track.begin(), track.end());
        }
    }
    return all;
}

}  // namespace trips
