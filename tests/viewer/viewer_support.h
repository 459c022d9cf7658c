// Helpers of the viewer tests: a program folder made of the built files,
// and pumping the GTK main loop until something happens.
#pragma once

#include <gtk/gtk.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "temp_dir.h"

namespace viewer_test {

// The files KVP finds beside itself.
inline const std::vector<std::string>& program_files() {
    static const std::vector<std::string> kFiles = {
        "ovlplug.so",       "lumoraui.osd",   "version.cfg",     "UpdateSelf.ulf",
        "checkver.ulf",     "common_fun.lhs", "ini_fun.lhs",     "regbasefun.lhs",
        "regsocketfun.lhs", "reguifun.lhs",   "windows_def.lhs",
    };
    return kFiles;
}

// Copies the built files into `dir` (all but those named in `leave_out`).
inline bool make_program_dir(const kvp_test::TempDir& dir,
                             const std::vector<std::string>& leave_out = {}) {
    for (const std::string& name : program_files()) {
        bool skip = false;
        for (const std::string& l : leave_out) skip = skip || l == name;
        if (skip) continue;
        const std::string cmd =
            "cp '" + std::string(KVP_BIN_DIR) + "/" + name + "' '" + dir.path() + "/'";
        if (kvp_test::run_command(cmd).exit_code != 0) return false;
    }
    return true;
}

// Runs the default main context until `done` holds or `timeout_ms` passes.
inline bool pump_until(const std::function<bool()>& done, int timeout_ms = 30000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        if (!g_main_context_iteration(nullptr, FALSE)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    return true;
}

inline void pump_for(int ms) {
    pump_until([] { return false; }, ms);
}

}  // namespace viewer_test
