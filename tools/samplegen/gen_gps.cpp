// Recordings with GPS and G-sensor data, made the way the recorder stores it:
// a real FFmpeg clip into which the data is written at byte level.
//
//  - gps_track.ts    the recorder's GPS packets on PID 0x300 (the first one
//                    of the file carries no record), six records one second
//                    apart, a record with an unknown status, the end marker on
//                    PID 0x350 and two stray GPS packets after it;
//  - gps_jump101.ts  records t, t+1, t+2, t+103, t+104 (a jump of 101 s);
//  - gps_jump100.ts  records t, t+1, t+101, t+102 (a jump of exactly 100 s);
//  - gps_single.ts   one record after the skipped first packet;
//  - gps_index.mp4   a "gps " index box in moov pointing to five sample
//                    blocks (NMEA positions, knots) stored after moov;
//  - gps_sbtl.mp4    a subtitle ('sbtl') track whose samples are four
//                    120-byte records;
//  - gps_side/       the side-file layout: MOVA/CLIP1.MP4 with MOVG/CLIP1.gps
//                    (250 bytes), MOVA/CLIP2.MP4 (= gps_index.mp4) with a
//                    100-byte MOVG/CLIP2.gps, MOVA/CLIP3.TS (= gps_track.ts)
//                    with MOVG/CLIP3.gps, MOVX/CLIP1.MP4 (= gps_index.mp4).
//
// Record k of the generated tracks (see gps_record below): 2023-05-17
// 10:20:30 + k seconds, 22.54 + k/10000 N, 114.05 + k/10000 E, 5 + k m/s,
// G-sensor (k, -k, 10 + k).
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

constexpr std::size_t kRecordSize = 120;
constexpr std::size_t kTsPacketSize = 188;
constexpr unsigned kGpsPid = 0x300;
constexpr unsigned kGpsEndPid = 0x350;
constexpr std::size_t kTsRecordOffset = 18;
constexpr std::size_t kMp4SampleSize = 44;
constexpr std::size_t kMp4BlockSize = 2 * kMp4SampleSize;  // 44 skipped bytes, then the sample

void put_le_float(std::string& b, std::size_t at, float v) {
    std::uint32_t u;
    std::memcpy(&u, &v, sizeof u);
    put_le32(b, at, static_cast<std::int32_t>(u));
}

void put_be32(std::string& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (24 - 8 * i)) & 0xFF);
}

std::uint32_t get_be32(const std::string& b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | static_cast<std::uint8_t>(b[at + i]);
    return v;
}

std::string be32(std::uint32_t v) {
    std::string s(4, '\0');
    put_be32(s, 0, v);
    return s;
}

std::string box(const char* type, const std::string& payload) {
    return be32(static_cast<std::uint32_t>(8 + payload.size())) + std::string(type, 4) + payload;
}

struct Stamp {
    int year = 2023, month = 5, day = 17, hour = 10, minute = 20, second = 30;
};

// The calendar time `seconds` after 2023-05-17 10:20:30 (within that day).
Stamp stamp_after(int seconds) {
    Stamp s;
    const int total = s.hour * 3600 + s.minute * 60 + s.second + seconds;
    s.hour = total / 3600;
    s.minute = total / 60 % 60;
    s.second = total % 60;
    return s;
}

// The 120-byte record k, `seconds` after the start, with a fix status.
std::string gps_record(int k, int seconds, char status) {
    std::string r(kRecordSize, '\0');
    const Stamp t = stamp_after(seconds);
    put_le32(r, 0, t.hour);
    put_le32(r, 4, t.minute);
    put_le32(r, 8, t.second);
    r[12] = status;
    put_le_double(r, 16, 22.54 + k / 10000.0);
    r[24] = 'N';
    put_le_double(r, 32, 114.05 + k / 10000.0);
    r[40] = 'E';
    put_le_double(r, 48, 5.0 + k);
    put_le32(r, 64, t.year);
    put_le32(r, 68, t.month);
    put_le32(r, 72, t.day);
    put_le32(r, 76, k);
    put_le32(r, 80, -k);
    put_le32(r, 84, 10 + k);
    return r;
}

