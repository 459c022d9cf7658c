// The update files, the updater written anew, and the update check run on
// real Lua scripts: small ones made here and the shipped ones.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "shell/update_files.h"
#include "temp_dir.h"
#include "update/update_check.h"

namespace {

void write_all_update_files(const kvp_test::TempDir& dir) {
    for (const std::string& name : shell::required_update_files()) {
        kvp_test::write_file(dir.file(name), "-- " + name + "\n");
    }
}

TEST(UpdateFiles, FirstMissingInTheirOrder) {
    kvp_test::TempDir dir;
    EXPECT_EQ(shell::first_missing_update_file(dir.path()), "version.cfg");
    write_all_update_files(dir);
    EXPECT_EQ(shell::first_missing_update_file(dir.path()), std::nullopt);
    ::unlink(dir.file("windows_def.lhs").c_str());
    ::unlink(dir.file("checkver.ulf").c_str());
    EXPECT_EQ(shell::first_missing_update_file(dir.path()), "checkver.ulf");
    // A dangling link does not open: it counts as missing.
    ASSERT_EQ(::symlink("/nonexistent/target", dir.file("checkver.ulf").c_str()), 0);
    EXPECT_EQ(shell::first_missing_update_file(dir.path()), "checkver.ulf");
}

TEST(UpdateFiles, UpdaterIsWrittenWhenMissingAndLeftAlonePresent) {
    kvp_test::TempDir dir;
    std::string error;
    EXPECT_EQ(shell::ensure_updater(dir.path(), "#!/bin/sh\necho new\n", &error),
              shell::UpdaterState::recreated);
    const std::string path = dir.file("kqswup_ex");
    EXPECT_EQ(kvp_test::read_file(path), "#!/bin/sh\necho new\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0755u & ~mask);

    kvp_test::write_file(path, "custom updater");
    EXPECT_EQ(shell::ensure_updater(dir.path(), "other", &error), shell::UpdaterState::present);
    EXPECT_EQ(kvp_test::read_file(path), "custom updater");

    EXPECT_EQ(shell::ensure_updater(dir.file("missing/folder"), "x", &error),
              shell::UpdaterState::missing);
    EXPECT_FALSE(error.empty());
}

TEST(UpdateCheck, RunsCheckLastVersionInAFreshState) {
    kvp_test::TempDir dir;
    kvp_test::write_file(
        dir.file("checkver.ulf"),
        "calls = (calls or 0) + 1\n"
        "function CheckLastVersion() return 'v' .. calls .. ' ' .. PROGRAM_DIR end\n");
    // A fresh state each time: the global counter starts again.
    EXPECT_EQ(update::check_for_update(dir.path()).text, "v1 " + dir.path());
    EXPECT_EQ(update::check_for_update(dir.path()).text, "v1 " + dir.path());

    kvp_test::write_file(dir.file("checkver.ulf"),
                         "function CheckLastVersion() return string.rep('x', 400) end\n");
    EXPECT_EQ(update::check_for_update(dir.path()).text.size(), 259u);

    kvp_test::write_file(dir.file("checkver.ulf"), "function CheckLastVersion() return 42 end\n");
    EXPECT_EQ(update::check_for_update(dir.path()).text, "42");
}

TEST(UpdateCheck, FailuresGiveNoUpdate) {
    kvp_test::TempDir dir;
    struct Case {
        const char* script;  // nullptr: no file
        const char* failure_start;
    } cases[] = {
        {nullptr, "pcall FAILED cannot open"},
        {"function (", "pcall FAILED"},
        {"error('broken')", "pcall FAILED"},
        {"x = 1", ""},                                          // no CheckLastVersion
        {"CheckLastVersion = 'not a function'", ""},            //
        {"function CheckLastVersion() error('boom') end", ""},  // fails inside
        {"function CheckLastVersion() return {} end", ""},      // not a text
        {"function CheckLastVersion() return nil end", ""},
    };
    for (const Case& c : cases) {
        ::unlink(dir.file("checkver.ulf").c_str());
        if (c.script != nullptr) kvp_test::write_file(dir.file("checkver.ulf"), c.script);
        const update::CheckResult r = update::check_for_update(dir.path());
        EXPECT_EQ(r.text, "") << (c.script ? c.script : "(none)");
        EXPECT_EQ(r.failure.rfind(c.failure_start, 0), 0u)
            << (c.script ? c.script : "(none)") << ": " << r.failure;
    }
    ::unlink(dir.file("checkver.ulf").c_str());
    kvp_test::write_file(dir.file("checkver.ulf"), "function (");
    const std::string failure = update::check_for_update(dir.path()).failure;
    EXPECT_EQ(failure.substr(failure.size() - 2), " 3") << failure;  // a syntax error
}

// The shipped scripts, pointed at a version published in a local file.
class ShippedScripts : public ::testing::Test {
protected:
    void SetUp() override {
        for (const std::string& name : shell::required_update_files()) {
            if (name == "version.cfg") continue;
            ASSERT_EQ(
                kvp_test::run_command("cp '" KVP_BIN_DIR "/" + name + "' '" + dir_.path() + "/'")
                    .exit_code,
                0)
                << name;
        }
    }
    void publish(const std::string& installed, const std::string& newest) {
        kvp_test::write_file(dir_.file("latest.txt"), newest);
        kvp_test::write_file(dir_.file("version.cfg"),
                             "[update]\nversion=" + installed + "\ncheck_url=file://" +
                                 dir_.file("latest.txt") +
                                 "\ndownload_page=https://example.invalid/kvp\n");
    }
    kvp_test::TempDir dir_;
};

TEST_F(ShippedScripts, ANewerVersionIsNamedWithItsPage) {
    publish("0.1.0", "0.2.0\nchanges...\n");
    EXPECT_EQ(update::check_for_update(dir_.path()).text, "0.2.0 https://example.invalid/kvp");
    publish("0.9.0", "0.10.0\n");
    EXPECT_EQ(update::check_for_update(dir_.path()).text, "0.10.0 https://example.invalid/kvp");
}

TEST_F(ShippedScripts, SameOlderOrUnreadableVersionIsNoUpdate) {
    publish("0.2.0", "0.2.0\n");
    EXPECT_EQ(update::check_for_update(dir_.path()).text, "");
    publish("0.2.0", "0.1.9\n");
    EXPECT_EQ(update::check_for_update(dir_.path()).text, "");
    publish("0.2.0", "<html>not a version</html>\n");
    EXPECT_EQ(update::check_for_update(dir_.path()).text, "");
    kvp_test::write_file(dir_.file("version.cfg"), "[update]\nversion=0.1\ncheck_url=\n");
    const update::CheckResult none = update::check_for_update(dir_.path());
    EXPECT_EQ(none.text, "");
    EXPECT_EQ(none.failure, "");
}

TEST_F(ShippedScripts, TheHelperProgramPrintsTheResult) {
    publish("1.0", "1.1\n");
    const auto r =
        kvp_test::run_command("'" KVP_BIN_DIR "/kvp-update-check' '" + dir_.path() + "' 3>&-");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "1.1 https://example.invalid/kvp");
    EXPECT_EQ(kvp_test::run_command("'" KVP_BIN_DIR "/kvp-update-check' 2>/dev/null").exit_code, 2);
}

}  // namespace
