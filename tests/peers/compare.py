#!/usr/bin/env python3
"""Differential test of the operations against TA-Lib and Tulip Indicators.

Every operation's whole line (zolv::series through tclsh) is compared with a peer's values
(`peerdump dump`; TA-Lib, and Tulip for cmo, hma and vwma) at every bar the peer defines, on
generated bars (gen_bars.py walk and plateau) and on the bundled sample: values must agree within 1e-9 relative, and the first bar
with a value must be the peer's. Bars where the definitions differ on purpose (a zero
denominator rule) are skipped and counted. bbands and macd_ema are also checked against small
exact models written here (Python integers and the defined double operations), to the bit:
macd_ema's line against TA-Lib's two EMAs, its signal (an EMA seeded with the mean of the first
values, which TA-Lib's MACD does not compute) against the model alone.
Prints, per operation, the values compared and how many are bit-identical; exits 1 on any
mismatch.

    tests/peers/compare.py --peers DIR --build BUILD [--shared SCRIPTS] [--tclsh TCLSH]

DIR holds a peer build (`bash SCRIPTS/build.sh DIR`), BUILD a zolv build tree, SCRIPTS the
shared peer scripts (gen_bars.py; default: ../shared/peers beside the checkout).
"""
import argparse
import math
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
SAMPLE = os.path.join(ROOT, "data", "msft-daily-2000-2001.csv")

