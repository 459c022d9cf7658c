// Runs the update check without blocking the UI: the helper program
// kvp-update-check runs the script in a process of its own, which is ended
// when it takes longer than the time limit or when the viewer closes. When
// the check names a newer version, the updater is started and not waited
// for.
//
// Thread-safety: UI thread only; results arrive on the main loop.
#pragma once

#include <gio/gio.h>

#include <functional>
#include <string>

class UpdateRunner {
public:
    // How long one check may take (it may ask a server).
    static constexpr guint kTimeLimitSeconds = 30;

    // `helper` is the path of kvp-update-check, `folder` the program folder
    // with the scripts and the updater.
    UpdateRunner(std::string helper, std::string folder);
    ~UpdateRunner();  // ends a running check
    UpdateRunner(const UpdateRunner&) = delete;
    UpdateRunner& operator=(const UpdateRunner&) = delete;

    // Starts a check; false when one is running or the helper cannot start.
    // `done` receives the result text ("" for no update, also after a
    // failure or the time limit) after the updater has been started for a
    // non-empty one.
    bool start(std::function<void(const std::string& result)> done);
    bool running() const { return process_ != nullptr; }

private:
    static void on_exited(GObject* source, GAsyncResult* result, gpointer self);
    static gboolean on_time_limit(gpointer self);
    void finish();
    void start_updater();

    std::string helper_, folder_;
    GSubprocess* process_ = nullptr;
    GCancellable* cancel_ = nullptr;
    int result_fd_ = -1;  // read end of the helper's result pipe
    guint timer_ = 0;
    std::function<void(const std::string&)> done_;
};
