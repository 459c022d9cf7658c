#include "gps/track_reader.h"

#include <chrono>
#include <cstdio>

#include "platform/debug_output.h"
#include "platform/text.h"
#include "readers.h"

namespace gps {
namespace {

// The viewer's debug lines: "DebugTrace: <text>\r\n", the text formatted into
// a buffer of this size first.
constexpr std::size_t kTraceTextSize = 1024;
constexpr std::size_t kTraceLineSize = kTraceTextSize + 16;
constexpr const char* kTsExtension = ".ts";

void log_start(const std::string& path) {
    char text[kTraceTextSize];
    std::snprintf(text, sizeof text, "Get GPS %s", path.c_str());
    platform::debug_printf(kTraceLineSize, "DebugTrace: %s\r\n", text);
}

int read_ts(const std::string& path, std::vector<GpsRecord>& track, bool& continuous) {
    const auto source = FileSource::open(path);
    if (!source) {
        std::fprintf(stderr, "failed to open\n");
        return kTrackNotOpened;
    }
    const auto start = std::chrono::steady_clock::now();
    TsScanResult scan = scan_ts(*source);
    const long elapsed_ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                  std::chrono::steady_clock::now() - start)
                                                  .count());
    platform::debug_printf(kTraceLineSize, "Read gps waste %ld ms\r\n", elapsed_ms);
    track = std::move(scan.track);
    continuous = scan.continuous;
    return kTrackExamined;
}

int read_mp4(const std::string& path, std::vector<GpsRecord>& track) {
    const auto source = FileSource::open(path);
    if (!source) return kTrackNotOpened;
    track = walk_mp4(*source);
    return kTrackExamined;
}

}  // namespace

bool is_ts_path(std::string_view path) {
    const std::string_view ext = kTsExtension;
    return path.size() >= ext.size() &&
           platform::iequals(path.substr(path.size() - ext.size()), ext);
}

int read_track(const std::string& path, bool is_ts, std::vector<GpsRecord>& track,
               bool& continuous) {
    log_start(path);
    track.clear();
    continuous = false;
    const std::string side = side_file_path(path);
    if (!side.empty() && read_side_file(side, track)) return kTrackExamined;
    return is_ts ? read_ts(path, track, continuous) : read_mp4(path, track);
}

}  // namespace gps