# (zolv operation and words, peer entry and parameters, peer column of each part (None: not
# compared by this case), skip rule). Skip rules name bars where a documented rule differs from TA-Lib's.
CASES = [
    ("rsi_wilder c 14", "ta rsi 14", ["rsi"], "rsi_flat"),
    ("rsi_wilder c 2", "ta rsi 2", ["rsi"], "rsi_flat"),
    ("rsi_wilder c 30", "ta rsi 30", ["rsi"], "rsi_flat"),
    ("atr 1", "ta atr 1", ["atr"], None),
    ("atr 14", "ta atr 14", ["atr"], None),
    ("atr 30", "ta atr 30", ["atr"], None),
    ("natr 14", "ta natr 14", ["natr"], "zero_close"),
    ("natr 5", "ta natr 5", ["natr"], "zero_close"),
    ("adx 14", "ta dmi 14", ["plus_di", "minus_di", "adx"], None),
    ("adx 2", "ta dmi 2", ["plus_di", "minus_di", "adx"], None),
    ("adx 30", "ta dmi 30", ["plus_di", "minus_di", "adx"], None),
    ("macd_ema c 12 26 9", "ta macd_ema 12 26 9", ["macd", None, None], None),
    # fast and slow swapped where slow < fast, as MACD does
    ("macd_ema c 26 12 9", "ta macd_ema 12 26 9", ["macd", None, None], None),
    ("macd_ema c 3 5 2", "ta macd_ema 3 5 2", ["macd", None, None], None),
    ("bbands c 20 2", "ta bbands 20", ["upper2", "middle", "lower2"], None),
    ("bbands c 20 1", "ta bbands 20", ["upper1", "middle", "lower1"], None),
    ("bbands c 5 3", "ta bbands 5", ["upper3", "middle", "lower3"], None),
    ("obv", "ta obv", ["obv"], None),
    ("ad", "ta ad", ["ad"], None),
    ("adosc 3 10", "ta adosc 3 10", ["adosc"], None),
    ("adosc 10 3", "ta adosc 10 3", ["adosc"], None),
    ("sar 0.02 0.2", "ta sar 20 200", ["sar"], None),
    ("sar 0.05 0.03", "ta sar 50 30", ["sar"], None),
    ("dema c 10", "ta dema 10", ["dema"], None),
    ("dema c 2", "ta dema 2", ["dema"], None),
    ("dema c 30", "ta dema 30", ["dema"], None),
    ("tema c 10", "ta tema 10", ["tema"], None),
    ("tema c 2", "ta tema 2", ["tema"], None),
    ("tema c 30", "ta tema 30", ["tema"], None),
    ("trix c 15", "ta trix 15", ["trix"], None),
    ("trix c 2", "ta trix 2", ["trix"], None),
    ("trix c 30", "ta trix 30", ["trix"], None),
    ("t3 c 5 0.7", "ta t3 5 700", ["t3"], None),
    ("t3 c 2 0.001", "ta t3 2 1", ["t3"], None),
    ("t3 c 10 1", "ta t3 10 1000", ["t3"], None),
    ("kama c 10", "ta kama 10", ["kama"], None),
    ("kama c 2", "ta kama 2", ["kama"], None),
    ("kama c 30", "ta kama 30", ["kama"], None),
    ("apo c 12 26", "ta apo 12 26", ["apo_ema"], None),
    ("apo c 26 12", "ta apo 26 12", ["apo_ema"], None),
    ("apo c 2 3", "ta apo 2 3", ["apo_ema"], None),
    ("ppo c 12 26", "ta ppo 12 26", ["ppo_ema"], None),
    ("ppo c 26 12", "ta ppo 26 12", ["ppo_ema"], None),
    ("ppo c 2 3", "ta ppo 2 3", ["ppo_ema"], None),
    ("stochrsi c 14 14 1 3", "ta stochrsi 14 14 3", ["fastk", "fastd_sma"], "stochrsi"),
    ("stochrsi c 5 3 1 1", "ta stochrsi 5 3 1", ["fastk", "fastd_sma"], "stochrsi"),
    ("stochrsi c 14 5 1 2", "ta stochrsi 14 5 2", ["fastk", "fastd_sma"], "stochrsi"),
    # Tulip keeps running double sums; these bars stay far below 2^31, where they are exact
    # enough to agree within 1e-9.
    ("hma 2", "ti hma 2", ["hma"], None),
    ("hma 16", "ti hma 16", ["hma"], None),
    ("hma 20", "ti hma 20", ["hma"], None),
    ("vwma 1", "ti vwma 1", ["vwma"], "no_volume"),
    ("vwma 20", "ti vwma 20", ["vwma"], "no_volume"),
    ("aroon 2", "ta aroon 2", ["aroon_down", "aroon_up", None], None),
    ("aroon 14", "ta aroon 14", ["aroon_down", "aroon_up", None], None),
    ("aroon 14", "ta aroonosc 14", [None, None, "aroonosc"], None),
    ("aroon 25", "ta aroonosc 25", [None, None, "aroonosc"], None),
    ("cmo c 1", "ti cmo 1", ["cmo"], "cmo_flat"),
    ("cmo c 14", "ti cmo 14", ["cmo"], "cmo_flat"),
    ("cmo c 30", "ti cmo 30", ["cmo"], "cmo_flat"),
    ("linreg c 2", "ta linearreg 2", ["linearreg"], None),
    ("linreg c 14", "ta linearreg 14", ["linearreg"], None),
    ("linreg c 30", "ta linearreg 30", ["linearreg"], None),
    ("linreg_intercept c 14", "ta linearreg_intercept 14", ["intercept"], None),
    ("linreg_intercept c 30", "ta linearreg_intercept 30", ["intercept"], None),
    ("linreg_slope c 2", "ta linearreg_slope 2", ["slope"], None),
    ("linreg_slope c 14", "ta linearreg_slope 14", ["slope"], None),
    ("midpoint c 2", "ta midpoint 2", ["midpoint"], None),
    ("midpoint c 14", "ta midpoint 14", ["midpoint"], None),
    ("midprice 2", "ta midprice 2", ["midprice"], None),
    ("midprice 14", "ta midprice 14", ["midprice"], None),
    ("trima c 2", "ta trima 2", ["trima"], None),
    ("trima c 14", "ta trima 14", ["trima"], None),
    ("trima c 15", "ta trima 15", ["trima"], None),
    ("tsf c 14", "ta tsf 14", ["tsf"], None),
    ("tsf c 30", "ta tsf 30", ["tsf"], None),
    ("wma c 2", "ta wma 2", ["wma"], None),
    ("wma c 14", "ta wma 14", ["wma"], None),
    ("wma c 30", "ta wma 30", ["wma"], None),
]


