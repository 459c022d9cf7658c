// The controller's rules by numbers: which files play, the TS length, the
// sliders, the filter text, the time label, the calibration lookup and the
// settings file.
#include <gtest/gtest.h>

#include "controller/playback_rules.h"
#include "controller/player_settings.h"
#include "temp_dir.h"

namespace {

using namespace controller;

TEST(PlaybackRules, OnlyMp4AndTsRecordingsPlay) {
    for (const char* yes : {"/a/clip.mp4", "/a/CLIP.MP4", "/a/b.Ts", "clip.ts", "/a.b/c.mp4"}) {
        EXPECT_TRUE(is_playable_recording(yes)) << yes;
    }
    for (const char* no :
         {"/a/clip.avi", "/a/clip", "/a.mp4/clip", "/a/clip.mp4.part", "", ".ts/x"}) {
        EXPECT_FALSE(is_playable_recording(no)) << no;
    }
    EXPECT_TRUE(is_ts_recording("/r/A.TS"));
    EXPECT_FALSE(is_ts_recording("/r.ts/A.mp4"));
}

TEST(PlaybackRules, RearCameraFilesAreNamedSo) {
    for (const char* yes : {"/r/20241207_153000B.ts", "/r/clip_out.MP4", "/r/rear.mp4",
                            "/r/x_b_sos.ts", "/r/X_B_CCTV.mp4"}) {
        EXPECT_TRUE(is_rear_camera_file(yes)) << yes;
    }
    for (const char* no : {"/r/20241207_153000A.ts", "/r/clipB.avi", "/rB/clip.mp4"}) {
        EXPECT_FALSE(is_rear_camera_file(no)) << no;
    }
}

TEST(PlaybackRules, TheGpsTrackAndAShortEndTimeBoundATsRecording) {
    struct Case {
        int d, g, e;
        TsLength want;
    } cases[] = {
        {60, 0, 60000, {60, 0, 60000}},    // no track: as the player says
        {60, 45, 60000, {45, 45, 45000}},  // a damaged end: the track's length
        {60, 90, 60000, {60, 60, 60000}},  // more records than seconds
        {120, 0, 40000, {40, 0, 40000}},   // a short end time bounds the length
        {30, 0, 45000, {30, 0, 30000}},    // ... or is bounded by it
        {120, 0, 90000, {120, 0, 90000}},  // a long one is left alone
        {60, 45, 30000, {30, 45, 30000}},  // both
        {0, 0, 0, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.d) + " " + std::to_string(c.g) + " " + std::to_string(c.e));
        const TsLength got = ts_length(c.d, c.g, c.e);
        EXPECT_EQ(got.duration_s, c.want.duration_s);
        EXPECT_EQ(got.gps_records, c.want.gps_records);
        EXPECT_EQ(got.end_time_ms, c.want.end_time_ms);
    }
}

TEST(PlaybackRules, SlidersMapToThePlayersValues) {
    EXPECT_EQ(player_volume(50), 64);
    EXPECT_EQ(player_volume(60), 76);
    EXPECT_EQ(player_volume(100), 128);
    EXPECT_EQ(player_volume(-5), 0);
    EXPECT_EQ(player_volume(900), 128);
    EXPECT_DOUBLE_EQ(brightness_of(50), 0.0);
    EXPECT_DOUBLE_EQ(brightness_of(0), -1.0);
    EXPECT_DOUBLE_EQ(brightness_of(100), 1.0);

    EXPECT_EQ(video_filter_text(1.0, 0.0, false), "");
    EXPECT_EQ(video_filter_text(1.0, 0.5, false), "eq=contrast=1.0:brightness=0.5");
    EXPECT_EQ(video_filter_text(12.0, 20.0, false), "eq=contrast=9.0:brightness=9.0");
    EXPECT_EQ(video_filter_text(1.0, 0.0, true), "hflip");
    EXPECT_EQ(video_filter_text(1.0, -1.0, true), "hflip,eq=contrast=1.0:brightness=-1.0");
    EXPECT_EQ(video_filter_text(1.0, 0.02, false), "");  // as the player would see it: 0.0
}

