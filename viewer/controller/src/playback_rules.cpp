#include "controller/playback_rules.h"

#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "platform/paths.h"
#include "platform/text.h"

namespace controller {
namespace {

constexpr float kVolumeScale = 128.0f;  // the player's full mixing volume
constexpr int kVolumeSliderMax = 100;
constexpr int kSliderMax = 1000;          // the seek slider's per-mille range
constexpr double kBrightnessStep = 0.02;  // per slider step from the middle
constexpr int kBrightnessMiddle = 50;
constexpr double kFilterMax = 9.0;  // the eq filter's largest value here
constexpr std::int64_t kMsPerSecond = 1000;
// A TS recording whose end time is below this is bounded by it.
constexpr int kShortEndTimeMs = 70000;

// The file-name part of a path and its extension after the last dot.
std::string file_name(const std::string& path) {
    return platform::file_name_of(path);
}

std::string extension_of(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool ends_with(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.rfind(platform::kPathSeparator);
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string(1, platform::kPathSeparator) : path.substr(0, slash);
}

std::string absolute(const std::string& path) {
    if (!path.empty() && path[0] == platform::kPathSeparator) return path;
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr) return path;
    std::string out = real;
    std::free(real);
    return out;
}

}  // namespace

bool is_playable_recording(const std::string& path) {
    const std::string ext = extension_of(file_name(path));
    return platform::iequals(ext, "mp4") || platform::iequals(ext, "ts");
}

bool is_ts_recording(const std::string& path) {
    return platform::iequals(extension_of(file_name(path)), "ts");
}

bool is_rear_camera_file(const std::string& path) {
    if (!is_playable_recording(path)) return false;
    const std::string name = file_name(path);
    const std::string stem = upper(name.substr(0, name.rfind('.')));
    for (const char* tail : {"B", "OUT", "EAR", "B_SOS", "B_CCTV"}) {
        if (ends_with(stem, tail)) return true;
    }
    return false;
}

TsLength ts_length(int duration_s, int gps_records, int end_time_ms) {
    TsLength out{duration_s, gps_records, end_time_ms};
    if (out.gps_records > 0) {
        out.gps_records = std::min(out.gps_records, out.duration_s);
        if (out.duration_s > out.gps_records) {
            if (out.end_time_ms / 1000 > out.gps_records) out.end_time_ms = out.gps_records * 1000;
            out.duration_s = out.gps_records;
        }
    }
    if (out.end_time_ms != 0 && out.end_time_ms < kShortEndTimeMs) {
        if (out.end_time_ms / 1000 < out.duration_s) {
            out.duration_s = out.end_time_ms / 1000;
        } else {
            out.end_time_ms = out.duration_s * 1000;
        }
    }
    return out;
}

int player_volume(int slider_value) {
    const int v = std::clamp(slider_value, 0, kVolumeSliderMax);
    return static_cast<int>(static_cast<float>(v) / static_cast<float>(kVolumeSliderMax) *
                            kVolumeScale);
}

double brightness_of(int slider_value) {
    return (std::clamp(slider_value, 0, 100) - kBrightnessMiddle) * kBrightnessStep;
}

std::string video_filter_text(double contrast, double brightness, bool mirrored) {
    const double c = std::min(contrast, kFilterMax);
    const double b = std::min(brightness, kFilterMax);
    char eq[96];
    std::snprintf(eq, sizeof eq, "eq=contrast=%.1f:brightness=%.1f", c, b);
    // As the player gets it: one decimal (a step of the slider may vanish).
    const bool neutral = std::string(eq) == "eq=contrast=1.0:brightness=0.0" ||
                         std::string(eq) == "eq=contrast=1.0:brightness=-0.0";
    if (!mirrored) return neutral ? std::string() : std::string(eq);
    return neutral ? std::string("hflip") : std::string("hflip,") + eq;
}

std::optional<std::int64_t> seek_target_ms(int permille, int duration_s) {
    if (duration_s <= 0) return std::nullopt;
    const std::int64_t p = std::clamp(permille + 1, 0, kSliderMax);
    const std::int64_t target = p * duration_s;  // p / 1000 of the length, in ms
    const std::int64_t last_whole_second = (static_cast<std::int64_t>(duration_s) - 1) * 1000;
    return std::min(target / kMsPerSecond * kMsPerSecond, last_whole_second);
}

int slider_position(int second, int duration_s) {
    if (duration_s <= 1) return 100;
    const std::int64_t pos = static_cast<std::int64_t>(second) * kSliderMax / (duration_s - 1);
    return static_cast<int>(std::clamp<std::int64_t>(pos, 0, kSliderMax));
}

std::string time_label(std::int64_t seconds) {
    const std::int64_t s = std::max<std::int64_t>(seconds, 0);
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                  static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
    return text;
}

std::string position_label(std::int64_t position_s, std::int64_t duration_s) {
    return time_label(position_s) + " / " + time_label(duration_s);
}

std::string calibration_beside(const std::string& media_path) {
    const std::string dir = absolute(folder_of(media_path));
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() > 4 && platform::iequals(name.substr(name.size() - 4), ".inf") &&
                platform::is_regular_file(platform::join_path(dir, name))) {
                names.push_back(name);
            }
        }
        ::closedir(d);
    }
    if (names.empty()) return {};
    return platform::join_path(dir, *std::min_element(names.begin(), names.end()));
}

std::string prepared_calibration_path(const std::string& cache_dir, const std::string& media_path) {
    const std::string full = absolute(media_path);
    // One file per recording: the name keeps it readable, the hash of the
    // whole path keeps recordings of one name in different folders apart.
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016zx", std::hash<std::string>{}(full));
    std::string stem = file_name(full);
    stem = stem.substr(0, stem.rfind('.'));
    return platform::join_path(cache_dir, stem + "-" + hash + ".inf");
}

std::string default_cache_dir() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg != nullptr && *xdg == platform::kPathSeparator) return platform::join_path(xdg, "kvp");
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') return platform::join_path(home, ".cache/kvp");
    const char* tmp = std::getenv("TMPDIR");
    return platform::join_path(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp", "kvp-cache");
}

}  // namespace controller
