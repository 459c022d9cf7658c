// Where the viewer keeps KVP.cfg, Playlist.lmr and tstamp.szy, and the lock
// that keeps two running viewers from overwriting each other's files.
//
// Thread-safety: choose_settings_folder is a pure function; an InstanceLock
// belongs to one thread.
#pragma once

#include <memory>
#include <string>

namespace shell {

// What the choice depends on (the environment and the program folder).
struct SettingsFolderInputs {
    std::string override_dir;  // $KVP_SETTINGS_DIR, empty when unset
    std::string program_dir;   // the folder of the program
    bool program_dir_writable = false;
    std::string xdg_config_home;  // $XDG_CONFIG_HOME, empty when unset
    std::string home;             // $HOME, empty when unset
};

// The override when set; else the program folder when it is writable (the
// files then lie beside the program, as they always did); else
// $XDG_CONFIG_HOME/kvp, or $HOME/.config/kvp without XDG_CONFIG_HOME. Empty
// when none of these can be named.
std::string choose_settings_folder(const SettingsFolderInputs& inputs);

// The inputs of this process: its environment, platform::program_dir() and
// whether this process may create files there.
SettingsFolderInputs current_settings_folder_inputs();

// An exclusive lock on "KVP.lock" in a settings folder, held until the
// object is destroyed (or the process ends). The folder is created when
// missing.
class InstanceLock {
public:
    // Null when another process holds the lock (`held_elsewhere` set) or
    // when the lock file cannot be made, e.g. in a read-only folder
    // (`held_elsewhere` clear); `error` says which.
    static std::unique_ptr<InstanceLock> acquire(const std::string& folder, bool* held_elsewhere,
                                                 std::string* error);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

private:
    explicit InstanceLock(int fd) : fd_(fd) {}
    int fd_ = -1;
};

inline constexpr const char* kLockFileName = "KVP.lock";

}  // namespace shell
