// The renderer's OpenGL error texts. The numbers in them name the step that
// found the error, as the texts have always read.
#pragma once

namespace converter {

// Per-viewport steps.
constexpr const char* kGlErrorText = "error in opengl(line %d): code %d\n";
constexpr int kLineFramebuffer = 42;
constexpr int kLineDrawMode = 147;
constexpr int kLineTexCoordBuffer = 208;
constexpr int kLineIndexBuffer = 213;

// Manager steps.
constexpr const char* kMgrGlErrorText = "error in oglMgr(line %d): code %d\n";
constexpr int kLineTextureNames = 134;
constexpr int kLineSourceTexture = 184;
constexpr int kLineAttrPosition = 282;
constexpr int kLineAttrTexCoord = 287;
constexpr int kLineAttrLeftWeights = 292;
constexpr int kLineAttrTexIndex = 297;
constexpr int kLineUniformMvp = 302;
constexpr int kLineUniformSt = 306;
constexpr int kLineUniformTexture = 310;

// Upload of a source picture.
constexpr const char* kUploadErrorText = "error in oglMgr %s(line %d): code %d\n";
constexpr const char* kMgrSourceName = "ogl_renderer\\ogl_rendererMgr.cpp";
constexpr int kLineUpload = 98;

// Drawing a frame (or the coordinate maps) and reading it back.
constexpr const char* kRenderErrorText = "error: render failed, OpenGL code %d;\n";

}  // namespace converter
