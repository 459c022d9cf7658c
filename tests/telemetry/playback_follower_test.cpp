// What the panel does as a recording plays: the order of the map scripts
// around open, ticks, pause, seek and stop, and the labels' reset.
#include <gtest/gtest.h>

#include "telemetry/playback_follower.h"

namespace {

using namespace telemetry;

std::vector<gps::GpsRecord> drive(int seconds) {
    std::vector<gps::GpsRecord> track;
    for (int k = 0; k < seconds; ++k) {
        gps::GpsRecord r{};
        r.status = k == 2 ? 'V' : 'A';
        r.latitude_deg = 22.54 + 0.0003 * k;
        r.longitude_deg = 114.05 + 0.0003 * k;
        r.ns = 'N';
        r.ew = 'E';
        r.speed_mps = 10.0 + k;
        r.year = 2024;
        r.month = 3;
        r.day = 9;
        r.hour = 8;
        r.minute = 15;
        r.second = k;
        r.gx = k;
        track.push_back(r);
    }
    return track;
}

std::vector<std::string> codes(const PanelUpdate& u) {
    std::vector<std::string> out;
    for (const MapScript& s : u.scripts) out.push_back(s.code);
    return out;
}

TEST(PlaybackFollower, OpenTicksPauseResumeSeekAndStopSendTheScriptsInOrder) {
    PlaybackFollower f(1, kMapTypeWgs84);
    // The track is as long as the duration known after Init, not the
    // records: 10 records, 6 s of video.
    PanelUpdate u = f.opened(drive(10), 6900);
    ASSERT_EQ(u.scripts.size(), 2u);
    EXPECT_EQ(u.scripts[0].role, MapScript::Role::track);
    EXPECT_EQ(u.scripts[0].code, start_script(map_track_text(drive(10), 6, kMapTypeWgs84)));
    EXPECT_EQ(u.scripts[1].code, "setpos(0)");
    EXPECT_EQ(f.samples().size(), 6u);
    EXPECT_TRUE(u.chart_samples_changed);
    EXPECT_EQ(u.speed, "36KM/H");
    EXPECT_EQ(u.date, "2024-03-09");
    EXPECT_EQ(u.time, "08:15:00");
    EXPECT_EQ(u.panel_visible, true);

    // Several ticks a second: one refresh per second.
    EXPECT_TRUE(f.position(250).scripts.empty());
    u = f.position(1100);
    EXPECT_EQ(codes(u), std::vector<std::string>{"setpos(1)"});
    EXPECT_EQ(u.speed, "40KM/H");
    EXPECT_EQ(u.chart_cursor, 1);
    EXPECT_TRUE(f.position(1900).scripts.empty());
    // A second without a fix hides the marker and keeps speed and position.
    u = f.position(2000);
    EXPECT_EQ(codes(u), std::vector<std::string>{"HidePos()"});
    EXPECT_FALSE(u.speed);
    EXPECT_FALSE(u.position);
    EXPECT_EQ(u.time, "08:15:02");

    EXPECT_EQ(codes(f.paused()), std::vector<std::string>{"window.clearInterval(timer);"});
    u = f.resumed();
    ASSERT_EQ(u.scripts.size(), 2u);
    EXPECT_EQ(u.scripts[0].role, MapScript::Role::track);
    EXPECT_EQ(u.scripts[1].code, "HidePos()");  // the current second again

    EXPECT_EQ(codes(f.seek_started()), std::vector<std::string>{"window.clearInterval(timer);"});
    u = f.seek_finished(4500);
    ASSERT_EQ(u.scripts.size(), 3u);
    EXPECT_EQ(u.scripts[0].code, "window.clearInterval(timer);");
    EXPECT_EQ(u.scripts[1].role, MapScript::Role::track);
    EXPECT_EQ(u.scripts[2].code, "setpos(4)");
    // Seeking back to a second shown before shows it again.
    f.seek_started();
    EXPECT_EQ(codes(f.seek_finished(4000)).back(), "setpos(4)");

    // Beyond the track: labels and map stay; the cursor rests at the end.
    u = f.position(8000);
    EXPECT_TRUE(u.scripts.empty());
    EXPECT_FALSE(u.time);
    EXPECT_EQ(u.chart_cursor, 5);

    u = f.stopped();
    EXPECT_EQ(codes(u), std::vector<std::string>{"Stop()"});
    EXPECT_EQ(u.speed, "");
    EXPECT_EQ(u.time, "");
    EXPECT_TRUE(f.position(5000).scripts.empty());  // nothing plays
}

TEST(PlaybackFollower, AFileWithoutATrackClearsTheMapOfTheFileBefore) {
    PlaybackFollower f(0, kMapTypeChinaDatum);
    f.opened(drive(5), 5000);
    for (const auto& track : {std::vector<gps::GpsRecord>{}, drive(5)}) {
        // No records, or records but a duration of 0 s.
        PanelUpdate u = f.opened(track, track.empty() ? 5000 : 400);
        EXPECT_EQ(codes(u), std::vector<std::string>{"Stop()"});
        EXPECT_EQ(u.panel_visible, false);
        EXPECT_TRUE(f.position(1000).scripts.empty());
        EXPECT_TRUE(f.paused().scripts.empty());
        EXPECT_TRUE(f.resumed().scripts.empty());
        EXPECT_TRUE(f.seek_finished(0).scripts.empty());
    }
}

}  // namespace
