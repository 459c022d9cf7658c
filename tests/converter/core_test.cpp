// The converter's insides: the offscreen renderer on synthetic pictures, the
// placement of viewports in the output planes, the remux step, the log and
// the pipeline's queue.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/log.h>
}

#include "bounded_queue.h"
#include "converter_impl.h"
#include "converter_log.h"
#include "converter_support.h"
#include "media_context.h"
#include "ogl_rendererMgr.h"
#include "pipeline.h"
#include "platform/debug_output.h"
#include "platform/paths.h"
#include "premux.h"

namespace {

using converter::ErrorText;
using converter::ogl_rendererMgr;

const bool kEnvironment = [] {
    ::unsetenv("DISPLAY");
    av_log_set_level(AV_LOG_ERROR);
    return true;
}();

struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using Frame = std::unique_ptr<AVFrame, FrameDeleter>;

Frame make_picture(AVPixelFormat format, int w, int h, uint8_t y, uint8_t u, uint8_t v) {
    Frame f(av_frame_alloc());
    f->format = format;
    f->width = w;
    f->height = h;
    av_frame_get_buffer(f.get(), 0);
    const uint8_t values[3] = {y, u, v};
    const int rows[3] = {h, (h + 1) / 2, (h + 1) / 2};
    for (int p = 0; p < 3; ++p) {
        for (int r = 0; r < rows[p]; ++r) {
            std::memset(f->data[p] + static_cast<std::ptrdiff_t>(r) * f->linesize[p], values[p],
                        static_cast<std::size_t>(f->linesize[p]));
        }
    }
    return f;
}

uint8_t luma(const AVFrame& f, int x, int y) {
    return f.data[0][y * f.linesize[0] + x];
}
uint8_t chroma_u(const AVFrame& f, int x, int y) {
    return f.data[1][y / 2 * f.linesize[1] + x / 2];
}

// Every renderer test runs on both dewarp paths: the GL draws each picture,
// or the processor applies the maps the GL drew.
class Renderer : public ::testing::TestWithParam<converter::DewarpPath> {
protected:
    void one_view(int w, int h, int mode, float pitch, float zoom) {
        param_.p.dst_width = w;
        param_.p.dst_height = h;
        param_.p.viewport_count = 1;
        param_.set_view(0, mode, pitch, 0.0f, zoom, 0, 0, w, h);
    }
    int init() { return init(AV_PIX_FMT_YUV420P); }
    int init(AVPixelFormat format) {
        const int rc = mgr_.init(param_.p, 480, 480, format, error_, GetParam());
        EXPECT_EQ(mgr_.on_cpu(), rc == 0 && GetParam() == converter::DewarpPath::cpu);
        return rc;
    }

