// read_track on the generated recordings: side files first, then the TS scan
// or the MP4 walk, with the return code, the continuity flag and the logs.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "byte_source.h"
#include "gps/track_reader.h"
#include "platform/debug_output.h"
#include "readers.h"

namespace {

const std::string kSamples = KVP_SAMPLES_DIR;

struct Read {
    int code = -1;
    bool continuous = true;
    std::vector<gps::GpsRecord> track;
};

Read read(const std::string& path) {
    Read r;
    r.track.resize(7);  // whatever the caller held before is replaced
    r.code = gps::read_track(path, gps::is_ts_path(path), r.track, r.continuous);
    return r;
}

// The generator's record k: 10:20:30 + k s, 22.54 + k/10000 N, 5 + k m/s.
void expect_generated(const gps::GpsRecord& r, int k, int seconds) {
    EXPECT_EQ(r.hour, 10);
    EXPECT_EQ(r.minute * 60 + r.second, 20 * 60 + 30 + seconds);
    EXPECT_EQ(r.year, 2023);
    EXPECT_EQ(r.month, 5);
    EXPECT_EQ(r.day, 17);
    EXPECT_DOUBLE_EQ(r.latitude_deg, 22.54 + k / 10000.0);
    EXPECT_DOUBLE_EQ(r.longitude_deg, 114.05 + k / 10000.0);
    EXPECT_EQ(r.ns, 'N');
    EXPECT_EQ(r.ew, 'E');
    EXPECT_DOUBLE_EQ(r.speed_mps, 5.0 + k);
    EXPECT_EQ(r.gx, k);
    EXPECT_EQ(r.gy, -k);
    EXPECT_EQ(r.gz, 10 + k);
}

TEST(TrackReaderTs, GpsPacketsUpToTheEndMarkerFormAContinuousTrack) {
    const Read r = read(kSamples + "/gps_track.ts");
    EXPECT_EQ(r.code, gps::kTrackExamined);
    EXPECT_TRUE(r.continuous);
    ASSERT_EQ(r.track.size(), 6u);  // the unknown status and the packets after 0x350 are not
    for (int k = 0; k < 6; ++k) expect_generated(r.track[k], k, k);
    EXPECT_EQ(r.track[0].status, 'A');
    EXPECT_EQ(r.track[2].status, 'V');
    EXPECT_EQ(r.track[3].status, 'B');
}

TEST(TrackReaderTs, TimeJumpsAndSingleRecords) {
    const Read jump101 = read(kSamples + "/gps_jump101.ts");
    EXPECT_EQ(jump101.track.size(), 3u);
    EXPECT_TRUE(jump101.continuous);
    const Read jump100 = read(kSamples + "/gps_jump100.ts");
    ASSERT_EQ(jump100.track.size(), 4u);
    expect_generated(jump100.track[2], 2, 101);
    const Read single = read(kSamples + "/gps_single.ts");
    EXPECT_EQ(single.code, gps::kTrackExamined);
    EXPECT_TRUE(single.track.empty());
    EXPECT_FALSE(single.continuous);
}

TEST(TrackReaderTs, ARecordingWithoutGpsCostsOneBlock) {
    const Read r = read(kSamples + "/fisheye.ts");
    EXPECT_EQ(r.code, gps::kTrackExamined);
    EXPECT_TRUE(r.track.empty());
    EXPECT_FALSE(r.continuous);
    const auto source = gps::FileSource::open(kSamples + "/fisheye.ts");
    ASSERT_TRUE(source);
    ASSERT_GT(source->size(), 4 * gps::kTsChunkSize);
    EXPECT_EQ(gps::scan_ts(*source).bytes_read, gps::kTsChunkSize);
}

TEST(TrackReaderMp4, GpsIndexBoxSamplesAreConverted) {
    const Read r = read(kSamples + "/gps_index.mp4");
    EXPECT_EQ(r.code, gps::kTrackExamined);
    EXPECT_FALSE(r.continuous);
    ASSERT_EQ(r.track.size(), 5u);
    EXPECT_NEAR(r.track[0].latitude_deg, 22.5416666, 2e-6);  // 2232.5000
    EXPECT_NEAR(r.track[0].longitude_deg, 114.05, 1e-5);     // 11403.0000
    EXPECT_NEAR(r.track[0].speed_mps, 5.1444444, 1e-6);      // 10 knots
    EXPECT_NEAR(r.track[1].latitude_deg, 22.5583333, 2e-6);  // one minute more
    EXPECT_EQ(r.track[1].second, 31);
    EXPECT_EQ(r.track[2].status, 'V');
    EXPECT_EQ(r.track[3].status, 'A');
    EXPECT_EQ(r.track[3].ns, 'S');
    EXPECT_EQ(r.track[3].ew, 'W');
    EXPECT_EQ(r.track[4].status, 'V');  // 'X' in the file
    EXPECT_EQ(r.track[4].ns, 'S');      // 'n' in the file
    EXPECT_EQ(r.track[4].ew, 'W');      // 'e' in the file
    EXPECT_EQ(r.track[4].gz, 0);
}

TEST(TrackReaderMp4, SubtitleTrackSamplesAreRecords) {
    const Read r = read(kSamples + "/gps_sbtl.mp4");
    EXPECT_EQ(r.code, gps::kTrackExamined);
    ASSERT_EQ(r.track.size(), 4u);
    for (int k = 0; k < 4; ++k) expect_generated(r.track[k], k, k);
    EXPECT_EQ(r.track[2].status, 'V');
    EXPECT_TRUE(read(kSamples + "/fisheye.mp4").track.empty());
}

TEST(TrackReaderSideFile, ASideFileIsReadFirstAndWholeRecordsOnly) {
    const Read mp4 = read(kSamples + "/gps_side/MOVA/CLIP1.MP4");  // 250-byte side file
    EXPECT_EQ(mp4.code, gps::kTrackExamined);
    ASSERT_EQ(mp4.track.size(), 2u);
    expect_generated(mp4.track[1], 1, 1);
    EXPECT_FALSE(mp4.continuous);
    const Read ts = read(kSamples + "/gps_side/MOVA/CLIP3.TS");  // the TS has 6 of its own
    EXPECT_EQ(ts.track.size(), 3u);
    EXPECT_FALSE(ts.continuous);
}

TEST(TrackReaderSideFile, AShortSideFileOrAFolderNotEndingInAUsesTheRecording) {
    EXPECT_EQ(read(kSamples + "/gps_side/MOVA/CLIP2.MP4").track.size(), 5u);  // 100-byte side file
    // MOVG/CLIP1.gps exists, but MOVX is no recording folder.
    EXPECT_EQ(read(kSamples + "/gps_side/MOVX/CLIP1.MP4").track.size(), 5u);
}

TEST(TrackReader, AMissingRecordingIsNotOpenedAndLeavesAnEmptyTrack) {
    for (const char* path : {"/nonexistent/CLIP.MP4", "/nonexistent/CLIP.ts", KVP_SAMPLES_DIR}) {
        const Read r = read(path);
        EXPECT_EQ(r.code, gps::kTrackNotOpened) << path;
        EXPECT_TRUE(r.track.empty());
        EXPECT_FALSE(r.continuous);
    }
}

TEST(TrackReader, LogsTheStartAndTheTsScanTime) {
    std::vector<std::string> lines;
    platform::set_debug_sink([&](std::string_view s) { lines.emplace_back(s); });
    read(kSamples + "/gps_track.ts");
    read(kSamples + "/gps_index.mp4");
    platform::set_debug_sink(nullptr);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "DebugTrace: Get GPS " + kSamples + "/gps_track.ts\r\n");
    EXPECT_EQ(lines[1].rfind("Read gps waste ", 0), 0u) << lines[1];
    EXPECT_EQ(lines[1].substr(lines[1].size() - 5), " ms\r\n");
    EXPECT_EQ(lines[2], "DebugTrace: Get GPS " + kSamples + "/gps_index.mp4\r\n");
}

}  // namespace
