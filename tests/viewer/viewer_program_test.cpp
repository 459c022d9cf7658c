// The KVP program from the outside: it starts, draws its window, closes
// like any window on a window manager's request, and leaves its settings
// files as they should be; the update check runs when it is due, out of
// the window's way.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <fstream>

#include "kvp_process.h"
#include "shell/settings_files.h"
#include "viewer_support.h"

namespace {

using viewer_test::KvpProcess;

std::string config_bytes(int mode, int index) {
    return shell::encode_play_config({mode, index});
}

std::string stamp_days_ago(int days, int hours) {
    const shell::FileTime now =
        shell::file_time_from_unix_ms(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::system_clock::now().time_since_epoch())
                                          .count());
    const shell::FileTime ago = now - (days * 24LL + hours) * 36000000000LL;
    return shell::encode_stamp(shell::system_time_of(ago));
}

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
        ASSERT_TRUE(viewer_test::make_program_dir(program_));
        // A fresh stamp unless a test says otherwise: no update check.
        kvp_test::write_file(settings_.file("tstamp.szy"), stamp_days_ago(0, 0));
    }
    std::map<std::string, std::string> env() const {
        return {{"KVP_PROGRAM_DIR", program_.path()}, {"KVP_SETTINGS_DIR", settings_.path()}};
    }
    // Starts KVP, waits for its window, closes it like a window manager
    // and returns its exit status.
    std::optional<int> start_and_close(KvpProcess& kvp) {
        EXPECT_TRUE(kvp.started());
        EXPECT_TRUE(kvp.wait_until_drawn()) << kvp.stderr_text();
        EXPECT_TRUE(kvp.close_like_a_window_manager());
        return kvp.wait_exit();
    }
    kvp_test::TempDir program_, settings_;
};

TEST_F(ProgramTest, CloseWritesBothSettingsFilesAlsoWhenNothingChanged) {
    {
        KvpProcess kvp(env());
        EXPECT_EQ(start_and_close(kvp), 0) << kvp.stderr_text();
    }
    EXPECT_EQ(kvp_test::read_file(settings_.file("KVP.cfg")), config_bytes(0, -1));
    EXPECT_EQ(kvp_test::read_file(settings_.file("Playlist.lmr")), "");

    kvp_test::write_file(settings_.file("KVP.cfg"), config_bytes(1, 1));
    kvp_test::write_file(settings_.file("Playlist.lmr"), "/rec/a.mp4\n/rec/b.ts\n");
    ::unlink(settings_.file("Playlist.lmr.bak").c_str());
    struct stat before {};
    ::stat(settings_.file("KVP.cfg").c_str(), &before);
    {
        KvpProcess kvp(env());
        EXPECT_EQ(start_and_close(kvp), 0) << kvp.stderr_text();
    }
    EXPECT_EQ(kvp_test::read_file(settings_.file("KVP.cfg")), config_bytes(1, 1));
    EXPECT_EQ(kvp_test::read_file(settings_.file("Playlist.lmr")), "/rec/a.mp4\n/rec/b.ts\n");
    struct stat after {};
    ::stat(settings_.file("KVP.cfg").c_str(), &after);
    EXPECT_NE(before.st_ino, after.st_ino) << "KVP.cfg was not written anew";
}

TEST_F(ProgramTest, ShortOrInvalidConfigIsCompletedAndRepaired) {
    kvp_test::write_file(settings_.file("KVP.cfg"), std::string("\2\0\0\0", 4));
    {
        KvpProcess kvp(env());
        EXPECT_EQ(start_and_close(kvp), 0) << kvp.stderr_text();
    }
    EXPECT_EQ(kvp_test::read_file(settings_.file("KVP.cfg")), config_bytes(2, -1));

    kvp_test::write_file(settings_.file("KVP.cfg"), config_bytes(7, 5));
    kvp_test::write_file(settings_.file("Playlist.lmr"), "/rec/a.mp4\n/rec/b.ts\n");
    {
        KvpProcess kvp(env());
        EXPECT_EQ(start_and_close(kvp), 0) << kvp.stderr_text();
    }
    EXPECT_EQ(kvp_test::read_file(settings_.file("KVP.cfg")), config_bytes(0, -1));
}