    kvp_test::TempDir dir_;
    std::string calib_ = converter_test::write_calibration(dir_, 480, 480, 240, 240, 232);
    converter_test::Param param_{"", calib_, ""};
    ErrorText error_;
    ogl_rendererMgr mgr_;
};

TEST_P(Renderer, ZoomIsClampedToTheConvertersRange) {
    one_view(64, 48, 2, -90.0f, 0.0f);
    ASSERT_EQ(init(), 0) << error_.c_str();
    EXPECT_FLOAT_EQ(mgr_.viewport(0).camera().zoom, 0.05f);
    one_view(64, 48, 2, -90.0f, 10.0f);
    ASSERT_EQ(init(), 0) << error_.c_str();
    EXPECT_FLOAT_EQ(mgr_.viewport(0).camera().zoom, 3.0f);
    // The projection is the mirrored one: bottom and top exchanged.
    const auto& cam = mgr_.viewport(0).camera();
    EXPECT_LT(cam.projection[5], 0.0f);
}

TEST_P(Renderer, TheFlatFrameComesOutUprightWithRowZeroOnTop) {
    // Mode 0 shows the whole source picture: its upper half dark, lower half
    // bright, kept square in the middle of the viewport. Even and odd
    // viewports are drawn in different layouts.
    Frame src = make_picture(AV_PIX_FMT_YUV420P, 480, 480, 50, 100, 150);
    for (int r = 240; r < 480; ++r) std::memset(src->data[0] + r * src->linesize[0], 200, 480);
    for (const auto& [w, h] : {std::pair{64, 48}, std::pair{63, 47}}) {
        SCOPED_TRACE(w);
        param_.p.dst_width = 64;
        param_.p.dst_height = 48;
        param_.p.viewport_count = 1;
        param_.set_view(0, 0, 0.0f, 0.0f, 1.0f, 0, 0, w, h);
        ASSERT_EQ(init(), 0) << error_.c_str();
        EXPECT_EQ(mgr_.viewport(0).layout(),
                  w % 2 == 0 ? converter::PlaneLayout::blocks : converter::PlaneLayout::planes);
        Frame out = make_picture(AV_PIX_FMT_YUV420P, 64, 48, 7, 7, 7);
        ASSERT_EQ(mgr_.upload(*src), 0) << error_.c_str();
        ASSERT_EQ(mgr_.render(*out), 0) << error_.c_str();
        const int top = 48 - h;  // viewport_y 0: the viewport sits on the bottom edge
        EXPECT_EQ(luma(*out, w / 2, top + 1), 50);
        EXPECT_EQ(luma(*out, w / 2, top + h - 2), 200);
        EXPECT_EQ(chroma_u(*out, w / 2, top + 10), 100);
        // Beside the square picture the viewport is black, not left alone.
        EXPECT_EQ(luma(*out, 2, top + h / 2), 16);
        EXPECT_EQ(chroma_u(*out, 2, top + h / 2), 128);
        if (top > 0) {
            EXPECT_EQ(luma(*out, 10, 0), 7);  // above the viewport
        }
    }
}

TEST_P(Renderer, BothLayoutsDrawTheSameLuma) {
    Frame src = make_picture(AV_PIX_FMT_YUV420P, 480, 480, 0, 90, 160);
    for (int r = 0; r < 480; ++r) {
        for (int c = 0; c < 480; ++c) src->data[0][r * src->linesize[0] + c] = (c + r) / 4;
    }
    // The same 32 x 32 view at an even and at an odd place of a 34 x 34 picture.
    Frame out[2];
    for (int odd = 0; odd < 2; ++odd) {
        param_.p.dst_width = 34;
        param_.p.dst_height = 34;
        param_.p.viewport_count = 1;
        param_.set_view(0, 2, -80.0f, 25.0f, 1.5f, odd, odd, 32, 32);
        ASSERT_EQ(init(), 0) << error_.c_str();
        out[odd] = make_picture(AV_PIX_FMT_YUV420P, 34, 34, 0, 0, 0);
        ASSERT_EQ(mgr_.upload(*src), 0);
        ASSERT_EQ(mgr_.render(*out[odd]), 0);
    }
    // Odd: one column right, one row up (y counts from the bottom).
    int differing = 0;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x)
            differing += luma(*out[0], x, 2 + y) != luma(*out[1], 1 + x, 1 + y);
    }
    EXPECT_EQ(differing, 0);
    EXPECT_NEAR(chroma_u(*out[0], 16, 18), chroma_u(*out[1], 17, 17), 1);
}

TEST_P(Renderer, PixelsOutsideEveryViewportAreNeverWritten) {
    param_.p.dst_width = 64;
    param_.p.dst_height = 48;
    param_.p.viewport_count = 2;
    param_.set_view(0, 2, -90.0f, 0.0f, 3.0f, 0, 0, 32, 24);    // lower left
    param_.set_view(1, 2, -90.0f, 0.0f, 3.0f, 32, 24, 32, 24);  // upper right
    ASSERT_EQ(init(), 0) << error_.c_str();
    Frame src = make_picture(AV_PIX_FMT_YUV420P, 480, 480, 90, 60, 200);
    Frame out = make_picture(AV_PIX_FMT_YUV420P, 64, 48, 7, 7, 7);
    ASSERT_EQ(mgr_.upload(*src), 0);
    ASSERT_EQ(mgr_.render(*out), 0);
    // Looking along the lens axis through a narrow view: the source colour.
    EXPECT_EQ(luma(*out, 16, 36), 90);  // viewport 0, rows counted from the top
    EXPECT_EQ(chroma_u(*out, 16, 36), 60);
    EXPECT_EQ(luma(*out, 48, 12), 90);  // viewport 1
    EXPECT_EQ(luma(*out, 48, 36), 7);   // lower right: no viewport
    EXPECT_EQ(chroma_u(*out, 48, 36), 7);
    EXPECT_EQ(luma(*out, 16, 12), 7);  // upper left: no viewport
}

