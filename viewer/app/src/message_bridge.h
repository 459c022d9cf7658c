// Messages posted to the main window (by the player library's threads, the
// controller, the controls) reach the GTK main loop through the window's
// wake-up descriptor in the platform message registry, and are handled on
// the UI thread, one handler per message number.
//
// Thread-safety: construct, register handlers and destroy on the UI thread;
// platform::post_message may be called from any thread.
#pragma once

#include <glib.h>

#include <functional>
#include <map>

#include "platform/window_messages.h"

class MessageBridge {
public:
    using Handler = std::function<void(const platform::WindowMessage&)>;

    // Registers `window` (a top-level window: no parent) and watches its
    // queue on the default main context.
    explicit MessageBridge(platform::NativeWindow window);
    ~MessageBridge();  // stops watching and unregisters the window
    MessageBridge(const MessageBridge&) = delete;
    MessageBridge& operator=(const MessageBridge&) = delete;

    platform::NativeWindow window() const { return window_; }
    // Replaces the handler of one message number. Messages without a
    // handler are logged and dropped.
    void on(unsigned message, Handler handler);
    // Posts to the window (PostMessage to itself).
    bool post(unsigned message, std::uintptr_t wparam = 0, std::intptr_t lparam = 0) const;
    // Handles a message now, on the calling (UI) thread (SendMessage).
    void send(unsigned message, std::uintptr_t wparam = 0, std::intptr_t lparam = 0);

private:
    static gboolean on_readable(gint fd, GIOCondition condition, gpointer self);
    void handle(const platform::WindowMessage& message);

    platform::NativeWindow window_ = 0;
    guint source_ = 0;
    std::map<unsigned, Handler> handlers_;
};
