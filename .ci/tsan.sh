#!/usr/bin/env bash
# Thread sanitizer: the binding tests that work the process-wide tables (live
# registry, ownership set, type registry, constant index) and whole
# interpreters from eight threads, the engine tests whose whole-series calls
# split over worker threads (and are stopped while they work), and the
# remembered averages and states filled by concurrent readers, in a Debug
# build instrumented for races.
# Any report fails the step.
set -euo pipefail
cd "$(dirname "$0")/.."

. .ci/lib.sh
install_packages cmake g++ make tcl8.6 tcl8.6-dev libgtest-dev

start=$SECONDS
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=thread -DZOLV_BUILD_TESTS=ON >/dev/null
cmake --build build-tsan -j2 --target binding_tests engine_tests

export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 exitcode=66"
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# Runs a test program; on kernels whose address-space randomisation leaves the
# sanitizer no room it retries once with randomisation turned off.
run_tests() {
    local status=0 program=$1
    shift
    "$program" "$@" >"$log" 2>&1 || status=$?
    if [ $status -ne 0 ] && grep -q 'unexpected memory mapping' "$log"; then
        status=0
        setarch "$(uname -m)" -R "$program" "$@" >"$log" 2>&1 || status=$?
    fi
    cat "$log"
    if grep -q 'WARNING: ThreadSanitizer' "$log"; then
        echo "tsan: ThreadSanitizer reported a problem" >&2
        return 1
    fi
    return $status
}

echo "-- threads"
run_tests ./build-tsan/binding_tests --gtest_filter='Threads*'
echo "-- all binding tests"
run_tests ./build-tsan/binding_tests
echo "-- whole series on worker threads, stopped while they work; remembered averages and states filled by readers in parallel"
run_tests ./build-tsan/engine_tests --gtest_filter='SeriesPaths*:*SeriesStop*:OperationMemory*:OperationForms.LinesSplitOverThreads*:Stream.RememberedAverages*'
echo "tsan: clean in $((SECONDS - start)) s"
