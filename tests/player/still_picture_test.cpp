// The logo decoder: one picture file into BGR24 pixels, rows back to back,
// and its failures with their texts.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "still_picture.h"
#include "temp_dir.h"

namespace {

using sphere_player::decode_still_picture;
using sphere_player::ErrorText;
using sphere_player::StillPicture;

TEST(StillPicture, DecodesAPictureIntoPackedBgr) {
    kvp_test::TempDir dir;
    const std::string png = dir.file("logo.png");
    // 7 x 5: rows of 21 bytes, not a multiple of 4.
    ASSERT_EQ(std::system(("ffmpeg -hide_banner -loglevel error -y -f lavfi -i "
                           "'color=c=0x3050F0:size=7x5,format=rgb24' -frames:v 1 '" +
                           png + "'")
                              .c_str()),
              0);
    StillPicture logo;
    ErrorText errors;
    ASSERT_EQ(decode_still_picture(png.c_str(), &logo, errors), 0) << errors.c_str();
    EXPECT_EQ(logo.width, 7);
    EXPECT_EQ(logo.height, 5);
    ASSERT_EQ(logo.bgr.size(), 7u * 5u * 3u);
    for (std::size_t i = 0; i < logo.bgr.size(); i += 3) {  // 0x3050F0 as B, G, R
        EXPECT_NEAR(logo.bgr[i], 0xF0, 6) << i;
        EXPECT_NEAR(logo.bgr[i + 1], 0x50, 6) << i;
        EXPECT_NEAR(logo.bgr[i + 2], 0x30, 6) << i;
    }
}

TEST(StillPicture, FailuresLeaveTheirTextAndReturn21) {
    kvp_test::TempDir dir;
    StillPicture logo;
    ErrorText errors;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(decode_still_picture(dir.file("missing.png").c_str(), &logo, errors), 21);
    const std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(
        std::string(errors.c_str()).rfind("error: couldn't open input picture file, code: ", 0), 0u)
        << errors.c_str();
    EXPECT_EQ(printed, errors.c_str());  // also printed

    const std::string garbage = dir.file("garbage.png");
    ASSERT_TRUE(kvp_test::write_file(garbage, std::string(300, '\x11')));
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(decode_still_picture(garbage.c_str(), &logo, errors), 21);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::string(errors.c_str()).rfind("error: ", 0), 0u);
    EXPECT_TRUE(logo.bgr.empty());
    EXPECT_EQ(decode_still_picture(nullptr, &logo, errors), 21);
}

}  // namespace
