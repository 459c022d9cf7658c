#!/bin/bash
# The main job on the bundled default: builds the tools, generates the sample
# fisheye recording, exports it to a flat four-view MP4 with the converter
# library (no display needed) and shows what kvptool reads from the result.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
mkdir -p out
build/bin/kvp-samplegen out basic
build/bin/kvptool export out/fisheye.mp4 out/fisheye_out.mp4 --layout split4 --quality M
build/bin/kvptool info out/fisheye_out.mp4
