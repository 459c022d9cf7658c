// The last PCR of a TS file, which Init takes for the length of a recording
// whose streams tell none.
#include <gtest/gtest.h>

#include "temp_dir.h"
#include "ts_builder.h"
#include "tsfix/ts_fix_tool.h"

namespace {

const ts_test::Clock kT{2024, 12, 7, 15, 30, 0};

class LastPcrTest : public ::testing::Test {
protected:
    std::int64_t last_pcr_of(const std::string& bytes) {
        const std::string path = dir_.file("x.ts");
        EXPECT_TRUE(kvp_test::write_file(path, bytes));
        return tsfix::read_last_pcr(path);
    }
    kvp_test::TempDir dir_;
};

TEST_F(LastPcrTest, IsTheLastUnitStartRecorderPacketsBasePlusExtension) {
    std::string file = ts_test::recording(kT, 5000);
    file += ts_test::recorder_packet(kT, 123456, 7) + ts_test::filler_packet();
    std::string no_unit_start = ts_test::recorder_packet(kT, 999999, 0);
    no_unit_start[1] = 0x10;                       // same PID, but not a unit start: not taken
    file += no_unit_start + std::string(50, 'z');  // and an incomplete packet
    EXPECT_EQ(last_pcr_of(file), 123456 + 7);
}

TEST_F(LastPcrTest, SkipsBlankBlocksAndReachesTheShortFirstBlock) {
    // 1500 packets: the last 1000 are zero, the packet sits in the first 500.
    std::string file = ts_test::recorder_packet(kT, 4242, 0);
    file += std::string(499 * ts_test::kPacket, 'f') + std::string(1000 * ts_test::kPacket, '\0');
    EXPECT_EQ(last_pcr_of(file), 4242);
}

TEST_F(LastPcrTest, IsZeroWithoutARecorderPacketOrAPcr) {
    EXPECT_EQ(tsfix::read_last_pcr(KVP_SAMPLES_DIR "/fisheye.ts"), 0);  // PMT on PID 0x20
    // FFmpeg's default program map on PID 0x1000 carries no PCR.
    EXPECT_EQ(tsfix::read_last_pcr(KVP_SAMPLES_DIR "/20241207_153300A.ts"), 0);
    EXPECT_EQ(last_pcr_of(""), 0);
    EXPECT_EQ(last_pcr_of("short"), 0);
    std::string no_pcr = ts_test::recorder_packet(kT, 5, 0);
    no_pcr[5] = 0;  // adaptation field without the PCR flag
    EXPECT_EQ(last_pcr_of(no_pcr), 0);
    EXPECT_EQ(tsfix::read_last_pcr(dir_.file("missing.ts")), 0);
    EXPECT_EQ(tsfix::read_last_pcr(dir_.path()), 0);
}

TEST_F(LastPcrTest, OfAGeneratedRecordingIsItsLastRecorderPacket) {
    // The generator ends the 2 s clip with PCR base 126000 + 2 x 90000.
    EXPECT_EQ(tsfix::read_last_pcr(KVP_SAMPLES_DIR "/20241207_153000A.ts"), 306000);
}

}  // namespace
