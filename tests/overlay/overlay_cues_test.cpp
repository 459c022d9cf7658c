// The overlay's cues by numbers: which lines a second gets, where its cue
// lies in output time for one file and for several, and the field list.
#include <gtest/gtest.h>

#include "overlay/overlay_cues.h"

namespace {

using overlay::Fields;
using overlay::make_cues;
using overlay::OverlayCue;
using overlay::Segment;

constexpr int kMetric = 1, kImperial = 0;

// 15:30:<s> on 2024-12-07 at 22.5 N, 114.05 E, 10 m/s (36 km/h, 22 mph).
gps::GpsRecord record(int s, bool fix = true) {
    gps::GpsRecord r{};
    r.year = 2024;
    r.month = 12;
    r.day = 7;
    r.hour = 15;
    r.minute = 30;
    r.second = s;
    r.status = fix ? gps::kStatusValid : gps::kStatusNoFix;
    r.latitude_deg = 22.5;
    r.ns = gps::kNorth;
    r.longitude_deg = 114.05;
    r.ew = gps::kEast;
    r.speed_mps = 10.0;
    return r;
}

std::vector<gps::GpsRecord> track(int seconds, int first = 0) {
    std::vector<gps::GpsRecord> t;
    for (int s = 0; s < seconds; ++s) t.push_back(record(first + s));
    return t;
}

Fields all_fields() {
    Fields f;
    f.time = f.speed = f.position = true;
    return f;
}

TEST(OverlayFields, ParsesAnyOrderAndRefusesUnknownRepeatedOrEmpty) {
    Fields f;
    std::string why;
    ASSERT_TRUE(overlay::parse_fields("position,time", f, why)) << why;
    EXPECT_TRUE(f.time && f.position && !f.speed);
    ASSERT_TRUE(overlay::parse_fields("time,speed,position", f, why));
    EXPECT_TRUE(f.time && f.speed && f.position);

    EXPECT_FALSE(overlay::parse_fields("time,altitude", f, why));
    EXPECT_NE(why.find("\"altitude\""), std::string::npos) << why;
    EXPECT_FALSE(overlay::parse_fields("speed,speed", f, why));
    EXPECT_NE(why.find("twice"), std::string::npos) << why;
    EXPECT_FALSE(overlay::parse_fields("", f, why));
    EXPECT_FALSE(overlay::parse_fields("time,", f, why));  // an empty entry is no name
}

TEST(OverlayText, LinesFollowTheFixAndTheUnits) {
    EXPECT_EQ(overlay::cue_text(record(5), all_fields(), kMetric),
              "2024-12-07 15:30:05\n36KM/H\n22°30'0\"N, 114°3'0\"E");
    Fields speed_only;
    speed_only.speed = true;
    EXPECT_EQ(overlay::cue_text(record(5), speed_only, kImperial), "22MPH");
    Fields time_only;
    time_only.time = true;
    EXPECT_EQ(overlay::cue_text(record(5), time_only, kImperial), "12-07-2024 15:30:05");

    // Without a fix only the recorder's clock is shown; nothing at all when
    // only fix-bound lines were asked for, or when the clock is empty.
    EXPECT_EQ(overlay::cue_text(record(5, false), all_fields(), kMetric), "2024-12-07 15:30:05");
    Fields speed_position;
    speed_position.speed = speed_position.position = true;
    EXPECT_EQ(overlay::cue_text(record(5, false), speed_position, kMetric), "");
    gps::GpsRecord blank = record(5, false);
    blank.year = blank.month = blank.day = 0;
    EXPECT_EQ(overlay::cue_text(blank, all_fields(), kMetric), "");
}

TEST(OverlayCues, OneFileFromItsThirdSecondStartsAtOutputZero) {
    const auto t = track(5);
    // Seconds 2 to 4 of the file exported: output 0..3000.
    const auto cues = make_cues({Segment{&t, -2000, 2000, 5000}}, all_fields(), kMetric);
    ASSERT_EQ(cues.size(), 3u);
    EXPECT_EQ(cues[0].start_ms, 0);
    EXPECT_EQ(cues[0].end_ms, 1000);
    EXPECT_EQ(cues[0].text.substr(0, 19), "2024-12-07 15:30:02");
    EXPECT_EQ(cues[2].start_ms, 2000);
    EXPECT_EQ(cues[2].end_ms, 3000);
}

TEST(OverlayCues, PartialSecondsAreCutAndMissingRecordsLeaveGaps) {
    auto t = track(4);
    t[1].status = gps::kStatusNoFix;  // time only
    Fields speed_only;
    speed_only.speed = true;
    // 500 ms into the file up to 3500 ms; the track ends before the span.
    const auto cues = make_cues({Segment{&t, -500, 500, 6000}}, speed_only, kMetric);
    ASSERT_EQ(cues.size(), 3u);  // seconds 0, 2 and 3; none for 1 and beyond 4
    EXPECT_EQ(cues[0].start_ms, 0);
    EXPECT_EQ(cues[0].end_ms, 500);
    EXPECT_EQ(cues[1].start_ms, 1500);
    EXPECT_EQ(cues[1].end_ms, 2500);
    EXPECT_EQ(cues[2].start_ms, 2500);
    EXPECT_EQ(cues[2].end_ms, 3500);
}

TEST(OverlayCues, SeveralFilesFollowEachOtherInOutputTime) {
    const auto first = track(4, 0);
    const auto second = track(4, 30);
    // The second file was given first: the cues still come in output order.
    const std::vector<Segment> segments = {Segment{&second, 4000, 0, 4000},
                                           Segment{&first, 0, 0, 4000},
                                           Segment{nullptr, 8000, 0, 4000}};
    const auto cues = make_cues(segments, all_fields(), kMetric);
    ASSERT_EQ(cues.size(), 8u);
    for (std::size_t i = 0; i < cues.size(); ++i) {
        EXPECT_EQ(cues[i].start_ms, static_cast<int64_t>(i) * 1000) << i;
        EXPECT_EQ(cues[i].end_ms, static_cast<int64_t>(i + 1) * 1000) << i;
    }
    EXPECT_EQ(cues[4].text.substr(11, 8), "15:30:30");
}

}  // namespace
