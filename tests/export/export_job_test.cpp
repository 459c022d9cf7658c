// The export job driven by a scripted converter: what it asks of the
// converter and when, what it reports, and which files it leaves behind.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "export/export_job.h"
#include "temp_dir.h"

namespace {

using exporter::ExportJob;
using exporter::ExportOutcome;
using exporter::ExportRequest;
using exporter::ExportResult;

// A converter whose answers the test sets; it renders until stopped or
// until `frames` polls have passed.
struct ScriptedConverter : DOR_SphereVideoConverter {
    int init_code = 0;
    int start_code = 0;
    int result_code = 0;
    std::string remux_copy;  // Init points src_url at this file (a TS source)
    VideoTime duration{1, 7, 0};
    std::atomic<int> polls_left{1000000};
    std::atomic<bool> stopped{false};
    VideoTime asked_start{-1, -1, -1}, asked_end{-1, -1, -1};
    std::string text = "error: scripted;\n";
    std::string dst;
    std::string picture_file;          // copied to the output when the conversion starts
    bool copy_source = false;          // or else the file Init was given
    std::string src;                   // the file Init was given
    std::vector<std::string> overlay;  // the cues' texts the converter was given
    std::vector<int64_t> overlay_ends;
    bool overlay_before_start = false;

    int32_t Init(ConverterInitParam* p) override {
        src = p->src_url;
        if (!remux_copy.empty()) {
            kvp_test::write_file(remux_copy, "remuxed");
            std::snprintf(p->src_url, DOR_CONVERTER_SRC_URL_BYTES, "%s", remux_copy.c_str());
        }
        dst = p->dst_url;
        return init_code;
    }
    int32_t StartDewarpingAsync(VideoTime start, VideoTime end) override {
        asked_start = start;
        asked_end = end;
        if (copy_source) {
            kvp_test::run_command("cp '" + src + "' '" + dst + "'");
        } else if (picture_file.empty()) {
            kvp_test::write_file(dst, "header");  // Init's file, the first pictures
        } else {
            kvp_test::run_command("cp '" + picture_file + "' '" + dst + "'");
        }
        return start_code;
    }
    int32_t Stop() override {
        stopped = true;
        return 0;
    }
    ConvertProgress GetProgress() override { return {1, 30.0f, 50.0f, 0, 12, 0}; }
    VideoTime GetVideoDuration() override { return duration; }
    int32_t IsRendering() override { return !stopped && --polls_left > 0 ? 1 : 0; }
    const char* GetLastErrorText() override { return text.c_str(); }
    int32_t GetConversionResult() override { return result_code; }
    int32_t SetOverlay(const ConverterOverlayCue* cues, int32_t count) override {
        overlay_before_start = asked_end.minutes < 0;
        for (int32_t i = 0; i < count; ++i) {
            overlay.emplace_back(cues[i].text);
            overlay_ends.push_back(cues[i].end_ms);
        }
        return 0;
    }
};

struct JobRun {
    ScriptedConverter converter;
    std::promise<ExportResult> promise;
    std::atomic<int> destroyed{0};

