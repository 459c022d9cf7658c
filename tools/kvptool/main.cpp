// kvptool: the libraries of the viewer without a window.
#include <algorithm>
#include <cstring>

#include "command.h"

namespace kvptool {

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
    CLI11_PARSE(app, argc, argv);
    return exit_code;
}
