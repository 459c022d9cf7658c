#!/bin/bash
# Builds the libFuzzer targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz/ and runs each for a given time,
# one process each, one after the other.
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
# SECONDS_PER_TARGET defaults to 600; the targets default to all of them.
# New inputs go to build-fuzz/corpus/TARGET; the committed seeds in
# fuzz/corpus/ are only read. A crash, hang (10 s), allocation over 256 MiB
# or sanitizer report stops the run with a non-zero exit and leaves the
# input in build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
FUZZ_PACKAGES=(clang libclang-rt-dev)  # the compiler and its libFuzzer runtime
missing=()
for pkg in "${FUZZ_PACKAGES[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
done
if [[ ${#missing[@]} -gt 0 ]]; then
    SUDO=
    [[ $(id -u) -eq 0 ]] || SUDO="sudo -n"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

SECONDS_PER_TARGET=${1:-600}
shift || true
TARGETS=("$@")
[[ ${#TARGETS[@]} -gt 0 ]] || TARGETS=(fuzz_gps_mp4 fuzz_gps_ts)

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKVP_BUILD_FUZZ=ON -DKVP_SANITIZE=ON -DKVP_BUILD_TESTS=OFF -DKVP_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j "${KVP_JOBS:-2}" --target "${TARGETS[@]}"

declare -A CORPUS=([fuzz_gps_mp4]=mp4 [fuzz_gps_ts]=ts)
declare -A MAX_LEN=([fuzz_gps_mp4]=16384 [fuzz_gps_ts]=65536)  # TS: past two 24,064-byte blocks
mkdir -p build-fuzz/artifacts
for target in "${TARGETS[@]}"; do
    kind=${CORPUS[$target]}
    mkdir -p "build-fuzz/corpus/$target"
    echo "fuzz.sh: running $target for $SECONDS_PER_TARGET s"
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ASAN_OPTIONS=detect_leaks=1 \
        "build-fuzz/bin/$target" -max_total_time="$SECONDS_PER_TARGET" -timeout=10 \
        -rss_limit_mb=2048 -malloc_limit_mb=256 -max_len="${MAX_LEN[$target]}" \
        -dict="fuzz/gps_$kind.dict" -artifact_prefix=build-fuzz/artifacts/ -print_final_stats=1 \
        "build-fuzz/corpus/$target" "fuzz/corpus/$kind"
done
echo "fuzz.sh: no crash, hang or sanitizer report"
