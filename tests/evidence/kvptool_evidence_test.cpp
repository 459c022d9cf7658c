// kvptool export --evidence on a generated recorder clip: the manifest's
// hashes against sha256sum, the checksum list checked by sha256sum -c, and
// the package of an export that fails.
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "temp_dir.h"

namespace {

using nlohmann::json;

const std::string kClip = KVP_SAMPLES_DIR "/trips/20241207_153004A.ts";

kvp_test::CommandResult kvptool(const std::string& args) {
    return kvp_test::run_command("env -u DISPLAY " KVP_BIN_DIR "/kvptool " + args + " 2>&1");
}

std::string sha256sum_of(const std::string& path) {
    return kvp_test::run_command("sha256sum '" + path + "'").out.substr(0, 64);
}

TEST(KvptoolEvidence, ManifestHashesMatchSha256sum) {
    kvp_test::TempDir dir;
    // A copy: the converter writes its remuxed copy beside the recording.
    const std::string in = dir.file("20241207_153004A.ts");
    ASSERT_TRUE(kvp_test::write_file(in, kvp_test::read_file(kClip)));
    const std::string out = dir.file("out.mp4"), pkg = dir.file("evidence");
    const auto r =
        kvptool("export " + in + " " + out + " --layout wide --quality L --evidence " + pkg);
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const json m = json::parse(kvp_test::read_file(pkg + "/manifest.json"), nullptr, false);
    ASSERT_TRUE(m.is_object());
    EXPECT_EQ(m["status"], "finished");
    EXPECT_EQ(m["tool"]["name"], "kvptool");
    EXPECT_FALSE(m["tool"]["version"].get<std::string>().empty());
    ASSERT_EQ(m["sources"].size(), 1u);
    EXPECT_EQ(m["sources"][0]["path"], in);
    EXPECT_EQ(m["sources"][0]["sha256"], sha256sum_of(in));
    EXPECT_EQ(m["sources"][0]["unchanged"], true);
    EXPECT_EQ(m["output"]["sha256"], sha256sum_of(out));
    EXPECT_EQ(m["parameters"]["layout"], "wide");
    EXPECT_EQ(m["parameters"]["quality"], "L");
    EXPECT_EQ(m["parameters"]["converter"]["viewport_count"], 1);
    EXPECT_EQ(m["calibration"]["origin"], "made from the first picture");
    EXPECT_EQ(m["calibration"]["sha256"].get<std::string>().size(), 64u);
    EXPECT_TRUE(m["repairs"].is_array());
    EXPECT_EQ(m["calibration"]["kept_as"], "calibration.inf");
    EXPECT_EQ(m["calibration"]["sha256"], sha256sum_of(pkg + "/calibration.inf"));
    // Every file listed, the kept calibration among them, checks out.
    const auto check =
        kvp_test::run_command("cd '" + pkg + "' && sha256sum -c sha256sums.txt 2>&1");
    EXPECT_EQ(check.exit_code, 0) << check.out;
    const std::string summary = kvp_test::read_file(pkg + "/summary.txt");
    EXPECT_NE(summary.find("Export: finished"), std::string::npos) << summary;
    EXPECT_NE(summary.find(sha256sum_of(out)), std::string::npos) << summary;
}

TEST(KvptoolEvidence, AFailedExportIsMarkedFailedWithoutAnOutputHash) {
    kvp_test::TempDir dir;
    const std::string in = dir.file("20241207_153004A.ts");
    ASSERT_TRUE(kvp_test::write_file(in, std::string(100000, 'x')));  // not a video
    const std::string pkg = dir.file("evidence");
    const auto r = kvptool("export " + in + " " + dir.file("out.mp4") + " --evidence " + pkg);
    EXPECT_NE(r.exit_code, 0) << r.out;
    const json m = json::parse(kvp_test::read_file(pkg + "/manifest.json"), nullptr, false);
    ASSERT_TRUE(m.is_object()) << r.out;
    EXPECT_EQ(m["status"], "failed");
    EXPECT_EQ(m["exit_code"], r.exit_code);
    EXPECT_FALSE(m["error"].get<std::string>().empty());
    EXPECT_TRUE(m["output"].is_null());
    EXPECT_EQ(m["sources"][0]["sha256"], sha256sum_of(in));
    EXPECT_NE(kvp_test::read_file(pkg + "/summary.txt").find("Export: FAILED"), std::string::npos);
}

TEST(KvptoolEvidence, AFolderThatCannotBeMadeStopsBeforeTheExport) {
    kvp_test::TempDir dir;
    ASSERT_TRUE(kvp_test::write_file(dir.file("plain"), "x"));
    const std::string out = dir.file("out.mp4");
    const auto r = kvptool("export " + kClip + " " + out + " --evidence " + dir.file("plain/pkg"));
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find("evidence folder"), std::string::npos) << r.out;
    EXPECT_EQ(kvp_test::names_in(dir.path()), std::set<std::string>{"plain"});
}

}  // namespace
