// The record layouts, their conversions and the path rules, by numbers.
#include <cmath>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "builders.h"
#include "gps/track_reader.h"
#include "record_codec.h"

namespace {

using gps::GpsRecord;

template <typename T>
void put(std::string& b, std::size_t at, T v) {
    std::memcpy(&b[at], &v, sizeof v);
}

TEST(GpsRecordLayout, EveryFieldIsReadFromItsStoredOffset) {
    std::string b(120, '\0');
    put<std::int32_t>(b, 0, 13);
    put<std::int32_t>(b, 4, 14);
    put<std::int32_t>(b, 8, 15);
    b[12] = 'A';
    put<double>(b, 16, 22.5);
    b[24] = 'S';
    put<double>(b, 32, 114.25);
    b[40] = 'W';
    put<double>(b, 48, 7.75);
    put<std::int32_t>(b, 64, 2024);
    put<std::int32_t>(b, 68, 2);
    put<std::int32_t>(b, 72, 29);
    put<std::int32_t>(b, 76, -3);
    put<std::int32_t>(b, 80, 4);
    put<std::int32_t>(b, 84, 1000);
    const GpsRecord r = gps::decode_record(reinterpret_cast<const std::uint8_t*>(b.data()));
    EXPECT_EQ(r.hour, 13);
    EXPECT_EQ(r.minute, 14);
    EXPECT_EQ(r.second, 15);
    EXPECT_EQ(r.status, 'A');
    EXPECT_EQ(r.latitude_deg, 22.5);
    EXPECT_EQ(r.ns, 'S');
    EXPECT_EQ(r.longitude_deg, 114.25);
    EXPECT_EQ(r.ew, 'W');
    EXPECT_EQ(r.speed_mps, 7.75);
    EXPECT_EQ(r.year, 2024);
    EXPECT_EQ(r.month, 2);
    EXPECT_EQ(r.day, 29);
    EXPECT_EQ(r.gx, -3);
    EXPECT_EQ(r.gy, 4);
    EXPECT_EQ(r.gz, 1000);
    EXPECT_DOUBLE_EQ(gps::signed_latitude(r), -22.5);
    EXPECT_DOUBLE_EQ(gps::signed_longitude(r), -114.25);
}

TEST(GpsConversions, NmeaPositionsBecomeDegreesAndKnotsBecomeMetresPerSecond) {
    EXPECT_NEAR(gps::nmea_to_degrees(2232.5f), 22.5416666, 2e-6);  // single precision
    EXPECT_NEAR(gps::nmea_to_degrees(11403.0f), 114.05, 1e-5);
    EXPECT_NEAR(gps::nmea_to_degrees(5959.99f), 59.99983, 1e-5);
    EXPECT_EQ(gps::nmea_to_degrees(0.0f), 0.0);
    EXPECT_NEAR(gps::knots_to_mps(10.0f), 5.1444444, 1e-6);
    EXPECT_EQ(gps::knots_to_mps(0.0f), 0.0);
    // Garbage stays a number or NaN, never undefined behaviour.
    EXPECT_TRUE(std::isnan(gps::nmea_to_degrees(std::numeric_limits<float>::quiet_NaN())));
    (void)gps::nmea_to_degrees(std::numeric_limits<float>::max());
    (void)gps::nmea_to_degrees(-std::numeric_limits<float>::infinity());
}

TEST(GpsConversions, Mp4SampleKeepsOnlyAFixAndTheLettersItKnows) {
    const auto decode = [](const std::string& s) {
        return gps::decode_mp4_sample(reinterpret_cast<const std::uint8_t*>(s.data()));
    };
    const GpsRecord a = decode(gps_test::mp4_sample(42, 'A', 'N', 'E', 2232.5f, 11403.0f, 10.0f));
    EXPECT_EQ(a.hour, 10);
    EXPECT_EQ(a.minute, 20);
    EXPECT_EQ(a.second, 42);
    EXPECT_EQ(a.year, 2023);
    EXPECT_EQ(a.month, 5);
    EXPECT_EQ(a.day, 17);
    EXPECT_EQ(a.status, 'A');
    EXPECT_EQ(a.ns, 'N');
    EXPECT_EQ(a.ew, 'E');
    EXPECT_NEAR(a.latitude_deg, 22.5416666, 2e-6);
    EXPECT_NEAR(a.longitude_deg, 114.05, 1e-5);
    EXPECT_NEAR(a.speed_mps, 5.1444444, 1e-6);
    EXPECT_EQ(a.gx, 0);
    EXPECT_EQ(a.gy, 0);
    EXPECT_EQ(a.gz, 0);
    for (char status : {'V', 'B', 'a', '\0', 'X'}) {
        EXPECT_EQ(decode(gps_test::mp4_sample(0, status, 'N', 'E', 0, 0, 0)).status, 'V');
    }
    const GpsRecord other = decode(gps_test::mp4_sample(0, 'A', 'n', '?', 0, 0, 0));
    EXPECT_EQ(other.ns, 'S');
    EXPECT_EQ(other.ew, 'W');
}

GpsRecord at(int year, int month, int day, int hour, int minute, int second) {
    GpsRecord r{};
    r.year = year;
    r.month = month;
    r.day = day;
    r.hour = hour;
    r.minute = minute;
    r.second = second;
    return r;
}

TEST(GpsConversions, RecordTimesFollowTheCalendar) {
    const auto diff = [](const GpsRecord& a, const GpsRecord& b) {
        return gps::record_time_s(b) - gps::record_time_s(a);
    };
    EXPECT_EQ(diff(at(2023, 12, 31, 23, 59, 59), at(2024, 1, 1, 0, 0, 0)), 1);
    EXPECT_EQ(diff(at(2024, 2, 28, 12, 0, 0), at(2024, 3, 1, 12, 0, 0)), 2 * 86400);  // leap year
    EXPECT_EQ(diff(at(2023, 2, 28, 12, 0, 0), at(2023, 3, 1, 12, 0, 0)), 86400);
    EXPECT_EQ(diff(at(2100, 2, 28, 0, 0, 0), at(2100, 3, 1, 0, 0, 0)), 86400);  // no leap day
    EXPECT_EQ(gps::record_time_s(at(1970, 1, 1, 0, 0, 0)), 0);
    EXPECT_EQ(gps::record_time_s(at(2000, 3, 1, 0, 0, 0)), 951868800);
    // Fields out of range carry over as mktime normalises them.
    EXPECT_EQ(diff(at(2023, 13, 1, 0, 0, 0), at(2024, 1, 1, 0, 0, 0)), 0);
    EXPECT_EQ(diff(at(2023, 0, 1, 0, 0, 0), at(2022, 12, 1, 0, 0, 0)), 0);
    EXPECT_EQ(diff(at(2023, 5, 17, 10, 20, 90), at(2023, 5, 17, 10, 21, 30)), 0);
    // Any int32 values are safe (the sanitizer build checks for overflow).
    const int big = std::numeric_limits<std::int32_t>::max();
    const int small = std::numeric_limits<std::int32_t>::min();
    EXPECT_NE(gps::record_time_s(at(big, big, big, big, big, big)),
              gps::record_time_s(at(small, small, small, small, small, small)));
}

TEST(GpsPaths, SideFileSitsInTheSiblingGFolderOfAnAFolder) {
    EXPECT_EQ(gps::side_file_path("/REC/MOVA/CLIP1.MP4"), "/REC/MOVG/CLIP1.gps");
    EXPECT_EQ(gps::side_file_path("MOVA/CLIP1.ts"), "MOVG/CLIP1.gps");
    EXPECT_EQ(gps::side_file_path("/REC/MOVA/CLIP.1.MP4"), "/REC/MOVG/CLIP.1.gps");
    EXPECT_EQ(gps::side_file_path("/REC.D/MOVA/CLIP1"), "/REC.D/MOVG/CLIP1.gps");
    EXPECT_EQ(gps::side_file_path("/REC/MOVB/CLIP1.MP4"), "");
    EXPECT_EQ(gps::side_file_path("/REC/MOVa/CLIP1.MP4"), "");
    EXPECT_EQ(gps::side_file_path("/REC/MOVG/CLIP1.MP4"), "");
    EXPECT_EQ(gps::side_file_path("CLIP1.MP4"), "");
    EXPECT_EQ(gps::side_file_path("/CLIP1.MP4"), "");
    EXPECT_EQ(gps::side_file_path(""), "");
}

TEST(GpsPaths, TsFlagIsTheLastThreeCharactersWithoutCase) {
    EXPECT_TRUE(gps::is_ts_path("a.ts"));
    EXPECT_TRUE(gps::is_ts_path("/x/CLIP.TS"));
    EXPECT_TRUE(gps::is_ts_path(".Ts"));
    EXPECT_FALSE(gps::is_ts_path("a.mts"));
    EXPECT_FALSE(gps::is_ts_path("a.ts.mp4"));
    EXPECT_FALSE(gps::is_ts_path("ts"));
    EXPECT_FALSE(gps::is_ts_path(""));
}

}  // namespace
