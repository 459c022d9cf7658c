// The evidence package's parts: SHA-256 of files against known digests and
// sha256sum, the manifest's record of a finished and a failed export, and
// the package's files on disk.
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "evidence/manifest.h"
#include "evidence/sha256.h"
#include "temp_dir.h"

namespace {

using evidence::FileHash;

std::string sha256sum_of(const std::string& path) {
    const auto r = kvp_test::run_command("sha256sum '" + path + "'");
    return r.out.substr(0, 64);
}

TEST(Sha256, KnownDigestsAndFilesAcrossChunkBoundaries) {
    EXPECT_EQ(evidence::sha256_hex(""),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(evidence::sha256_hex("abc"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    kvp_test::TempDir dir;
    // Empty, one byte, a chunk (1 MiB) exactly, and a chunk and a bit.
    for (std::size_t size :
         {std::size_t{0}, std::size_t{1}, std::size_t{1} << 20, (std::size_t{1} << 20) * 2 + 77}) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 131 + i / 7);
        const std::string path = dir.file("f" + std::to_string(size));
        ASSERT_TRUE(kvp_test::write_file(path, bytes));
        FileHash h;
        std::string why;
        ASSERT_TRUE(evidence::sha256_file(path, h, why)) << why;
        EXPECT_EQ(h.size, size);
        EXPECT_EQ(h.path, path);
        EXPECT_EQ(h.sha256, sha256sum_of(path)) << size;
    }
}

TEST(Sha256, RefusesWhatIsNotAReadableFile) {
    kvp_test::TempDir dir;
    FileHash h;
    std::string why;
    EXPECT_FALSE(evidence::sha256_file(dir.file("missing"), h, why));
    EXPECT_NE(why.find("No such file"), std::string::npos) << why;
    EXPECT_FALSE(evidence::sha256_file(dir.path(), h, why));  // a folder
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0644), 0);
    EXPECT_FALSE(evidence::sha256_file(dir.file("fifo"), h, why));  // returns, never blocks
    EXPECT_EQ(why, "not a regular file");
    EXPECT_TRUE(h.sha256.empty());
}

evidence::Manifest finished_manifest() {
    evidence::Manifest m;
    m.tool_version = "9.9";
    m.created_utc = "2026-01-02T03:04:05Z";
    m.status = evidence::Status::finished;
    m.exit_code = 0;
    evidence::Source same;
    same.before = {"/rec/a.ts", 10, std::string(64, 'a')};
    same.after = same.before;
    evidence::Source changed;
    changed.before = {"/rec/b.ts", 10, std::string(64, 'b')};
    changed.after = FileHash{"/rec/b.ts", 8, std::string(64, 'c')};
    m.sources = {same, changed};
    m.repairs = {{"/rec/b.ts", "cut", 10, 8}};
    m.parameters = {{"layout", "wide"}};
    m.calibration =
        evidence::Calibration{"given", FileHash{"/c.inf", 380, std::string(64, 'd')}, ""};
    m.output = FileHash{"/out.mp4", 1234, std::string(64, 'e')};
    return m;
}

TEST(Manifest, RecordsEveryHashAndWhetherTheSourcesStayedTheSame) {
    const auto j = evidence::manifest_json(finished_manifest());
    EXPECT_EQ(j["format"], "kvp-evidence-1");
    EXPECT_EQ(j["tool"]["version"], "9.9");
    EXPECT_EQ(j["status"], "finished");
    ASSERT_EQ(j["sources"].size(), 2u);
    EXPECT_EQ(j["sources"][0]["sha256"], std::string(64, 'a'));
    EXPECT_EQ(j["sources"][0]["unchanged"], true);
    EXPECT_EQ(j["sources"][1]["unchanged"], false);
    EXPECT_EQ(j["sources"][1]["size_after"], 8);
    EXPECT_EQ(j["repairs"][0]["size_before"], 10);
    EXPECT_EQ(j["repairs"][0]["size_after"], 8);
    EXPECT_EQ(j["calibration"]["sha256"], std::string(64, 'd'));
    EXPECT_EQ(j["output"]["size"], 1234);
    const std::string sums = evidence::checksums_text(finished_manifest());
    EXPECT_EQ(sums, std::string(64, 'a') + "  /rec/a.ts\n" + std::string(64, 'b') +
                        "  /rec/b.ts\n" + std::string(64, 'd') + "  /c.inf\n" +
                        std::string(64, 'e') + "  /out.mp4\n");
    const std::string summary = evidence::summary_text(finished_manifest());
    EXPECT_NE(summary.find("Export: finished"), std::string::npos) << summary;
    EXPECT_NE(summary.find("CHANGED"), std::string::npos) << summary;
    EXPECT_NE(summary.find("/rec/b.ts: cut, 10 bytes -> 8 bytes"), std::string::npos);
}

TEST(Manifest, AFailedExportIsNeverRecordedAsFinished) {
    evidence::Manifest m = finished_manifest();
    m.status = evidence::Status::failed;
    m.exit_code = 15;
    m.error = "init failed: cannot open";
    m.output.reset();
    m.sources[1].before.sha256.clear();
    m.sources[1].after.reset();
    m.sources[1].error = "No such file or directory";
    const auto j = evidence::manifest_json(m);
    EXPECT_EQ(j["status"], "failed");
    EXPECT_EQ(j["exit_code"], 15);
    EXPECT_TRUE(j["output"].is_null());
    EXPECT_TRUE(j["sources"][1]["sha256_after"].is_null());
    EXPECT_EQ(j["sources"][1]["error"], "No such file or directory");
    const std::string summary = evidence::summary_text(m);
    EXPECT_NE(summary.find("Export: FAILED (exit code 15): init failed"), std::string::npos)
        << summary;
    EXPECT_EQ(summary.find("finished"), std::string::npos);
    EXPECT_NE(summary.find("not hashed: No such file"), std::string::npos) << summary;
    // A file that was not hashed has no line to check.
    EXPECT_EQ(evidence::checksums_text(m).find("/rec/b.ts"), std::string::npos);
}

TEST(Package, WritesItsFilesIntoNewFoldersAndRefusesUnwritableOnes) {
    kvp_test::TempDir dir;
    const std::string pkg = dir.file("case/42");
    std::string why;
    ASSERT_TRUE(evidence::write_package(pkg, finished_manifest(), why)) << why;
    EXPECT_EQ(kvp_test::names_in(pkg),
              (std::set<std::string>{"manifest.json", "summary.txt", "sha256sums.txt"}));
    const auto j = nlohmann::json::parse(kvp_test::read_file(pkg + "/manifest.json"));
    EXPECT_EQ(j["output"]["path"], "/out.mp4");
    // A folder below a file cannot be made.
    ASSERT_TRUE(kvp_test::write_file(dir.file("plain"), "x"));
    EXPECT_FALSE(evidence::prepare_package_dir(dir.file("plain/sub"), why));
    EXPECT_NE(why.find("cannot create"), std::string::npos) << why;
    EXPECT_FALSE(evidence::prepare_package_dir("", why));
}

}  // namespace
