#include "gl/headless_context.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include <EGL/eglext.h>

namespace gl {
namespace {

bool has_extension(const char* list, const char* name) {
    if (list == nullptr) return false;
    const std::size_t n = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += n) {
        const bool starts = p == list || p[-1] == ' ';
        const bool ends = p[n] == '\0' || p[n] == ' ';
        if (starts && ends) return true;
    }
    return false;
}

EGLDisplay initialise(EGLDisplay display) {
    if (display != EGL_NO_DISPLAY && eglInitialize(display, nullptr, nullptr)) return display;
    return EGL_NO_DISPLAY;
}

EGLDisplay surfaceless_display(PFNEGLGETPLATFORMDISPLAYEXTPROC get_display) {
    return initialise(get_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr));
}

EGLDisplay first_device_display(PFNEGLGETPLATFORMDISPLAYEXTPROC get_display) {
    auto query_devices =
        reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
    EGLDeviceEXT device = nullptr;
    EGLint count = 0;
    if (query_devices == nullptr || !query_devices(1, &device, &count) || count < 1) {
        return EGL_NO_DISPLAY;
    }
    return initialise(get_display(EGL_PLATFORM_DEVICE_EXT, device, nullptr));
}

EGLDisplay open_display() {
    const char* client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    auto get_display = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (get_display == nullptr) return EGL_NO_DISPLAY;
    EGLDisplay display = EGL_NO_DISPLAY;
    if (has_extension(client, "EGL_MESA_platform_surfaceless")) {
        display = surfaceless_display(get_display);
    }
    if (display == EGL_NO_DISPLAY && has_extension(client, "EGL_EXT_platform_device")) {
        display = first_device_display(get_display);
    }
    return display;
}

// One display for the whole process: EGL displays are not reference counted,
// so terminating one would pull it from under another converter's context.
EGLDisplay shared_display() {
    static std::once_flag once;
    static EGLDisplay display = EGL_NO_DISPLAY;
    std::call_once(once, [] { display = open_display(); });
    return display;
}

std::string egl_failure(const char* what) {
    char text[96];
    std::snprintf(text, sizeof text, "%s failed (EGL error 0x%x)", what, eglGetError());
    return text;
}

}  // namespace

bool HeadlessContext::create(std::string& why) {
    destroy();
    display_ = shared_display();
    if (display_ == EGL_NO_DISPLAY) {
        why = "no EGL display on the surfaceless or device platform";
        return false;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        why = egl_failure("eglBindAPI(EGL_OPENGL_API)");
        return false;
    }
    EGLConfig config = EGL_NO_CONFIG_KHR;
    if (!has_extension(eglQueryString(display_, EGL_EXTENSIONS), "EGL_KHR_no_config_context")) {
        const EGLint attributes[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
        EGLint count = 0;
        if (!eglChooseConfig(display_, attributes, &config, 1, &count) || count < 1) {
            why = egl_failure("eglChooseConfig");
            return false;
        }
    }
    context_ = eglCreateContext(display_, config, EGL_NO_CONTEXT, nullptr);
    if (context_ == EGL_NO_CONTEXT) {
        why = egl_failure("eglCreateContext");
        return false;
    }
    if (!eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_)) {
        why = egl_failure("eglMakeCurrent");
        destroy();
        return false;
    }
    return true;
}

void HeadlessContext::destroy() {
    if (context_ == EGL_NO_CONTEXT) return;
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display_, context_);
    eglReleaseThread();
    context_ = EGL_NO_CONTEXT;
}

}  // namespace gl
