#!/bin/bash
# Export against what a user would otherwise run, FFmpeg's v360 filter, on a
# realistic recording: 20 s of 1920x1920 fisheye at 30 fps with sensor-like
# noise (the noise makes x264 work as hard as on real footage), with the
# export's encoder settings on both sides:
#
#   L 640x384, M 800x480, H 1280x768   one view:  v360 fisheye -> flat,
#                                      100 x 71.1 degrees
#   H4 1280x768                        four 640x384 views: split, four v360
#                                      (yaw/pitch -50/10, 20/30, -15/-35,
#                                      55/-10), xstack
#
# The commands take turns (ours, theirs, ours, theirs, ...), RUNS pairs per
# row; the table gives median wall seconds, the ratio ours / theirs and the
# peak memory of each. With BASELINE=DIR (a kvptool build folder holding an
# earlier kvptool and its libraries) an earlier build's export runs in the
# same turns, for a before / after table from one run.
#
#   bash bench/converter/bench_v360.sh [BUILD_DIR]
# Environment: RUNS (default 3), ROWS (default "L M H H4"), SAMPLE (default
# a fresh one made by make_noisy_fisheye.sh in WORK), WORK (default
# /tmp/kvp-v360-bench), NOISY (the sample maker, default
# ../shared/bench/make_noisy_fisheye.sh beside the repository), BASELINE.
set -euo pipefail
cd "$(dirname "$0")/../.."

BUILD=${1:-build}
RUNS=${RUNS:-3}
ROWS=${ROWS:-"L M H H4"}
WORK=${WORK:-/tmp/kvp-v360-bench}
NOISY=${NOISY:-../shared/bench/make_noisy_fisheye.sh}
SAMPLE=${SAMPLE:-$WORK/noisy_fisheye.mp4}
BASELINE=${BASELINE:-}
X264="-c:v libx264 -preset slow -tune zerolatency -b:v 10485760 -pix_fmt yuv420p"
LENS="input=fisheye:ih_fov=200:iv_fov=200:output=flat"

mkdir -p "$WORK"
if [[ ! -f $SAMPLE ]]; then
    [[ -f $NOISY ]] || { echo "bench_v360: no sample maker at $NOISY (set NOISY or SAMPLE)" >&2; exit 2; }
    sh "$NOISY" "$SAMPLE"
fi
[[ -f $WORK/calib.inf ]] || "$BUILD/bin/kvptool" autocalib "$SAMPLE" "$WORK/calib.inf" >/dev/null

quality_of() { [[ $1 == H4 ]] && echo H || echo "$1"; }
layout_of() { [[ $1 == H4 ]] && echo split4 || echo wide; }
size_of() {
    case $1 in L) echo "640 384" ;; M) echo "800 480" ;; H) echo "1280 768" ;; H4) echo "640 384" ;; esac
}

ours() {  # BIN_DIR ROW
    echo "env LD_LIBRARY_PATH=$1 $1/kvptool export $SAMPLE $WORK/ours.mp4" \
        "--quality $(quality_of "$2") --layout $(layout_of "$2") --calib $WORK/calib.inf"
}

theirs() {  # ROW
    local w h
    read -r w h < <(size_of "$1")
    local ff="ffmpeg -hide_banner -loglevel error -nostdin -y -i $SAMPLE"
    if [[ $1 != H4 ]]; then
        echo "$ff -vf v360=$LENS:h_fov=100:v_fov=71.1:w=$w:h=$h $X264 -c:a copy $WORK/theirs.mp4"
        return
    fi
    local graph="[0:v]split=4[a][b][c][d]" yaws=(-50 20 -15 55) pitches=(10 30 -35 -10) i=0 v
    for v in a b c d; do
        graph+=";[$v]v360=$LENS:h_fov=100:v_fov=71.1:yaw=${yaws[$i]}:pitch=${pitches[$i]}"
        graph+=":w=$w:h=$h[${v}o]"
        i=$((i + 1))
    done
    graph+=";[ao][bo][co][do]xstack=inputs=4:layout=0_0|w0_0|0_h0|w0_h0[v]"
    echo "$ff -filter_complex $graph -map [v] -map 0:a $X264 -c:a copy $WORK/theirs.mp4"
}

# Wall seconds and peak KiB of one run, appended to FILE.
timed() {  # FILE COMMAND...
    local file=$1
    shift
    /usr/bin/time -f "%e %M" -a -o "$file" "$@" >/dev/null 2>&1
}

median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
column_of() { awk -v c="$2" '{print $c}' "$1" | median; }

BIN=$(cd "$BUILD/bin" && pwd)
printf '%-4s %10s %10s %7s %10s %10s' row ours_s v360_s ratio ours_MiB v360_MiB
[[ -n $BASELINE ]] && printf ' %10s %7s %10s' before_s ratio before_MiB
echo
for row in $ROWS; do
    rm -f "$WORK/$row".{ours,theirs,before}
    for ((r = 0; r < RUNS; r++)); do
        # shellcheck disable=SC2046
        timed "$WORK/$row.ours" $(ours "$BIN" "$row")
        # shellcheck disable=SC2046
        timed "$WORK/$row.theirs" $(theirs "$row")
        # shellcheck disable=SC2046
        [[ -z $BASELINE ]] || timed "$WORK/$row.before" $(ours "$BASELINE" "$row")
    done
    o=$(column_of "$WORK/$row.ours" 1) t=$(column_of "$WORK/$row.theirs" 1)
    om=$(column_of "$WORK/$row.ours" 2) tm=$(column_of "$WORK/$row.theirs" 2)
    printf '%-4s %10.2f %10.2f %7.3f %10.0f %10.0f' "$row" "$o" "$t" \
        "$(echo "$o / $t" | bc -l)" "$(echo "$om / 1024" | bc -l)" "$(echo "$tm / 1024" | bc -l)"
    if [[ -n $BASELINE ]]; then
        b=$(column_of "$WORK/$row.before" 1) bm=$(column_of "$WORK/$row.before" 2)
        printf ' %10.2f %7.3f %10.0f' "$b" "$(echo "$b / $t" | bc -l)" "$(echo "$bm / 1024" | bc -l)"
    fi
    echo
done
