// This file contains the benchmarks of the calculations, each taken at the
// newest bar of a long random series and as a whole series of every bar, next
// to the plain loops they are held against (the bare ema recurrence and a
// window sum), the first remembered averages after the bars change, and the
// memory the store takes per bar.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "indicators/operation.h"
#include "indicators/series.h"
#include "series/zolv.h"

// ---- Allocation counting ----------------------------------------------------
// Every allocation of the process goes through here, so a benchmark can see how
// many bytes are live at the end of an operation and at its peak.

namespace {

int64_t g_live_bytes = 0;
int64_t g_peak_bytes = 0;

void note_allocation(void* p) {
    g_live_bytes += static_cast<int64_t>(malloc_usable_size(p));
    g_peak_bytes = std::max(g_peak_bytes, g_live_bytes);
}

}  // namespace

void* operator new(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (!p) throw std::bad_alloc();
    note_allocation(p);
    return p;
}

void* operator new[](std::size_t size) {
    return operator new(size);
}

void operator delete(void* p) noexcept {
    if (!p) return;
    g_live_bytes -= static_cast<int64_t>(malloc_usable_size(p));
    std::free(p);
}

void operator delete[](void* p) noexcept {
    operator delete(p);
}
void operator delete(void* p, std::size_t) noexcept {
    operator delete(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    operator delete(p);
}

namespace {

// ---- Data -------------------------------------------------------------------

constexpr uint32_t kSeed = 42;

// A value list of `bars` bars: a random walk of closes around 100000, pulled
// gently back towards it so that a million bars stay in a realistic range.
// Each bar opens at the previous close; high and low enclose open and close;
// volumes lie between 1e6 and 1e8.
std::vector<int32_t> random_values(int bars, uint32_t seed) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int32_t> step(-150, 150);
    std::uniform_int_distribution<int32_t> wick(0, 120);
    std::uniform_int_distribution<int32_t> volume(1000000, 100000000);
    std::vector<int32_t> values;
    values.reserve(static_cast<size_t>(bars) * 5);
    int32_t close = 100000;
    for (int b = 0; b < bars; ++b) {
        const int32_t open = close;
        close = open + step(gen) + (100000 - open) / 500;
        values.push_back(open);
        values.push_back(std::max(open, close) + wick(gen));
        values.push_back(std::min(open, close) - wick(gen));
        values.push_back(close);
        values.push_back(volume(gen));
    }
    return values;
}

const std::vector<int32_t>& cached_values(int bars) {
    static std::map<int, std::vector<int32_t>> cache;
    auto it = cache.find(bars);
    if (it == cache.end()) it = cache.emplace(bars, random_values(bars, kSeed)).first;
    return it->second;
}

// A filled object per series length, built once; `setlist` leaves the cursor
// on the newest bar.
const ZOLV& series(int64_t bars) {
    static std::map<int64_t, std::unique_ptr<ZOLV>> cache;
    auto it = cache.find(bars);
    if (it == cache.end()) {
        auto z = std::make_unique<ZOLV>();
        const std::vector<int32_t>& values = cached_values(static_cast<int>(bars));
        z->setlist(values.data(), static_cast<int>(values.size()));
        it = cache.emplace(bars, std::move(z)).first;
    }
    return *it->second;
}

int arg(const benchmark::State& state, int k) {
    return static_cast<int>(state.range(k));
}

// Runs `calc(z, i)` (true on failure) at the newest bar of the series of
// state.range(0) bars.
template <typename Calc>
void at_newest(benchmark::State& state, Calc calc) {
    const ZOLV& z = series(state.range(0));
    const int i = z.cursor_index();
    if (calc(z, i)) {
        state.SkipWithError("the calculation failed");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(calc(z, i));
}

// ---- Baselines --------------------------------------------------------------

// The recurrence that ema evaluates, seeded the same way (the mean of the n
// oldest bars): the floor for every calculation that walks the whole series.
void BM_BareEmaRecurrence(benchmark::State& state) {
    const Column& x = series(state.range(0)).close;
    const int n = arg(state, 1);
    for (auto _ : state) {
        int64_t sum = 0;
        for (int k = 0; k < n; ++k) sum += x[static_cast<size_t>(k)];
        double prev = static_cast<double>(sum) / n;
        const double f = 2.0 / (n + 1);
        for (size_t k = static_cast<size_t>(n); k < x.size(); ++k) {
            prev = prev + f * (x[k] - prev);
        }
        benchmark::DoNotOptimize(prev);
    }
}

// ---- First calls after a refill ------------------------------------------------

// ema, macd or conv_ema at the newest bar of an object that remembers nothing yet, as after
// a setlist or a pop_front: the call walks its averages from their seeds and remembers them.
// Forgetting is not timed.
template <typename Call>
void first_call(benchmark::State& state, Call call) {
    const ZOLV& z = series(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        z.ema_memory.forget_all();
        state.ResumeTiming();
        if (call(z)) {
            state.SkipWithError("the calculation failed");
            return;
        }
    }
    z.ema_memory.forget_all();
}

void BM_FirstEma(benchmark::State& state) {
    const int n = arg(state, 1);
    first_call(state, [n](const ZOLV& z) {
        double v = 0.0;
        const int status = z.ema('c', n, &v);
        benchmark::DoNotOptimize(v);
        return status != ZOLV_OK;
    });
}

void BM_FirstMacd(benchmark::State& state) {
    const int t1 = arg(state, 1);
    const int t2 = arg(state, 2);
    const int sig = arg(state, 3);
    std::vector<double> out;
    first_call(state, [&](const ZOLV& z) {
        const int status = z.macd(t1, t2, sig, out);
        benchmark::DoNotOptimize(out.data());
        return status != ZOLV_OK;
    });
}

void BM_FirstConvEma(benchmark::State& state) {
    const int s = arg(state, 1);
    const int l = arg(state, 2);
    first_call(state, [s, l](const ZOLV& z) {
        double v = 0.0;
        const int status = z.conv_ema('c', s, l, &v);
        benchmark::DoNotOptimize(v);
        return status != ZOLV_OK;
    });
}

// ---- Whole series ------------------------------------------------------------

// Every bar's value in one call: the ema(n) line, or the macd(12,26,9) lines.
void BM_SeriesEma(benchmark::State& state) {
    const ZOLV& z = series(state.range(0));
    zolv::SeriesResult out;
    for (auto _ : state) {
        zolv::series(z, zolv::SeriesOp::kEma, 'c', {arg(state, 1)}, &out);
        benchmark::DoNotOptimize(out.reals.data());
    }
}

void BM_SeriesMacd(benchmark::State& state) {
    const ZOLV& z = series(state.range(0));
    zolv::SeriesResult out;
    for (auto _ : state) {
        zolv::series(z, zolv::SeriesOp::kMacd, 'c', {12, 26, 9}, &out);
        benchmark::DoNotOptimize(out.reals.data());
    }
}

// Every operation's whole series at 1,000,000 bars, with the default threads
// and with the calling thread alone.
struct SeriesCase {
    const char* label;
    zolv::SeriesOp op;
    char type;
    std::vector<int> params;
};

const SeriesCase kSeriesCases[] = {
    {"bollingerband/20", zolv::SeriesOp::kBollingerband, 'c', {20}},
    {"cci/20", zolv::SeriesOp::kCci, 'c', {20}},
    {"conv_ema/12/26", zolv::SeriesOp::kConvEma, 'c', {12, 26}},
    {"conv_sma/5/25", zolv::SeriesOp::kConvSma, 'c', {5, 25}},
    {"dmi/14/1", zolv::SeriesOp::kDmi, 'c', {14, 1}},
    {"dmi/14/14", zolv::SeriesOp::kDmi, 'c', {14, 14}},
    {"ema/20", zolv::SeriesOp::kEma, 'c', {20}},
    {"hlband/20", zolv::SeriesOp::kHlband, 'c', {20}},
    {"macd/12/26/9", zolv::SeriesOp::kMacd, 'c', {12, 26, 9}},
    {"mfi/14", zolv::SeriesOp::kMfi, 'c', {14}},
    {"momentum/10", zolv::SeriesOp::kMomentum, 'c', {10}},
    {"psychological/12", zolv::SeriesOp::kPsychological, 'c', {12}},
    {"rci/9", zolv::SeriesOp::kRci, 'c', {9}},
    {"rci/100", zolv::SeriesOp::kRci, 'c', {100}},
    {"roc/10", zolv::SeriesOp::kRoc, 'c', {10}},
    {"rsi/14", zolv::SeriesOp::kRsi, 'c', {14}},
    {"sma/20", zolv::SeriesOp::kSma, 'c', {20}},
    {"stc_d/14/3", zolv::SeriesOp::kStcD, 'c', {14, 3}},
    {"stc_k/14", zolv::SeriesOp::kStcK, 'c', {14}},
    {"stc_sd/14/3/3", zolv::SeriesOp::kStcSd, 'c', {14, 3, 3}},
    {"stdev/20", zolv::SeriesOp::kStdev, 'c', {20}},
    {"tr", zolv::SeriesOp::kTr, 'c', {}},
    {"ultimate_osi/7", zolv::SeriesOp::kUltimateOsi, 'c', {7}},
    {"vr1/25", zolv::SeriesOp::kVr1, 'c', {25}},
    {"vr2/25", zolv::SeriesOp::kVr2, 'c', {25}},
    {"williams_r/14", zolv::SeriesOp::kWilliamsR, 'c', {14}},
    {"wvr/25", zolv::SeriesOp::kWvr, 'c', {25}},
};

// One call per iteration into the same result, as a caller that draws many
// lines would make it; `threads` 0 keeps the default.
void series_call(benchmark::State& state, const SeriesCase& c, int threads) {
    const ZOLV& z = series(1000000);
    const int saved = zolv::series_threads();
    if (threads > 0) zolv::set_series_threads(threads);
    zolv::SeriesResult out;
    zolv::series(z, c.op, c.type, c.params, &out);  // sized before the timing
    for (auto _ : state) {
        zolv::series(z, c.op, c.type, c.params, &out);
        benchmark::DoNotOptimize(out.valid.data());
    }
    zolv::set_series_threads(saved);
    state.SetItemsProcessed(state.iterations() * 1000000);
}

const bool kSeriesRegistered = [] {
    for (const SeriesCase& c : kSeriesCases) {
        benchmark::RegisterBenchmark((std::string("BM_Series/") + c.label).c_str(),
                                     [&c](benchmark::State& s) { series_call(s, c, 0); })
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((std::string("BM_SeriesOneThread/") + c.label).c_str(),
                                     [&c](benchmark::State& s) { series_call(s, c, 1); })
            ->Unit(benchmark::kMicrosecond);
    }
    return true;
}();

// Whole series of operations of the table at 1,000,000 bars, one call per iteration, beside
// the ema line through the same table: their cost per bar against the ema recurrence's.
struct OperationCase {
    const char* words;  // the operation and its arguments, as a script writes them
    const char* name;
    char column;
    std::vector<int32_t> ints;
    std::vector<double> reals;
};

const OperationCase kOperationCases[] = {
    {"ema c 20", "ema", 'c', {20}, {}},
    {"ad", "ad", 'c', {}, {}},
    {"adosc 3 10", "adosc", 'c', {3, 10}, {}},
    {"adx 14", "adx", 'c', {14}, {}},
    {"apo c 12 26", "apo", 'c', {12, 26}, {}},
    {"aroon 14", "aroon", 'c', {14}, {}},
    {"atr 14", "atr", 'c', {14}, {}},
    {"bbands c 20 2", "bbands", 'c', {20}, {2.0}},
    {"cmo c 14", "cmo", 'c', {14}, {}},
    {"dema c 20", "dema", 'c', {20}, {}},
    {"kama c 10", "kama", 'c', {10}, {}},
    {"linreg c 14", "linreg", 'c', {14}, {}},
    {"linreg_intercept c 14", "linreg_intercept", 'c', {14}, {}},
    {"linreg_slope c 14", "linreg_slope", 'c', {14}, {}},
    {"macd_ema c 12 26 9", "macd_ema", 'c', {12, 26, 9}, {}},
    {"midpoint c 14", "midpoint", 'c', {14}, {}},
    {"midprice 14", "midprice", 'c', {14}, {}},
    {"natr 14", "natr", 'c', {14}, {}},
    {"obv", "obv", 'c', {}, {}},
    {"ppo c 12 26", "ppo", 'c', {12, 26}, {}},
    {"rsi_wilder c 14", "rsi_wilder", 'c', {14}, {}},
    {"sar 0.02 0.2", "sar", 'c', {}, {0.02, 0.2}},
    {"stochrsi c 14 14 3 3", "stochrsi", 'c', {14, 14, 3, 3}, {}},
    {"t3 c 5 0.7", "t3", 'c', {5}, {0.7}},
    {"tema c 20", "tema", 'c', {20}, {}},
    {"trima c 20", "trima", 'c', {20}, {}},
    {"trix c 15", "trix", 'c', {15}, {}},
    {"tsf c 14", "tsf", 'c', {14}, {}},
    {"wma c 20", "wma", 'c', {20}, {}},
    {"avwap 0", "avwap", 'c', {0}, {}},
    {"cmf 20", "cmf", 'c', {20}, {}},
    {"donchian 20", "donchian", 'c', {20}, {}},
    {"heikin_ashi", "heikin_ashi", 'c', {}, {}},
    {"hma 20", "hma", 'c', {20}, {}},
    {"ichimoku 9 26 52", "ichimoku", 'c', {9, 26, 52}, {}},
    {"keltner 20 2 10", "keltner", 'c', {20, 10}, {2.0}},
    {"pivots", "pivots", 'c', {}, {}},
    {"supertrend 10 3", "supertrend", 'c', {10}, {3.0}},
    {"vwap 20", "vwap", 'c', {20}, {}},
    {"vwma 20", "vwma", 'c', {20}, {}},
};

zolv::OpArgs operation_args(const OperationCase& c) {
    zolv::OpArgs args;
    args.column = c.column;
    std::copy(c.ints.begin(), c.ints.end(), args.ints);
    std::copy(c.reals.begin(), c.reals.end(), args.reals);
    return args;
}

// `threads` 0 keeps the default.
void operation_call(benchmark::State& state, const OperationCase& c, int threads) {
    const ZOLV& z = series(1000000);
    const zolv::Operation* op = zolv::find_operation(c.name);
    if (!op) {
        state.SkipWithError("no such operation");
        return;
    }
    const zolv::OpArgs args = operation_args(c);
    const int saved = zolv::series_threads();
    if (threads > 0) zolv::set_series_threads(threads);
    zolv::SeriesResult out;
    zolv::operation_series(z, *op, args, &out);  // sized before the timing
    for (auto _ : state) {
        zolv::operation_series(z, *op, args, &out);
        benchmark::DoNotOptimize(out.valid.data());
    }
    zolv::set_series_threads(saved);
    state.SetItemsProcessed(state.iterations() * 1000000);
}

// The first value at the newest of 1,000,000 bars after the bars have changed: nothing is
// remembered, so the operation walks every bar once, remembering states as it goes. It is held
// against the operation's line on one thread: the calculation itself.
void first_call(benchmark::State& state, const OperationCase& c) {
    static ZOLV z = series(1000000);
    const zolv::Operation* op = zolv::find_operation(c.name);
    if (!op) {
        state.SkipWithError("no such operation");
        return;
    }
    const zolv::OpArgs args = operation_args(c);
    zolv::OpValue v;
    for (auto _ : state) {
        state.PauseTiming();
        z.state_memory.forget_all();
        state.ResumeTiming();
        if (zolv::operation_at_cursor(z, *op, args, &v) != ZOLV_OK) {
            state.SkipWithError("the calculation failed");
            return;
        }
        benchmark::DoNotOptimize(v.reals);
    }
}

// The history operations whose first call is held to their line.
const char* const kFirstCalls[] = {"rsi_wilder c 14", "adx 14", "macd_ema c 12 26 9",
                                   "sar 0.02 0.2"};

const bool kOperationsRegistered = [] {
    for (const OperationCase& c : kOperationCases) {
        benchmark::RegisterBenchmark((std::string("BM_SeriesOperation/") + c.words).c_str(),
                                     [&c](benchmark::State& s) { operation_call(s, c, 0); })
            ->Unit(benchmark::kMicrosecond);
        if (std::none_of(std::begin(kFirstCalls), std::end(kFirstCalls),
                         [&c](const char* words) { return std::string(words) == c.words; })) {
            continue;
        }
        benchmark::RegisterBenchmark(
            (std::string("BM_SeriesOperationOneThread/") + c.words).c_str(),
            [&c](benchmark::State& s) { operation_call(s, c, 1); })
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((std::string("BM_FirstCall/") + c.words).c_str(),
                                     [&c](benchmark::State& s) { first_call(s, c); })
            ->Unit(benchmark::kMicrosecond);
    }
    return true;
}();

// A plain loop summing the n bars ending at the newest one: the floor for the
// windowed calculations.
void BM_WindowSum(benchmark::State& state) {
    const Column& x = series(state.range(0)).close;
    const int n = arg(state, 1);
    const size_t end = x.size();
    for (auto _ : state) {
        int64_t sum = 0;
        for (size_t k = end - static_cast<size_t>(n); k < end; ++k) sum += x[k];
        benchmark::DoNotOptimize(sum);
    }
}

// ---- Moving averages and standard deviation ---------------------------------

void BM_Sma(benchmark::State& state) {
    const int n = arg(state, 1);
    at_newest(state, [n](const ZOLV& z, int i) {
        double v = 0.0;
        const bool failed = z.calc.sma(n, z.close, i, &v);
        benchmark::DoNotOptimize(v);
        return failed;
    });
}

void BM_Ema(benchmark::State& state) {
    const int n = arg(state, 1);
    at_newest(state, [n](const ZOLV& z, int i) {
        double v = 0.0;
        const bool failed = z.calc.ema(n, z.close, i, &v);
        benchmark::DoNotOptimize(v);
        return failed;
    });
}

void BM_Stdev(benchmark::State& state) {
    const int n = arg(state, 1);
    at_newest(state, [n](const ZOLV& z, int i) {
        double v = 0.0;
        const bool failed = z.calc.stdev(n, z.close, i, &v);
        benchmark::DoNotOptimize(v);
        return failed;
    });
}

// Kind 0 compares simple averages, kind 1 exponential ones.
void BM_Conv(benchmark::State& state) {
    const int s = arg(state, 1);
    const int l = arg(state, 2);
    const int kind = arg(state, 3);
    at_newest(state, [s, l, kind](const ZOLV& z, int i) {
        double v = 0.0;
        const bool failed = z.calc.conv(s, l, kind, z.close, i, &v);
        benchmark::DoNotOptimize(v);
        return failed;
    });
}

// ---- Bands and MACD ---------------------------------------------------------

void BM_Bollingerband(benchmark::State& state) {
    const int t = arg(state, 1);
    at_newest(state, [t](const ZOLV& z, int i) {
        double v[6] = {};
        const bool failed =
            z.calc.bollingerband(t, z.close, i, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
        benchmark::DoNotOptimize(v);
        return failed;
    });
}

void BM_Hlband(benchmark::State& state) {
    const int t = arg(state, 1);
    at_newest(state, [t](const ZOLV& z, int i) {
        int32_t v[3] = {};
        const bool failed = z.calc.hlband(t, z.high, z.low, i, &v[0], &v[1], &v[2]);
        benchmark::DoNotOptimize(v);
        return failed;
    });
}

void BM_Macd(benchmark::State& state) {
    const int t1 = arg(state, 1);
    const int t2 = arg(state, 2);
    const int sig = arg(state, 3);
    at_newest(state, [t1, t2, sig](const ZOLV& z, int i) {
        double v[2] = {};
        const bool failed = z.calc.macd(t1, t2, sig, z.close, i, &v[0], &v[1]);
        benchmark::DoNotOptimize(v);
        return failed;
    });
}

// ---- Momentum, rate of change, psychological line, RSI and RCI --------------

void BM_Momentum(benchmark::State& state) {
    const int n = arg(state, 1);
    at_newest(state, [n](const ZOLV& z, int i) {
        int64_t v = 0;
        const bool failed = z.calc.momentum(n, z.close, i, &v);
        benchmark::DoNotOptimize(v);
        return failed;
    });
}

void BM_Roc(benchmark::State& state) {
    const int n = arg(state, 1);
    at_newest(state, [n](const ZOLV& z, int i) {
        double v = 0.0;
        const bool failed = z.calc.roc(n, z.close, i, &v);
        benchmark::DoNotOptimize(v);
        return failed;
    });
}

void BM_Psychological(benchmark::State& state) {
    const int n = arg(state, 1);
    at_newest(state, [n](const ZOLV& z, int i) {
        double v = 0.0;
        const bool failed = z.calc.psychological(n, z.close, i, &v);
        benchmark::DoNotOptimize(v);
        return failed;
    });
}

void BM_Rsi(benchmark::State& state) {
    const int n = arg(state, 1);
    at_newest(state, [n](const ZOLV& z, int i) {
        double v = 0.0;
        const bool failed = z.calc.rsi(n, z.open, z.close, i, &v);
        benchmark::DoNotOptimize(v);
        return failed;
    });
}

void BM_Rci(benchmark::State& state) {
    const int n = arg(state, 1);
    at_newest(state, [n](const ZOLV& z, int i) {
        double v = 0.0;
        const bool failed = z.calc.rci(n, z.close, i, &v);
        benchmark::DoNotOptimize(v);
        return failed;
    });
}

// ---- Commodity channel index, true range and directional movement -----------

void BM_Cci(benchmark::State& state) {
    const int t = arg(state, 1);
    at_newest(state, [t](const ZOLV& z, int i) {
        double v = 0.0;
        const bool failed = z.calc.cci(t, z.high, z.low, z.close, i, &v);
        benchmark::DoNotOptimize(v);
        return failed;
    });
}

void BM_Tr(benchmark::State& state) {
    at_newest(state, [](const ZOLV& z, int i) {
        int64_t v = 0;
        const bool failed = z.calc.tr(z.high, z.low, z.close, i, &v);
        benchmark::DoNotOptimize(v);
        return failed;
    });
}

void BM_Dmi(benchmark::State& state) {
    const int n = arg(state, 1);
    const int m = arg(state, 2);
    at_newest(state, [n, m](const ZOLV& z, int i) {
        double v[4] = {};
        const bool failed = z.calc.dmi(n, m, z.high, z.low, z.close, i, &v[0], &v[1], &v[2], &v[3]);
        benchmark::DoNotOptimize(v);
        return failed;
    });
}

// ---- Stochastics, Williams %R and ultimate oscillator -----------------------

void BM_StcK(benchmark::State& state) {
    const int t = arg(state, 1);
    at_newest(state, [t](const ZOLV& z, int i) {
        double v = 0.0;
        const bool failed = z.calc.stc_k(t, z.high, z.low, z.close, i, &v);
        benchmark::DoNotOptimize(v);
        return failed;
    });
}

void BM_StcD(benchmark::State& state) {
    const int t = arg(state, 1);
    const int m = arg(state, 2);
    at_newest(state, [t, m](const ZOLV& z, int i) {
        double v = 0.0;
        const bool failed = z.calc.stc_d(t, m, z.high, z.low, z.close, i, &v);
        benchmark::DoNotOptimize(v);
        return failed;
    });
}

void BM_StcSd(benchmark::State& state) {
    const int t = arg(state, 1);
    const int m = arg(state, 2);
    const int y = arg(state, 3);
    at_newest(state, [t, m, y](const ZOLV& z, int i) {
        double v = 0.0;
        const bool failed = z.calc.stc_sd(t, m, y, z.high, z.low, z.close, i, &v);
        benchmark::DoNotOptimize(v);
        return failed;
    });
}

void BM_WilliamsR(benchmark::State& state) {
    const int t = arg(state, 1);
    at_newest(state, [t](const ZOLV& z, int i) {
        double v = 0.0;
        const bool failed = z.calc.williams_r(t, z.high, z.low, z.close, i, &v);
        benchmark::DoNotOptimize(v);
        return failed;
    });
}

void BM_UltimateOsi(benchmark::State& state) {
    const int t = arg(state, 1);
    at_newest(state, [t](const ZOLV& z, int i) {
        double v = 0.0;
        const bool failed = z.calc.ultimate_osi(t, z.high, z.low, z.close, i, &v);
        benchmark::DoNotOptimize(v);
        return failed;
    });
}

// ---- Volume ratios and money flow index --------------------------------------

void BM_Vr1(benchmark::State& state) {
    const int t = arg(state, 1);
    at_newest(state, [t](const ZOLV& z, int i) {
        double v = 0.0;
        const bool failed = z.calc.vr1(t, z.close, z.volume, i, &v);
        benchmark::DoNotOptimize(v);
        return failed;
    });
}

void BM_Vr2(benchmark::State& state) {
    const int t = arg(state, 1);
    at_newest(state, [t](const ZOLV& z, int i) {
        double v = 0.0;
        const bool failed = z.calc.vr2(t, z.close, z.volume, i, &v);
        benchmark::DoNotOptimize(v);
        return failed;
    });
}

void BM_Wvr(benchmark::State& state) {
    const int t = arg(state, 1);
    at_newest(state, [t](const ZOLV& z, int i) {
        double v = 0.0;
        const bool failed = z.calc.wvr(t, z.close, z.volume, i, &v);
        benchmark::DoNotOptimize(v);
        return failed;
    });
}

void BM_Mfi(benchmark::State& state) {
    const int t = arg(state, 1);
    at_newest(state, [t](const ZOLV& z, int i) {
        double v = 0.0;
        const bool failed = z.calc.mfi(t, z.high, z.low, z.close, z.volume, i, &v);
        benchmark::DoNotOptimize(v);
        return failed;
    });
}

// ---- Memory -----------------------------------------------------------------

// Bytes the five columns hold per bar, by their capacity.
double column_bytes(const ZOLV& z) {
    size_t elements = 0;
    for (const Column* c : {&z.open, &z.high, &z.low, &z.close, &z.volume}) {
        elements += c->capacity();
    }
    return static_cast<double>(elements * sizeof(int32_t));
}

// One setlist of N bars into a new object: the columns' bytes per bar when it
// is done, and the most bytes allocated at any moment during it, per bar.
void BM_SetlistMemory(benchmark::State& state) {
    const int bars = arg(state, 0);
    const std::vector<int32_t>& values = cached_values(bars);
    double held = 0.0;
    double peak = 0.0;
    for (auto _ : state) {
        const int64_t before = g_live_bytes;
        g_peak_bytes = before;
        ZOLV z;
        z.setlist(values.data(), static_cast<int>(values.size()));
        held = column_bytes(z);
        peak = static_cast<double>(g_peak_bytes - before);
        benchmark::DoNotOptimize(z.close.data());
    }
    state.counters["bytes_per_bar"] = held / bars;
    state.counters["peak_bytes_per_bar"] = peak / bars;
}

// The same N bars added one push_back at a time, as a feed would.
void BM_PushBackMemory(benchmark::State& state) {
    const int bars = arg(state, 0);
    const std::vector<int32_t>& values = cached_values(bars);
    double held = 0.0;
    double peak = 0.0;
    for (auto _ : state) {
        const int64_t before = g_live_bytes;
        g_peak_bytes = before;
        ZOLV z;
        for (size_t k = 0; k < values.size(); k += 5) z.push_back(values.data() + k, 5);
        held = column_bytes(z);
        peak = static_cast<double>(g_peak_bytes - before);
        benchmark::DoNotOptimize(z.close.data());
    }
    state.counters["bytes_per_bar"] = held / bars;
    state.counters["peak_bytes_per_bar"] = peak / bars;
}

// The averages remembered on an object of N bars after ema at the newest bar
// for eight window lengths (the most it keeps): their bytes per bar, apart from
// the columns' 20.
void BM_RememberedEmaMemory(benchmark::State& state) {
    const int bars = arg(state, 0);
    const std::vector<int32_t>& values = cached_values(bars);
    ZOLV z;
    z.setlist(values.data(), static_cast<int>(values.size()));
    double held = 0.0;
    for (auto _ : state) {
        z.ema_memory.forget_all();
        for (int n : {5, 10, 12, 20, 26, 50, 100, 200}) {
            double v = 0.0;
            z.ema('c', n, &v);
            benchmark::DoNotOptimize(v);
        }
        held = static_cast<double>(z.ema_memory.bytes());
    }
    state.counters["bytes_per_bar"] = held / bars;
    state.counters["peak_bytes_per_bar"] = held / bars;
}

// A window of N bars kept by push_back and pop_front over 10N new bars: the
// columns' bytes per bar of the window, at the end and at the most they held.
void BM_BoundedWindowMemory(benchmark::State& state) {
    const int bars = arg(state, 0);
    const std::vector<int32_t>& values = cached_values(bars);
    double held = 0.0;
    double peak = 0.0;
    for (auto _ : state) {
        ZOLV z;
        z.setlist(values.data(), static_cast<int>(values.size()));
        double most = column_bytes(z);
        for (int round = 0; round < 10; ++round) {
            for (size_t k = 0; k < values.size(); k += 5) {
                z.push_back(values.data() + k, 5);
                z.pop_front();
                most = std::max(most, column_bytes(z));
            }
        }
        held = column_bytes(z);
        peak = most;
        benchmark::DoNotOptimize(z.close.data());
    }
    state.counters["bytes_per_bar"] = held / bars;
    state.counters["peak_bytes_per_bar"] = peak / bars;
}

// ---- Registration -----------------------------------------------------------

const std::vector<int64_t> kBars = {1000, 100000, 1000000};

#define ZOLV_AT_NEWEST(fn, ...) \
    BENCHMARK(fn)->ArgsProduct({kBars, __VA_ARGS__})->Unit(benchmark::kMicrosecond)

BENCHMARK(BM_BareEmaRecurrence)->ArgsProduct({kBars, {20, 26}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WindowSum)
    ->ArgsProduct({kBars, {14, 20, 26, 100, 1000}})
    ->Unit(benchmark::kMicrosecond);

ZOLV_AT_NEWEST(BM_Sma, {20});
ZOLV_AT_NEWEST(BM_Ema, {20, 26});
ZOLV_AT_NEWEST(BM_Stdev, {20});
ZOLV_AT_NEWEST(BM_Conv, {12}, {26}, {0, 1});
ZOLV_AT_NEWEST(BM_Bollingerband, {20});
ZOLV_AT_NEWEST(BM_Hlband, {20});
ZOLV_AT_NEWEST(BM_Macd, {12}, {26}, {9});
ZOLV_AT_NEWEST(BM_Momentum, {14});
ZOLV_AT_NEWEST(BM_Roc, {14});
ZOLV_AT_NEWEST(BM_Psychological, {14});
ZOLV_AT_NEWEST(BM_Rsi, {14});
ZOLV_AT_NEWEST(BM_Rci, {9, 100, 1000});
ZOLV_AT_NEWEST(BM_Cci, {20});
BENCHMARK(BM_Tr)->ArgsProduct({kBars})->Unit(benchmark::kMicrosecond);
ZOLV_AT_NEWEST(BM_Dmi, {14}, {14});
ZOLV_AT_NEWEST(BM_StcK, {14});
ZOLV_AT_NEWEST(BM_StcD, {14}, {3});
ZOLV_AT_NEWEST(BM_StcSd, {14}, {3}, {3});
ZOLV_AT_NEWEST(BM_WilliamsR, {14});
ZOLV_AT_NEWEST(BM_UltimateOsi, {7});
ZOLV_AT_NEWEST(BM_Vr1, {26});
ZOLV_AT_NEWEST(BM_Vr2, {26});
ZOLV_AT_NEWEST(BM_Wvr, {26});
ZOLV_AT_NEWEST(BM_Mfi, {14});

BENCHMARK(BM_FirstEma)->ArgsProduct({kBars, {26}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FirstMacd)->ArgsProduct({kBars, {12}, {26}, {9}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FirstConvEma)->ArgsProduct({kBars, {12}, {26}})->Unit(benchmark::kMicrosecond);

BENCHMARK(BM_SeriesEma)->ArgsProduct({{1000000}, {20}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SeriesMacd)->Arg(1000000)->Unit(benchmark::kMicrosecond);

BENCHMARK(BM_SetlistMemory)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PushBackMemory)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RememberedEmaMemory)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoundedWindowMemory)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
