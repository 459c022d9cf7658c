#include "controller/player_settings.h"

#include <cstdlib>

#include "platform/ini.h"
#include "platform/paths.h"

namespace controller {
namespace {

constexpr const char* kPlaySection = "play_param";
// The setting names as the file has always spelt them.
constexpr const char* kPitchKey = "picth";

float read_double(const std::string& text) {
    return static_cast<float>(std::strtod(text.c_str(), nullptr));
}

std::string in_program_dir(const std::string& program_dir, const std::string& name) {
    return name.empty() ? std::string() : platform::join_path(program_dir, name);
}

}  // namespace

AngleLimits parse_angle_limits(const std::string& text) {
    const std::size_t comma = text.find(',');
    if (comma == std::string::npos) return {};
    return AngleLimits{read_double(text.substr(0, comma)), read_double(text.substr(comma + 1))};
}

PlayerSettings read_player_settings(const std::string& program_dir) {
    const std::string file = platform::join_path(program_dir, kPlayerSettingsFile);
    PlayerSettings s;
    s.calibration_path = in_program_dir(
        program_dir, platform::ini_get_string(file, kPlaySection, "calib_filename", ""));
    s.logo_path =
        in_program_dir(program_dir, platform::ini_get_string(file, kPlaySection, "logon_fn", ""));
    s.need_logo = platform::ini_get_int(file, kPlaySection, "need_logo", 0);
    s.logo_fov = platform::ini_get_int(file, kPlaySection, "logo_fov", 0);
    for (int n = 0; n < kCameraRecords; ++n) {
        const std::string section = "camera_param_" + std::to_string(n);
        CameraLimits& c = s.cameras[static_cast<std::size_t>(n)];
        c.pitch = parse_angle_limits(platform::ini_get_string(file, section, kPitchKey, ""));
        c.yaw = parse_angle_limits(platform::ini_get_string(file, section, "yaw", ""));
        c.roll = parse_angle_limits(platform::ini_get_string(file, section, "roll", ""));
    }
    return s;
}

}  // namespace controller
