// Command lines split and run without a shell.
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/paths.h"
#include "platform/process.h"
#include "temp_dir.h"

namespace {

using Args = std::vector<std::string>;

TEST(SplitCommandLine, QuotesGroupBlanksAndBackslashesFollowTheRuntimeRules) {
    EXPECT_EQ(platform::split_command_line(""), Args{});
    EXPECT_EQ(platform::split_command_line("   \t "), Args{});
    EXPECT_EQ(platform::split_command_line("a  b\tc"), (Args{"a", "b", "c"}));
    // The remux tool's line: two blanks in places, both paths quoted.
    EXPECT_EQ(platform::split_command_line(
                  "ffmpeg -i \"/rec/my clip.ts\" -v quiet -y -acodec  copy -vcodec copy  -absf  "
                  "aac_adtstoasc \"/rec/temp.mp4\""),
              (Args{"ffmpeg", "-i", "/rec/my clip.ts", "-v", "quiet", "-y", "-acodec", "copy",
                    "-vcodec", "copy", "-absf", "aac_adtstoasc", "/rec/temp.mp4"}));
    EXPECT_EQ(platform::split_command_line("\"\" x"), (Args{"", "x"}));
    EXPECT_EQ(platform::split_command_line("a\"b c\"d"), (Args{"ab cd"}));
    EXPECT_EQ(platform::split_command_line("\"a \"\"q\"\" b\""), (Args{"a \"q\" b"}));
    EXPECT_EQ(platform::split_command_line(R"(a\\b c\d)"), (Args{R"(a\\b)", R"(c\d)"}));
    EXPECT_EQ(platform::split_command_line(R"(a\"b)"), (Args{"a\"b"}));
    EXPECT_EQ(platform::split_command_line(R"("a\\" b)"), (Args{R"(a\)", "b"}));
    EXPECT_EQ(platform::split_command_line(R"(a\\\"b)"), (Args{R"(a\"b)"}));
    // Shell syntax is plain text.
    EXPECT_EQ(platform::split_command_line("echo $(id) `x` ;|&"),
              (Args{"echo", "$(id)", "`x`", ";|&"}));
    // An unterminated quote runs to the end.
    EXPECT_EQ(platform::split_command_line("a \"b c"), (Args{"a", "b c"}));
}

TEST(RunCommandLine, CapturesOutputAndErrorWithTheExitCode) {
    const auto r = platform::run_command_line("sh -c \"printf out; printf err >&2; exit 3\"", 1024);
    EXPECT_TRUE(r.started);
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(r.output, "outerr");
    EXPECT_EQ(r.output_bytes, 6u);
}

TEST(RunCommandLine, ArgumentsReachTheProgramUnchangedWithoutAShell) {
    kvp_test::TempDir dir;
    const std::string marker = dir.file("marker");
    const auto r =
        platform::run_command_line("printf \"%s|\" \"a b\" \"$(touch " + marker + ")\"", 1024);
    EXPECT_TRUE(r.started);
    EXPECT_EQ(r.output, "a b|$(touch " + marker + ")|");
    EXPECT_FALSE(platform::path_exists(marker));
}

TEST(RunCommandLine, AChattyProgramIsDrainedWhileItRunsAndTheKeptOutputIsBounded) {
    // 1 MiB on stdout is far more than a pipe holds; without draining the
    // program would block and the call would never return.
    const auto r = platform::run_command_line("head -c 1048576 /dev/zero", 1024);
    EXPECT_TRUE(r.started);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.output.size(), 1024u);
    EXPECT_EQ(r.output_bytes, 1048576u);
}

TEST(RunCommandLine, StandardInputIsEmpty) {
    const auto r = platform::run_command_line("wc -c", 64);
    EXPECT_TRUE(r.started);
    EXPECT_EQ(std::atoi(r.output.c_str()), 0) << r.output;
}

TEST(RunCommandLine, AMissingProgramOrAnEmptyLineIsNotStarted) {
    EXPECT_FALSE(platform::run_command_line("kvp-no-such-program-xyz --help", 64).started);
    EXPECT_FALSE(platform::run_command_line("/nonexistent/tool", 64).started);
    EXPECT_FALSE(platform::run_command_line("  ", 64).started);
    EXPECT_EQ(platform::run_command_line("  ", 64).exit_code, -1);
}

TEST(RunProgram, EveryArgumentArrivesByteForByte) {
    kvp_test::TempDir dir;
    const std::string marker = dir.file("marker");
    // What no command line can quote safely: quotes inside a name.
    const Args args{"printf", "%s|", "c\" -y \"extra.ts", "a  b", "$(touch " + marker + ")", ""};
    const auto r = platform::run_program(args, 1024);
    EXPECT_TRUE(r.started);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.output, "c\" -y \"extra.ts|a  b|$(touch " + marker + ")||");
    EXPECT_FALSE(platform::path_exists(marker));
    EXPECT_FALSE(platform::run_program({"kvp-no-such-program-xyz"}, 64).started);
    EXPECT_FALSE(platform::run_program({}, 64).started);
}

TEST(FindProgram, TheProgramFolderComesBeforeTheSearchPath) {
    kvp_test::TempDir dir;
    const std::string tool = dir.file("printf");  // shadows the system's printf
    ASSERT_TRUE(kvp_test::write_file(tool, "#!/bin/sh\necho beside the program\n"));
    ASSERT_EQ(::chmod(tool.c_str(), 0755), 0);
    ::setenv("KVP_PROGRAM_DIR", dir.path().c_str(), 1);
    EXPECT_EQ(platform::find_program("printf"), tool);
    EXPECT_EQ(platform::run_command_line("printf x", 64).output, "beside the program\n");
    ::unsetenv("KVP_PROGRAM_DIR");
    EXPECT_NE(platform::find_program("printf"), tool);
    EXPECT_FALSE(platform::find_program("printf").empty());
    // A folder is not a program; a path with a separator is taken as it is.
    EXPECT_EQ(platform::find_program(dir.path()), "");
    EXPECT_EQ(platform::find_program(tool), tool);
}

}  // namespace
