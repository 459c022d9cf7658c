// The MP4 walk on box trees built in memory, whole and damaged.
#include <random>

#include <gtest/gtest.h>

#include "builders.h"
#include "byte_source.h"
#include "readers.h"

namespace {

using namespace gps_test;

// ftyp (24 bytes), then an mdat whose payload starts at kDataAt, then moov.
constexpr std::uint32_t kDataAt = 24 + 8;

std::string mp4_file(const std::string& data, const std::string& moov_children) {
    return ftyp() + box("mdat", data) + box("moov", moov_children);
}

std::vector<gps::GpsRecord> walk(const std::string& bytes) {
    gps::MemorySource source(bytes.data(), bytes.size());
    return gps::walk_mp4(source);
}

// Three 120-byte records at kDataAt, speeds 0, 1, 2.
std::string three_records() {
    return bytes_of(record_at(0)) + bytes_of(record_at(1)) + bytes_of(record_at(2));
}
const std::vector<std::uint64_t> kRecordOffsets = {kDataAt, kDataAt + 120, kDataAt + 240};

std::vector<int> speeds(const std::vector<gps::GpsRecord>& track) {
    std::vector<int> s;
    for (const auto& r : track) s.push_back(static_cast<int>(r.speed_mps + 0.5));
    return s;
}

// Three sample blocks at kDataAt (10, 20 and 30 knots) and their index.
std::string three_blocks() {
    std::string data;
    for (int i = 0; i < 3; ++i) {
        data += mp4_block(mp4_sample(30 + i, 'A', 'N', 'E', 2232.5f, 11403.0f, 10.0f * (i + 1)));
    }
    return data;
}
const std::vector<std::uint32_t> kBlockOffsets = {kDataAt, kDataAt + 88, kDataAt + 176};

TEST(Mp4Walk, GpsIndexBoxGivesOneRecordPerEntryAndWinsOverSubtitles) {
    const std::string data = three_blocks() + three_records();
    const std::vector<std::uint64_t> records_at = {kDataAt + 264, kDataAt + 384};
    const auto track = walk(mp4_file(data, trak("vide", chunk_offsets("stco", {kDataAt})) +
                                               trak("sbtl", chunk_offsets("stco", records_at)) +
                                               gps_index(kBlockOffsets)));
    ASSERT_EQ(track.size(), 3u);
    EXPECT_EQ(track[2].second, 32);
    EXPECT_NEAR(track[0].latitude_deg, 22.5416666, 2e-6);
    EXPECT_NEAR(track[0].speed_mps, 5.1444444, 1e-6);
    EXPECT_NEAR(track[2].speed_mps, 3 * 5.1444444, 1e-5);
}

TEST(Mp4Walk, FirstSubtitleTrackGivesOneRecordPerChunk) {
    const std::string data = three_records();
    const auto track = walk(
        mp4_file(data, trak("vide", chunk_offsets("stco", {kDataAt + 240})) +
                           trak("sbtl", chunk_offsets("stco", {kDataAt + 240, kDataAt})) +
                           trak("sbtl", chunk_offsets("stco", kRecordOffsets)) + gps_index({})));
    EXPECT_EQ(speeds(track), (std::vector<int>{2, 0}));
    EXPECT_EQ(bytes_of(track[1]), bytes_of(record_at(0)));  // copied byte for byte
}

TEST(Mp4Walk, NoGpsIndexAndNoSubtitleTrackGivesNothing) {
    EXPECT_TRUE(walk(mp4_file(three_records(), trak("vide", chunk_offsets("stco", kRecordOffsets))))
                    .empty());
    EXPECT_TRUE(walk(mp4_file(three_records(), trak("soun", chunk_offsets("stco", kRecordOffsets))))
                    .empty());
    EXPECT_TRUE(walk(ftyp()).empty());
    EXPECT_TRUE(walk("").empty());
}

TEST(Mp4Walk, ChunkOffsetsComeIn32And64Bits) {
    const std::string data = three_records();
    EXPECT_EQ(speeds(walk(mp4_file(data, trak("sbtl", chunk_offsets("c064", kRecordOffsets))))),
              (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(speeds(walk(mp4_file(data, trak("sbtl", chunk_offsets("co64", kRecordOffsets))))),
              (std::vector<int>{0, 1, 2}));
    // A 64-bit offset beyond 4 GiB is not cut to its low 32 bits.
    const std::uint64_t far = (std::uint64_t{1} << 32) + kDataAt;
    EXPECT_EQ(speeds(walk(mp4_file(
                  data, trak("sbtl", chunk_offsets("co64", {kDataAt + 120, far, kDataAt}))))),
              (std::vector<int>{1}));
}

TEST(Mp4Walk, LargeSizeBoxesAreWalked) {
    const std::string data = three_records();
    const std::string mdat64 = be32(1) + "mdat" + be64(16 + data.size()) + data;
    const std::uint64_t at = 24 + 16;
    const std::string moov =
        box("moov", trak("sbtl", chunk_offsets("stco", {at, at + 120, at + 240})));
    EXPECT_EQ(walk(ftyp() + mdat64 + moov).size(), 3u);
    // A 64-bit size smaller than its header, or past the file, ends the walk.
    for (std::uint64_t bad : {std::uint64_t{0}, std::uint64_t{15}, std::uint64_t{1} << 40}) {
        const std::string broken = be32(1) + "mdat" + be64(bad) + data;
        EXPECT_TRUE(walk(ftyp() + broken + moov).empty()) << bad;
    }
}

TEST(Mp4WalkDamaged, BoxesSmallerThanTheirHeaderEndTheWalk) {
    const std::string data = three_records();
    const std::string moov = box("moov", trak("sbtl", chunk_offsets("stco", kRecordOffsets)));
    for (std::uint32_t size = 0; size < 8; ++size) {
        // Before moov: the walk ends and finds nothing, at once.
        const std::string before = ftyp() + box_sized(size, "free", "") + box("mdat", data) + moov;
        EXPECT_TRUE(walk(before).empty()) << size;
        // Inside moov after the subtitle track: what was found stays.
        const std::string inside = ftyp() + box("mdat", data) +
                                   box("moov", trak("sbtl", chunk_offsets("stco", kRecordOffsets)) +
                                                   box_sized(size, "junk", std::string(64, '\0')));
        EXPECT_EQ(walk(inside).size(), 3u) << size;
    }
}

TEST(Mp4WalkDamaged, AChildRunningPastItsParentIsNotRead) {
    const std::string data = three_records();
    // stco claims more bytes than its stbl holds.
    std::string stco = chunk_offsets("stco", kRecordOffsets);
    const std::string long_stco =
        be32(static_cast<std::uint32_t>(stco.size() + 40)) + stco.substr(4);
    EXPECT_TRUE(walk(mp4_file(data, trak("sbtl", long_stco))).empty());
    // moov runs past the end of the file.
    const std::string file = mp4_file(data, trak("sbtl", stco));
    EXPECT_TRUE(walk(file.substr(0, file.size() - 1)).empty());
    // A gps index box running past moov.
    const std::string index = gps_index({kDataAt});
    const std::string moov_short = be32(static_cast<std::uint32_t>(8 + index.size() - 4)) + "moov";
    EXPECT_TRUE(walk(ftyp() + box("mdat", three_blocks()) + moov_short + index).empty());
}

TEST(Mp4WalkDamaged, CountsLargerThanTheirBoxReadOnlyTheEntriesPresent) {
    const std::string data = three_blocks() + three_records();
    const std::vector<std::uint64_t> records_at = {kDataAt + 264, kDataAt + 384, kDataAt + 504};
    EXPECT_EQ(
        walk(mp4_file(data, trak("sbtl", chunk_offsets("stco", records_at, 0xFFFFFFFF)))).size(),
        3u);
    EXPECT_EQ(
        walk(mp4_file(data, trak("sbtl", chunk_offsets("co64", records_at, 0x7FFFFFFF)))).size(),
        3u);
    EXPECT_EQ(walk(mp4_file(data, gps_index(kBlockOffsets, 0xFFFFFFFF))).size(), 3u);
    // Box headers too short to hold their count.
    EXPECT_TRUE(walk(mp4_file(data, box("gps ", be32(0)))).empty());
    EXPECT_TRUE(walk(mp4_file(data, trak("sbtl", box("stco", be32(0))))).empty());
    EXPECT_TRUE(
        walk(mp4_file(data, trak("sbtl", box("co64", be32(0) + be32(2) + be32(0))))).empty());
}

TEST(Mp4WalkDamaged, OffsetsPastTheEndEndTheTrackThere) {
    const std::string data = three_blocks();
    const std::uint32_t end = static_cast<std::uint32_t>(24 + 8 + data.size());
    // The index's second block lies past the end of the file: the first
    // record stays, the third is not taken out of step.
    const std::string moov = gps_index({kDataAt, 0xFFFFFFF0, kDataAt + 176});
    EXPECT_EQ(walk(mp4_file(data, moov)).size(), 1u);
    // A block that the end of the file cuts.
    const std::string file = ftyp() + box("mdat", data) + box("moov", gps_index({kDataAt, 0}));
    const std::uint32_t file_end = static_cast<std::uint32_t>(file.size());
    for (std::uint32_t cut_block : {file_end - 88 + 1, file_end - 44 + 1, file_end, end + 1000}) {
        const std::string f =
            ftyp() + box("mdat", data) + box("moov", gps_index({kDataAt, cut_block}));
        EXPECT_EQ(walk(f).size(), 1u) << cut_block;
    }
    // A subtitle record that the end of the file cuts.
    const std::string records = three_records();
    const std::string sub = mp4_file(records, trak("sbtl", chunk_offsets("stco", {kDataAt, 0})));
    const std::uint32_t size = static_cast<std::uint32_t>(sub.size());
    for (std::uint32_t at : {size - 119, size - 1, size, 0xFFFFFFFFu}) {
        const auto t = walk(mp4_file(records, trak("sbtl", chunk_offsets("stco", {kDataAt, at}))));
        EXPECT_EQ(t.size(), 1u) << at;
    }
}

TEST(Mp4WalkDamaged, AShortHandlerBoxHasNoType) {
    const std::string data = three_records();
    const std::string short_hdlr = box("hdlr", be32(0) + be32(0) + "sb");
    const std::string t = box(
        "trak",
        box("mdia", short_hdlr + box("minf", box("stbl", chunk_offsets("stco", kRecordOffsets)))));
    EXPECT_TRUE(walk(mp4_file(data, t)).empty());
}

// Every cut of a valid file, and random damage to it, is walked without a
// fault (the sanitizer build checks every read) and gives no more records
// than the whole file has.
TEST(Mp4WalkDamaged, EveryTruncationAndRandomDamageIsSafe) {
    const std::string data = three_blocks() + three_records();
    const std::string file =
        mp4_file(data, trak("sbtl", chunk_offsets("co64", {kDataAt + 264, kDataAt + 384})) +
                           gps_index(kBlockOffsets));
    for (std::size_t n = 0; n <= file.size(); ++n) EXPECT_LE(walk(file.substr(0, n)).size(), 3u);

    std::mt19937 rng(12345);
    for (int round = 0; round < 3000; ++round) {
        std::string damaged = file;
        const int flips = 1 + static_cast<int>(rng() % 8);
        for (int i = 0; i < flips; ++i) {
            damaged[rng() % damaged.size()] = static_cast<char>(rng() & 0xFF);
        }
        EXPECT_LE(walk(damaged).size(), gps::kMaxTrackRecords);
    }
}

}  // namespace
