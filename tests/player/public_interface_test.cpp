// The library as the viewer uses it: loaded by file name, the two factories
// looked up by name, everything else through the interface. This program
// includes the public headers only and does not link the library.
#include <dlfcn.h>

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "SpherePlayer.h"
#include "SpherePlayerMessages.h"
#include "temp_dir.h"

namespace {

class LoadedLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        lib_ = ::dlopen(KVP_BIN_DIR "/libSpherePlayer.so", RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(lib_, nullptr) << ::dlerror();
        create_ = reinterpret_cast<CreateSpherePlayerFn>(::dlsym(lib_, "CreateSpherePlayer"));
        destroy_ = reinterpret_cast<DestroySpherePlayerFn>(::dlsym(lib_, "DestroySpherePlayer"));
        ASSERT_NE(create_, nullptr);
        ASSERT_NE(destroy_, nullptr);
    }
    void TearDown() override {
        if (lib_ != nullptr) {
            EXPECT_EQ(::dlclose(lib_), 0);
        }
    }

    void* lib_ = nullptr;
    CreateSpherePlayerFn create_ = nullptr;
    DestroySpherePlayerFn destroy_ = nullptr;
};

TEST_F(LoadedLibrary, CreatesAndDestroysPlayersTwice) {
    for (int round = 0; round < 2; ++round) {
        DOR_SpherePlayer* a = create_();
        DOR_SpherePlayer* b = create_();
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        EXPECT_NE(a, b);
        EXPECT_EQ(a->IsPlaying(), 0);
        EXPECT_EQ(destroy_(a), 0);
        EXPECT_EQ(destroy_(b), 0);
    }
    EXPECT_EQ(destroy_(nullptr), 0);
}

TEST_F(LoadedLibrary, DrivesInitThroughTheInterface) {
    DOR_SpherePlayer* player = create_();
    ASSERT_NE(player, nullptr);
    init_param param{KVP_SAMPLES_DIR "/fisheye.mp4", "", "", 0, 0, 0, 0, 1};
    ASSERT_EQ(player->Init(&param), DOR_PLAYER_OK) << player->GetLastErrorText();

    DOR_VideoTime length{-1, -1, -1};
    EXPECT_EQ(player->GetVideoDuration(&length), 0);
    EXPECT_EQ(length.minutes, 0);
    EXPECT_EQ(length.seconds, 2);
    EXPECT_EQ(length.milliseconds, 0);
    EXPECT_EQ(player->GetVideoDurationms(), 2000);
    int width = 0, height = 0;
    EXPECT_EQ(player->GetVideoSize(&width, &height), 0);
    EXPECT_EQ(width, 480);
    EXPECT_EQ(height, 480);

    EXPECT_EQ(player->Seek(0, 2, 0), DOR_PLAYER_FAILED);
    EXPECT_STREQ(player->GetLastErrorText(),
                 "error: invalid seeking time: out of video time duration;\n");
    EXPECT_EQ(player->SetViewport(0, 0, 640, 480, 0), 0);
    EXPECT_EQ(player->SetDrawMode(2, 0), 0);
    EXPECT_EQ(player->SetViewAngles(-31.0f, -15.0f, 0.0f, 0), 0);
    float pitch = 0, yaw = 0, roll = 0;
    EXPECT_EQ(player->GetViewAngles(0, &pitch, &yaw, &roll), 0);
    EXPECT_EQ(pitch, -31.0f);
    EXPECT_EQ(yaw, -15.0f);
    EXPECT_EQ(player->SetDrawMode(2, 4), DOR_PLAYER_FAILED);

    init_param sound_only{KVP_SAMPLES_DIR "/audio_only.m4a", "", "", 0, 0, 0, 0, 1};
    EXPECT_EQ(player->Init(&sound_only), DOR_PLAYER_NO_VIDEO);
    EXPECT_STREQ(player->GetLastErrorText(), "error: can not find a video stream.\n");
    init_param missing{"/nonexistent/clip.mp4", "", "", 0, 0, 0, 0, 1};
    EXPECT_EQ(player->Init(&missing), DOR_PLAYER_OPEN_FAILED);
    EXPECT_EQ(destroy_(player), 0);
}

TEST(PlayerExports, OnlyTheTwoFactoriesAreExported) {
    const auto r = kvp_test::run_command("nm -D --defined-only " KVP_BIN_DIR
                                         "/libSpherePlayer.so | awk '{print $3}' | sort");
    ASSERT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "CreateSpherePlayer\nDestroySpherePlayer\n");
}

TEST(PlayerResults, HaveTheirFixedNumbersAndNames) {
    EXPECT_EQ(DOR_PLAYER_OPEN_FAILED, 15);
    EXPECT_EQ(DOR_PLAYER_NO_VIDEO, 16);
    EXPECT_EQ(DOR_PLAYER_SDL_FAILED, 19);
    EXPECT_EQ(DOR_PLAYER_DISPLAY_FAILED, 20);
    EXPECT_EQ(DOR_PLAYER_FAILED, 21);
    EXPECT_STREQ(DOR_PlayerResultName(16), "no video stream");
    EXPECT_STREQ(DOR_PlayerResultName(3), "unknown result");
    // Eight fields of native width, in order.
    EXPECT_EQ(sizeof(init_param),
              3 * sizeof(void*) + 5 * sizeof(int) + (sizeof(void*) == 8 ? 4 : 0));
    EXPECT_EQ(offsetof(init_param, panorama_input), 3 * sizeof(void*));
    EXPECT_EQ(offsetof(init_param, orientation), 3 * sizeof(void*) + 4 * sizeof(int));
}

TEST(PlayerMessages, HaveTheNumbersHostsDispatchOn) {
    // A host built apart from the library knows the messages by number.
    EXPECT_EQ(WM_PLAYER_DROPFILE, 1125);
    EXPECT_EQ(WM_PLAYER_DBLCLICK, 1224);
    EXPECT_EQ(WM_PLAYER_POSITION, 1225);
    EXPECT_EQ(WM_PLAYER_MOUSE, 1226);
}

}  // namespace
