#!/bin/bash
# How long KVP takes from its start to the first drawn frame of its window,
# over RUNS cold starts (a fresh settings folder each time), and how much
# CPU it and its map page's processes use while the window stands idle.
#   bash bench/viewer/kvp_startup.sh [BUILD_DIR] [RUNS] [IDLE_SECONDS]
# Without $DISPLAY it runs itself under Xvfb (a 1366x768 screen).
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD_DIR=${1:-build}
RUNS=${2:-10}
IDLE_SECONDS=${3:-10}
KVP=$BUILD_DIR/bin/KVP

if [[ -z "${DISPLAY:-}" ]]; then
    exec xvfb-run -a -s "-screen 0 1366x768x24" bash "$0" "$BUILD_DIR" "$RUNS" "$IDLE_SECONDS"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Starts KVP in the background with a fresh settings folder; sets $pid and
# $log.
start_kvp() {
    local settings
    settings=$(mktemp -d "$work/settings.XXXX")
    log=$settings.log
    KVP_DEBUG=1 KVP_SETTINGS_DIR=$settings "$KVP" 2>"$log" &
    pid=$!
}

now_ns() { date +%s%N; }

times=()
for ((i = 0; i < RUNS; i++)); do
    t0=$(now_ns)
    start_kvp
    until grep -qs "KVP: first frame drawn" "$log"; do
        kill -0 "$pid" 2>/dev/null || { echo "KVP ended: $(cat "$log")" >&2; exit 1; }
        sleep 0.005
    done
    t1=$(now_ns)
    times+=($(((t1 - t0) / 1000000)))
    kill -TERM "$pid"
    wait "$pid"
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "start to first frame (ms) over $RUNS runs: min ${sorted[0]}," \
     "median ${sorted[$((RUNS / 2))]}, max ${sorted[$((RUNS - 1))]}"

# A process and all its descendants.
family() {
    echo "$1"
    local child
    for child in $(pgrep -P "$1" || true); do family "$child"; done
}

# CPU time (clock ticks, user and system) of a process and its descendants.
cpu_ticks() {
    local total=0 p stat
    for p in $(family "$1"); do
        stat=$(sed 's/^.*) //' "/proc/$p/stat" 2>/dev/null) || continue
        total=$((total + $(awk '{ print $12 + $13 }' <<<"$stat")))
    done
    echo "$total"
}

start_kvp
until grep -qs "KVP: first frame drawn" "$log"; do sleep 0.01; done
sleep 3  # let the map page settle
c0=$(cpu_ticks "$pid")
sleep "$IDLE_SECONDS"
c1=$(cpu_ticks "$pid")
hz=$(getconf CLK_TCK)
echo "idle CPU over ${IDLE_SECONDS} s (KVP and its web processes):" \
     "$(awk -v t=$((c1 - c0)) -v hz="$hz" -v s="$IDLE_SECONDS" 'BEGIN { printf "%.2f %%", 100 * t / hz / s }')" \
     "of one core"
kill -TERM "$pid"
wait "$pid"
