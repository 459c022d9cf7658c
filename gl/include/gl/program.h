// Building GLSL programs: one vertex and one fragment shader compiled and
// linked into a program, or the step that failed with GL's info log. The
// texts a failure is reported with belong to the caller.
//
//     gl::ProgramBuild b = gl::build_program(vertex_source, fragment_source);
//     if (!b.ok()) return report(b.failed, b.log);
//     program = std::move(b.program);
//
// Thread-safety: on the thread whose GL context is current.
#pragma once

#include <GL/glew.h>

#include <functional>
#include <string>

#include "gl/objects.h"

namespace gl {

enum class BuildStep { none, vertex_shader, fragment_shader, create_program, link };

struct ProgramBuild {
    Program program;  // linked; empty after a failure
    BuildStep failed = BuildStep::none;
    std::string log;  // the failed step's info log; empty for create_program

    bool ok() const { return failed == BuildStep::none; }
};

// Runs on the new program between attaching the shaders and linking it
// (fixed attribute and output locations).
using BeforeLink = std::function<void(GLuint program)>;

// Compiles both shaders and links them into a new program. A shader that
// fails to compile with an empty info log is let through (the link reports
// it); a failed link always fails the build. The shader objects are deleted
// when the build returns: a linked program keeps what it needs of them.
ProgramBuild build_program(const char* vertex_source, const char* fragment_source,
                           const BeforeLink& before_link = {});

// Info logs without their terminating NUL; empty when GL has none.
std::string shader_log(GLuint shader);
std::string program_log(GLuint program);

}  // namespace gl
