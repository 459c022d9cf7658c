#!/bin/bash
# What --overlay costs an export: kvptool export at L, one view, of a
# fisheye recording with and without --overlay time,speed,position, the two
# taking turns RUNS times each so that a change in the machine's load
# spreads over both; prints every wall time, the medians and their ratio.
#
#   bash bench/converter/bench_overlay.sh RECORDING.mp4 [BUILD_DIR]
#
# The recording needs a GPS track: when it has none, one is written as its
# side file (RECORDING's folder must end in 'A'; the track goes into the
# sibling folder ending in 'G'), a fix every second. Environment: RUNS
# (default 5), WORK (scratch folder, default /tmp/kvp-overlay-bench).
set -euo pipefail
SRC=${1:?usage: bench_overlay.sh RECORDING.mp4 [BUILD_DIR]}
BUILD=${2:-$(dirname "$0")/../../build}
RUNS=${RUNS:-5}
WORK=${WORK:-/tmp/kvp-overlay-bench}
TOOL=$BUILD/bin/kvptool
mkdir -p "$WORK"

if ! "$TOOL" gps "$SRC" 2>/dev/null | grep -q '"hour"'; then
    dir=$(dirname "$SRC")
    [[ $dir == *A ]] || { echo "no GPS track and the folder does not end in A" >&2; exit 1; }
    mkdir -p "${dir%A}G"
    name=$(basename "${SRC%.*}")
    # 120-byte records: time, 'A', latitude N, longitude E, speed, date.
    python3 - "${dir%A}G/$name.gps" <<'PY'
import struct, sys
with open(sys.argv[1], "wb") as f:
    for s in range(3600):
        r = bytearray(120)
        struct.pack_into("<iii", r, 0, 15 + (30 * 60 + s) // 3600, (30 + s // 60) % 60, s % 60)
        r[12] = ord("A")
        struct.pack_into("<d", r, 16, 22.54 + s / 10000); r[24] = ord("N")
        struct.pack_into("<d", r, 32, 114.05 + s / 5000); r[40] = ord("E")
        struct.pack_into("<d", r, 48, 10 + s / 10)
        struct.pack_into("<iii", r, 64, 2024, 12, 7)
        f.write(r)
PY
fi
[[ -f $WORK/lens.inf ]] || "$TOOL" autocalib "$SRC" "$WORK/lens.inf" >/dev/null

run() {  # output, options...
    local out=$1 start end
    shift
    start=$(date +%s.%N)
    "$TOOL" export "$SRC" "$out" --quality L --layout wide --calib "$WORK/lens.inf" "$@" >/dev/null
    end=$(date +%s.%N)
    echo "$end - $start" | bc
}

plain=() overlay=()
for ((i = 0; i < RUNS; ++i)); do
    plain+=("$(run "$WORK/plain.mp4")")
    overlay+=("$(run "$WORK/overlay.mp4" --overlay time,speed,position)")
    echo "run $i: plain ${plain[-1]} s, overlay ${overlay[-1]} s"
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
mp=$(median "${plain[@]}")
mo=$(median "${overlay[@]}")
echo "median plain $mp s, overlay $mo s, overlay / plain $(echo "scale=4; $mo / $mp" | bc)"
