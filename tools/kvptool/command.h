// kvptool's sub-commands register themselves, one source file each:
//
//     static void setup_info(CLI::App& app, int& exit_code) {
//         auto* sub = app.add_subcommand("info", "...");
//         ...
//         sub->callback([&exit_code, ...] { exit_code = ...; });
//     }
//     KVPTOOL_COMMAND(info, setup_info);
//
// A command's exit code is written through `exit_code` by its callback.
#pragma once

#include <vector>

#include <CLI/CLI.hpp>

namespace kvptool {

using SetupFn = void (*)(CLI::App& app, int& exit_code);

struct Command {
    const char* name;
    SetupFn setup;
};

std::vector<Command>& commands();
bool register_command(const Command& command);

}  // namespace kvptool

#define KVPTOOL_COMMAND(name, setup)                                                 \
    namespace {                                                                      \
    const bool kvptool_command_##name = ::kvptool::register_command({#name, setup}); \
    }
