// The loopback HTTP server of the map pages. It listens on 127.0.0.1 only,
// on port 9191 or, when that is taken, on a free port, and answers GET and
// HEAD for its own files (map_routes.h) from the program's resources; any
// other path is 404, a request for another host 403, another method 405.
// It runs on the thread-default main context of the thread that starts it
// (the UI thread in KVP): each answer is a small in-memory resource, so no
// request blocks the loop.
//
// Thread-safety: one thread uses an object.
#pragma once

#include <memory>
#include <string>

namespace mappages {

class MapServer {
public:
    // `tile_url`: the tile layer's URL template given to the pages.
    explicit MapServer(std::string tile_url);
    ~MapServer();
    MapServer(const MapServer&) = delete;
    MapServer& operator=(const MapServer&) = delete;

    // Listens on `preferred_port` (0: any free port), else on a free one.
    // False with the reason in `error` when it cannot listen at all.
    bool start(int preferred_port, std::string* error);
    void stop();

    bool running() const;
    // The port it listens on; 0 when not running.
    int port() const;
    // The page URL of a map type; empty when not running.
    std::string page_url(int map_type) const;

    // Requests answered and refused so far.
    int served() const;
    int refused() const;

    struct Impl;  // the server's state, seen by its request handler

private:
    std::unique_ptr<Impl> impl_;
};

// The tile URL template used when none is configured: OpenStreetMap.
inline constexpr const char* kDefaultTileUrl = "https://tile.openstreetmap.org/{z}/{x}/{y}.png";

}  // namespace mappages
