// KVP.cfg, Playlist.lmr and tstamp.szy as bytes, and the settings folder on
// disk. Expected bytes and times are worked out by hand.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "shell/file_io.h"
#include "shell/settings_files.h"
#include "shell/settings_store.h"
#include "temp_dir.h"

namespace {

using shell::FileTime;
using shell::PlayConfig;

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out.push_back(static_cast<char>(v));
    return out;
}

constexpr FileTime kTicksPerHour = 36000000000LL;
constexpr FileTime kTicksPerDay = 24 * kTicksPerHour;

TEST(PlayConfigFile, ReadsWhatTheBytesHoldAndWritesEightBytes) {
    const PlayConfig full = shell::parse_play_config(bytes({2, 0, 0, 0, 5, 0, 0, 0}));
    EXPECT_EQ(full.play_mode, 2);
    EXPECT_EQ(full.last_index, 5);

    const PlayConfig four = shell::parse_play_config(bytes({1, 0, 0, 0}));
    EXPECT_EQ(four.play_mode, 1);
    EXPECT_EQ(four.last_index, -1);

    const PlayConfig none = shell::parse_play_config("");
    EXPECT_EQ(none.play_mode, 0);
    EXPECT_EQ(none.last_index, -1);

    const PlayConfig longer = shell::parse_play_config(bytes({1, 0, 0, 0, 3, 0, 0, 0, 9, 9}));
    EXPECT_EQ(longer.last_index, 3);

    EXPECT_EQ(shell::encode_play_config({2, -1}), bytes({2, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(shell::encode_play_config({0, 258}), bytes({0, 0, 0, 0, 2, 1, 0, 0}));
}

TEST(PlayConfigFile, ValidationRepairsModeAndIndex) {
    struct Case {
        PlayConfig in;
        std::size_t playlist_size;
        PlayConfig out;
    } cases[] = {
        {{1, 2}, 3, {1, 2}},  {{2, -1}, 0, {2, -1}}, {{3, 0}, 1, {0, 0}},   {{-1, 0}, 1, {0, 0}},
        {{0, 3}, 3, {0, -1}}, {{0, 0}, 0, {0, -1}},  {{0, -7}, 5, {0, -1}},
    };
    for (const Case& c : cases) {
        const PlayConfig v = shell::validated_play_config(c.in, c.playlist_size);
        EXPECT_EQ(v.play_mode, c.out.play_mode) << c.in.play_mode;
        EXPECT_EQ(v.last_index, c.out.last_index) << c.in.last_index << " of " << c.playlist_size;
    }
}

TEST(PlaylistFile, OneEntryPerLine) {
    EXPECT_EQ(shell::parse_playlist("/a/b.mp4\n/c d/é.ts\n"),
              (std::vector<std::string>{"/a/b.mp4", "/c d/é.ts"}));
    // Windows line ends, empty lines, no line feed at the end.
    EXPECT_EQ(shell::parse_playlist("C:\\r\\1.ts\r\n\n\r\n/x.mp4"),
              (std::vector<std::string>{"C:\\r\\1.ts", "/x.mp4"}));
    EXPECT_TRUE(shell::parse_playlist("").empty());
    EXPECT_EQ(shell::encode_playlist({"/a.mp4", "/b.ts"}), "/a.mp4\n/b.ts\n");
    EXPECT_EQ(shell::encode_playlist({}), "");
}

TEST(StampFile, SystemTimeBytesAndFileTimes) {
    // Thursday 29 February 2024, 13:45:30.250 UTC.
    const shell::SystemTime t{2024, 2, 4, 29, 13, 45, 30, 250};
    const std::string b = shell::encode_stamp(t);
    EXPECT_EQ(b, bytes({0xE8, 0x07, 2, 0, 4, 0, 29, 0, 13, 0, 45, 0, 30, 0, 0xFA, 0}));
    const auto back = shell::parse_stamp(b);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->day, 29);
    EXPECT_EQ(back->milliseconds, 250);

    // The Unix epoch is 11644473600 s after 1601-01-01.
    EXPECT_EQ(shell::file_time_of({1970, 1, 4, 1, 0, 0, 0, 0}), 116444736000000000LL);
    EXPECT_EQ(shell::file_time_from_unix_ms(0), 116444736000000000LL);
    const shell::SystemTime epoch = shell::system_time_of(116444736000000000LL);
    EXPECT_EQ(epoch.year, 1970);
    EXPECT_EQ(epoch.day_of_week, 4);  // a Thursday
    const shell::SystemTime round = shell::system_time_of(shell::file_time_of(t));
    EXPECT_EQ(shell::encode_stamp(round), b);
}

TEST(StampFile, WholeDaysAndWhatCountsAsUnknown) {
    const shell::SystemTime then{2024, 3, 5, 1, 12, 0, 0, 0};
    const std::string stamp = shell::encode_stamp(then);
    const FileTime t0 = shell::file_time_of(then);
    EXPECT_EQ(shell::days_since_stamp(stamp, t0), 0);
    EXPECT_EQ(shell::days_since_stamp(stamp, t0 + 7 * kTicksPerDay + 23 * kTicksPerHour), 7);
    EXPECT_EQ(shell::days_since_stamp(stamp, t0 + 8 * kTicksPerDay), 8);
    // Missing, short, in the future, or a time Windows would refuse.
    EXPECT_EQ(shell::days_since_stamp(std::nullopt, t0), 100);
    EXPECT_EQ(shell::days_since_stamp(stamp.substr(0, 15), t0), 100);
    EXPECT_EQ(shell::days_since_stamp(stamp, t0 - 1), 100);
    EXPECT_EQ(shell::days_since_stamp(shell::encode_stamp({2024, 13, 0, 1, 0, 0, 0, 0}), t0), 100);
    EXPECT_EQ(shell::days_since_stamp(shell::encode_stamp({2023, 2, 0, 29, 0, 0, 0, 0}), t0), 100);
    EXPECT_EQ(shell::days_since_stamp(shell::encode_stamp({2024, 1, 0, 1, 24, 0, 0, 0}), t0), 100);
    EXPECT_EQ(shell::days_since_stamp(std::string(16, '\xFF'), t0), 100);
    // A leap day is a day; the day of the week is not checked.
    EXPECT_EQ(shell::days_since_stamp(shell::encode_stamp({2024, 2, 6, 29, 12, 0, 0, 0}), t0), 1);
}

TEST(SettingsFolder, ChoiceByEnvironmentAndProgramFolder) {
    using In = shell::SettingsFolderInputs;
    EXPECT_EQ(shell::choose_settings_folder(In{"/s", "/p", true, "/x", "/h"}), "/s");
    EXPECT_EQ(shell::choose_settings_folder(In{"", "/p", true, "/x", "/h"}), "/p");
    EXPECT_EQ(shell::choose_settings_folder(In{"", "/p", false, "/x", "/h"}), "/x/kvp");
    EXPECT_EQ(shell::choose_settings_folder(In{"", "/p", false, "", "/h"}), "/h/.config/kvp");
    EXPECT_EQ(shell::choose_settings_folder(In{"", "/p", false, "", ""}), "");
}

shell::SettingsFolderInputs folder_inputs(const std::string& dir) {
    shell::SettingsFolderInputs in;
    in.override_dir = dir;
    return in;
}

TEST(SettingsStore, SavesBothFilesAndReadsThemBack) {
    kvp_test::TempDir dir;
    const std::string folder = dir.file("nested/settings");
    {
        shell::SettingsStore store(folder_inputs(folder));
        ASSERT_TRUE(store.owns_folder()) << store.notice();
        shell::StoredSettings s;
        s.config = {1, 1};
        s.playlist = {"/v/a.mp4", "/v/b.ts"};
        std::string error;
        ASSERT_TRUE(store.save(s, &error)) << error;
        // Saving again with nothing changed rewrites the same bytes.
        ASSERT_TRUE(store.save(s, &error)) << error;
    }
    EXPECT_EQ(kvp_test::read_file(folder + "/KVP.cfg"), bytes({1, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(kvp_test::read_file(folder + "/Playlist.lmr"), "/v/a.mp4\n/v/b.ts\n");
    // No temporary file is left behind.
    const auto listing = kvp_test::run_command("ls -A '" + folder + "'");
    EXPECT_EQ(listing.out, "KVP.cfg\nKVP.lock\nPlaylist.lmr\n");

    shell::SettingsStore again(folder_inputs(folder));
    const shell::StoredSettings loaded = again.load();
    EXPECT_EQ(loaded.config.play_mode, 1);
    EXPECT_EQ(loaded.config.last_index, 1);
    EXPECT_EQ(loaded.playlist.size(), 2u);
}

TEST(SettingsStore, LastIndexIsCheckedAgainstThePlaylist) {
    kvp_test::TempDir dir;
    kvp_test::write_file(dir.file("KVP.cfg"), bytes({9, 0, 0, 0, 2, 0, 0, 0}));
    kvp_test::write_file(dir.file("Playlist.lmr"), "/a.mp4\n/b.mp4\n");
    shell::SettingsStore store(folder_inputs(dir.path()));
    const shell::StoredSettings s = store.load();
    EXPECT_EQ(s.config.play_mode, 0);
    EXPECT_EQ(s.config.last_index, -1);
}

TEST(SettingsStore, SecondViewerOnOneFolderNeverWrites) {
    kvp_test::TempDir dir;
    shell::SettingsStore first(folder_inputs(dir.path()));
    ASSERT_TRUE(first.owns_folder());
    shell::SettingsStore second(folder_inputs(dir.path()));
    EXPECT_FALSE(second.owns_folder());
    EXPECT_NE(second.notice().find("another KVP uses"), std::string::npos) << second.notice();
    shell::StoredSettings s;
    s.playlist = {"/x.mp4"};
    std::string error;
    EXPECT_FALSE(second.save(s, &error));
    EXPECT_FALSE(second.write_update_stamp(shell::file_time_now(), &error));
    EXPECT_EQ(::access(dir.file("Playlist.lmr").c_str(), F_OK), -1);
}

// Makes a folder read-only for this process: immutable for root (which
// ignores permission bits), mode 0555 for anyone else. False when neither
// works here.
bool make_read_only(const std::string& folder) {
    if (::geteuid() != 0) return ::chmod(folder.c_str(), 0555) == 0;
    return kvp_test::run_command("chattr +i '" + folder + "' 2>/dev/null").exit_code == 0;
}

void make_writable(const std::string& folder) {
    if (::geteuid() != 0) {
        ::chmod(folder.c_str(), 0755);
    } else {
        kvp_test::run_command("chattr -i '" + folder + "' 2>/dev/null");
    }
}

TEST(SettingsStore, ReadOnlyFolderKeepsTheOldFiles) {
    kvp_test::TempDir dir;
    const std::string config = bytes({2, 0, 0, 0, 0, 0, 0, 0});
    kvp_test::write_file(dir.file("KVP.cfg"), config);
    kvp_test::write_file(dir.file("Playlist.lmr"), "/kept.mp4\n");
    if (!make_read_only(dir.path())) GTEST_SKIP() << "cannot make a read-only folder here";
    {
        shell::SettingsStore store(folder_inputs(dir.path()));
        const shell::StoredSettings loaded = store.load();
        EXPECT_EQ(loaded.config.play_mode, 2);
        shell::StoredSettings changed;
        changed.playlist = {"/new.mp4"};
        std::string error;
        EXPECT_FALSE(store.save(changed, &error));
        EXPECT_NE(error.find("KVP.cfg"), std::string::npos) << error;
        EXPECT_NE(error.find("Playlist.lmr"), std::string::npos) << error;
    }
    make_writable(dir.path());
    EXPECT_EQ(kvp_test::read_file(dir.file("KVP.cfg")), config);
    EXPECT_EQ(kvp_test::read_file(dir.file("Playlist.lmr")), "/kept.mp4\n");
}

TEST(SettingsStore, UpdateStampIsWrittenAndAged) {
    kvp_test::TempDir dir;
    shell::SettingsStore store(folder_inputs(dir.path()));
    const FileTime now = shell::file_time_now();
    EXPECT_EQ(store.days_since_update_check(now), 100);
    std::string error;
    ASSERT_TRUE(store.write_update_stamp(now - 8 * kTicksPerDay, &error)) << error;
    EXPECT_EQ(kvp_test::read_file(dir.file("tstamp.szy")).size(), 16u);
    EXPECT_EQ(store.days_since_update_check(now), 8);
}

TEST(ReplacingWrite, FailsWithoutTouchingWhatIsThere) {
    kvp_test::TempDir dir;
    // A folder where the file should be: the rename fails.
    ASSERT_EQ(::mkdir(dir.file("KVP.cfg").c_str(), 0755), 0);
    std::string error;
    EXPECT_FALSE(shell::write_file_replacing(dir.file("KVP.cfg"), "12345678", 0644, &error));
    EXPECT_NE(error.find("KVP.cfg"), std::string::npos) << error;
    EXPECT_EQ(kvp_test::run_command("ls -A '" + dir.path() + "'").out, "KVP.cfg\n");
    // A missing folder: nothing can be created.
    EXPECT_FALSE(shell::write_file_replacing(dir.file("no/such/file"), "x", 0644, &error));
    // Mode bits are applied.
    ASSERT_TRUE(shell::write_file_replacing(dir.file("tool"), "#!/bin/sh\n", 0755, &error));
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("tool").c_str(), &st), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0755u & ~mask);
}

}  // namespace
