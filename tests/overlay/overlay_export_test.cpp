// kvptool export --overlay on the generated trip clips at L (640x384): the
// band read back from the decoded pictures against the same export without
// overlay, the subtitle track, the GPX read back by gpsbabel, and the
// subtitle step alone leaving the video packets as they were.
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/hash.h>
#include <libavutil/imgutils.h>
}

#include "overlay/overlay_output.h"
#include "temp_dir.h"

namespace {

const std::string kSamples = KVP_SAMPLES_DIR;
constexpr int kWidth = 640, kHeight = 384;  // quality L
constexpr int kFps = 10;                    // the trip clips' rate

// The rows the band covers at L: three lines reach up to here from the
// bottom, the time line alone not above kOneLineRows.
constexpr int kThreeLineRows = 60;
constexpr int kOneLineRows = 30;
constexpr int kBandColumns = 220;  // the longest line, the position, ends before this

struct Luma {
    int width = 0, height = 0;
    std::vector<uint8_t> y;
    int at(int x, int row) const { return y[static_cast<std::size_t>(row) * width + x]; }
};

struct InputCloser {
    AVFormatContext* ctx = nullptr;
    ~InputCloser() { avformat_close_input(&ctx); }
};

// Every picture of the first video stream, luma only.
std::vector<Luma> decode_all(const std::string& path) {
    std::vector<Luma> out;
    InputCloser in;
    if (avformat_open_input(&in.ctx, path.c_str(), nullptr, nullptr) < 0 ||
        avformat_find_stream_info(in.ctx, nullptr) < 0) {
        return out;
    }
    const int v = av_find_best_stream(in.ctx, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (v < 0) return out;
    const AVCodec* codec = avcodec_find_decoder(in.ctx->streams[v]->codecpar->codec_id);
    AVCodecContext* dec = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(dec, in.ctx->streams[v]->codecpar);
    avcodec_open2(dec, codec, nullptr);
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto take = [&] {
        while (avcodec_receive_frame(dec, frame) == 0) {
            Luma l;
            l.width = frame->width;
            l.height = frame->height;
            l.y.resize(static_cast<std::size_t>(l.width) * l.height);
            av_image_copy_plane(l.y.data(), l.width, frame->data[0], frame->linesize[0], l.width,
                                l.height);
            out.push_back(std::move(l));
            av_frame_unref(frame);
        }
    };
    for (bool flushed = false; !flushed;) {
        if (av_read_frame(in.ctx, pkt) < 0) {
            avcodec_send_packet(dec, nullptr);
            flushed = true;
        } else if (pkt->stream_index == v) {
            avcodec_send_packet(dec, pkt);
        }
        av_packet_unref(pkt);
        take();
    }
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&dec);
    return out;
}

// Pixels of rows [top, bottom) and columns [0, columns) that the overlay
// made light: text, where the plain export is not as light.
int text_pixels(const Luma& with, const Luma& without, int top, int bottom, int columns) {
    int n = 0;
    for (int r = top; r < bottom; ++r) {
        for (int x = 0; x < columns; ++x) {
            n += with.at(x, r) > 150 && with.at(x, r) > without.at(x, r) + 40;
        }
    }
    return n;
}

// Mean absolute luma difference over rows [top, bottom), all columns.
double mean_difference(const Luma& a, const Luma& b, int top, int bottom) {
    double sum = 0;
    for (int r = top; r < bottom; ++r) {
        for (int x = 0; x < a.width; ++x) sum += std::abs(a.at(x, r) - b.at(x, r));
    }
    return sum / ((bottom - top) * a.width);
}

kvp_test::CommandResult kvptool(const std::string& args) {
    return kvp_test::run_command("env -u DISPLAY " KVP_BIN_DIR "/kvptool " + args + " 2>&1");
}

// Exports `clip` (copied into the folder first: the converter writes its
// remuxed copy beside the recording) at L, one wide view, with `options`.
bool export_clip(const kvp_test::TempDir& dir, const std::string& clip, const std::string& out,
                 const std::string& options) {
    const std::string in = dir.file("clip.ts");
    if (!kvp_test::write_file(in, kvp_test::read_file(clip))) return false;
    const auto r =
        kvptool("export '" + in + "' '" + out + "' --quality L --layout wide " + options);
    EXPECT_EQ(r.exit_code, 0) << r.out;
    return r.exit_code == 0;
}

struct Exported {
    std::vector<Luma> plain, overlaid;
};

Exported export_both(const kvp_test::TempDir& dir, const std::string& clip) {
    Exported e;
    if (!export_clip(dir, clip, dir.file("plain.mp4"), "") ||
        !export_clip(dir, clip, dir.file("overlay.mp4"), "--overlay time,speed,position")) {
        return e;
    }
    e.plain = decode_all(dir.file("plain.mp4"));
    e.overlaid = decode_all(dir.file("overlay.mp4"));
    return e;
}

// The subtitle stream's codec and its cues: the samples with text (the
// muxer adds empty ones where a cue ends). -1 without a subtitle stream.
int subtitle_cues(const std::string& path, std::string& codec) {
    codec = kvp_test::run_command(
                "ffprobe -v error -select_streams s -show_entries "
                "stream=codec_name -of csv=p=0 '" +
                path + "'")
                .out;
    if (codec.empty()) return -1;
    codec.erase(codec.find_last_not_of("\n") + 1);
    const auto r = kvp_test::run_command(
        "ffprobe -v error -select_streams s -show_entries packet=size -of csv=p=0 '" + path + "'");
    int cues = 0;
    std::istringstream in(r.out);
    for (std::string size; std::getline(in, size);) cues += std::atoi(size.c_str()) > 2;
    return cues;
}

std::vector<std::string> gpx_points(const std::string& gpx) {
    const auto r = kvp_test::run_command("gpsbabel -t -i gpx -f '" + gpx + "' -o unicsv -F - 2>&1");
    std::vector<std::string> lines;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(OverlayExport, EveryPictureWithAFixCarriesTheBandAndTheRestIsUnchanged) {
    kvp_test::TempDir dir;
    const Exported e = export_both(dir, kSamples + "/trips/20241207_153000A.ts");
    ASSERT_EQ(e.plain.size(), 40u);
    ASSERT_EQ(e.overlaid.size(), e.plain.size());
    ASSERT_EQ(e.overlaid[0].width, kWidth);
    ASSERT_EQ(e.overlaid[0].height, kHeight);
    for (std::size_t i = 0; i < e.plain.size(); ++i) {
        const Luma& with = e.overlaid[i];
        const Luma& without = e.plain[i];
        // Three lines of text in the corner band...
        EXPECT_GT(text_pixels(with, without, kHeight - kThreeLineRows, kHeight - kOneLineRows,
                              kBandColumns),
                  150)
            << "picture " << i;
        EXPECT_GT(text_pixels(with, without, kHeight - kOneLineRows, kHeight, kBandColumns), 80)
            << "picture " << i;
        // ...and nothing but coding noise above it.
        EXPECT_LT(mean_difference(with, without, 0, kHeight - 100), 1.5) << "picture " << i;
    }
    std::string codec;
    EXPECT_EQ(subtitle_cues(dir.file("overlay.mp4"), codec), 4);
    EXPECT_EQ(codec, "mov_text");
    const auto points = gpx_points(dir.file("overlay.gpx"));
    ASSERT_EQ(points.size(), 5u);  // the header and one point a second
    EXPECT_NE(points[1].find("22.54"), std::string::npos) << points[1];
    EXPECT_NE(points[1].find("114.05"), std::string::npos) << points[1];
    EXPECT_NE(points[4].find("15:30:03"), std::string::npos) << points[4];
}

TEST(OverlayExport, ASecondWithoutAFixShowsOnlyItsTime) {
    kvp_test::TempDir dir;
    // Second 1 of this clip has no fix.
    const Exported e = export_both(dir, kSamples + "/trips_gap/20241207_153030A.ts");
    ASSERT_EQ(e.plain.size(), 40u);
    ASSERT_EQ(e.overlaid.size(), e.plain.size());
    for (std::size_t i = 0; i < e.plain.size(); ++i) {
        const bool fix = i / kFps != 1;
        const int upper = text_pixels(e.overlaid[i], e.plain[i], kHeight - kThreeLineRows,
                                      kHeight - kOneLineRows, kBandColumns);
        if (fix) {
            EXPECT_GT(upper, 150) << "picture " << i;
        } else {
            // The band is one line high: the rows above it are the picture's.
            EXPECT_LT(upper, 5) << "picture " << i;
            EXPECT_LT(mean_difference(e.overlaid[i], e.plain[i], 0, kHeight - kOneLineRows), 1.5)
                << "picture " << i;
        }
        EXPECT_GT(
            text_pixels(e.overlaid[i], e.plain[i], kHeight - kOneLineRows, kHeight, kBandColumns),
            80)
            << "picture " << i;
    }
    std::string codec;
    EXPECT_EQ(subtitle_cues(dir.file("overlay.mp4"), codec), 4);
    EXPECT_EQ(gpx_points(dir.file("overlay.gpx")).size(), 4u);  // three fixes
}

// The subtitle track as SubRip text, by FFmpeg.
std::string subtitles_as_srt(const std::string& path) {
    return kvp_test::run_command("ffmpeg -v error -i '" + path + "' -map 0:s -f srt -").out;
}

// Seconds of the key frames of a recording, from its first picture.
std::vector<double> key_frames(const std::string& path) {
    const auto r = kvp_test::run_command(
        "ffprobe -v error -skip_frame nokey -select_streams v -show_entries frame=pts_time "
        "-of csv=p=0 '" +
        path + "'");
    std::vector<double> times;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] != ',') times.push_back(std::atof(line.c_str()));
    }
    for (double& t : times) t -= times.empty() ? 0 : times.front();
    return times;
}

