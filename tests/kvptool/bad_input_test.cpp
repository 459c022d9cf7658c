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
