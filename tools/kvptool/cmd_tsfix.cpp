// kvptool tsfix [--dry-run] [--json] FILE...: the player's repair of recorder
// TS files, on demand. Each file is judged as the player judges it before
// playing: whole, cut after the last packet of its own recording, or left
// untouched (marker file on its file system, a recording it cannot tell,
// a file it cannot open or write).
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "command.h"
#include "common.h"
#include "tsfix/ts_fix_tool.h"

// Named for the build that compiles the commands together.
namespace tsfix_command {
namespace {

struct Options {
    std::vector<std::string> files;
    bool dry_run = false;
    bool json = false;
};

nlohmann::json to_json(const std::string& file, const tsfix::RepairReport& r, bool dry_run) {
    return {{"file", file},
            {"result", r.result},
            {"action", tsfix::action_name(r.action)},
            {"size_before", r.size_before},
            {"size_after", r.size_after},
            {"reason", r.reason},
            {"dry_run", dry_run}};
}

void print_plain(const std::string& file, const tsfix::RepairReport& r, bool dry_run) {
    const long long before = r.size_before, after = r.size_after;
    switch (r.action) {
        case tsfix::Action::whole:
            std::printf("%s: whole, %lld bytes\n", file.c_str(), before);
            break;
        case tsfix::Action::cut:
            std::printf("%s: %s at %lld, %lld of %lld bytes %s (%s)\n", file.c_str(),
                        dry_run ? "would be cut" : "cut", after, before - after, before,
                        dry_run ? "would go" : "removed", r.reason.c_str());
            break;
        case tsfix::Action::untouched:
            std::printf("%s: untouched%s: %s\n", file.c_str(), r.result != 0 ? " (failed)" : "",
                        r.reason.c_str());
            break;
    }
}

int run_tsfix(const Options& opt) {
    nlohmann::json all = nlohmann::json::array();
    int exit_code = 0;
    for (const auto& file : opt.files) {
        const tsfix::RepairReport r = tsfix::repair_unless_marked(
            file, tsfix::marker_dir_of(file), tsfix::RepairOptions{opt.dry_run});
        if (r.result != 0) exit_code = 1;
        if (opt.json) {
            all.push_back(to_json(file, r, opt.dry_run));
        } else {
            print_plain(file, r, opt.dry_run);
        }
    }
    if (opt.json) std::cout << kvptool::json_text(all) << "\n";
    return exit_code;
}

void setup_tsfix(CLI::App& app, int& exit_code) {
    auto opt = std::make_shared<Options>();
    auto* sub = app.add_subcommand(
        "tsfix", "Repair recorder TS files whose end holds packets of another recording");
    sub->add_option("files", opt->files, "recorder TS files (named YYYYMMDD_HHMMSS?.ts)")
        ->required();
    sub->add_flag("--dry-run", opt->dry_run, "Report what would be cut; change nothing");
    sub->add_flag("--json", opt->json, "Print a JSON array with one object per file");
    sub->footer(
        "Exit status 1 when a file could not be opened, written or searched. A file system\n"
        "whose root holds .libhole.ini is never modified.");
    sub->callback([opt, &exit_code] { exit_code = run_tsfix(*opt); });
}

}  // namespace
}  // namespace tsfix_command

KVPTOOL_COMMAND(tsfix, tsfix_command::setup_tsfix)