TEST_P(Renderer, ViewportsOfOneDrawModeShareAMeshAndDrawWhatTheirOwnWouldShow) {
    // A source whose luma follows the column and chroma the row.
    Frame src = make_picture(AV_PIX_FMT_YUV420P, 480, 480, 0, 0, 0);
    for (int r = 0; r < 480; ++r) {
        for (int c = 0; c < 480; ++c) src->data[0][r * src->linesize[0] + c] = c / 2;
    }
    for (int r = 0; r < 240; ++r) std::memset(src->data[1] + r * src->linesize[1], r, 240);
    auto render_views = [&](std::initializer_list<std::pair<float, float>> views) {
        param_.p.dst_width = 64;
        param_.p.dst_height = 32;
        param_.p.viewport_count = static_cast<int>(views.size());
        int i = 0;
        for (const auto& [pitch, yaw] : views) {
            param_.set_view(i, 2, pitch, yaw, 1.5f, 32 * i, 0, 32, 32);
            ++i;
        }
        EXPECT_EQ(init(), 0) << error_.c_str();
        Frame out = make_picture(AV_PIX_FMT_YUV420P, 64, 32, 0, 0, 0);
        EXPECT_EQ(mgr_.upload(*src), 0);
        EXPECT_EQ(mgr_.render(*out), 0);
        return out;
    };
    const Frame alone = render_views({{-70.0f, 40.0f}});
    const Frame shared = render_views({{-100.0f, -30.0f}, {-70.0f, 40.0f}});
    int differing = 0;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            differing += luma(*alone, x, y) != luma(*shared, 32 + x, y);
            differing += chroma_u(*alone, x, y) != chroma_u(*shared, 32 + x, y);
        }
    }
    EXPECT_EQ(differing, 0);
    EXPECT_NE(luma(*shared, 16, 16), luma(*shared, 48, 16));  // two different views
}

TEST_P(Renderer, AnyPlanarYuvSourceIsTakenAsItIs) {
    one_view(32, 32, 2, -90.0f, 3.0f);
    for (AVPixelFormat f : {AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV444P, AV_PIX_FMT_YUVJ420P}) {
        SCOPED_TRACE(f);
        ASSERT_EQ(init(f), 0) << error_.c_str();
        Frame src = make_picture(f, 480, 480, 120, 80, 170);
        Frame out = make_picture(AV_PIX_FMT_YUV420P, 32, 32, 0, 0, 0);
        ASSERT_EQ(mgr_.upload(*src), 0);
        ASSERT_EQ(mgr_.render(*out), 0);
        EXPECT_EQ(luma(*out, 16, 16), 120);
        EXPECT_EQ(chroma_u(*out, 16, 16), 80);
    }
    EXPECT_TRUE(converter::can_upload(AV_PIX_FMT_YUV420P));
    EXPECT_TRUE(converter::can_upload(AV_PIX_FMT_YUVJ444P));
    for (AVPixelFormat f : {AV_PIX_FMT_NV12, AV_PIX_FMT_YUV420P10LE, AV_PIX_FMT_RGBA,
                            AV_PIX_FMT_GRAY8, AV_PIX_FMT_YUVA420P, AV_PIX_FMT_NONE}) {
        EXPECT_FALSE(converter::can_upload(f)) << f;
    }
}

TEST_P(Renderer, PicturesOfTheWrongShapeAreRefused) {
    one_view(32, 32, 2, -90.0f, 1.5f);
    ASSERT_EQ(init(), 0) << error_.c_str();
    Frame small = make_picture(AV_PIX_FMT_YUV420P, 240, 240, 1, 2, 3);
    EXPECT_EQ(mgr_.upload(*small), 21);
    EXPECT_STREQ(error_.c_str(),
                 "error in oglMgr ogl_renderer\\ogl_rendererMgr.cpp(line 98): code 1281\n");
    Frame wrong_out = make_picture(AV_PIX_FMT_YUV420P, 30, 32, 0, 0, 0);
    EXPECT_EQ(mgr_.render(*wrong_out), 21);
    EXPECT_EQ(mgr_.release(), 0);
    Frame src = make_picture(AV_PIX_FMT_YUV420P, 480, 480, 1, 2, 3);
    EXPECT_EQ(mgr_.upload(*src), 21);  // released: nothing to upload into
}

