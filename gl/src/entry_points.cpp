#include "gl/entry_points.h"

#include <GL/glew.h>

#include <mutex>

namespace gl {

EntryPoints load_entry_points() {
    static std::mutex loading;
    std::lock_guard<std::mutex> lock(loading);
    const GLenum status = glewInit();
    EntryPoints result;
    result.loaded = status == GLEW_OK || status == GLEW_ERROR_NO_GLX_DISPLAY;
    if (!result.loaded) result.reason = reinterpret_cast<const char*>(glewGetErrorString(status));
    return result;
}

}  // namespace gl
