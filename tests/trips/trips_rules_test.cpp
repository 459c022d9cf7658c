// The trip rules by numbers: recorder file names, civil time, the grouping
// of clips into trips, and the GPX document.
#include <sstream>

#include <gtest/gtest.h>

#include "trips/gpx.h"
#include "trips/recording_name.h"
#include "trips/trip_grouping.h"

namespace {

using trips::Clip;
using trips::parse_recording_name;

// 2024-12-07 15:30:00 in civil seconds: 20064 days after 1970-01-01
// (computed with `date -u -d 2024-12-07 +%s` / 86400) plus 55800 s.
constexpr std::int64_t kStart = 20064LL * 86400 + 15 * 3600 + 30 * 60;

TEST(RecordingName, ReadsDateTimeCameraAndKind) {
    const auto a = parse_recording_name("20241207_153000A.ts");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->start_s, kStart);
    EXPECT_EQ(a->camera, "A");
    EXPECT_TRUE(a->is_ts);
    const auto b = parse_recording_name("20241207_153100ab.MP4");
    ASSERT_TRUE(b);
    EXPECT_EQ(b->start_s, kStart + 60);
    EXPECT_EQ(b->camera, "AB");
    EXPECT_FALSE(b->is_ts);
    const auto none = parse_recording_name("20241207_153000.TS");
    ASSERT_TRUE(none);
    EXPECT_EQ(none->camera, "");
    // 2024 is a leap year, 2023 is not.
    EXPECT_TRUE(parse_recording_name("20240229_000000A.ts"));
    EXPECT_FALSE(parse_recording_name("20230229_000000A.ts"));
}

TEST(RecordingName, RefusesEverythingElse) {
    for (const char* name :
         {"CLIP1.MP4", "20241207_153000A.avi", "20241207-153000A.ts", "2024120_153000A.ts",
          "20241207_15300A.ts", "20241307_153000A.ts", "20241200_153000A.ts", "20241207_240000A.ts",
          "20241207_156000A.ts", "20241207_153060A.ts", "20241207_153000ABCD.ts",
          "20241207_1530001.ts", "20241207_153000A", ".ts", "", "20241207_153000A.ts.part"}) {
        EXPECT_FALSE(parse_recording_name(name)) << name;
    }
}

TEST(CivilTime, RoundTripsAcrossCenturiesAndBefore1970) {
    EXPECT_EQ(trips::civil_seconds({1970, 1, 1, 0, 0, 0}), 0);
    EXPECT_EQ(trips::civil_seconds({2000, 3, 1, 0, 0, 0}), 951868800);  // date -u -d 2000-03-01
    EXPECT_EQ(trips::civil_seconds({1969, 12, 31, 23, 59, 59}), -1);
    for (std::int64_t s : {std::int64_t{-1}, std::int64_t{0}, std::int64_t{951868799}, kStart,
                           std::int64_t{4102444800}}) {
        EXPECT_EQ(trips::civil_seconds(trips::civil_time_of(s)), s) << s;
    }
    EXPECT_EQ(trips::civil_text(kStart + 59), "2024-12-07 15:30:59");
    EXPECT_EQ(trips::civil_text(-1), "1969-12-31 23:59:59");
}

Clip clip(const std::string& name, std::int64_t start, double duration,
          const std::string& camera = "A", int fixes = 0) {
    Clip c;
    c.path = "/rec/" + name;
    c.camera = camera;
    c.start_s = start;
    c.duration_s = duration;
    c.gps_records = static_cast<int>(duration);
    c.gps_fixes = fixes;
    return c;
}

TEST(TripGrouping, ConsecutiveFilesMakeOneTripInOrderOfStart) {
    // Given out of order; 60.04 s files named a minute apart meet within the
    // tolerance, a 1 s late start is reported as a gap.
    const auto g =
        trips::group_trips({clip("c", kStart + 121, 60, "A", 60), clip("a", kStart, 60.04, "A", 60),
                            clip("b", kStart + 60, 60.04, "A", 30)});
    ASSERT_EQ(g.trips.size(), 1u);
    const auto& t = g.trips[0];
    ASSERT_EQ(t.clips.size(), 3u);
    EXPECT_EQ(t.clips[0].path, "/rec/a");
    EXPECT_EQ(t.clips[2].path, "/rec/c");
    EXPECT_EQ(t.start_s, kStart);
    EXPECT_DOUBLE_EQ(t.duration_s, 181.0);
    ASSERT_EQ(t.joins.size(), 1u);  // a -> b overlaps by 0.04 s: not reported
    EXPECT_EQ(t.joins[0].after, 1u);
    EXPECT_NEAR(t.joins[0].gap_s, 0.96, 1e-9);
    EXPECT_EQ(t.gps_fixes(), 150);
    EXPECT_NEAR(t.gps_coverage(), 150.0 / 181.0, 1e-12);
    EXPECT_TRUE(g.duplicates.empty());
}

