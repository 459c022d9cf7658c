// The viewer's settings on disk: KVP.cfg, Playlist.lmr and tstamp.szy in
// the settings folder (see settings_folder.h). One running viewer owns a
// folder; a second one reads the files but never writes them.
//
// Thread-safety: one thread uses an object.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "shell/settings_files.h"
#include "shell/settings_folder.h"

namespace shell {

struct StoredSettings {
    PlayConfig config;
    std::vector<std::string> playlist;
};

class SettingsStore {
public:
    // Chooses the folder and tries to take its lock.
    explicit SettingsStore(const SettingsFolderInputs& inputs);

    const std::string& folder() const { return folder_; }
    // False when another viewer owns the folder or no folder can be named:
    // nothing is ever written then.
    bool owns_folder() const { return lock_ != nullptr || lock_unavailable_; }
    // Why the files will not be saved; "" when they will.
    const std::string& notice() const { return notice_; }

    // KVP.cfg and Playlist.lmr; missing files give the defaults and an empty
    // playlist, and KVP.cfg is validated against the playlist.
    StoredSettings load() const;
    // Rewrites both files, also when nothing changed; a file that cannot be
    // written keeps its old content. False with the reasons in `error`.
    bool save(const StoredSettings& settings, std::string* error) const;

    // Whole days since the last update check (kStampUnknownDays when the
    // stamp is missing, short, garbage or in the future).
    int days_since_update_check(FileTime now) const;
    bool write_update_stamp(FileTime now, std::string* error) const;

    std::string path(const char* file_name) const;

private:
    bool write(const char* file_name, const std::string& bytes, std::string* error) const;

    std::string folder_;
    std::unique_ptr<InstanceLock> lock_;
    // The lock file could not be made (a read-only folder): saving is tried
    // all the same, and fails without harm.
    bool lock_unavailable_ = false;
    std::string notice_;
};

// The current time as a FILETIME.
FileTime file_time_now();

}  // namespace shell