TEST_F(ProgramTest, ReadOnlySettingsFolderLosesNothing) {
    kvp_test::write_file(settings_.file("KVP.cfg"), config_bytes(2, 0));
    kvp_test::write_file(settings_.file("Playlist.lmr"), "/rec/kept.mp4\n");
    const bool root = ::geteuid() == 0;
    const std::string lock = root ? "chattr +i '" + settings_.path() + "' 2>/dev/null"
                                  : "chmod 0555 '" + settings_.path() + "'";
    if (kvp_test::run_command(lock).exit_code != 0) GTEST_SKIP() << "no read-only folder here";
    std::string err;
    {
        KvpProcess kvp(env());
        EXPECT_EQ(start_and_close(kvp), 0) << kvp.stderr_text();
        err = kvp.stderr_text();
    }
    kvp_test::run_command(root ? "chattr -i '" + settings_.path() + "'"
                               : "chmod 0755 '" + settings_.path() + "'");
    EXPECT_EQ(kvp_test::read_file(settings_.file("KVP.cfg")), config_bytes(2, 0));
    EXPECT_EQ(kvp_test::read_file(settings_.file("Playlist.lmr")), "/rec/kept.mp4\n");
    EXPECT_NE(err.find("the settings were not saved"), std::string::npos) << err;
}

TEST_F(ProgramTest, ASecondViewerOnTheSameFolderSaysItWillNotSave) {
    KvpProcess first(env());
    ASSERT_TRUE(first.wait_until_drawn()) << first.stderr_text();
    kvp_test::write_file(settings_.file("Playlist.lmr"), "/rec/other.mp4\n");
    {
        KvpProcess second(env());
        EXPECT_EQ(start_and_close(second), 0) << second.stderr_text();
        EXPECT_NE(second.stderr_text().find("another KVP uses"), std::string::npos);
    }
    EXPECT_EQ(kvp_test::read_file(settings_.file("Playlist.lmr")), "/rec/other.mp4\n");
    EXPECT_TRUE(first.close_like_a_window_manager());
    EXPECT_EQ(first.wait_exit(), 0);
    // The first one read the playlist before the change and writes its own.
    EXPECT_EQ(kvp_test::read_file(settings_.file("Playlist.lmr")), "");
}

TEST_F(ProgramTest, MissingUpdateScriptStartsWithUpdatesOff) {
    ::unlink(program_.file("checkver.ulf").c_str());
    ::unlink(settings_.file("tstamp.szy").c_str());
    KvpProcess kvp(env());
    EXPECT_EQ(start_and_close(kvp), 0);
    const std::string err = kvp.stderr_text();
    EXPECT_NE(err.find("the update file " + program_.file("checkver.ulf") + " is missing"),
              std::string::npos)
        << err;
    EXPECT_EQ(err.find("KVP: update check"), std::string::npos) << err;
    EXPECT_EQ(::access(settings_.file("tstamp.szy").c_str(), F_OK), -1);
}

