#include "map/map_server.h"

#include <gio/gio.h>
#include <libsoup/soup.h>

#include "map/map_routes.h"

// The pages and scripts, compiled in by glib-compile-resources.
extern "C" GResource* kvp_map_get_resource(void);

namespace mappages {

struct MapServer::Impl {
    std::string tile_url;
    SoupServer* server = nullptr;
    int port = 0;
    int served = 0;
    int refused = 0;

    void answer(SoupServerMessage* msg, const char* path);
};

namespace {

void refuse(SoupServerMessage* msg, guint status) {
    soup_server_message_set_status(msg, status, nullptr);
    static const char kBody[] = "not here\n";
    soup_server_message_set_response(msg, "text/plain", SOUP_MEMORY_STATIC, kBody,
                                     sizeof kBody - 1);
}

void handle(SoupServer*, SoupServerMessage* msg, const char* path, GHashTable*, gpointer data) {
    static_cast<MapServer::Impl*>(data)->answer(msg, path);
}

}  // namespace

void MapServer::Impl::answer(SoupServerMessage* msg, const char* path) {
    const char* method = soup_server_message_get_method(msg);
    const char* host =
        soup_message_headers_get_one(soup_server_message_get_request_headers(msg), "Host");
    if (host == nullptr || !host_allowed(host, port)) {
        ++refused;
        refuse(msg, SOUP_STATUS_FORBIDDEN);
        return;
    }
    if (method != SOUP_METHOD_GET && method != SOUP_METHOD_HEAD) {
        ++refused;
        refuse(msg, SOUP_STATUS_METHOD_NOT_ALLOWED);
        return;
    }
    const std::optional<Route> route = find_route(path != nullptr ? path : "");
    if (!route) {
        ++refused;
        refuse(msg, SOUP_STATUS_NOT_FOUND);
        return;
    }
    SoupMessageHeaders* headers = soup_server_message_get_response_headers(msg);
    soup_message_headers_replace(headers, "Cache-Control", "no-store");
    if (route->resource.empty()) {
        const std::string body = config_script(tile_url);
        soup_server_message_set_status(msg, SOUP_STATUS_OK, nullptr);
        soup_server_message_set_response(msg, route->content_type.c_str(), SOUP_MEMORY_COPY,
                                         body.data(), body.size());
        ++served;
        return;
    }
    GBytes* bytes = g_resource_lookup_data(kvp_map_get_resource(), route->resource.c_str(),
                                           G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
    if (bytes == nullptr) {
        ++refused;
        refuse(msg, SOUP_STATUS_NOT_FOUND);
        return;
    }
    gsize size = 0;
    const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    soup_server_message_set_status(msg, SOUP_STATUS_OK, nullptr);
    soup_server_message_set_response(msg, route->content_type.c_str(), SOUP_MEMORY_COPY, data,
                                     size);
    g_bytes_unref(bytes);
    ++served;
}

MapServer::MapServer(std::string tile_url) : impl_(std::make_unique<Impl>()) {
    impl_->tile_url = std::move(tile_url);
}

MapServer::~MapServer() {
    stop();
}

bool MapServer::start(int preferred_port, std::string* error) {
    stop();
    SoupServer* server = soup_server_new("server-header", "KVP", nullptr);
    soup_server_add_handler(server, nullptr, handle, impl_.get(), nullptr);
    GError* e = nullptr;
    bool listening = false;
    if (preferred_port > 0) {
        listening = soup_server_listen_local(server, static_cast<guint>(preferred_port),
                                             SOUP_SERVER_LISTEN_IPV4_ONLY, &e);
        g_clear_error(&e);  // taken: any free port below
    }
    if (!listening) {
        listening = soup_server_listen_local(server, 0, SOUP_SERVER_LISTEN_IPV4_ONLY, &e);
    }
    if (!listening) {
        if (error != nullptr) {
            *error = std::string("the map server cannot listen on 127.0.0.1: ") +
                     (e != nullptr ? e->message : "unknown error");
        }
        g_clear_error(&e);
        g_object_unref(server);
        return false;
    }
    int port = 0;
    GSList* uris = soup_server_get_uris(server);
    if (uris != nullptr) port = g_uri_get_port(static_cast<GUri*>(uris->data));
    g_slist_free_full(uris, reinterpret_cast<GDestroyNotify>(g_uri_unref));
    impl_->server = server;
    impl_->port = port;
    return true;
}

void MapServer::stop() {
    if (impl_->server == nullptr) return;
    soup_server_disconnect(impl_->server);
    g_object_unref(impl_->server);
    impl_->server = nullptr;
    impl_->port = 0;
}

bool MapServer::running() const {
    return impl_->server != nullptr;
}

int MapServer::port() const {
    return impl_->port;
}

std::string MapServer::page_url(int map_type) const {
    if (!running()) return "";
    return base_url(impl_->port) + page_name(map_type);
}

int MapServer::served() const {
    return impl_->served;
}

int MapServer::refused() const {
    return impl_->refused;
}

}  // namespace mappages