def read_bars(path):
    """The five columns of a CSV whose header names them (other columns skipped)."""
    with open(path) as f:
        header = f.readline().strip().split(",")
        at = [header.index(name) for name in ("open", "high", "low", "close", "volume")]
        rows = [line.strip().split(",") for line in f if line.strip()]
    return [[int(row[k]) for k in at] for row in rows]


def write_bars(bars, path):
    with open(path, "w") as f:
        f.write("open,high,low,close,volume\n")
        for bar in bars:
            f.write(",".join(str(v) for v in bar) + "\n")


def zolv_lines(tclsh, build, csv, words_list):
    """Every case's line: per bar a list of parts, None where a part is not defined."""
    script = [
        "package require zolv",
        "corvalix::ZOLV bars",
        "zolv::read_csv bars {%s} -scale 1 -volumescale 1" % csv,
    ]
    for words in words_list:
        script.append("puts ==")
        script.append(
            "foreach v [zolv::series bars %s] {"
            "puts [join [lmap p [expr {[llength $v] > 1 ? $v : [list $v]}] {expr {$p eq {} ? {-} : $p}}] ,]"
            "}" % words)
    env = dict(os.environ, TCLLIBPATH=build)
    out = subprocess.run([tclsh], input="\n".join(script), capture_output=True, text=True,
                         env=env, check=True).stdout
    lines = []
    for block in out.split("==\n")[1:]:
        rows = []
        for row in block.splitlines():
            rows.append([None if p == "-" else float(p) for p in row.split(",")])
        lines.append(rows)
    return lines


def peer_line(peerdump, csv, entry):
    lib, name, *params = entry.split()
    out = subprocess.run([peerdump, "dump", csv, lib, name] + params, capture_output=True,
                         text=True, check=True).stdout.splitlines()
    header = out[0].split(",")[1:]
    columns = {name: [] for name in header}
    for row in out[1:]:
        for name, field in zip(header, row.split(",")[1:]):
            columns[name].append(None if field == "-" else float(field))
    return columns


def same(a, b):
    """Equal within 1e-9 relative (0.0 and -0.0 are equal)."""
    if a == b:
        return True
    if math.isnan(a) or math.isnan(b):
        return False
    return abs(a - b) <= 1e-9 * max(abs(a), abs(b))


def first_bar(rule, words, part, peer_first):
    """Our first bar of a part, given the peer's."""
    if rule == "stochrsi" and part == 0 and peer_first is not None:
        # k starts where it is defined; TA-Lib starts it with its %D, d - 1 bars later
        return peer_first - (int(words.split()[-1]) - 1)
    return peer_first


def skip_bars(rule, words, ours, peer, columns):
    """The (part, bar) pairs a rule skips, given both whole lines."""
    if rule != "stochrsi":
        return set()
    # A flat window (highest = lowest): raw is 50 here, 0 in TA-Lib; d over such a raw differs.
    d = int(words.split()[-1])
    flat = [k for k, v in enumerate(peer[columns[0]])
            if v == 0.0 and ours[k] and ours[k][0] == 50.0]
    return {(0, k) for k in flat} | {(1, k + j) for k in flat for j in range(d)}


def close_enough(rule, part, ours, theirs):
    if rule == "stochrsi" and part == 1:
        # TA-Lib's %D is a running sum, which keeps rounding residue where ours (a fresh sum)
        # is exact: within 1e-9 of the oscillator's scale, 100
        return same(ours, theirs) or abs(ours - theirs) <= 1e-7
    return same(ours, theirs)


def skipped(rule, bars, k, ours, theirs):
    if rule == "rsi_flat":  # gains and losses both exactly 0: 50 here, 0 in TA-Lib
        return ours == 50.0 and theirs == 0.0
    if rule == "zero_close":  # a zero close: 0 here; TA-Lib leaves the value unwritten
        return bars[k][3] == 0
    if rule == "cmo_flat":  # no change in the window: 0 here; Tulip divides 0 by 0
        return ours == 0.0 and math.isnan(theirs)
    return False