TEST_F(ProgramTest, MissingUpdaterIsWrittenAgainExecutable) {
    ASSERT_EQ(::access(program_.file("kqswup_ex").c_str(), F_OK), -1);
    KvpProcess kvp(env());
    EXPECT_EQ(start_and_close(kvp), 0) << kvp.stderr_text();
    struct stat st {};
    ASSERT_EQ(::stat(program_.file("kqswup_ex").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
    EXPECT_EQ(kvp_test::read_file(program_.file("kqswup_ex")),
              kvp_test::read_file(KVP_SOURCE_DIR "/viewer/update/data/kqswup_ex"));
}

// A check script and an updater that leave marks instead of looking for
// versions.
class UpdateDueTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        kvp_test::write_file(program_.file("checkver.ulf"),
                             "function CheckLastVersion()\n"
                             "  local f = io.open('" +
                                 program_.file("checked") +
                                 "', 'w')\n"
                                 "  f:write('yes') f:close()\n"
                                 "  return '9.9 https://example.invalid'\n"
                                 "end\n");
        kvp_test::write_file(program_.file("kqswup_ex"),
                             "#!/bin/sh\necho ran > '" + program_.file("updater-ran") + "'\n");
        ::chmod(program_.file("kqswup_ex").c_str(), 0755);
    }
    bool marked(const char* name, int timeout_ms) {
        const auto end = viewer_test::Clock::now() + std::chrono::milliseconds(timeout_ms);
        while (viewer_test::Clock::now() < end) {
            if (::access(program_.file(name).c_str(), F_OK) == 0) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        return false;
    }
};

TEST_F(UpdateDueTest, SevenDaysAndTwentyThreeHoursIsNotDue) {
    const std::string stamp = stamp_days_ago(7, 23);
    kvp_test::write_file(settings_.file("tstamp.szy"), stamp);
    KvpProcess kvp(env());
    ASSERT_TRUE(kvp.wait_until_drawn()) << kvp.stderr_text();
    EXPECT_FALSE(marked("checked", 1500));
    EXPECT_TRUE(kvp.close_like_a_window_manager());
    EXPECT_EQ(kvp.wait_exit(), 0);
    EXPECT_FALSE(marked("updater-ran", 0));
    EXPECT_EQ(kvp_test::read_file(settings_.file("tstamp.szy")), stamp);
}

TEST_F(UpdateDueTest, EightDaysRunsTheCheckAndTheUpdater) {
    const std::string stamp = stamp_days_ago(8, 0);
    kvp_test::write_file(settings_.file("tstamp.szy"), stamp);
    KvpProcess kvp(env());
    ASSERT_TRUE(kvp.wait_until_drawn()) << kvp.stderr_text();
    EXPECT_TRUE(marked("checked", 10000)) << kvp.stderr_text();
    EXPECT_TRUE(marked("updater-ran", 10000)) << kvp.stderr_text();
    const std::string rewritten = kvp_test::read_file(settings_.file("tstamp.szy"));
    EXPECT_EQ(rewritten.size(), 16u);
    EXPECT_NE(rewritten, stamp);
    EXPECT_EQ(shell::days_since_stamp(rewritten,
                                      shell::file_time_from_unix_ms(
                                          std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::system_clock::now().time_since_epoch())
                                              .count())),
              0);
    EXPECT_TRUE(kvp.close_like_a_window_manager());
    EXPECT_EQ(kvp.wait_exit(), 0);
}

// Processes whose command line mentions `text`.
int processes_mentioning(const std::string& text) {
    int count = 0;
    DIR* proc = ::opendir("/proc");
    while (dirent* e = proc != nullptr ? ::readdir(proc) : nullptr) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
        std::string cmdline = kvp_test::read_file(std::string("/proc/") + e->d_name + "/cmdline");
        for (char& c : cmdline) c = c == '\0' ? ' ' : c;
        if (cmdline.find("kvp-update-check") != std::string::npos &&
            cmdline.find(text) != std::string::npos) {
            ++count;
        }
    }
    if (proc != nullptr) ::closedir(proc);
    return count;
}

