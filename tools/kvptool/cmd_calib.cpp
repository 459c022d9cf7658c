// kvptool calib FILE [--converter] [--orientation N] [--probe LAT,LON ...]:
// what a calibration file gives the camera model, as one JSON object on
// stdout; the exit code is the loader's (0, 1, 2; 17, 21 with --converter).
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "command.h"
#include "common.h"
#include "geometry/vertex_factory.h"

// Named for the build that compiles the commands together.
namespace calib_command {
namespace {

struct Options {
    std::string file;
    bool converter = false;
    int orientation = 0;
    std::vector<std::string> probes;
};

struct Probe {
    double lat_deg = 0.0, lon_deg = 0.0;
};

// "LAT,LON" in degrees; false when it is not two numbers.
bool parse_probe(const std::string& text, Probe& probe) {
    const auto comma = text.find(',');
    if (comma == std::string::npos) return false;
    const std::string lat = text.substr(0, comma), lon = text.substr(comma + 1);
    char* end = nullptr;
    probe.lat_deg = std::strtod(lat.c_str(), &end);
    if (lat.empty() || *end != '\0') return false;
    probe.lon_deg = std::strtod(lon.c_str(), &end);
    return !lon.empty() && *end == '\0';
}

float degrees_to_radians(double deg) {
    return static_cast<float>(deg * geometry::kPi / 180.0);
}

nlohmann::json probe_json(const geometry::VertexFactory& factory, const Probe& probe) {
    const geometry::ImagePoint p = factory.sphere_to_image(degrees_to_radians(probe.lat_deg),
                                                           degrees_to_radians(probe.lon_deg));
    return {{"lat", probe.lat_deg}, {"lon", probe.lon_deg}, {"u", p.u}, {"v", p.v},
            {"valid", p.valid},     {"weight", p.weight}};
}

int run_calib(const Options& opt) {
    if (kvptool::is_special_file(opt.file)) {
        return kvptool::refuse_special_file("calib", opt.file,
                                            opt.converter ? geometry::kCodeConverterCalibrationFile
                                                          : geometry::kCodeCalibrationFile);
    }
    geometry::VertexFactory factory(opt.converter ? geometry::Variant::converter
                                                  : geometry::Variant::player);
    factory.set_message_sink(nullptr);  // stdout carries the JSON alone
    const int code = factory.set_calibration(opt.file.c_str(), opt.orientation, false);
    const geometry::CameraRecord& cam = factory.camera(0);
    nlohmann::json rotation = nlohmann::json::array();
    for (float v : cam.rotation) rotation.push_back(v);
    nlohmann::json probes = nlohmann::json::array();
    for (const std::string& text : opt.probes) {
        Probe probe;
        parse_probe(text, probe);
        probes.push_back(probe_json(factory, probe));
    }
    const nlohmann::json j = {{"code", code},
                              {"error", code == 0 ? "" : factory.error_text()},
                              {"camera_count", factory.camera_count()},
                              {"width", factory.frame_width()},
                              {"height", factory.frame_height()},
                              {"t_max", factory.t_max()},
                              {"R", factory.circle_radius()},
                              {"cx", cam.cx},
                              {"cy", cam.cy},
                              {"k1", cam.k1},
                              {"k3", cam.k3},
                              {"k5", cam.k5},
                              {"rotation", rotation},
                              {"roll_offset", factory.roll_offset()},
                              {"probes", probes}};
    std::cout << j.dump(2) << "\n";
    return code;
}

void setup_calib(CLI::App& app, int& exit_code) {
    auto opt = std::make_shared<Options>();
    auto* sub = app.add_subcommand("calib", "Load a calibration file and probe its camera model");
    sub->add_option("file", opt->file, "380-byte calibration file")->required();
    sub->add_flag("--converter", opt->converter, "Load as the converter does (codes 17, 21)");
    sub->add_option("--orientation", opt->orientation, "Mounting orientation 0, 1 or 2");
    sub->add_option("--probe", opt->probes, "Directions LAT,LON in degrees to map into the frame")
        ->check(CLI::Validator(
            [](std::string& text) {
                Probe probe;
                return parse_probe(text, probe) ? std::string() : "expected LAT,LON: " + text;
            },
            "LAT,LON"));
    sub->callback([opt, &exit_code] { exit_code = run_calib(*opt); });
}

}  // namespace
}  // namespace calib_command

KVPTOOL_COMMAND(calib, calib_command::setup_calib)