std::string ts_packet(unsigned pid, unsigned counter, const std::string& record) {
    std::string p(kTsPacketSize, '\xFF');
    p[0] = 0x47;
    p[1] = static_cast<char>(0x40 | ((pid >> 8) & 0x1F));  // payload unit start
    p[2] = static_cast<char>(pid & 0xFF);
    p[3] = static_cast<char>(0x10 | (counter & 0x0F));  // payload only
    std::memset(&p[4], 0, kTsRecordOffset - 4);         // the recorder's private header
    std::memcpy(&p[4], "GPSD", 4);
    if (!record.empty()) p.replace(kTsRecordOffset, kRecordSize, record);
    return p;
}

// Lays the extra packets into the clip's packets, the first one right after
// the tables at the start and the rest evenly over the file.
bool inject_ts(const std::string& base, const std::vector<std::string>& extra,
               const std::string& out) {
    constexpr std::size_t kFirstSlot = 3;  // after the PAT, the PMT and a video packet
    const std::size_t packets = base.size() / kTsPacketSize;
    if (base.size() % kTsPacketSize != 0 || packets < kFirstSlot + extra.size()) return false;
    std::string bytes;
    bytes.reserve(base.size() + extra.size() * kTsPacketSize);
    std::size_t next = 0;
    for (std::size_t i = 0; i < packets; ++i) {
        while (next < extra.size() &&
               kFirstSlot + next * (packets - kFirstSlot) / extra.size() == i) {
            bytes += extra[next++];
        }
        bytes.append(base, i * kTsPacketSize, kTsPacketSize);
    }
    return samplegen::write_file(out, bytes);
}

// GPS packets: the first carries a record the scan skips, then one packet per
// (seconds, status) pair.
std::vector<std::string> gps_packets(const std::vector<std::pair<int, char>>& records) {
    std::vector<std::string> packets;
    unsigned counter = 0;
    packets.push_back(ts_packet(kGpsPid, counter++, gps_record(-1, -1, 'A')));
    for (std::size_t k = 0; k < records.size(); ++k) {
        packets.push_back(
            ts_packet(kGpsPid, counter++,
                      gps_record(static_cast<int>(k), records[k].first, records[k].second)));
    }
    return packets;
}

bool make_ts_set(const samplegen::Context& ctx, const std::string& base_ts) {
    std::string base;
    if (!samplegen::read_file(base_ts, base)) return false;

    auto track = gps_packets({{0, 'A'}, {1, 'A'}, {2, 'V'}, {3, 'B'}, {4, 'A'}, {5, 'A'}});
    // An unknown status is dropped without being compared: its time is far off.
    track.insert(track.begin() + 3, ts_packet(kGpsPid, 15, gps_record(99, 5000, 'X')));
    track.push_back(ts_packet(kGpsEndPid, 0, ""));
    track.push_back(ts_packet(kGpsPid, 0, gps_record(6, 6, 'A')));  // after the end marker
    track.push_back(ts_packet(kGpsPid, 1, gps_record(7, 7, 'A')));
    return inject_ts(base, track, ctx.path("gps_track.ts")) &&
           inject_ts(base, gps_packets({{0, 'A'}, {1, 'A'}, {2, 'A'}, {103, 'A'}, {104, 'A'}}),
                     ctx.path("gps_jump101.ts")) &&
           inject_ts(base, gps_packets({{0, 'A'}, {1, 'A'}, {101, 'A'}, {102, 'A'}}),
                     ctx.path("gps_jump100.ts")) &&
           inject_ts(base, gps_packets({{0, 'A'}}), ctx.path("gps_single.ts"));
}

