// The recorder's packets and names, byte by byte.
#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>

#include "ts_builder.h"
#include "tsfix/byte_streambuf.h"
#include "tsfix/ts_packet.h"

namespace {

const std::uint8_t* bytes(const std::string& s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

class UtcTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
};

// 2024-12-07 15:30:00 UTC
constexpr std::int64_t kNameTime = 1733585400;

TEST(PcrPacket, IsRecognisedByPidWhateverTheFlags) {
    std::string p = ts_test::recorder_packet({2024, 12, 7, 15, 30, 0});
    EXPECT_TRUE(tsfix::is_pcr_packet(bytes(p)));
    EXPECT_TRUE(tsfix::is_unit_start_pcr_packet(bytes(p)));
    p[1] = static_cast<char>(0x10 | 0x80);  // error flag, no unit start
    EXPECT_TRUE(tsfix::is_pcr_packet(bytes(p)));
    EXPECT_FALSE(tsfix::is_unit_start_pcr_packet(bytes(p)));
    p[2] = 0x01;  // PID 0x1001
    EXPECT_FALSE(tsfix::is_pcr_packet(bytes(p)));
    p = ts_test::recorder_packet({2024, 12, 7, 15, 30, 0});
    p[0] = 0x46;
    EXPECT_FALSE(tsfix::is_pcr_packet(bytes(p)));
    EXPECT_FALSE(tsfix::is_pcr_packet(bytes(ts_test::filler_packet())));
}

TEST(PcrPacket, PcrIsReadOnlyFromAnAdaptationFieldThatCarriesOne) {
    // base 900000 (10 s at 90 kHz), extension 150: (900000 * 300 + 150) / 27000 = 10000 ms
    std::string p = ts_test::recorder_packet({2024, 12, 7, 15, 30, 0}, 900000, 150);
    std::int64_t ms = -1;
    ASSERT_TRUE(tsfix::read_pcr_ms(bytes(p), ms));
    EXPECT_EQ(ms, 10000);
    EXPECT_EQ(tsfix::read_pcr_raw(bytes(p)), 900150);

    // The 33rd bit of the base counts.
    p = ts_test::recorder_packet({2024, 12, 7, 15, 30, 0}, (std::int64_t{1} << 32) + 1, 0);
    EXPECT_EQ(tsfix::read_pcr_raw(bytes(p)), (std::int64_t{1} << 32) + 1);

    std::string no_flag = p;
    no_flag[5] = 0x00;
    std::string short_field = p;
    short_field[4] = 6;
    std::string payload_only = p;
    payload_only[3] = 0x10;
    for (const std::string* q : {&no_flag, &short_field, &payload_only}) {
        ms = -1;
        EXPECT_FALSE(tsfix::read_pcr_ms(bytes(*q), ms));
        EXPECT_EQ(ms, -1);
        EXPECT_EQ(tsfix::read_pcr_raw(bytes(*q)), 0);
    }
}

TEST_F(UtcTest, PacketTimeAndNameTimeAreLocalCalendarTimes) {
    EXPECT_EQ(tsfix::read_packet_time(bytes(ts_test::recorder_packet({2024, 12, 7, 15, 30, 0}))),
              kNameTime);
    EXPECT_EQ(tsfix::name_time_of("/media/card/20241207_153000A.ts"), kNameTime);
    EXPECT_EQ(tsfix::name_time_of("20241207_153000A.ts"), kNameTime);  // no folder
    // Names that are not the recorder's give no time.
    EXPECT_EQ(tsfix::name_time_of("/media/fisheye.ts"), 0);
    EXPECT_EQ(tsfix::name_time_of("/media/2024120_15300.ts"), 0);
    EXPECT_EQ(tsfix::name_time_of("/media/20241207_1530"), 0);
    EXPECT_EQ(tsfix::name_time_of("/20241207_153000A.ts/clip"), 0);
}

TEST(PcrPacket, ConsistencyWindowIsMinus15ToPlus74SecondsInclusive) {
    EXPECT_TRUE(tsfix::is_consistent(kNameTime - 15, kNameTime));
    EXPECT_TRUE(tsfix::is_consistent(kNameTime + 74, kNameTime));
    EXPECT_FALSE(tsfix::is_consistent(kNameTime - 16, kNameTime));
    EXPECT_FALSE(tsfix::is_consistent(kNameTime + 75, kNameTime));
}

TEST(PcrPacket, OnlyDotTsAndDotTSPathsAreRepaired) {
    EXPECT_TRUE(tsfix::is_ts_path("/a/b.ts"));
    EXPECT_TRUE(tsfix::is_ts_path("/a/b.TS"));
    EXPECT_FALSE(tsfix::is_ts_path("/a/b.Ts"));
    EXPECT_FALSE(tsfix::is_ts_path("/a/b.mts"));
    EXPECT_FALSE(tsfix::is_ts_path("/a/b.ts.mp4"));
    EXPECT_FALSE(tsfix::is_ts_path("/a/ts"));
}

TEST(ByteStreambuf, KeepsUnconsumedBytesWhenItGrows) {
    tsfix::byte_streambuf buf;
    EXPECT_EQ(buf.capacity(), tsfix::byte_streambuf::kInitialCapacity);
    std::uint8_t* out = buf.prepare(200);
    for (int i = 0; i < 200; ++i) out[i] = static_cast<std::uint8_t>(i);
    buf.commit(200);
    buf.consume(188);
    ASSERT_EQ(buf.size(), 12u);
    out = buf.prepare(1000);  // moves the 12 bytes to the front and grows
    EXPECT_GE(buf.capacity(), 1012u);
    out[0] = 0xEE;
    buf.commit(1);
    ASSERT_EQ(buf.size(), 13u);
    EXPECT_EQ(buf.data()[0], 188);
    EXPECT_EQ(buf.data()[11], 199);
    EXPECT_EQ(buf.data()[12], 0xEE);
}

TEST(ByteStreambuf, OverrunsRaiseLengthErrors) {
    tsfix::byte_streambuf buf;
    buf.prepare(10);
    EXPECT_THROW(
        {
            try {
                buf.commit(buf.capacity() + 1);
            } catch (const std::length_error& e) {
                EXPECT_STREQ(e.what(), "byte_streambuf commit too long");
                throw;
            }
        },
        std::length_error);
    buf.commit(10);
    try {
        buf.consume(11);
        ADD_FAILURE() << "consume past the data";
    } catch (const std::length_error& e) {
        EXPECT_STREQ(e.what(), "byte_streambuf consume too long");
    }
    try {
        buf.prepare(static_cast<std::size_t>(-1));
        ADD_FAILURE() << "prepare past the maximum";
    } catch (const std::length_error& e) {
        EXPECT_STREQ(e.what(), "byte_streambuf too long");
    }
    EXPECT_EQ(buf.size(), 10u);
}

}  // namespace
