// kvptool trips on the generated folders: one trip of three clips, two trips
// split by a gap, the GPX of a trip read back by gpsbabel, and the folders
// and files it must refuse or skip without failing.
#include <sys/stat.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "temp_dir.h"

namespace {

const std::string kSamples = KVP_SAMPLES_DIR;

kvp_test::CommandResult kvptool(const std::string& args) {
    return kvp_test::run_command(KVP_BIN_DIR "/kvptool " + args + " 2>&1");
}

// stdout only: the JSON without the messages of stderr.
nlohmann::json trips_json(const std::string& folder, int& exit_code) {
    const auto r =
        kvp_test::run_command(KVP_BIN_DIR "/kvptool trips --json '" + folder + "' 2>/dev/null");
    exit_code = r.exit_code;
    return nlohmann::json::parse(r.out, nullptr, false);
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool copy(const std::string& from, const std::string& to) {
    return kvp_test::write_file(to, kvp_test::read_file(from));
}

TEST(KvptoolTrips, ThreeConsecutiveClipsAreOneTripWithFullGps) {
    int rc = -1;
    const auto j = trips_json(kSamples + "/trips", rc);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(j["trips"].size(), 1u) << j.dump(2);
    const auto& t = j["trips"][0];
    EXPECT_EQ(t["camera"], "A");
    EXPECT_EQ(t["start"], "2024-12-07 15:30:00");
    EXPECT_EQ(t["end"], "2024-12-07 15:30:12");
    EXPECT_NEAR(t["duration_s"].get<double>(), 12.0, 0.2);
    ASSERT_EQ(t["files"].size(), 3u);
    EXPECT_EQ(t["files"][0]["name"], "20241207_153000A.ts");
    EXPECT_EQ(t["files"][1]["name"], "20241207_153004A.ts");
    EXPECT_EQ(t["files"][2]["name"], "20241207_153008A.ts");
    EXPECT_EQ(t["files"][1]["start"], "2024-12-07 15:30:04");
    EXPECT_NEAR(t["files"][1]["duration_s"].get<double>(), 4.0, 0.2);
    EXPECT_TRUE(t["gaps"].empty());
    EXPECT_EQ(t["gps"]["records"], 12);
    EXPECT_EQ(t["gps"]["fixes"], 12);
    EXPECT_EQ(t["gps"]["coverage"], 1.0);
    EXPECT_TRUE(t["gap_before_s"].is_null());
    EXPECT_TRUE(j["skipped"].empty());
}

TEST(KvptoolTrips, AGapSplitsTheFolderIntoTwoTrips) {
    int rc = -1;
    const auto j = trips_json(kSamples + "/trips_gap", rc);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(j["trips"].size(), 2u) << j.dump(2);
    EXPECT_EQ(j["trips"][0]["files"].size(), 2u);
    EXPECT_EQ(j["trips"][0]["end"], "2024-12-07 15:30:08");
    const auto& second = j["trips"][1];
    EXPECT_EQ(second["number"], 2);
    EXPECT_EQ(second["start"], "2024-12-07 15:30:30");
    EXPECT_NEAR(second["gap_before_s"].get<double>(), 22.0, 0.2);
    EXPECT_EQ(second["gps"]["records"], 8);
    EXPECT_EQ(second["gps"]["fixes"], 6);
    EXPECT_EQ(second["gps"]["coverage"], 0.75);

    const auto text = kvptool("trips " + kSamples + "/trips_gap");
    ASSERT_EQ(text.exit_code, 0);
    const auto lines = lines_of(text.out);
    ASSERT_GE(lines.size(), 7u) << text.out;
    EXPECT_EQ(lines[0].rfind("Trip 1: camera A, 2024-12-07 15:30:00 -> 2024-12-07 15:30:08", 0), 0u)
        << lines[0];
    EXPECT_NE(text.out.find("after the previous trip"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Trip 2: camera A, 2024-12-07 15:30:30"), std::string::npos);
    EXPECT_NE(text.out.find("GPS 75% (6 fixes)"), std::string::npos) << text.out;
}

TEST(KvptoolTrips, GpxOfATripReadsBackInGpsbabel) {
    if (std::system("gpsbabel -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "gpsbabel is missing";
    kvp_test::TempDir dir;
    const std::string gpx = dir.file("trip.gpx");
    const auto r = kvptool("trips " + kSamples + "/trips_gap --trip 2 --gpx " + gpx);
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("6 points in 1 tracks"), std::string::npos) << r.out;
    const auto csv = kvp_test::run_command("gpsbabel -i gpx -f " + gpx + " -o csv -F -");
    ASSERT_EQ(csv.exit_code, 0) << csv.out;
    const auto points = lines_of(csv.out);
    ASSERT_EQ(points.size(), 6u) << csv.out;
    // Second 30 (15:30:30): 22.54 + 0.0030 N, 114.05 + 0.0060 E; 31 has no fix.
    EXPECT_EQ(points[0].rfind("22.54300, 114.05600", 0), 0u) << points[0];
    EXPECT_EQ(points[1].rfind("22.54320, 114.05640", 0), 0u) << points[1];
    EXPECT_EQ(points[5].rfind("22.54370, 114.05740", 0), 0u) << points[5];
    const auto uni = kvp_test::run_command("gpsbabel -t -i gpx -f " + gpx + " -o unicsv -F -");
    ASSERT_EQ(uni.exit_code, 0);
    EXPECT_NE(uni.out.find("2024/12/07,15:30:37"), std::string::npos) << uni.out;
    EXPECT_EQ(uni.out.find("15:30:31"), std::string::npos) << uni.out;
}

TEST(KvptoolGpsFile, GpxOfOneRecordingGoesToTheFileNamed) {
    if (std::system("gpsbabel -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "gpsbabel is missing";
    kvp_test::TempDir dir;
    const std::string gpx = dir.file("clip.gpx");
    const auto r = kvp_test::run_command(KVP_BIN_DIR "/kvptool gps " + kSamples +
                                         "/trips/20241207_153004A.ts --gpx " + gpx);
    ASSERT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "");  // nothing on standard output without --format
    const auto csv = kvp_test::run_command("gpsbabel -i gpx -f " + gpx + " -o csv -F -");
    const auto points = lines_of(csv.out);
    ASSERT_EQ(points.size(), 4u) << csv.out;
    EXPECT_EQ(points[0].rfind("22.54040, 114.05080", 0), 0u) << points[0];
    // A folder that does not exist: an error, and no file left behind.
    const auto bad = kvptool("gps " + kSamples + "/trips/20241207_153004A.ts --gpx " +
                             dir.file("no/such/dir/x.gpx"));
    EXPECT_EQ(bad.exit_code, 1);
    EXPECT_NE(bad.out.find("cannot create"), std::string::npos) << bad.out;
}

TEST(KvptoolTrips, BadFoldersAreClearErrors) {
    kvp_test::TempDir dir;
    auto r = kvptool("trips " + dir.file("missing"));
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find("no such folder"), std::string::npos) << r.out;
    r = kvptool("trips " + kSamples + "/trips/20241207_153000A.ts");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find("Not a directory"), std::string::npos) << r.out;
    kvp_test::write_file(dir.file("notes.txt"), "not a recording");
    r = kvptool("trips " + dir.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find("no recordings in"), std::string::npos) << r.out;
    r = kvptool("trips " + kSamples + "/trips --trip 2");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find("there is no trip 2 (1 found)"), std::string::npos) << r.out;
}

TEST(KvptoolTrips, UnreadableAndDuplicateFilesAreListedNotFatal) {
    kvp_test::TempDir dir;
    for (const char* name : {"20241207_153000A.ts", "20241207_153004A.ts"}) {
        ASSERT_TRUE(copy(kSamples + "/trips/" + name, dir.file(name)));
    }
    // The same recording under a second name of the same start (MP4 kind).
    ASSERT_TRUE(copy(kSamples + "/trips/20241207_153000A.ts", dir.file("20241207_153000a.mp4")));
    // Garbage, an empty file and a FIFO named like recordings.
    kvp_test::write_file(dir.file("20241207_153008A.ts"), std::string(5000, 'x'));
    kvp_test::write_file(dir.file("20241207_153012A.ts"), "");
    ASSERT_EQ(::mkfifo(dir.file("20241207_153016A.ts").c_str(), 0644), 0);
    int rc = -1;
    const auto j = trips_json(dir.path(), rc);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(j["trips"].size(), 1u) << j.dump(2);
    EXPECT_EQ(j["trips"][0]["files"].size(), 2u);
    ASSERT_EQ(j["duplicates"].size(), 1u);
    EXPECT_EQ(j["duplicates"][0]["kept"], dir.file("20241207_153000A.ts"));
    ASSERT_EQ(j["skipped"].size(), 3u) << j.dump(2);
    EXPECT_EQ(j["skipped"][0]["path"], dir.file("20241207_153008A.ts"));
    EXPECT_FALSE(j["skipped"][0]["reason"].get<std::string>().empty());
    EXPECT_EQ(j["skipped"][2]["reason"], "not a regular file");  // the FIFO is never opened
}

}  // namespace
