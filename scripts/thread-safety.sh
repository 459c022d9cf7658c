#!/bin/bash
# clang's thread-safety analysis (-Wthread-safety -Wthread-safety-beta)
# over every library and program of the project, tests and benchmarks left
# out, with warnings as errors, in build-tsa/ (unoptimised, no debug
# information: only the diagnostics count). Then the proof that the
# analysis is on: the probes of cmake/ThreadSafetyProbes.cmake that take
# two player mutexes out of order or write a guarded field without its lock
# must fail to compile, with the analysis' warning.
#   scripts/thread-safety.sh
set -euo pipefail
cd "$(dirname "$0")/.."

CC=clang CXX=clang++ cmake -S . -B build-tsa -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_FLAGS_DEBUG=-O0 -DCMAKE_CXX_FLAGS_DEBUG=-O0 \
    -DKVP_THREAD_SAFETY=ON -DKVP_WERROR=ON -DKVP_BUILD_TESTS=OFF -DKVP_BUILD_BENCH=OFF \
    -DKVP_HEADER_CHECKS=OFF >/dev/null
cmake --build build-tsa -j "${KVP_JOBS:-$(nproc)}"

# Each probe target, then what the analysis must say about it.
probes=(kvp_lock_probe_wrong_order "must be acquired before"
        kvp_lock_probe_unguarded "requires holding mutex")
for ((i = 0; i < ${#probes[@]}; i += 2)); do
    probe=${probes[i]} diagnostic=${probes[i + 1]}
    if output=$(cmake --build build-tsa --target "$probe" 2>&1); then
        echo "thread-safety.sh: $probe compiled: the analysis is off" >&2
        exit 1
    fi
    if ! grep -q -- "$diagnostic.*\[-Werror,-Wthread-safety" <<<"$output"; then
        echo "$output" >&2
        echo "thread-safety.sh: $probe failed, but not with \"$diagnostic\"" >&2
        exit 1
    fi
done
echo "thread-safety.sh: clean, and the probes that break the locking fail to compile"
