#!/bin/bash
# Everything CI runs: installs the packages, builds the project, runs every
# test (under a virtual X server, sound through SDL's dummy driver), then
# builds and runs the same tests again with AddressSanitizer and
# UndefinedBehaviorSanitizer. KVP_SKIP_SANITIZE=1 skips the second round.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
run_tests() {
    xvfb-run -a -s "-screen 0 1920x1080x24" \
        ctest --test-dir "$1" --output-on-failure -j "${KVP_JOBS:-$(nproc)}"
}

bash scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_tests build

if [[ "${KVP_SKIP_SANITIZE:-0}" != 1 ]]; then
    bash scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DKVP_SANITIZE=ON \
        -DKVP_BUILD_BENCH=OFF
    ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0} \
    UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
    LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0} \
        run_tests build-asan
fi
echo "test.sh: all tests passed"
