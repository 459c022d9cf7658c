// kvptool export: the record it fills the way the conversion dialog does,
// the export itself, flat recordings delivered as copies, the paths it
// refuses and how it ends when interrupted.
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <set>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "converter_support.h"
#include "platform/paths.h"

namespace {

using converter_test::read_media;
using converter_test::sample;
using nlohmann::json;

const std::string kTool = KVP_BIN_DIR "/kvptool";

std::string quoted(const std::string& s) {
    return "'" + s + "'";
}

kvp_test::CommandResult kvptool(const std::string& args) {
    return kvp_test::run_command("env -u DISPLAY " + kTool + " " + args + " 2>&1");
}

using Names = std::set<std::string>;

json print_param(const std::string& in, const std::string& calib, const std::string& options) {
    const auto r = kvptool("export " + quoted(in) + " /tmp/unused.mp4 --calib " + quoted(calib) +
                           " --print-param " + options);
    EXPECT_EQ(r.exit_code, 0) << r.out;
    return json::parse(r.out, nullptr, false);
}

TEST(KvptoolExport, FourViewsLowerEveryPitchAndFillTheQuarters) {
    kvp_test::TempDir dir;
    const std::string calib = converter_test::fisheye_calibration(dir);
    const json j = print_param(sample("fisheye.mp4"), calib, "");  // split4, M, down
    ASSERT_TRUE(j.is_object());
    EXPECT_EQ(j["dst_width"], 800);
    EXPECT_EQ(j["dst_height"], 480);
    EXPECT_EQ(j["bitrate"], 10240);
    EXPECT_EQ(j["orientation"], 1);
    ASSERT_EQ(j["viewport_count"], 4);
    // The automatic pitch of a 480-row calibration: 242 / (240 / 180) / 2 *
    // 1.5 / 1.5 = 90.75 -> 90, + 5; looking down it replaces the pitch, and
    // four views lower it by 18 more.
    const int xs[] = {0, 400, 0, 400}, ys[] = {0, 0, 240, 240};
    const float yaws[] = {-15, 176, -91, 99};
    for (int k = 0; k < 4; ++k) {
        const json& v = j["viewports"][k];
        EXPECT_EQ(v["prj_mode"], 2);
        EXPECT_FLOAT_EQ(v["pitch"].get<float>(), -113.0f);
        EXPECT_FLOAT_EQ(v["yaw"].get<float>(), yaws[k]);
        EXPECT_FLOAT_EQ(v["zoom"].get<float>(), 1.5f);
        EXPECT_EQ(v["x"], xs[k]);
        EXPECT_EQ(v["y"], ys[k]);
        EXPECT_EQ(v["width"], 400);
        EXPECT_EQ(v["height"], 240);
    }
}

TEST(KvptoolExport, OneViewKeepsItsPitchAndTwoViewsSitInTheMiddle) {
    kvp_test::TempDir dir;
    const std::string calib = converter_test::fisheye_calibration(dir);
    const json wide = print_param(sample("fisheye.mp4"), calib, "--layout wide --direction up");
    ASSERT_EQ(wide["viewport_count"], 1);
    EXPECT_EQ(wide["viewports"][0]["prj_mode"], 5);
    EXPECT_FLOAT_EQ(wide["viewports"][0]["pitch"].get<float>(), -130.0f);
    EXPECT_FLOAT_EQ(wide["viewports"][0]["yaw"].get<float>(), 90.0f);
    EXPECT_EQ(wide["viewports"][0]["width"], 800);

    const json two =
        print_param(sample("fisheye.mp4"), calib, "--layout split2 --direction side --quality H");
    ASSERT_EQ(two["viewport_count"], 2);
    EXPECT_EQ(two["dst_width"], 1280);
    EXPECT_EQ(two["dst_height"], 768);
    // Sideways the automatic pitch is not used; the 18 degrees still are.
    EXPECT_FLOAT_EQ(two["viewports"][0]["pitch"].get<float>(), -168.0f);
    EXPECT_FLOAT_EQ(two["viewports"][1]["pitch"].get<float>(), -108.0f);
    EXPECT_EQ(two["viewports"][0]["x"], 320);
    EXPECT_EQ(two["viewports"][1]["y"], 384);
    EXPECT_EQ(two["viewports"][1]["width"], 640);
}

TEST(KvptoolExport, ExportsTheRecordingWithProgressLines) {
    kvp_test::TempDir dir;
    const std::string out = dir.file("out.mp4");
    const auto r = kvptool("export " + quoted(sample("fisheye.mp4")) + " " + quoted(out) +
                           " --quality L --layout wide --calib " +
                           quoted(converter_test::fisheye_calibration(dir)));
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("100.00%"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("exported: " + out), std::string::npos) << r.out;
    const auto m = read_media(out);
    EXPECT_EQ(m.video.width, 640);
    EXPECT_EQ(m.video.height, 384);
    EXPECT_EQ(m.decoded_frames, 60);
    EXPECT_TRUE(m.has_audio);
}

TEST(KvptoolExport, TheCalibrationBesideTheRecordingOrOneMadeFromItIsUsed) {
    kvp_test::TempDir dir;
    const std::string rec = dir.file("rec.mp4");
    ASSERT_TRUE(kvp_test::write_file(rec, kvp_test::read_file(sample("fisheye.mp4"))));
    // Nothing beside it: a calibration is made from the first picture (the
    // work picture goes to the program folder, here the temporary one).
    auto r =
        kvp_test::run_command("env -u DISPLAY KVP_PROGRAM_DIR=" + quoted(dir.path()) + " " + kTool +
                              " export " + quoted(rec) + " " + quoted(dir.file("a.mp4")) +
                              " --quality L --layout wide --from 00:01 2>&1");
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(read_media(dir.file("a.mp4"), false).video_pts.size(), 30u);
    // A *.inf beside it wins.
    converter_test::write_calibration(dir, 480, 480, 240, 240, 232, "b_camera.inf");
    converter_test::write_calibration(dir, 480, 480, 240, 240, 232, "a_camera.inf");
    r = kvptool("export " + quoted(rec) + " x.mp4 --print-param");
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(json::parse(r.out)["calib_filename"], dir.file("a_camera.inf"));
}

TEST(KvptoolExport, AFlatRecordingIsDeliveredAsACopy) {
    kvp_test::TempDir dir;
    auto r = kvptool("export " + quoted(sample("flat.mp4")) + " " + quoted(dir.file("a.mp4")));
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const auto mp4 = read_media(dir.file("a.mp4"));
    EXPECT_EQ(mp4.video.width, 640);
    EXPECT_EQ(mp4.decoded_frames, read_media(sample("flat.mp4")).decoded_frames);
    EXPECT_EQ(mp4.audio_packets, read_media(sample("flat.mp4"), false).audio_packets);

    // As TS: the remuxed copy is the delivery, and it does not stay behind.
    const std::string ts = dir.file("flat.ts");
    ASSERT_EQ(kvp_test::run_command("ffmpeg -v error -i " + quoted(sample("flat.mp4")) +
                                    " -c copy -f mpegts " + quoted(ts))
                  .exit_code,
              0);
    r = kvptool("export " + quoted(ts) + " " + quoted(dir.file("b.mp4")));
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(read_media(dir.file("b.mp4")).video.width, 640);
    EXPECT_FALSE(platform::path_exists(dir.file("temp.mp4")));
}

TEST(KvptoolExport, FailuresExitWithTheConvertersCodeAndText) {
    kvp_test::TempDir dir;
    const std::string calib = quoted(converter_test::fisheye_calibration(dir));
    auto r =
        kvptool("export /nonexistent/in.mp4 " + quoted(dir.file("o.mp4")) + " --calib " + calib);
    EXPECT_EQ(r.exit_code, 15) << r.out;
    EXPECT_NE(r.out.find("couldn't open input stream /nonexistent/in.mp4"), std::string::npos)
        << r.out;
    r = kvptool("export " + quoted(sample("fisheye.mp4")) + " " + quoted(dir.file("o.mp4")) +
                " --calib " + calib + " --from 00:05");
    EXPECT_EQ(r.exit_code, 21) << r.out;
    EXPECT_NE(r.out.find("invalid seeking time"), std::string::npos) << r.out;
    r = kvptool("export " + quoted(sample("fisheye.mp4")) + " " + quoted(dir.file("o.mp4")) +
                " --calib " + calib + " --to 1:xx");
    EXPECT_EQ(r.exit_code, 1) << r.out;
    r = kvptool("export " + quoted(sample("fisheye.mp4")) + " o.mp4 --quality X");
    EXPECT_NE(r.exit_code, 0);
}

// One damaged packet costs its picture; the export still runs to the end
// and says so, with a warning and exit code 0.
TEST(KvptoolExport, ADamagedPacketIsAWarningAndTheExportFinishes) {
    kvp_test::TempDir dir;
    const std::string rec = dir.file("rec.mp4");
    ASSERT_TRUE(converter_test::write_damaged_copy(sample("fisheye.mp4"), rec, 30, 31));
    const std::string out = dir.file("out.mp4");
    const auto r = kvptool("export " + quoted(rec) + " " + quoted(out) +
                           " --quality L --layout wide --calib " +
                           quoted(converter_test::fisheye_calibration(dir)));
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("warning: some input was skipped: error: decode video error;"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("exported: " + out), std::string::npos) << r.out;
    EXPECT_GE(read_media(out).decoded_frames, 50);
}

// An output that is the recording (under any name) would empty it before it
// is read; one named like the remuxed copy of a TS recording would be
// removed with that copy. Both are refused before anything is written.
TEST(KvptoolExport, AnOutputThatIsTheRecordingOrItsRemuxedCopyIsRefused) {
    kvp_test::TempDir dir;
    const std::string rec = dir.file("rec.mp4");
    ASSERT_TRUE(kvp_test::write_file(rec, kvp_test::read_file(sample("fisheye.mp4"))));
    ASSERT_EQ(::link(rec.c_str(), dir.file("hard.mp4").c_str()), 0);
    ASSERT_EQ(::symlink("rec.mp4", dir.file("soft.mp4").c_str()), 0);
    ASSERT_EQ(::mkdir(dir.file("sub").c_str(), 0755), 0);
    const std::string calib = quoted(converter_test::fisheye_calibration(dir));
    for (const std::string& out : {rec, dir.path() + "/./rec.mp4", dir.path() + "/sub/../rec.mp4",
                                   dir.file("hard.mp4"), dir.file("soft.mp4")}) {
        const auto r = kvptool("export " + quoted(rec) + " " + quoted(out) + " --calib " + calib);
        EXPECT_EQ(r.exit_code, 1) << out << "\n" << r.out;
        EXPECT_NE(r.out.find("the output file is the recording itself"), std::string::npos)
            << r.out;
    }
    const auto relative =
        kvp_test::run_command("cd " + quoted(dir.path()) + " && env -u DISPLAY " + kTool +
                              " export rec.mp4 ./rec.mp4 --calib " + calib + " 2>&1");
    EXPECT_EQ(relative.exit_code, 1) << relative.out;
    EXPECT_EQ(kvp_test::read_file(rec), kvp_test::read_file(sample("fisheye.mp4")));

    const std::string ts = dir.file("rec.ts");
    ASSERT_TRUE(kvp_test::write_file(ts, kvp_test::read_file(sample("fisheye.ts"))));
    const auto r =
        kvptool("export " + quoted(ts) + " " + quoted(dir.file("temp.mp4")) + " --calib " + calib);
    EXPECT_EQ(r.exit_code, 1) << r.out;
    EXPECT_NE(r.out.find("remuxed copy"), std::string::npos) << r.out;
    EXPECT_FALSE(platform::path_exists(dir.file("temp.mp4")));
}

// TS names with quotes and blanks reach the remux tool as they stand: both a
// fisheye and a flat recording export from another working folder, and
// nothing but the outputs appears anywhere (the remuxed copies go too).
TEST(KvptoolExport, TsNamesWithQuotesAndBlanksExportAndLeaveNothingElse) {
    kvp_test::TempDir dir;
    kvp_test::TempDir elsewhere;
    const std::string fisheye = "c\" -y \"extra.ts";
    const std::string flat = "f\" -y \"flat.ts";
    ASSERT_TRUE(kvp_test::write_file(dir.file(fisheye), kvp_test::read_file(sample("fisheye.ts"))));
    ASSERT_EQ(kvp_test::run_command("ffmpeg -v error -i " + quoted(sample("flat.mp4")) +
                                    " -c copy -f mpegts " + quoted(dir.file(flat)))
                  .exit_code,
              0);
    const std::string calib = quoted(converter_test::fisheye_calibration(dir));
    const std::string in_elsewhere =
        "cd " + quoted(elsewhere.path()) + " && env -u DISPLAY " + kTool;
    auto r = kvp_test::run_command(in_elsewhere + " export " + quoted(dir.file(fisheye)) + " " +
                                   quoted(dir.file("a.mp4")) +
                                   " --quality L --layout wide --calib " + calib + " 2>&1");
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(read_media(dir.file("a.mp4")).decoded_frames, 60);
    r = kvp_test::run_command(in_elsewhere + " export " + quoted(dir.file(flat)) + " " +
                              quoted(dir.file("b.mp4")) + " 2>&1");
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(read_media(dir.file("b.mp4")).video.width, 640);
    EXPECT_EQ(kvp_test::names_in(dir.path()),
              (Names{fisheye, flat, "fisheye.inf", "a.mp4", "b.mp4"}));
    EXPECT_EQ(kvp_test::names_in(elsewhere.path()), Names{});
}

// When the remux tool fails, the export fails with the converter's text: no
// older copy beside the recording is delivered or converted in its place.
TEST(KvptoolExport, AFailedRemuxFailsTheExportAndLeavesNoFile) {
    kvp_test::TempDir dir;
    ASSERT_EQ(::mkdir(dir.file("tools").c_str(), 0755), 0);
    ASSERT_TRUE(kvp_test::write_file(dir.file("tools/ffmpeg"), "#!/bin/sh\nexit 1\n"));
    ASSERT_EQ(::chmod(dir.file("tools/ffmpeg").c_str(), 0755), 0);
    const std::string ts = dir.file("rec.ts");
    const std::string calib = quoted(converter_test::fisheye_calibration(dir));
    ASSERT_EQ(kvp_test::run_command("ffmpeg -v error -i " + quoted(sample("flat.mp4")) +
                                    " -c copy -f mpegts " + quoted(dir.file("flat.ts")))
                  .exit_code,
              0);
    for (const std::string& source : {sample("fisheye.ts"), dir.file("flat.ts")}) {
        ASSERT_TRUE(kvp_test::write_file(ts, kvp_test::read_file(source)));
        // What an earlier export from this folder left behind.
        ASSERT_TRUE(
            kvp_test::write_file(dir.file("temp.mp4"), kvp_test::read_file(sample("flat.mp4"))));
        const auto r =
            kvp_test::run_command("env -u DISPLAY KVP_PROGRAM_DIR=" + quoted(dir.file("tools")) +
                                  " " + kTool + " export " + quoted(ts) + " " +
                                  quoted(dir.file("out.mp4")) + " --calib " + calib + " 2>&1");
        EXPECT_EQ(r.exit_code, 21) << source << "\n" << r.out;
        EXPECT_NE(r.out.find("error: ffmpeg failed to remux"), std::string::npos) << r.out;
        EXPECT_FALSE(platform::path_exists(dir.file("out.mp4")));
        EXPECT_FALSE(platform::path_exists(dir.file("temp.mp4")));
    }
}

// SIGTERM, SIGINT or SIGHUP during a conversion end it early with a complete
// file; the calibration made for the export goes on every path, also when a
// second signal does not wait for the first.
TEST(KvptoolExport, ASignalEndsTheExportWithACompleteFileAndNoTemporaryCalibration) {
    kvp_test::TempDir dir;
    kvp_test::TempDir tmp;
    kvp_test::TempDir program;
    // Ten times the sample, so that the conversion is still running when the
    // signal comes. No calibration beside it: the export makes one.
    const std::string rec = dir.file("rec.mp4");
    ASSERT_EQ(kvp_test::run_command("ffmpeg -v error -stream_loop 9 -i " +
                                    quoted(sample("fisheye.mp4")) + " -c copy " + quoted(rec))
                  .exit_code,
              0);
    const std::string out = dir.file("out.mp4");
    const std::string log = dir.file("log");
    // The signals go once the second progress line (a second into the
    // conversion) is out; the shell's wait gives 128 + the signal when one
    // ended the program.
    const auto export_until = [&](const std::string& signals) {
        return kvp_test::run_command(
            "env -u DISPLAY TMPDIR=" + quoted(tmp.path()) +
            " KVP_PROGRAM_DIR=" + quoted(program.path()) + " " + kTool + " export " + quoted(rec) +
            " " + quoted(out) + " --quality L --layout wide > " + quoted(log) + " 2>&1 & pid=$!; " +
            "for i in $(seq 1200); do [ $(grep -c ' fps ' " + quoted(log) +
            ") -ge 2 ] && break; sleep 0.1; done; for s in " + signals +
            "; do kill -$s $pid; done; wait $pid; echo $?");
    };
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
        const auto r = export_until(std::to_string(sig));
        EXPECT_EQ(std::atoi(r.out.c_str()), 128 + sig) << kvp_test::read_file(log);
        const auto m = read_media(out, false);
        EXPECT_TRUE(m.opened);  // the trailer was written
        EXPECT_GT(m.video_pts.size(), 0u);
        EXPECT_LT(m.video_pts.size(), 600u);
        EXPECT_EQ(kvp_test::names_in(tmp.path()), Names{});
    }
    const auto r = export_until(std::to_string(SIGTERM) + " " + std::to_string(SIGINT));
    const int status = std::atoi(r.out.c_str());
    EXPECT_TRUE(status == 128 + SIGTERM || status == 128 + SIGINT) << status;
    EXPECT_EQ(kvp_test::names_in(tmp.path()), Names{});
}

}  // namespace
