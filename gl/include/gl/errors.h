// Checking for OpenGL errors after numbered steps. The renderers report a
// GL error with a number that names the step after which it was found
// ("line 294"); a StepCheck reads the error flag and hands the step's
// number and the code to the renderer's own report, whose text stays the
// renderer's.
//
//     const gl::StepCheck check([&](int line, int code) { text.set(kFormat, line, code); });
//     glTexParameteri(...);
//     if (check.failed(kLineMinFilter)) return kFailure;
//
// Thread-safety: the error flags are the current context's; call on the
// thread whose context is current.
#pragma once

#include <functional>
#include <utility>

namespace gl {

// Upper bound on the error flags one context can hold at once.
constexpr int kMaxPendingErrors = 16;

// Discards every pending error flag, so that the next check sees only what
// follows.
void clear_errors();

class StepCheck {
public:
    // Receives the step's number and GL's error code.
    using Report = std::function<void(int line, int code)>;

    explicit StepCheck(Report report) : report_(std::move(report)) {}

    // Takes one pending error flag; when there was one, reports it for the
    // step `line` names and returns true.
    bool failed(int line) const;

private:
    Report report_;
};

}  // namespace gl
