// kvptool play: a recording played in a window of the tool's own under the
// test run's X server, sound through SDL's dummy driver. Skips without a
// display.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "temp_dir.h"

namespace {

// The positions printed, in seconds, in their order.
std::vector<double> printed_positions(const std::string& out) {
    std::vector<double> positions;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        double s = 0;
        if (std::sscanf(line.c_str(), "position %lf s", &s) == 1) positions.push_back(s);
    }
    return positions;
}

class KvptoolPlay : public ::testing::Test {
protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == '\0') GTEST_SKIP() << "no X display";
    }
    // Runs kvptool play with its calibration work in a folder of its own.
    // In a sanitizer build the tool's exit is not leak-checked: its GL
    // driver is unloaded with SDL's X connection before the process ends,
    // and LeakSanitizer reports the driver's state in the unmapped module
    // (the player's leaks are checked in-process by the playback tests).
    kvp_test::CommandResult play(const std::string& args) {
        return kvp_test::run_command(
            "ASAN_OPTIONS=detect_leaks=0 SDL_AUDIODRIVER=dummy KVP_PROGRAM_DIR='" + dir_.path() +
            "' TMPDIR='" + dir_.path() +
            "' " KVP_BIN_DIR "/kvptool play --width 320 --height 180 " + args + " 2>&1");
    }
    kvp_test::TempDir dir_;
};

TEST_F(KvptoolPlay, PlaysARecordingToItsEndPrintingThePosition) {
    // Without sound the millisecond clock paces the pictures and every one
    // is shown, however slowly the machine draws: the position of every
    // fifth, up to the last.
    const auto r = play(KVP_SAMPLES_DIR "/play_video.mp4 --layout single --direction down");
    // While the picture after a fifth is not yet due, each turn of the
    // display repeats the message with that picture's time (0.200 after
    // 0.167 on a busy machine): the fifths come in order, with at most
    // such a repeat between two of them.
    EXPECT_EQ(r.exit_code, 0) << r.out;
    const std::vector<double> positions = printed_positions(r.out);
    std::size_t fifth = 0;
    for (const double s : positions) {
        if (fifth < 12 && std::abs(s - fifth / 6.0) < 0.0015) {
            ++fifth;
        } else {
            ASSERT_GT(fifth, 0u) << r.out;
            EXPECT_NEAR(s, (fifth - 1) / 6.0 + 1 / 30.0, 0.0015) << r.out;
        }
    }
    EXPECT_EQ(fifth, 12u) << "0.000 s to 1.833 s by sixths of a second\n" << r.out;
}

TEST_F(KvptoolPlay, EveryLayoutAndAFlatVideoPlay) {
    for (const char* args :
         {"fisheye.mp4 --layout single --direction up",
          "fisheye.mp4 --layout wide --direction side", "fisheye.mp4 --layout split2",
          "fisheye.mp4 --layout strip", "flat.mp4 --layout split4"}) {
        SCOPED_TRACE(args);
        const auto r = play(std::string(KVP_SAMPLES_DIR "/") + args + " --seconds 0.4");
        EXPECT_EQ(r.exit_code, 0) << r.out;
        EXPECT_NE(r.out.find("position 0.000 s\n"), std::string::npos) << r.out;
    }
}

TEST_F(KvptoolPlay, ASquareRecordingWhoseLensIsNotFoundPlaysFlat) {
    // A flat grey picture has no lens circle: the automatic calibration
    // fails, which is said, and the picture is shown as it is.
    const auto r = play(KVP_SAMPLES_DIR "/play_grey.mp4 --layout split4 --seconds 0.3");
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("play_grey.mp4: no lens calibration: error: automatic calibration of "),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("play_grey.mp4: showing the picture flat\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("position 0.000 s\n"), std::string::npos) << r.out;
}

TEST_F(KvptoolPlay, ReportsWhatCannotBePlayed) {
    auto r = play("/nonexistent/clip.mp4");
    EXPECT_EQ(r.exit_code, 15);
    EXPECT_NE(r.out.find("kvptool play: /nonexistent/clip.mp4: cannot open: error: couldn't open "
                         "input stream"),
              std::string::npos)
        << r.out;
    r = play(KVP_SAMPLES_DIR "/fisheye.mp4 --layout triple");
    EXPECT_NE(r.exit_code, 0);
}

}  // namespace
