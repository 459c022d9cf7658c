#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

TEST(Paths, SameFileSeesThroughLinksAndDotsOrComparesNames) {
    kvp_test::TempDir dir;
    const std::string a = dir.file("a.mp4");
    ASSERT_TRUE(kvp_test::write_file(a, "a"));
    ASSERT_TRUE(kvp_test::write_file(dir.file("other.mp4"), "a"));
    ASSERT_EQ(::link(a.c_str(), dir.file("hard.mp4").c_str()), 0);
    ASSERT_EQ(::symlink("a.mp4", dir.file("soft.mp4").c_str()), 0);
    ASSERT_EQ(::mkdir(dir.file("sub").c_str(), 0755), 0);
    for (const std::string& b : {a, dir.path() + "/./a.mp4", dir.path() + "/sub/../a.mp4",
                                 dir.file("hard.mp4"), dir.file("soft.mp4")}) {
        EXPECT_TRUE(platform::same_file(a, b)) << b;
    }
    EXPECT_FALSE(platform::same_file(a, dir.file("other.mp4")));  // same bytes, another file
    // Names that do not exist yet: the same name in the same folder.
    EXPECT_TRUE(platform::same_file(dir.file("new.mp4"), dir.path() + "/sub/../new.mp4"));
    EXPECT_FALSE(platform::same_file(dir.file("new.mp4"), dir.file("sub/new.mp4")));
    EXPECT_FALSE(platform::same_file(a, dir.file("new.mp4")));
}

// A FIFO must never be opened as a file: its open would wait for a writer.
TEST(Paths, OnlyRegularFilesAreOpenedAndNothingBlocksOnTheWay) {
    kvp_test::TempDir dir;
    const std::string file = dir.file("a.ts");
    const std::string fifo = dir.file("p.fifo");
    ASSERT_TRUE(kvp_test::write_file(file, "x"));
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::symlink("a.ts", dir.file("link.ts").c_str()), 0);
    EXPECT_TRUE(platform::is_regular_file(file));
    EXPECT_TRUE(platform::is_regular_file(dir.file("link.ts")));
    EXPECT_FALSE(platform::is_regular_file(fifo));
    EXPECT_FALSE(platform::is_regular_file(dir.path()));
    EXPECT_FALSE(platform::is_regular_file(dir.file("missing")));

    const int fd = platform::open_regular_file(file, O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);  // reads block as usual
    EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
    ::close(fd);
    errno = 0;
    EXPECT_EQ(platform::open_regular_file(fifo, O_RDONLY), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(platform::open_regular_file(fifo, O_RDWR), -1);
    EXPECT_EQ(platform::open_regular_file(dir.path(), O_RDONLY), -1);
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(platform::open_regular_file(dir.file("missing"), O_RDONLY), -1);
    EXPECT_EQ(errno, ENOENT);
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
