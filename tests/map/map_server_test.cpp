// The map server: only its pages and scripts, only for the loopback host,
// only on the loopback address, and a free port when 9191 is taken.
#include <gtest/gtest.h>
#include <ifaddrs.h>

#include "map/map_routes.h"
#include "map_test_support.h"

namespace {

using map_test::http_get;
using map_test::ServerThread;

TEST(MapRoutes, OnlyTheListedFilesAndTheLoopbackHost) {
    EXPECT_TRUE(mappages::find_route("/download/tarnwellmap_5.html"));
    EXPECT_TRUE(mappages::find_route("/download/tarnwell_osm_6.html"));
    EXPECT_TRUE(mappages::find_route("/download/leaflet.js"));
    for (const char* path : {"/", "/download/", "/download/../", "/download/../etc/passwd",
                             "/download//tarnwell_osm_6.html", "/download/TARNWELL_OSM_6.HTML",
                             "/download/tarnwell_osm_6.html/", "/download/./kvp_map.js",
                             "/kvp/map/kvp_map.js", "/download/tarnwell_osm_6.htm"}) {
        EXPECT_FALSE(mappages::find_route(path)) << path;
    }
    EXPECT_TRUE(mappages::host_allowed("127.0.0.1:9191", 9191));
    EXPECT_TRUE(mappages::host_allowed("LocalHost:9191", 9191));
    EXPECT_FALSE(mappages::host_allowed("127.0.0.1:9192", 9191));
    EXPECT_FALSE(mappages::host_allowed("evil.example:9191", 9191));
    EXPECT_FALSE(mappages::host_allowed("localhost.evil.example:9191", 9191));
    EXPECT_FALSE(mappages::host_allowed("", 9191));
    EXPECT_STREQ(mappages::page_name(0), "tarnwellmap_5.html");
    EXPECT_STREQ(mappages::page_name(1), "tarnwell_osm_6.html");
    EXPECT_EQ(mappages::base_url(9191), "http://127.0.0.1:9191/download/");
    // The tile URL reaches the page as a JSON string, whatever it holds.
    EXPECT_EQ(mappages::config_script("http://t/\"</script>{z}"),
              "var KVP_MAP_CONFIG = {\"tileUrl\":\"http://t/\\\"</script>{z}\"};\n");
}

TEST(MapServer, ServesItsPagesAndScriptsAndNothingElse) {
    ServerThread server("http://tiles.invalid/{z}/{x}/{y}.png");
    ASSERT_GT(server.port(), 0) << server.error();
    const std::string host = "127.0.0.1:" + std::to_string(server.port());
    for (const mappages::Route& r : mappages::routes()) {
        const auto reply = http_get("127.0.0.1", server.port(), r.path, host);
        EXPECT_EQ(reply.status, 200) << r.path;
        EXPECT_FALSE(reply.body.empty()) << r.path;
    }
    const auto page = http_get("127.0.0.1", server.port(), "/download/tarnwell_osm_6.html", host);
    EXPECT_NE(page.body.find("kvp_map.js"), std::string::npos);
    const auto leaflet = http_get("127.0.0.1", server.port(), "/download/leaflet.js", host);
    EXPECT_NE(leaflet.body.find("Leaflet"), std::string::npos);
    const auto config = http_get("127.0.0.1", server.port(), "/download/kvp_map_config.js", host);
    EXPECT_NE(config.body.find("tiles.invalid"), std::string::npos);

    for (const char* path : {"/", "/download/", "/download/../", "/download/../../etc/passwd",
                             "/download/%2e%2e/", "/download/nothing.html", "/favicon.ico"}) {
        EXPECT_EQ(http_get("127.0.0.1", server.port(), path, host).status, 404) << path;
    }
    // Another host name (a page of another site resolving to us) is refused.
    EXPECT_EQ(http_get("127.0.0.1", server.port(), "/download/tarnwell_osm_6.html", "evil.example")
                  .status,
              403);
    EXPECT_EQ(http_get("127.0.0.1", server.port(), "/download/tarnwell_osm_6.html",
                       "localhost:" + std::to_string(server.port()))
                  .status,
              200);
    EXPECT_EQ(
        http_get("127.0.0.1", server.port(), "/download/tarnwell_osm_6.html", host, "POST").status,
        405);
}

TEST(MapServer, TakesAFreePortWhenItsOwnIsTakenAndListensOnLoopbackOnly) {
    ServerThread first;
    ASSERT_GT(first.port(), 0) << first.error();
    ServerThread second("", first.port());  // the port is taken
    ASSERT_GT(second.port(), 0) << second.error();
    EXPECT_NE(second.port(), first.port());
    EXPECT_EQ(http_get("127.0.0.1", second.port(), "/download/tarnwellmap_5.html",
                       "127.0.0.1:" + std::to_string(second.port()))
                  .status,
              200);

    // Every address of this machine that is not loopback gets no answer.
    ifaddrs* list = nullptr;
    ASSERT_EQ(::getifaddrs(&list), 0);
    int tried = 0;
    for (ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
        if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET) continue;
        char text[INET_ADDRSTRLEN];
        ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr, text,
                    sizeof text);
        if (std::string(text).rfind("127.", 0) == 0) continue;
        ++tried;
        EXPECT_EQ(http_get(text, first.port(), "/download/tarnwellmap_5.html",
                           std::string(text) + ":" + std::to_string(first.port()))
                      .status,
                  0)
            << text;
    }
    ::freeifaddrs(list);
    if (tried == 0) std::printf("no address but loopback on this machine\n");
}

}  // namespace