TEST(OverlayExport, ALaterStartIsTimedFromTheKeyFrameTheExportStartsAt) {
    kvp_test::TempDir dir;
    const std::string clip = kSamples + "/trips/20241207_153000A.ts";
    ASSERT_TRUE(
        export_clip(dir, clip, dir.file("out.mp4"), "--from 0:02 --to 0:04 --overlay time"));
    // The second of the last key frame at or before 2 s opens the output;
    // the output is two seconds long, so are its cues.
    int key_second = 0;
    for (double t : key_frames(clip)) {
        if (t <= 2.0 + 1e-6) key_second = static_cast<int>(t);
    }
    const std::string srt = subtitles_as_srt(dir.file("out.mp4"));
    char first[32];
    std::snprintf(first, sizeof first, "15:30:%02d", key_second);
    EXPECT_NE(
        srt.find(std::string("00:00:00,000 --> 00:00:01,000\n<font face=\"Sans\">2024-12-07 ") +
                 first),
        std::string::npos)
        << srt;
    std::string codec;
    EXPECT_EQ(subtitle_cues(dir.file("out.mp4"), codec), 2);
    EXPECT_EQ(decode_all(dir.file("out.mp4")).size(), 20u);
}

TEST(OverlayExport, ATripTakesEachRecordingsOwnTrackAcrossTheJoins) {
    // The joined file carries no GPS: every second must come from the
    // recording it belongs to, the third file's first second at 8 s.
    kvp_test::TempDir dir;
    const std::string trip = dir.file("trip");
    ASSERT_EQ(kvp_test::run_command("cp -r '" + kSamples + "/trips' '" + trip + "'").exit_code, 0);
    const std::string out = dir.file("trip.mp4");
    const auto r = kvptool("export --trip '" + trip + "' '" + out +
                           "' --quality L --layout wide --overlay time,speed,position");
    ASSERT_EQ(r.exit_code, 0) << r.out;
    std::string codec;
    EXPECT_EQ(subtitle_cues(out, codec), 12);
    const std::string srt = subtitles_as_srt(out);
    EXPECT_NE(srt.find("00:00:04,000 --> 00:00:05,000\n<font face=\"Sans\">2024-12-07 15:30:04"),
              std::string::npos)
        << srt;
    EXPECT_NE(srt.find("00:00:08,000 --> 00:00:09,000\n<font face=\"Sans\">2024-12-07 15:30:08"),
              std::string::npos)
        << srt;
    // Twelve track points, plus gpsbabel's header line.
    const auto points = gpx_points(dir.file("trip.gpx"));
    ASSERT_EQ(points.size(), 13u);
    EXPECT_NE(points.back().find("15:30:11"), std::string::npos) << points.back();
    // No picture of the three clips is lost or doubled.
    const std::vector<Luma> pictures = decode_all(out);
    EXPECT_EQ(pictures.size(), 120u);
}

