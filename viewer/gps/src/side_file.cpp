#include <cstring>

#include "gps/track_reader.h"
#include "readers.h"

namespace gps {
namespace {

constexpr char kSeparator = '/';
constexpr char kRecordingFolderMark = 'A';  // last letter of the video folder
constexpr char kSideFolderMark = 'G';       // last letter of the GPS folder
constexpr const char* kSideExtension = ".gps";

}  // namespace

std::string side_file_path(const std::string& path) {
    const std::size_t slash = path.rfind(kSeparator);
    if (slash == std::string::npos || slash == 0) return {};
    if (path[slash - 1] != kRecordingFolderMark) return {};
    std::string side = path;
    side[slash - 1] = kSideFolderMark;
    // The extension is looked for in the file name only: a dot in a folder
    // name must not cut the path there.
    const std::size_t dot = side.rfind('.');
    if (dot != std::string::npos && dot > slash) side.erase(dot);
    return side + kSideExtension;
}

bool read_side_file(const std::string& side_path, std::vector<GpsRecord>& track) {
    const auto source = FileSource::open(side_path);
    if (!source) return false;
    std::uint64_t count = source->size() / kGpsRecordSize;
    if (count == 0) return false;
    if (count > kMaxTrackRecords) count = kMaxTrackRecords;
    std::vector<GpsRecord> records(static_cast<std::size_t>(count));
    const std::size_t got = source->read_at(0, records.data(), records.size() * kGpsRecordSize);
    records.resize(got / kGpsRecordSize);  // a short read keeps the whole records only
    if (records.empty()) return false;
    track = std::move(records);
    return true;
}

}  // namespace gps
