// Transport packets built byte by byte for the repair's tests, independent
// of the code under test.
#pragma once

#include <cstdint>
#include <string>

namespace ts_test {

constexpr std::size_t kPacket = 188;

struct Clock {
    int year, month, day, hour, minute, second;
};

// A recorder packet (PID 0x1000, unit start, adaptation field with a PCR
// base and extension, wall-clock bytes 12 to 18).
inline std::string recorder_packet(const Clock& t, std::int64_t pcr_base = 900000,
                                   int pcr_ext = 0) {
    std::string p(kPacket, static_cast<char>(0xFF));
    const unsigned char head[] = {
        0x47,
        0x50,
        0x00,
        0x20,
        183,
        0x10,
        static_cast<unsigned char>(pcr_base >> 25),
        static_cast<unsigned char>(pcr_base >> 17),
        static_cast<unsigned char>(pcr_base >> 9),
        static_cast<unsigned char>(pcr_base >> 1),
        static_cast<unsigned char>(((pcr_base & 1) << 7) | 0x7E | ((pcr_ext >> 8) & 1)),
        static_cast<unsigned char>(pcr_ext & 0xFF),
        static_cast<unsigned char>(t.year / 100),
        static_cast<unsigned char>(t.year % 100),
        static_cast<unsigned char>(t.month),
        static_cast<unsigned char>(t.day),
        static_cast<unsigned char>(t.hour),
        static_cast<unsigned char>(t.minute),
        static_cast<unsigned char>(t.second)};
    for (std::size_t i = 0; i < sizeof head; ++i) p[i] = static_cast<char>(head[i]);
    return p;
}

// A packet of another PID with payload only.
inline std::string filler_packet(std::uint16_t pid = 0x100) {
    std::string p(kPacket, static_cast<char>(0x5A));
    p[0] = 0x47;
    p[1] = static_cast<char>(pid >> 8);
    p[2] = static_cast<char>(pid & 0xFF);
    p[3] = 0x10;
    return p;
}

// `count` packets of which every `every`-th (indices every-1, 2*every-1,
// ...) is a recorder packet with time `t`, the others filler.
inline std::string recording(const Clock& t, std::size_t count, std::size_t every = 10) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
        out += (i + 1) % every == 0 ? recorder_packet(t) : filler_packet();
    }
    return out;
}

}  // namespace ts_test
