// WkeWebkitUI: the map browser. A WebKitWebView whose load and script
// requests pass through a shell::BrowserRequestQueue: nothing reaches the
// page before the window has been drawn (so the page's process starts after
// the window is on the screen) and no script runs before its page has
// loaded. A page whose process dies is loaded again, with its last track
// and position. A link followed in the page opens in the user's browser,
// never inside the map view.
#include <webkit2/webkit2.h>

#include "custom_controls.h"
#include "platform/debug_output.h"

struct WkeWebkitUI {
    WebKitWebView parent;
    shell::BrowserRequestQueue* queue;
    guint ready_source;  // the idle source that reports the drawn view; 0 when none
};

struct WkeWebkitUIClass {
    WebKitWebViewClass parent_class;
};

G_DEFINE_TYPE(WkeWebkitUI, wke_webkit_ui, WEBKIT_TYPE_WEB_VIEW)

namespace {

WkeWebkitUI* as_browser(gpointer p) {
    return reinterpret_cast<WkeWebkitUI*>(p);
}

void carry_out(WkeWebkitUI* self, const shell::BrowserRequestQueue::Requests& requests) {
    WebKitWebView* view = WEBKIT_WEB_VIEW(self);
    for (const shell::BrowserRequest& r : requests) {
        if (r.kind == shell::BrowserRequest::Kind::load_url) {
            webkit_web_view_load_uri(view, r.text.c_str());
        } else {
            // Fire and forget: nobody waits for a script's result.
            webkit_web_view_evaluate_javascript(view, r.text.c_str(), -1, nullptr, nullptr, nullptr,
                                                nullptr, nullptr);
        }
    }
}

gboolean report_ready(gpointer data) {
    WkeWebkitUI* self = as_browser(data);
    self->ready_source = 0;
    carry_out(self, self->queue->view_ready());
    return G_SOURCE_REMOVE;
}

void on_map(GtkWidget* widget) {
    GTK_WIDGET_CLASS(wke_webkit_ui_parent_class)->map(widget);
    WkeWebkitUI* self = as_browser(widget);
    if (self->ready_source == 0 && self->queue != nullptr) {
        // Low priority: after the window's first frame has been drawn.
        self->ready_source = g_idle_add_full(G_PRIORITY_LOW, report_ready, self, nullptr);
    }
}

void on_load_changed(WebKitWebView* view, WebKitLoadEvent event, gpointer) {
    if (event != WEBKIT_LOAD_FINISHED) return;
    WkeWebkitUI* self = as_browser(view);
    carry_out(self, self->queue->load_finished());
}

void on_process_terminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason,
                           gpointer) {
    platform::debug_printf(256, "KVP: the map page's process ended (%d); loading it again\n",
                           static_cast<int>(reason));
    WkeWebkitUI* self = as_browser(view);
    carry_out(self, self->queue->page_crashed());
}

std::function<void(const std::string&)>& link_opener() {
    static std::function<void(const std::string&)> opener;
    return opener;
}

void open_outside(const char* uri) {
    if (uri == nullptr || *uri == '\0') return;
    platform::debug_printf(1024, "KVP: opening %s in the user's browser\n", uri);
    if (link_opener()) {
        link_opener()(uri);
        return;
    }
    g_app_info_launch_default_for_uri_async(uri, nullptr, nullptr, nullptr, nullptr);
}

gboolean on_decide_policy(WebKitWebView*, WebKitPolicyDecision* decision,
                          WebKitPolicyDecisionType type, gpointer) {
    if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION &&
        type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
        return FALSE;
    }
    WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
        WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    const bool link =
        webkit_navigation_action_get_navigation_type(action) == WEBKIT_NAVIGATION_TYPE_LINK_CLICKED;
    if (!link && type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) return FALSE;
    open_outside(webkit_uri_request_get_uri(webkit_navigation_action_get_request(action)));
    webkit_policy_decision_ignore(decision);
    return TRUE;
}

void on_dispose(GObject* object) {
    WkeWebkitUI* self = as_browser(object);
    if (self->ready_source != 0) {
        g_source_remove(self->ready_source);
        self->ready_source = 0;
    }
    G_OBJECT_CLASS(wke_webkit_ui_parent_class)->dispose(object);
}

void on_finalize(GObject* object) {
    WkeWebkitUI* self = as_browser(object);
    delete self->queue;
    self->queue = nullptr;
    G_OBJECT_CLASS(wke_webkit_ui_parent_class)->finalize(object);
}

}  // namespace

static void wke_webkit_ui_class_init(WkeWebkitUIClass* klass) {
    GTK_WIDGET_CLASS(klass)->map = on_map;
    G_OBJECT_CLASS(klass)->dispose = on_dispose;
    G_OBJECT_CLASS(klass)->finalize = on_finalize;
}

static void wke_webkit_ui_init(WkeWebkitUI* self) {
    self->queue = new shell::BrowserRequestQueue();
    g_signal_connect(self, "load-changed", G_CALLBACK(on_load_changed), nullptr);
    g_signal_connect(self, "web-process-terminated", G_CALLBACK(on_process_terminated), nullptr);
    g_signal_connect(self, "decide-policy", G_CALLBACK(on_decide_policy), nullptr);
}

void wke_webkit_ui_load_url(GtkWidget* browser, const std::string& url) {
    if (!KVP_IS_BROWSER(browser)) return;
    WkeWebkitUI* self = as_browser(browser);
    carry_out(self, self->queue->submit(shell::BrowserRequest::load(url)));
}

void wke_webkit_ui_run_script(GtkWidget* browser, const std::string& script,
                              shell::BrowserRequest::Role role) {
    if (!KVP_IS_BROWSER(browser)) return;
    WkeWebkitUI* self = as_browser(browser);
    carry_out(self, self->queue->submit(shell::BrowserRequest::script(script, role)));
}

void wke_webkit_ui_set_link_opener(std::function<void(const std::string& uri)> opener) {
    link_opener() = std::move(opener);
}
