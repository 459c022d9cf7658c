// The library as the viewer loads it: two exports, nothing else.
#include <dlfcn.h>

#include <cstdlib>

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/log.h>
}

#include "SphereVideoConverter.h"
#include "temp_dir.h"

namespace {

// For the whole test program: the renderer must work without an X display,
// and the media library's statistics are noise.
const bool kEnvironment = [] {
    ::unsetenv("DISPLAY");
    av_log_set_level(AV_LOG_ERROR);
    return true;
}();

constexpr const char* kLibrary = KVP_BIN_DIR "/libSphereVideoConverter.so";

TEST(Library, OnlyTheTwoFactoriesAreExported) {
    const auto r = kvp_test::run_command(std::string("nm -D --defined-only ") + kLibrary +
                                         " | awk '{print $3}' | sort");
    ASSERT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "CreateSphereVideoConverter\nDestroySphereVideoConverter\n");
}

TEST(Library, LoadsByNameAndCreatesAndDestroysTwice) {
    for (int round = 0; round < 2; ++round) {
        void* lib = ::dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(lib, nullptr) << ::dlerror();
        auto create = reinterpret_cast<CreateSphereVideoConverterFn>(
            ::dlsym(lib, "CreateSphereVideoConverter"));
        auto destroy = reinterpret_cast<DestroySphereVideoConverterFn>(
            ::dlsym(lib, "DestroySphereVideoConverter"));
        ASSERT_NE(create, nullptr);
        ASSERT_NE(destroy, nullptr);
        for (int i = 0; i < 2; ++i) {
            DOR_SphereVideoConverter* c = create();
            ASSERT_NE(c, nullptr);
            EXPECT_EQ(c->IsRendering(), 0);
            EXPECT_EQ(c->GetVideoDuration().seconds, -1);
            EXPECT_EQ(destroy(c), 0);
        }
        EXPECT_EQ(destroy(nullptr), 0);
        EXPECT_EQ(::dlclose(lib), 0);
    }
}

TEST(Library, TheRecordKeepsItsLayout) {
    // Three pointers, then 41 32-bit members in the documented order.
    EXPECT_EQ(offsetof(ConverterInitParam, bitrate), 3 * sizeof(void*));
    EXPECT_EQ(offsetof(ConverterInitParam, prj_mode), 3 * sizeof(void*) + 4 * 4);
    EXPECT_EQ(offsetof(ConverterInitParam, viewport_count), 3 * sizeof(void*) + 24 * 4);
    EXPECT_EQ(sizeof(ConverterInitParam), 3 * sizeof(void*) + 41 * 4 + 4 /* tail padding */);
    EXPECT_EQ(sizeof(VideoTime), 12u);
    EXPECT_EQ(sizeof(ConvertProgress), 24u);
}

}  // namespace
