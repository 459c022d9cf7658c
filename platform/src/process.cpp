#include "platform/process.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/paths.h"

extern char** environ;

namespace platform {
namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

// One file descriptor, closed with the scope.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

struct SpawnActions {
    posix_spawn_file_actions_t actions;
    SpawnActions() { posix_spawn_file_actions_init(&actions); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
};

bool is_executable_file(const std::string& path) {
    return !path.empty() && ::access(path.c_str(), X_OK) == 0 && !path_exists(path + "/.");
}

// Reads the pipe to its end, keeping the first max_output bytes.
void drain(int fd, std::size_t max_output, ProcessResult& result) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        result.output_bytes += static_cast<std::size_t>(n);
        if (result.output.size() < max_output) {
            const std::size_t room = max_output - result.output.size();
            result.output.append(buffer, std::min(room, static_cast<std::size_t>(n)));
        }
    }
}

int wait_for(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

std::vector<std::string> split_command_line(std::string_view line) {
    std::vector<std::string> args;
    std::string current;
    bool have_arg = false;  // an argument has begun (it may be empty: "")
    bool quoted = false;
    std::size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (!quoted && is_blank(c)) {
            if (have_arg) args.push_back(current);
            current.clear();
            have_arg = false;
            ++i;
            continue;
        }
        have_arg = true;
        if (c == '\\') {
            std::size_t n = 0;
            while (i < line.size() && line[i] == '\\') ++n, ++i;
            if (i < line.size() && line[i] == '"') {
                current.append(n / 2, '\\');
                if (n % 2 == 1) {
                    current += '"';
                    ++i;
                }
            } else {
                current.append(n, '\\');
            }
            continue;
        }
        if (c == '"') {
            if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
                current += '"';
                i += 2;
            } else {
                quoted = !quoted;
                ++i;
            }
            continue;
        }
        current += c;
        ++i;
    }
    if (have_arg) args.push_back(current);
    return args;
}

std::string find_program(const std::string& name) {
    if (name.empty()) return {};
    if (name.find(kPathSeparator) != std::string::npos) {
        return is_executable_file(name) ? name : std::string();
    }
    const std::string beside = join_path(program_dir(), name);
    if (is_executable_file(beside)) return beside;
    const char* path = std::getenv("PATH");
    std::string_view rest = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        const std::string_view dir = rest.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        const std::string candidate = join_path(dir.empty() ? "." : std::string(dir), name);
        if (is_executable_file(candidate)) return candidate;
    }
    return {};
}

ProcessResult run_program(const std::vector<std::string>& args, std::size_t max_output) {
    ProcessResult result;
    if (args.empty()) return result;
    const std::string program = find_program(args[0]);
    if (program.empty()) return result;

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return result;
    Fd read_end(fds[0]);
    Fd write_end(fds[1]);

    SpawnActions spawn;
    posix_spawn_file_actions_addopen(&spawn.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&spawn.actions, write_end.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&spawn.actions, write_end.get(), STDERR_FILENO);

    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), &spawn.actions, nullptr, argv.data(), environ) != 0) {
        return result;
    }
    result.started = true;
    // Only the child may hold the write end now, so the read ends when it does.
    write_end.reset();
    drain(read_end.get(), max_output, result);
    result.exit_code = wait_for(pid);
    return result;
}

ProcessResult run_command_line(std::string_view command_line, std::size_t max_output) {
    return run_program(split_command_line(command_line), max_output);
}

}  // namespace platform
