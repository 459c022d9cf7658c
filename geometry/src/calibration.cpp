// Loading the calibration file and setting the camera up.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "camera_model.h"
#include "geometry/vertex_factory.h"
#include "platform/debug_output.h"

namespace geometry {
namespace {

constexpr int kOrientationUpsideDown = 1;
constexpr int kOrientationSideways = 2;
constexpr float kRollUpsideDownDeg = 180.0f;
constexpr float kRollSidewaysDeg = 90.0f;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

using namespace calibration_file;  // the value indices and readers

// All eight slots: rotation, centre, and the shared lens coefficients.
void read_cameras(const unsigned char* bytes, std::array<CameraRecord, kCameraSlots>& cameras) {
    for (int c = 0; c < kCameraSlots; ++c) {
        CameraRecord& cam = cameras[c];
        for (int i = 0; i < 9; ++i) cam.rotation[i] = read_float(bytes, kRotationFirst + 9 * c + i);
        cam.cx = read_float(bytes, kCentreFirst + 2 * c);
        cam.cy = read_float(bytes, kCentreFirst + 2 * c + 1);
        cam.k1 = read_float(bytes, kK1);
        cam.k3 = read_float(bytes, kK3);
        cam.k5 = read_float(bytes, kK5);
    }
}

// The player centres camera 0 in the frame and keeps the image circle
// inside it, one pixel in from the nearest edge.
float fit_circle_into_frame(CameraRecord& cam, int32_t width, int32_t height, float radius) {
    cam.cx = static_cast<float>(width) * 0.5f;
    cam.cy = static_cast<float>(height) * 0.5f;
    if (static_cast<float>(width) < cam.cx + radius) radius = static_cast<float>(width) - cam.cx;
    if (radius > cam.cx) radius = cam.cx;
    if (static_cast<float>(height) < cam.cy + radius) radius = static_cast<float>(height) - cam.cy;
    if (radius > cam.cy) radius = cam.cy;
    return radius - 1.0f;
}

// M x S with the axis swap S = [[1, 0, 0], [0, 0, 1], [0, -1, 0]]: row i
// becomes (M[i][0], -M[i][2], M[i][1]).
void swap_axes(std::array<float, 9>& m) {
    for (int row = 0; row < 3; ++row) {
        float* r = m.data() + 3 * row;
        const float m1 = r[1];
        r[1] = -r[2];
        r[2] = m1;
    }
}

}  // namespace

int VertexFactory::load_failure(int player_code, int converter_code, const char* format,
                                const char* path) {
    report(format, path);
    return variant_ == Variant::player ? player_code : converter_code;
}

void VertexFactory::print_loaded_values(const unsigned char* bytes) const {
    std::string text = "load_size=" + std::to_string(kCalibrationValueCount) + ";\n";
    char line[128];
    for (int i = 0; i < kCalibrationValueCount; ++i) {
        std::snprintf(line, sizeof line, "load_data[%d]=%f;\n", i, read_float(bytes, i));
        text += line;
    }
    text += "\n\n\n";
    platform::debug_output(text);
}

int VertexFactory::load_calibration_file(const char* path) {
    const bool player = variant_ == Variant::player;
    if (path == nullptr) {
        report("error: null calibration file!\n");
        return player ? kCodeCalibrationFile : kCodeConverterCalibrationFile;
    }
    const char* open_error = player ? "error: can not open calibration file %s!\n"
                                    : "error: can not open calibration file %s;\n";
    FilePtr file(std::fopen(path, "rb"));
    if (!file)
        return load_failure(kCodeCalibrationFile, kCodeConverterCalibrationFile, open_error, path);
    unsigned char bytes[kCalibrationFileBytes];
    const std::size_t read = std::fread(bytes, 4, kCalibrationValueCount, file.get());
    if (read != static_cast<std::size_t>(kCalibrationValueCount)) {
        // A folder opens but does not read; a short file reads to its end.
        const char* short_error = player
                                      ? "error: calibration file %s is shorter than 380 bytes!\n"
                                      : "error: calibration file %s is shorter than 380 bytes;\n";
        return load_failure(kCodeCalibrationFile, kCodeConverterCalibrationFile,
                            std::ferror(file.get()) ? open_error : short_error, path);
    }
    file.reset();
    if (player) print_loaded_values(bytes);

    const int32_t camera_count = read_int(bytes, kCameraCount);
    if (camera_count != 1 && camera_count != 2) {
        report("error: invalid camera number!\n");
        return player ? kCodeInvalidCameraCount : kCodeConverterFailure;
    }
    // Everything is decoded first and committed whole, so that a refused
    // file never leaves a mixture of old and new values behind.
    std::array<CameraRecord, kCameraSlots> cameras;
    read_cameras(bytes, cameras);
    const int32_t width = read_int(bytes, kFrameWidth);
    const int32_t height = read_int(bytes, kFrameHeight);
    const float t_max = read_float(bytes, kMaxAngle);
    const CameraRecord& first = cameras[0];
    float radius = detail::lens_radius(t_max, first.k1, first.k3, first.k5);
    if (player) radius = fit_circle_into_frame(cameras[0], width, height, radius);

    cameras_ = cameras;
    camera_count_ = camera_count;
    frame_width_ = width;
    frame_height_ = height;
    t_max_ = t_max;
    circle_radius_ = radius;
    return kCodeOk;
}

void VertexFactory::apply_camera_rotations() {
    if (camera_count_ == 1) {
        for (CameraRecord& cam : cameras_) swap_axes(cam.rotation);
        if (orientation_ == kOrientationUpsideDown) roll_offset_deg_ = kRollUpsideDownDeg;
        if (orientation_ == kOrientationSideways) roll_offset_deg_ = kRollSidewaysDeg;
    } else if (camera_count_ == 2 && orientation_ != kOrientationSideways) {
        for (CameraRecord& cam : cameras_) swap_axes(cam.rotation);
    }
}

int VertexFactory::set_calibration(const char* path, int32_t orientation, bool panorama_input) {
    roll_offset_deg_ = 0.0f;
    orientation_ = orientation;
    panorama_input_ = variant_ == Variant::player && panorama_input;
    if (!panorama_input_) {
        const int rc = load_calibration_file(path);
        if (rc != kCodeOk) return rc;
        apply_camera_rotations();
    }
    ready_ = true;
    return kCodeOk;
}

void VertexFactory::set_orientation(int32_t orientation) {
    orientation_ = orientation;
    roll_offset_deg_ = kRollUpsideDownDeg;
}

void VertexFactory::set_frame_size(int32_t width, int32_t height) {
    frame_width_ = width;
    frame_height_ = height;
}

}  // namespace geometry