TEST(TripGrouping, AGapBeyondTheToleranceStartsANewTrip) {
    const std::vector<Clip> clips = {clip("a", kStart, 60), clip("b", kStart + 63, 60),
                                     clip("c", kStart + 127, 60)};
    const auto g = trips::group_trips(clips);  // 3 s joins, 4 s does not
    ASSERT_EQ(g.trips.size(), 2u);
    EXPECT_EQ(g.trips[0].clips.size(), 2u);
    EXPECT_EQ(g.trips[1].clips.size(), 1u);
    EXPECT_EQ(g.trips[1].start_s, kStart + 127);
    trips::TripRules strict;
    strict.join_tolerance_s = 2;
    EXPECT_EQ(trips::group_trips(clips, strict).trips.size(), 3u);
}

TEST(TripGrouping, CamerasNeverShareATrip) {
    const auto g =
        trips::group_trips({clip("a1", kStart, 60, "A"), clip("b1", kStart, 60, "B"),
                            clip("a2", kStart + 60, 60, "A"), clip("b2", kStart + 60, 60, "B")});
    ASSERT_EQ(g.trips.size(), 2u);
    EXPECT_EQ(g.trips[0].camera, "A");
    EXPECT_EQ(g.trips[0].clips[1].path, "/rec/a2");
    EXPECT_EQ(g.trips[1].camera, "B");
    EXPECT_EQ(g.trips[1].clips.size(), 2u);
}

TEST(TripGrouping, DuplicatesAndOverlapsAreReportedNotLost) {
    // The same recording twice (TS and MP4): the longer is kept, whatever
    // the order; a file starting inside the previous one continues the trip
    // and the trip ends where the latest file ends.
    const auto g = trips::group_trips({clip("a.mp4", kStart, 59.5), clip("a.ts", kStart, 60),
                                       clip("b", kStart + 50, 5), clip("c", kStart + 58, 30)});
    ASSERT_EQ(g.trips.size(), 1u);
    ASSERT_EQ(g.duplicates.size(), 1u);
    EXPECT_EQ(g.duplicates[0].clip.path, "/rec/a.mp4");
    EXPECT_EQ(g.duplicates[0].kept, "/rec/a.ts");
    const auto& t = g.trips[0];
    ASSERT_EQ(t.clips.size(), 3u);
    EXPECT_EQ(t.clips[0].path, "/rec/a.ts");
    ASSERT_EQ(t.joins.size(), 2u);
    EXPECT_DOUBLE_EQ(t.joins[0].gap_s, -10.0);  // b starts 10 s before a ends
    EXPECT_DOUBLE_EQ(t.joins[1].gap_s, -2.0);   // c against the trip's end (60), not b's (55)
    EXPECT_DOUBLE_EQ(t.duration_s, 88.0);
}

TEST(TripGrouping, CoverageIsBoundedAndEmptyInputGivesNoTrips) {
    EXPECT_TRUE(trips::group_trips({}).trips.empty());
    auto g = trips::group_trips({clip("a", kStart, 10, "A", 25)});  // more fixes than seconds
    EXPECT_DOUBLE_EQ(g.trips[0].gps_coverage(), 1.0);
    g = trips::group_trips({clip("a", kStart, 0.2, "A", 0)});
    EXPECT_DOUBLE_EQ(g.trips[0].gps_coverage(), 0.0);  // rounds to 0 s: no division by zero
}