TEST(OverlayExport, ARecordingWithoutGpsIsExportedWithoutOverlayAndSaysSo) {
    kvp_test::TempDir dir;
    const std::string in = dir.file("clip.mp4");
    ASSERT_TRUE(kvp_test::write_file(in, kvp_test::read_file(kSamples + "/fisheye.mp4")));
    const auto r = kvptool("export '" + in + "' '" + dir.file("out.mp4") +
                           "' --quality L --layout wide --to 0:02 --overlay time");
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("has no GPS track"), std::string::npos) << r.out;
    std::string codec;
    EXPECT_EQ(subtitle_cues(dir.file("out.mp4"), codec), -1);  // no subtitle stream
    EXPECT_FALSE(kvp_test::names_in(dir.path()).count("out.gpx"));
}

TEST(OverlayExport, AnUnknownFieldIsRefusedBeforeAnythingIsWritten) {
    kvp_test::TempDir dir;
    const auto r = kvptool("export '" + kSamples + "/trips/20241207_153000A.ts' '" +
                           dir.file("out.mp4") + "' --overlay time,altitude");
    EXPECT_NE(r.exit_code, 0);
    EXPECT_NE(r.out.find("altitude"), std::string::npos) << r.out;
    EXPECT_TRUE(kvp_test::names_in(dir.path()).empty());
}

