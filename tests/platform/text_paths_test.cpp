#include <cstdlib>

#include <gtest/gtest.h>

#include "platform/debug_output.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "temp_dir.h"

namespace {

TEST(Text, Utf8AndWideRoundTripAndInvalidBytesBecomeReplacementCharacters) {
    const std::string s = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";
    const std::wstring w = platform::utf8_to_wide(s);
    EXPECT_EQ(w, (std::wstring{L'a', 0xE9, 0x4E2D, 0x1F600}));
    EXPECT_EQ(platform::wide_to_utf8(w), s);
    EXPECT_EQ(platform::utf8_to_wide("\xC3"), std::wstring(1, 0xFFFD));      // truncated
    EXPECT_EQ(platform::utf8_to_wide("\xC0\xAF"), std::wstring(2, 0xFFFD));  // overlong
    EXPECT_EQ(platform::utf8_to_wide("\xED\xA0\x80").size(), 3u);            // surrogate
}

TEST(Paths, ProgramDirFollowsTheOverrideAndJoinsWithOneSeparator) {
    ::unsetenv("KVP_PROGRAM_DIR");
    const std::string real = platform::program_dir();
    EXPECT_TRUE(platform::path_exists(real));
    EXPECT_NE(real.back(), '/');
    ::setenv("KVP_PROGRAM_DIR", "/opt/kvp/", 1);
    EXPECT_EQ(platform::program_dir(), "/opt/kvp");
    ::unsetenv("KVP_PROGRAM_DIR");
    EXPECT_EQ(platform::join_path("/a", "b"), "/a/b");
    EXPECT_EQ(platform::join_path("/a/", "b"), "/a/b");
    EXPECT_EQ(platform::file_name_of("/x/y/z.ts"), "z.ts");
    EXPECT_EQ(platform::file_name_of("z.ts"), "z.ts");
    // This executable's own code lies in the program folder.
    EXPECT_EQ(platform::module_dir(reinterpret_cast<const void*>(&platform::program_dir)), real);
}

TEST(Paths, MountRootIsAnAncestorOnTheSameFileSystem) {
    kvp_test::TempDir dir;
    const std::string file = dir.file("a.ts");
    kvp_test::write_file(file, "x");
    const std::string root = platform::mount_root_of(file);
    ASSERT_FALSE(root.empty());
    EXPECT_EQ(file.compare(0, root.size(), root), 0) << root;
    EXPECT_EQ(platform::mount_root_of("/proc/self/status"), "/proc");
    EXPECT_EQ(platform::mount_root_of(dir.file("missing/deeper")), root);
}

TEST(DebugOutput, LinesReachTheInstalledSinkWhole) {
    std::string got;
    platform::set_debug_sink([&](std::string_view text) { got += text; });
    platform::debug_output("TSFixTool:");
    platform::debug_printf(16, "pos=%d\r\n", 188);
    platform::debug_printf(8, "%s", "0123456789");  // cut at 7 bytes
    platform::set_debug_sink(nullptr);
    platform::debug_output("not captured");
    EXPECT_EQ(got, "TSFixTool:pos=188\r\n0123456");
}

}  // namespace
