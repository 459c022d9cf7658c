// kvptool autocalib VIDEO OUT.inf [--json]: the automatic lens calibration
// from the first picture of a recording. The work picture goes to the
// program folder (KVP_PROGRAM_DIR overrides it). Exits 0 when the
// calibration was written, 1 otherwise; the JSON's `code` is the
// calibration's own result code.
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "autocalib/autocalib.h"
#include "command.h"
#include "common.h"

// Named for the build that compiles the commands together.
namespace autocalib_command {
namespace {

struct Options {
    std::string video;
    std::string out;
    bool json = false;
};

nlohmann::json report_json(const autocalib::CalibrationReport& r) {
    return {{"code", r.code},
            {"found", r.circle.found},
            {"cx", r.circle.cx},
            {"cy", r.circle.cy},
            {"radius", r.circle.radius},
            {"whole", r.whole},
            {"inlier_share", r.circle.inlier_share},
            {"width", r.width},
            {"height", r.height}};
}

void print_text(const Options& opt, const autocalib::CalibrationReport& r) {
    if (r.code != autocalib::kOk) {
        std::fprintf(stderr, "kvptool autocalib: %s: %s (%d: %s)\n", opt.video.c_str(),
                     autocalib::result_text(r.code), r.detail_code,
                     autocalib::result_text(r.detail_code));
    }
    if (r.width > 0) std::printf("frame:    %dx%d\n", r.width, r.height);
    if (!r.circle.found) return;
    std::printf("centre:   %.2f, %.2f\n", r.circle.cx, r.circle.cy);
    std::printf("radius:   %.2f\n", r.circle.radius);
    std::printf("circle:   %s\n", r.whole ? "whole" : "cut by a frame edge");
    std::printf("inliers:  %.1f %%\n", 100.0 * r.circle.inlier_share);
    if (r.code == autocalib::kOk) std::printf("written:  %s\n", opt.out.c_str());
}

int run_autocalib(const Options& opt) {
    for (const std::string* path : {&opt.video, &opt.out}) {
        if (kvptool::is_special_file(*path)) {
            return kvptool::refuse_special_file("autocalib", *path, 1);
        }
    }
    autocalib::CalibrationReport report;
    autocalib::make_calibration_from_video(opt.video.c_str(), opt.out.c_str(), &report);
    if (opt.json) {
        std::cout << report_json(report).dump(2) << "\n";
    } else {
        print_text(opt, report);
    }
    return report.code == autocalib::kOk ? 0 : 1;
}

void setup_autocalib(CLI::App& app, int& exit_code) {
    auto opt = std::make_shared<Options>();
    auto* sub = app.add_subcommand(
        "autocalib", "Find the lens circle in the first picture and write a calibration file");
    sub->add_option("video", opt->video, "fisheye recording")->required();
    sub->add_option("out", opt->out, "calibration file to write (.inf)")->required();
    sub->add_flag("--json", opt->json, "Print one JSON object");
    sub->callback([opt, &exit_code] { exit_code = run_autocalib(*opt); });
}

}  // namespace
}  // namespace autocalib_command

KVPTOOL_COMMAND(autocalib, autocalib_command::setup_autocalib)
