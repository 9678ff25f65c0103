#!/usr/bin/env bash
# Builds the benchmarks in Release, runs the engine and the command benchmarks,
# and prints one table of the ratios the package is held to.
#
# Usage: bench/run.sh [--no-build] [--repetitions N] [--runs N] [BUILD_DIR]
#   BUILD_DIR defaults to build-bench in the repository. --no-build uses it as
#   it is (the `bench` target passes this). The engine benchmarks repeat N times
#   (default 3) and the best counts; the command loops take the best of --runs.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")

build_dir="$repo/build-bench"
do_build=1
repetitions=3
runs=5
while [[ $# -gt 0 ]]; do
    case "$1" in
        --no-build) do_build=0 ;;
        --repetitions) repetitions=$2; shift ;;
        --runs) runs=$2; shift ;;
        -h|--help) sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        -*) echo "run.sh: unknown option $1" >&2; exit 2 ;;
        *) build_dir=$1 ;;
    esac
    shift
done
mkdir -p "$build_dir"
build_dir=$(cd "$build_dir" && pwd)

if [[ $do_build -eq 1 ]]; then
    cmake -S "$repo" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DZOLV_BUILD_BENCH=ON \
        -DZOLV_BUILD_TESTS=OFF >/dev/null
    cmake --build "$build_dir" -j2 --target zolv engine_bench zolvnoop
fi

if [[ ! -x "$build_dir/bench/engine_bench" || ! -f "$build_dir/bench/libzolvnoop.so" ]]; then
    echo "run.sh: no benchmarks built in $build_dir (drop --no-build to build them)" >&2
    exit 1
fi
tclsh=$(command -v tclsh8.6 || command -v tclsh)
results="$build_dir/bench-results"
mkdir -p "$results"

echo "== engine (load average: $(cut -d' ' -f1-3 /proc/loadavg))"
# Repetitions run in random order, so that a burst of load elsewhere does not
# hit every repetition of one benchmark.
"$build_dir/bench/engine_bench" --benchmark_repetitions="$repetitions" \
    --benchmark_enable_random_interleaving=true --benchmark_min_time=0.2 \
    --benchmark_out="$results/engine.json" --benchmark_out_format=json

echo
echo "== commands (load average: $(cut -d' ' -f1-3 /proc/loadavg))"
TCLLIBPATH="$build_dir" "$tclsh" "$here/commands.tcl" "$build_dir/bench/libzolvnoop.so" \
    -runs "$runs" -out "$results/commands.tsv"

echo
python3 "$here/ratios.py" "$results/engine.json" "$results/commands.tsv" |
    tee "$results/ratios.txt"
