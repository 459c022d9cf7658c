// A short drive with GPS, for the telemetry panel and the map:
//
//  - gps_drive/MOVA/DRIVE.MP4  a 10 s fisheye clip with sound;
//  - gps_drive/MOVG/DRIVE.gps  its side file: ten 120-byte records, one per
//                              second, 2024-03-09 08:15:00 + k s, heading
//                              north-east from 22.54 N, 114.05 E at
//                              0.0003 degree a second, speed 8 + 1.5 k m/s;
//                              record 4 has no fix ('V') and record 7 is a
//                              stray fix 0.2 degree north of the route;
//                              G-sensor X = 3k - 12, Y = 20 - 4k, Z = 10 +
//                              (k odd ? 5 : -5).
#include <cstdint>
#include <cstring>
#include <string>

#include <sys/stat.h>

#include "samplegen.h"

namespace {

using samplegen::put_le32;
using samplegen::put_le_double;

constexpr int kDriveSeconds = 10;
constexpr int kNoFixRecord = 4;
constexpr int kStrayRecord = 7;

std::string drive_record(int k) {
    std::string r(120, '\0');
    put_le32(r, 0, 8);
    put_le32(r, 4, 15);
    put_le32(r, 8, k);
    r[12] = k == kNoFixRecord ? 'V' : 'A';
    put_le_double(r, 16, 22.54 + 0.0003 * k + (k == kStrayRecord ? 0.2 : 0.0));
    r[24] = 'N';
    put_le_double(r, 32, 114.05 + 0.0003 * k);
    r[40] = 'E';
    put_le_double(r, 48, 8.0 + 1.5 * k);
    put_le32(r, 64, 2024);
    put_le32(r, 68, 3);
    put_le32(r, 72, 9);
    put_le32(r, 76, 3 * k - 12);
    put_le32(r, 80, 20 - 4 * k);
    put_le32(r, 84, 10 + (k % 2 != 0 ? 5 : -5));
    return r;
}

bool make_gps_drive(const samplegen::Context& ctx) {
    const std::string root = ctx.path("gps_drive");
    for (const char* dir : {"", "/MOVA", "/MOVG"}) ::mkdir((root + dir).c_str(), 0755);
    samplegen::FisheyeClip clip;
    clip.width = clip.height = 320;
    clip.cx = clip.cy = 160;
    clip.radius = 152;
    clip.seconds = kDriveSeconds;
    clip.fps = 15;
    std::string records;
    for (int k = 0; k < kDriveSeconds; ++k) records += drive_record(k);
    return samplegen::make_fisheye_clip(ctx, clip, root + "/MOVA/DRIVE.MP4") &&
           samplegen::write_file(root + "/MOVG/DRIVE.gps", records);
}

}  // namespace

KVP_SAMPLE_SET(gps_drive,
               "gps_drive/ (a 10 s fisheye drive with one GPS record a second in its side file)",
               make_gps_drive)
