// A hidden OpenGL context without any window system: EGL on Mesa's
// surfaceless platform (or, where Mesa is not the driver, the first EGL
// device), a desktop OpenGL context made current with no surface. There is
// no default framebuffer: whoever draws binds a framebuffer object. It
// serves the converter's offscreen renderer, and the player's renderer where
// no X display is at hand (its tests).
//
// Thread-safety: the context is current on the thread that created it and
// must be destroyed there. The EGL display is shared by the process and
// initialised once.
#pragma once

#include <string>

#include <EGL/egl.h>

namespace gl {

class HeadlessContext {
public:
    HeadlessContext() = default;
    ~HeadlessContext() { destroy(); }
    HeadlessContext(const HeadlessContext&) = delete;
    HeadlessContext& operator=(const HeadlessContext&) = delete;

    // Creates the context and makes it current on this thread; false with a
    // reason in `why`.
    bool create(std::string& why);
    // Releases the context from this thread and destroys it.
    void destroy();
    bool is_current() const { return context_ != EGL_NO_CONTEXT; }

private:
    EGLDisplay display_ = EGL_NO_DISPLAY;
    EGLContext context_ = EGL_NO_CONTEXT;
};

}  // namespace gl