// Top-level box of `type`, which must be the last box of the file.
bool find_last_box(const std::string& file, const char* type, std::size_t& at) {
    for (std::size_t pos = 0; pos + 8 <= file.size();) {
        const std::uint32_t size = get_be32(file, pos);
        if (size < 8 || pos + size > file.size()) return false;
        if (file.compare(pos + 4, 4, type) == 0) {
            at = pos;
            return pos + size == file.size();
        }
        pos += size;
    }
    return false;
}

// The 44-byte sample k: NMEA ddmm.mmmm positions, knots.
std::string mp4_sample(int k, char status, char ns, char ew) {
    std::string s(kMp4SampleSize, '\0');
    const Stamp t = stamp_after(k);
    put_le32(s, 0, k);
    put_le32(s, 4, t.hour);
    put_le32(s, 8, t.minute);
    put_le32(s, 12, t.second);
    put_le32(s, 16, t.year);
    put_le32(s, 20, t.month);
    put_le32(s, 24, t.day);
    s[28] = status;
    s[29] = ns;
    s[30] = ew;
    put_le_float(s, 32, 2232.5f + k);      // 22 deg 32.5 min, plus k minutes
    put_le_float(s, 36, 11403.0f + k);     // 114 deg 3 min, plus k minutes
    put_le_float(s, 40, 10.0f * (k + 1));  // knots
    return s;
}

// Appends a "gps " box to moov (the last box, so no offset moves) and the
// sample blocks it points to in a "free" box after it.
bool make_index_mp4(const std::string& base_mp4, const std::string& out) {
    std::string file;
    std::size_t moov = 0;
    if (!samplegen::read_file(base_mp4, file) || !find_last_box(file, "moov", moov)) return false;
    const std::vector<std::string> samples = {
        mp4_sample(0, 'A', 'N', 'E'), mp4_sample(1, 'A', 'N', 'E'), mp4_sample(2, 'V', 'N', 'E'),
        mp4_sample(3, 'A', 'S', 'W'), mp4_sample(4, 'X', 'n', 'e')};
    const std::size_t index_size = 8 + 8 + samples.size() * 8;
    const std::size_t blocks_at = file.size() + index_size + 8;
    std::string index = be32(0) + be32(static_cast<std::uint32_t>(samples.size()));
    std::string blocks;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        index += be32(static_cast<std::uint32_t>(blocks_at + i * kMp4BlockSize));
        index += be32(kMp4BlockSize);
        std::string skipped(kMp4SampleSize, '\0');
        std::memcpy(&skipped[0], "GPSBLOCK", 8);
        blocks += skipped + samples[i];
    }
    put_be32(file, moov, get_be32(file, moov) + static_cast<std::uint32_t>(index_size));
    file += box("gps ", index);
    file += box("free", blocks);
    return samplegen::write_file(out, file);
}

// A mov_text track of cues one second each, whose 118-character texts (plus
// their 2-byte length, 120 bytes a sample) are then overwritten with records.
// FFmpeg ends a mov_text track with an empty sample of its own; the
// recorder's tracks hold records only, so that last chunk is dropped from the
// chunk-offset table.
bool make_sbtl_mp4(const samplegen::Context& ctx, const std::string& base_mp4,
                   const std::string& out) {
    constexpr int kCues = 4;
    std::string srt;
    std::vector<std::string> texts;
    for (int k = 0; k < kCues; ++k) {
        char head[16];
        std::snprintf(head, sizeof head, "KVPGPSREC%02d", k);
        texts.push_back(head + std::string(kRecordSize - 2 - std::strlen(head), 'x'));
        char cue[64];
        std::snprintf(cue, sizeof cue, "%d\n00:00:%02d,000 --> 00:00:%02d,000\n", k + 1, k, k + 1);
        srt += cue + texts.back() + "\n\n";
    }
    const std::string srt_path = ctx.path("gps_sbtl.srt");
    if (!samplegen::write_file(srt_path, srt)) return false;
    const bool muxed = samplegen::ffmpeg(ctx, {"-i", base_mp4, "-i", srt_path, "-map", "0", "-map",
                                               "1", "-c", "copy", "-c:s", "mov_text", out});
    std::remove(srt_path.c_str());
    std::string file;
    if (!muxed || !samplegen::read_file(out, file)) return false;
    for (int k = 0; k < kCues; ++k) {
        const std::size_t text = file.find(texts[k]);
        if (text == std::string::npos || text < 2) return false;
        file.replace(text - 2, kRecordSize, gps_record(k, k, k == 2 ? 'V' : 'A'));
    }
    // The subtitle track is the last one: its handler type, then its
    // chunk-offset box (type, version and flags, count).
    std::size_t moov = 0;
    if (!find_last_box(file, "moov", moov)) return false;
    const std::size_t handler = file.find("sbtl", moov);
    const std::size_t stco = file.find("stco", handler);
    if (handler == std::string::npos || stco == std::string::npos ||
        get_be32(file, stco + 8) != kCues + 1) {
        return false;
    }
    put_be32(file, stco + 8, kCues);
    return samplegen::write_file(out, file);
}

