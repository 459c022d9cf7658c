#include "gl/errors.h"

#include <GL/glew.h>

namespace gl {

void clear_errors() {
    for (int i = 0; i < kMaxPendingErrors && glGetError() != GL_NO_ERROR; ++i) {
    }
}

bool StepCheck::failed(int line) const {
    const GLenum code = glGetError();
    if (code == GL_NO_ERROR) return false;
    if (report_) report_(line, static_cast<int>(code));
    return true;
}

}  // namespace gl
