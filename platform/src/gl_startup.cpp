#include "platform/gl_startup.h"

#include <GL/glew.h>

#include <mutex>

namespace platform {

unsigned load_gl_entry_points() {
    static std::mutex loading;
    std::lock_guard<std::mutex> lock(loading);
    return glewInit();
}

}  // namespace platform
