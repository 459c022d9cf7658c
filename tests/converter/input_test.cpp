// What Init and the start make of each kind of input and of bad records.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "converter_support.h"
#include "platform/paths.h"

namespace {

using converter_test::Converter;
using converter_test::Param;
using converter_test::read_media;
using converter_test::sample;
using converter_test::seconds;

bool copy_file(const std::string& from, const std::string& to) {
    return kvp_test::write_file(to, kvp_test::read_file(from));
}

using Names = std::set<std::string>;
using kvp_test::names_in;

// An environment variable for the length of a scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

// A stand-in for the remux tool in a folder of its own, which becomes the
// program folder: the converter looks there first.
std::string fake_remux_tool(const kvp_test::TempDir& dir, const std::string& script) {
    const std::string folder = dir.file("tools");
    ::mkdir(folder.c_str(), 0755);
    const std::string tool = folder + "/ffmpeg";
    EXPECT_TRUE(kvp_test::write_file(tool, "#!/bin/sh\n" + script));
    EXPECT_EQ(::chmod(tool.c_str(), 0755), 0);
    return folder;
}

TEST(Input, ATsRecordingIsRemuxedToTempMp4BesideItAndExportedFromThere) {
    kvp_test::TempDir dir;
    const std::string ts = dir.file("rec.ts");
    ASSERT_TRUE(copy_file(sample("fisheye.ts"), ts));
    Param param(ts, converter_test::fisheye_calibration(dir), dir.file("out.mp4"));
    {
        Converter conv;
        ASSERT_EQ(conv->Init(&param.p), 0) << conv->GetLastErrorText();
        EXPECT_EQ(std::string(param.src), dir.file("temp.mp4"));
        ASSERT_TRUE(platform::path_exists(dir.file("temp.mp4")));
        ASSERT_EQ(conv->StartDewarpingAsync(seconds(0), conv->GetVideoDuration()), 0)
            << conv->GetLastErrorText();
        ASSERT_TRUE(conv.wait());
        const auto out = read_media(param.dst);
        EXPECT_EQ(out.decoded_frames, 60);
        EXPECT_TRUE(out.has_audio);
        EXPECT_EQ(out.audio_packets, read_media(dir.file("temp.mp4"), false).audio_packets);
    }
    // The copy goes with the converter that made it.
    EXPECT_EQ(names_in(dir.path()), (Names{"fisheye.inf", "out.mp4", "rec.ts"}));
}

TEST(Input, AnMp4IsUsedAsItIs) {
    kvp_test::TempDir dir;
    Param param(sample("fisheye.mp4"), converter_test::fisheye_calibration(dir),
                dir.file("out.mp4"));
    Converter conv;
    ASSERT_EQ(conv->Init(&param.p), 0);
    EXPECT_EQ(std::string(param.src), sample("fisheye.mp4"));
    EXPECT_FALSE(platform::path_exists(converter_test::sample("temp.mp4")));
}

TEST(Input, AFlatVideoIsAcceptedWithNothingOpenAndNoOutputFile) {
    kvp_test::TempDir dir;
    Param param(sample("flat.mp4"), converter_test::fisheye_calibration(dir), dir.file("out.mp4"));
    param.p.bitrate = 10240;
    Converter conv;
    ASSERT_EQ(conv->Init(&param.p), 0) << conv->GetLastErrorText();
    EXPECT_EQ(param.p.bitrate, 10485760);
    EXPECT_EQ(conv->GetVideoDuration().seconds, 2);
    EXPECT_FALSE(platform::path_exists(param.dst));
    EXPECT_EQ(conv->StartDewarpingAsync(seconds(0), seconds(1)), 21);
    EXPECT_STRNE(conv->GetLastErrorText(), "");
    EXPECT_EQ(conv->IsRendering(), 0);
}

TEST(Input, OpeningFailuresHaveTheirCodesAndTexts) {
    kvp_test::TempDir dir;
    const std::string calib = converter_test::fisheye_calibration(dir);
    {
        const std::string missing = dir.file("missing.mp4");
        Param param(missing, calib, dir.file("a.mp4"));
        Converter conv;
        EXPECT_EQ(conv->Init(&param.p), 15);
        char want[512];
        std::snprintf(want, sizeof want, "error: couldn't open input stream %s, code: %d;\n",
                      missing.c_str(), AVERROR(ENOENT));
        EXPECT_STREQ(conv->GetLastErrorText(), want);
        EXPECT_EQ(conv->GetVideoDuration().seconds, -1);
    }
    {
        Param param(sample("conv_audio_only.m4a"), calib, dir.file("b.mp4"));
        Converter conv;
        EXPECT_EQ(conv->Init(&param.p), 16);
        EXPECT_STREQ(conv->GetLastErrorText(), "error: can not find a video stream;\n");
    }
    {
        Param param(sample("conv_mp3.mp4"), calib, dir.file("c.mp4"));
        Converter conv;
        EXPECT_EQ(conv->Init(&param.p), 21);
        EXPECT_STREQ(conv->GetLastErrorText(), "error: audio codec id not the same;\n");
        EXPECT_EQ(conv->StartDewarpingAsync(seconds(0), seconds(1)), 21);
    }
    {
        const std::string garbage = dir.file("garbage.mp4");
        ASSERT_TRUE(kvp_test::write_file(garbage, std::string(4096, '\x5a')));
        Param param(garbage, calib, dir.file("d.mp4"));
        Converter conv;
        EXPECT_EQ(conv->Init(&param.p), 15);
    }
    {
        Param param(sample("fisheye.mp4"), calib, dir.file("e.unknown-extension"));
        Converter conv;
        EXPECT_EQ(conv->Init(&param.p), 21);
        EXPECT_EQ(std::string(conv->GetLastErrorText()),
                  "error: failed to allocate output context for video " +
                      dir.file("e.unknown-extension") + ";\n");
    }
    {
        Converter conv;
        EXPECT_EQ(conv->Init(nullptr), 21);
    }
    {
        // An output that cannot be written (a full device).
        const std::string full = dir.file("full.mp4");
        ASSERT_EQ(::symlink("/dev/full", full.c_str()), 0);
        Param param(sample("fisheye.mp4"), calib, full);
        Converter conv;
        EXPECT_EQ(conv->Init(&param.p), 21);
        EXPECT_STREQ(conv->GetLastErrorText(), "error: fail to write header for output file;\n");
        EXPECT_EQ(conv->StartDewarpingAsync(seconds(0), seconds(1)), 21);
    }
}

// The remux is part of Init: when it fails, Init fails, and neither an older
// copy beside the recording nor what the tool left is taken for it.
TEST(Remux, AToolThatFailsOrIsMissingFailsInitAndLeavesNoCopy) {
    kvp_test::TempDir dir;
    const std::string ts = dir.file("rec.ts");
    ASSERT_TRUE(copy_file(sample("fisheye.ts"), ts));
    const std::string calib = converter_test::fisheye_calibration(dir);
    struct Case {
        const char* script;  // null: no tool anywhere
        std::string text;
    };
    const Case cases[] = {
        {"for a; do out=$a; done\nprintf partial > \"$out\"\nexit 1\n",
         "error: ffmpeg failed to remux " + ts + ", exit code 1;\n"},
        {"exit 0\n", "error: ffmpeg made no copy of " + ts + ";\n"},
        {nullptr, "error: can not start ffmpeg to remux " + ts + ";\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        // What an older export left: the copy of another recording.
        ASSERT_TRUE(copy_file(sample("fisheye.mp4"), dir.file("temp.mp4")));
        ScopedEnv program_dir("KVP_PROGRAM_DIR", c.script != nullptr
                                                     ? fake_remux_tool(dir, c.script)
                                                     : dir.file("no-such-folder"));
        ScopedEnv path("PATH", c.script != nullptr ? std::getenv("PATH") : dir.file("nowhere"));
        // The converter was ready for another export; it is not any more.
        Param earlier(sample("fisheye.mp4"), calib, dir.file("earlier.mp4"));
        Param param(ts, calib, dir.file("out.mp4"));
        Converter conv;
        ASSERT_EQ(conv->Init(&earlier.p), 0) << conv->GetLastErrorText();
        EXPECT_EQ(conv->Init(&param.p), 21);
        EXPECT_EQ(conv->GetLastErrorText(), c.text);
        EXPECT_EQ(std::string(param.src), ts);
        EXPECT_EQ(param.p.bitrate, 2048);
        EXPECT_FALSE(platform::path_exists(dir.file("temp.mp4")));
        EXPECT_FALSE(platform::path_exists(dir.file("out.mp4")));
        EXPECT_EQ(conv->StartDewarpingAsync(seconds(0), seconds(1)), 21);
    }
}

// The paths reach the tool as they stand: quotes and blanks in a name are
// not syntax, so the tool reads the recording and writes the copy, nothing
// else, and the copy goes with the converter.
TEST(Remux, ANameWithQuotesAndBlanksIsRemuxedAsItStands) {
    kvp_test::TempDir dir;
    kvp_test::TempDir elsewhere;
    const std::string name = "c\" -y \"extra.ts";
    ASSERT_TRUE(copy_file(sample("fisheye.ts"), dir.file(name)));
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(::chdir(elsewhere.path().c_str()), 0);
    {
        Param param(dir.file(name), converter_test::fisheye_calibration(dir), dir.file("o.mp4"));
        Converter conv;
        EXPECT_EQ(conv->Init(&param.p), 0) << conv->GetLastErrorText();
        EXPECT_EQ(std::string(param.src), dir.file("temp.mp4"));
        EXPECT_EQ(conv->StartDewarpingAsync(seconds(0), conv->GetVideoDuration()), 0);
        EXPECT_TRUE(conv.wait());
        EXPECT_EQ(conv->GetConversionResult(), 0) << conv->GetLastErrorText();
    }
    ASSERT_EQ(::chdir(cwd), 0);
    EXPECT_EQ(read_media(dir.file("o.mp4")).decoded_frames, 60);
    EXPECT_EQ(names_in(dir.path()), (Names{name, "fisheye.inf", "o.mp4"}));
    EXPECT_EQ(names_in(elsewhere.path()), Names{});
}

// Creating the output would empty the recording before a frame is read,
// whatever name leads to it.
TEST(Input, AnOutputThatIsTheRecordingIsRefusedAndTheRecordingKept) {
    kvp_test::TempDir dir;
    const std::string rec = dir.file("rec.mp4");
    ASSERT_TRUE(copy_file(sample("fisheye.mp4"), rec));
    ASSERT_EQ(::link(rec.c_str(), dir.file("hard.mp4").c_str()), 0);
    ASSERT_EQ(::symlink("rec.mp4", dir.file("soft.mp4").c_str()), 0);
    const std::string calib = converter_test::fisheye_calibration(dir);
    for (const std::string& out :
         {rec, dir.path() + "/./rec.mp4", dir.file("hard.mp4"), dir.file("soft.mp4")}) {
        Param param(rec, calib, out);
        Converter conv;
        EXPECT_EQ(conv->Init(&param.p), 21) << out;
        EXPECT_EQ(conv->GetLastErrorText(), "error: output file " + out + " is the input file;\n");
    }
    EXPECT_EQ(kvp_test::read_file(rec), kvp_test::read_file(sample("fisheye.mp4")));
}

// Renderer failures surface from the start; the converter is idle again
// afterwards and needs a new Init.
class StartFailure : public ::testing::Test {
protected:
    void expect_start_failure(const std::string& text) {
        Converter conv;
        param_.p.bitrate = 2048;  // Init scales it in place
        ASSERT_EQ(conv->Init(&param_.p), 0) << conv->GetLastErrorText();
        EXPECT_EQ(conv->StartDewarpingAsync(seconds(0), seconds(1)), 21);
        EXPECT_EQ(std::string(conv->GetLastErrorText()), text);
        EXPECT_EQ(conv->IsRendering(), 0);
        EXPECT_EQ(conv->GetProgress().converting, 0);
        EXPECT_EQ(conv->StartDewarpingAsync(seconds(0), seconds(1)), 21);
    }
    kvp_test::TempDir dir_;
    Param param_{sample("fisheye.mp4"), converter_test::fisheye_calibration(dir_),
                 dir_.file("out.mp4")};
};

TEST_F(StartFailure, AMissingCalibration) {
    std::snprintf(param_.calib, sizeof param_.calib, "%s", dir_.file("none.inf").c_str());
    expect_start_failure("error: can not open calibration file " + dir_.file("none.inf") + ";\n");
}

TEST_F(StartFailure, AViewportPastTheRightEdge) {
    param_.set_view(0, 2, 0, 0, 1.5f, 100, 0, 221, 192);
    expect_start_failure(
        "ogl_rendererMgr::init error: invalid viewport size for viewport 0;width 321 "
        "_init_param->dst_width = 320 \n");
}

TEST_F(StartFailure, AViewportPastTheTopEdgeOrOutside) {
    param_.p.viewport_count = 2;
    param_.set_view(1, 2, 0, 0, 1.5f, 0, 100, 320, 93);
    expect_start_failure("ogl_rendererMgr::init error: invalid viewport size for viewport 1;\n");
    param_.set_view(1, 2, 0, 0, 1.5f, 0, -1, 320, 93);
    expect_start_failure("ogl_rendererMgr::init error: invalid viewport size for viewport 1;\n");
    param_.set_view(1, 2, 0, 0, 1.5f, -10, 0, 20, 93);
    expect_start_failure(
        "ogl_rendererMgr::init error: invalid viewport size for viewport 1;width 10 "
        "_init_param->dst_width = 320 \n");
}

TEST_F(StartFailure, TheCylinderAndOtherModesAboveFive) {
    param_.p.prj_mode[0] = 6;
    expect_start_failure("error: invalid draw mode 6;\n");
}

TEST_F(StartFailure, AViewportCountOutsideOneToFour) {
    param_.p.viewport_count = 5;
    expect_start_failure("ogl_rendererMgr::init error: invalid viewport count 5;\n");
}

}  // namespace
