// kvp-update-check FOLDER: runs the update check of FOLDER for the viewer,
// in a process of its own so that a script that blocks or loops never
// blocks the viewer, which ends this process after its time limit.
//
// The result text goes to descriptor 3 when it is open (the viewer's pipe),
// else to standard output; a script that failed to run prints
// "pcall FAILED <message> <code>" on standard output. The scripts run with
// FOLDER as the current folder. Exit status 0, or 2 for a wrong command
// line.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "update/update_check.h"

namespace {

constexpr int kResultFd = 3;

void write_result(const std::string& text) {
    const int fd = ::fcntl(kResultFd, F_GETFD) != -1 ? kResultFd : STDOUT_FILENO;
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kvp-update-check FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    if (::chdir(folder.c_str()) != 0) {
        std::fprintf(stderr, "kvp-update-check: cannot enter %s\n", folder.c_str());
    }
    const update::CheckResult result = update::check_for_update(folder);
    if (!result.failure.empty()) {
        std::printf("%s\n", result.failure.c_str());
        std::fflush(stdout);
    }
    write_result(result.text);
    return 0;
}
