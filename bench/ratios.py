#!/usr/bin/env python3
"""Turns the engine benchmark JSON and the command timings into one table of
the ratios the package is held to, with the machine and the date.

Usage: ratios.py ENGINE_JSON COMMANDS_TSV
"""
import datetime
import json
import os
import subprocess
import sys


def machine_name():
    try:
        text = subprocess.run(["lscpu"], capture_output=True, text=True, check=True).stdout
    except (OSError, subprocess.CalledProcessError):
        return "unknown"
    for line in text.splitlines():
        key, _, value = line.partition(":")
        if key.strip() == "Model name":
            return value.strip()
    return "unknown"


def engine_times(path):
    """Benchmark name -> the best real time over the repetitions, in microseconds."""
    with open(path) as f:
        data = json.load(f)
    scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}
    best = {}
    counters = {}
    for run in data["benchmarks"]:
        if run.get("run_type", "iteration") != "iteration" or run.get("error_occurred"):
            continue
        name = run.get("run_name", run["name"])
        t = run["real_time"] * scale[run["time_unit"]]
        best[name] = min(best.get(name, t), t)
        for key in ("bytes_per_bar", "peak_bytes_per_bar"):
            if key in run:
                counters.setdefault(name, {})[key] = run[key]
    return best, counters


def command_times(path):
    """Command rows (name -> dict of ns per call) and the other measurements."""
    rows = {}
    other = {}
    with open(path) as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if fields[0] == "row" and fields[1] != "command":
                name, words, commands, iterations = fields[1], *map(int, fields[2:5])
                noop, noop_int, flat, obj = map(float, fields[5:9])
                rows[name] = dict(words=words, commands=commands, iterations=iterations,
                                  noop=noop, noop_int=noop_int, flat=flat, object=obj)
            elif fields[0] != "row":
                other[fields[0]] = float(fields[1])
    return rows, other


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    engine, counters = engine_times(sys.argv[1])
    commands, other = command_times(sys.argv[2])

    def e(name):
        return engine.get(name)

    big = 1000000
    table = []  # (ratio, numerator, denominator, value, limit)

    def add(label, num, den, limit):
        value = num / den if num is not None and den else None
        table.append((label, num, den, value, limit))

    add("ema(26) at bar 1e6 / bare recurrence(26)",
        e(f"BM_Ema/{big}/26"), e(f"BM_BareEmaRecurrence/{big}/26"), 1.2)
    add("macd(12,26,9) at bar 1e6 / ema(26)",
        e(f"BM_Macd/{big}/12/26/9"), e(f"BM_Ema/{big}/26"), 1.5)
    add("conv_ema(12,26) at bar 1e6 / ema(26)",
        e(f"BM_Conv/{big}/12/26/1"), e(f"BM_Ema/{big}/26"), 1.5)
    add("first ema(26), 1e6 after a refill / bare (26)",
        e(f"BM_FirstEma/{big}/26"), e(f"BM_BareEmaRecurrence/{big}/26"), 1.2)
    add("first macd(12,26,9) / first ema(26)",
        e(f"BM_FirstMacd/{big}/12/26/9"), e(f"BM_FirstEma/{big}/26"), 1.5)
    add("first conv_ema(12,26) / first ema(26)",
        e(f"BM_FirstConvEma/{big}/12/26"), e(f"BM_FirstEma/{big}/26"), 1.5)
    add("stc_sd(14,3,3) / stc_k(14)",
        e(f"BM_StcSd/{big}/14/3/3"), e(f"BM_StcK/{big}/14"), 2.5)
    add("rci(1000) / rci(100)", e(f"BM_Rci/{big}/1000"), e(f"BM_Rci/{big}/100"), 16.0)
    add("series ema(20), 1e6 bars / bare recurrence(20)",
        e(f"BM_SeriesEma/{big}/20"), e(f"BM_BareEmaRecurrence/{big}/20"), 1.1)
    add("series macd(12,26,9), 1e6 bars / bare recurr.(26)",
        e(f"BM_SeriesMacd/{big}"), e(f"BM_BareEmaRecurrence/{big}/26"), 1.5)
    add("feed: push_back+ema+macd+rsi, 1e6 / 1e3 bars (us)",
        other.get("feed_read_1000000_us"), other.get("feed_read_1000_us"), 2.0)
    add("feed: push_back+supertrend+ichimoku+vwap, 1e6 / 1e3",
        other.get("feed_chart_1000000_us"), other.get("feed_chart_1000_us"), 2.0)
    add("feed: push_back+rsi_w+atr+adx+macd_ema+sar, 1e6/1e3",
        other.get("feed_trend_1000000_us"), other.get("feed_trend_1000_us"), 2.0)
    add("feed: push_back+pop_front, 1e6 / 1e3 bars (us)",
        other.get("feed_window_1000000_us"), other.get("feed_window_1000_us"), 2.0)
    for words in ("rsi_wilder c 14", "adx 14", "macd_ema c 12 26 9", "sar 0.02 0.2"):
        add(f"first {words} / its line, 1 thread",
            e(f"BM_FirstCall/{words}"), e(f"BM_SeriesOperationOneThread/{words}"), 1.2)
    add("cursor walk of ema 20 / walk of value (ms)",
        other.get("walk_flat_ms"), other.get("walk_value_ms"), 3.0)
    add("read_csv, 1e5 rows / setlist of them (ms)",
        other.get("csv_read_ms"), other.get("csv_setlist_ms"), 2.0)
    add("read_csv with -round and 4 more, 1e5 / setlist",
        other.get("csv_options_read_ms"), other.get("csv_options_setlist_ms"), 2.0)
    add("series -last 500 ema 20 / whole line, 1e6 bars",
        other.get("series_last_ms"), other.get("series_whole_ms"), 0.05)
    for name in ("value", "pos_get", "size"):
        row = commands.get(name)
        if row:
            add(f"ZOLV_{name} / noop, {row['words']} words (ns)", row["flat"], row["noop"], 1.6)
    for name in ("value", "pos_get", "size"):
        row = commands.get(name)
        if row:
            twin = "obj cget -pos" if name == "pos_get" else f"obj {name}"
            add(f"{twin} / ZOLV_{name} (ns)", row["object"], row["flat"], 1.25)

    print(f"zolv benchmark ratios - {machine_name()}, {os.cpu_count()} cores, "
          f"{datetime.datetime.now().astimezone():%Y-%m-%d %H:%M %Z}, "
          f"load average {' '.join(f'{x:.2f}' for x in os.getloadavg())}")
    print("engine: best of the repetitions, us per call; commands: best of the runs, ns per call")
    header = f"{'ratio':<46} {'numerator':>11} {'denominator':>11} {'ratio':>7} {'target':>8}  met"
    print(header)
    print("-" * len(header))
    for label, num, den, value, limit in table:
        if value is None:
            print(f"{label:<46} {'-':>11} {'-':>11} {'-':>7} {'<= ' + str(limit):>8}  missing")
            continue
        met = "yes" if value <= limit else "NO"
        shown = f"{value:7.2f}" if value >= 0.1 else f"{value:7.4f}"
        print(f"{label:<46} {num:11.3f} {den:11.3f} {shown} {'<= ' + str(limit):>8}  {met}")

    # Context: the flat/noop_int ratios, the worst object/flat ratio, memory,
    # and every calculation at the three series lengths.
    print()
    for name in ("value", "pos_get", "size"):
        row = commands.get(name)
        if row:
            print(f"ZOLV_{name} / noop_int ({row['words']} words): "
                  f"{row['flat']:.1f} / {row['noop_int']:.1f} ns = "
                  f"{row['flat'] / row['noop_int']:.2f}")
    if commands:
        worst = max(commands, key=lambda n: commands[n]["object"] / commands[n]["flat"])
        print(f"worst object/flat over all {len(commands)} rows: {worst} "
              f"{commands[worst]['object'] / commands[worst]['flat']:.2f}")
    if "walk_flat_ms" in other:
        print(f"cursor walk, ema 20 at every position of 10000 bars: "
              f"flat {other['walk_flat_ms']:.1f} ms, object {other['walk_object_ms']:.1f} ms")
    if "walk_series_ms" in other:
        print(f"zolv::series ema 20 over the same bars: {other['walk_series_ms']:.3f} ms, "
              f"{other['walk_flat_ms'] / other['walk_series_ms']:.0f}x faster than the walk")
    for name, c in sorted(counters.items()):
        print(f"{name}: {c['bytes_per_bar']:.2f} bytes per bar held, "
              f"{c['peak_bytes_per_bar']:.2f} at the peak")

    print()
    print(f"{'whole series, 1e6 bars (ns per bar)':<34} {'default':>10} {'1 thread':>10} "
          f"{'speed-up':>10}")
    for name in engine:
        if not name.startswith("BM_Series/"):
            continue
        label = name[len("BM_Series/"):]
        default = engine[name] * 1e3 / big
        single = engine.get("BM_SeriesOneThread/" + label)
        single = single * 1e3 / big if single is not None else None
        cells = [f"{default:10.3f}", f"{single:10.3f}" if single else f"{'-':>10}",
                 f"{single / default:10.2f}" if single else f"{'-':>10}"]
        print(f"{label:<34} {' '.join(cells)}")

    print()
    ema = engine.get("BM_SeriesOperation/ema c 20")
    print(f"{'operation table, 1e6 bars (ns per bar)':<40} {'ns':>8} {'/ ema':>8}")
    for name in engine:
        if not name.startswith("BM_SeriesOperation/"):
            continue
        per_bar = engine[name] * 1e3 / big
        share = f"{engine[name] / ema:8.2f}" if ema else f"{'-':>8}"
        print(f"{name[len('BM_SeriesOperation/'):]:<40} {per_bar:8.3f} {share}")

    print()
    print(f"{'first call after a change, 1e6 bars (us)':<40} {'first':>9} {'line, 1t':>9} "
          f"{'ratio':>7}")
    for name in engine:
        if not name.startswith("BM_FirstCall/"):
            continue
        words = name[len("BM_FirstCall/"):]
        line = engine.get("BM_SeriesOperationOneThread/" + words)
        cells = [f"{engine[name]:9.1f}", f"{line:9.1f}" if line else f"{'-':>9}",
                 f"{engine[name] / line:7.2f}" if line else f"{'-':>7}"]
        print(f"{words:<40} {' '.join(cells)}")

    print()
    print(f"{'calculation (us at the newest bar)':<34} {'1e3 bars':>10} {'1e5 bars':>10} "
          f"{'1e6 bars':>10}")
    seen = []
    for name in engine:
        parts = name.split("/")
        key = "/".join([parts[0]] + parts[2:])
        if (parts[0].endswith("Memory") or parts[0].startswith(("BM_Series", "BM_FirstCall"))
                or key in seen):
            continue
        seen.append(key)
        cells = []
        for bars in (1000, 100000, big):
            t = engine.get("/".join([parts[0], str(bars)] + parts[2:]))
            cells.append(f"{t:10.3f}" if t is not None else f"{'-':>10}")
        label = key.replace("BM_", "")
        print(f"{label:<34} {' '.join(cells)}")


if __name__ == "__main__":
    main()