def no_value(rule, theirs):
    """A bar the peer defines where ours has no value by a documented rule."""
    # A window without volume: a calc error here; Tulip divides 0 by 0.
    return rule == "no_volume" and math.isnan(theirs)


# ---- Exact models --------------------------------------------------------------------------

def bbands_model(bars, n, k):
    """upper, middle, lower from exact integer sums, then the defined double operations."""
    x = [bar[3] for bar in bars]
    out = [None] * len(x)
    for i in range(n - 1, len(x)):
        window = x[i - n + 1:i + 1]
        s = sum(window)
        q = n * sum(v * v for v in window) - s * s
        middle = float(s) / n
        dev = math.sqrt(float(q)) / n
        out[i] = [middle + k * dev, middle, middle - k * dev]
    return out


def ema_model(x, n):
    f = 2.0 / float(n + 1)
    out = [None] * len(x)
    if n > len(x):
        return out
    value = float(sum(x[:n])) / n
    out[n - 1] = value
    for i in range(n, len(x)):
        value = value + f * (float(x[i]) - value)
        out[i] = value
    return out


def macd_model(bars, fast, slow, signal):
    fast, slow = min(fast, slow), max(fast, slow)
    x = [bar[3] for bar in bars]
    ef, es = ema_model(x, fast), ema_model(x, slow)
    out = [None] * len(x)
    macd = [None if es[i] is None else ef[i] - es[i] for i in range(len(x))]
    f = 2.0 / float(signal + 1)
    sig = None
    total = 0.0
    for i in range(slow - 1, len(x)):
        j = i - (slow - 1)
        if j < signal:
            total = total + macd[i]
            if j == signal - 1:
                sig = total / signal
        else:
            sig = sig + f * (macd[i] - sig)
        out[i] = [macd[i]] if j < signal - 1 else [macd[i], sig, macd[i] - sig]
    return out


def rsi_model(x, n):
    """rsi_wilder: Wilder averages of the rises and falls, seeded with exact sums."""
    out = [None] * len(x)
    gains = losses = 0
    gain = loss = 0.0
    for i in range(1, len(x)):
        change = x[i] - x[i - 1]
        up, down = max(change, 0), max(-change, 0)
        if i < n:
            gains, losses = gains + up, losses + down
            continue
        if i == n:
            gain, loss = float(gains + up) / n, float(losses + down) / n
        else:
            gain = (gain * (n - 1) + float(up)) / n
            loss = (loss * (n - 1) + float(down)) / n
        total = gain + loss
        out[i] = 50.0 if total == 0.0 else 100.0 * (gain / total)
    return out


def mean_oldest_first(values):
    total = 0.0
    for v in values:
        total = total + v
    return total / len(values)


def stochrsi_model(bars, n, m, k, d):
    """k and d over the m newest RSI values; each mean added oldest first."""
    rsi = rsi_model([bar[3] for bar in bars], n)
    out = [None] * len(bars)
    raws, ks = [], []
    for i in range(n + m - 1, len(bars)):
        window = rsi[i - m + 1:i + 1]
        lowest = min(window)
        scale = (max(window) - lowest) / 100.0
        raws.append(50.0 if scale == 0.0 else (rsi[i] - lowest) / scale)
        if len(raws) >= k:
            ks.append(mean_oldest_first(raws[-k:]))
            out[i] = [ks[-1]] + ([mean_oldest_first(ks[-d:])] if len(ks) >= d else [])
    return out


