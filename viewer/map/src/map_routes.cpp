#include "map/map_routes.h"

#include <algorithm>
#include <cctype>

#include <nlohmann/json.hpp>

namespace mappages {
namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

}  // namespace

const std::vector<Route>& routes() {
    static const std::vector<Route> kRoutes = [] {
        const std::string p = kPathPrefix;
        const std::string r = "/kvp/map/";
        return std::vector<Route>{
            {p + kChinaDatumPage, r + kChinaDatumPage, "text/html; charset=utf-8"},
            {p + kWgs84Page, r + kWgs84Page, "text/html; charset=utf-8"},
            {p + "kvp_map.js", r + "kvp_map.js", "text/javascript; charset=utf-8"},
            {p + "kvp_map.css", r + "kvp_map.css", "text/css; charset=utf-8"},
            {p + "leaflet.js", r + "leaflet.js", "text/javascript; charset=utf-8"},
            {p + "leaflet.css", r + "leaflet.css", "text/css; charset=utf-8"},
            {p + kConfigScript, "", "text/javascript; charset=utf-8"},
        };
    }();
    return kRoutes;
}

std::optional<Route> find_route(std::string_view path) {
    for (const Route& r : routes()) {
        if (path == r.path) return r;
    }
    return std::nullopt;
}

bool host_allowed(std::string_view host_header, int port) {
    const std::string host = lower(host_header);
    const std::string suffix = ":" + std::to_string(port);
    return host == "127.0.0.1" + suffix || host == "localhost" + suffix;
}

const char* page_name(int map_type) {
    return map_type == 0 ? kChinaDatumPage : kWgs84Page;
}

std::string base_url(int port) {
    return "http://127.0.0.1:" + std::to_string(port) + kPathPrefix;
}

std::string config_script(const std::string& tile_url) {
    nlohmann::json config = {{"tileUrl", tile_url}};
    return "var KVP_MAP_CONFIG = " + config.dump() + ";\n";
}

}  // namespace mappages
