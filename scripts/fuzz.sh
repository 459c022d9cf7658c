#!/bin/bash
# Builds the libFuzzer targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz/ and runs each for a given time,
# one process each, as many at once as there are cores (KVP_JOBS).
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
# SECONDS_PER_TARGET defaults to 600; the targets default to every
# fuzz/fuzz_*.cpp. Target fuzz_NAME starts from the committed seeds in
# fuzz/corpus/NAME/ (only read), with the dictionary fuzz/NAME.dict when
# there is one and the libFuzzer flags of fuzz/NAME.options (one a line,
# '#' starts a comment). New inputs go to build-fuzz/corpus/fuzz_NAME/, the
# output to build-fuzz/logs/fuzz_NAME.log. A crash, hang (10 s),
# allocation over 256 MiB or sanitizer report stops the run with a non-zero
# exit and leaves the input in build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

SECONDS_PER_TARGET=${1:-600}
shift || true
TARGETS=("$@")
if [[ ${#TARGETS[@]} -eq 0 ]]; then
    for source in fuzz/fuzz_*.cpp; do
        TARGETS+=("$(basename "$source" .cpp)")
    done
fi

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKVP_BUILD_FUZZ=ON -DKVP_SANITIZE=ON -DKVP_BUILD_TESTS=OFF -DKVP_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j "${KVP_JOBS:-$(nproc)}" --target "${TARGETS[@]}"

# The libFuzzer flags of fuzz/NAME.options, and fuzz/NAME.dict unless they
# name a dictionary.
target_flags() {
    local name=$1 flags=()
    if [[ -f "fuzz/$name.options" ]]; then
        mapfile -t flags < <(sed -e 's/#.*//' -e '/^[[:space:]]*$/d' "fuzz/$name.options")
    fi
    if [[ -f "fuzz/$name.dict" && " ${flags[*]} " != *" -dict="* ]]; then
        flags+=("-dict=fuzz/$name.dict")
    fi
    [[ ${#flags[@]} -eq 0 ]] || printf '%s\n' "${flags[@]}"
}

mkdir -p build-fuzz/artifacts build-fuzz/logs

# One target for its time; its output goes to its log.
run_target() {
    local target=$1 name=${1#fuzz_} flags
    mapfile -t flags < <(target_flags "$name")
    mkdir -p "build-fuzz/corpus/$target"
    echo "fuzz.sh: running $target for $SECONDS_PER_TARGET s (${flags[*]})"
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ASAN_OPTIONS=detect_leaks=1 \
        "build-fuzz/bin/$target" -max_total_time="$SECONDS_PER_TARGET" -timeout=10 \
        -rss_limit_mb=2048 -malloc_limit_mb=256 "${flags[@]}" \
        -artifact_prefix=build-fuzz/artifacts/ -print_final_stats=1 \
        "build-fuzz/corpus/$target" "fuzz/corpus/$name" >"build-fuzz/logs/$target.log" 2>&1
    echo $? >"build-fuzz/logs/$target.rc"
}

for target in "${TARGETS[@]}"; do
    [[ -d "fuzz/corpus/${target#fuzz_}" ]] || { echo "fuzz.sh: no seeds in fuzz/corpus/${target#fuzz_}" >&2; exit 1; }
done
# As many targets at once as there are cores: each is one process.
JOBS=${KVP_JOBS:-$(nproc)}
for target in "${TARGETS[@]}"; do
    rm -f "build-fuzz/logs/$target.rc"
    while (($(jobs -rp | wc -l) >= JOBS)); do wait -n || true; done
    (set +e; run_target "$target") &
done
wait
failed=()
for target in "${TARGETS[@]}"; do
    [[ "$(cat "build-fuzz/logs/$target.rc" 2>/dev/null)" == 0 ]] || failed+=("$target")
done
for target in "${failed[@]}"; do
    tail -n 60 "build-fuzz/logs/$target.log"
    echo "fuzz.sh: $target found a fault; the input is in build-fuzz/artifacts/" >&2
done
[[ ${#failed[@]} -eq 0 ]] || exit 1

summary=()
for target in "${TARGETS[@]}"; do
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "build-fuzz/logs/$target.log")
    summary+=("$target: ${runs:-?} inputs in $SECONDS_PER_TARGET s")
done
printf 'fuzz.sh: %s\n' "${summary[@]}"
echo "fuzz.sh: no crash, hang or sanitizer report"
