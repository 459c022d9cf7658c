// One viewport of the offscreen renderer: its dewarping mesh and camera,
// its coordinate maps, and the framebuffers its part of each output picture
// is drawn into and read back from.
//
// Thread-safety: GL objects; used only on the thread whose context is
// current (the conversion's worker).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "geometry/vertex_factory.h"
#include "geometry/viewport_camera.h"
#include "gl/mesh.h"
#include "gl/objects.h"

struct AVFrame;

namespace converter {

class ErrorText;

// Texture units: a viewport's coordinate map on 0, the source planes Y, U, V
// on 1 to 3, the lower block pairs on 4.
constexpr GLint kMapUnit = 0;
constexpr GLint kFirstPlaneUnit = 1;
constexpr GLint kLowerPairsUnit = 4;

// A rectangle of an output plane, rows counted from the top.
struct PlaneRect {
    int x = 0, y = 0, width = 0, height = 0;
};

// One coordinate map read back from the GL: 4 floats (s, t, drawn, 1) per
// texel, rows from the top of the viewport.
struct CoordinateMap {
    int width = 0, height = 0;
    std::vector<float> texels;
};

// Where a viewport lands in the output picture (luma and chroma planes).
struct ViewportPlacement {
    PlaneRect luma;
    PlaneRect chroma;
};

// Attribute and uniform locations of the mesh program, shared by the
// viewports (owned by the manager).
struct MeshProgram {
    GLuint program = 0;
    GLint position = -1, texcoord = -1, weights = -1, index = -1;
    GLint mvp = -1;
};

// How a viewport's part of the output picture is drawn and read back.
enum class PlaneLayout {
    // 2 x 2 pixel blocks, four luma and two chroma values in one pass; needs
    // a rectangle whose edges all lie on even rows and columns.
    blocks,
    // Luma and chroma planes in two passes; any rectangle.
    planes,
};

// The programs that draw the output planes, and the quad they draw (owned by
// the manager).
struct PlanePrograms {
    GLuint pack = 0;    // set-up: coordinate map -> block maps
    GLuint blocks = 0;  // per frame, blocks layout
    GLuint luma = 0;    // per frame, planes layout
    GLuint chroma = 0;
    GLuint quad_array = 0;  // vertex array of the full-viewport quad
};

// The layout a placement allows.
PlaneLayout plane_layout(const ViewportPlacement& placement);

class DOR_OglRenderer {
public:
    DOR_OglRenderer();

    // Loads the calibration into this viewport's mesh generator. 0, 17 or
    // 21 with the generator's text.
    int set_calibration(const char* path, int32_t orientation, ErrorText& error);
    // Model rotation back to the identity.
    void reset_rotation();
    // The size and place of the viewport alone, without GL.
    void place(int width, int height, const ViewportPlacement& placement);
    // (Re)creates the coordinate maps and plane framebuffers for a viewport
    // of width x height placed at `placement`. 0 or 21.
    int create_framebuffer(int width, int height, const ViewportPlacement& placement,
                           ErrorText& error);
    // Draw mode 0..5 for a source of src_width x src_height; rebuilds the
    // mesh when the mode changes. `same_mesh`, when given, is an earlier
    // viewport of the same calibration already built for `mode`: its mesh
    // (which would come out identical) is drawn instead of a new one. 0 or 21.
    int set_draw_mode(int32_t mode, int src_width, int src_height, const MeshProgram& program,
                      ErrorText& error, const DOR_OglRenderer* same_mesh = nullptr);
    // Clamped to [0.05, 3.0]; returns the zoom applied.
    float set_zoom(float zoom);
    void set_angles(float pitch_deg, float yaw_deg, float roll_deg);
    // Draws the mesh once into the coordinate maps the layout reads.
    int draw_maps(const MeshProgram& program, const PlanePrograms& planes, ErrorText& error);

    // Per frame (source planes bound to texture units 1 to 3): draws this
    // viewport's luma and chroma planes.
    void draw_planes(const PlanePrograms& programs) const;
    // Reads them back into their place in `output` (YUV 4:2:0).
    void read_back(AVFrame& output) const;
    // The coordinate maps drawn by draw_maps, read back for the dewarp on
    // the processor: the luma map, and the chroma map of the chroma
    // rectangle (for the blocks layout, made from the luma map as the block
    // program samples chroma).
    CoordinateMap read_luma_map() const;
    CoordinateMap read_chroma_map(const CoordinateMap& luma) const;
    // Without GL, after place: the camera and mesh of draw mode `mode`
    // (0 or 21), then, after the zoom and angles, the same maps drawn on the
    // processor.
    int build_mesh(int32_t mode, int src_width, int src_height, ErrorText& error);
    // Frees the mesh once the maps are taken; a later draw mode rebuilds it.
    void release_mesh();
    CoordinateMap rasterize_luma_map() const;
    CoordinateMap rasterize_chroma_map(const CoordinateMap& luma) const;

    void release();

    PlaneLayout layout() const { return layout_; }
    const geometry::ViewportCamera& camera() const { return camera_; }
    const ViewportPlacement& placement() const { return placement_; }
    const geometry::VertexFactory& factory() const { return factory_; }
    int width() const { return width_; }
    int height() const { return height_; }

private:
    int upload_mesh(const MeshProgram& program, ErrorText& error);
    int create_map(gl::Texture& texture, gl::Framebuffer& framebuffer, int width, int height,
                   ErrorText& error);
    int create_planes(ErrorText& error);
    int create_blocks(ErrorText& error);
    void draw_map(const MeshProgram& program, GLuint framebuffer, int width, int height) const;
    void pack_map(const PlanePrograms& planes) const;
    void read_blocks(AVFrame& output) const;
    void read_planes(AVFrame& output) const;
    CoordinateMap rasterize(int width, int height) const;

    geometry::VertexFactory factory_;
    geometry::ViewportCamera camera_;
    int width_ = 0, height_ = 0;
    ViewportPlacement placement_;
    PlaneLayout layout_ = PlaneLayout::planes;

    // The mesh: four vertex buffers (positions, texture coordinates, blend
    // weights, lens indices) and the vertex array that binds them; drawn
    // through mesh_drawn_, which is this viewport's array or a borrowed one
    // (owned by an earlier viewport of the same manager).
    gl::VertexArray mesh_array_;
    std::array<gl::Buffer, gl::kMeshSlotCount> mesh_buffers_;  // by slot
    GLuint mesh_drawn_ = 0;
    GLsizei vertex_count_ = 0;

    // Coordinate maps (RGBA 32-bit float): per pixel (s, t, 1) or black; at
    // chroma resolution for the planes layout; per block the (s, t) pairs of
    // its upper and its lower two pixels (s < 0: black) for the blocks layout.
    gl::Texture luma_map_, chroma_map_, upper_pairs_, lower_pairs_;
    gl::Framebuffer luma_map_fb_, chroma_map_fb_, pairs_fb_;
    // The viewport's planes. Blocks: luma rows in pairs (upper and lower
    // row of each block, two bytes a block), U and V, in one framebuffer.
    // Planes: Y in one framebuffer, U and V in another.
    gl::Texture plane_y_, upper_luma_, lower_luma_, plane_u_, plane_v_;
    gl::Framebuffer luma_fb_, chroma_fb_, blocks_fb_;
};

}  // namespace converter