TEST(PlaybackRules, TheSeekSliderStaysInsideTheRecording) {
    EXPECT_EQ(seek_target_ms(0, 90), 0);  // 1 per mille of 90 s: 90 ms, the whole second 0
    EXPECT_EQ(seek_target_ms(499, 90), 45000);
    EXPECT_EQ(seek_target_ms(999, 90), 89000);  // 1000 per mille is the end: the last second
    EXPECT_EQ(seek_target_ms(1000, 90), 89000);
    EXPECT_EQ(seek_target_ms(-7, 90), 0);
    EXPECT_FALSE(seek_target_ms(500, 0).has_value());
    EXPECT_EQ(slider_position(45, 91), 500);
    EXPECT_EQ(slider_position(95, 91), 1000);
    EXPECT_EQ(slider_position(-3, 91), 0);
    EXPECT_EQ(slider_position(0, 1), 100);
}

TEST(PlaybackRules, TimeLabelsNeitherFollowTheLocaleNorWrap) {
    EXPECT_EQ(time_label(0), "0:00:00");
    EXPECT_EQ(time_label(5), "0:00:05");
    EXPECT_EQ(time_label(3599), "0:59:59");
    EXPECT_EQ(time_label(90061), "25:01:01");
    EXPECT_EQ(time_label(-4), "0:00:00");
    EXPECT_EQ(position_label(65, 3600), "0:01:05 / 1:00:00");
}

TEST(PlaybackRules, TheCalibrationBesideIsTheLowestInfOfTheFolder) {
    kvp_test::TempDir dir;
    const std::string media = dir.file("clip.ts");
    EXPECT_EQ(calibration_beside(media), "");
    kvp_test::write_file(dir.file("b.INF"), "x");
    kvp_test::write_file(dir.file("c.inf"), "x");
    kvp_test::write_file(dir.file("a.info"), "x");
    EXPECT_EQ(calibration_beside(media), dir.file("b.INF"));
    kvp_test::write_file(dir.file("A.inf"), "x");
    EXPECT_EQ(calibration_beside(media), dir.file("A.inf"));

    const std::string cache = prepared_calibration_path("/home/u/.cache/kvp", "/r/one/clip.ts");
    EXPECT_EQ(cache.rfind("/home/u/.cache/kvp/clip-", 0), 0u);
    EXPECT_EQ(cache.substr(cache.size() - 4), ".inf");
    EXPECT_NE(cache, prepared_calibration_path("/home/u/.cache/kvp", "/r/two/clip.ts"));
}

TEST(PlayerSettings, AngleLimitsAndDefaultsComeFromTheSettingsFile) {
    EXPECT_FLOAT_EQ(parse_angle_limits("-90.5,45").min_deg, -90.5f);
    EXPECT_FLOAT_EQ(parse_angle_limits("-90.5,45").max_deg, 45.0f);
    EXPECT_FLOAT_EQ(parse_angle_limits(",7").max_deg, 7.0f);
    EXPECT_FLOAT_EQ(parse_angle_limits("12").min_deg, 0.0f);  // no comma: both 0
    EXPECT_FLOAT_EQ(parse_angle_limits("x,1,2").max_deg, 1.0f);

    kvp_test::TempDir dir;
    PlayerSettings none = read_player_settings(dir.path());
    EXPECT_EQ(none.calibration_path, "");
    EXPECT_EQ(none.need_logo, 0);
    kvp_test::write_file(dir.file("rarudir.cfg"),
                         "[play_param]\ncalib_filename=1920.inf\nlogon_fn=logo.png\nneed_logo=1\n"
                         "logo_fov=30\n[CAMERA_PARAM_2]\npicth=-80,-10\nyaw=-170,170\n");
    const PlayerSettings s = read_player_settings(dir.path());
    EXPECT_EQ(s.calibration_path, dir.file("1920.inf"));
    EXPECT_EQ(s.logo_path, dir.file("logo.png"));
    EXPECT_EQ(s.need_logo, 1);
    EXPECT_EQ(s.logo_fov, 30);
    EXPECT_FLOAT_EQ(s.cameras[2].pitch.min_deg, -80.0f);
    EXPECT_FLOAT_EQ(s.cameras[2].yaw.max_deg, 170.0f);
    EXPECT_FLOAT_EQ(s.cameras[0].pitch.max_deg, 0.0f);
}

}  // namespace
