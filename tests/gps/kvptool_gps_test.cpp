// kvptool gps: the JSON, CSV and GPX it writes for the generated recordings,
// and the GPX read back by an independent reader (gpsbabel) when installed.
#include <cstdlib>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "temp_dir.h"

namespace {

const std::string kSamples = KVP_SAMPLES_DIR;

kvp_test::CommandResult kvptool_gps(const std::string& args) {
    return kvp_test::run_command(KVP_BIN_DIR "/kvptool gps " + args + " 2>/dev/null");
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(KvptoolGps, JsonHasTheRecordFieldsAtFullPrecision) {
    const auto r = kvptool_gps(kSamples + "/gps_track.ts");
    ASSERT_EQ(r.exit_code, 0);
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["file"], kSamples + "/gps_track.ts");
    EXPECT_EQ(j["code"], 1);
    EXPECT_EQ(j["continuous"], true);
    ASSERT_EQ(j["records"].size(), 6u);
    const auto& rec = j["records"][1];
    for (const char* key : {"hour", "minute", "second", "status", "lat", "ns", "lon", "ew", "speed",
                            "year", "month", "day", "gx", "gy", "gz"}) {
        EXPECT_TRUE(rec.contains(key)) << key;
    }
    EXPECT_EQ(rec["second"], 31);
    EXPECT_EQ(rec["status"], "A");
    EXPECT_EQ(rec["lat"].get<double>(), 22.5401);  // exact: no digits lost
    EXPECT_EQ(rec["lon"].get<double>(), 114.0501);
    EXPECT_EQ(rec["ns"], "N");
    EXPECT_EQ(rec["gy"], -1);
    EXPECT_EQ(j["records"][2]["status"], "V");
    EXPECT_EQ(j["records"][2]["valid"], false);
}

TEST(KvptoolGps, SeveralFilesGiveAnArrayAndAMissingOneCodeZero) {
    const auto r = kvptool_gps(kSamples + "/gps_index.mp4 /nonexistent/CLIP.MP4");
    EXPECT_EQ(r.exit_code, 1);
    const auto j = nlohmann::json::parse(r.out);
    ASSERT_TRUE(j.is_array());
    ASSERT_EQ(j.size(), 2u);
    EXPECT_EQ(j[0]["code"], 1);
    EXPECT_EQ(j[0]["records"].size(), 5u);
    EXPECT_NEAR(j[0]["records"][0]["speed"].get<double>(), 5.144444444, 1e-9);
    EXPECT_EQ(j[1]["code"], 0);
    EXPECT_TRUE(j[1]["records"].empty());
}

TEST(KvptoolGps, CsvHasOneRowPerRecordWithNoFixMarked) {
    const auto r = kvptool_gps("--format csv " + kSamples + "/gps_sbtl.mp4");
    ASSERT_EQ(r.exit_code, 0);
    const auto lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0],
              "file,index,hour,minute,second,status,valid,lat,ns,lon,ew,speed,year,month,day,gx,"
              "gy,gz");
    EXPECT_EQ(lines[2], kSamples +
                            "/gps_sbtl.mp4,1,10,20,31,A,1,22.5401,N,114.0501,E,6,2023,5,17,"
                            "1,-1,11");
    EXPECT_NE(lines[3].find(",V,0,"), std::string::npos) << lines[3];
}

// The GPX of gps_index.mp4: records 0, 1 and 3 have a fix (3 south-west).
std::string index_gpx(const kvp_test::TempDir& dir) {
    const std::string gpx = dir.file("track.gpx");
    const auto r = kvptool_gps("--format gpx " + kSamples + "/gps_index.mp4 > " + gpx);
    EXPECT_EQ(r.exit_code, 0);
    return gpx;
}

TEST(KvptoolGps, GpxHasOnePointPerRecordWithAFix) {
    kvp_test::TempDir dir;
    const std::string gpx = kvp_test::read_file(index_gpx(dir));
    EXPECT_NE(gpx.find("<gpx version=\"1.1\""), std::string::npos);
    EXPECT_NE(gpx.find("xmlns=\"http://www.topografix.com/GPX/1/1\""), std::string::npos);
    std::size_t points = 0;
    for (std::size_t at = gpx.find("<trkpt"); at != std::string::npos;
         at = gpx.find("<trkpt", at + 1)) {
        ++points;
    }
    EXPECT_EQ(points, 3u);
    EXPECT_NE(gpx.find("<trkpt lat=\"22.541667938\" lon=\"114.049995422\">"), std::string::npos);
    EXPECT_NE(gpx.find("<time>2023-05-17T10:20:30Z</time>"), std::string::npos);
    EXPECT_NE(gpx.find("lat=\"-22.591665268\" lon=\"-114.099998474\""), std::string::npos);
    EXPECT_EQ(gpx.find("10:20:32Z"), std::string::npos);  // record 2 has no fix
}

TEST(KvptoolGps, GpsbabelReadsTheGpx) {
    if (std::system("gpsbabel -V >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "gpsbabel is not installed";
    kvp_test::TempDir dir;
    const std::string gpx = index_gpx(dir);
    const auto csv = kvp_test::run_command("gpsbabel -i gpx -f " + gpx + " -o csv -F -");
    ASSERT_EQ(csv.exit_code, 0) << csv.out;
    const auto lines = lines_of(csv.out);
    ASSERT_EQ(lines.size(), 3u) << csv.out;
    EXPECT_EQ(lines[0].rfind("22.54167, 114.05000", 0), 0u) << lines[0];
    EXPECT_EQ(lines[2].rfind("-22.59167, -114.10000", 0), 0u) << lines[2];
    // Times survive the round trip as well.
    const auto uni = kvp_test::run_command("gpsbabel -t -i gpx -f " + gpx + " -o unicsv -F -");
    ASSERT_EQ(uni.exit_code, 0);
    EXPECT_NE(uni.out.find("2023/05/17,10:20:33"), std::string::npos) << uni.out;
}

}  // namespace
