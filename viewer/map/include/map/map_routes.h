// What the map server answers: its two pages and their scripts under
// /download/, nothing else, and only to requests addressed to the loopback
// host it listens on.
//
// Thread-safety: pure functions.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mappages {

inline constexpr int kDefaultPort = 9191;
inline constexpr const char* kPathPrefix = "/download/";
inline constexpr const char* kChinaDatumPage = "tarnwellmap_5.html";  // map type 0
inline constexpr const char* kWgs84Page = "tarnwell_osm_6.html";      // map type 1
// The generated script that tells the pages where their tiles come from.
inline constexpr const char* kConfigScript = "kvp_map_config.js";

// A file the server hands out: its request path, the resource that holds
// it (empty for the generated configuration) and its content type.
struct Route {
    std::string path;
    std::string resource;
    std::string content_type;
};

// Every path the server answers.
const std::vector<Route>& routes();

// The route of a request path; nothing for any other path (dot segments,
// a query-less duplicate slash or a prefix of a page included).
std::optional<Route> find_route(std::string_view path);

// True when a Host header names the loopback server on `port`:
// "127.0.0.1:port" or "localhost:port" (case-insensitive host name).
bool host_allowed(std::string_view host_header, int port);

// The page of a map type: 0 the page for shifted coordinates, anything
// else the OpenStreetMap page.
const char* page_name(int map_type);

// "http://127.0.0.1:<port>/download/".
std::string base_url(int port);

// The configuration script: the tile URL template ("{z}/{x}/{y}"), JSON
// encoded; an empty template means no tile layer.
std::string config_script(const std::string& tile_url);

}  // namespace mappages
