// The repair on the generated recorder files and on damaged input of every
// kind. Files are repaired in copies inside a temporary folder, which also
// serves as the marker folder.
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/debug_output.h"
#include "temp_dir.h"
#include "ts_builder.h"
#include "tsfix/ts_fix_tool.h"
#include "tsfix/ts_packet.h"

namespace {

using tsfix::Action;

// What the generator says the repair must make of each recorder file.
struct Expected {
    std::size_t size_after = 0;
    std::string action;
};

std::map<std::string, Expected> expected_results() {
    std::map<std::string, Expected> results;
    std::ifstream in(KVP_SAMPLES_DIR "/recorder_expected.txt");
    std::string name;
    Expected e;
    while (in >> name >> e.size_after >> e.action) results[name] = e;
    return results;
}

std::int64_t expected_size(const std::string& name) {
    return static_cast<std::int64_t>(expected_results()[name].size_after);
}

class RepairTest : public ::testing::Test {
protected:
    // A copy of a generated sample in the temporary folder.
    std::string copy_sample(const std::string& name) {
        const std::string bytes = kvp_test::read_file(std::string(KVP_SAMPLES_DIR "/") + name);
        EXPECT_FALSE(bytes.empty()) << name;
        const std::string path = dir_.file(name);
        EXPECT_TRUE(kvp_test::write_file(path, bytes));
        return path;
    }
    tsfix::RepairReport repair(const std::string& path, bool dry_run = false) {
        return tsfix::repair_unless_marked(path, dir_.path(), tsfix::RepairOptions{dry_run});
    }

    kvp_test::TempDir dir_;
};

TEST_F(RepairTest, EveryGeneratedRecordingEndsWhereItsOwnRecordingEnds) {
    const auto expected = expected_results();
    ASSERT_GE(expected.size(), 10u);
    for (const auto& [name, e] : expected) {
        SCOPED_TRACE(name);
        const std::string path = copy_sample(name);
        const std::string before = kvp_test::read_file(path);
        const tsfix::RepairReport r = repair(path);
        EXPECT_EQ(r.result, 0);
        EXPECT_EQ(r.size_before, static_cast<std::int64_t>(before.size()));
        EXPECT_EQ(r.size_after, static_cast<std::int64_t>(e.size_after));
        EXPECT_EQ(tsfix::action_name(r.action), e.action) << r.reason;
        const std::string after = kvp_test::read_file(path);
        ASSERT_EQ(after.size(), e.size_after);
        EXPECT_TRUE(before.compare(0, e.size_after, after) == 0) << "kept bytes changed";
    }
}

TEST_F(RepairTest, FilesThatAreNotThisRecordingsAreLeftAlone) {
    // First packets ten minutes before the name; FFmpeg's own program map on
    // PID 0x1000; no recorder packets at all.
    for (const char* name : {"20241207_153200A.ts", "20241207_154500A.ts", "20241207_153300A.ts"}) {
        SCOPED_TRACE(name);
        const std::string path = copy_sample(name);
        const std::string before = kvp_test::read_file(path);
        const tsfix::RepairReport r = repair(path);
        EXPECT_EQ(r.result, 0);
        EXPECT_NE(r.action, Action::cut);
        EXPECT_EQ(kvp_test::read_file(path), before);
    }
    const std::string plain = copy_sample("fisheye.ts");
    const std::string renamed = dir_.file("20241207_153000A.ts");
    ASSERT_EQ(::rename(plain.c_str(), renamed.c_str()), 0);
    const std::string before = kvp_test::read_file(renamed);
    EXPECT_EQ(repair(renamed).action, Action::untouched);
    EXPECT_EQ(kvp_test::read_file(renamed), before);
}

TEST_F(RepairTest, TheMarkerFileForbidsEveryChange) {
    const std::string path = copy_sample("20241207_154100A.ts");
    const std::string before = kvp_test::read_file(path);
    ASSERT_TRUE(kvp_test::write_file(dir_.file(".libhole.ini"), ""));
    EXPECT_TRUE(tsfix::repair_forbidden(dir_.path()));
    const tsfix::RepairReport r = repair(path);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.action, Action::untouched);
    EXPECT_EQ(r.size_after, r.size_before);
    EXPECT_EQ(r.windows_read, 0);
    EXPECT_EQ(kvp_test::read_file(path), before);
}

TEST_F(RepairTest, DryRunReportsTheCutAndChangesNothing) {
    const std::string path = copy_sample("20241207_154100A.ts");
    const std::string before = kvp_test::read_file(path);
    const tsfix::RepairReport r = repair(path, true);
    EXPECT_EQ(r.action, Action::cut);
    EXPECT_EQ(r.size_after, expected_size("20241207_154100A.ts"));
    EXPECT_EQ(kvp_test::read_file(path), before);
}

TEST_F(RepairTest, JudgingTheBytesInMemoryDecidesAsTheRepairOfTheFile) {
    // Every generated recording, whole, cut or not attributable.
    for (const auto& [name, e] : expected_results()) {
        SCOPED_TRACE(name);
        const std::string path = copy_sample(name);
        const std::string bytes = kvp_test::read_file(path);
        const tsfix::MemorySource memory(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                         bytes.size());
        const tsfix::RepairReport judged =
            tsfix::TSFixTool().judge(memory, tsfix::name_time_of(name));
        const tsfix::RepairReport repaired = repair(path);
        EXPECT_EQ(judged.action, repaired.action);
        EXPECT_EQ(judged.size_after, repaired.size_after);
        EXPECT_EQ(judged.reason, repaired.reason);
        EXPECT_EQ(judged.windows_read, repaired.windows_read);
    }
}

