#!/bin/bash
# The main job on the bundled default: builds the tools, generates the sample
# fisheye recording and shows what kvptool reads from it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
mkdir -p out
build/bin/kvp-samplegen out basic
build/bin/kvptool info out/fisheye.mp4
