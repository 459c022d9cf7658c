// Starting programs from a command line, as Windows' CreateProcess does for
// the libraries and the viewer (an external remux tool, the calibration
// tool, the updater).
//
// A command line is one string; it is split into arguments by the rules of
// the Windows C runtime (split_command_line), never handed to a shell, so a
// path in it is never interpreted as shell syntax. A path that may hold a
// double quote cannot be quoted safely in a command line at all: pass such
// arguments as a list (run_program).
//
// Thread-safety: safe; every call starts and waits for its own process.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Splits a command line into arguments like the Windows C runtime:
//  - blanks (space, tab) separate arguments outside double quotes;
//  - a double quote starts or ends a quoted part (it is not kept), and
//    blanks inside a quoted part belong to the argument; "" inside a quoted
//    part stands for one literal quote;
//  - 2n backslashes followed by a quote give n backslashes and the quote
//    acts as above; 2n+1 backslashes followed by a quote give n backslashes
//    and a literal quote; backslashes not followed by a quote are literal.
std::vector<std::string> split_command_line(std::string_view command_line);

// Where a program named without a folder is looked for: the folder of the
// running program (program_dir()) first, then the search path (PATH). A name
// with a separator is used as it stands. Empty when nothing is found.
std::string find_program(const std::string& name);

struct ProcessResult {
    bool started = false;          // false: empty command line, program not found or not startable
    int exit_code = -1;            // exit status, or 128 + signal number; -1 when not started
    std::string output;            // the first max_output bytes of stdout and stderr together
    std::size_t output_bytes = 0;  // everything the program wrote, kept or not
};

// Runs a program and waits without a time limit until it has ended.
// args[0] names the program (looked up as find_program does); every argument
// reaches it byte for byte: no shell, no splitting, no quoting, so a path may
// hold blanks, quotes or anything else but a NUL. Its standard input is
// /dev/null; its standard output and error go into one pipe that is read
// while it runs (a chatty program never blocks on a full pipe); the first
// max_output bytes are kept. The caller's environment and current folder are
// inherited.
ProcessResult run_program(const std::vector<std::string>& args, std::size_t max_output);

// run_program with the arguments of a command line (split_command_line).
ProcessResult run_command_line(std::string_view command_line, std::size_t max_output);

}  // namespace platform
