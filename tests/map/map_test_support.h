// The map server on a thread of its own (its own main context), so that a
// test can talk to it with blocking calls; and a plain HTTP/1.1 client on a
// socket that sends exactly the request line and Host header it is given.
#pragma once

#include <arpa/inet.h>
#include <gio/gio.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "map/map_server.h"

namespace map_test {

class ServerThread {
public:
    explicit ServerThread(std::string tile_url = "", int port = 0) {
        thread_ = std::thread([this, tile_url, port] {
            GMainContext* context = g_main_context_new();
            g_main_context_push_thread_default(context);
            {
                mappages::MapServer server(tile_url);
                std::string error;
                const bool ok = server.start(port, &error);
                loop_ = g_main_loop_new(context, FALSE);
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    port_ = ok ? server.port() : -1;
                    error_ = error;
                }
                ready_.notify_all();
                if (ok) g_main_loop_run(loop_);
                server.stop();
            }
            g_main_loop_unref(loop_);
            g_main_context_pop_thread_default(context);
            g_main_context_unref(context);
        });
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [this] { return port_ != 0; });
    }
    ~ServerThread() {
        if (loop_ != nullptr) {
            GMainContext* context = g_main_loop_get_context(loop_);
            g_main_context_invoke(
                context,
                +[](gpointer loop) -> gboolean {
                    g_main_loop_quit(static_cast<GMainLoop*>(loop));
                    return G_SOURCE_REMOVE;
                },
                loop_);
        }
        thread_.join();
    }
    int port() const { return port_; }
    const std::string& error() const { return error_; }
    std::string url(const std::string& page) const {
        return "http://127.0.0.1:" + std::to_string(port_) + "/download/" + page;
    }

private:
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable ready_;
    GMainLoop* loop_ = nullptr;
    int port_ = 0;
    std::string error_;
};

struct Reply {
    int status = 0;  // 0: no answer
    std::string body;
};

// GET `target` as written (no normalisation), with `host` as the Host
// header, from `address`:`port`.
inline Reply http_get(const std::string& address, int port, const std::string& target,
                      const std::string& host, const std::string& method = "GET") {
    Reply reply;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return reply;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
    timeval tv{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        ::close(fd);
        return reply;
    }
    const std::string request =
        method + " " + target + " HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n";
    if (::send(fd, request.data(), request.size(), 0) < 0) {
        ::close(fd);
        return reply;
    }
    std::string all;
    char buf[8192];
    for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;)
        all.append(buf, static_cast<size_t>(n));
    ::close(fd);
    if (all.compare(0, 9, "HTTP/1.1 ") == 0) reply.status = std::atoi(all.c_str() + 9);
    const std::size_t body = all.find("\r\n\r\n");
    if (body != std::string::npos) reply.body = all.substr(body + 4);
    return reply;
}

}  // namespace map_test
