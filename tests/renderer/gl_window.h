// A small SDL window with an OpenGL 2.0 context made current and GLEW
// initialised, as the player's display thread sets it up, for the renderer
// tests and benchmark (run under Xvfb). ok() is false, with the reason, when
// no display or no context can be had.
#pragma once

#include <GL/glew.h>
#include <SDL2/SDL.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "gl/entry_points.h"

namespace renderer_test {

class GlWindow {
public:
    GlWindow(int width, int height) : width_(width), height_(height) { open(); }
    // SDL's video subsystem stays up until the process ends: quitting it
    // closes the X connection and unloads the GL driver, whose compiled
    // shader state LeakSanitizer then reports as leaks in an unmapped module.
    ~GlWindow() { close(); }
    GlWindow(const GlWindow&) = delete;
    GlWindow& operator=(const GlWindow&) = delete;

    bool ok() const { return reason_.empty(); }
    const std::string& reason() const { return reason_; }
    int width() const { return width_; }
    int height() const { return height_; }
    void swap() { SDL_GL_SwapWindow(window_); }

    // RGB of window pixel (x, y), origin at the bottom left, from the
    // buffer being drawn.
    std::array<int, 3> pixel(int x, int y) const {
        std::array<unsigned char, 4> rgba{};
        glFinish();
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        return {rgba[0], rgba[1], rgba[2]};
    }

    // The whole window, rows bottom first, RGBA.
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

    void open() {
        for (int attempt = 0; attempt < kOpenTries; ++attempt) {
            if (attempt > 0) SDL_Delay(kRetryDelayMs);
            reason_.clear();
            if (try_open()) return;
            close();
        }
    }

    bool try_open() {
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
        if (!gl::load_entry_points().loaded) {
            reason_ = "glewInit failed";
            return false;
        }
        return true;
    }

    void close() {
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
    SDL_Window* window_ = nullptr;
    SDL_GLContext context_ = nullptr;
    std::string reason_;
};

}  // namespace renderer_test
