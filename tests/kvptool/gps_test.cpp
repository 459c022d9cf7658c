// kvptool gps on the drive sample: the map track and the panel's texts the
// viewer would show, second by second.
#include <gtest/gtest.h>

#include "temp_dir.h"

namespace {

const std::string kDrive = KVP_SAMPLES_DIR "/gps_drive/MOVA/DRIVE.MP4";

std::string gps(const std::string& args) {
    const auto r = kvp_test::run_command(KVP_BIN_DIR "/kvptool gps '" + kDrive + "' " + args);
    EXPECT_EQ(r.exit_code, 0) << r.out;
    return r.out;
}

TEST(KvptoolGps, TheDrivesMapTrackHasAGapAndTheStrayFixOnTheMedian) {
    const std::string wgs = gps("--format maptrack --map-type 1");
    EXPECT_EQ(wgs.substr(0, 78),
              "114.050000000000000,22.540000000000000;114.050300000000000,22.540300000000000;");
    // Second 4 has no fix; second 7, 0.2 degree north, is drawn on the
    // median latitude.
    EXPECT_NE(wgs.find("114.050900000000000,22.540900000000000;V,V;114.051500000000000,"),
              std::string::npos);
    EXPECT_NE(wgs.find("114.052100000000000,22.541500000000000;"), std::string::npos);
    // The Chinese-datum map gets every fix shifted, the gap kept.
    const std::string bd = gps("--format maptrack --map-type 0");
    EXPECT_EQ(bd.substr(0, 39), "114.061650465167700,22.542932915214870;");
    EXPECT_NE(bd.find(";V,V;"), std::string::npos);
    // A shorter recording than its records: only its seconds.
    EXPECT_EQ(gps("--format maptrack --map-type 1 --duration 2"),
              "114.050000000000000,22.540000000000000;114.050300000000000,22.540300000000000;\n");
}

TEST(KvptoolGps, TheDrivesLabelsPerSecondInBothUnits) {
    const std::string metric = gps("--format labels --units 1");
    EXPECT_NE(metric.find("0\t29KM/H\t22°32'24\"N, 114°3'0\"E\t2024-03-09\t08:15:00\tsetpos\n"),
              std::string::npos)
        << metric;
    EXPECT_NE(metric.find("4\t-\t-\t2024-03-09\t08:15:04\tHidePos\n"), std::string::npos);
    EXPECT_NE(metric.find("9\t77KM/H\t22°32'34\"N, 114°3'10\"E\t2024-03-09\t08:15:09\tsetpos\n"),
              std::string::npos);
    const std::string imperial = gps("--format labels --units 0");
    EXPECT_NE(imperial.find("0\t18MPH\t22°32'24\"N, 114°3'0\"E\t03-09-2024\t08:15:00\tsetpos\n"),
              std::string::npos)
        << imperial;
}

}  // namespace
