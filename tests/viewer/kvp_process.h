// Drives the real KVP program as a person would, from outside: starts it
// with its own program and settings folders, finds its window on the X
// server, closes it the way a window manager does and takes screenshots.
#pragma once

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "temp_dir.h"

extern char** environ;

namespace viewer_test {

using Clock = std::chrono::steady_clock;

// An X server of our own with a screen of a chosen size.
class PrivateXServer {
public:
    PrivateXServer(int width, int height) {
        const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
        start(screen);
    }
    ~PrivateXServer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    const std::string& display() const { return display_; }

private:
    // Xvfb chooses a free display number itself and writes it to a pipe
    // (-displayfd): two test programs starting at once never share one.
    void start(const std::string& screen) {
        int fds[2];
        if (::pipe(fds) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        const std::string fd = std::to_string(fds[1]);
        const char* argv[] = {"Xvfb",         "-displayfd", fd.c_str(), "-screen", "0",
                              screen.c_str(), "-nolisten",  "tcp",      nullptr};
        const bool spawned =
            posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ) == 0;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (!spawned) {
            pid_ = -1;
            ::close(fds[0]);
            return;
        }
        // The number and a line feed once the server listens (EOF if it fails).
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        const auto end = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < end && ::poll(&p, 1, 100) >= 0) {
            if ((p.revents & (POLLIN | POLLHUP)) == 0) continue;
            char c = 0;
            if (::read(fds[0], &c, 1) != 1 || c == '\n') break;
            number += c;
        }
        ::close(fds[0]);
        if (!number.empty()) {
            display_ = ":" + number;
            return;
        }
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

    pid_t pid_ = -1;
    std::string display_;
};

class KvpProcess {
public:
    // Starts KVP (KVP_BIN_DIR/KVP unless `program` says otherwise) with the
    // environment changed by `env` (an empty value removes a variable).
    // `args` follow the program's name.
    explicit KvpProcess(const std::map<std::string, std::string>& env,
                        const std::string& program = std::string(KVP_BIN_DIR) + "/KVP",
                        const std::vector<std::string>& args = {"--no-such-option"}) {
        std::map<std::string, std::string> all;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string s = *e;
            const auto eq = s.find('=');
            if (eq != std::string::npos) all[s.substr(0, eq)] = s.substr(eq + 1);
        }
        all["KVP_DEBUG"] = "1";
        for (const auto& [k, v] : env) {
            if (v.empty()) {
                all.erase(k);
            } else {
                all[k] = v;
            }
        }
        display_name_ = all.count("DISPLAY") ? all["DISPLAY"] : "";
        std::vector<std::string> strings;
        for (const auto& [k, v] : all) strings.push_back(k + "=" + v);
        std::vector<char*> envp;
        for (std::string& s : strings) envp.push_back(s.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out_.file("stdout").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, out_.file("stderr").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<const char*> argv = {program.c_str()};
        for (const std::string& a : args) argv.push_back(a.c_str());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, const_cast<char**>(argv.data()),
                        envp.data()) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        // Other programs' windows come and go while we look at them: a
        // request about a window that has just gone is no failure here.
        XSetErrorHandler([](Display*, XErrorEvent* e) {
            last_x_error() = e->error_code;
            return 0;
        });
        // A server busy with other tests' clients may refuse a connection
        // for a moment: try again for up to 10 s.
        const char* name = display_name_.empty() ? nullptr : display_name_.c_str();
        for (int i = 0; i < 100 && display_ == nullptr; ++i) {
            display_ = XOpenDisplay(name);
            if (display_ == nullptr) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    ~KvpProcess() {
        if (pid_ > 0 && !exit_code_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (display_ != nullptr) XCloseDisplay(display_);
    }
    KvpProcess(const KvpProcess&) = delete;
    KvpProcess& operator=(const KvpProcess&) = delete;

    bool started() const { return pid_ > 0 && display_ != nullptr; }
    // The code of the last X error any request of this process met.
    static int& last_x_error() {
        static int code = 0;
        return code;
    }
    pid_t pid() const { return pid_; }
    std::string stderr_text() const { return kvp_test::read_file(out_.file("stderr")); }
    std::string stdout_text() const { return kvp_test::read_file(out_.file("stdout")); }

    // Waits until stderr holds `text`; false when the program ends or the
    // time runs out first. The limits are generous: a sanitizer build on a
    // busy machine starts slowly.
    bool wait_for_stderr(const std::string& text, int timeout_ms = 60000) {
        const auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
        while (Clock::now() < end) {
            if (stderr_text().find(text) != std::string::npos) return true;
            if (exited()) return stderr_text().find(text) != std::string::npos;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    bool wait_until_drawn(int timeout_ms = 60000) {
        return wait_for_stderr("KVP: first frame drawn", timeout_ms);
    }

    // The program's top-level window (its _NET_WM_PID is the program's).
    Window window() {
        if (display_ == nullptr) return 0;
        const Atom pid_atom = XInternAtom(display_, "_NET_WM_PID", True);
        if (pid_atom == None) return 0;
        Window root = 0, parent = 0, *children = nullptr;
        unsigned n = 0;
        XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &n);
        Window found = 0;
        for (unsigned i = 0; i < n && found == 0; ++i) {
            Atom type = 0;
            int format = 0;
            unsigned long items = 0, rest = 0;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(display_, children[i], pid_atom, 0, 1, False, XA_CARDINAL, &type,
                                   &format, &items, &rest, &data) == Success &&
                data != nullptr) {
                XWindowAttributes a{};
                XGetWindowAttributes(display_, children[i], &a);
                if (items == 1 &&
                    static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data)) == pid_ &&
                    a.map_state == IsViewable) {
                    found = children[i];
                }
                XFree(data);
            }
        }
        if (children != nullptr) XFree(children);
        return found;
    }

