// A headless GL context made current for one test, with the entry points
// loaded; the test skips when none can be had.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "gl/entry_points.h"
#include "gl/headless_context.h"

namespace gl_test {

class HeadlessGl : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!context_.create(why)) GTEST_SKIP() << "no headless GL context: " << why;
        const gl::EntryPoints entry = gl::load_entry_points();
        ASSERT_TRUE(entry.loaded) << entry.reason;
        glGetError();  // whatever the start-up left is not the test's
    }

    gl::HeadlessContext context_;
};

}  // namespace gl_test
