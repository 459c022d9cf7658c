// kvptool export of several recordings as one, on the generated trip
// folders: every picture of every file once, the durations added up, the
// sound running on across the joins, spans chosen by clock times, and the
// refusals; the joined file beside the output never stays.
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

extern "C" {
#include <libavformat/avformat.h>
}

#include "temp_dir.h"

namespace {

const std::string kTool = KVP_BIN_DIR "/kvptool";
const std::string kTrips = KVP_SAMPLES_DIR "/trips";
const std::string kTripsGap = KVP_SAMPLES_DIR "/trips_gap";
const std::string kTripsSound = KVP_SAMPLES_DIR "/trips_sound";
const char* const kClips[] = {"20241207_153000A.ts", "20241207_153004A.ts", "20241207_153008A.ts"};
constexpr double kFrameS = 0.1;  // the generated clips run at 10 pictures a second

std::string quoted(const std::string& s) {
    return "'" + s + "'";
}

kvp_test::CommandResult kvptool(const std::string& args) {
    // The lowest quality in one view: the joins are under test, not the views.
    return kvp_test::run_command("env -u DISPLAY " + kTool + " export --quality L --layout wide " +
                                 args + " 2>&1");
}

std::string ffprobe(const std::string& entries, const std::string& file) {
    const auto r = kvp_test::run_command("ffprobe -v error -select_streams v:0 " + entries +
                                         " -of csv=p=0 " + quoted(file));
    return r.exit_code == 0 ? r.out : "";
}

// The pictures ffprobe decodes, -1 when it cannot.
long pictures_in(const std::string& file) {
    const std::string out = ffprobe("-count_frames -show_entries stream=nb_read_frames", file);
    return out.empty() ? -1 : std::strtol(out.c_str(), nullptr, 10);
}

double duration_of(const std::string& file) {
    const auto r = kvp_test::run_command(
        "ffprobe -v error -show_entries format=duration -of csv=p=0 " + quoted(file));
    return r.exit_code == 0 ? std::strtod(r.out.c_str(), nullptr) : -1;
}

std::vector<std::string> clips_in(const std::string& dir) {
    std::vector<std::string> paths;
    for (const char* name : kClips) paths.push_back(dir + "/" + name);
    return paths;
}

std::string joined(const std::vector<std::string>& paths) {
    std::string text;
    for (const std::string& p : paths) text += quoted(p) + " ";
    return text;
}

// Start and end (seconds) of every sound packet of `file`, in order.
struct Span {
    double start, end;
};
std::vector<Span> sound_packets(const std::string& file) {
    std::vector<Span> spans;
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, file.c_str(), nullptr, nullptr) < 0) return spans;
    const int a = avformat_find_stream_info(fmt, nullptr) >= 0
                      ? av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0)
                      : -1;
    AVPacket* pkt = av_packet_alloc();
    while (a >= 0 && pkt != nullptr && av_read_frame(fmt, pkt) >= 0) {
        if (pkt->stream_index == a && pkt->pts != AV_NOPTS_VALUE) {
            const double tb = av_q2d(fmt->streams[a]->time_base);
            spans.push_back({pkt->pts * tb, (pkt->pts + pkt->duration) * tb});
        }
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    avformat_close_input(&fmt);
    return spans;
}

class TripExport : public ::testing::Test {
protected:
    std::string out() const { return dir_.file("trip.mp4"); }
    // Only the output (or nothing) is left in the output's folder.
    void expect_only(const std::set<std::string>& names) const {
        EXPECT_EQ(kvp_test::names_in(dir_.path()), names);
    }
    kvp_test::TempDir dir_;
};

