// Choosing a span of a trip by clock times, by numbers: which trip, which
// files, where the span lies in the first and last file, and the refusals.
#include <gtest/gtest.h>

#include "trips/trip_span.h"

namespace {

using trips::Clip;
using trips::SpanRequest;
using trips::TripSpan;

// 2024-12-07 15:30:00 in civil seconds (see trips_rules_test.cpp).
constexpr std::int64_t kDay = 20064LL * 86400;
constexpr int kClock = 15 * 3600 + 30 * 60;  // 15:30:00 as a time of day
constexpr std::int64_t kStart = kDay + kClock;

Clip clip(std::int64_t start_s, double duration_s) {
    Clip c;
    c.path = std::to_string(start_s - kStart);
    c.camera = "A";
    c.start_s = start_s;
    c.duration_s = duration_s;
    return c;
}

// Minute files from 15:30:00 to 15:33:00, then 15:40:00 to 15:42:00.
trips::Grouping two_trips() {
    return trips::group_trips({clip(kStart, 60), clip(kStart + 60, 60), clip(kStart + 120, 60),
                               clip(kStart + 600, 60), clip(kStart + 660, 60)});
}

TripSpan span_of(const trips::Grouping& g, std::optional<int> from, std::optional<int> to) {
    TripSpan span;
    std::string why;
    EXPECT_TRUE(trips::choose_span(g, SpanRequest{from, to}, span, why)) << why;
    return span;
}

std::string refusal(const trips::Grouping& g, std::optional<int> from, std::optional<int> to) {
    TripSpan span;
    std::string why;
    EXPECT_FALSE(trips::choose_span(g, SpanRequest{from, to}, span, why));
    return why;
}

TEST(ClockTime, ReadsTimesOfDayAndRefusesTheRest) {
    EXPECT_EQ(trips::parse_clock_time("15:30:07"), kClock + 7);
    EXPECT_EQ(trips::parse_clock_time("00:00:00"), 0);
    EXPECT_EQ(trips::parse_clock_time("23:59:59"), 86399);
    EXPECT_EQ(trips::parse_clock_time("15:31"), kClock + 60);
    for (const char* bad :
         {"24:00:00", "15:60:00", "15:30:60", "15:30:00x", "1530", "", "-1:00:00", "15:30:00:00"}) {
        EXPECT_FALSE(trips::parse_clock_time(bad)) << bad;
    }
    EXPECT_EQ(trips::clock_text(kStart + 61), "15:31:01");
    EXPECT_EQ(trips::clock_text(kClock), "15:30:00");
}

TEST(TripSpan, WithoutTimesTheFirstTripWhole) {
    const TripSpan s = span_of(two_trips(), std::nullopt, std::nullopt);
    EXPECT_EQ(s.trip, 0u);
    EXPECT_EQ(s.clips, (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_DOUBLE_EQ(s.from_in_first_s, 0);
    EXPECT_DOUBLE_EQ(s.to_in_last_s, 60);
}

TEST(TripSpan, TheFilesOverlappingTheSpanAndWhereItLiesInThem) {
    // 15:30:45 to 15:32:10: 45 s into the first file, 10 s into the third.
    const TripSpan s = span_of(two_trips(), kClock + 45, kClock + 130);
    EXPECT_EQ(s.clips, (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_DOUBLE_EQ(s.from_in_first_s, 45);
    EXPECT_DOUBLE_EQ(s.to_in_last_s, 10);
    // A span that ends where a file begins does not take that file.
    const TripSpan t = span_of(two_trips(), kClock + 70, kClock + 120);
    EXPECT_EQ(t.clips, (std::vector<std::size_t>{1}));
    EXPECT_DOUBLE_EQ(t.from_in_first_s, 10);
    EXPECT_DOUBLE_EQ(t.to_in_last_s, 60);
}

TEST(TripSpan, FromChoosesTheTripAndOnlyFromRunsToItsEnd) {
    const TripSpan s = span_of(two_trips(), kClock + 630, std::nullopt);
    EXPECT_EQ(s.trip, 1u);
    EXPECT_EQ(s.clips, (std::vector<std::size_t>{0, 1}));
    EXPECT_DOUBLE_EQ(s.from_in_first_s, 30);
    EXPECT_DOUBLE_EQ(s.to_in_last_s, 60);
    const TripSpan t = span_of(two_trips(), std::nullopt, kClock + 30);
    EXPECT_EQ(t.trip, 0u);
    EXPECT_EQ(t.clips, (std::vector<std::size_t>{0}));
}

TEST(TripSpan, RefusesReversedSpansTimesOutsideAndSpansOverAGap) {
    const auto g = two_trips();
    EXPECT_EQ(refusal(g, kClock + 50, kClock + 40), "--from 15:30:50 is not before --to 15:30:40");
    EXPECT_EQ(refusal(g, kClock + 50, kClock + 50), "--from 15:30:50 is not before --to 15:30:50");
    EXPECT_EQ(refusal(g, kClock + 300, std::nullopt),
              "--from 15:35:00 lies in no trip (trips: 15:30:00-15:33:00, 15:40:00-15:42:00)");
    EXPECT_EQ(refusal(g, kClock + 60, kClock + 610),
              "the span 15:31:00-15:40:10 runs over the gap between the trips "
              "15:30:00-15:33:00 and 15:40:00-15:42:00");
    EXPECT_EQ(refusal(g, kClock + 630, kClock + 900),
              "--to 15:45:00 is after the end of the trip 15:40:00-15:42:00");
    EXPECT_EQ(refusal(trips::Grouping{}, std::nullopt, std::nullopt), "no trips");
}

TEST(TripSpan, ATripOverMidnightTakesTheTimesOfBothDays) {
    const std::int64_t late = kDay + 86400 - 60;  // 23:59:00
    const auto g = trips::group_trips({clip(late, 60), clip(late + 60, 60)});
    const TripSpan s = span_of(g, 86400 - 30, 30);  // 23:59:30 to 00:00:30
    EXPECT_EQ(s.clips, (std::vector<std::size_t>{0, 1}));
    EXPECT_DOUBLE_EQ(s.from_in_first_s, 30);
    EXPECT_DOUBLE_EQ(s.to_in_last_s, 30);
    const TripSpan t = span_of(g, 10, std::nullopt);  // 00:00:10, the second day
    EXPECT_EQ(t.clips, (std::vector<std::size_t>{1}));
    EXPECT_DOUBLE_EQ(t.from_in_first_s, 10);
}

}  // namespace
