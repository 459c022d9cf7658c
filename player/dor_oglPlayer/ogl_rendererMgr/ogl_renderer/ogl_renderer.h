// DOR_OglRenderer: one viewport of the player's window. Owns its
// VertexFactory (calibration and mesh), the four vertex buffer objects of
// the current draw mode's mesh with its element buffer, draw runs and chunk
// boxes (indexed_mesh.h, view_culling.h), its rectangle and its camera (draw
// mode, view angles, zoom, matrices). Created and driven only by
// ogl_rendererMgr, which shares its textures, programs and locations with
// it.
//
// Thread-safety: none; display thread only, with the GL context current.
#pragma once

#include <GL/glew.h>

#include <array>
#include <vector>

#include "geometry/vertex_factory.h"
#include "geometry/viewport_camera.h"
#include "gl/errors.h"
#include "gl/objects.h"
#include "ogl_rendererMgr/renderer_shared.h"
#include "ogl_rendererMgr/ogl_renderer/indexed_mesh.h"
#include "ogl_rendererMgr/ogl_renderer/view_culling.h"

namespace sphere_player {

class DOR_OglRenderer {
public:
    // Window pixels, origin at the bottom left as glViewport takes them.
    struct Rect {
        int x = 0, y = 0, width = 0, height = 0;
    };

    // What the manager's initialisation hands every viewport.
    struct Options {
        const char* calibration_path = nullptr;
        int orientation = 0;
        bool panorama_input = false;
        bool need_logo = false;
        int logo_angle_deg = -1;  // negative: chosen from the lens
    };

    DOR_OglRenderer();
    ~DOR_OglRenderer();
    DOR_OglRenderer(const DOR_OglRenderer&) = delete;
    DOR_OglRenderer& operator=(const DOR_OglRenderer&) = delete;

    // Gives the viewport its index and the manager's shared state, which
    // must outlive it. Called once, by the manager's constructor.
    void connect(int index, ogl::RendererShared* shared);
    // Where the factory prints its messages (the manager's sink).
    void set_message_sink(const ogl::MessageSink& sink);

    // Loads the calibration and resets the camera; the viewport is unbuilt
    // afterwards. 0 or the calibration loader's code.
    int init(const Options& options);

    // Regenerates the mesh of the current draw mode and uploads it in the
    // form the manager's draw path asks for. 0, or 1 with the viewport
    // unbuilt when buffers were lost on the way.
    int alloc_buffer_object();

    // 0, or 1 when a GL error is pending.
    int set_viewport_rect(int x, int y, int width, int height);
    // 0, 7 (mode outside 0..6, nothing changes), 1 (the mesh could not be
    // built or uploaded). Applies the mode's default zoom.
    int set_draw_mode(int mode, int frame_width, int frame_height);
    void set_view_angles(float pitch_deg, float yaw_deg, float roll_deg,
                         float cylinder_rotation_rad);
    // Returns the zoom applied (clamped to the camera's range).
    float set_zoom(float zoom);
    float zoom() const { return camera_.zoom; }
    float default_zoom() const { return camera_.default_zoom; }
    void view_angles(float* pitch_deg, float* yaw_deg, float* roll_deg) const;
    // orientation := value, roll offset 180; reaches the view at the next
    // rebuild.
    void set_orientation(int value);

    // Draws the mesh into the rectangle with the textures the manager bound.
    // 1 (message printed) when unbuilt or on a GL error.
    int draw();

    int index() const { return index_; }
    bool built() const { return camera_.built; }
    const Rect& rect() const { return rect_; }
    const geometry::ViewportCamera& camera() const { return camera_; }
    const geometry::VertexFactory& factory() const { return factory_; }

    // What the last build uploaded, for diagnostics and tests.
    struct Upload {
        std::size_t vertices = 0;  // in the attribute buffers
        GLenum element_type = 0;   // 0: drawn with glDrawArrays
        // Per draw call, the fragment branches of the program drawing it
        // (kAllBranches: the full program).
        std::vector<unsigned> run_programs;
        std::size_t chunks = 0;  // boxes for skipping what the view cannot show
    };
    Upload upload() const;
    // Vertices (elements) the last draw() handed to GL.
    std::size_t last_drawn_vertices() const { return last_drawn_vertices_; }

private:
    ogl::MeshArrays mesh_arrays() const;
    int upload_mesh(const ogl::MeshArrays& mesh);
    std::vector<ogl::DrawRun> plan_runs(const ogl::MeshArrays& mesh, bool reference) const;
    int upload_arrays(const ogl::MeshArrays& mesh);
    int upload_elements(const ogl::IndexedMesh& indexed);
    void bind_attributes() const;
    void draw_run(const ogl::DrawRun& run, const geometry::Mat4& mvp);
    std::size_t element_bytes() const;
    void update_cylinder_texcoords();
    void report_gl_error(int line, int code) const;

    // --- the uploaded mesh; the counts always describe these buffers
    std::array<gl::Buffer, gl::kMeshSlotCount> buffers_;
    gl::Buffer element_buffer_;    // empty: drawn with glDrawArrays
    GLenum element_type_ = 0;      // GL_UNSIGNED_SHORT or GL_UNSIGNED_INT
    GLsizei vertex_count_ = 0;     // vertices drawn: the geometry's mesh
    GLsizei buffer_vertices_ = 0;  // vertices in the attribute buffers
    GLsizei texcoord_floats_ = 0;
    std::vector<ogl::DrawRun> runs_;    // the draw calls, in order
    std::vector<ogl::ChunkBox> boxes_;  // of the elements; empty: no skipping

    // --- per draw, kept to spare allocations
    ogl::ClipPlanes planes_;
    std::vector<ogl::ElementRange> ranges_;
    std::vector<GLsizei> range_counts_;
    std::vector<const void*> range_offsets_;
    std::size_t last_drawn_vertices_ = 0;

    ogl::RendererShared* shared_ = nullptr;  // the manager's, not owned
    int index_ = 0;                          // printed as "vp"
    // GL errors of the viewport's steps, printed with its index.
    const gl::StepCheck steps_{[this](int line, int code) { report_gl_error(line, code); }};

    geometry::VertexFactory factory_{geometry::Variant::player};
    geometry::ViewportCamera camera_ = geometry::make_viewport_camera(geometry::Variant::player);

    bool need_logo_ = false;
    bool panorama_input_ = false;
    int logo_angle_deg_ = -1;
    Rect rect_;
};

}  // namespace sphere_player
