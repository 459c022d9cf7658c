#!/bin/bash
# The conversion dialog's export against `kvptool export` with the same
# settings, taking turns (A B A B ...), on the 20 s, 1920x1920 benchmark
# recording; prints each run and the medians.
#
#   xvfb-run -a bash bench/viewer/export_dialog_bench.sh [BUILD_DIR]
# Environment: RUNS (default 3), QUALITY (default M), LAYOUT (default split4),
# WORK (scratch folder, default /tmp/kvp-export-dialog-bench), SRC (another
# square recording instead of the benchmark recording).
set -euo pipefail
cd "$(dirname "$0")/../.."

BUILD=${1:-build}
RUNS=${RUNS:-3}
QUALITY=${QUALITY:-M}
LAYOUT=${LAYOUT:-split4}
WORK=${WORK:-/tmp/kvp-export-dialog-bench}
SRC=${SRC:-$BUILD/samples/bench_1920.mp4}

mkdir -p "$WORK/program"
[[ -f $SRC ]] || "$BUILD/bin/kvp-samplegen" "$BUILD/samples" bench
cp "$SRC" "$WORK/bench.mp4"
# Both use the same calibration, beside the recording.
[[ -f $WORK/bench.inf ]] || "$BUILD/bin/kvptool" autocalib "$WORK/bench.mp4" "$WORK/bench.inf" >/dev/null
cp "$BUILD"/bin/ovlplug.so "$BUILD"/bin/lumoraui.osd "$WORK/program/" 2>/dev/null || true
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}

dialog=()
tool=()
for ((i = 0; i < RUNS; i++)); do
    rm -f "$WORK/out_dialog.mp4" "$WORK/out_tool.mp4"
    line=$(KVP_PROGRAM_DIR=$WORK/program "$BUILD/bin/kvp-export-dialog-run" \
        "$WORK/bench.mp4" "$WORK/out_dialog.mp4" "$QUALITY" "$LAYOUT" | tail -n 1)
    d=${line%% s,*}
    start=$(date +%s.%N)
    "$BUILD/bin/kvptool" export "$WORK/bench.mp4" "$WORK/out_tool.mp4" --quality "$QUALITY" \
        --layout "$LAYOUT" --calib "$WORK/bench.inf" >/dev/null
    t=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN {printf "%.3f", b - a}')
    echo "run $((i + 1)): dialog $line | kvptool $t s"
    dialog+=("$d")
    tool+=("$t")
done
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
md=$(median "${dialog[@]}")
mt=$(median "${tool[@]}")
echo "median: dialog $md s, kvptool $mt s, dialog / kvptool $(awk -v a="$md" -v b="$mt" 'BEGIN {printf "%.3f", a / b}')"