    std::unique_ptr<ExportJob> start(ExportRequest request) {
        exporter::ConverterFactory factory{[this] { return &converter; },
                                           [this](DOR_SphereVideoConverter*) { ++destroyed; }};
        return std::make_unique<ExportJob>(factory, std::move(request),
                                           [this](const ExportResult& r) { promise.set_value(r); });
    }
    ExportResult wait() {
        auto f = promise.get_future();
        EXPECT_EQ(f.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        return f.get();
    }
};

ExportRequest request_in(const kvp_test::TempDir& dir, bool dewarp = true) {
    ExportRequest r;
    r.source = dir.file("clip.mp4");
    r.output = dir.file("clip_out.mp4");
    r.calibration = dir.file("clip.inf");
    r.dewarp = dewarp;
    kvp_test::write_file(r.source, "source");
    return r;
}

TEST(ExportJob, ConvertsTheWholeRecordingByTheConvertersOwnLength) {
    kvp_test::TempDir dir;
    JobRun run;
    run.converter.polls_left = 3;
    run.converter.duration = {2, 5, 0};  // a TS recording's own length
    auto job = run.start(request_in(dir));
    const ExportResult r = run.wait();
    EXPECT_EQ(r.outcome, ExportOutcome::finished);
    EXPECT_FALSE(r.copied);
    EXPECT_EQ(run.converter.asked_start.minutes, 0);
    EXPECT_EQ(run.converter.asked_start.seconds, 0);
    EXPECT_EQ(run.converter.asked_end.minutes, 2);
    EXPECT_EQ(run.converter.asked_end.seconds, 5);
    EXPECT_FLOAT_EQ(job->progress().percent, 50.0f);
    job.reset();
    EXPECT_EQ(run.destroyed, 1);
}

// A cancel stops the converter at once. What it finished is kept when it
// holds pictures; a file stopped before the first picture (the header and
// empty tracks, or nothing but what Init made) plays nothing and goes.
TEST(ExportJob, CancelStopsTheConverterAtOnceAndKeepsOnlyAPlayableFile) {
    kvp_test::TempDir media;
    const std::string empty_tracks = media.file("empty_tracks.mp4");
    ASSERT_EQ(kvp_test::run_command("ffmpeg -v error -f lavfi -i testsrc=size=64x64 -frames:v 0 "
                                    "-c:v libx264 '" +
                                    empty_tracks + "'")
                  .exit_code,
              0);
    const struct {
        std::string written;  // "" for Init's file
        bool kept;
    } cases[] = {{KVP_SAMPLES_DIR "/flat.mp4", true}, {empty_tracks, false}, {"", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.written);
        kvp_test::TempDir dir;
        JobRun run;
        run.converter.picture_file = c.written;
        auto job = run.start(request_in(dir));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const auto asked = std::chrono::steady_clock::now();
        job->cancel();
        const ExportResult r = run.wait();
        EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(1));
        EXPECT_EQ(r.outcome, ExportOutcome::cancelled);
        EXPECT_TRUE(run.converter.stopped);
        EXPECT_EQ(kvp_test::names_in(dir.path()).count("clip_out.mp4"), c.kept ? 1u : 0u);
    }
}

// Failures are reported with the converter's code and text, never as a
// finished export, and no half-written output stays behind.
TEST(ExportJob, FailuresCarryTheConvertersCodeAndText) {
    {
        kvp_test::TempDir dir;
        JobRun run;
        run.converter.init_code = 15;
        kvp_test::write_file(dir.file("clip_out.mp4"), "kept");
        auto job = run.start(request_in(dir));
        const ExportResult r = run.wait();
        EXPECT_EQ(r.outcome, ExportOutcome::failed);
        EXPECT_EQ(r.code, 15);
        EXPECT_EQ(r.text, "error: scripted;\n");
        EXPECT_EQ(run.converter.asked_end.minutes, -1);  // never started
        // Init refused it: whatever the file is, it is not the job's.
        EXPECT_EQ(kvp_test::read_file(dir.file("clip_out.mp4")), "kept");
    }
    for (const bool start_fails : {true, false}) {
        kvp_test::TempDir dir;
        JobRun run;
        run.converter.polls_left = 2;
        (start_fails ? run.converter.start_code : run.converter.result_code) = 21;
        auto job = run.start(request_in(dir));
        const ExportResult r = run.wait();
        EXPECT_EQ(r.outcome, ExportOutcome::failed);
        EXPECT_EQ(r.code, 21);
        EXPECT_FALSE(kvp_test::names_in(dir.path()).count("clip_out.mp4"));
    }
}

// A flat MP4 is copied from the recording itself; a file called temp.mp4
// beside it is somebody else's and stays as it is.
TEST(ExportJob, AFlatMp4IsCopiedAndAnUnrelatedTempFileSurvives) {
    kvp_test::TempDir dir;
    ExportRequest request = request_in(dir, false);
    ASSERT_EQ(kvp_test::run_command("cp '" KVP_SAMPLES_DIR "/flat.mp4' '" + request.source + "'")
                  .exit_code,
              0);
    kvp_test::write_file(dir.file("temp.mp4"), "the user's own file");
    JobRun run;
    auto job = run.start(request);
    const ExportResult r = run.wait();
    EXPECT_EQ(r.outcome, ExportOutcome::finished) << r.text;
    EXPECT_TRUE(r.copied);
    EXPECT_EQ(kvp_test::read_file(dir.file("temp.mp4")), "the user's own file");
    EXPECT_GT(kvp_test::read_file(request.output).size(), 10000u);
    EXPECT_EQ(run.converter.asked_end.minutes, -1);  // nothing to dewarp
}

// A flat TS recording is delivered as the copy the converter's Init made,
// and a copy that cannot be made is a failure.
TEST(ExportJob, AFlatTsIsDeliveredAsTheRemuxedCopyAndCopyFailuresAreReported) {
    {
        kvp_test::TempDir dir;
        JobRun run;
        run.converter.remux_copy = dir.file("temp.mp4");
        auto job = run.start(request_in(dir, false));
        const ExportResult r = run.wait();
        EXPECT_EQ(r.outcome, ExportOutcome::finished);
        EXPECT_EQ(kvp_test::read_file(dir.file("clip_out.mp4")), "remuxed");
        EXPECT_FALSE(kvp_test::names_in(dir.path()).count("temp.mp4"));
    }
    {
        kvp_test::TempDir dir;
        JobRun run;
        ExportRequest request = request_in(dir, false);  // "source" is no video
        auto job = run.start(request);
        const ExportResult r = run.wait();
        EXPECT_EQ(r.outcome, ExportOutcome::failed);
        EXPECT_FALSE(r.text.empty());
        EXPECT_FALSE(kvp_test::names_in(dir.path()).count("clip_out.mp4"));
    }
}

// The telemetry overlay: the first trip clip (4 s, a fix every second).
ExportRequest overlay_request(const kvp_test::TempDir& dir, int units_flag) {
    ExportRequest r;
    r.source = KVP_SAMPLES_DIR "/trips/20241207_153000A.ts";
    r.output = dir.file("trip_out.mp4");
    r.overlay = {true, true, true};
    r.units_flag = units_flag;
    return r;
}

int count_of(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The cues reach the converter before it starts, one a second in the
// viewer's units; the finished MP4 gets them as a subtitle track and the
// GPX of the four seconds lies beside it.
TEST(ExportJob, TheOverlayIsBurntInThenAddedAsSubtitlesAndAGpx) {
    for (const int units_flag : {1, 0}) {
        kvp_test::TempDir dir;
        JobRun run;
        run.converter.polls_left = 2;
        run.converter.duration = {0, 4, 0};
        run.converter.picture_file = KVP_SAMPLES_DIR "/flat.mp4";
        auto job = run.start(overlay_request(dir, units_flag));
        const ExportResult r = run.wait();
        EXPECT_EQ(r.outcome, ExportOutcome::finished) << r.text;
        EXPECT_TRUE(r.overlaid);
        EXPECT_TRUE(run.converter.overlay_before_start);
        ASSERT_EQ(run.converter.overlay.size(), 4u);
        EXPECT_EQ(run.converter.overlay_ends.back(), 4000);
        EXPECT_NE(run.converter.overlay[0].find("15:30:00"), std::string::npos);
        EXPECT_NE(run.converter.overlay[0].find(units_flag == 1 ? "36KM/H" : "22MPH"),
                  std::string::npos)
            << run.converter.overlay[0];
        const auto streams =
            kvp_test::run_command("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 '" +
                                  dir.file("trip_out.mp4") + "'");
        EXPECT_NE(streams.out.find("mov_text"), std::string::npos) << streams.out;
        EXPECT_EQ(count_of(kvp_test::read_file(dir.file("trip_out.gpx")), "<trkpt"), 4);
    }
}

// Without a track, or for a copy, there is nothing to draw: the export
// goes on as without the choice and writes no GPX.
TEST(ExportJob, NoTrackOrAFlatCopyMeansAnExportWithoutOverlay) {
    {
        kvp_test::TempDir dir;
        JobRun run;
        run.converter.polls_left = 2;
        ExportRequest request = request_in(dir);  // "source" holds no track
        request.overlay = {true, true, true};
        auto job = run.start(request);
        const ExportResult r = run.wait();
        EXPECT_EQ(r.outcome, ExportOutcome::finished) << r.text;
        EXPECT_FALSE(r.overlaid);
        EXPECT_TRUE(run.converter.overlay.empty());
        EXPECT_FALSE(kvp_test::names_in(dir.path()).count("clip_out.gpx"));
    }
    {
        kvp_test::TempDir dir;
        JobRun run;
        run.converter.remux_copy = dir.file("temp.mp4");
        ExportRequest request = overlay_request(dir, 1);
        request.dewarp = false;
        auto job = run.start(request);
        const ExportResult r = run.wait();
        EXPECT_EQ(r.outcome, ExportOutcome::finished) << r.text;
        EXPECT_TRUE(r.copied);
        EXPECT_FALSE(r.overlaid);
        EXPECT_TRUE(run.converter.overlay.empty());
        EXPECT_FALSE(kvp_test::names_in(dir.path()).count("trip_out.gpx"));
    }
}

// A subtitle step that fails is a failure with its reason, and the
// converter's output stays as it was; no temporary file is left.
TEST(ExportJob, AFailedSubtitleStepIsReportedAndKeepsTheConvertedFile) {
    kvp_test::TempDir dir;
    JobRun run;
    run.converter.polls_left = 2;
    run.converter.duration = {0, 4, 0};  // the output is no video: no remux
    auto job = run.start(overlay_request(dir, 1));
    const ExportResult r = run.wait();
    EXPECT_EQ(r.outcome, ExportOutcome::failed);
    EXPECT_TRUE(r.output_kept);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.text.find("the video is kept"), std::string::npos) << r.text;
    EXPECT_EQ(kvp_test::read_file(dir.file("trip_out.mp4")), "header");
    EXPECT_EQ(kvp_test::names_in(dir.path()), std::set<std::string>{"trip_out.mp4"});
}

// The three recordings of the trip sample set (4 s each, a fix a second).
ExportRequest trip_request(const kvp_test::TempDir& dir) {
    ExportRequest r;
    for (const char* name : {"20241207_153000A.ts", "20241207_153004A.ts", "20241207_153008A.ts"}) {
        r.sources.push_back(std::string(KVP_SAMPLES_DIR "/trips/") + name);
    }
    r.output = dir.file("trip_out.mp4");
    return r;
}

int pictures_in(const std::string& path) {
    const auto probe = kvp_test::run_command(
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
        "stream=nb_read_frames -of csv=p=0 '" +
        path + "'");
    return std::atoi(probe.out.c_str());
}

// A trip is joined beside the output and the converter reads the joined
// file: every picture of the three recordings, the cues of each
// recording's own track in its place; the joined file is gone afterwards.
TEST(ExportJob, ATripIsJoinedThenConvertedAsOneRecording) {
    kvp_test::TempDir dir;
    JobRun run;
    run.converter.polls_left = 2;
    run.converter.duration = {0, 12, 0};
    run.converter.copy_source = true;
    ExportRequest request = trip_request(dir);
    request.overlay = {true, true, true};
    auto job = run.start(request);
    const ExportResult r = run.wait();
    EXPECT_EQ(r.outcome, ExportOutcome::finished) << r.text;
    EXPECT_TRUE(r.overlaid);
    EXPECT_EQ(run.converter.src.rfind(dir.file(".trip_out.mp4.join-"), 0), 0u) << run.converter.src;
    int pictures = 0;
    for (const std::string& s : request.sources) pictures += pictures_in(s);
    EXPECT_GT(pictures, 0);
    EXPECT_EQ(pictures_in(dir.file("trip_out.mp4")), pictures);
    ASSERT_EQ(run.converter.overlay.size(), 12u);
    EXPECT_NE(run.converter.overlay[0].find("15:30:00"), std::string::npos);
    EXPECT_NE(run.converter.overlay[4].find("15:30:04"), std::string::npos);
    EXPECT_NE(run.converter.overlay[11].find("15:30:11"), std::string::npos);
    EXPECT_EQ(kvp_test::names_in(dir.path()),
              (std::set<std::string>{"trip_out.mp4", "trip_out.gpx"}));
}

// A flat trip is delivered as the copy of the joined file, not of its
// first recording.
TEST(ExportJob, AFlatTripIsDeliveredAsTheCopyOfTheJoinedFile) {
    kvp_test::TempDir dir;
    JobRun run;
    ExportRequest request;
    request.sources = {KVP_SAMPLES_DIR "/flat.mp4", KVP_SAMPLES_DIR "/flat.mp4"};
    request.output = dir.file("flat_out.mp4");
    request.dewarp = false;
    auto job = run.start(request);
    const ExportResult r = run.wait();
    EXPECT_EQ(r.outcome, ExportOutcome::finished) << r.text;
    EXPECT_TRUE(r.copied);
    const int pictures = pictures_in(KVP_SAMPLES_DIR "/flat.mp4");
    EXPECT_GT(pictures, 0);
    EXPECT_EQ(pictures_in(dir.file("flat_out.mp4")), 2 * pictures);
    EXPECT_EQ(kvp_test::names_in(dir.path()), std::set<std::string>{"flat_out.mp4"});
}

// A join that fails is a failed export with the join's reason, before the
// converter is asked anything; a cancelled or failed conversion of a trip
// leaves no joined file either.
TEST(ExportJob, ATripLeavesNoJoinedFileHoweverItEnds) {
    {
        kvp_test::TempDir dir;
        JobRun run;
        ExportRequest request = trip_request(dir);
        request.sources.insert(request.sources.begin() + 1, dir.file("notes.txt"));
        kvp_test::write_file(request.sources[1], "no video");
        auto job = run.start(request);
        const ExportResult r = run.wait();
        EXPECT_EQ(r.outcome, ExportOutcome::failed);
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.text.find("cannot join the recordings"), std::string::npos) << r.text;
        EXPECT_NE(r.text.find("notes.txt"), std::string::npos) << r.text;
        EXPECT_TRUE(run.converter.src.empty());
        EXPECT_EQ(kvp_test::names_in(dir.path()), std::set<std::string>{"notes.txt"});
    }
    {
        kvp_test::TempDir dir;
        JobRun run;
        auto job = run.start(trip_request(dir));
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        job->cancel();
        const ExportResult r = run.wait();
        EXPECT_EQ(r.outcome, ExportOutcome::cancelled);
        // Cancelled while joining or while converting: the output or nothing.
        for (const std::string& name : kvp_test::names_in(dir.path())) {
            EXPECT_EQ(name, "trip_out.mp4");
        }
    }
    {
        kvp_test::TempDir dir;
        JobRun run;
        run.converter.polls_left = 2;
        run.converter.result_code = DOR_CONVERTER_ERROR_FAILURE;
        auto job = run.start(trip_request(dir));
        const ExportResult r = run.wait();
        EXPECT_EQ(r.outcome, ExportOutcome::failed);
        EXPECT_TRUE(kvp_test::names_in(dir.path()).empty());
    }
}

}  // namespace
