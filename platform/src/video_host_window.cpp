#include "platform/video_host_window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <GL/glx.h>

namespace platform {
namespace {

// The child's visual: RGBA, double-buffered, with depth bits for the
// viewports' depth test.
constexpr int kDepthBits = 16;

struct DisplayCloser {
    void operator()(Display* d) const { XCloseDisplay(d); }
};
struct VisualInfoFree {
    void operator()(XVisualInfo* v) const { XFree(v); }
};
struct ImageDestroyer {
    void operator()(XImage* i) const { XDestroyImage(i); }
};

int channel_of(unsigned long pixel, unsigned long mask) {
    if (mask == 0) return 0;
    int shift = 0;
    while (((mask >> shift) & 1) == 0) ++shift;
    const unsigned long max = mask >> shift;
    return static_cast<int>(((pixel & mask) >> shift) * 255 / max);
}

}  // namespace

struct VideoHostWindow::Impl {
    std::unique_ptr<Display, DisplayCloser> display;
    Window frame = 0, video = 0;
    Colormap colormap = 0;
    Atom delete_atom = 0;

    ~Impl() {
        if (!display) return;
        if (video != 0) XDestroyWindow(display.get(), video);
        if (frame != 0) XDestroyWindow(display.get(), frame);
        if (colormap != 0) XFreeColormap(display.get(), colormap);
        XSync(display.get(), False);
    }
};

VideoHostWindow::VideoHostWindow(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

std::unique_ptr<VideoHostWindow> VideoHostWindow::create(int width, int height,
                                                         const std::string& title,
                                                         std::string* error) {
    XInitThreads();
    auto impl = std::make_unique<Impl>();
    impl->display.reset(XOpenDisplay(nullptr));
    Display* d = impl->display.get();
    if (d == nullptr) {
        if (error != nullptr) *error = "cannot open the X display";
        return nullptr;
    }
    int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_DEPTH_SIZE, kDepthBits, None};
    std::unique_ptr<XVisualInfo, VisualInfoFree> visual(
        glXChooseVisual(d, DefaultScreen(d), attributes));
    if (!visual) {
        if (error != nullptr) *error = "no double-buffered GL visual with depth bits";
        return nullptr;
    }
    const Window root = RootWindow(d, visual->screen);
    impl->frame = XCreateSimpleWindow(d, root, 0, 0, static_cast<unsigned>(width),
                                      static_cast<unsigned>(height), 0, 0, 0);
    XStoreName(d, impl->frame, title.c_str());
    XSelectInput(d, impl->frame, KeyPressMask | StructureNotifyMask);
    impl->delete_atom = XInternAtom(d, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(d, impl->frame, &impl->delete_atom, 1);

    impl->colormap = XCreateColormap(d, root, visual->visual, AllocNone);
    XSetWindowAttributes attrs{};
    attrs.colormap = impl->colormap;
    attrs.background_pixel = 0;
    attrs.border_pixel = 0;
    // The server keeps what is drawn where another window covers the child,
    // so read_pixels gives the child's own pixels (tests share one screen).
    attrs.backing_store = WhenMapped;
    impl->video =
        XCreateWindow(d, impl->frame, 0, 0, static_cast<unsigned>(width),
                      static_cast<unsigned>(height), 0, visual->depth, InputOutput, visual->visual,
                      CWColormap | CWBackPixel | CWBorderPixel | CWBackingStore, &attrs);
    XMapWindow(d, impl->video);
    XMapWindow(d, impl->frame);
    XSync(d, False);  // the library looks the child up on its own connection

    std::unique_ptr<VideoHostWindow> w(new VideoHostWindow(std::move(impl)));
    w->frame_ = w->impl_->frame;
    w->video_ = w->impl_->video;
    w->width_ = width;
    w->height_ = height;
    register_window(w->frame_, 0, nullptr);
    register_window(w->video_, w->frame_, nullptr);
    return w;
}

VideoHostWindow::~VideoHostWindow() {
    unregister_window(video_);
    unregister_window(frame_);
}

int VideoHostWindow::connection_fd() const {
    return ConnectionNumber(impl_->display.get());
}

void VideoHostWindow::resize(int width, int height) {
    Display* d = impl_->display.get();
    XResizeWindow(d, impl_->frame, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XResizeWindow(d, impl_->video, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XSync(d, False);
    width_ = width;
    height_ = height;
}

void VideoHostWindow::process_events(const std::function<void(const HostEvent&)>& on_event) {
    Display* d = impl_->display.get();
    while (XPending(d) > 0) {
        XEvent ev;
        XNextEvent(d, &ev);
        HostEvent out;
        if (ev.type == KeyPress) {
            const KeySym sym = XLookupKeysym(&ev.xkey, 0);
            const char* name = XKeysymToString(sym);
            out.key = name != nullptr ? name : "";
        } else if (ev.type == ConfigureNotify && ev.xconfigure.window == impl_->frame) {
            if (ev.xconfigure.width == width_ && ev.xconfigure.height == height_) continue;
            width_ = ev.xconfigure.width;
            height_ = ev.xconfigure.height;
            XResizeWindow(d, impl_->video, static_cast<unsigned>(width_),
                          static_cast<unsigned>(height_));
            XFlush(d);
            out.kind = HostEvent::Kind::resized;
            out.width = width_;
            out.height = height_;
        } else if (ev.type == ClientMessage &&
                   static_cast<Atom>(ev.xclient.data.l[0]) == impl_->delete_atom) {
            out.kind = HostEvent::Kind::close;
        } else {
            continue;
        }
        if (on_event) on_event(out);
    }
}

bool VideoHostWindow::read_pixels(int x, int y, int width, int height,
                                  std::vector<std::uint8_t>* rgb) const {
    if (x < 0 || y < 0 || width <= 0 || height <= 0 || x + width > width_ || y + height > height_ ||
        rgb == nullptr) {
        return false;
    }
    std::unique_ptr<XImage, ImageDestroyer> image(
        XGetImage(impl_->display.get(), impl_->video, x, y, static_cast<unsigned>(width),
                  static_cast<unsigned>(height), AllPlanes, ZPixmap));
    if (!image) return false;
    rgb->resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    std::uint8_t* out = rgb->data();
    for (int row = 0; row < height; ++row) {
        for (int col = 0; col < width; ++col) {
            const unsigned long p = XGetPixel(image.get(), col, row);
            *out++ = static_cast<std::uint8_t>(channel_of(p, image->red_mask));
            *out++ = static_cast<std::uint8_t>(channel_of(p, image->green_mask));
            *out++ = static_cast<std::uint8_t>(channel_of(p, image->blue_mask));
        }
    }
    return true;
}

}  // namespace platform
