// Recorder TS files: MPEG-TS recordings that carry the recorder's own
// packets on PID 0x1000 (a PCR in the adaptation field and the wall-clock
// time at bytes 12 to 18), named after the recording's start
// ("20241207_153000A.ts": date, underscore, time, a letter).
//
// Two kinds:
//  - playable ones: the fisheye clip remuxed by FFmpeg (its program map on
//    PID 0x20, so that nothing but recorder packets sits on PID 0x1000) with
//    recorder packets inserted between its packets;
//  - byte-level ones of a few MB (and, on request, 100 MiB and 1 GiB) whose
//    only content is filler packets and recorder packets, for the repair's
//    windows and bisection.
// Damaged files end with packets of an older recording, as a recorder that
// reuses its files leaves them. Where the repair must cut each file is
// written to recorder_expected.txt ("name size_after action" per line, the
// action being whole, cut or untouched).
//
// This writer is independent of the player's repair code on purpose.
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "samplegen.h"

namespace {

constexpr std::size_t kPacket = 188;
constexpr std::uint16_t kRecorderPid = 0x1000;
constexpr std::uint16_t kFillerPid = 0x100;
constexpr std::int64_t kPcrHz = 90000;
constexpr std::int64_t kPcrStart = 126000;  // 1.4 s, as muxers start
// One recorder packet closes every block of this many packets.
constexpr std::size_t kRecorderEvery = 100;
// An older recording, one hour before the file's own.
constexpr int kOlderRecordingOffsetS = -3600;

struct WallClock {
    int year, month, day, hour, minute, second;
};

// The recorder's name for a recording that starts at `t`.
std::string recorder_name(const WallClock& t, char letter = 'A') {
    char name[32];
    std::snprintf(name, sizeof name, "%04d%02d%02d_%02d%02d%02d%c.ts", t.year, t.month, t.day,
                  t.hour, t.minute, t.second, letter);
    return name;
}

// `t` moved by whole seconds, as calendar arithmetic (no time zone).
WallClock add_seconds(const WallClock& t, std::int64_t seconds) {
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    const std::time_t moved = ::timegm(&tm) + static_cast<std::time_t>(seconds);
    std::tm out{};
    ::gmtime_r(&moved, &out);
    return {out.tm_year + 1900, out.tm_mon + 1, out.tm_mday, out.tm_hour, out.tm_min, out.tm_sec};
}

// A recorder packet: unit start, adaptation field only, PCR, then the
// wall-clock bytes.
std::string recorder_packet(std::int64_t pcr_base, const WallClock& t) {
    std::string p(kPacket, static_cast<char>(0xFF));
    p[0] = 0x47;
    p[1] = static_cast<char>(0x40 | (kRecorderPid >> 8));
    p[2] = static_cast<char>(kRecorderPid & 0xFF);
    p[3] = 0x20;
    p[4] = static_cast<char>(kPacket - 5);
    p[5] = 0x10;
    p[6] = static_cast<char>(pcr_base >> 25);
    p[7] = static_cast<char>(pcr_base >> 17);
    p[8] = static_cast<char>(pcr_base >> 9);
    p[9] = static_cast<char>(pcr_base >> 1);
    p[10] = static_cast<char>(((pcr_base & 1) << 7) | 0x7E);  // 6 reserved bits, extension 0
    p[11] = 0;
    p[12] = static_cast<char>(t.year / 100);
    p[13] = static_cast<char>(t.year % 100);
    p[14] = static_cast<char>(t.month);
    p[15] = static_cast<char>(t.day);
    p[16] = static_cast<char>(t.hour);
    p[17] = static_cast<char>(t.minute);
    p[18] = static_cast<char>(t.second);
    return p;
}

// One recording's worth of recorder packets: packet i of n carries the time
// start + span * i / n.
struct Timeline {
    WallClock start;
    int span_s;
    std::int64_t pcr_at(std::size_t i, std::size_t n) const {
        return kPcrStart + static_cast<std::int64_t>(span_s) * kPcrHz *
                               static_cast<std::int64_t>(i) / static_cast<std::int64_t>(n);
    }
    WallClock time_at(std::size_t i, std::size_t n) const {
        return add_seconds(start, static_cast<std::int64_t>(span_s) * static_cast<std::int64_t>(i) /
                                      static_cast<std::int64_t>(n));
    }
};

// A packet FFmpeg ignores: a PID outside every program, payload only.
void append_filler(std::string& out, std::uint8_t& continuity) {
    const std::size_t at = out.size();
    out.append(kPacket, static_cast<char>(0xA5));
    out[at] = 0x47;
    out[at + 1] = static_cast<char>(kFillerPid >> 8);
    out[at + 2] = static_cast<char>(kFillerPid & 0xFF);
    out[at + 3] = static_cast<char>(0x10 | (continuity++ & 0x0F));
}

// FFmpeg's packets with recorder packets between them, one after every
// kRecorderEvery - 1, and one more at the end, so that the recording's last
// packet is a recorder packet.
std::string inject(const std::string& ts, const Timeline& timeline) {
    const std::size_t n = ts.size() / kPacket;
    const std::size_t marks = n / (kRecorderEvery - 1) + 1;
    std::string out;
    out.reserve(ts.size() + (marks + 1) * kPacket);
    std::size_t mark = 0;
    for (std::size_t i = 0; i < n; ++i) {
        out.append(ts, i * kPacket, kPacket);
        if ((i + 1) % (kRecorderEvery - 1) == 0) {
            out += recorder_packet(timeline.pcr_at(mark, marks), timeline.time_at(mark, marks));
            ++mark;
        }
    }
    out += recorder_packet(timeline.pcr_at(marks, marks), timeline.time_at(marks, marks));
    return out;
}

// A byte-level recording of `packets` packets (a multiple of kRecorderEvery)
// whose every kRecorderEvery-th packet is a recorder packet, the last one
// included. Written to `out` in pieces so that large files need little
// memory.
bool write_synthetic(std::ofstream& out, std::size_t packets, const Timeline& timeline) {
    std::string chunk;
    std::uint8_t continuity = 0;
    const std::size_t marks = packets / kRecorderEvery;
    for (std::size_t i = 0; i < packets; ++i) {
        if ((i + 1) % kRecorderEvery == 0) {
            const std::size_t mark = i / kRecorderEvery;
            chunk += recorder_packet(timeline.pcr_at(mark, marks), timeline.time_at(mark, marks));
        } else {
            append_filler(chunk, continuity);
        }
        if (chunk.size() >= (1u << 20)) {
            out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
            chunk.clear();
        }
    }
    out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    return static_cast<bool>(out);
}

// One synthetic file: this recording's packets, then `tail` of something
// else (an older recording's packets or zero bytes).
enum class Tail { none, older_recording, zeros, partial_packet };

struct SyntheticFile {
    std::string name;
    WallClock packets_start;  // when this recording's packets say they start
    std::size_t own_packets;  // a multiple of kRecorderEvery
    Tail tail;
    std::size_t tail_packets;  // or bytes for partial_packet
};

bool write_synthetic_file(const samplegen::Context& ctx, const SyntheticFile& f) {
    std::ofstream out(ctx.path(f.name), std::ios::binary | std::ios::trunc);
    if (!write_synthetic(out, f.own_packets, Timeline{f.packets_start, 60})) return false;
    switch (f.tail) {
        case Tail::none:
            break;
        case Tail::older_recording: {
            const Timeline older{add_seconds(f.packets_start, kOlderRecordingOffsetS), 60};
            if (!write_synthetic(out, f.tail_packets, older)) return false;
            break;
        }
        case Tail::zeros: {
            const std::string zeros(kPacket, '\0');
            for (std::size_t i = 0; i < f.tail_packets; ++i) out.write(zeros.data(), kPacket);
            break;
        }
        case Tail::partial_packet: {
            std::string partial(f.tail_packets, static_cast<char>(0xA5));
            partial[0] = 0x47;
            out.write(partial.data(), static_cast<std::streamsize>(partial.size()));
            break;
        }
    }
    return static_cast<bool>(out);
}

constexpr WallClock kDay{2024, 12, 7, 15, 30, 0};

WallClock at_minute(int minute) {
    return add_seconds(kDay, 60 * minute);
}

struct Expected {
    std::string name;
    std::size_t size_after;
    const char* action;  // whole, cut or untouched
};

bool write_expected(const samplegen::Context& ctx, const std::vector<Expected>& expected) {
    std::string text;
    for (const auto& e : expected)
        text += e.name + " " + std::to_string(e.size_after) + " " + e.action + "\n";
    return samplegen::write_file(ctx.path("recorder_expected.txt"), text);
}

// Playable recordings from the fisheye clip.
bool make_playable(const samplegen::Context& ctx, std::vector<Expected>& expected) {
    const std::string src = ctx.path(".recorder_src.mp4");
    const std::string remux = ctx.path(".recorder_src.ts");
    samplegen::FisheyeClip clip;
    if (!samplegen::make_fisheye_clip(ctx, clip, src)) return false;
    if (!samplegen::ffmpeg(ctx, {"-i", src, "-c", "copy", "-f", "mpegts", "-mpegts_pmt_start_pid",
                                 "0x20", remux})) {
        return false;
    }
    // The same clip with FFmpeg's default program map on PID 0x1000.
    if (!samplegen::ffmpeg(ctx, {"-i", src, "-c", "copy", "-f", "mpegts",
                                 ctx.path(recorder_name(at_minute(3)))})) {
        return false;
    }
    std::string ts;
    if (!samplegen::read_file(remux, ts)) return false;
    std::remove(src.c_str());
    std::remove(remux.c_str());

    const int clip_s = static_cast<int>(clip.seconds);
    // Whole: this recording only.
    const std::string whole = inject(ts, Timeline{at_minute(0), clip_s});
    // Damaged: this recording, then an older one's packets.
    const std::string own = inject(ts, Timeline{at_minute(1), clip_s});
    const std::string older =
        inject(ts, Timeline{add_seconds(at_minute(1), kOlderRecordingOffsetS), clip_s});
    // Foreign start: the first packets are ten minutes older than the name.
    const std::string foreign = inject(ts, Timeline{add_seconds(at_minute(2), -600), clip_s});
    std::string default_pmt;
    if (!samplegen::read_file(ctx.path(recorder_name(at_minute(3))), default_pmt)) return false;
    expected.push_back({recorder_name(at_minute(3)), default_pmt.size(), "untouched"});
    expected.push_back({recorder_name(at_minute(0)), whole.size(), "whole"});
    expected.push_back({recorder_name(at_minute(1)), own.size(), "cut"});
    expected.push_back({recorder_name(at_minute(2)), foreign.size() + older.size(), "untouched"});
    return samplegen::write_file(ctx.path(recorder_name(at_minute(0))), whole) &&
           samplegen::write_file(ctx.path(recorder_name(at_minute(1))), own + older) &&
           samplegen::write_file(ctx.path(recorder_name(at_minute(2))), foreign + older);
}

// Byte-level files of about 3 MB (8 windows of the repair).
bool make_synthetic(const samplegen::Context& ctx, std::vector<Expected>& expected) {
    constexpr std::size_t kOwn = 16000;  // packets, 3,008,000 bytes
    const std::vector<SyntheticFile> files = {
        // whole
        {recorder_name(at_minute(10)), at_minute(10), kOwn, Tail::none, 0},
        // the older recording starts well before the last window: bisection
        {recorder_name(at_minute(11)), at_minute(11), 9700, Tail::older_recording, kOwn - 9700},
        // the older recording starts inside the last window
        {recorder_name(at_minute(12)), at_minute(12), kOwn - 1000, Tail::older_recording, 1000},
        // the file ends in zero bytes (no packets at all)
        {recorder_name(at_minute(13)), at_minute(13), 11000, Tail::zeros, kOwn - 11000},
        // whole, with an incomplete packet at the end
        {recorder_name(at_minute(14)), at_minute(14), kOwn, Tail::partial_packet, 100},
        // the first packets are ten minutes older than the name
        {recorder_name(at_minute(15)), add_seconds(at_minute(15), -600), kOwn, Tail::none, 0},
    };
    const std::size_t sizes_after[] = {kOwn, 9700, kOwn - 1000, 11000, kOwn, kOwn};
    const char* actions[] = {"whole", "cut", "cut", "cut", "cut", "untouched"};
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!write_synthetic_file(ctx, files[i])) return false;
        expected.push_back({files[i].name, sizes_after[i] * kPacket, actions[i]});
    }
    return true;
}

