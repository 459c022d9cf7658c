// kvptool tsfix on copies of the generated recorder files.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "temp_dir.h"

namespace {

class KvptoolTsfix : public ::testing::Test {
protected:
    std::string copy(const std::string& name) {
        const std::string path = dir_.file(name);
        EXPECT_TRUE(kvp_test::write_file(path, kvp_test::read_file(KVP_SAMPLES_DIR "/" + name)));
        return path;
    }
    kvp_test::TempDir dir_;
};

TEST_F(KvptoolTsfix, ReportsEachFileAsWholeCutOrUntouched) {
    const std::string whole = copy("20241207_154000A.ts");
    const std::string damaged = copy("20241207_154100A.ts");
    const std::string foreign = copy("20241207_154500A.ts");
    const auto r = kvp_test::run_command(KVP_BIN_DIR "/kvptool tsfix --json " + whole + " " +
                                         damaged + " " + foreign);
    EXPECT_EQ(r.exit_code, 0) << r.out;
    const auto j = nlohmann::json::parse(r.out, nullptr, false);
    ASSERT_TRUE(j.is_array()) << r.out;
    ASSERT_EQ(j.size(), 3u);
    EXPECT_EQ(j[0]["file"], whole);
    EXPECT_EQ(j[0]["action"], "whole");
    EXPECT_EQ(j[0]["size_after"], 3008000);
    EXPECT_EQ(j[1]["action"], "cut");
    EXPECT_EQ(j[1]["result"], 0);
    EXPECT_EQ(j[1]["size_before"], 3008000);
    EXPECT_EQ(j[1]["size_after"], 1823600);
    EXPECT_EQ(kvp_test::read_file(damaged).size(), 1823600u);
    EXPECT_EQ(j[2]["action"], "untouched");
    EXPECT_EQ(j[2]["size_after"], 3008000);
}

TEST_F(KvptoolTsfix, DryRunChangesNothing) {
    const std::string damaged = copy("20241207_154200A.ts");
    const auto r = kvp_test::run_command(KVP_BIN_DIR "/kvptool tsfix --dry-run " + damaged);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out.find("would be cut at 2820000, 188000 of 3008000 bytes would go"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(kvp_test::read_file(damaged).size(), 3008000u);
}

TEST_F(KvptoolTsfix, AFileThatCannotBeOpenedFailsTheRun) {
    const auto r = kvp_test::run_command(KVP_BIN_DIR "/kvptool tsfix --json " + dir_.file("x.ts"));
    EXPECT_EQ(r.exit_code, 1);
    const auto j = nlohmann::json::parse(r.out, nullptr, false);
    ASSERT_TRUE(j.is_array());
    EXPECT_EQ(j[0]["result"], -1);
    EXPECT_EQ(j[0]["action"], "untouched");
}

}  // namespace
