#include "shell/map_page.h"

namespace shell {

std::string map_page_url(int map_type, const std::string& base) {
    return base + (map_type == 0 ? "tarnwellmap_5.html" : "tarnwell_osm_6.html");
}

}  // namespace shell