bool copy_file(const std::string& from, const std::string& to) {
    std::string bytes;
    return samplegen::read_file(from, bytes) && samplegen::write_file(to, bytes);
}

std::string side_records(int count, std::size_t extra_bytes) {
    std::string s;
    for (int k = 0; k < count; ++k) s += gps_record(k, k, 'A');
    return s + std::string(extra_bytes, '\x5A');
}

bool make_side_layout(const samplegen::Context& ctx, const std::string& base_mp4) {
    const std::string root = ctx.path("gps_side");
    for (const char* dir : {"", "/MOVA", "/MOVG", "/MOVX"}) ::mkdir((root + dir).c_str(), 0755);
    return copy_file(base_mp4, root + "/MOVA/CLIP1.MP4") &&
           samplegen::write_file(root + "/MOVG/CLIP1.gps", side_records(2, 10)) &&
           copy_file(ctx.path("gps_index.mp4"), root + "/MOVA/CLIP2.MP4") &&
           samplegen::write_file(root + "/MOVG/CLIP2.gps", std::string(100, '\x5A')) &&
           copy_file(ctx.path("gps_track.ts"), root + "/MOVA/CLIP3.TS") &&
           samplegen::write_file(root + "/MOVG/CLIP3.gps", side_records(3, 0)) &&
           copy_file(ctx.path("gps_index.mp4"), root + "/MOVX/CLIP1.MP4");
}

bool make_gps(const samplegen::Context& ctx) {
    samplegen::FisheyeClip clip;  // small: the data matters here, not the picture
    clip.width = clip.height = 160;
    clip.cx = clip.cy = 80;
    clip.radius = 76;
    clip.seconds = 4;
    clip.fps = 10;
    const std::string base_mp4 = ctx.path("gps_base.mp4");
    const std::string base_ts = ctx.path("gps_base.ts");
    const bool ok =
        samplegen::make_fisheye_clip(ctx, clip, base_mp4) &&
        samplegen::ffmpeg(ctx, {"-i", base_mp4, "-c", "copy", "-f", "mpegts",
                                "-mpegts_pmt_start_pid", "0x20", base_ts}) &&
        make_ts_set(ctx, base_ts) && make_index_mp4(base_mp4, ctx.path("gps_index.mp4")) &&
        make_sbtl_mp4(ctx, base_mp4, ctx.path("gps_sbtl.mp4")) && make_side_layout(ctx, base_mp4);
    std::remove(base_ts.c_str());
    return ok;
}

}  // namespace

KVP_SAMPLE_SET(
    gps,
    "gps_track.ts, gps_jump101.ts, gps_jump100.ts, gps_single.ts (GPS packets), "
    "gps_index.mp4 (\"gps \" box), gps_sbtl.mp4 (subtitle track), gps_side/ (side files)",
    make_gps)
