#!/bin/sh
# The whole line of each operation that TA-Lib also has, against TA-Lib (and Tulip Indicators
# where it has the function), on 1,000,000 generated bars, interleaved in one run.
#
#   bench/peers.sh DIR [RUNS]
#
# DIR is a peer build (bash ../shared/peers/build.sh DIR: peerdump and the bars generator).
# Builds this checkout's peer_lines in Release (build-peers), then for every row runs the
# peers and zolv RUNS times each, one process per run (one untimed call, one timed), zolv with
# its default worker threads and with ZOLV_THREADS=1, and prints the median ns per bar and
# zolv's ratios to TA-Lib. The last line counts the rows at or below TA-Lib with default
# threads and within 1.5x on one thread.
set -eu

[ $# -ge 1 ] || { echo "usage: $0 DIR [RUNS]" >&2; exit 2; }
ROOT=$(cd "$(dirname "$0")/.." && pwd)
DIR=$(cd "$1" && pwd)
RUNS=${2:-5}
PD="$DIR/peerdump"
[ -x "$PD" ] || { echo "no $PD: run ../shared/peers/build.sh $DIR first" >&2; exit 1; }
BARS="$DIR/walk1m.csv"
if [ ! -f "$BARS" ]; then
    python3 "$ROOT/../shared/peers/gen_bars.py" walk 1000000 3 > "$BARS"
fi
B="$ROOT/build-peers"
cmake -S "$ROOT" -B "$B" -DCMAKE_BUILD_TYPE=Release -DZOLV_BUILD_TESTS=OFF \
    -DZOLV_BUILD_BENCH=ON >/dev/null
cmake --build "$B" -j2 --target peer_lines >/dev/null
ZL="$B/bench/peer_lines"
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT

median() { sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

met=0 met1=0 total=0 worst= worstr=0 worst1= worstr1=0
# row "TA-Lib entry and parameters" "Tulip entry and parameters, or -" zolv words...
row() {
    ta=$1 ti=$2
    shift 2
    : > "$T/ta"; : > "$T/ti"; : > "$T/z"; : > "$T/z1"
    i=0
    while [ "$i" -lt "$RUNS" ]; do
        # shellcheck disable=SC2086
        "$PD" bench "$BARS" ta $ta | awk '{print $NF}' >> "$T/ta"
        # shellcheck disable=SC2086
        [ "$ti" = - ] || "$PD" bench "$BARS" ti $ti | awk '{print $NF}' >> "$T/ti"
        "$ZL" "$BARS" "$@" | awk '{print $NF}' >> "$T/z"
        ZOLV_THREADS=1 "$ZL" "$BARS" "$@" | awk '{print $NF}' >> "$T/z1"
        i=$((i + 1))
    done
    a=$(median < "$T/ta"); z=$(median < "$T/z"); z1=$(median < "$T/z1")
    b=-
    [ "$ti" = - ] || b=$(median < "$T/ti")
    r=$(awk -v a="$a" -v z="$z" 'BEGIN {printf "%.2f", z / a}')
    r1=$(awk -v a="$a" -v z="$z1" 'BEGIN {printf "%.2f", z / a}')
    echo "| $* | $ta | $a | $b | $z | $r | $z1 | $r1 |"
    total=$((total + 1))
    if awk -v r="$r" 'BEGIN {exit !(r <= 1.0)}'; then met=$((met + 1)); fi
    if awk -v r="$r1" 'BEGIN {exit !(r <= 1.5)}'; then met1=$((met1 + 1)); fi
    if awk -v r="$r" -v w="$worstr" 'BEGIN {exit !(r > w)}'; then worst=$1 worstr=$r; fi
    if awk -v r="$r1" -v w="$worstr1" 'BEGIN {exit !(r > w)}'; then worst1=$1 worstr1=$r1; fi
}

echo "CPU: $(lscpu | sed -n 's/^Model name: *//p' | head -n 1), $(nproc) cpus, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "bars: $(($(wc -l < "$BARS") - 1)); median of $RUNS processes each, interleaved"
echo
echo "| zolv::series | TA-Lib | TA-Lib ns/bar | Tulip ns/bar | zolv ns/bar | zolv / TA-Lib | zolv, 1 thread | 1 thread / TA-Lib |"
echo "|---|---|---|---|---|---|---|---|"
row "rsi 14" "rsi 14" rsi_wilder c 14
row "atr 14" "atr 14" atr 14
row "natr 14" "natr 14" natr 14
row "adx 14" "adx 14" adx 14
row "macd 12 26 9" "macd 12 26 9" macd_ema c 12 26 9
row "bbands_raw 20" "bbands_raw 20" bbands c 20 2
row "bbands_raw 20" "bbands_raw 20" bollingerband c 20
row "obv" "obv" obv
row "ad" "ad" ad
row "adosc 3 10" "adosc 3 10" adosc 3 10
row "sar 20 200" "psar 20 200" sar 0.02 0.2
row "wma 20" "wma 20" wma c 20
row "dema 20" "dema 20" dema c 20
row "tema 20" "tema 20" tema c 20
row "trima 20" "trima 20" trima c 20
row "kama 10" "kama 10" kama c 10
row "t3 5 700" "-" t3 c 5 0.7
row "trix 15" "trix 15" trix c 15
row "aroon 14" "aroon 14" aroon 14
row "cmo 14" "cmo 14" cmo c 14
row "stochrsi 14 14 3" "-" stochrsi c 14 14 1 3
row "ppo 12 26" "ppo 12 26" ppo c 12 26
row "apo 12 26" "apo 12 26" apo c 12 26
row "linearreg 14" "linreg 14" linreg c 14
row "linearreg_slope 14" "linregslope 14" linreg_slope c 14
row "linearreg_intercept 14" "linregintercept 14" linreg_intercept c 14
row "tsf 14" "tsf 14" tsf c 14
row "midpoint 14" "-" midpoint c 14
row "midprice 14" "-" midprice 14
echo
echo "lines vs TA-Lib: $met/$total at or below it (worst $worst $worstr); one thread: $met1/$total within 1.5x (worst $worst1 $worstr1)"
