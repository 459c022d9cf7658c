#!/bin/bash
# The main job: builds everything, generates the sample recordings and opens
# the viewer KVP playing the fisheye sample. On a desktop ($DISPLAY set) the
# window stays until you close it; without a display KVP plays for a few
# seconds under Xvfb and a screenshot is saved as out/kvp.png. Then the
# headless export: the sample to a flat four-view MP4 with the converter
# library, and what kvptool reads from the result.
#   bash scripts/demo.sh            KVP_DEMO_SECONDS=6 bash scripts/demo.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
mkdir -p out
build/bin/kvp-samplegen out basic demo

if [[ -n "${DISPLAY:-}" && -z "${KVP_DEMO_HEADLESS:-}" ]]; then
    echo "demo: KVP plays out/demo_fisheye.mp4; close its window to go on"
    build/bin/KVP out/demo_fisheye.mp4
else
    # Under a virtual screen: play, take a picture of the screen once the
    # file has played for KVP_DEMO_SECONDS, close.
    export KVP_DEMO_SECONDS=${KVP_DEMO_SECONDS:-2}
    xvfb-run -a -s "-screen 0 1366x768x24" bash -c '
        set -euo pipefail
        settings=$(mktemp -d)
        # Play mode "single circle" (KVP.cfg: mode 2, no last entry): the
        # sample plays on until the picture is taken.
        printf "\x02\x00\x00\x00\xff\xff\xff\xff" >"$settings/KVP.cfg"
        KVP_DEBUG=1 KVP_SETTINGS_DIR=$settings SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy} \
            build/bin/KVP out/demo_fisheye.mp4 2>"$settings/kvp.log" &
        pid=$!
        for ((i = 0; i < 600; i++)); do
            grep -qs "KVP: file opened" "$settings/kvp.log" && break
            sleep 0.1
        done
        sleep "$KVP_DEMO_SECONDS"
        ffmpeg -hide_banner -loglevel error -y -f x11grab -video_size 1366x768 \
            -i "$DISPLAY" -frames:v 1 out/kvp.png
        kill -TERM "$pid"
        wait "$pid"'
    echo "demo: KVP played out/demo_fisheye.mp4; its screen is in out/kvp.png"
fi

build/bin/kvptool export out/fisheye.mp4 out/fisheye_out.mp4 --layout split4 --quality M
build/bin/kvptool info out/fisheye_out.mp4
