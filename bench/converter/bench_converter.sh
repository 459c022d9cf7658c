#!/bin/bash
# Export speed of the converter against FFmpeg on the 20 s, 1920x1920, 30 fps
# benchmark recording, per quality (L 640x384, M 800x480, H 1280x768):
#
#   export_1 / export_4   kvptool export, one view (wide) and four views (split4)
#   encode_1 / encode_4   ffmpeg encoding already-dewarped raw frames of the
#                         output size with the same x264 settings: the frames
#                         of that export, decoded beforehand into a raw file,
#                         so that only encoding is timed, on the same pictures
#   g12_1 / g12_4         the same with the exact rate control the converter
#                         uses (a key frame every 12, constant-rate buffer)
#   v360_1 / v360_4       what a user would otherwise run: ffmpeg's v360 filter
#                         fisheye -> flat at the output size (four views: split,
#                         four v360 and xstack) plus the same x264 settings. The
#                         views cover what the export's default views cover, seen
#                         from the sphere's centre: one view 20 degrees off the
#                         lens axis, 154 x 110 degrees (draw mode 5); four views 45
#                         degrees off the axis in four directions, 120 x 86
#                         degrees each (draw mode 2), so that both encode
#                         pictures of the same kind
#
# Every command runs RUNS times, the commands taking turns so that a change
# in the machine's load spreads over all of them; the median wall time gives
# frames per second, and the ratios are export / baseline.
#
#   bash bench/converter/bench_converter.sh [BUILD_DIR]
# Environment: RUNS (default 3), QUALITIES (default "L M H"), WORK (scratch
# folder, default /tmp/kvp-converter-bench; the raw frames take about 1.5 GB).
set -euo pipefail
cd "$(dirname "$0")/../.."

BUILD=${1:-build}
RUNS=${RUNS:-3}
QUALITIES=${QUALITIES:-"L M H"}
WORK=${WORK:-/tmp/kvp-converter-bench}
SRC=$BUILD/samples/bench_1920.mp4
X264=(-c:v libx264 -preset slow -tune zerolatency -b:v 10485760)
FFMPEG=(ffmpeg -hide_banner -nostdin -loglevel error -y)
# The lens of the benchmark recording: 200 degrees across the frame.
LENS="input=fisheye:ih_fov=200:iv_fov=200:output=flat"

mkdir -p "$WORK"
[[ -f $SRC ]] || "$BUILD/bin/kvp-samplegen" "$BUILD/samples" bench
[[ -f $WORK/bench.inf ]] || "$BUILD/bin/kvptool" autocalib "$SRC" "$WORK/bench.inf" >/dev/null
FRAMES=$(ffprobe -v error -select_streams v:0 -count_packets \
    -show_entries stream=nb_read_packets -of csv=p=0 "$SRC")

size_of() {
    case $1 in L) echo "640 384" ;; M) echo "800 480" ;; H) echo "1280 768" ;; esac
}

export_command() {  # quality, layout, output
    echo "$BUILD/bin/kvptool export $SRC $3 --quality $1 --layout $2 --calib $WORK/bench.inf"
}

# The dewarped frames of each export, raw, for the encode-only baselines.
prepare_raw() {
    local q=$1 n layout
    for n in 1 4; do
        [[ -f $WORK/raw_${n}_$q.nut ]] && continue
        layout=wide
        [[ $n == 4 ]] && layout=split4
        $(export_command "$q" $layout "$WORK/dewarped.mp4") >/dev/null
        "${FFMPEG[@]}" -i "$WORK/dewarped.mp4" -an -c:v rawvideo -pix_fmt yuv420p -f nut \
            "$WORK/raw_${n}_$q.nut"
    done
}

# The commands of one quality, one per line: NAME<TAB>COMMAND.
commands_for() {
    local q=$1 w h hw hh
    read -r w h < <(size_of "$q")
    hw=$((w / 2)) hh=$((h / 2))
    local x264="${X264[*]}" ff="${FFMPEG[*]}"
    local four="[0:v]split=4[a][b][c][d]" v yaws=(45 -45 0 0) pitches=(0 0 45 -45) i=0
    for v in a b c d; do
        four+=";[$v]v360=$LENS:h_fov=120:v_fov=86:yaw=${yaws[$i]}:pitch=${pitches[$i]}"
        four+=":w=$hw:h=$hh[${v}o]"
        i=$((i + 1))
    done
    four+=";[ao][bo][co][do]xstack=inputs=4:layout=0_0|w0_0|0_h0|w0_h0[v]"
    local g12="-g 12 -minrate 10485760 -maxrate 10485760 -bufsize 10485760"
    printf 'export_1\t%s\n' "$(export_command "$q" wide "$WORK/out_export.mp4")"
    printf 'export_4\t%s\n' "$(export_command "$q" split4 "$WORK/out_export.mp4")"
    for n in 1 4; do
        printf 'encode_%s\t%s\n' $n "$ff -i $WORK/raw_${n}_$q.nut $x264 -f mp4 $WORK/out_encode.mp4"
        printf 'g12_%s\t%s\n' $n "$ff -i $WORK/raw_${n}_$q.nut $x264 $g12 -f mp4 $WORK/out_encode.mp4"
    done
    printf 'v360_1\t%s\n' "$ff -i $SRC -vf v360=$LENS:h_fov=154:v_fov=110:pitch=20:w=$w:h=$h $x264 -c:a copy $WORK/out_v360.mp4"
    printf 'v360_4\t%s\n' "$ff -i $SRC -filter_complex $four -map [v] -map 0:a $x264 -c:a copy $WORK/out_v360.mp4"
}

seconds_of() {  # runs a command line (no shell), prints its wall time
    local start end
    start=$(date +%s.%N)
    read -r -a argv <<<"$1"
    "${argv[@]}" >/dev/null 2>&1 </dev/null
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}

median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg); $FRAMES frames; $RUNS runs each, commands in turn"
for q in $QUALITIES; do
    prepare_raw "$q"
    mapfile -t lines < <(commands_for "$q")
    declare -A times=()
    for ((run = 0; run < RUNS; run++)); do
        for line in "${lines[@]}"; do
            name=${line%%$'\t'*}
            times[$name]+="$(seconds_of "${line#*$'\t'}") "
        done
    done
    declare -A fps=()
    printf '\nquality %s (%s)\n' "$q" "$(size_of "$q" | tr ' ' x)"
    for line in "${lines[@]}"; do
        name=${line%%$'\t'*}
        t=$(tr ' ' '\n' <<<"${times[$name]}" | grep -v '^$' | median)
        fps[$name]=$(echo "$FRAMES / $t" | bc -l)
        printf '  %-11s %7.1f fps  (median %.2f s of: %s)\n' "$name" "${fps[$name]}" "$t" "${times[$name]}"
    done
    ratio() { echo "${fps[$1]} / ${fps[$2]}" | bc -l; }
    printf '  ratios: export_1/encode_1 %.2f  export_4/encode_4 %.2f  export_1/g12_1 %.2f  export_4/g12_4 %.2f\n' \
        "$(ratio export_1 encode_1)" "$(ratio export_4 encode_4)" "$(ratio export_1 g12_1)" "$(ratio export_4 g12_4)"
    printf '          export_1/v360_1 %.2f  export_4/v360_4 %.2f\n' \
        "$(ratio export_1 v360_1)" "$(ratio export_4 v360_4)"
    unset times fps
done
echo
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
