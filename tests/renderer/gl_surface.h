// Where the renderer tests and benchmark draw: a small SDL window with an
// OpenGL 2.0 context, as the player's display thread sets it up (under X),
// or, without an X display, a headless EGL context drawing into a
// framebuffer object of the same size with the colour and depth a window
// has. Either way the context is current and its entry points loaded; ok()
// is false, with the reason, when none can be had.
#pragma once

#include <GL/glew.h>
#include <SDL2/SDL.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "gl/entry_points.h"
#include "gl/headless_context.h"
#include "gl/objects.h"

namespace renderer_test {

class GlSurface {
public:
    enum class Kind { window, headless };

    // A window where an X display is named, headless otherwise.
    static Kind default_kind() {
        const char* display = std::getenv("DISPLAY");
        return display != nullptr && *display != '\0' ? Kind::window : Kind::headless;
    }

    GlSurface(int width, int height, Kind kind = default_kind())
        : width_(width), height_(height), kind_(kind) {
        if (kind == Kind::window) {
            open_window();
        } else {
            open_headless();
        }
    }
    // SDL's video subsystem stays up until the process ends: quitting it
    // closes the X connection and unloads the GL driver, whose compiled
    // shader state LeakSanitizer then reports as leaks in an unmapped module.
    ~GlSurface() { close(); }
    GlSurface(const GlSurface&) = delete;
    GlSurface& operator=(const GlSurface&) = delete;

    bool ok() const { return reason_.empty(); }
    const std::string& reason() const { return reason_; }
    Kind kind() const { return kind_; }
    int width() const { return width_; }
    int height() const { return height_; }
    // Shows the picture drawn (a window); the headless surface has nothing
    // to show and only hands the commands to the GL.
    void swap() {
        if (window_ != nullptr) {
            SDL_GL_SwapWindow(window_);
        } else {
            glFlush();
        }
    }

    // RGB of pixel (x, y), origin at the bottom left, from the buffer being
    // drawn.
    std::array<int, 3> pixel(int x, int y) const {
        std::array<unsigned char, 4> rgba{};
        glFinish();
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        return {rgba[0], rgba[1], rgba[2]};
    }

    // The whole surface, rows bottom first, RGBA.
    std::vector<uint8_t> read_all() const {
        std::vector<uint8_t> rgba(static_cast<size_t>(width_) * height_ * 4);
        glFinish();
        glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        return rgba;
    }

private:
    // A busy X server now and then refuses a window or a context; a few
    // tries ride that out.
    static constexpr int kOpenTries = 3;
    static constexpr Uint32 kRetryDelayMs = 200;

    void open_window() {
        for (int attempt = 0; attempt < kOpenTries; ++attempt) {
            if (attempt > 0) SDL_Delay(kRetryDelayMs);
            reason_.clear();
            if (try_open_window()) return;
            close();
        }
    }

    bool try_open_window() {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return fail("SDL video");
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
        SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
        window_ =
            SDL_CreateWindow("renderer test", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                             width_, height_, SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
        if (window_ == nullptr) return fail("SDL window");
        context_ = SDL_GL_CreateContext(window_);
        if (context_ == nullptr) return fail("GL context");
        if (SDL_GL_MakeCurrent(window_, context_) != 0) return fail("make current");
        SDL_GL_SetSwapInterval(0);
        return load_entry_points();
    }

    // The framebuffer stands in for the window's: bound for drawing and
    // reading, and never unbound by the renderer.
    void open_headless() {
        headless_ = std::make_unique<gl::HeadlessContext>();
        std::string why;
        if (!headless_->create(why)) {
            reason_ = "headless context: " + why;
            return;
        }
        if (!load_entry_points()) return;
        glBindRenderbuffer(GL_RENDERBUFFER, colour_.create());
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width_, height_);
        glBindRenderbuffer(GL_RENDERBUFFER, depth_.create());
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width_, height_);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_.create());
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                  colour_.get());
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                                  depth_.get());
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            reason_ = "headless framebuffer incomplete";
        }
        glGetError();  // nothing of the set-up is the renderer's
    }

    bool load_entry_points() {
        const gl::EntryPoints entry = gl::load_entry_points();
        if (!entry.loaded) reason_ = std::string("GL entry points: ") + entry.reason;
        return entry.loaded;
    }

    void close() {
        framebuffer_.reset();
        depth_.reset();
        colour_.reset();
        headless_.reset();
        if (context_ != nullptr) SDL_GL_DeleteContext(context_);
        if (window_ != nullptr) SDL_DestroyWindow(window_);
        context_ = nullptr;
        window_ = nullptr;
    }

    bool fail(const char* what) {
        reason_ = std::string(what) + ": " + SDL_GetError();
        return false;
    }

    int width_, height_;
    Kind kind_;
    // --- window
    SDL_Window* window_ = nullptr;
    SDL_GLContext context_ = nullptr;
    // --- headless; the objects are deleted before the context
    std::unique_ptr<gl::HeadlessContext> headless_;
    gl::Renderbuffer colour_, depth_;
    gl::Framebuffer framebuffer_;
    std::string reason_;
};

}  // namespace renderer_test
