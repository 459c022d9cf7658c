#include "geometry/calibration_file.h"

#include <cstring>

namespace geometry::calibration_file {
namespace {

std::uint32_t read_bits(const unsigned char* bytes, int index) {
    const unsigned char* p = bytes + 4 * index;
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void write_bits(unsigned char* bytes, int index, std::uint32_t bits) {
    for (int b = 0; b < 4; ++b) bytes[4 * index + b] = static_cast<unsigned char>(bits >> (8 * b));
}

}  // namespace

float read_float(const unsigned char* bytes, int index) {
    const std::uint32_t bits = read_bits(bytes, index);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

std::int32_t read_int(const unsigned char* bytes, int index) {
    const std::uint32_t bits = read_bits(bytes, index);
    std::int32_t i;
    std::memcpy(&i, &bits, sizeof i);
    return i;
}

void write_float(unsigned char* bytes, int index, float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    write_bits(bytes, index, bits);
}

void write_int(unsigned char* bytes, int index, std::int32_t value) {
    write_bits(bytes, index, static_cast<std::uint32_t>(value));
}

}  // namespace geometry::calibration_file
