#!/bin/bash
# Export speed of a trip against one of its files: CLIPS consecutive
# recordings of CLIP_SECONDS each (1920x1920, 30 fps, H.264 at a recorder's
# 8 Mbit/s with AAC sound, in MPEG-TS named as the recorder names them),
# exported at quality L in one view, once as the first file alone and once
# as the whole trip (kvptool export --trip). Prints the pictures per second
# of each (median of RUNS) and the ratio trip / one file; a trip export
# should lose nothing to the join, so the ratio should be close to 1.
#
#   bash bench/converter/bench_trip.sh [BUILD_DIR]
# Environment: CLIPS (default 10), CLIP_SECONDS (default 60), RUNS (default 1),
# LAYOUT (default wide), QUALITY (default L), WORK (scratch folder, default
# /tmp/kvp-trip-bench; the clips are made once per CLIPS x CLIP_SECONDS).
set -euo pipefail
cd "$(dirname "$0")/../.."

BUILD=${1:-build}
CLIPS=${CLIPS:-10}
SECONDS_PER_CLIP=${CLIP_SECONDS:-60}
RUNS=${RUNS:-1}
LAYOUT=${LAYOUT:-wide}
QUALITY=${QUALITY:-L}
WORK=${WORK:-/tmp/kvp-trip-bench}
TRIP=$WORK/trip_${CLIPS}x${SECONDS_PER_CLIP}
FFMPEG=(ffmpeg -hide_banner -nostdin -loglevel error -y)
TOOL=$BUILD/bin/kvptool

# One clip: a moving test picture with noise (square: it is dewarped like a
# fisheye recording), and a tone; the start of each clip follows the end of
# the one before.
make_clips() {
    mkdir -p "$TRIP"
    local k name start
    for ((k = 0; k < CLIPS; k++)); do
        start=$((15 * 3600 + 30 * 60 + k * SECONDS_PER_CLIP))
        name=$(printf '20241207_%02d%02d%02dA.ts' $((start / 3600)) $((start / 60 % 60)) \
            $((start % 60)))
        [[ -f $TRIP/$name ]] && continue
        "${FFMPEG[@]}" -f lavfi -i "testsrc2=size=1920x1920:rate=30:duration=$SECONDS_PER_CLIP" \
            -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$SECONDS_PER_CLIP" \
            -vf "noise=alls=12:allf=t" \
            -c:v libx264 -preset ultrafast -g 30 -b:v 8M -maxrate 8M -bufsize 8M \
            -pix_fmt yuv420p -c:a aac -b:a 64k \
            -f mpegts "$TRIP/$name.part"
        mv "$TRIP/$name.part" "$TRIP/$name"
    done
}

pictures_in() {
    ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets \
        -of csv=p=0 "$1" | sed -n 1p
}

median() { sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }

# Seconds of one run of kvptool export with the arguments given.
time_export() {
    local t0 t1
    t0=$(date +%s.%N)
    "$TOOL" export "$@" --quality "$QUALITY" --layout "$LAYOUT" --calib "$WORK/trip.inf" \
        >/dev/null
    t1=$(date +%s.%N)
    echo "$t1 - $t0" | bc -l
}

make_clips
FILES=("$TRIP"/*.ts)
FIRST=${FILES[0]}
[[ -f $WORK/trip.inf ]] || "$TOOL" autocalib "$FIRST" "$WORK/trip.inf" >/dev/null
ONE_PICTURES=$(pictures_in "$FIRST")
TRIP_PICTURES=0
for f in "${FILES[@]}"; do TRIP_PICTURES=$((TRIP_PICTURES + $(pictures_in "$f"))); done

one_times=() trip_times=()
for ((r = 0; r < RUNS; r++)); do
    one_times+=("$(time_export "$FIRST" "$WORK/one.mp4")")
    trip_times+=("$(time_export --trip "$TRIP" "$WORK/trip.mp4")")
done
ONE_S=$(printf '%s\n' "${one_times[@]}" | median)
TRIP_S=$(printf '%s\n' "${trip_times[@]}" | median)
ONE_OUT=$(pictures_in "$WORK/one.mp4")
TRIP_OUT=$(pictures_in "$WORK/trip.mp4")

printf 'one file   %6d pictures (%d out) in %8.2f s: %7.2f pictures/s\n' \
    "$ONE_PICTURES" "$ONE_OUT" "$ONE_S" "$(echo "$ONE_OUT / $ONE_S" | bc -l)"
printf 'trip of %2d %6d pictures (%d out) in %8.2f s: %7.2f pictures/s\n' "$CLIPS" \
    "$TRIP_PICTURES" "$TRIP_OUT" "$TRIP_S" "$(echo "$TRIP_OUT / $TRIP_S" | bc -l)"
printf 'ratio trip / one file: %.3f (runs: one %s; trip %s)\n' \
    "$(echo "($TRIP_OUT / $TRIP_S) / ($ONE_OUT / $ONE_S)" | bc -l)" "${one_times[*]}" \
    "${trip_times[*]}"
