// A program that leaks on purpose, for the sanitizer round: LeakSanitizer
// must report the leak with this file in its stack, whatever the
// suppressions and unwinding options of the round. With --with-gl it first
// loads the GL driver through the X host window (as the GL tests do), so a
// leak of ours made beside the driver's allocations is still told apart.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/video_host_window.h"

namespace {

// Not inlined, so that the report names this function and file.
__attribute__((noinline)) void* leak_canary_block() {
    void* p = std::malloc(4096);
    std::memset(p, 0x5a, 4096);
    return p;
}

void* volatile g_kept = nullptr;

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--with-gl") == 0) {
        std::string why;
        auto host = platform::VideoHostWindow::create(64, 64, "leak canary", &why);
        if (!host) std::printf("no X display (%s): the leak alone\n", why.c_str());
    }
    g_kept = leak_canary_block();
    g_kept = nullptr;  // the only pointer is gone: a direct leak
    std::printf("leaked 4096 bytes\n");
    return 0;
}
