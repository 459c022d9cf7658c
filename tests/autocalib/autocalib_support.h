// Helpers of the calibration tests: the generated lens clips and their
// truth, the calibration file read back, and the player's fit of the image
// radius, computed here independently of the calibration code.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace autocalib_test {

// One line of lens_truth.txt.
struct LensTruth {
    std::string name;
    int width = 0, height = 0;
    double cx = 0, cy = 0, radius = 0;
    bool black_first = false;

    std::string path() const { return std::string(KVP_SAMPLES_DIR "/") + name; }
    bool whole() const {
        return cx - radius >= 0 && cx + radius <= width && cy - radius >= 0 &&
               cy + radius <= height;
    }
};

inline std::optional<LensTruth> lens_truth(const std::string& name) {
    std::ifstream in(KVP_SAMPLES_DIR "/lens_truth.txt");
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        LensTruth t;
        int black = 0;
        if (!(fields >> t.name >> t.width >> t.height >> t.cx >> t.cy >> t.radius >> black)) {
            continue;
        }
        t.black_first = black != 0;
        if (t.name == name) return t;
    }
    return std::nullopt;
}

// Points the program folder (where the work picture goes) at `dir` for the
// scope.
class ProgramDirScope {
public:
    explicit ProgramDirScope(const std::string& dir) {
        if (const char* old = std::getenv("KVP_PROGRAM_DIR")) previous_ = old;
        ::setenv("KVP_PROGRAM_DIR", dir.c_str(), 1);
    }
    ~ProgramDirScope() {
        if (previous_) {
            ::setenv("KVP_PROGRAM_DIR", previous_->c_str(), 1);
        } else {
            ::unsetenv("KVP_PROGRAM_DIR");
        }
    }
    ProgramDirScope(const ProgramDirScope&) = delete;
    ProgramDirScope& operator=(const ProgramDirScope&) = delete;

private:
    std::optional<std::string> previous_;
};

// The 95 values of a calibration file, decoded from little-endian bytes.
struct CalibrationValues {
    std::uint32_t bits[95];

    float f(int i) const {
        float v;
        std::memcpy(&v, &bits[i], sizeof v);
        return v;
    }
    std::int32_t i32(int i) const { return static_cast<std::int32_t>(bits[i]); }
};

inline std::optional<CalibrationValues> decode_calibration(const std::string& bytes) {
    if (bytes.size() != 380) return std::nullopt;
    CalibrationValues v{};
    for (int i = 0; i < 95; ++i) {
        v.bits[i] = 0;
        for (int b = 3; b >= 0; --b) {
            v.bits[i] = (v.bits[i] << 8) | static_cast<unsigned char>(bytes[4 * i + b]);
        }
    }
    return v;
}

// The image radius the player derives at load: the lens polynomial at the
// maximum angle (700 pixels per unit), then fitted into the frame around
// its centre and reduced by one pixel.
inline float player_radius(const CalibrationValues& v) {
    const float t = v.f(94);
    const float t3 = static_cast<float>(std::pow(t, 3));
    const float t5 = static_cast<float>(std::pow(t, 5));
    const double first_two = static_cast<double>(v.f(88)) * t + static_cast<double>(v.f(89)) * t3;
    float r = 700.0f * static_cast<float>(first_two + v.f(90) * t5);
    const float w = static_cast<float>(v.i32(92)), h = static_cast<float>(v.i32(93));
    const float cx = w * 0.5f, cy = h * 0.5f;
    if (w < cx + r) r = w - cx;
    if (r > cx) r = cx;
    if (h < cy + r) r = h - cy;
    if (r > cy) r = cy;
    return r - 1.0f;
}

}  // namespace autocalib_test