INSTANTIATE_TEST_SUITE_P(DewarpPath, Renderer,
                         ::testing::Values(converter::DewarpPath::gl, converter::DewarpPath::cpu),
                         [](const ::testing::TestParamInfo<converter::DewarpPath>& info) {
                             return info.param == converter::DewarpPath::gl ? "gl" : "cpu";
                         });

// Both paths on a textured source, four views of different modes at even
// and odd places: the same pixels within bilinear rounding, black where the
// GL leaves black.
TEST(DewarpPaths, TheProcessorDrawsWhatTheGlDraws) {
    Frame src = make_picture(AV_PIX_FMT_YUV420P, 480, 480, 0, 0, 0);
    for (int r = 0; r < 480; ++r) {
        for (int c = 0; c < 480; ++c) {
            src->data[0][r * src->linesize[0] + c] =
                static_cast<uint8_t>(128 + 100 * std::sin(c / 9.0) * std::cos(r / 13.0));
        }
    }
    for (int r = 0; r < 240; ++r) {
        for (int c = 0; c < 240; ++c) {
            src->data[1][r * src->linesize[1] + c] = static_cast<uint8_t>(c);
            src->data[2][r * src->linesize[2] + c] = static_cast<uint8_t>(255 - r);
        }
    }
    kvp_test::TempDir dir;
    converter_test::Param param{"", converter_test::write_calibration(dir, 480, 480, 240, 240, 232),
                                ""};
    param.p.dst_width = 98;
    param.p.dst_height = 66;
    param.p.viewport_count = 4;
    param.set_view(0, 0, 0.0f, 0.0f, 1.0f, 0, 0, 48, 32);
    param.set_view(1, 2, -70.0f, 30.0f, 1.2f, 49, 1, 48, 31);
    param.set_view(2, 5, -20.0f, -40.0f, 1.0f, 1, 33, 47, 33);
    param.set_view(3, 1, 0.0f, 0.0f, 1.0f, 50, 34, 48, 32);
    Frame out[2];
    for (const converter::DewarpPath path :
         {converter::DewarpPath::gl, converter::DewarpPath::cpu}) {
        ogl_rendererMgr mgr;
        ErrorText error;
        ASSERT_EQ(mgr.init(param.p, 480, 480, AV_PIX_FMT_YUV420P, error, path), 0) << error.c_str();
        Frame& o = out[path == converter::DewarpPath::cpu];
        o = make_picture(AV_PIX_FMT_YUV420P, 98, 66, 7, 7, 7);
        ASSERT_EQ(mgr.upload(*src), 0);
        ASSERT_EQ(mgr.render(*o), 0);
    }
    // The maps themselves: drawn by the GL and read back, or drawn on the
    // processor, agree but for a few pixels on triangle edges.
    {
        ogl_rendererMgr mgr;
        ErrorText error;
        ASSERT_EQ(mgr.init(param.p, 480, 480, AV_PIX_FMT_YUV420P, error), 0) << error.c_str();
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(i);
            const converter::CoordinateMap gl = mgr.viewport(i).read_luma_map();
            const converter::CoordinateMap cpu = mgr.viewport(i).rasterize_luma_map();
            ASSERT_EQ(gl.texels.size(), cpu.texels.size());
            int flag_mismatch = 0;
            float worst = 0.0f;
            for (std::size_t t = 0; t < gl.texels.size(); t += 4) {
                const bool a = gl.texels[t + 2] > 0.5f, b = cpu.texels[t + 2] > 0.5f;
                flag_mismatch += a != b;
                if (a && b) {
                    worst = std::max({worst, std::fabs(gl.texels[t] - cpu.texels[t]),
                                      std::fabs(gl.texels[t + 1] - cpu.texels[t + 1])});
                }
            }
            EXPECT_LE(flag_mismatch, static_cast<int>(gl.texels.size() / 4 / 200));
            EXPECT_LT(worst, 1e-3f);  // half a source pixel
        }
    }
    for (int plane = 0; plane < 3; ++plane) {
        SCOPED_TRACE(plane);
        const int w = plane == 0 ? 98 : 49, h = plane == 0 ? 66 : 33;
        int worst = 0, black_mismatch = 0;
        double total = 0.0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const int a = out[0]->data[plane][y * out[0]->linesize[plane] + x];
                const int b = out[1]->data[plane][y * out[1]->linesize[plane] + x];
                worst = std::max(worst, std::abs(a - b));
                total += std::abs(a - b);
                black_mismatch += (a == 7) != (b == 7);
            }
        }
        EXPECT_LE(worst, 2);
        EXPECT_LT(total / (w * h), 0.3);
        EXPECT_EQ(black_mismatch, 0);  // the same pixels outside every view
    }
    EXPECT_EQ(converter::parse_dewarp_path("cpu"), converter::DewarpPath::cpu);
    EXPECT_EQ(converter::parse_dewarp_path("gl"), converter::DewarpPath::gl);
    EXPECT_EQ(converter::parse_dewarp_path(nullptr), converter::DewarpPath::automatic);
    EXPECT_EQ(converter::parse_dewarp_path("GPU"), converter::DewarpPath::automatic);
    EXPECT_TRUE(converter::is_software_renderer("llvmpipe (LLVM 15.0.6, 256 bits)"));
    EXPECT_FALSE(converter::is_software_renderer("NVIDIA GeForce RTX 3060/PCIe/SSE2"));
}

