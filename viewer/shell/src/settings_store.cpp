#include "shell/settings_store.h"

#include <chrono>

#include "platform/paths.h"
#include "shell/file_io.h"

namespace shell {

SettingsStore::SettingsStore(const SettingsFolderInputs& inputs)
    : folder_(choose_settings_folder(inputs)) {
    if (folder_.empty()) {
        notice_ = "no folder for the settings (HOME is not set); they will not be saved";
        return;
    }
    bool held_elsewhere = false;
    std::string why;
    lock_ = InstanceLock::acquire(folder_, &held_elsewhere, &why);
    if (lock_) return;
    if (held_elsewhere) {
        notice_ = why + "; the settings of this one will not be saved";
    } else {
        lock_unavailable_ = true;
    }
}

std::string SettingsStore::path(const char* file_name) const {
    return platform::join_path(folder_, file_name);
}

StoredSettings SettingsStore::load() const {
    StoredSettings s;
    if (folder_.empty()) return s;
    if (auto bytes = read_whole_file(path(kPlaylistFileName))) s.playlist = parse_playlist(*bytes);
    if (auto bytes = read_whole_file(path(kConfigFileName))) s.config = parse_play_config(*bytes);
    s.config = validated_play_config(s.config, s.playlist.size());
    return s;
}

bool SettingsStore::write(const char* file_name, const std::string& bytes,
                          std::string* error) const {
    std::string why;
    if (write_file_replacing(path(file_name), bytes, 0644, &why)) return true;
    if (error != nullptr) *error += (error->empty() ? "" : "; ") + why;
    return false;
}

bool SettingsStore::save(const StoredSettings& settings, std::string* error) const {
    if (!owns_folder() || folder_.empty()) return false;
    const bool config_saved = write(kConfigFileName, encode_play_config(settings.config), error);
    const bool playlist_saved = write(kPlaylistFileName, encode_playlist(settings.playlist), error);
    return config_saved && playlist_saved;
}

int SettingsStore::days_since_update_check(FileTime now) const {
    return days_since_stamp(read_whole_file(path(kStampFileName), kStampFileBytes * 4), now);
}

bool SettingsStore::write_update_stamp(FileTime now, std::string* error) const {
    if (!owns_folder() || folder_.empty()) return false;
    return write(kStampFileName, encode_stamp(system_time_of(now)), error);
}

FileTime file_time_now() {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    return file_time_from_unix_ms(ms);
}

}  // namespace shell
