#include "message_bridge.h"

#include <glib-unix.h>

#include "platform/debug_output.h"
#include "shell/viewer_messages.h"

MessageBridge::MessageBridge(platform::NativeWindow window) : window_(window) {
    platform::register_window(window_, 0, [this](const platform::WindowMessage& m) { handle(m); });
    const int fd = platform::wakeup_fd(window_);
    if (fd >= 0) source_ = g_unix_fd_add(fd, G_IO_IN, &MessageBridge::on_readable, this);
}

MessageBridge::~MessageBridge() {
    if (source_ != 0) g_source_remove(source_);
    platform::unregister_window(window_);
}

void MessageBridge::on(unsigned message, Handler handler) {
    handlers_[message] = std::move(handler);
}

bool MessageBridge::post(unsigned message, std::uintptr_t wparam, std::intptr_t lparam) const {
    return platform::post_message(window_, message, wparam, lparam);
}

void MessageBridge::send(unsigned message, std::uintptr_t wparam, std::intptr_t lparam) {
    platform::WindowMessage m;
    m.window = window_;
    m.message = message;
    m.wparam = wparam;
    m.lparam = lparam;
    handle(m);
}

gboolean MessageBridge::on_readable(gint, GIOCondition, gpointer self) {
    platform::dispatch_messages(static_cast<MessageBridge*>(self)->window_);
    return G_SOURCE_CONTINUE;
}

void MessageBridge::handle(const platform::WindowMessage& message) {
    const auto it = handlers_.find(message.message);
    if (it != handlers_.end() && it->second) {
        it->second(message);
        return;
    }
    platform::debug_printf(256, "KVP: message %u (%s) not handled\n", message.message,
                           shell::viewer_message_name(message.message));
}
