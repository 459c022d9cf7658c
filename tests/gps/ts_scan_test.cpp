// The MPEG-TS scan on packets built in memory.
#include <gtest/gtest.h>

#include "builders.h"
#include "byte_source.h"
#include "readers.h"

namespace {

using gps_test::end_packet;
using gps_test::gps_packet;
using gps_test::record_at;
using gps_test::ts_with_records;
using gps_test::video_packet;

gps::TsScanResult scan(const std::string& bytes) {
    gps::MemorySource source(bytes.data(), bytes.size());
    return gps::scan_ts(source);
}

std::vector<int> seconds_of(const gps::TsScanResult& r) {
    std::vector<int> s;
    for (const auto& rec : r.track) s.push_back(static_cast<int>(rec.speed_mps));
    return s;
}

TEST(TsScan, KeepsRecordsAfterTheFirstPacketAndMarksTheTrackContinuous) {
    const auto r = scan(ts_with_records({record_at(0), record_at(1), record_at(2)}));
    EXPECT_EQ(seconds_of(r), (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(r.continuous);
    EXPECT_EQ(r.track[1].second, 31);
}

TEST(TsScan, OneAcceptedRecordGivesAnEmptyTrack) {
    for (const auto& bytes : {ts_with_records({record_at(0)}), ts_with_records({}), std::string(),
                              gps_test::gps_packet(record_at(0))}) {
        const auto r = scan(bytes);
        EXPECT_TRUE(r.track.empty());
        EXPECT_FALSE(r.continuous);
    }
}

TEST(TsScan, AJumpOfMoreThan100SecondsEndsTheScan) {
    const auto jump101 = scan(ts_with_records(
        {record_at(0), record_at(1), record_at(102), record_at(103), record_at(2)}));
    EXPECT_EQ(seconds_of(jump101), (std::vector<int>{0, 1}));
    const auto jump100 = scan(ts_with_records({record_at(0), record_at(1), record_at(101)}));
    EXPECT_EQ(seconds_of(jump100), (std::vector<int>{0, 1, 101}));
    // Backwards counts the same.
    const auto back101 = scan(ts_with_records({record_at(200), record_at(201), record_at(100)}));
    EXPECT_EQ(seconds_of(back101), (std::vector<int>{200, 201}));
    // The jump is measured across a day and a month boundary by the calendar.
    auto late = record_at(0);
    late.month = 5, late.day = 31, late.hour = 23, late.minute = 59, late.second = 30;
    auto early = late;
    early.month = 6, early.day = 1, early.hour = 0, early.minute = 1, early.second = 10;
    EXPECT_EQ(scan(ts_with_records({late, early})).track.size(), 2u);  // 100 s apart
}

TEST(TsScan, OnlyStatusesABAndVAreKept) {
    auto r = scan(ts_with_records({record_at(0, 'A'), record_at(1, 'X'), record_at(2, 'B'),
                                   record_at(500, '\0'), record_at(3, 'V'), record_at(4, 'a')}));
    EXPECT_EQ(seconds_of(r), (std::vector<int>{0, 2, 3}));
    EXPECT_EQ(r.track[1].status, 'B');  // kept as it was written
    EXPECT_EQ(r.track[2].status, 'V');
}

TEST(TsScan, TheEndMarkerStopsTheScan) {
    std::string ts = ts_with_records({record_at(0), record_at(1), record_at(2)});
    ts += end_packet() + gps_packet(record_at(3)) + gps_packet(record_at(4));
    EXPECT_EQ(seconds_of(scan(ts)), (std::vector<int>{0, 1, 2}));
}

TEST(TsScan, NoGpsPacketAmongTheFirst21PacketsCostsOneBlock) {
    std::string quiet;
    for (int i = 0; i < 21; ++i) quiet += video_packet();
    std::string big = quiet;
    while (big.size() < 10 * gps::kTsChunkSize) big += video_packet();
    const auto none = scan(big);
    EXPECT_TRUE(none.track.empty());
    EXPECT_EQ(none.bytes_read, gps::kTsChunkSize);

    // A first GPS packet as the 21st packet still counts; as the 22nd it does not.
    const std::string tail = ts_with_records({record_at(0), record_at(1)}).substr(2 * 188);
    const std::string at21 = quiet.substr(188) + gps_packet(record_at(-1)) + tail;
    EXPECT_EQ(scan(at21).track.size(), 2u);
    const std::string at22 = quiet + gps_packet(record_at(-1)) + tail;
    EXPECT_TRUE(scan(at22).track.empty());
}

TEST(TsScan, RecordsAreFoundAcrossManyBlocks) {
    // 40 records, one every 700 packets: about 220 blocks of 128 packets,
    // most of them without a GPS packet; the whole file is read.
    std::vector<gps::GpsRecord> records;
    for (int s = 0; s < 40; ++s) records.push_back(record_at(s));
    const std::string ts = ts_with_records(records, 700);
    const auto r = scan(ts);
    EXPECT_EQ(r.track.size(), 40u);
    EXPECT_EQ(r.bytes_read, ts.size());
}

TEST(TsScan, AFileCutInsideAPacketEndsBeforeThatPacket) {
    const std::string whole = ts_with_records({record_at(0), record_at(1), record_at(2)}, 0);
    // The last GPS packet loses its tail: its record must not be read.
    for (std::size_t cut : {std::size_t{1}, std::size_t{50}, std::size_t{187}}) {
        const auto r = scan(whole.substr(0, whole.size() - cut));
        EXPECT_EQ(seconds_of(r), (std::vector<int>{0, 1})) << cut;
    }
    // A block that ends mid-packet at the end of a larger file.
    std::string big = ts_with_records({record_at(0), record_at(1)}, 200);
    big += gps_packet(record_at(2)).substr(0, 100);
    EXPECT_EQ(scan(big).track.size(), 2u);
}

TEST(TsScan, ATrackLongerThanADayIsCut) {
    std::string ts = video_packet() + gps_packet(record_at(-1));
    ts.reserve((gps::kMaxTrackRecords + 10) * 188);
    for (std::size_t s = 0; s < gps::kMaxTrackRecords + 5; ++s) {
        ts += gps_packet(record_at(static_cast<int>(s % 50)));
    }
    EXPECT_EQ(scan(ts).track.size(), gps::kMaxTrackRecords);
}

TEST(TsScan, SyncBytesAreNotLookedFor) {
    // Packets are taken at fixed steps: one stray byte at the start shifts
    // every packet, and no GPS packet is found.
    const std::string ts = ts_with_records({record_at(0), record_at(1)});
    EXPECT_EQ(scan(ts).track.size(), 2u);
    EXPECT_TRUE(scan("\x47" + ts).track.empty());
}

}  // namespace