TEST(TripFiles, ARecordingGivesItsWholeTripInOrder) {
    // Two trips of camera A (a 10 s gap after b), one of camera B, and a
    // duplicate of a.
    const auto g = trips::group_trips(
        {clip("b.ts", kStart + 60, 60), clip("a.ts", kStart, 60), clip("a.mp4", kStart, 59),
         clip("d.ts", kStart + 130, 60), clip("e.ts", kStart + 190, 60),
         clip("x.ts", kStart, 60, "B"), clip("y.ts", kStart + 60, 60, "B")});
    using Files = std::vector<std::string>;
    // Found by its name, whatever the folder is called in the playlist.
    EXPECT_EQ(trips::trip_files_of(g, "/rec/b.ts"), (Files{"/rec/a.ts", "/rec/b.ts"}));
    EXPECT_EQ(trips::trip_files_of(g, "/mnt/card/./b.ts"), (Files{"/rec/a.ts", "/rec/b.ts"}));
    EXPECT_EQ(trips::trip_files_of(g, "/rec/e.ts"), (Files{"/rec/d.ts", "/rec/e.ts"}));
    EXPECT_EQ(trips::trip_files_of(g, "/rec/x.ts"), (Files{"/rec/x.ts", "/rec/y.ts"}));
    // A duplicate, a file of no trip and a trip of one file stand alone.
    EXPECT_EQ(trips::trip_files_of(g, "/rec/a.mp4"), (Files{"/rec/a.mp4"}));
    EXPECT_EQ(trips::trip_files_of(g, "/rec/z.ts"), (Files{"/rec/z.ts"}));
    const auto single = trips::group_trips({clip("a.ts", kStart, 60)});
    EXPECT_EQ(trips::trip_files_of(single, "/rec/a.ts"), (Files{"/rec/a.ts"}));
    EXPECT_EQ(trips::trip_files_of({}, "/rec/a.ts"), (Files{"/rec/a.ts"}));
}

TEST(TripFiles, NamesATripByItsFirstAndLastFile) {
    EXPECT_EQ(trips::trip_files_text({"/rec/20241207_153000A.ts", "/rec/20241207_153100A.ts",
                                      "/rec/20241207_153200A.ts"}),
              "20241207_153000A.ts \u2026 20241207_153200A.ts (3 recordings)");
    EXPECT_EQ(trips::trip_files_text({"/rec/20241207_153000A.ts"}), "20241207_153000A.ts");
    EXPECT_EQ(trips::trip_files_text({}), "");
}

gps::GpsRecord fix(double lat, char ns, double lon, char ew, char status = 'A') {
    gps::GpsRecord r{};
    r.year = 2024;
    r.month = 12;
    r.day = 7;
    r.hour = 15;
    r.minute = 30;
    r.second = 5;
    r.status = status;
    r.latitude_deg = lat;
    r.ns = ns;
    r.longitude_deg = lon;
    r.ew = ew;
    r.speed_mps = 12.5;
    return r;
}

TEST(Gpx, WritesOnlyFixesOnTheGlobeWithEscapedNames) {
    gps::GpsRecord bad_date = fix(1, 'N', 2, 'E');
    bad_date.month = 13;
    const std::vector<trips::GpxTrack> tracks = {
        {"Trip <1> & \"A\"",
         {fix(22.5, 'N', 114.25, 'E'), fix(22.5, 'N', 114.25, 'E', 'V'), fix(33.75, 'S', 70.5, 'W'),
          fix(91, 'N', 0, 'E'), bad_date}},
        {"empty", {}}};
    std::ostringstream out;
    EXPECT_EQ(trips::write_gpx(out, tracks), 3u);
    const std::string gpx = out.str();
    EXPECT_NE(gpx.find("<name>Trip &lt;1&gt; &amp; &quot;A&quot;</name>"), std::string::npos);
    EXPECT_NE(gpx.find("<trkpt lat=\"22.500000000\" lon=\"114.250000000\">\n"
                       "        <time>2024-12-07T15:30:05Z</time>\n"
                       "        <desc>speed 12.5 m/s</desc>"),
              std::string::npos);
    EXPECT_NE(gpx.find("lat=\"-33.750000000\" lon=\"-70.500000000\""), std::string::npos);
    EXPECT_EQ(gpx.find("lat=\"91"), std::string::npos);
    // The point with the impossible date has no time but stays.
    EXPECT_NE(gpx.find("lat=\"1.000000000\" lon=\"2.000000000\">\n        <desc>"),
              std::string::npos);
    EXPECT_NE(gpx.find("<name>empty</name>\n    <trkseg>\n    </trkseg>"), std::string::npos);
    EXPECT_EQ(gpx.substr(gpx.size() - 7), "</gpx>\n");
}

}  // namespace
