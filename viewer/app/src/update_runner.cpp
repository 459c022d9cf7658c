#include "update_runner.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/debug_output.h"
#include "platform/paths.h"
#include "shell/update_files.h"

namespace {

// The helper writes its result to this descriptor.
constexpr int kResultFd = 3;
constexpr std::size_t kResultMaxBytes = 4096;

std::string read_available(int fd) {
    std::string text;
    char buffer[512];
    while (text.size() < kResultMaxBytes) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

}  // namespace

UpdateRunner::UpdateRunner(std::string helper, std::string folder)
    : helper_(std::move(helper)), folder_(std::move(folder)) {}

UpdateRunner::~UpdateRunner() {
    if (process_ != nullptr) g_subprocess_force_exit(process_);
    if (cancel_ != nullptr) g_cancellable_cancel(cancel_);
    done_ = nullptr;
    finish();
}

bool UpdateRunner::start(std::function<void(const std::string&)> done) {
    if (process_ != nullptr) return false;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    GSubprocessLauncher* launcher = g_subprocess_launcher_new(G_SUBPROCESS_FLAGS_NONE);
    g_subprocess_launcher_take_fd(launcher, fds[1], kResultFd);
    GError* error = nullptr;
    process_ =
        g_subprocess_launcher_spawn(launcher, &error, helper_.c_str(), folder_.c_str(), nullptr);
    g_object_unref(launcher);
    if (process_ == nullptr) {
        platform::debug_printf(1024, "KVP: cannot run the update check %s: %s\n", helper_.c_str(),
                               error->message);
        g_error_free(error);
        ::close(fds[0]);
        return false;
    }
    result_fd_ = fds[0];
    done_ = std::move(done);
    cancel_ = g_cancellable_new();
    g_subprocess_wait_async(process_, cancel_, &UpdateRunner::on_exited, this);
    timer_ = g_timeout_add_seconds(kTimeLimitSeconds, &UpdateRunner::on_time_limit, this);
    return true;
}

void UpdateRunner::on_exited(GObject* source, GAsyncResult* result, gpointer data) {
    GError* error = nullptr;
    // A cancelled wait means the runner is gone: touch nothing of it.
    if (!g_subprocess_wait_finish(G_SUBPROCESS(source), result, &error) &&
        g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
        g_error_free(error);
        return;
    }
    if (error != nullptr) g_error_free(error);
    auto* self = static_cast<UpdateRunner*>(data);
    const std::string text = read_available(self->result_fd_);
    auto done = std::move(self->done_);
    self->finish();
    platform::debug_printf(1024, "KVP: update check: \"%s\"\n", text.c_str());
    if (!text.empty()) self->start_updater();
    if (done) done(text);
}

gboolean UpdateRunner::on_time_limit(gpointer data) {
    auto* self = static_cast<UpdateRunner*>(data);
    self->timer_ = 0;
    platform::debug_printf(256, "KVP: the update check took longer than %u s; ended\n",
                           kTimeLimitSeconds);
    if (self->process_ != nullptr) g_subprocess_force_exit(self->process_);
    return G_SOURCE_REMOVE;
}

void UpdateRunner::finish() {
    if (timer_ != 0) g_source_remove(timer_);
    timer_ = 0;
    if (result_fd_ >= 0) ::close(result_fd_);
    result_fd_ = -1;
    g_clear_object(&process_);
    g_clear_object(&cancel_);
}

void UpdateRunner::start_updater() {
    const std::string updater = platform::join_path(folder_, shell::kUpdaterFileName);
    GError* error = nullptr;
    GSubprocess* p = g_subprocess_new(G_SUBPROCESS_FLAGS_NONE, &error, updater.c_str(), nullptr);
    if (p == nullptr) {
        platform::debug_printf(1024, "KVP: cannot start %s: %s\n", updater.c_str(), error->message);
        g_error_free(error);
        return;
    }
    // Not waited for; GLib reaps it when it ends.
    g_object_unref(p);
}
