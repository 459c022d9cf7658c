// kvptool calib and kvptool mesh: the JSON keys scripts rely on, exit codes,
// and values that follow from the calibration by hand.
#include <regex>
#include <set>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "calib_file.h"
#include "temp_dir.h"

namespace {

struct Output {
    int exit_code;
    std::string text;
    nlohmann::json json;
};

Output kvptool(const std::string& args) {
    const auto r = kvp_test::run_command(KVP_BIN_DIR "/kvptool " + args + " 2>/dev/null");
    return {r.exit_code, r.out, nlohmann::json::parse(r.out, nullptr, false)};
}

std::set<std::string> keys_of(const nlohmann::json& j) {
    std::set<std::string> keys;
    for (const auto& item : j.items()) keys.insert(item.key());
    return keys;
}

TEST(KvptoolCalib, PrintsTheLoadedCameraAndProbesAsJson) {
    kvp_test::TempDir dir;
    geometry_test::CalibParams params = geometry_test::dashcam();
    params.set_all_rotations(geometry_test::kAxisForward);
    params.width = 1920;
    params.height = 1080;
    const std::string path = geometry_test::write_calib(dir, params);

    const Output out =
        kvptool("calib '" + path + "' --orientation 1 --probe 0,0 --probe 0,114.59156");
    ASSERT_EQ(out.exit_code, 0) << out.text;
    ASSERT_TRUE(out.json.is_object()) << out.text;
    const nlohmann::json& j = out.json;
    EXPECT_EQ(keys_of(j), (std::set<std::string>{"code", "error", "camera_count", "width", "height",
                                                 "t_max", "R", "cx", "cy", "k1", "k3", "k5",
                                                 "rotation", "roll_offset", "probes"}));
    EXPECT_EQ(j["code"], 0);
    EXPECT_EQ(j["error"], "");
    EXPECT_EQ(j["camera_count"], 1);
    EXPECT_EQ(j["width"], 1920);
    EXPECT_EQ(j["R"].get<double>(), 539.0);
    EXPECT_EQ(j["cx"].get<double>(), 960.0);
    EXPECT_EQ(j["roll_offset"].get<double>(), 180.0);
    EXPECT_EQ(j["rotation"].size(), 9u);
    EXPECT_EQ(j["rotation"][4].get<double>(), 1.0);
    EXPECT_EQ(j["k1"].get<float>(), 0.9f);
    // Floats carry at least 9 significant digits.
    EXPECT_TRUE(std::regex_search(out.text, std::regex("\"t_max\": 1\\.6000000[0-9]{2}")));
    ASSERT_EQ(j["probes"].size(), 2u);
    const auto& axis = j["probes"][0];
    EXPECT_EQ(keys_of(axis), (std::set<std::string>{"lat", "lon", "u", "v", "valid", "weight"}));
    EXPECT_EQ(axis["u"].get<double>(), 0.5);
    EXPECT_EQ(axis["valid"], 1);
    EXPECT_EQ(axis["weight"].get<double>(), 539.0);
    EXPECT_EQ(j["probes"][1]["valid"], 0);  // 2 rad off the axis, behind the lens
}

TEST(KvptoolCalib, ExitsWithTheLoadersCode) {
    kvp_test::TempDir dir;
    const std::string bytes = geometry_test::calib_bytes(geometry_test::dashcam());
    kvp_test::write_file(dir.file("short.inf"), bytes.substr(0, 200));
    geometry_test::CalibParams three = geometry_test::dashcam();
    three.cameras = 3;
    const std::string three_path = geometry_test::write_calib(dir, three, "three.inf");

    const Output missing = kvptool("calib '" + dir.file("none.inf") + "'");
    EXPECT_EQ(missing.exit_code, 2);
    EXPECT_EQ(missing.json["error"],
              "error: can not open calibration file " + dir.file("none.inf") + "!\n");
    const Output short_file = kvptool("calib '" + dir.file("short.inf") + "' --converter");
    EXPECT_EQ(short_file.exit_code, 17);
    EXPECT_EQ(short_file.json["code"], 17);
    EXPECT_EQ(short_file.json["camera_count"], 0);  // nothing half-loaded
    EXPECT_EQ(kvptool("calib '" + three_path + "'").exit_code, 1);
    const Output converter = kvptool("calib '" + three_path + "' --converter");
    EXPECT_EQ(converter.exit_code, 21);
    EXPECT_EQ(converter.json["error"], "error: invalid camera number!\n");
}

TEST(KvptoolMesh, ReportsSizesGridStopAndCap) {
    kvp_test::TempDir dir;
    const std::string path = geometry_test::write_calib(dir, geometry_test::dashcam());
    const Output sphere = kvptool("mesh '" + path + "' --mode 2 --logo -1");
    ASSERT_EQ(sphere.exit_code, 0) << sphere.text;
    EXPECT_EQ(keys_of(sphere.json),
              (std::set<std::string>{"code", "vertices", "position_floats", "texcoord_floats",
                                     "grid_stop_row", "cap_first_row", "cap_rows"}));
    EXPECT_EQ(sphere.json["vertices"], 388800);
    EXPECT_EQ(sphere.json["position_floats"], 1166400);
    EXPECT_EQ(sphere.json["texcoord_floats"], 1555200);
    EXPECT_EQ(sphere.json["grid_stop_row"], -1);
    EXPECT_EQ(sphere.json["cap_first_row"], 90);
    EXPECT_EQ(sphere.json["cap_rows"], 90);

    const Output converter = kvptool("mesh '" + path + "' --mode 2 --logo 30 --converter");
    EXPECT_EQ(converter.json["grid_stop_row"], 92);
    EXPECT_EQ(converter.json["cap_rows"], 0);
    EXPECT_EQ(kvptool("mesh '" + path + "' --mode 6").json["vertices"], 9600);
    EXPECT_EQ(kvptool("mesh '" + path + "' --mode 7").exit_code, 1);
    EXPECT_EQ(kvptool("mesh '" + path + "' --mode 6 --converter").exit_code, 21);
    EXPECT_EQ(kvptool("mesh '" + dir.file("none.inf") + "' --mode 2").exit_code, 2);
}

}  // namespace
