#!/bin/bash
# Everything CI runs, the quickest to fail first. Installs the packages,
# then these rounds, each in its own build tree:
#   format         clang-format --dry-run --Werror on every tracked C/C++ file
#   thread-safety  clang's lock analysis over the libraries and programs,
#                  warnings as errors, and the probes that prove it is on
#                  (scripts/thread-safety.sh, build-tsa/)
#   build          the regular build, warnings as errors, and every test
#                  under a virtual X server, sound through SDL's dummy
#                  driver (build/)
#   asan           the same tests with AddressSanitizer and
#                  UndefinedBehaviorSanitizer (build-asan/)
#   tsan           the tests where threads meet (player, playback,
#                  converter, controller, export job) with ThreadSanitizer
#                  (build-tsan/)
#   fuzz           every fuzz target for KVP_FUZZ_SECONDS (20) seconds
#                  (scripts/fuzz.sh, build-fuzz/)
# KVP_ROUNDS="format build" runs only the rounds named; KVP_SKIP_SANITIZE=1
# leaves out asan, tsan and fuzz. A skipped test fails its round
# (KVP_FAIL_ON_SKIP=1, set here unless given): where CI runs, every test
# must be able to run.
set -euo pipefail
cd "$(dirname "$0")/.."

ALL_ROUNDS="format thread-safety build asan tsan fuzz"
if [[ "${KVP_SKIP_SANITIZE:-0}" == 1 ]]; then
    ALL_ROUNDS="format thread-safety build"
fi
ROUNDS=${KVP_ROUNDS:-$ALL_ROUNDS}
for round in $ROUNDS; do
    [[ " $ALL_ROUNDS asan tsan fuzz " == *" $round "* ]] || {
        echo "test.sh: unknown round '$round' (rounds: $ALL_ROUNDS)" >&2
        exit 2
    }
done
wanted() { [[ " $ROUNDS " == *" $1 "* ]]; }

bash scripts/install-deps.sh

export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
export KVP_FAIL_ON_SKIP=${KVP_FAIL_ON_SKIP:-1}
JOBS=${KVP_JOBS:-$(nproc)}

# run_tests BUILD_DIR [ctest arguments...]
run_tests() {
    local dir=$1
    shift
    xvfb-run -a -s "-screen 0 1920x1080x24" \
        ctest --test-dir "$dir" --output-on-failure -j "$JOBS" "$@"
}

# Prints how long each round took, also when one fails.
timings=()
report_timings() { [[ ${#timings[@]} -eq 0 ]] || printf 'test.sh: %s\n' "${timings[@]}"; }
trap report_timings EXIT
# timed ROUND COMMAND...
timed() {
    local round=$1 start=$SECONDS
    shift
    echo "test.sh: round $round"
    "$@"
    timings+=("$(printf '%-14s %4d s' "$round" $((SECONDS - start)))")
}

format_round() {
    git ls-files -z '*.c' '*.cc' '*.cpp' '*.cxx' '*.h' '*.hh' '*.hpp' '*.hxx' '*.inl' |
        xargs -0 --no-run-if-empty clang-format --dry-run --Werror
}

# The optimised trees carry line tables only (-g1): what a sanitizer's
# report or a backtrace names (functions, files, lines) without the
# variables' debug information, which takes a third of their compile time.
LINE_TABLES=(-DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"
             -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG")

# The sanitizer trees read the recordings the build round generated (same
# sources, and the tests only read them) and leave the public headers'
# compile-alone check to it; run without the build round, they generate
# their own.
shared_samples() {
    if wanted build; then
        echo "-DKVP_SAMPLES_FROM=$PWD/build/samples"
    else
        echo "-DKVP_SAMPLES_FROM="
    fi
}

build_round() {
    bash scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVP_WERROR=ON \
        "${LINE_TABLES[@]}"
    run_tests build
}

# The sanitizer trees link with gold, which links them in about half the
# time; the build round links the deliverables with the default linker.
GOLD=(-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=gold -DCMAKE_SHARED_LINKER_FLAGS=-fuse-ld=gold)

asan_round() {
    bash scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DKVP_SANITIZE=ON \
        -DKVP_BUILD_BENCH=OFF -DKVP_HEADER_CHECKS=OFF "$(shared_samples)" "${GOLD[@]}"
    ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0} \
    UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
    LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0} \
        run_tests build-asan
}

# The tests where the player's, the converter's and the controller's
# threads meet (start-up, stop, steps, view changes, queues, the export
# pipeline and job); the pixel and whole-export tests add time, not threads,
# and the frame-step tests time the display, which the sanitizer slows. Only
# the programs that hold them are built (TSAN_PROGRAMS: kvptool and the
# whole-export programs are not). Waits last up to five times longer: the
# sanitizer slows decoding several times over. Two tests that check how
# closely playback keeps time are left out: the sanitizer's own slowness is
# what they would measure.
TSAN_PROGRAMS=(player_tests playback_tests converter_tests converter_core_tests controller_tests
               export_job_tests)
TSAN_SLOW='^LifecycleTest\.(ATsClockBeyondThirtyTwoBitsPlaysInStep|ASeekBeforeTheStartShowsTheStartAtOnce)$'
TSAN_TESTS='^(LifecycleTest|InitTest|ViewEventsTest|StartFailure|AudioOutputTest|PtsQueue|Queue|Prepared|Lifecycle|Pipeline|ControllerTest|ExportJob)\.'
tsan_round() {
    cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${LINE_TABLES[@]}" \
        -DKVP_SANITIZE_THREAD=ON -DKVP_BUILD_BENCH=OFF "$(shared_samples)" "${GOLD[@]}" >/dev/null
    cmake --build build-tsan -j "$JOBS" --target "${TSAN_PROGRAMS[@]}"
    KVP_TEST_WAIT_SCALE=${KVP_TEST_WAIT_SCALE:-5} \
    TSAN_OPTIONS=${TSAN_OPTIONS:-suppressions=$PWD/tests/tsan.supp:second_deadlock_stack=1} \
        run_tests build-tsan -R "$TSAN_TESTS" -E "$TSAN_SLOW"
}

fuzz_round() {
    bash scripts/fuzz.sh "${KVP_FUZZ_SECONDS:-20}"
}

wanted format && timed format format_round
wanted thread-safety && timed thread-safety bash scripts/thread-safety.sh
wanted build && timed build build_round
wanted asan && timed asan asan_round
wanted tsan && timed tsan tsan_round
wanted fuzz && timed fuzz fuzz_round
echo "test.sh: all rounds passed ($ROUNDS)"