TEST(Placement, RowsCountFromTheTopAndChromaStaysInsideItsPlane) {
    converter_test::Param param("", "", "");
    param.p.dst_width = 320;
    param.p.dst_height = 192;
    param.set_view(0, 2, 0, 0, 1, 0, 0, 320, 192);
    auto p = converter::viewport_placement(param.p, 0);
    EXPECT_EQ(p.luma.y, 0);  // viewport_y 0, full height: read-back row 0 is output row 0
    EXPECT_EQ(p.chroma.width, 160);
    EXPECT_EQ(p.chroma.height, 96);
    param.set_view(0, 2, 0, 0, 1, 160, 0, 160, 96);  // lower right quarter
    p = converter::viewport_placement(param.p, 0);
    EXPECT_EQ(p.luma.x, 160);
    EXPECT_EQ(p.luma.y, 96);
    EXPECT_EQ(p.chroma.x, 80);
    EXPECT_EQ(p.chroma.y, 48);
    // Odd rectangles anywhere in an odd-sized picture.
    param.p.dst_width = 33;
    param.p.dst_height = 21;
    for (int x = 0; x < 33; ++x) {
        for (int w = 1; x + w <= 33; w += 3) {
            for (int y = 0; y < 21; y += 2) {
                for (int h = 1; y + h <= 21; h += 4) {
                    param.set_view(0, 2, 0, 0, 1, x, y, w, h);
                    p = converter::viewport_placement(param.p, 0);
                    ASSERT_GE(p.chroma.x, 0);
                    ASSERT_GE(p.chroma.y, 0);
                    ASSERT_GE(p.chroma.width, 1);
                    ASSERT_GE(p.chroma.height, 1);
                    ASSERT_LE(p.chroma.x + p.chroma.width, 17);
                    ASSERT_LE(p.chroma.y + p.chroma.height, 11);
                    ASSERT_EQ(p.luma.y + p.luma.height, 21 - y);
                }
            }
        }
    }
}

TEST(Premux, TheFolderOfAPathKeepsItsSeparator) {
    EXPECT_EQ(converter::folder_of("/rec/day/a.ts"), "/rec/day/");
    EXPECT_EQ(converter::folder_of("/a.ts"), "/");
    EXPECT_EQ(converter::folder_of("a.ts"), "");
}

TEST(Premux, TheRunnerReportsTheOutputAndStatusOrThatNothingStarted) {
    const platform::ProcessResult missing = converter::run_tool({"kvp-no-such-tool", "-x"});
    EXPECT_FALSE(missing.started);
    EXPECT_EQ(missing.output, "faild!");
    const platform::ProcessResult printed = converter::run_tool({"printf", "%s|", "a \" b", "$x"});
    EXPECT_EQ(printed.output, "a \" b|$x|");  // each argument as it stands
    EXPECT_EQ(printed.exit_code, 0);
    EXPECT_EQ(converter::run_tool({"sh", "-c", "exit 3"}).exit_code, 3);
    EXPECT_EQ(converter::run_tool({"head", "-c", "5000", "/dev/zero"}).output.size(), 1023u);
}