TEST_F(RepairTest, AWholeFileCostsOneWindowAtEachEnd) {
    const tsfix::RepairReport r = repair(copy_sample("20241207_154000A.ts"));
    EXPECT_EQ(r.action, Action::whole);
    EXPECT_EQ(r.windows_read, 2);
    EXPECT_LE(r.bytes_read, 2 * static_cast<std::int64_t>(tsfix::kWindowBytes));
}

TEST_F(RepairTest, ARelativePathIsJudgedByItsFileName) {
    const std::string path = copy_sample("20241207_154100A.ts");
    ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
    const tsfix::RepairReport r = repair("20241207_154100A.ts");
    EXPECT_EQ(r.action, Action::cut);
    EXPECT_EQ(static_cast<std::int64_t>(kvp_test::read_file(path).size()),
              expected_size("20241207_154100A.ts"));
}

TEST_F(RepairTest, ASecondLookFromTheFourthPacketRescuesABadFirstPacket) {
    const ts_test::Clock own{2024, 12, 7, 15, 30, 0}, stale{2024, 12, 7, 12, 0, 0};
    std::string file = ts_test::recorder_packet(stale);
    file += ts_test::recording(own, 3000) + ts_test::recording(stale, 1000);
    const std::string path = dir_.file("20241207_153000A.ts");
    ASSERT_TRUE(kvp_test::write_file(path, file));
    const tsfix::RepairReport r = repair(path);
    EXPECT_EQ(r.action, Action::cut);
    EXPECT_EQ(r.size_after, static_cast<std::int64_t>(3001 * ts_test::kPacket));
}

TEST_F(RepairTest, BadInputIsLeftAloneWithoutACrash) {
    std::string garbage(1 << 20, '\0');
    for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>(i * 7919 >> 3);
    const ts_test::Clock own{2024, 12, 7, 15, 30, 0};
    const std::string packets = ts_test::recording(own, 40);
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"garbage", garbage},
        {"zeros", std::string(800000, '\0')},
        {"half a packet", packets.substr(0, 100)},
        {"packets off the 188-byte grid", std::string(5, 'x') + packets},
        {"sync bytes only", std::string(188 * 3000, '\x47')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir_.file("20241207_153000A.ts");
        ASSERT_TRUE(kvp_test::write_file(path, c.bytes));
        const tsfix::RepairReport r = repair(path);
        EXPECT_EQ(r.result, 0);
        EXPECT_EQ(r.action, Action::untouched) << r.reason;
        EXPECT_EQ(kvp_test::read_file(path), c.bytes);
    }
}

TEST_F(RepairTest, WhatCannotBeOpenedIsReportedAndLeftAlone) {
    EXPECT_EQ(repair(dir_.file("20241207_153000A.ts")).result, -1);  // missing: never created
    EXPECT_NE(::access(dir_.file("20241207_153000A.ts").c_str(), F_OK), 0);

    const std::string fifo = dir_.file("20241207_153100A.ts");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(repair(fifo).result, -1);  // never blocks waiting for a writer
    EXPECT_EQ(repair(dir_.path()).result, -1);
}

// Runs `body` as an unprivileged user when the test runs as root, whose
// writes no file mode stops.
int exit_code_as_nobody(const std::function<int()>& body) {
    if (::geteuid() != 0) return body();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(99);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(RepairTest, AReadOnlyFileIsReportedAndLeftAlone) {
    const std::string path = copy_sample("20241207_154100A.ts");
    const std::string before = kvp_test::read_file(path);
    ASSERT_EQ(::chmod(dir_.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    const int code = exit_code_as_nobody([&] {
        const tsfix::RepairReport r = repair(path);
        const tsfix::RepairReport dry = repair(path, true);
        if (r.result != -1 || r.action != Action::untouched) return 1;
        if (dry.action != Action::cut) return 2;  // judging needs reading only
        return 0;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(kvp_test::read_file(path), before);
}

TEST_F(RepairTest, EveryStepLogsAPrefixedTrimmedLine) {
    std::vector<std::string> lines;
    platform::set_debug_sink([&](std::string_view s) { lines.emplace_back(s); });
    repair(copy_sample("20241207_154000A.ts"));
    platform::set_debug_sink(nullptr);

    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "TSFixTool:");
    EXPECT_EQ(lines[1].rfind("pcr= ", 0), 0u) << lines[1];
    EXPECT_NE(lines[1].find("pos=18612\r\n"), std::string::npos) << lines[1];
    bool ok_line = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] == "ts file is ok\n") {
            ok_line = true;
            continue;
        }
        if (lines[i] == "TSFixTool:") {
            ASSERT_LT(i + 1, lines.size());
            const std::string& line = lines[i + 1];
            ASSERT_GE(line.size(), 2u);
            EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
            EXPECT_NE(line[line.size() - 3], ' ') << line;
            ++i;
        }
    }
    EXPECT_TRUE(ok_line);
    const auto has = [&](const std::string& text) {
        for (const auto& l : lines) {
            if (l.rfind(text, 0) == 0) return true;
        }
        return false;
    };
    EXPECT_TRUE(has("first time check = 0\r\n"));
    EXPECT_TRUE(has("first pos check = 18612\r\n"));
    EXPECT_TRUE(has("end pos check = "));
}

}  // namespace
