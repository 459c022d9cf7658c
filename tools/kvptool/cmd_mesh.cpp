// kvptool mesh FILE --mode M [--logo ANGLE] [--converter]: the mesh a
// viewport of draw mode M gets from a calibration file, as one JSON object
// on stdout. Exit code: the loader's, or 1 (21 with --converter) when the
// mesh is refused; the reason goes to stderr.
#include <iostream>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "command.h"
#include "common.h"
#include "geometry/vertex_factory.h"

// Named for the build that compiles the commands together.
namespace mesh_command {
namespace {

struct Options {
    std::string file;
    int mode = 0;
    int logo_angle = -1;
    bool logo = false;
    bool converter = false;
    int orientation = 0;
};

int build_mesh(geometry::VertexFactory& factory, const Options& opt) {
    const int code = factory.set_calibration(opt.file.c_str(), opt.orientation, false);
    if (code != geometry::kCodeOk) return code;
    if (factory.generate_vertices(opt.mode, opt.logo, opt.logo_angle) != nullptr) return code;
    return opt.converter ? geometry::kCodeConverterFailure : geometry::kCodeInvalidCameraCount;
}

int run_mesh(const Options& opt) {
    if (kvptool::is_special_file(opt.file)) {
        return kvptool::refuse_special_file("mesh", opt.file,
                                            opt.converter ? geometry::kCodeConverterCalibrationFile
                                                          : geometry::kCodeCalibrationFile);
    }
    geometry::VertexFactory factory(opt.converter ? geometry::Variant::converter
                                                  : geometry::Variant::player);
    factory.set_message_sink(nullptr);  // stdout carries the JSON alone
    const int code = build_mesh(factory, opt);
    if (code != geometry::kCodeOk) std::cerr << "kvptool mesh: " << factory.error_text();
    const bool built = code == geometry::kCodeOk;
    const geometry::GridReport& grid = factory.grid_report();
    const nlohmann::json j = {{"code", code},
                              {"vertices", built ? factory.vertex_count() : 0},
                              {"position_floats", built ? factory.position_length() : 0},
                              {"texcoord_floats", built ? factory.texcoord_length() : 0},
                              {"grid_stop_row", grid.stop_row},
                              {"cap_first_row", grid.cap_first_row},
                              {"cap_rows", grid.cap_rows}};
    std::cout << j.dump(2) << "\n";
    return code;
}

void setup_mesh(CLI::App& app, int& exit_code) {
    auto opt = std::make_shared<Options>();
    auto* sub = app.add_subcommand("mesh", "Build the dewarping mesh of one draw mode");
    sub->add_option("file", opt->file, "380-byte calibration file")->required();
    sub->add_option("--mode", opt->mode, "Draw mode 0 to 6 (0 to 5 with --converter)")->required();
    sub->add_option("--logo", opt->logo_angle,
                    "Draw the logo in a nadir cap of ANGLE degrees (negative: from the lens)");
    sub->add_flag("--converter", opt->converter, "Build as the converter does");
    sub->add_option("--orientation", opt->orientation, "Mounting orientation 0, 1 or 2");
    sub->callback([opt, sub, &exit_code] {
        opt->logo = sub->count("--logo") > 0;
        exit_code = run_mesh(*opt);
    });
}

}  // namespace
}  // namespace mesh_command

KVPTOOL_COMMAND(mesh, mesh_command::setup_mesh)