TEST(Premux, EachPathIsOneArgumentAndAnOutputNeverReadsAsAnOption) {
    using Args = std::vector<std::string>;
    EXPECT_EQ(converter::remux_arguments("/rec/c\" -y \"x.ts", "/rec/temp.mp4"),
              (Args{"ffmpeg", "-i", "/rec/c\" -y \"x.ts", "-v", "quiet", "-y", "-acodec", "copy",
                    "-vcodec", "copy", "-absf", "aac_adtstoasc", "/rec/temp.mp4"}));
    EXPECT_EQ(converter::remux_arguments("-d/a.ts", "-d/temp.mp4").back(), "./-d/temp.mp4");
}

TEST(Premux, OnlyTsFilesAreRemuxedAndTheTextIsReplacedWhenItFits) {
    kvp_test::TempDir dir;
    char src[DOR_CONVERTER_SRC_URL_BYTES];
    ConverterInitParam p{};
    p.src_url = src;
    ErrorText error;
    std::snprintf(src, sizeof src, "%s", converter_test::sample("fisheye.mp4").c_str());
    {
        converter::RemuxedCopy copy;
        EXPECT_EQ(converter::premux_ts(p, copy, error), 0);
        EXPECT_EQ(std::string(src), converter_test::sample("fisheye.mp4"));
        std::snprintf(src, sizeof src, "%s", dir.file("missing.ts").c_str());
        EXPECT_EQ(converter::premux_ts(p, copy, error), 317);
    }
    EXPECT_STREQ(error.c_str(), "");

    // A name without a folder: the copy lands in the current folder, and
    // goes with its owner.
    const std::string ts = kvp_test::read_file(converter_test::sample("fisheye.ts"));
    ASSERT_TRUE(kvp_test::write_file(dir.file("a.ts"), ts));
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    std::snprintf(src, sizeof src, "a.ts");
    {
        converter::RemuxedCopy copy;
        EXPECT_EQ(converter::premux_ts(p, copy, error), 0);
        EXPECT_EQ(std::string(src), "temp.mp4");
        EXPECT_TRUE(platform::path_exists(dir.file("temp.mp4")));
    }
    ASSERT_EQ(::chdir(cwd), 0);
    EXPECT_FALSE(platform::path_exists(dir.file("temp.mp4")));

    // A folder so deep that ".../temp.mp4" would not fit the caller's buffer:
    // the TS file is read as it is, and no copy is made.
    std::string deep = dir.path();
    while (deep.size() < 250) deep += "/dddddddddd";
    ASSERT_EQ(std::system(("mkdir -p '" + deep + "'").c_str()), 0);
    ASSERT_TRUE(kvp_test::write_file(deep + "/b.ts", ts));
    std::snprintf(src, sizeof src, "%s", (deep + "/b.ts").c_str());
    converter::RemuxedCopy copy;
    EXPECT_EQ(converter::premux_ts(p, copy, error), 0);
    EXPECT_EQ(std::string(src), deep + "/b.ts");
    EXPECT_FALSE(platform::path_exists(deep + "/temp.mp4"));
}

TEST(Premux, ACopyMovedAwayOrReplacedIsNotRemoved) {
    kvp_test::TempDir dir;
    ASSERT_TRUE(kvp_test::write_file(dir.file("temp.mp4"), "copy"));
    {
        converter::RemuxedCopy copy;
        copy.adopt(dir.file("temp.mp4"));
        ASSERT_EQ(std::rename(dir.file("temp.mp4").c_str(), dir.file("kept.mp4").c_str()), 0);
        ASSERT_TRUE(kvp_test::write_file(dir.file("temp.mp4"), "another export's copy"));
    }
    EXPECT_EQ(kvp_test::read_file(dir.file("kept.mp4")), "copy");
    EXPECT_EQ(kvp_test::read_file(dir.file("temp.mp4")), "another export's copy");
}

TEST(Log, LinesAreTrimmedEndedWithCrLfAndCut) {
    std::vector<std::string> lines;
    platform::set_debug_sink([&](std::string_view t) { lines.emplace_back(t); });
    converter::log_line("total %d \n\t ", 7);
    converter::log_line("%s", std::string(5000, 'a').c_str());
    platform::set_debug_sink(nullptr);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "total 7\r\n");
    EXPECT_EQ(lines[1], std::string(converter::kLogMaxChars, 'a') + "\r\n");
}

