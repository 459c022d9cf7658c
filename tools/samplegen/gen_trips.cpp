// Trips: folders of consecutive recorder TS clips with GPS, named as the
// recorder names them (start time, camera letter), each clip 4 s long.
//
//  - trips/      20241207_153000A.ts, 20241207_153004A.ts, 20241207_153008A.ts:
//                one trip of 12 s, a fix every second;
//  - trips_gap/  20241207_153000A.ts and 20241207_153004A.ts, then, after a
//                22 s gap, 20241207_153030A.ts and 20241207_153034A.ts, in
//                which two of the four seconds have no fix (trip 2 has 6
//                fixes in 8 s);
//  - trips_sound/ the three clips of trips/ with sound (AAC, 48 kHz), for
//                the joins of a trip's export.
//
// The GPS record of second s after 15:30:00 (UTC on the recorder's clock):
// 22.54 + s/10000 N, 114.05 + 2s/10000 E, 10 + s/10 m/s. Each clip carries
// the recorder's GPS packets on PID 0x300, the first of the file without a
// record, laid evenly between FFmpeg's packets.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "samplegen.h"

namespace {

using samplegen::put_le32;
using samplegen::put_le_double;

constexpr std::size_t kPacketSize = 188;
constexpr std::size_t kRecordSize = 120;
constexpr std::size_t kRecordOffset = 18;  // after the header and the recorder's own bytes
constexpr unsigned kGpsPid = 0x300;
constexpr int kClipSeconds = 4;
constexpr int kStartHour = 15, kStartMinute = 30;

// The record of second `s` after 15:30:00 on 2024-12-07.
std::string record(int s, bool fix) {
    std::string r(kRecordSize, '\0');
    const int total = kStartHour * 3600 + kStartMinute * 60 + s;
    put_le32(r, 0, total / 3600);
    put_le32(r, 4, total / 60 % 60);
    put_le32(r, 8, total % 60);
    r[12] = fix ? 'A' : 'V';
    put_le_double(r, 16, 22.54 + s / 10000.0);
    r[24] = 'N';
    put_le_double(r, 32, 114.05 + 2 * s / 10000.0);
    r[40] = 'E';
    put_le_double(r, 48, 10.0 + s / 10.0);
    put_le32(r, 64, 2024);
    put_le32(r, 68, 12);
    put_le32(r, 72, 7);
    return r;
}

std::string gps_packet(unsigned counter, const std::string& rec) {
    std::string p(kPacketSize, '\xFF');
    p[0] = 0x47;
    p[1] = static_cast<char>(0x40 | ((kGpsPid >> 8) & 0x1F));
    p[2] = static_cast<char>(kGpsPid & 0xFF);
    p[3] = static_cast<char>(0x10 | (counter & 0x0F));
    std::memset(&p[4], 0, kRecordOffset - 4);
    std::memcpy(&p[4], "GPSD", 4);
    if (!rec.empty()) p.replace(kRecordOffset, kRecordSize, rec);
    return p;
}

// The clip's packets with the GPS packets laid between them: the first right
// after the tables, the rest evenly over the file.
bool write_clip(const std::string& base, const std::vector<std::string>& gps,
                const std::string& out) {
    constexpr std::size_t kFirstSlot = 3;
    const std::size_t packets = base.size() / kPacketSize;
    if (base.size() % kPacketSize != 0 || packets < kFirstSlot + gps.size()) return false;
    std::string bytes;
    bytes.reserve(base.size() + gps.size() * kPacketSize);
    std::size_t next = 0;
    for (std::size_t i = 0; i < packets; ++i) {
        while (next < gps.size() && kFirstSlot + next * (packets - kFirstSlot) / gps.size() == i) {
            bytes += gps[next++];
        }
        bytes.append(base, i * kPacketSize, kPacketSize);
    }
    return samplegen::write_file(out, bytes);
}

// A clip starting `offset_s` after 15:30:00; `no_fix` lists the seconds of
// the clip (0 to 3) without a fix.
bool make_clip(const std::string& base, const std::string& dir, int offset_s,
               const std::vector<int>& no_fix = {}) {
    std::vector<std::string> gps = {gps_packet(0, record(offset_s, true))};
    for (int k = 0; k < kClipSeconds; ++k) {
        bool fix = true;
        for (int n : no_fix) fix = fix && n != k;
        gps.push_back(gps_packet(static_cast<unsigned>(k + 1), record(offset_s + k, fix)));
    }
    const int total = kStartMinute * 60 + offset_s;
    char name[32];
    std::snprintf(name, sizeof name, "20241207_%02d%02d%02dA.ts", kStartHour + total / 3600,
                  total / 60 % 60, total % 60);
    return write_clip(base, gps, dir + "/" + name);
}

// The 4 s clip every file of the sets is made from, as MPEG-TS bytes.
bool base_clip(const samplegen::Context& ctx, std::string& ts, bool audio = false) {
    samplegen::FisheyeClip clip;
    clip.width = clip.height = 320;
    clip.cx = clip.cy = 160;
    clip.radius = 156;
    clip.seconds = kClipSeconds;
    clip.fps = 10;
    clip.audio = audio;
    const std::string mp4 = ctx.path(".trips_base.mp4");
    const std::string base = ctx.path(".trips_base.ts");
    const bool ok = samplegen::make_fisheye_clip(ctx, clip, mp4) &&
                    samplegen::ffmpeg(ctx, {"-i", mp4, "-c", "copy", "-f", "mpegts",
                                            "-mpegts_pmt_start_pid", "0x20", base}) &&
                    samplegen::read_file(base, ts);
    std::remove(mp4.c_str());
    std::remove(base.c_str());
    return ok;
}

bool make_trips(const samplegen::Context& ctx) {
    std::string base;
    const std::string dir = ctx.path("trips");
    ::mkdir(dir.c_str(), 0755);
    return base_clip(ctx, base) && make_clip(base, dir, 0) && make_clip(base, dir, 4) &&
           make_clip(base, dir, 8);
}

bool make_trips_gap(const samplegen::Context& ctx) {
    std::string base;
    const std::string dir = ctx.path("trips_gap");
    ::mkdir(dir.c_str(), 0755);
    return base_clip(ctx, base) && make_clip(base, dir, 0) && make_clip(base, dir, 4) &&
           make_clip(base, dir, 30, {1}) && make_clip(base, dir, 34, {2});
}

bool make_trips_sound(const samplegen::Context& ctx) {
    std::string base;
    const std::string dir = ctx.path("trips_sound");
    ::mkdir(dir.c_str(), 0755);
    return base_clip(ctx, base, true) && make_clip(base, dir, 0) && make_clip(base, dir, 4) &&
           make_clip(base, dir, 8);
}

}  // namespace

KVP_SAMPLE_SET(trips, "trips/: three consecutive 4 s recorder TS clips with GPS", make_trips)
KVP_SAMPLE_SET(trips_gap, "trips_gap/: two pairs of consecutive 4 s TS clips with GPS, 22 s apart",
               make_trips_gap)
KVP_SAMPLE_SET(trips_sound, "trips_sound/: the three clips of trips/ with sound", make_trips_sound)
