// Which map page the map browser shows.
//
// Thread-safety: pure function.
#pragma once

#include <string>

namespace shell {

// Where the map pages are served (HTTP, port 9191, under /download/);
// KVP_MAP_URL_BASE replaces it.
inline constexpr const char* kMapServerBase = "http://localhost:9191/download/";

// Map type 0: the page that takes shifted coordinates; 1 (and any other):
// the OpenStreetMap page.
std::string map_page_url(int map_type, const std::string& base);

}  // namespace shell
