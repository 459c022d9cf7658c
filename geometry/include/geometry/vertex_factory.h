// VertexFactory: one camera's calibration (the 380-byte calibration file),
// the fisheye camera model, and the dewarping meshes of draw modes 0 to 6.
//
// One class serves both renderers; the variant is fixed at construction:
// - Variant::player: codes 0/1/2, messages written to the message sink
//   (standard output by default) and to the error text, camera 0's centre
//   replaced by the frame centre and the image circle fitted into the frame,
//   `panorama_input`, modes 0 to 6, nadir cap (logo), a cell needs four
//   valid corners.
// - Variant::converter: codes 17/21, messages only in the error text, centres
//   and circle radius as the file has them, no `panorama_input`, modes 0 to 5,
//   never a nadir cap, a cell needs two valid corners.
//
// Usage (one factory per viewport, owned by the viewport renderer):
//     geometry::VertexFactory factory(geometry::Variant::player);
//     factory.set_error_buffer(mgr_error_text, sizeof mgr_error_text);  // optional
//     if (int rc = factory.set_calibration(path, orientation, panorama_input)) return rc;
//     ... set_draw_mode() of viewport_camera.h decides when to rebuild ...
//     if (!factory.generate_vertices(mode, need_logo, logo_angle)) return 1;
//     upload factory.positions()/position_length(), texcoords(), weights(),
//     indices() (each null when that buffer was not produced);
//     per draw in mode 6: factory.update_cylinder_texcoords(camera.cylinder_rotation_rad)
//     and re-upload texcoords().
// The buffers stay valid, and their addresses stable, until the next
// generate_vertices() or the factory's destruction.
//
// Thread-safety: none; a factory belongs to the thread that renders with it
// (calls on different factories may run in parallel).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "geometry/calibration_file.h"

namespace geometry {

enum class Variant { player, converter };

// Result codes of the loader, the mesh generator and the viewport camera.
enum Code : int {
    kCodeOk = 0,
    kCodeInvalidCameraCount = 1,         // player; also "mesh could not be built"
    kCodeCalibrationFile = 2,            // player: null path, cannot open, too short
    kCodeInvalidDrawMode = 7,            // player viewport: draw mode outside 0..6
    kCodeConverterCalibrationFile = 17,  // converter: null path, cannot open, too short
    kCodeConverterFailure = 21,          // converter: every other failure
};

// How the sphere and plane meshes are evaluated. Both give bit-identical
// buffers; per_corner is the direct reading (the camera model four times per
// cell) kept as the reference for tests and the benchmark.
enum class MeshStrategy { per_grid_point, per_corner };

// pi as every angle conversion of the geometry writes it.
constexpr double kPi = 3.14159265359;

// Size of the error text a factory keeps when none is attached.
constexpr std::size_t kErrorTextBytes = 2048;

// Draw modes (projection models).
constexpr int kModeFlat = 0;
constexpr int kModePanorama = 1;
constexpr int kModeSphere = 2;         // eye inside the sphere
constexpr int kModeSphereSurface = 3;  // eye on the surface, wide angle
constexpr int kModeSphereOrtho = 4;    // orthographic
constexpr int kModeSphereWide = 5;     // view cone from the viewport diagonal
constexpr int kModeCylinder = 6;

// Texture index values of the vertex layout (`aTexIndex`).
constexpr float kIndexBlack = 0.0f;
constexpr float kIndexFirstCamera = 1.0f;
constexpr float kIndexLogo = 4.0f;

// The cylinder unwrap grid.
constexpr int kCylinderColumns = 80;
constexpr int kCylinderRows = 20;
constexpr float kCylinderDefaultRotationRad = 1.5707964f;

// One camera slot: rotation row-major, image centre in pixels, lens
// polynomial (the same k1, k3, k5 in every slot).
struct CameraRecord {
    std::array<float, 9> rotation{};
    float cx = 0.0f, cy = 0.0f;
    float k1 = 0.0f, k3 = 0.0f, k5 = 0.0f;
};

// sphere_to_image's result: (u, v) in normalised frame coordinates with v
// growing upwards; weight in pixels (distance to the circle or frame edge).
struct ImagePoint {
    float u = 0.0f, v = 0.0f;
    int32_t valid = 0;
    float weight = 0.0f;
};

// A texture coordinate pair; (-1, -1) marks a point outside the picture.
struct TexCoord {
    float s = 0.0f, t = 0.0f;
};

// What the last sphere/plane texture mapping did, for diagnostics.
struct GridReport {
    int32_t stop_row = -1;       // first row with a rejected cell, -1 when none
    int32_t cap_first_row = -1;  // first row of the nadir cap, -1 without a cap
    int32_t cap_rows = 0;
};

// Receives the player variant's messages ("error: ...\n"), one call each.
using MessageSink = std::function<void(std::string_view text)>;

class VertexFactory {
public:
    explicit VertexFactory(Variant variant = Variant::player);
    ~VertexFactory();
    VertexFactory(const VertexFactory&) = delete;
    VertexFactory& operator=(const VertexFactory&) = delete;

    Variant variant() const { return variant_; }

