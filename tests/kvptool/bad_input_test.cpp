// kvptool on inputs that used to hang or abort it: FIFOs in the place of
// files, and file names that are not UTF-8.
#include <sys/stat.h>

#include <set>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "temp_dir.h"

namespace {

const std::string kSamples = KVP_SAMPLES_DIR;
// timeout(1) exits with this when the time ran out.
constexpr int kTimedOut = 124;

std::string quoted(const std::string& s) {
    return "'" + s + "'";
}

// kvptool with a time limit, stdout and stderr together.
kvp_test::CommandResult kvptool(const std::string& args) {
    return kvp_test::run_command("env -u DISPLAY timeout 60 " KVP_BIN_DIR "/kvptool " + args +
                                 " 2>&1");
}

bool copy_sample(const std::string& name, const std::string& to) {
    return kvp_test::write_file(to, kvp_test::read_file(kSamples + "/" + name));
}

// Every command that opens a file given to it refuses a FIFO at once with a
// clear message, instead of waiting in open() for a writer that never comes.
TEST(KvptoolBadInput, AFifoIsRefusedAtOnceByEveryCommand) {
    kvp_test::TempDir dir;
    const std::string fifo = quoted(dir.file("p.fifo"));
    ASSERT_EQ(::mkfifo(dir.file("p.fifo").c_str(), 0600), 0);
    const std::string rec = quoted(kSamples + "/fisheye.mp4");
    const std::string out = quoted(dir.file("out.mp4"));
    for (const std::string& args :
         {"calib " + fifo, "calib --converter " + fifo, "mesh " + fifo + " --mode 2", "gps " + fifo,
          "info " + fifo, "info --json " + fifo,
          "autocalib " + fifo + " " + quoted(dir.file("o.inf")), "autocalib " + rec + " " + fifo,
          "export " + fifo + " " + out, "export " + rec + " " + out + " --calib " + fifo,
          "export " + rec + " " + fifo + " --calib " + fifo, "export " + rec + " " + fifo}) {
        const auto r = kvptool(args);
        EXPECT_NE(r.exit_code, 0) << args << "\n" << r.out;
        EXPECT_NE(r.exit_code, kTimedOut) << args;
        EXPECT_NE(r.out.find("not a regular file"), std::string::npos) << args << "\n" << r.out;
    }
    const auto tsfix = kvptool("tsfix " + fifo);
    EXPECT_EQ(tsfix.exit_code, 1) << tsfix.out;
    EXPECT_EQ(kvp_test::names_in(dir.path()), std::set<std::string>{"p.fifo"});
}

// A FIFO where the side file of a recording would be is no side file: the
// track comes from the recording itself.
TEST(KvptoolBadInput, AFifoInThePlaceOfAGpsSideFileIsPassedOver) {
    kvp_test::TempDir dir;
    ASSERT_EQ(::mkdir(dir.file("MOVA").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(dir.file("MOVG").c_str(), 0755), 0);
    ASSERT_TRUE(copy_sample("gps_index.mp4", dir.file("MOVA/CLIP1.MP4")));
    ASSERT_EQ(::mkfifo(dir.file("MOVG/CLIP1.gps").c_str(), 0600), 0);
    const auto r = kvptool("gps " + quoted(dir.file("MOVA/CLIP1.MP4")));
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const auto j = nlohmann::json::parse(r.out, nullptr, false);
    ASSERT_TRUE(j.is_object()) << r.out;
    EXPECT_EQ(j["records"].size(), 5u);
}

// File names are bytes. One that is not UTF-8 is written into the JSON with
// replacement characters; the command reports what it did (a repair too)
// instead of aborting after having done it.
TEST(KvptoolBadInput, NamesThatAreNotUtf8AreReportedNotFatal) {
    kvp_test::TempDir base;
    const std::string dir = base.file("rec\xff\xfe");
    ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
    const std::string replaced = base.file("rec\xef\xbf\xbd\xef\xbf\xbd");  // U+FFFD twice

    const std::string ts = dir + "/20241207_153100A.ts";  // a recorder file with a foreign end
    ASSERT_TRUE(copy_sample("20241207_153100A.ts", ts));
    auto r = kvptool("tsfix --json " + quoted(ts));
    ASSERT_EQ(r.exit_code, 0) << r.out;
    auto j = nlohmann::json::parse(r.out, nullptr, false);
    ASSERT_TRUE(j.is_array()) << r.out;
    EXPECT_EQ(j[0]["file"], replaced + "/20241207_153100A.ts");
    EXPECT_EQ(j[0]["action"], "cut");
    EXPECT_EQ(j[0]["size_after"], kvp_test::read_file(ts).size());

    const std::string mp4 = dir + "/fisheye.mp4";
    ASSERT_TRUE(copy_sample("fisheye.mp4", mp4));
    r = kvptool("info --json " + quoted(mp4));
    ASSERT_EQ(r.exit_code, 0) << r.out;
    j = nlohmann::json::parse(r.out, nullptr, false);
    ASSERT_TRUE(j.is_object()) << r.out;
    EXPECT_EQ(j["file"], replaced + "/fisheye.mp4");
    EXPECT_EQ(j["width"], 480);

    r = kvptool("export " + quoted(mp4) + " " + quoted(dir + "/out.mp4") + " --calib " +
                quoted(dir + "/lens.inf") + " --print-param");
    ASSERT_EQ(r.exit_code, 0) << r.out;
    j = nlohmann::json::parse(r.out, nullptr, false);
    ASSERT_TRUE(j.is_object()) << r.out;
    EXPECT_EQ(j["src_url"], replaced + "/fisheye.mp4");
    EXPECT_EQ(j["calib_filename"], replaced + "/lens.inf");
}

}  // namespace