bool make_recorder(const samplegen::Context& ctx) {
    std::vector<Expected> expected;
    return make_playable(ctx, expected) && make_synthetic(ctx, expected) &&
           write_expected(ctx, expected);
}

// A damaged file of about `bytes` whose own recording ends at 61.8 % of it.
bool make_large(const samplegen::Context& ctx, std::size_t bytes, int minute) {
    const std::size_t packets = bytes / kPacket / kRecorderEvery * kRecorderEvery;
    const std::size_t own = packets * 618 / 1000 / kRecorderEvery * kRecorderEvery;
    const SyntheticFile f{recorder_name(at_minute(minute)), at_minute(minute), own,
                          Tail::older_recording, packets - own};
    if (!write_synthetic_file(ctx, f)) return false;
    const std::string line = f.name + " " + std::to_string(own * kPacket) + "\n";
    std::ofstream out(ctx.path("recorder_large_expected.txt"), std::ios::app);
    out << line;
    return static_cast<bool>(out);
}

bool make_tsfix_100m(const samplegen::Context& ctx) {
    return make_large(ctx, 100u << 20, 20);
}
bool make_tsfix_1g(const samplegen::Context& ctx) {
    return make_large(ctx, 1u << 30, 21);
}

}  // namespace

KVP_SAMPLE_SET(recorder,
               "recorder TS files with PID 0x1000 wall-clock packets: playable whole, damaged "
               "and foreign-start files, FFmpeg's default PMT, ~3 MB byte-level files, "
               "recorder_expected.txt",
               make_recorder)
KVP_SAMPLE_SET_ON_REQUEST(tsfix_100m, "20241207_155000A.ts: 100 MiB damaged recorder TS",
                          make_tsfix_100m)
KVP_SAMPLE_SET_ON_REQUEST(tsfix_1g, "20241207_155100A.ts: 1 GiB damaged recorder TS", make_tsfix_1g)
