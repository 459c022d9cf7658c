// A host window for a video library on X11: a top-level frame and, filling
// it, a plain child window that the library draws into with OpenGL. What a
// Windows host made with CreateWindowEx for the video. The child is
// registered in window_messages with the frame as its parent, so a library
// handed the child posts its messages to the frame.
//
// The child gets a visual with double buffering and depth bits
// (glXChooseVisual) and no input selection of its own: the library selects
// the pointer and structure events it needs on its own X connection, and X
// lets only one client select button presses. Key presses reach the frame.
//
// Thread-safety: one host thread uses the object. create() calls
// XInitThreads() first, as every program must that shares a window with a
// library on another X connection; create the window before any other X
// use in the process.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/window_messages.h"

namespace platform {

struct HostEvent {
    enum class Kind { key, close, resized };
    Kind kind = Kind::key;
    std::string key;  // X key name ("space", "Left", "Right", "q", "Escape") for key events
    int width = 0, height = 0;  // the frame's new size for resized events
};

class VideoHostWindow {
public:
    // Opens its own X connection ($DISPLAY) and maps both windows. Null
    // with a reason in `error` when there is no display or no GL visual.
    static std::unique_ptr<VideoHostWindow> create(int width, int height, const std::string& title,
                                                   std::string* error);
    ~VideoHostWindow();  // unregisters and destroys both windows
    VideoHostWindow(const VideoHostWindow&) = delete;
    VideoHostWindow& operator=(const VideoHostWindow&) = delete;

    NativeWindow frame() const { return frame_; }
    NativeWindow video() const { return video_; }
    int width() const { return width_; }
    int height() const { return height_; }

    // The X connection's descriptor, for a poll() loop beside wakeup_fd().
    int connection_fd() const;

    // Resizes the frame and the child with it (as a user would), and waits
    // until the server has done it.
    void resize(int width, int height);

    // Handles every pending X event of the frame: a size change resizes the
    // child; key presses, size changes and a close request from the window
    // manager are handed to `on_event`.
    void process_events(const std::function<void(const HostEvent&)>& on_event);

    // Reads the child's pixels (what the library last presented) as RGB
    // bytes, rows top to bottom, also where another window covers them (the
    // child has backing store where the server offers it). False when the
    // area lies outside it.
    bool read_pixels(int x, int y, int width, int height, std::vector<std::uint8_t>* rgb) const;

private:
    struct Impl;
    explicit VideoHostWindow(std::unique_ptr<Impl> impl);

    std::unique_ptr<Impl> impl_;
    NativeWindow frame_ = 0, video_ = 0;
    int width_ = 0, height_ = 0;
};

}  // namespace platform