TEST_F(TripExport, SeveralInputsGiveEveryPictureOnceAndTheSumOfTheirDurations) {
    long pictures = 0;
    double seconds = 0;
    for (const std::string& clip : clips_in(kTrips)) {
        pictures += pictures_in(clip);
        seconds += duration_of(clip);
    }
    ASSERT_EQ(pictures, 120);

    const auto r = kvptool(joined(clips_in(kTrips)) + quoted(out()));
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(pictures_in(out()), pictures);
    EXPECT_NEAR(duration_of(out()), seconds, kFrameS);
    EXPECT_EQ(ffprobe("-show_entries stream=width,height", out()), "640,384\n");
    // The timeline of the joined file: each file begins where the one
    // before ends.
    EXPECT_NE(r.out.find("segment " + kTrips + "/20241207_153000A.ts at 0.000 s for 4.000 s"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("20241207_153004A.ts at 4.000 s for 4.000 s"), std::string::npos);
    EXPECT_NE(r.out.find("20241207_153008A.ts at 8.000 s for 4.000 s"), std::string::npos);
    expect_only({"trip.mp4"});

    // The trip of the folder is the same three files.
    ASSERT_EQ(std::remove(out().c_str()), 0);
    const auto t = kvptool("--trip " + quoted(kTrips) + " " + quoted(out()));
    ASSERT_EQ(t.exit_code, 0) << t.out;
    EXPECT_EQ(pictures_in(out()), pictures);
    EXPECT_NEAR(duration_of(out()), seconds, kFrameS);
    expect_only({"trip.mp4"});
}

TEST_F(TripExport, TheSoundRunsOnAcrossTheJoins) {
    const auto r = kvptool("--trip " + quoted(kTripsSound) + " " + quoted(out()));
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(pictures_in(out()), 120);
    const std::vector<Span> sound = sound_packets(out());
    ASSERT_GT(sound.size(), 100u);
    double longest_gap = 0;
    for (std::size_t k = 1; k < sound.size(); ++k) {
        EXPECT_GE(sound[k].start, sound[k - 1].start) << k;
        longest_gap = std::max(longest_gap, sound[k].start - sound[k - 1].end);
    }
    EXPECT_LE(longest_gap, kFrameS);
    EXPECT_NEAR(sound.front().start, 0, kFrameS);
    EXPECT_NEAR(sound.back().end, 12, 2 * kFrameS);
}

TEST_F(TripExport, ASpanAcrossAJoinByClockTimesOrOnTheJoinedVideo) {
    // 15:30:02 to 15:30:09: two seconds of the first file, all of the
    // second, one of the third.
    const auto r =
        kvptool("--trip " + quoted(kTrips) + " --from 15:30:02 --to 15:30:09 " + quoted(out()));
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(pictures_in(out()), 70);
    EXPECT_NEAR(duration_of(out()), 7, kFrameS);
    EXPECT_NE(r.out.find("20241207_153000A.ts at -2.000 s"), std::string::npos) << r.out;
    expect_only({"trip.mp4"});

    // Named files take MM:SS of the joined video, as a single file does.
    ASSERT_EQ(std::remove(out().c_str()), 0);
    const auto n = kvptool(joined(clips_in(kTrips)) + quoted(out()) + " --from 0:03 --to 0:09");
    ASSERT_EQ(n.exit_code, 0) << n.out;
    EXPECT_EQ(pictures_in(out()), 60);
}

TEST_F(TripExport, RefusesSpansOverGapsOrOutsideTripsAndMismatchedFilesLeavingNothing) {
    const std::string gap = "--trip " + quoted(kTripsGap) + " ";
    const struct {
        std::string args, text;
    } cases[] = {
        {gap + "--from 15:30:02 --to 15:30:32",
         "the span 15:30:02-15:30:32 runs over the gap between the trips"},
        {gap + "--from 15:30:20", "--from 15:30:20 lies in no trip"},
        {gap + "--from 15:30:06 --to 15:30:03", "--from 15:30:06 is not before --to 15:30:03"},
        {gap + "--from 25:00:00", "--from 25:00:00 is not a time of day"},
        {"--trip " + quoted(dir_.path()), "no recordings"},
        {quoted(kTrips + "/" + kClips[0]) + " " + quoted(KVP_SAMPLES_DIR "/flat.mp4"),
         "flat.mp4 cannot follow 20241207_153000A.ts in one video: picture size"},
        {quoted(kTrips + "/" + kClips[0]) + " " + quoted(kTripsSound + "/" + kClips[1]),
         "cannot follow 20241207_153000A.ts in one video: sound, while the first file has none"},
        {quoted(kTrips + "/" + kClips[0]) + " " + quoted(dir_.file("missing.ts")), "cannot open"},
    };
    for (const auto& c : cases) {
        const auto r = kvptool(c.args + " " + quoted(out()));
        EXPECT_EQ(r.exit_code, 1) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(c.text), std::string::npos) << c.args << "\n" << r.out;
        expect_only({});
    }
}

// A signal ends a trip's export like a single one (exit 128 + the signal,
// the output complete so far); the joined file goes on every path, also
// when a second signal does not wait for the first.
TEST_F(TripExport, ASignalLeavesNoJoinedFile) {
    kvp_test::TempDir logs;
    const std::string log = logs.file("log");
    const auto export_until = [&](const std::string& signals) {
        return kvp_test::run_command(
            "env -u DISPLAY TMPDIR=" + quoted(logs.path()) + " " + kTool + " export --trip " +
            quoted(kTripsSound) + " " + quoted(out()) + " --quality L --layout wide > " +
            quoted(log) + " 2>&1 & pid=$!; for i in $(seq 1200); do [ $(grep -c ' fps ' " +
            quoted(log) + ") -ge 2 ] && break; sleep 0.1; done; for s in " + signals +
            "; do kill -$s $pid; done; wait $pid; echo $?");
    };
    const auto r = export_until(std::to_string(SIGINT));
    EXPECT_EQ(std::atoi(r.out.c_str()), 128 + SIGINT) << kvp_test::read_file(log);
    EXPECT_GT(pictures_in(out()), 0);
    expect_only({"trip.mp4"});
    const auto twice = export_until(std::to_string(SIGTERM) + " " + std::to_string(SIGINT));
    const int status = std::atoi(twice.out.c_str());
    EXPECT_TRUE(status == 128 + SIGTERM || status == 128 + SIGINT) << status;
    EXPECT_TRUE(kvp_test::names_in(dir_.path()) == std::set<std::string>{} ||
                kvp_test::names_in(dir_.path()) == std::set<std::string>{"trip.mp4"});
    EXPECT_EQ(kvp_test::names_in(logs.path()), std::set<std::string>{"log"});
}

TEST_F(TripExport, TheEvidenceNamesEverySource) {
    const std::string evidence = dir_.file("evidence");
    const auto r =
        kvptool(joined(clips_in(kTrips)) + quoted(out()) + " --evidence " + quoted(evidence));
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const auto m =
        nlohmann::json::parse(kvp_test::read_file(evidence + "/manifest.json"), nullptr, false);
    ASSERT_TRUE(m.is_object());
    ASSERT_EQ(m["sources"].size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(m["sources"][k]["path"], clips_in(kTrips)[k]);
        EXPECT_EQ(m["sources"][k]["unchanged"], true);
    }
    expect_only({"trip.mp4", "evidence"});
}

}  // namespace
