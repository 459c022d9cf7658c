// Running the main loop until something happens, and evaluating an
// expression in a WebKit view (its value as JSON text).
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace map_test {

inline void pump_until(const std::function<bool()>& done, int timeout_ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done() && std::chrono::steady_clock::now() < end) {
        if (!g_main_context_iteration(nullptr, FALSE))
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

struct EvalResult {
    bool done = false;
    std::string json;
};

inline std::string evaluate(WebKitWebView* view, const std::string& code) {
    EvalResult result;
    webkit_web_view_evaluate_javascript(
        view, code.c_str(), -1, nullptr, nullptr, nullptr,
        +[](GObject* source, GAsyncResult* res, gpointer data) {
            auto* r = static_cast<EvalResult*>(data);
            GError* error = nullptr;
            JSCValue* value =
                webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), res, &error);
            if (value != nullptr) {
                char* json = jsc_value_to_json(value, 0);
                r->json = json != nullptr ? json : "undefined";
                g_free(json);
                g_object_unref(value);
            } else {
                r->json = std::string("error: ") + (error ? error->message : "?");
                g_clear_error(&error);
            }
            r->done = true;
        },
        &result);
    pump_until([&] { return result.done; }, 10000);
    return result.json;
}

}  // namespace map_test
