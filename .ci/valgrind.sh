#!/usr/bin/env bash
# Memory: runs every Tcl test file under valgrind's memcheck, against a Debug
# build without sanitizers. Invalid reads or writes, uses of uninitialised
# values and definite leaks fail the step; Tcl's own allocations are
# suppressed by tests/valgrind.supp. The chart test (an X server) is skipped,
# and the thread test runs with fewer rounds.
set -euo pipefail
cd "$(dirname "$0")/.."

. .ci/lib.sh
install_packages cmake g++ make tcl8.6 tcl8.6-dev valgrind tcl-thread

start=$SECONDS
cmake -S . -B build-valgrind -DCMAKE_BUILD_TYPE=Debug -DZOLV_BUILD_TESTS=OFF >/dev/null
cmake --build build-valgrind -j2 --target zolv
echo "valgrind: built in $((SECONDS - start)) s"

build=$PWD/build-valgrind
export TCLLIBPATH=$build
export ZOLV_LIBRARY=$build/libzolv0.1.so
export ZOLV_THREAD_ROUNDS=15
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

# One test file in its own tclsh under valgrind. Children that run the package
# (a script started by a test) are followed; build tools are not.
run_file() {
    local file=$1 name
    name=$(basename "$file" .test)
    local status=0
    valgrind --tool=memcheck --error-exitcode=1 --leak-check=full \
        --errors-for-leak-kinds=definite --suppressions=tests/valgrind.supp --num-callers=40 \
        --trace-children=yes \
        --trace-children-skip='*/cmake,*/ctest,*/make,*/sh,*/bash,*/env,*/xvfb-run,*/Xvfb' \
        --log-file="$logs/$name.%p.valgrind" \
        tclsh tests/all.tcl -file "$(basename "$file")" -singleproc 1 \
        >"$logs/$name.out" 2>&1 || status=$?
    echo "$status" >"$logs/$name.status"
}

files=()
for f in tests/*.test; do
    case $(basename "$f") in
        chart.test) ;;  # needs an X server; its package calls are covered by report.test
        *) files+=("$f") ;;
    esac
done

# Two files at a time.
running=0
for f in "${files[@]}"; do
    run_file "$f" &
    running=$((running + 1))
    if [ $running -ge 2 ]; then
        wait -n
        running=$((running - 1))
    fi
done
wait

failed=0
for f in "${files[@]}"; do
    name=$(basename "$f" .test)
    status=$(cat "$logs/$name.status")
    errors=$(cat "$logs/$name".*.valgrind | grep -c 'ERROR SUMMARY: [1-9]' || true)
    summary=$(grep -h 'Total' "$logs/$name.out" | tail -n 1)
    echo "valgrind: $name: exit $status, processes with errors: $errors; $summary"
    if [ "$status" -ne 0 ] || [ "$errors" -ne 0 ] ||
        grep -q 'Failed[[:space:]]*[1-9]' "$logs/$name.out"; then
        failed=1
        cat "$logs/$name.out" >&2
        cat "$logs/$name".*.valgrind >&2
    fi
done
echo "valgrind: done in $((SECONDS - start)) s"
exit $failed
