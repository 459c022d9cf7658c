// kvptool: the libraries of the viewer without a window.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>

#include "command.h"

namespace kvptool {
namespace {

// The exit status when a command failed in a way it did not report itself.
constexpr int kInternalErrorExit = 1;

}  // namespace

std::vector<Command>& commands() {
    static std::vector<Command> list;
    return list;
}

bool register_command(const Command& command) {
    commands().push_back(command);
    return true;
}

}  // namespace kvptool

int main(int argc, char** argv) {
    CLI::App app{"kvptool: probe, repair, calibrate and export panoramic recordings"};
    app.require_subcommand(1);
    auto& list = kvptool::commands();
    std::sort(list.begin(), list.end(), [](const kvptool::Command& a, const kvptool::Command& b) {
        return std::strcmp(a.name, b.name) < 0;
    });
    int exit_code = 0;
    for (const auto& command : list) command.setup(app, exit_code);
    // The commands run inside the parse. Nothing they throw may end the
    // program unexplained (or skip the clean-up of the scopes it leaves).
    try {
        CLI11_PARSE(app, argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kvptool: internal error: %s\n", e.what());
        return kvptool::kInternalErrorExit;
    } catch (...) {
        std::fprintf(stderr, "kvptool: internal error\n");
        return kvptool::kInternalErrorExit;
    }
    return exit_code;
}
