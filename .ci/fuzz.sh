#!/usr/bin/env bash
# Fuzzing: builds the libFuzzer targets with clang and the address and
# undefined-behaviour sanitizers, runs each one for FUZZ_SECONDS (default 60)
# on a copy of its seed corpus, and prints how many inputs each one ran. A
# crash, a sanitizer report or a failed check fails the step; the input that
# caused it is kept in build-fuzz/artifacts.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}

. .ci/lib.sh
install_packages cmake make tcl8.6 tcl8.6-dev
command -v clang >/dev/null && command -v clang++ >/dev/null || install_packages clang
# The fuzzer runtime comes in a package of its own.
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' \
    >"$probe/probe.cpp"
if ! clang++ -fsanitize=fuzzer,address "$probe/probe.cpp" -o "$probe/probe" 2>/dev/null; then
    install_packages libclang-rt-14-dev
fi

start=$SECONDS
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug -DZOLV_BUILD_FUZZ=ON \
    -DZOLV_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz -j2 --target fuzz
echo "fuzz: built in $((SECONDS - start)) s"

artifacts=$PWD/build-fuzz/artifacts
mkdir -p "$artifacts"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
failed=0
for target in fuzz_parse_args fuzz_pointer fuzz_values fuzz_commands fuzz_csv; do
    work="$probe/$target"
    mkdir -p "$work"
    cp -r "fuzz/corpus/$target/." "$work/"
    status=0
    # Standard output is closed: the parser prints a line for every unknown constant name.
    "build-fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=10 -close_fd_mask=1 \
        -print_final_stats=1 -artifact_prefix="$artifacts/$target-" "$work" \
        >"$work.log" 2>&1 || status=$?
    runs=$(grep -a 'stat::number_of_executed_units' "$work.log" | awk '{print $2}')
    echo "fuzz: $target: ${runs:-0} executions in $seconds s"
    if [ $status -ne 0 ] || grep -aqE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|zolv fuzz check failed' "$work.log"; then
        echo "fuzz: $target FAILED (exit $status); its log ends:" >&2
        tail -n 60 "$work.log" >&2
        failed=1
    fi
done
echo "fuzz: done in $((SECONDS - start)) s"
exit $failed