TEST_F(ProgramTest, ACheckThatNeverEndsDoesNotHoldUpTheWindow) {
    kvp_test::write_file(program_.file("checkver.ulf"),
                         "function CheckLastVersion() while true do end end\n");
    ::unlink(settings_.file("tstamp.szy").c_str());
    KvpProcess kvp(env());
    ASSERT_TRUE(kvp.wait_until_drawn()) << kvp.stderr_text();
    EXPECT_TRUE(kvp.wait_for_stderr("KVP: update check (", 15000));
    // The line comes just before the helper starts.
    for (int i = 0; i < 250 && processes_mentioning(program_.path()) == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(processes_mentioning(program_.path()), 1);
    // The window still answers: it closes at once, and takes the check with it.
    const auto asked = viewer_test::Clock::now();
    EXPECT_TRUE(kvp.close_like_a_window_manager());
    EXPECT_EQ(kvp.wait_exit(15000), 0) << kvp.stderr_text();
    EXPECT_LT(viewer_test::Clock::now() - asked, std::chrono::seconds(15));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(processes_mentioning(program_.path()), 0);
}

TEST_F(ProgramTest, StartsAndClosesWithoutTheLanguagePlugin) {
    ::unlink(program_.file("ovlplug.so").c_str());
    KvpProcess kvp(env());
    EXPECT_EQ(start_and_close(kvp), 0) << kvp.stderr_text();
    EXPECT_NE(kvp.stderr_text().find("KVP: no texts"), std::string::npos);
}

TEST_F(ProgramTest, SigtermTakesTheClosePath) {
    KvpProcess kvp(env());
    ASSERT_TRUE(kvp.wait_until_drawn()) << kvp.stderr_text();
    ::kill(kvp.pid(), SIGTERM);
    EXPECT_EQ(kvp.wait_exit(), 0);
    EXPECT_EQ(kvp_test::read_file(settings_.file("KVP.cfg")), config_bytes(0, -1));
}

// The window on a 1366x768 screen, as a person sees it: the size rule's
// 1224x658, centred; the screenshot is kept for a look.
TEST_F(ProgramTest, ScreenshotOnA1366WideScreen) {
    viewer_test::PrivateXServer server(1366, 768);
    if (server.display().empty()) GTEST_SKIP() << "cannot start Xvfb";
    auto e = env();
    e["DISPLAY"] = server.display();
    e["XAUTHORITY"] = "";
    KvpProcess kvp(e);
    ASSERT_TRUE(kvp.wait_until_drawn()) << "on " << server.display() << ": " << kvp.stderr_text();
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    const auto g = kvp.window_geometry();
    ASSERT_TRUE(g.has_value()) << kvp.describe_windows();
    EXPECT_EQ(g->width, 1224);
    EXPECT_EQ(g->height, 658);
    EXPECT_EQ(g->x, (1366 - 1224) / 2);
    EXPECT_EQ(g->y, (768 - 658) / 2);
    const std::string png = KVP_TEST_OUTPUT_DIR "/kvp-1366x768.png";
    EXPECT_TRUE(kvp.screenshot(png));
    GdkPixbuf* shot = gdk_pixbuf_new_from_file(png.c_str(), nullptr);
    ASSERT_NE(shot, nullptr);
    // The video area (left, under the caption) is black.
    const guchar* p = gdk_pixbuf_get_pixels(shot) + (g->y + 200) * gdk_pixbuf_get_rowstride(shot) +
                      (g->x + 300) * 3;
    EXPECT_EQ(p[0] + p[1] + p[2], 0);
    g_object_unref(shot);
    EXPECT_TRUE(kvp.close_like_a_window_manager());
    EXPECT_EQ(kvp.wait_exit(), 0);
}

}  // namespace

TEST_F(ProgramTest, FilesAndFoldersOnTheCommandLineArePlayedAndKept) {
    // A folder with a recording in a subfolder and a file that is no
    // recording, and one file named directly.
    kvp_test::TempDir media;
    ASSERT_EQ(::mkdir(media.file("day").c_str(), 0755), 0);
    ASSERT_EQ(
        kvp_test::run_command("cp '" KVP_SAMPLES_DIR "/flat.mp4' '" + media.file("day") + "/b.MP4'")
            .exit_code,
        0);
    kvp_test::write_file(media.file("notes.txt"), "x");
    auto e = env();
    e["SDL_AUDIODRIVER"] = "dummy";
    {
        KvpProcess kvp(e, std::string(KVP_BIN_DIR) + "/KVP",
                       {KVP_SAMPLES_DIR "/fisheye.mp4", media.path()});
        ASSERT_TRUE(kvp.started());
        EXPECT_TRUE(kvp.wait_for_stderr("KVP: file opened in")) << kvp.stderr_text();
        EXPECT_TRUE(kvp.close_like_a_window_manager());
        EXPECT_EQ(kvp.wait_exit(), 0) << kvp.stderr_text();
    }
    EXPECT_EQ(kvp_test::read_file(settings_.file("Playlist.lmr")),
              KVP_SAMPLES_DIR "/fisheye.mp4\n" + media.file("day") + "/b.MP4\n");
    // The first played: it is the last played entry.
    EXPECT_EQ(kvp_test::read_file(settings_.file("KVP.cfg")), config_bytes(0, 0));
}