    // The top-level windows: id, map state and _NET_WM_PID, for messages.
    std::string describe_windows() {
        if (display_ == nullptr) return "no connection to the X server";
        std::string text;
        Window root = 0, parent = 0, *children = nullptr;
        unsigned n = 0;
        XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &n);
        const Atom pid_atom = XInternAtom(display_, "_NET_WM_PID", False);
        for (unsigned i = 0; i < n; ++i) {
            XWindowAttributes a{};
            XGetWindowAttributes(display_, children[i], &a);
            Atom type = 0;
            int format = 0;
            unsigned long items = 0, rest = 0;
            unsigned char* data = nullptr;
            long pid = -1;
            if (XGetWindowProperty(display_, children[i], pid_atom, 0, 1, False, AnyPropertyType,
                                   &type, &format, &items, &rest, &data) == Success &&
                data != nullptr) {
                if (items == 1) pid = static_cast<long>(*reinterpret_cast<unsigned long*>(data));
                XFree(data);
            }
            text += std::to_string(children[i]) + " map " + std::to_string(a.map_state) + " pid " +
                    std::to_string(pid) + " " + std::to_string(a.width) + "x" +
                    std::to_string(a.height) + "; ";
        }
        if (children != nullptr) XFree(children);
        return text + "(we look for pid " + std::to_string(pid_) + ")";
    }

    // x, y, width, height of the window on the screen.
    std::optional<XWindowAttributes> window_geometry() {
        Window w = window();
        for (int i = 0; i < 100 && w == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            w = window();
        }
        if (w == 0) return std::nullopt;
        XWindowAttributes a{};
        XGetWindowAttributes(display_, w, &a);
        return a;
    }

    // What a window manager sends for Alt+F4 or the title bar's close.
    bool close_like_a_window_manager() {
        Window w = window();
        for (int i = 0; i < 100 && w == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            w = window();
        }
        if (w == 0) return false;
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = w;
        e.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
        e.xclient.format = 32;
        e.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
        e.xclient.data.l[1] = CurrentTime;
        XSendEvent(display_, w, False, NoEventMask, &e);
        XFlush(display_);
        return true;
    }

    bool exited() {
        if (exit_code_) return true;
        int status = 0;
        if (pid_ <= 0 || ::waitpid(pid_, &status, WNOHANG) != pid_) return false;
        exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return true;
    }
    // The exit status, or nothing when it is still running after timeout_ms.
    std::optional<int> wait_exit(int timeout_ms = 60000) {
        const auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
        while (!exited() && Clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return exit_code_;
    }

    // The whole screen as a PNG file; false with the reason on stderr.
    bool screenshot(const std::string& png_path) {
        if (display_ == nullptr) {
            std::fprintf(stderr, "screenshot: no connection to the X server\n");
            return false;
        }
        XWindowAttributes root{};
        if (XGetWindowAttributes(display_, DefaultRootWindow(display_), &root) == 0) {
            std::fprintf(stderr, "screenshot: the root window's size is unknown (X error %d)\n",
                         last_x_error());
            return false;
        }
        XImage* image = XGetImage(display_, DefaultRootWindow(display_), 0, 0, root.width,
                                  root.height, AllPlanes, ZPixmap);
        if (image == nullptr) {
            std::fprintf(stderr, "screenshot: no %dx%d image of the screen (X error %d)\n",
                         root.width, root.height, last_x_error());
            return false;
        }
        GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, root.width, root.height);
        guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
        const int stride = gdk_pixbuf_get_rowstride(pixbuf);
        for (int y = 0; y < root.height; ++y) {
            for (int x = 0; x < root.width; ++x) {
                const unsigned long p = XGetPixel(image, x, y);
                guchar* out = pixels + y * stride + x * 3;
                out[0] = (p >> 16) & 0xFF;
                out[1] = (p >> 8) & 0xFF;
                out[2] = p & 0xFF;
            }
        }
        XDestroyImage(image);
        const gboolean saved = gdk_pixbuf_save(pixbuf, png_path.c_str(), "png", nullptr, nullptr);
        g_object_unref(pixbuf);
        return saved;
    }

private:
    kvp_test::TempDir out_;
    pid_t pid_ = -1;
    std::optional<int> exit_code_;
    std::string display_name_;
    Display* display_ = nullptr;
};

}  // namespace viewer_test
