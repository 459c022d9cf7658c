// Loading the OpenGL entry points (GLEW) for the current context.
//
// GLEW keeps the entry points in process-wide globals, and loading them is
// not thread-safe: a player's display thread and a converter's worker that
// start at the same moment would write them at once. Every library of the
// process loads them through this one function, which serialises the
// loads. It lives in the shared library libkvp_gl_startup.so, so that the
// libraries (each built with hidden symbols) share one lock instead of
// holding a copy each.
//
// Thread-safety: safe; call it with the caller's GL context current.
#pragma once

#define KVP_GL_STARTUP_API __attribute__((visibility("default")))

namespace gl {

struct EntryPoints {
    bool loaded = false;
    const char* reason = "";  // GLEW's words for the failure; static text
};

// glewInit() for the context current on the calling thread, under the
// process-wide lock. A context without an X display (EGL) loads its GL
// entry points all the same; GLEW only misses its GLX extensions there,
// which nothing here uses.
KVP_GL_STARTUP_API EntryPoints load_entry_points();

}  // namespace gl
