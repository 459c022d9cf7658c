// The display thread's window: SDL with its sound device, the SDL window
// made from the host's native X11 window (or a window of its own) and the
// OpenGL context.
#include <SDL2/SDL_syswm.h>
#include <X11/Xlib.h>

#include "audio_output.h"
#include "display.h"
#include "host_messages.h"
#include "playback_end.h"

namespace sphere_player {
namespace {

constexpr Uint32 kSdlSubsystems = SDL_INIT_VIDEO | SDL_INIT_AUDIO;  // 48
constexpr int kGlMajor = 2, kGlMinor = 0;
constexpr int kDepthBits = 16;
constexpr int kColourBits = 8;
// Further tries to make the SDL window from a native window, with the
// thread's messages let through after each failed one.
constexpr int kNativeWindowRetries = 3;
constexpr const char* kOwnWindowTitle = "Quillon VR Player";
constexpr Uint32 kOwnWindowFlags = SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE;

// The pointer and structure events the display handles. SDL selects none on
// a window it did not create; this selection is made on SDL's own
// connection, so that the events reach SDL.
constexpr long kNativeWindowEvents = ExposureMask | ButtonPressMask | ButtonReleaseMask |
                                     PointerMotionMask | StructureNotifyMask | EnterWindowMask |
                                     LeaveWindowMask;

void open_sound_device(PlayerState& ps) {
    video_state& vs = *ps.vs;
    if (!ps.audio_enabled) return;
    SDL_AudioSpec obtained{};
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &vs.wanted_spec, &obtained, 0);
    if (device == 0) {
        ps.errors.set("error: can't open audio for SDL;\n");
        ps.audio_enabled = false;
        vs.audio_stream_index = kNoStream;
        // The millisecond clock takes over and is brought into picture units.
        if (vs.audio_tbase.num > 0) {
            vs.clock.set_scale(static_cast<int>(
                static_cast<std::int64_t>(vs.audio_tbase.den) /
                (static_cast<std::int64_t>(vs.audio_tbase.num) * kMillisecondTimeBase.den)));
        }
        return;
    }
    ps.audio_device = device;
    SDL_PauseAudioDevice(device, 0);
}

void select_native_input(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window, &info) != SDL_TRUE || info.subsystem != SDL_SYSWM_X11) return;
    XSelectInput(info.info.x11.display, info.info.x11.window, kNativeWindowEvents);
    XFlush(info.info.x11.display);
}

SDL_Window* window_from_native(PlayerState& ps, DOR_NativeWindow native) {
    SDL_Window* window = SDL_CreateWindowFrom(native);
    for (int i = 0; window == nullptr && i < kNativeWindowRetries; ++i) {
        pump_thread_messages(ps, 1);
        window = SDL_CreateWindowFrom(native);
    }
    if (window != nullptr) select_native_input(window);
    return window;
}

int make_window(PlayerState& ps) {
    ViewState& state = ps.vs->view;
    platform::MutexLock lock(state.mutex);
    ViewRecord& view = state.record;
    if (view.use_native_window != 0) {
        view.window = window_from_native(ps, view.native_window);
        if (view.window == nullptr) {
            std::printf("error: unable to create sdl window from native window: %s\n",
                        SDL_GetError());
            return ps.errors.fail(DOR_PLAYER_DISPLAY_FAILED,
                                  "error: unable to create sdl window from native window: %s\n",
                                  SDL_GetError());
        }
        SDL_ShowWindow(view.window);
        SDL_GetWindowSize(view.window, &view.window_width, &view.window_height);
        SDL_GetWindowPosition(view.window, &view.window_x, &view.window_y);
        return DOR_PLAYER_OK;
    }
    view.window = SDL_CreateWindow(kOwnWindowTitle, view.window_x, view.window_y, view.window_width,
                                   view.window_height, kOwnWindowFlags);
    if (view.window == nullptr) {
        return ps.errors.fail(DOR_PLAYER_DISPLAY_FAILED, "error: unable to create sdl window: %s\n",
                              SDL_GetError());
    }
    return DOR_PLAYER_OK;
}

int make_gl_context(PlayerState& ps) {
    ViewState& state = ps.vs->view;
    platform::MutexLock lock(state.mutex);
    ViewRecord& view = state.record;
    view.gl_context = SDL_GL_CreateContext(view.window);
    if (view.gl_context == nullptr) {
        return ps.errors.fail(DOR_PLAYER_DISPLAY_FAILED, "error: fail to create gl context: %s\n",
                              SDL_GetError());
    }
    if (SDL_GL_MakeCurrent(view.window, view.gl_context) != 0) {
        return ps.errors.fail(DOR_PLAYER_DISPLAY_FAILED,
                              "error: fail to make current gl context: %s\n", SDL_GetError());
    }
    SDL_GL_SetSwapInterval(1);  // wait for the vertical retrace
    return DOR_PLAYER_OK;
}

void set_gl_attributes() {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, kGlMajor);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, kGlMinor);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, kDepthBits);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, kColourBits);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, kColourBits);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, kColourBits);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, kColourBits);
}

}  // namespace

int init_sdl_gl_video_render(PlayerState& ps) {
    // A host's window takes OpenGL. SDL keeps its hints in a list without a
    // lock that its sound thread reads when it starts, so the hint is set
    // before the sound device opens; setting it again, as the next player
    // does while another one plays, writes nothing when its value is the same.
    SDL_SetHint(SDL_HINT_VIDEO_FOREIGN_WINDOW_OPENGL, "1");
    if (SDL_InitSubSystem(kSdlSubsystems) != 0) {
        return ps.errors.fail(DOR_PLAYER_SDL_FAILED, "Could not initialize SDL - %s\n",
                              SDL_GetError());
    }
    open_sound_device(ps);
    set_gl_attributes();
    int rc = make_window(ps);
    if (rc == DOR_PLAYER_OK) rc = make_gl_context(ps);
    return rc;
}

void release_sdl_gl_video_render(PlayerState& ps) {
    if (ps.audio_enabled) ps.audio_enabled = false;
    close_audio_device(ps);
    {
        ViewState& state = ps.vs->view;
        platform::MutexLock lock(state.mutex);
        ViewRecord& view = state.record;
        if (view.gl_context != nullptr) {
            SDL_GL_MakeCurrent(view.window, nullptr);
            SDL_GL_DeleteContext(view.gl_context);
            view.gl_context = nullptr;
        }
        if (view.window != nullptr) SDL_DestroyWindow(view.window);
        view.window = nullptr;
    }
    SDL_QuitSubSystem(kSdlSubsystems);
    if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) SDL_Quit();
}

}  // namespace sphere_player
