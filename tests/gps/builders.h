// Byte-level builders for the recorder layouts the GPS tests feed the reader:
// records, MPEG-TS packets and ISO media boxes.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "gps/gps_record.h"

namespace gps_test {

// A record `seconds` after 2023-05-17 10:20:30 (the same day).
inline gps::GpsRecord record_at(int seconds, char status = 'A') {
    gps::GpsRecord r{};
    const int total = 10 * 3600 + 20 * 60 + 30 + seconds;
    r.hour = total / 3600;
    r.minute = total / 60 % 60;
    r.second = total % 60;
    r.year = 2023;
    r.month = 5;
    r.day = 17;
    r.status = status;
    r.latitude_deg = 22.54;
    r.ns = 'N';
    r.longitude_deg = 114.05;
    r.ew = 'E';
    r.speed_mps = seconds;
    r.gx = seconds;
    return r;
}

inline std::string bytes_of(const gps::GpsRecord& r) {
    return std::string(reinterpret_cast<const char*>(&r), sizeof r);
}

// --- MPEG-TS

inline std::string ts_packet(unsigned pid, const std::string& payload_at_18 = {}) {
    std::string p(188, '\xFF');
    p[0] = 0x47;
    p[1] = static_cast<char>(0x40 | ((pid >> 8) & 0x1F));
    p[2] = static_cast<char>(pid & 0xFF);
    p[3] = 0x10;
    if (!payload_at_18.empty()) p.replace(18, payload_at_18.size(), payload_at_18);
    return p;
}
inline std::string video_packet() {
    return ts_packet(0x100);
}
inline std::string gps_packet(const gps::GpsRecord& r) {
    return ts_packet(0x300, bytes_of(r));
}
inline std::string end_packet() {
    return ts_packet(0x350);
}

// A TS file: a first GPS packet (skipped by the scan), then one GPS packet
// per record, each followed by `gap` video packets.
inline std::string ts_with_records(const std::vector<gps::GpsRecord>& records, int gap = 3) {
    std::string ts = video_packet() + gps_packet(record_at(-1));
    for (const auto& r : records) {
        ts += gps_packet(r);
        for (int i = 0; i < gap; ++i) ts += video_packet();
    }
    return ts;
}

// --- ISO base media boxes

inline std::string be32(std::uint32_t v) {
    const char b[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 8), static_cast<char>(v)};
    return std::string(b, 4);
}
inline std::string be64(std::uint64_t v) {
    return be32(static_cast<std::uint32_t>(v >> 32)) + be32(static_cast<std::uint32_t>(v));
}

inline std::string box(const char* type, const std::string& payload) {
    return be32(static_cast<std::uint32_t>(8 + payload.size())) + std::string(type, 4) + payload;
}
// A box with an explicit size field, whatever its payload.
inline std::string box_sized(std::uint32_t size, const char* type, const std::string& payload) {
    return be32(size) + std::string(type, 4) + payload;
}

inline std::string hdlr(const char* handler) {
    return box("hdlr", be32(0) + be32(0) + std::string(handler, 4) + std::string(12, '\0') +
                           std::string("Handler\0", 8));
}

// A chunk-offset box of `type` ("stco", "c064": 32-bit; "co64": 64-bit).
inline std::string chunk_offsets(const char* type, const std::vector<std::uint64_t>& offsets,
                                 std::uint32_t count_field) {
    std::string p = be32(0) + be32(count_field);
    const bool wide = std::strcmp(type, "co64") == 0;
    for (auto o : offsets) p += wide ? be64(o) : be32(static_cast<std::uint32_t>(o));
    return box(type, p);
}
inline std::string chunk_offsets(const char* type, const std::vector<std::uint64_t>& offsets) {
    return chunk_offsets(type, offsets, static_cast<std::uint32_t>(offsets.size()));
}

inline std::string trak(const char* handler, const std::string& offsets_box) {
    return box("trak",
               box("tkhd", std::string(84, '\0')) +
                   box("mdia", box("mdhd", std::string(24, '\0')) + hdlr(handler) +
                                   box("minf", box("nmhd", be32(0)) +
                                                   box("stbl", box("stsd", be32(0) + be32(0)) +
                                                                   offsets_box))));
}

// "gps " index box: an ignored value, the count, then (offset, size) pairs.
inline std::string gps_index(const std::vector<std::uint32_t>& offsets, std::uint32_t count_field) {
    std::string p = be32(0) + be32(count_field);
    for (auto o : offsets) p += be32(o) + be32(88);
    return box("gps ", p);
}
inline std::string gps_index(const std::vector<std::uint32_t>& offsets) {
    return gps_index(offsets, static_cast<std::uint32_t>(offsets.size()));
}

// A 44-byte MP4 GPS sample (little-endian; NMEA position, knots).
inline std::string mp4_sample(int second, char status, char ns, char ew, float lat_nmea,
                              float lon_nmea, float knots) {
    std::string s(44, '\0');
    auto put32 = [&](std::size_t at, std::int32_t v) { std::memcpy(&s[at], &v, 4); };
    auto putf = [&](std::size_t at, float v) { std::memcpy(&s[at], &v, 4); };
    put32(4, 10);
    put32(8, 20);
    put32(12, second);
    put32(16, 2023);
    put32(20, 5);
    put32(24, 17);
    s[28] = status;
    s[29] = ns;
    s[30] = ew;
    putf(32, lat_nmea);
    putf(36, lon_nmea);
    putf(40, knots);
    return s;
}
// The block an index entry points to: 44 bytes skipped, then the sample.
inline std::string mp4_block(const std::string& sample) {
    return std::string(44, '\x11') + sample;
}

inline const std::string& ftyp() {
    static const std::string f = box("ftyp", std::string("isom\0\0\0\0isommp41", 16));
    return f;
}

}  // namespace gps_test
