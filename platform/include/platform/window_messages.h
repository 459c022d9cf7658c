// Messages posted to native windows, and each window's parent, for X11
// window ids.
//
// A host program registers its windows (each with its parent, 0 for a
// top-level window) and drains each window's queue from its own thread:
// either by calling dispatch_messages(), which hands every waiting message
// to the window's sink on the calling thread, or with take_message(). Any
// thread may post; posting only queues the message and never calls into the
// host. wakeup_fd() gives a descriptor that a host's poll() loop can watch.
//
//     platform::register_window(video, frame, nullptr);
//     platform::register_window(frame, 0, [](const WindowMessage& m) { ... });
//     // a library thread:
//     platform::post_message(platform::parent_window(video), 1225, 3, 3120);
//     // the host's loop:
//     platform::dispatch_messages(frame);
//
// The registry is one per process: it lives in the shared library
// libkvp_window_messages.so, which the host and every library that posts
// link, so that a library built with hidden symbols sees the host's windows.
//
// Thread-safety: every function may be called from any thread.
#pragma once

#include <cstdint>
#include <functional>

#define KVP_WINDOW_MESSAGES_API __attribute__((visibility("default")))

namespace platform {

// A native window: an X11 window id (0: none).
using NativeWindow = std::uintptr_t;

struct WindowMessage {
    NativeWindow window = 0;  // the window it was posted to
    unsigned message = 0;
    std::uintptr_t wparam = 0;
    std::intptr_t lparam = 0;
};

// Called by dispatch_messages on the host's thread, once per message.
using MessageSink = std::function<void(const WindowMessage& message)>;

// Makes `window` known with its parent (0: top-level) and its sink (may be
// empty: the host then takes messages with take_message). Registering an
// already known window replaces its parent and sink and keeps its queue.
KVP_WINDOW_MESSAGES_API void register_window(NativeWindow window, NativeWindow parent,
                                             MessageSink sink);
// Forgets the window and drops its waiting messages.
KVP_WINDOW_MESSAGES_API void unregister_window(NativeWindow window);

// The registered parent of `window` (GetParent); 0 when it has none or is
// not registered.
KVP_WINDOW_MESSAGES_API NativeWindow parent_window(NativeWindow window);

// Queues a message for `window` and returns at once (PostMessageW). False
// when the window is not registered (the message is dropped).
KVP_WINDOW_MESSAGES_API bool post_message(NativeWindow window, unsigned message,
                                          std::uintptr_t wparam, std::intptr_t lparam);

// Removes the oldest message waiting for `window`; false when none waits.
KVP_WINDOW_MESSAGES_API bool take_message(NativeWindow window, WindowMessage* out);
// As take_message, waiting up to timeout_ms for one to arrive.
KVP_WINDOW_MESSAGES_API bool wait_message(NativeWindow window, WindowMessage* out, int timeout_ms);

// Hands every message waiting for `window` to its sink, on the calling
// thread, oldest first (messages posted meanwhile wait for the next call).
// Returns how many were delivered; without a sink the messages stay queued.
KVP_WINDOW_MESSAGES_API int dispatch_messages(NativeWindow window);

// A descriptor that is readable while `window` has messages waiting (an
// eventfd owned by the registry; -1 when the window is not registered).
// Valid until the window is unregistered.
KVP_WINDOW_MESSAGES_API int wakeup_fd(NativeWindow window);

}  // namespace platform