MODELS = [
    ("bbands c 20 2", lambda bars: bbands_model(bars, 20, 2.0)),
    ("bbands c 5 3", lambda bars: bbands_model(bars, 5, 3.0)),
    ("macd_ema c 12 26 9", lambda bars: macd_model(bars, 12, 26, 9)),
    ("macd_ema c 26 12 9", lambda bars: macd_model(bars, 26, 12, 9)),
    ("macd_ema c 3 5 1", lambda bars: macd_model(bars, 3, 5, 1)),
    ("stochrsi c 14 14 3 3", lambda bars: stochrsi_model(bars, 14, 14, 3, 3)),
    ("stochrsi c 5 3 1 2", lambda bars: stochrsi_model(bars, 5, 3, 1, 2)),
]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--peers", required=True)
    parser.add_argument("--build", required=True)
    parser.add_argument("--shared", default=os.path.join(ROOT, "..", "shared", "peers"))
    parser.add_argument("--tclsh", default="tclsh8.6")
    opts = parser.parse_args()
    peerdump = os.path.join(opts.peers, "peerdump")
    failures = 0
    totals = {}
    with tempfile.TemporaryDirectory() as tmp:
        data = []
        for kind, count, seed in (("walk", 5000, 3), ("plateau", 5000, 7)):
            path = os.path.join(tmp, "%s.csv" % kind)
            with open(path, "w") as f:
                subprocess.run([sys.executable, os.path.join(opts.shared, "gen_bars.py"), kind,
                                str(count), str(seed)], stdout=f, check=True)
            data.append((kind, path, read_bars(path)))
        sample = os.path.join(tmp, "sample.csv")
        write_bars(read_bars(SAMPLE), sample)
        data.append(("sample", sample, read_bars(sample)))

        for label, csv, bars in data:
            words = [case[0] for case in CASES] + [model[0] for model in MODELS]
            lines = zolv_lines(opts.tclsh, opts.build, csv, words)
            for (ours_words, entry, columns, rule), ours in zip(CASES, lines):
                peer = peer_line(peerdump, csv, entry)
                t = totals.setdefault(ours_words.split()[0], [0, 0, 0])
                skips = skip_bars(rule, ours_words, ours, peer, columns)
                for j, column in enumerate(columns):
                    if column is None:
                        continue
                    theirs = peer[column]
                    first = next((k for k, v in enumerate(theirs) if v is not None), None)
                    mine = next((k for k, row in enumerate(ours)
                                 if row and len(row) > j and row[j] is not None), None)
                    if first_bar(rule, ours_words, j, first) != mine:
                        failures += 1
                        print("FAIL %s %s part %d: first bar %s, peer %s" %
                              (label, ours_words, j, mine, first))
                    for k, v in enumerate(theirs):
                        if v is None:
                            continue
                        a = ours[k][j] if ours[k] and len(ours[k]) > j else None
                        if a is None and no_value(rule, v):
                            t[2] += 1
                            continue
                        if a is not None and ((j, k) in skips or skipped(rule, bars, k, a, v)):
                            t[2] += 1
                            continue
                        t[0] += 1
                        if a is not None and a == v and math.copysign(1, a) == math.copysign(1, v):
                            t[1] += 1
                        elif a is None or not close_enough(rule, j, a, v):
                            failures += 1
                            if failures < 20:
                                print("FAIL %s %s part %d bar %d: %r, peer %r" %
                                      (label, ours_words, j, k, a, v))
            for (model_words, model), ours in zip(MODELS, lines[len(CASES):]):
                want = model(bars)
                t = totals.setdefault(model_words.split()[0] + " (exact model)", [0, 0, 0])
                for k, row in enumerate(want):
                    row = row or []
                    got = [v for v in ours[k] if v is not None]
                    t[0] += len(row)
                    if got != row:
                        failures += 1
                        if failures < 20:
                            print("FAIL %s %s bar %d: %r, model %r" % (label, model_words, k,
                                                                        ours[k], row))
                    else:
                        t[1] += len(row)
    for name, (compared, identical, skips) in sorted(totals.items()):
        print("%-26s %7d values compared, %7d bit-identical%s" %
              (name, compared, identical, ", %d skipped by rule" % skips if skips else ""))
    print("peers: %s" % ("FAILED (%d)" % failures if failures else "all agree"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
