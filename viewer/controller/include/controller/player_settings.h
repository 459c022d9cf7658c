// The player settings file "rarudir.cfg" in the program folder: the
// calibration and logo the player uses, and per layout the limits of the
// three view angles.
//
//     [play_param]
//     calib_filename=1920.inf        (relative to the program folder)
//     logon_fn=logo.png
//     need_logo=0
//     logo_fov=0
//     [camera_param_0]               (0 to 3)
//     picth=-180,180
//     yaw=-180,180
//     roll=-180,180
//
// Thread-safety: independent calls; the record belongs to the caller.
#pragma once

#include <array>
#include <string>

namespace controller {

inline constexpr const char* kPlayerSettingsFile = "rarudir.cfg";
inline constexpr int kCameraRecords = 4;

struct AngleLimits {
    float min_deg = 0.0f, max_deg = 0.0f;
};

// One camera_param_N record: the limits of pitch, yaw and roll.
struct CameraLimits {
    AngleLimits pitch, yaw, roll;
};

struct PlayerSettings {
    std::string calibration_path;  // program folder + calib_filename ("" when unset)
    std::string logo_path;         // program folder + logon_fn ("" when unset)
    int need_logo = 0;
    int logo_fov = 0;
    std::array<CameraLimits, kCameraRecords> cameras{};
};

// "min,max": split at the first comma, each half read as a C double (what
// does not read gives 0). Without a comma both stay 0.
AngleLimits parse_angle_limits(const std::string& text);

// The settings of `program_dir`/rarudir.cfg; defaults for what is missing
// (the whole file included).
PlayerSettings read_player_settings(const std::string& program_dir);

}  // namespace controller