// The debug lines of one conversion, as the debugger would see them.
TEST(Log, AConversionWritesItsLines) {
    kvp_test::TempDir dir;
    const std::string ts = dir.file("rec.ts");
    ASSERT_TRUE(
        kvp_test::write_file(ts, kvp_test::read_file(converter_test::sample("fisheye.ts"))));
    converter_test::Param param(ts, converter_test::fisheye_calibration(dir), dir.file("o.mp4"));
    std::vector<std::string> lines;
    platform::set_debug_sink([&](std::string_view t) { lines.emplace_back(t); });
    {
        converter::DOR_SphereVideoConverterImpl conv;
        ASSERT_EQ(conv.Init(&param.p), 0) << conv.GetLastErrorText();
        ASSERT_EQ(conv.StartDewarpingAsync({0, 0, 0}, {0, 1, 0}), 0) << conv.GetLastErrorText();
        conv.Stop();
    }
    platform::set_debug_sink(nullptr);
    const std::string calib = param.calib;
    const std::vector<std::string> expected = {
        "Run Result\r\n",  // the remux tool is quiet; trailing blanks go
        "dst_width 320 \n dist_height 192\n bitrate 2048\n calib_filename " + calib +
            "\n orientation 1 \n zoom 1.50\r\n",
        "####### total_seconds  = 2\r\n",
        "is_rendering = 0\r\n",
        "frm_number_to_render 30\r\n",
        "StartDewarpingAsyncImpl 480, 480\r\n",
    };
    ASSERT_GE(lines.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(lines[i], expected[i]);
}

// A failure of the renderer after the start ends every stage; nothing waits.
TEST(Pipeline, ARenderFailureEndsTheConversionWithItsText) {
    kvp_test::TempDir dir;
    converter_test::Param param(converter_test::sample("fisheye.mp4"),
                                converter_test::fisheye_calibration(dir), dir.file("o.mp4"));
    ErrorText error;
    converter::InputMedia in;
    converter::OutputMedia out;
    ASSERT_EQ(converter::open_input(in, param.src, error), 0);
    ASSERT_EQ(converter::open_output(out, in, param.p, error), 0) << error.c_str();
    // Set up for pictures of another size than the recording's.
    ogl_rendererMgr renderer;
    ASSERT_EQ(renderer.init(param.p, 240, 240, AV_PIX_FMT_YUV420P, error), 0) << error.c_str();
    std::atomic<int32_t> stop{0};
    std::atomic<int64_t> encoded{0};
    converter::Pipeline p{in, out, renderer, error, stop, encoded};
    p.frames_to_render = 60;
    EXPECT_EQ(converter::run_pipeline(p), 21);
    EXPECT_EQ(encoded.load(), 0);
    EXPECT_NE(std::string(error.c_str()).find("ogl_rendererMgr.cpp(line 98)"), std::string::npos);
    renderer.release();
    converter::close_output(out);
    converter::close_input(in);
    // Not initialised at all: refused, not a crash.
    ogl_rendererMgr never;
    Frame src = make_picture(AV_PIX_FMT_YUV420P, 16, 16, 1, 2, 3);
    EXPECT_EQ(never.upload(*src), 21);
    EXPECT_EQ(never.render(*src), 21);
}

TEST(Queue, CloseDrainsAbortDropsAndBothWakeWaiters) {
    converter::BoundedQueue<int> q(2);
    EXPECT_TRUE(q.push(1));
    EXPECT_TRUE(q.push(2));
    std::thread producer([&] { EXPECT_TRUE(q.push(3)); });  // waits for room
    int v = 0;
    ASSERT_TRUE(q.pop(v));
    EXPECT_EQ(v, 1);
    producer.join();
    q.close();
    EXPECT_FALSE(q.push(4));
    ASSERT_TRUE(q.pop(v));
    EXPECT_EQ(v, 2);
    ASSERT_TRUE(q.pop(v));
    EXPECT_EQ(v, 3);
    EXPECT_FALSE(q.pop(v));

    converter::BoundedQueue<int> r(1);
    std::thread consumer([&] {
        int x = 0;
        EXPECT_FALSE(r.pop(x));  // woken by the abort
    });
    r.abort();
    consumer.join();
    EXPECT_FALSE(r.push(1));
}

}  // namespace
