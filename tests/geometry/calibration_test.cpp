// Loading calibration files: values, the player's circle fit, the axis swap
// and roll offsets, codes and texts of each failure, and where messages go.
// Expected radii were computed by hand and with a float32 emulation of the
// lens polynomial (Python, struct-rounded): 700 x (0.9 t - 0.05 t^3 +
// 0.002 t^5) at t = 1.6 is 879.3200073242188.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "calib_file.h"
#include "geometry/vertex_factory.h"
#include "platform/debug_output.h"
#include "temp_dir.h"

namespace {

using geometry::Variant;
using geometry::VertexFactory;
using geometry_test::CalibParams;

constexpr float kDashcamRadius = 879.3200073242188f;

// A factory whose player messages are collected instead of printed.
struct Quiet {
    explicit Quiet(Variant variant) : factory(variant) {
        factory.set_message_sink([this](std::string_view text) { messages.emplace_back(text); });
    }
    VertexFactory factory;
    std::vector<std::string> messages;
};

TEST(Calibration, PlayerCentresCameraZeroAndFitsTheCircleIntoTheFrame) {
    kvp_test::TempDir dir;
    CalibParams params = geometry_test::dashcam();
    params.set_all_centres(100.0f, 200.0f);
    params.width = 1920;
    params.height = 1080;
    const std::string wide = geometry_test::write_calib(dir, params, "wide.inf");
    params.width = params.height = 2000;
    const std::string square = geometry_test::write_calib(dir, params, "square.inf");

    Quiet player(Variant::player);
    ASSERT_EQ(player.factory.set_calibration(wide.c_str(), 0, false), 0);
    EXPECT_TRUE(player.factory.ready());
    EXPECT_EQ(player.factory.camera_count(), 1);
    EXPECT_EQ(player.factory.frame_width(), 1920);
    EXPECT_EQ(player.factory.frame_height(), 1080);
    EXPECT_EQ(player.factory.t_max(), 1.6f);
    EXPECT_EQ(player.factory.camera(0).cx, 960.0f);  // the file's 100 is not used
    EXPECT_EQ(player.factory.camera(0).cy, 540.0f);
    EXPECT_EQ(player.factory.camera(1).cx, 100.0f);     // other slots keep the file's
    EXPECT_EQ(player.factory.circle_radius(), 539.0f);  // min(879.32, 960, 540) - 1
    for (int slot = 0; slot < geometry::kCameraSlots; ++slot) {
        EXPECT_EQ(player.factory.camera(slot).k1, 0.9f);
        EXPECT_EQ(player.factory.camera(slot).k3, -0.05f);
        EXPECT_EQ(player.factory.camera(slot).k5, 0.002f);
    }
    ASSERT_EQ(player.factory.set_calibration(square.c_str(), 0, false), 0);
    EXPECT_FLOAT_EQ(player.factory.circle_radius(), kDashcamRadius - 1.0f);
    EXPECT_TRUE(player.messages.empty());
}

TEST(Calibration, ConverterKeepsTheFileCentresAndTheUnfittedRadius) {
    kvp_test::TempDir dir;
    CalibParams params = geometry_test::dashcam();
    params.set_all_centres(100.0f, 200.0f);
    params.width = 1920;
    params.height = 1080;
    VertexFactory converter(Variant::converter);
    ASSERT_EQ(converter.set_calibration(geometry_test::write_calib(dir, params).c_str(), 0, false),
              0);
    EXPECT_EQ(converter.camera(0).cx, 100.0f);
    EXPECT_EQ(converter.camera(0).cy, 200.0f);
    EXPECT_EQ(converter.circle_radius(), kDashcamRadius);
}

TEST(Calibration, CircleRadiusRoundsLikeTheLensPolynomial) {
    // k1 0.77, k3 0.08, k5 -0.0082, t_max 1.249: t^3 and t^5 rounded to
    // float, the first two products summed in double, the total rounded to
    // float before x 700 gives 764.8765869140625. Summing in float, not
    // rounding the powers or the total, or working in double throughout
    // each gives a different float (764.87646484375 or 764.8765258789062).
    kvp_test::TempDir dir;
    CalibParams params = geometry_test::dashcam();
    params.k1 = 0.77f;
    params.k3 = 0.08f;
    params.k5 = -0.0082f;
    params.t_max = 1.249f;
    const std::string path = geometry_test::write_calib(dir, params);
    VertexFactory converter(Variant::converter);
    ASSERT_EQ(converter.set_calibration(path.c_str(), 0, false), 0);
    EXPECT_EQ(converter.circle_radius(), 764.8765869140625f);
    Quiet player(Variant::player);
    ASSERT_EQ(player.factory.set_calibration(path.c_str(), 0, false), 0);
    EXPECT_EQ(player.factory.circle_radius(), 763.8765869140625f);
}

TEST(Calibration, AxisSwapAndRollOffsetFollowCameraCountAndOrientation) {
    kvp_test::TempDir dir;
    CalibParams params = geometry_test::dashcam();
    params.set_all_rotations({1, 2, 3, 4, 5, 6, 7, 8, 9});
    const std::array<float, 9> swapped = {1, -3, 2, 4, -6, 5, 7, -9, 8};  // M x S by hand
    const std::array<float, 9> as_read = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    struct Case {
        int32_t cameras, orientation;
        float roll;
        bool swap;
    };
    const Case cases[] = {{1, 0, 0.0f, true}, {1, 1, 180.0f, true}, {1, 2, 90.0f, true},
                          {1, 5, 0.0f, true}, {2, 0, 0.0f, true},   {2, 1, 0.0f, true},
                          {2, 2, 0.0f, false}};
    for (const Case& c : cases) {
        params.cameras = c.cameras;
        const std::string path = geometry_test::write_calib(dir, params);
        Quiet q(Variant::player);
        ASSERT_EQ(q.factory.set_calibration(path.c_str(), c.orientation, false), 0);
        SCOPED_TRACE(testing::Message()
                     << c.cameras << " camera(s), orientation " << c.orientation);
        EXPECT_EQ(q.factory.roll_offset(), c.roll);
        EXPECT_EQ(q.factory.orientation(), c.orientation);
        for (int slot = 0; slot < geometry::kCameraSlots; ++slot) {
            EXPECT_EQ(q.factory.camera(slot).rotation, c.swap ? swapped : as_read);
        }
    }
    // A later mounting change always turns the picture over.
    Quiet q(Variant::player);
    ASSERT_EQ(q.factory.set_calibration(geometry_test::write_calib(dir, params).c_str(), 2, false),
              0);
    q.factory.set_orientation(0);
    EXPECT_EQ(q.factory.roll_offset(), 180.0f);
    EXPECT_EQ(q.factory.orientation(), 0);
}

TEST(Calibration, RefusedFilesKeepThePreviousCameraWhole) {
    kvp_test::TempDir dir;
    CalibParams good = geometry_test::dashcam();
    const std::string good_path = geometry_test::write_calib(dir, good, "good.inf");
    const std::string bytes = geometry_test::calib_bytes(good);
    kvp_test::write_file(dir.file("short.inf"), bytes.substr(0, 379));
    kvp_test::write_file(dir.file("empty.inf"), "");
    CalibParams bad = good;
    bad.set_all_rotations({9, 9, 9, 9, 9, 9, 9, 9, 9});
    bad.width = 640;
    bad.cameras = 3;
    geometry_test::write_calib(dir, bad, "three.inf");
    bad.cameras = 0;
    geometry_test::write_calib(dir, bad, "zero.inf");
    const std::string short_path = dir.file("short.inf");
    const std::string missing = dir.file("missing.inf");

    struct Case {
        std::string path;
        bool null_path;
        int player_code, converter_code;
        std::string player_text, converter_text;
    };
    const Case cases[] = {
        {"", true, 2, 17, "error: null calibration file!\n", "error: null calibration file!\n"},
        {missing, false, 2, 17, "error: can not open calibration file " + missing + "!\n",
         "error: can not open calibration file " + missing + ";\n"},
        {dir.path(), false, 2, 17, "error: can not open calibration file " + dir.path() + "!\n",
         "error: can not open calibration file " + dir.path() + ";\n"},
        {short_path, false, 2, 17,
         "error: calibration file " + short_path + " is shorter than 380 bytes!\n",
         "error: calibration file " + short_path + " is shorter than 380 bytes;\n"},
        {dir.file("empty.inf"), false, 2, 17,
         "error: calibration file " + dir.file("empty.inf") + " is shorter than 380 bytes!\n",
         "error: calibration file " + dir.file("empty.inf") + " is shorter than 380 bytes;\n"},
        {dir.file("three.inf"), false, 1, 21, "error: invalid camera number!\n",
         "error: invalid camera number!\n"},
        {dir.file("zero.inf"), false, 1, 21, "error: invalid camera number!\n",
         "error: invalid camera number!\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.player_text);
        const char* path = c.null_path ? nullptr : c.path.c_str();
        Quiet player(Variant::player);
        EXPECT_EQ(player.factory.set_calibration(path, 0, false), c.player_code);
        EXPECT_FALSE(player.factory.ready());
        ASSERT_EQ(player.messages.size(), 1u);
        EXPECT_EQ(player.messages[0], c.player_text);
        EXPECT_EQ(std::string(player.factory.error_text()), c.player_text);

        ASSERT_EQ(player.factory.set_calibration(good_path.c_str(), 0, false), 0);
        EXPECT_EQ(player.factory.set_calibration(path, 0, false), c.player_code);
        EXPECT_TRUE(player.factory.ready());
        EXPECT_EQ(player.factory.frame_width(), 2000);
        EXPECT_EQ(player.factory.camera(0).rotation[0], 1.0f);
        EXPECT_FLOAT_EQ(player.factory.circle_radius(), kDashcamRadius - 1.0f);

        Quiet converter(Variant::converter);
        EXPECT_EQ(converter.factory.set_calibration(path, 0, false), c.converter_code);
        EXPECT_EQ(std::string(converter.factory.error_text()), c.converter_text);
        EXPECT_TRUE(converter.messages.empty());
    }
}

TEST(Calibration, ExtraBytesAfterTheNinetyFiveValuesAreIgnored) {
    kvp_test::TempDir dir;
    kvp_test::write_file(dir.file("long.inf"),
                         geometry_test::calib_bytes(geometry_test::dashcam()) + "trailing");
    Quiet q(Variant::player);
    EXPECT_EQ(q.factory.set_calibration(dir.file("long.inf").c_str(), 0, false), 0);
    EXPECT_EQ(q.factory.t_max(), 1.6f);
}

TEST(Calibration, PanoramaInputReadsNoFileButTheConverterAlwaysDoes) {
    Quiet player(Variant::player);
    EXPECT_EQ(player.factory.set_calibration(nullptr, 1, true), 0);
    EXPECT_TRUE(player.factory.ready());
    EXPECT_TRUE(player.factory.panorama_input());
    EXPECT_EQ(player.factory.roll_offset(), 0.0f);
    EXPECT_TRUE(player.messages.empty());

    VertexFactory converter(Variant::converter);
    EXPECT_EQ(converter.set_calibration(nullptr, 0, true), 17);
    EXPECT_FALSE(converter.panorama_input());
}

TEST(Calibration, LoadedValuesGoToTheDebugSinkAndErrorsToStandardOutput) {
    kvp_test::TempDir dir;
    const std::string path = geometry_test::write_calib(dir, geometry_test::dashcam());
    std::string debug;
    platform::set_debug_sink([&debug](std::string_view text) { debug += text; });

    VertexFactory player(Variant::player);
    testing::internal::CaptureStdout();
    ASSERT_EQ(player.set_calibration(path.c_str(), 0, false), 0);
    EXPECT_EQ(player.set_calibration(nullptr, 0, false), 2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "error: null calibration file!\n");
    EXPECT_EQ(debug.rfind("load_size=95;\nload_data[0]=1.000000;\n", 0), 0u) << debug;
    EXPECT_NE(debug.find("load_data[88]=0.900000;\n"), std::string::npos);
    EXPECT_NE(debug.find("load_data[93]=0.000000;\n"), std::string::npos);  // int 2000 as float
    EXPECT_NE(debug.find("load_data[94]=1.600000;\n\n\n\n"), std::string::npos);

    debug.clear();
    VertexFactory converter(Variant::converter);
    testing::internal::CaptureStdout();
    ASSERT_EQ(converter.set_calibration(path.c_str(), 0, false), 0);
    EXPECT_EQ(converter.set_calibration(nullptr, 0, false), 17);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(debug, "");
    platform::set_debug_sink(nullptr);
}

TEST(Calibration, AnAttachedErrorBufferReceivesTheTextCutToItsSize) {
    VertexFactory converter(Variant::converter);
    char small[16];
    converter.set_error_buffer(small, sizeof small);
    EXPECT_EQ(converter.set_calibration(nullptr, 0, false), 17);
    EXPECT_EQ(std::string(small), "error: null cal");
    EXPECT_EQ(converter.error_text(), small);
    converter.set_error_buffer(nullptr, 0);
    EXPECT_EQ(converter.set_calibration(nullptr, 0, false), 17);
    EXPECT_EQ(std::string(converter.error_text()), "error: null calibration file!\n");
}

}  // namespace