    // --- calibration and camera model
    // Reads the 380-byte file. Player: 0, 2 (null path, cannot open, shorter
    // than 380 bytes), 1 (camera count not 1 or 2). Converter: 0, 17, 21. On
    // failure the previous calibration is kept whole.
    int load_calibration_file(const char* path);
    // roll offset := 0, stores orientation and panorama_input (ignored by the
    // converter, which always reads the file), loads, applies the axis swap
    // and the orientation's roll offset. 0 or the loader's code.
    int set_calibration(const char* path, int32_t orientation, bool panorama_input);
    // Mounting change after set-up: orientation := value, roll offset := 180.
    void set_orientation(int32_t orientation);
    // The frame size the mapping normalises by (mode 0 replaces it with the
    // decoded picture's size).
    void set_frame_size(int32_t width, int32_t height);

    // Latitude and longitude in radians; camera 0.
    ImagePoint sphere_to_image(float latitude_rad, float longitude_rad) const;
    // Texture coordinate of grid corner (column, row) of the cylinder unwrap,
    // turned by rotation_rad.
    TexCoord circle_unwrap_point(int32_t column, int32_t row, float rotation_rad) const;

    float roll_offset() const { return roll_offset_deg_; }
    int32_t orientation() const { return orientation_; }
    bool panorama_input() const { return panorama_input_; }
    bool ready() const { return ready_; }
    int32_t camera_count() const { return camera_count_; }
    int32_t frame_width() const { return frame_width_; }
    int32_t frame_height() const { return frame_height_; }
    float t_max() const { return t_max_; }
    float circle_radius() const { return circle_radius_; }
    const CameraRecord& camera(int slot) const { return cameras_[slot]; }

    // --- meshes
    // Fills the four buffers for `mode`; returns positions() or null (mode
    // outside the variant's range, or no calibration and no panorama_input;
    // the reason goes to the message sink / error text). The converter
    // variant ignores the logo arguments (never a cap).
    const float* generate_vertices(int32_t mode, bool logo, int32_t logo_angle_deg);
    // Texture coordinates and indices of a columns x rows sphere/plane grid
    // (camera model per cell, nadir cap with the stored logo settings).
    void generate_sphere_texcoords(int32_t columns, int32_t rows);
    // Recomputes the mode-6 texture coordinates in place with the viewport's
    // cylinder rotation; returns texcoords(), or null when the current mesh
    // is not a cylinder.
    const float* update_cylinder_texcoords(float rotation_rad);

    // Frees the buffers' storage; the next generation allocates anew. For
    // an owner done with the mesh (the converter, once its maps are drawn).
    void release_mesh();

    const float* positions() const;
    const float* texcoords() const;
    const float* weights() const;
    const float* indices() const;
    int32_t position_length() const;  // in floats
    int32_t texcoord_length() const;
    int32_t weight_length() const;
    int32_t index_length() const;
    int32_t vertex_count() const { return position_length() / 3; }

    bool logo() const { return logo_; }
    int32_t logo_angle() const { return logo_angle_deg_; }
    int32_t mesh_mode() const { return mesh_mode_; }
    const GridReport& grid_report() const { return grid_report_; }

    void set_mesh_strategy(MeshStrategy strategy) { strategy_ = strategy; }

    // --- messages
    // Player variant only; null discards. Default: standard output.
    void set_message_sink(MessageSink sink);
    // Points the error text at a buffer of the owner (null restores the
    // factory's own kErrorTextBytes buffer). Each failure overwrites it,
    // cut to size - 1 bytes.
    void set_error_buffer(char* buffer, std::size_t size);
    const char* error_text() const { return error_buffer_; }
    // Writes one formatted message: into the error text, and for the player
    // variant to the message sink too.
    void report(const char* format, ...) __attribute__((format(printf, 2, 3)));

    struct Buffers;  // the mesh buffers (defined with the implementation)

private:
    int load_failure(int player_code, int converter_code, const char* format, const char* path);
    void print_loaded_values(const unsigned char* bytes) const;
    void apply_camera_rotations();
    bool cylinder_texcoords(float rotation_rad);
    void build_flat_mesh();
    void build_cylinder_mesh();
    void build_grid_mesh(int32_t mode);

    const Variant variant_;

    // --- calibration (replaced as a whole by a successful load)
    int32_t camera_count_ = 0;
    int32_t frame_width_ = 0;
    int32_t frame_height_ = 0;
    float t_max_ = 0.0f;
    float circle_radius_ = 0.0f;
    bool panorama_input_ = false;
    std::array<CameraRecord, kCameraSlots> cameras_{};
    bool ready_ = false;
    int32_t orientation_ = 0;
    float roll_offset_deg_ = 0.0f;

    // --- mesh state
    std::unique_ptr<Buffers> buffers_;
    bool logo_ = false;
    int32_t logo_angle_deg_ = -1;
    int32_t mesh_mode_ = -1;  // mode of the buffers' mesh, -1 before the first
    GridReport grid_report_;
    MeshStrategy strategy_ = MeshStrategy::per_grid_point;

    // --- messages
    MessageSink sink_;
    std::array<char, kErrorTextBytes> own_error_text_{};
    char* error_buffer_ = own_error_text_.data();
    std::size_t error_buffer_size_ = kErrorTextBytes;
};

}  // namespace geometry