// MD5 of every packet of stream `index`, in file order.
std::vector<std::string> packet_hashes(const std::string& path, int index) {
    std::vector<std::string> hashes;
    InputCloser in;
    if (avformat_open_input(&in.ctx, path.c_str(), nullptr, nullptr) < 0) return hashes;
    AVPacket* pkt = av_packet_alloc();
    while (av_read_frame(in.ctx, pkt) >= 0) {
        if (pkt->stream_index == index) {
            AVHashContext* h = nullptr;
            av_hash_alloc(&h, "MD5");
            av_hash_init(h);
            av_hash_update(h, pkt->data, pkt->size);
            char hex[64];
            av_hash_final_hex(h, reinterpret_cast<uint8_t*>(hex), sizeof hex);
            av_hash_freep(&h);
            hashes.push_back(std::string(hex) + "@" + std::to_string(pkt->pts));
        }
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    return hashes;
}

TEST(OverlaySubtitles, TheTrackIsAddedWithoutTouchingThePictures) {
    kvp_test::TempDir dir;
    const std::string path = dir.file("clip.mp4");
    ASSERT_TRUE(kvp_test::write_file(path, kvp_test::read_file(kSamples + "/fisheye.mp4")));
    const auto before = packet_hashes(path, 0);
    ASSERT_FALSE(before.empty());
    // A gap between the two cues: the second must still start at 3 s.
    const std::vector<overlay::OverlayCue> cues = {{0, 1000, "2024-12-07 15:30:00\n36KM/H"},
                                                   {3000, 4000, "22°30'0\"N, 114°3'0\"E"}};
    std::string why;
    ASSERT_TRUE(overlay::add_subtitle_track(path, cues, why)) << why;
    EXPECT_EQ(packet_hashes(path, 0), before);
    const auto r = kvp_test::run_command(
        "ffprobe -v error -select_streams s -show_entries packet=pts_time,size -of csv=p=0 '" +
        path + "'");
    EXPECT_NE(r.out.find("3.000000"), std::string::npos) << r.out;
    EXPECT_EQ(kvp_test::names_in(dir.path()).size(), 1u);  // no temporary file left
    EXPECT_TRUE(overlay::takes_subtitles("trip.mp4"));
    EXPECT_TRUE(overlay::takes_subtitles("trip.mov"));
    EXPECT_FALSE(overlay::takes_subtitles("trip.ts"));
}

}  // namespace
