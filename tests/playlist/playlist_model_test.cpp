// The playlist's entries, play modes and folder walk, and its file.
#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include <gtest/gtest.h>

#include "playlist/playlist_model.h"
#include "shell/settings_files.h"
#include "temp_dir.h"

namespace {

using playlist::Direction;
using playlist::PlaylistModel;

PlaylistModel three(int mode, int last = playlist::kNoEntry) {
    return PlaylistModel({"/r/a.mp4", "/r/b.ts", "/r/c.MP4"}, mode, last);
}

TEST(Playlist, AddsEachPlayableRecordingOnce) {
    PlaylistModel p;
    EXPECT_EQ(p.add("/r/CLIP.MP4"), 0u);
    EXPECT_FALSE(p.add("/r/CLIP.MP4"));  // already there
    EXPECT_EQ(p.add("/r/b.ts"), 1u);
    for (const char* bad : {"/r/c.avi", "/r/d", "/r/e\n.mp4", "/r/two\nlines.ts", ""}) {
        EXPECT_FALSE(p.add(bad)) << bad;
    }
    EXPECT_EQ(p.size(), 2u);
    // What a saved list holds is taken as it is, once, and validated.
    const PlaylistModel loaded({"/r/a.mp4", "/r/a.mp4", "/r/x.avi", "/r/b.ts"}, 7, 5);
    EXPECT_EQ(loaded.entries(), (std::vector<std::string>{"/r/a.mp4", "/r/b.ts"}));
    EXPECT_EQ(loaded.play_mode(), playlist::kSequence);
    EXPECT_EQ(loaded.last_index(), playlist::kNoEntry);
}

TEST(Playlist, SequenceStopsAtBothEnds) {
    PlaylistModel p = three(playlist::kSequence);
    EXPECT_FALSE(p.choose(Direction::previous));  // nothing played yet, nothing before
    EXPECT_EQ(p.choose(Direction::next), 0u);     // the first entry first
    EXPECT_EQ(p.choose(Direction::next), 1u);
    EXPECT_EQ(p.choose(Direction::next), 2u);
    EXPECT_FALSE(p.choose(Direction::next));  // past the last: playback stops
    EXPECT_EQ(p.last_index(), 2);
    EXPECT_EQ(p.choose(Direction::previous), 1u);
    EXPECT_EQ(p.choose(Direction::previous), 0u);
    EXPECT_FALSE(p.choose(Direction::previous));
    EXPECT_FALSE(PlaylistModel().choose(Direction::next));
}

TEST(Playlist, SingleCirclePlaysTheSameEntryAgain) {
    PlaylistModel p = three(playlist::kSingleCircle, 1);
    EXPECT_EQ(p.choose(Direction::next), 1u);
    EXPECT_EQ(p.choose(Direction::previous), 1u);
    EXPECT_EQ(three(playlist::kSingleCircle).choose(Direction::next), 0u);
}

TEST(Playlist, RandomPlaysEveryEntryOncePerRound) {
    PlaylistModel p({"/r/1.ts", "/r/2.ts", "/r/3.ts", "/r/4.ts", "/r/5.ts"}, playlist::kRandom);
    p.seed(42);
    for (int round = 0; round < 4; ++round) {
        std::set<std::size_t> seen;
        for (int i = 0; i < 5; ++i) {
            const auto e = p.choose(Direction::next);
            ASSERT_TRUE(e);
            seen.insert(*e);
            EXPECT_EQ(p.last_index(), static_cast<int>(*e));
        }
        EXPECT_EQ(seen.size(), 5u) << "round " << round;
    }
    // The same seed, the same order.
    PlaylistModel q({"/r/1.ts", "/r/2.ts", "/r/3.ts", "/r/4.ts", "/r/5.ts"}, playlist::kRandom);
    PlaylistModel r = q;
    q.seed(7);
    r.seed(7);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(q.choose(Direction::next), r.choose(Direction::next));
}

TEST(Playlist, RemovalsKeepTheLastIndexAndTheRandomOrderInside) {
    PlaylistModel p = three(playlist::kSequence, 2);
    p.remove(0);  // before the last played: it moves back with its entry
    EXPECT_EQ(p.last_index(), 1);
    EXPECT_EQ(p.entries()[1], "/r/c.MP4");
    p.remove(1);  // the last played itself: the one before becomes the last
    EXPECT_EQ(p.last_index(), 0);
    p.remove(0);
    EXPECT_EQ(p.last_index(), playlist::kNoEntry);
    EXPECT_FALSE(p.remove(0));

    // A round drawn for five entries never names one past a shortened list.
    PlaylistModel r({"/r/1.ts", "/r/2.ts", "/r/3.ts", "/r/4.ts", "/r/5.ts"}, playlist::kRandom);
    r.seed(3);
    r.choose(Direction::next);
    r.remove_path("/r/5.ts");
    r.remove_path("/r/4.ts");
    for (int i = 0; i < 12; ++i) {
        const auto e = r.choose(Direction::next);
        ASSERT_TRUE(e);
        EXPECT_LT(*e, 3u);
    }
    PlaylistModel all = three(playlist::kSequence, 1);
    all.clear();
    EXPECT_EQ(all.last_index(), playlist::kNoEntry);
    EXPECT_EQ(all.size(), 0u);
}

TEST(Playlist, TheFileKeepsOnePathPerLine) {
    const std::string bytes = shell::encode_playlist({"/r/a b.mp4", "/r/\xe4\xb8\xad.ts"});
    EXPECT_EQ(bytes, "/r/a b.mp4\n/r/\xe4\xb8\xad.ts\n");  // the bytes as they are
    EXPECT_EQ(shell::parse_playlist("/r/a.mp4\r\n\r\n\n/r/b.ts"),
              (std::vector<std::string>{"/r/a.mp4", "/r/b.ts"}));
    EXPECT_TRUE(shell::parse_playlist("").empty());
}

TEST(Playlist, AFolderIsWalkedInNameOrderWithoutFollowingLinks) {
    kvp_test::TempDir dir;
    const std::string root = dir.path();
    ASSERT_EQ(::mkdir((root + "/b").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((root + "/b/c").c_str(), 0700), 0);
    for (const char* f : {"/z.mp4", "/a.TS", "/notes.txt", "/b/y.ts", "/b/c/x.mp4"}) {
        ASSERT_TRUE(kvp_test::write_file(root + f, "x"));
    }
    ASSERT_EQ(::symlink(root.c_str(), (root + "/b/loop").c_str()), 0);  // a loop
    ASSERT_EQ(::mkfifo((root + "/pipe.mp4").c_str(), 0600), 0);         // not a file
    EXPECT_EQ(playlist::collect_recordings(root),
              (std::vector<std::string>{root + "/a.TS", root + "/z.mp4", root + "/b/y.ts",
                                        root + "/b/c/x.mp4"}));
    EXPECT_TRUE(playlist::collect_recordings(root + "/missing").empty());
}

TEST(Playlist, ADroppedUriListGivesItsLocalPaths) {
    using V = std::vector<std::string>;
    // CRLF as the format asks, LF as some programs send, comments, escapes.
    EXPECT_EQ(playlist::paths_from_uri_list("# dropped\r\nfile:///rec/a%20b.MP4\r\n"
                                            "file://localhost/rec/%E5%BD%95.ts\nfile:///d/\n"
                                            "file:/e.ts"),
              (V{"/rec/a b.MP4", "/rec/\xE5\xBD\x95.ts", "/d/", "/e.ts"}));
    // Other schemes and hosts, broken escapes, escaped NUL and line breaks.
    EXPECT_TRUE(playlist::paths_from_uri_list("http://h/a.mp4\r\nfile://other/a.mp4\r\n"
                                              "file:///a%2.mp4\r\nfile:///a%zz.mp4\r\n"
                                              "file:///a%00.mp4\r\nfile:///a%0A.mp4\r\n"
                                              "file:a.mp4\r\nfile://\r\n\r\n")
                    .empty());
}

}  // namespace
