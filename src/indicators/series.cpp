// This file contains the whole-series calculations: each indicator at every bar in one pass
// where running sums, forward averages or monotonic queues reproduce the per-bar values to the
// bit, and the per-bar calculation at every bar where a double sum depends on its order.
#include "indicators/series.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "indicators/ema_chain.h"

namespace zolv {

const char* const kSeriesOpNames[kSeriesOpCount + 1] = {
    "bollingerband", "cci",   "conv_ema",   "conv_sma",      "dmi",   "ema", "hlband",
    "macd",          "mfi",   "momentum",   "psychological", "rci",   "roc", "rsi",
    "sma",           "stc_d", "stc_k",      "stc_sd",        "stdev", "tr",  "ultimate_osi",
    "vr1",           "vr2",   "williams_r", "wvr",           nullptr};

namespace {

struct OpInfo {
    SeriesShape shape;
    int width;
    size_t params;
};

// Indexed by SeriesOp.
constexpr OpInfo kOpInfo[kSeriesOpCount] = {
    {SeriesShape::kRealList, 6, 1},     // bollingerband
    {SeriesShape::kReal, 1, 1},         // cci
    {SeriesShape::kReal, 1, 2},         // conv_ema
    {SeriesShape::kReal, 1, 2},         // conv_sma
    {SeriesShape::kRealList, 4, 2},     // dmi
    {SeriesShape::kReal, 1, 1},         // ema
    {SeriesShape::kIntegerList, 3, 1},  // hlband
    {SeriesShape::kRealList, 2, 3},     // macd
    {SeriesShape::kReal, 1, 1},         // mfi
    {SeriesShape::kReal, 1, 1},         // momentum
    {SeriesShape::kReal, 1, 1},         // psychological
    {SeriesShape::kReal, 1, 1},         // rci
    {SeriesShape::kReal, 1, 1},         // roc
    {SeriesShape::kReal, 1, 1},         // rsi
    {SeriesShape::kReal, 1, 1},         // sma
    {SeriesShape::kReal, 1, 2},         // stc_d
    {SeriesShape::kReal, 1, 1},         // stc_k
    {SeriesShape::kReal, 1, 3},         // stc_sd
    {SeriesShape::kReal, 1, 1},         // stdev
    {SeriesShape::kInteger, 1, 0},      // tr
    {SeriesShape::kReal, 1, 1},         // ultimate_osi
    {SeriesShape::kReal, 1, 1},         // vr1
    {SeriesShape::kReal, 1, 1},         // vr2
    {SeriesShape::kReal, 1, 1},         // williams_r
    {SeriesShape::kReal, 1, 1},         // wvr
};

// Integers of magnitude up to 2^53 are exact doubles: a double sum whose every partial sum
// stays within it is the exact integer sum, whatever the order of its terms.
constexpr int64_t kExactLimit = int64_t{1} << 53;

// True when `count` terms of magnitude at most `largest` always add up exactly in doubles.
bool sums_exact(int64_t count, int64_t largest) {
    return largest == 0 || count <= kExactLimit / largest;
}

int64_t size_of(const Column& c) {
    return static_cast<int64_t>(c.size());
}

// The bars [first, end) where an operation succeeds; empty when first >= end.
struct Bars {
    int64_t first;
    int64_t end;
};
constexpr Bars kNoBars{0, 0};

// Writes bar values into the result.
class Writer {
public:
    explicit Writer(SeriesResult* r) : r_(r) {}
    double* reals(int64_t k) {
        r_->valid[static_cast<size_t>(k)] = 1;
        return &r_->reals[static_cast<size_t>(k * r_->width)];
    }
    int64_t* integers(int64_t k) {
        r_->valid[static_cast<size_t>(k)] = 1;
        return &r_->integers[static_cast<size_t>(k * r_->width)];
    }
    void real(int64_t k, double v) { *reals(k) = v; }

private:
    SeriesResult* r_;
};

// The bars where the window check of sma, ema and stdev passes: 1 <= n <= size of the column
// read and n - 1 <= k < that size (k also below the number of bars).
Bars window_bars(int n, int64_t column, int64_t bars) {
    if (n < 1 || n > column) return kNoBars;
    return {n - 1, std::min(column, bars)};
}

// Marks every bar of `bars` as valid.
void mark_valid(SeriesResult* r, Bars bars) {
    std::fill(r->valid.begin() + bars.first, r->valid.begin() + bars.end, uint8_t{1});
}

// The operations whose functions write every value of the bars where they succeed
// (ema, sma, macd) get a result that is sized but not cleared; this marks those bars valid
// and clears the values of every other bar.
void finish_dense(SeriesResult* r, Bars bars) {
    const int64_t count = static_cast<int64_t>(r->valid.size());
    if (bars.first >= bars.end) bars = {count, count};
    mark_valid(r, bars);
    double* values = r->reals.data();
    std::fill(values, values + bars.first * r->width, 0.0);
    std::fill(values + bars.end * r->width, values + count * r->width, 0.0);
}

Bars intersect(Bars a, Bars b) {
    return {std::max(a.first, b.first), std::min(a.end, b.end)};
}

// ---- Moving averages ----------------------------------------------------------------------

// sma(n) at every bar of `bars`: a running 64-bit window sum is the exact sum, so its double
// divided by n is the per-bar value.
void sma_line(int n, const Column& c, Bars bars, double* line) {
    int64_t sum = 0;
    for (int64_t k = 0; k < bars.end; ++k) {
        sum += c[static_cast<size_t>(k)];
        if (k >= n) sum -= c[static_cast<size_t>(k - n)];
        if (k >= bars.first) line[k] = static_cast<double>(sum) / n;
    }
}

// ema(n) at every bar of `bars` (bars.first is n - 1, or any bar for n = 1) in one forward
// pass from the seed, one step per bar. For n = 1 the factor is 1.0 and each step lands exactly
// on the bar's own value, as the per-bar base case answers.
void ema_line(int n, const Column& c, Bars bars, double* line) {
    if (bars.first >= bars.end) return;
    EmaChain chain(n, c, static_cast<int>(bars.first));
    line[chain.start] = chain.value;
    for (int64_t k = int64_t{chain.start} + 1; k < bars.end; ++k) {
        chain.step(static_cast<double>(c[static_cast<size_t>(k)]));
        line[k] = chain.value;
    }
}

void sma_series(const ZOLV& z, char type, int n, int64_t count, SeriesResult* r) {
    const Column& c = z.select_column(type);
    const Bars bars = window_bars(n, size_of(c), count);
    if (bars.first < bars.end) sma_line(n, c, bars, r->reals.data());  // written in place
    finish_dense(r, bars);
}

void ema_series(const ZOLV& z, char type, int n, int64_t count, SeriesResult* r) {
    const Column& c = z.select_column(type);
    const Bars bars = window_bars(n, size_of(c), count);
    if (bars.first < bars.end) ema_line(n, c, bars, r->reals.data());  // written in place
    finish_dense(r, bars);
}

// The deviation rate (short / long - 1) * 100 of two averages, where both windows pass.
void conv_series(const ZOLV& z, char type, int s, int l, bool exponential, int64_t count,
                 SeriesResult* r) {
    const Column& c = z.select_column(type);
    const Bars short_bars = window_bars(s, size_of(c), count);
    const Bars long_bars = window_bars(l, size_of(c), count);
    const Bars bars = intersect(short_bars, long_bars);
    if (bars.first >= bars.end) return;
    std::vector<double> short_line(static_cast<size_t>(bars.end));
    std::vector<double> long_line(static_cast<size_t>(bars.end));
    if (exponential) {
        ema_line(s, c, {short_bars.first, bars.end}, short_line.data());
        ema_line(l, c, {long_bars.first, bars.end}, long_line.data());
    } else {
        sma_line(s, c, {short_bars.first, bars.end}, short_line.data());
        sma_line(l, c, {long_bars.first, bars.end}, long_line.data());
    }
    Writer w(r);
    for (int64_t k = bars.first; k < bars.end; ++k) {
        const size_t q = static_cast<size_t>(k);
        w.real(k, (short_line[q] / long_line[q] - 1.0) * 100.0);
    }
}

// ---- Bands and MACD -----------------------------------------------------------------------

// For every j >= t - 1 (entry j; entries before are unused), the largest value of c[j - t + 1]
// .. c[j] if `largest`, else the smallest, through a monotonic queue of indices. Only the value
// counts, so which of several equal extremes the queue keeps does not matter.
std::vector<int32_t> window_extremes(const Column& c, int64_t t, bool largest, int64_t count) {
    std::vector<int32_t> out(static_cast<size_t>(count));
    std::vector<int64_t> queue(static_cast<size_t>(count));
    int64_t head = 0;
    int64_t tail = 0;
    for (int64_t j = 0; j < count; ++j) {
        const int32_t v = c[static_cast<size_t>(j)];
        // Drop the queued values that can no longer be the extreme of a window holding v.
        while (tail > head) {
            const int32_t back = c[static_cast<size_t>(queue[static_cast<size_t>(tail - 1)])];
            if (largest ? back > v : back < v) break;
            --tail;
        }
        queue[static_cast<size_t>(tail++)] = j;
        if (queue[static_cast<size_t>(head)] <= j - t) ++head;
        if (j >= t - 1) {
            out[static_cast<size_t>(j)] = c[static_cast<size_t>(queue[static_cast<size_t>(head)])];
        }
    }
    return out;
}

void bollingerband_series(const ZOLV& z, char type, int t, int64_t count, SeriesResult* r) {
    const Column& c = z.select_column(type);
    Writer w(r);
    double v[6];
    for (int64_t k = 0; k < count; ++k) {
        if (z.calc.bollingerband(t, c, static_cast<int>(k), &v[0], &v[1], &v[2], &v[3], &v[4],
                                 &v[5])) {
            continue;
        }
        std::memcpy(w.reals(k), v, sizeof v);
    }
}

// Highest high, lowest low and midpoint of the t bars before each bar.
void hlband_series(const ZOLV& z, int t, int64_t count, SeriesResult* r) {
    const int64_t size = size_of(z.high);
    if (t < 1 || int64_t{t} + 1 > size || size_of(z.low) != size) return;
    const Bars bars{t, std::min(size, count)};
    if (bars.first >= bars.end) return;
    const std::vector<int32_t> highest = window_extremes(z.high, t, true, bars.end - 1);
    const std::vector<int32_t> lowest = window_extremes(z.low, t, false, bars.end - 1);
    Writer w(r);
    for (int64_t k = bars.first; k < bars.end; ++k) {
        const int64_t hi = highest[static_cast<size_t>(k - 1)];
        const int64_t lo = lowest[static_cast<size_t>(k - 1)];
        int64_t* out = w.integers(k);
        out[0] = hi;
        out[1] = lo;
        out[2] = static_cast<int32_t>((hi + lo) / 2);
    }
}

// Both averages advance together in one forward pass that writes the MACD line; a second
// pass forms each signal, the sig line values summed newest first as the per-bar calculation
// does. The second pass works on eight bars at once: their sums are independent chains, each
// in its own order, so the machine overlaps them.
void macd_series(const ZOLV& z, int t1, int t2, int sig, int64_t count, SeriesResult* r) {
    const Column& c = z.close;
    const int64_t longer = std::max(t1, t2);
    const Bars bars = t1 > 0 && t2 > 0 && sig > 0 ? Bars{longer + sig - 2, count} : kNoBars;
    if (bars.first >= bars.end) return finish_dense(r, kNoBars);
    double* out = r->reals.data();  // two values per bar: line, signal
    walk_ema_pair(t1, t2, c, static_cast<int>(longer - 1), static_cast<int>(count - 1),
                  [out](int k, double e1, double e2) { out[2 * int64_t{k}] = e1 - e2; });
    auto line = [out](int64_t k) { return out[2 * k]; };
    constexpr int64_t kLanes = 8;
    int64_t k = bars.first;
    for (; k + kLanes <= bars.end; k += kLanes) {
        double sums[kLanes] = {};
        for (int64_t q = 0; q < sig; ++q) {
            for (int64_t j = 0; j < kLanes; ++j) sums[j] = line(k + j - q) + sums[j];
        }
        for (int64_t j = 0; j < kLanes; ++j) out[2 * (k + j) + 1] = sums[j] / sig;
    }
    for (; k < bars.end; ++k) {
        double sum = 0.0;
        for (int64_t q = 0; q < sig; ++q) sum = line(k - q) + sum;
        out[2 * k + 1] = sum / sig;
    }
    finish_dense(r, bars);  // bars before the first signal hold a line value: cleared
}

// ---- Momentum family ----------------------------------------------------------------------

void momentum_series(const ZOLV& z, char type, int n, int64_t count, SeriesResult* r) {
    const Column& c = z.select_column(type);
    Writer w(r);
    for (int64_t k = 0; k < count; ++k) {
        int64_t difference = 0;
        if (z.calc.momentum(n, c, static_cast<int>(k), &difference)) continue;
        w.real(k, static_cast<double>(difference));
    }
}

// The share of rising steps among the n steps ending at each bar, from a running count.
void psychological_series(const ZOLV& z, char type, int n, int64_t count, SeriesResult* r) {
    const Column& c = z.select_column(type);
    const int64_t size = size_of(c);
    if (n < 1 || int64_t{n} + 1 > size) return;
    const Bars bars{n, std::min(size, count)};
    auto rises = [&c](int64_t k) {
        return c[static_cast<size_t>(k)] > c[static_cast<size_t>(k - 1)];
    };
    Writer w(r);
    int rising = 0;
    for (int64_t k = 1; k < bars.end; ++k) {
        if (rises(k)) ++rising;
        if (k - n >= 1 && rises(k - n)) --rising;
        if (k >= bars.first) w.real(k, static_cast<double>(rising) / n * 100.0);
    }
}

// Gains and losses of close against open over the n bars ending at each bar, as running sums.
void rsi_series(const ZOLV& z, int n, int64_t count, SeriesResult* r) {
    const int64_t size = size_of(z.open);
    if (n < 1 || n > size || size != size_of(z.close)) return;
    const Bars bars{n - 1, std::min(size, count)};
    auto move = [&z](int64_t k) {
        return int64_t{z.close[static_cast<size_t>(k)]} - z.open[static_cast<size_t>(k)];
    };
    Writer w(r);
    int64_t up = 0;
    int64_t down = 0;
    for (int64_t k = 0; k < bars.end; ++k) {
        const int64_t d = move(k);
        if (d > 0) up += d;
        if (d < 0) down -= d;
        if (k - n >= 0) {
            const int64_t old = move(k - n);
            if (old > 0) up -= old;
            if (old < 0) down += old;
        }
        if (k >= bars.first) {
            w.real(k, static_cast<double>(up) / static_cast<double>(down + up) * 100.0);
        }
    }
}

void roc_series(const ZOLV& z, int n, int64_t count, SeriesResult* r) {
    Writer w(r);
    double v = 0.0;
    for (int64_t k = 0; k < count; ++k) {
        if (!z.calc.roc(n, z.close, static_cast<int>(k), &v)) w.real(k, v);
    }
}

void rci_series(const ZOLV& z, char type, int n, int64_t count, SeriesResult* r) {
    const Column& c = z.select_column(type);
    Writer w(r);
    double v = 0.0;
    for (int64_t k = 0; k < count; ++k) {
        if (!z.calc.rci(n, c, static_cast<int>(k), &v)) w.real(k, v);
    }
}

// ---- Per-bar calculations of one column or of high, low, close (and volume) ---------------

void stdev_series(const ZOLV& z, char type, int n, int64_t count, SeriesResult* r) {
    const Column& c = z.select_column(type);
    Writer w(r);
    double v = 0.0;
    for (int64_t k = 0; k < count; ++k) {
        if (!z.calc.stdev(n, c, static_cast<int>(k), &v)) w.real(k, v);
    }
}

void cci_series(const ZOLV& z, int t, int64_t count, SeriesResult* r) {
    Writer w(r);
    double v = 0.0;
    for (int64_t k = 0; k < count; ++k) {
        if (!z.calc.cci(t, z.high, z.low, z.close, static_cast<int>(k), &v)) w.real(k, v);
    }
}

void mfi_series(const ZOLV& z, int t, int64_t count, SeriesResult* r) {
    Writer w(r);
    double v = 0.0;
    for (int64_t k = 0; k < count; ++k) {
        if (!z.calc.mfi(t, z.high, z.low, z.close, z.volume, static_cast<int>(k), &v)) {
            w.real(k, v);
        }
    }
}

void tr_series(const ZOLV& z, int64_t count, SeriesResult* r) {
    Writer w(r);
    int64_t v = 0;
    for (int64_t k = 0; k < count; ++k) {
        if (!z.calc.tr(z.high, z.low, z.close, static_cast<int>(k), &v)) *w.integers(k) = v;
    }
}

// ---- Directional movement -----------------------------------------------------------------

// True range and directional movements of bar u against bar u - 1 (u >= 1).
struct BarMove {
    int64_t range = 0;
    int64_t plus = 0;
    int64_t minus = 0;
};

BarMove bar_move(const ZOLV& z, int64_t u) {
    const size_t k = static_cast<size_t>(u);
    const int64_t high = z.high[k];
    const int64_t low = z.low[k];
    const int64_t prev_close = z.close[k - 1];
    BarMove move;
    move.range = high - low;
    if (high - prev_close > move.range) move.range = high - prev_close;
    if (prev_close - low > move.range) move.range = prev_close - low;
    const int64_t up_diff = high - z.high[k - 1];
    const int64_t down_diff = int64_t{z.low[k - 1]} - low;
    const int64_t up = up_diff > 0 ? up_diff : 0;
    const int64_t down = down_diff > 0 ? down_diff : 0;
    if (up > down) {
        move.plus = up;
    } else if (down > up) {
        move.minus = down;
    }
    return move;
}

// Each window's DX from running sums (exact integers); ADX sums m DX values newest first.
void dmi_series(const ZOLV& z, int n, int m, int64_t count, SeriesResult* r) {
    const int64_t size = count;
    if (size == 0 || n < 1 || n > size - 1 || m < 1 || m > size - 1) return;
    if (size_of(z.high) != size || size_of(z.low) != size) return;
    const Bars bars{int64_t{n} + m, size};
    if (bars.first >= bars.end) return;
    // +DI, -DI and DX of the n-bar window ending at j, for j >= n.
    std::vector<double> pdi(static_cast<size_t>(size));
    std::vector<double> mdi(static_cast<size_t>(size));
    std::vector<double> dx(static_cast<size_t>(size));
    int64_t sum_tr = 0;
    int64_t sum_plus = 0;
    int64_t sum_minus = 0;
    for (int64_t j = 1; j < size; ++j) {
        const BarMove in = bar_move(z, j);
        sum_tr += in.range;
        sum_plus += in.plus;
        sum_minus += in.minus;
        if (j - n >= 1) {
            const BarMove out = bar_move(z, j - n);
            sum_tr -= out.range;
            sum_plus -= out.plus;
            sum_minus -= out.minus;
        }
        if (j < n) continue;
        const double total = static_cast<double>(sum_tr);
        const double plus_di = static_cast<double>(sum_plus) / total * 100.0;
        const double minus_di = static_cast<double>(sum_minus) / total * 100.0;
        const size_t q = static_cast<size_t>(j);
        pdi[q] = plus_di;
        mdi[q] = minus_di;
        dx[q] = std::fabs(plus_di - minus_di) / (minus_di + plus_di) * 100.0;
    }
    Writer w(r);
    for (int64_t b = bars.first; b < bars.end; ++b) {
        double sum_dx = 0.0;
        bool mixed = false;
        for (int64_t j = b; j > b - m && !mixed; --j) {
            const double value = dx[static_cast<size_t>(j)];
            mixed = std::isnan(sum_dx) && std::isnan(value) &&
                    std::signbit(sum_dx) != std::signbit(value);
            sum_dx += value;
        }
        if (mixed) {
            // Two NaNs of opposite sign (DX takes an absolute value, so a flat window's NaN
            // is positive while 0/0 gives the negative default NaN) meet in the sum: which one
            // survives depends on the operand order the compiler picked for the addition, so
            // the per-bar calculation itself answers for this bar.
            double v[4];
            if (!z.calc.dmi(n, m, z.high, z.low, z.close, static_cast<int>(b), &v[0], &v[1], &v[2],
                            &v[3])) {
                std::memcpy(w.reals(b), v, sizeof v);
            }
            continue;
        }
        double* out = w.reals(b);
        const size_t q = static_cast<size_t>(b);
        out[0] = pdi[q];
        out[1] = mdi[q];
        out[2] = dx[q];
        out[3] = sum_dx / static_cast<double>(m);
    }
}

// ---- Stochastics --------------------------------------------------------------------------

bool hlc_sizes_differ(const ZOLV& z) {
    return z.high.size() != z.close.size() || z.low.size() != z.close.size();
}

// %K (or, for Williams %R, the distance from the top) of the t-bar window ending at each bar,
// from monotonic queues; a flat window answers 0.
void k_series(const ZOLV& z, int t, bool williams, int64_t count, SeriesResult* r) {
    if (t < 1 || t > count || hlc_sizes_differ(z)) return;
    const std::vector<int32_t> highest = window_extremes(z.high, t, true, count);
    const std::vector<int32_t> lowest = window_extremes(z.low, t, false, count);
    Writer w(r);
    for (int64_t b = t - 1; b < count; ++b) {
        const size_t q = static_cast<size_t>(b);
        const int64_t hi = highest[q];
        const int64_t lo = lowest[q];
        const int64_t range = hi - lo;
        double value = 0.0;
        if (range != 0) {
            const int64_t part = williams ? hi - z.close[q] : z.close[q] - lo;
            value = static_cast<double>(part) / static_cast<double>(range) * 100.0;
        }
        w.real(b, value);
    }
}

// %D at every bar j >= t + m - 2 (entry j; the others unused): the m %K numerators and ranges
// ending at j, summed. Returns false when such a sum could be inexact in doubles; the per-bar
// calculation then has to do the work.
bool d_line(const ZOLV& z, int t, int m, int64_t count, std::vector<double>* line) {
    const std::vector<int32_t> highest = window_extremes(z.high, t, true, count);
    const std::vector<int32_t> lowest = window_extremes(z.low, t, false, count);
    const int64_t first = int64_t{t} - 1;
    std::vector<int64_t> numerators(static_cast<size_t>(count));
    std::vector<int64_t> ranges(static_cast<size_t>(count));
    int64_t largest = 0;
    for (int64_t j = first; j < count; ++j) {
        const size_t q = static_cast<size_t>(j);
        numerators[q] = int64_t{z.close[q]} - lowest[q];
        ranges[q] = int64_t{highest[q]} - lowest[q];
        largest = std::max({largest, std::abs(numerators[q]), std::abs(ranges[q])});
    }
    if (!sums_exact(m, largest)) return false;
    int64_t numerator = 0;
    int64_t range = 0;
    for (int64_t j = first; j < count; ++j) {
        const size_t q = static_cast<size_t>(j);
        numerator += numerators[q];
        range += ranges[q];
        if (j - m >= first) {
            numerator -= numerators[q - static_cast<size_t>(m)];
            range -= ranges[q - static_cast<size_t>(m)];
        }
        if (j - first >= m - 1) {
            (*line)[q] = static_cast<double>(numerator) / static_cast<double>(range) * 100.0;
        }
    }
    return true;
}

void stc_d_series(const ZOLV& z, int t, int m, int64_t count, SeriesResult* r) {
    if (t < 1 || t > count || m < 1 || m > count || hlc_sizes_differ(z)) return;
    const Bars bars{int64_t{t} + m - 2, count};
    if (bars.first >= bars.end) return;
    Writer w(r);
    std::vector<double> line(static_cast<size_t>(count));
    if (d_line(z, t, m, count, &line)) {
        for (int64_t b = bars.first; b < bars.end; ++b) w.real(b, line[static_cast<size_t>(b)]);
        return;
    }
    double v = 0.0;
    for (int64_t b = bars.first; b < bars.end; ++b) {
        if (!z.calc.stc_d(t, m, z.high, z.low, z.close, static_cast<int>(b), &v)) w.real(b, v);
    }
}

// The mean of y %D values, summed newest first as the per-bar calculation does.
void stc_sd_series(const ZOLV& z, int t, int m, int y, int64_t count, SeriesResult* r) {
    if (t < 1 || t > count || m < 1 || m > count || y < 1 || y > count) return;
    if (hlc_sizes_differ(z)) return;
    const Bars bars{int64_t{t} + m + y - 3, count};
    if (bars.first >= bars.end) return;
    Writer w(r);
    std::vector<double> line(static_cast<size_t>(count));
    if (d_line(z, t, m, count, &line)) {
        for (int64_t b = bars.first; b < bars.end; ++b) {
            double sum = 0.0;
            for (int64_t j = b; j > b - y; --j) sum += line[static_cast<size_t>(j)];
            w.real(b, sum / static_cast<double>(y));
        }
        return;
    }
    double v = 0.0;
    for (int64_t b = bars.first; b < bars.end; ++b) {
        if (!z.calc.stc_sd(t, m, y, z.high, z.low, z.close, static_cast<int>(b), &v)) {
            w.real(b, v);
        }
    }
}

// Buying pressure over true range for the t, 2t and 4t bars ending at each bar, from running
// sums when the double sums of the per-bar calculation are exact integers.
void ultimate_osi_series(const ZOLV& z, int t, int64_t count, SeriesResult* r) {
    if (t <= 0 || 4 * int64_t{t} + 1 > count || hlc_sizes_differ(z)) return;
    const int64_t span = 4 * int64_t{t};
    const Bars bars{span, count};
    std::vector<int64_t> pressure(static_cast<size_t>(count));
    std::vector<int64_t> range(static_cast<size_t>(count));
    int64_t largest = 0;
    for (int64_t i = 1; i < count; ++i) {
        const size_t q = static_cast<size_t>(i);
        const int64_t previous = z.close[q - 1];
        const int64_t high = z.high[q];
        const int64_t low = z.low[q];
        const int64_t true_low = low <= previous ? low : previous;
        int64_t true_range = high - low;
        if (high - previous > true_range) true_range = high - previous;
        if (previous - low > true_range) true_range = previous - low;
        pressure[q] = z.close[q] - true_low;
        range[q] = true_range;
        largest = std::max({largest, std::abs(pressure[q]), std::abs(true_range)});
    }
    Writer w(r);
    if (!sums_exact(span, largest)) {
        double v = 0.0;
        for (int64_t b = bars.first; b < bars.end; ++b) {
            if (!z.calc.ultimate_osi(t, z.high, z.low, z.close, static_cast<int>(b), &v)) {
                w.real(b, v);
            }
        }
        return;
    }
    // Running sums of the windows of t, 2t and 4t bars.
    const int64_t lengths[3] = {t, 2 * int64_t{t}, span};
    int64_t sum_bp[3] = {0, 0, 0};
    int64_t sum_tr[3] = {0, 0, 0};
    for (int64_t i = 1; i < count; ++i) {
        const size_t q = static_cast<size_t>(i);
        for (int p = 0; p < 3; ++p) {
            sum_bp[p] += pressure[q];
            sum_tr[p] += range[q];
            if (i - lengths[p] >= 1) {
                sum_bp[p] -= pressure[q - static_cast<size_t>(lengths[p])];
                sum_tr[p] -= range[q - static_cast<size_t>(lengths[p])];
            }
        }
        if (i < bars.first) continue;
        const double a1 = static_cast<double>(sum_bp[0]) / static_cast<double>(sum_tr[0]);
        const double a2 = static_cast<double>(sum_bp[1]) / static_cast<double>(sum_tr[1]);
        const double a4 = static_cast<double>(sum_bp[2]) / static_cast<double>(sum_tr[2]);
        w.real(i, ((2.0 * a2 + 4.0 * a1) + a4) * 14.285714285714285);
    }
}

// ---- Volume ratios ------------------------------------------------------------------------

enum class VolumeRatio { kVr1, kVr2, kWvr };

// The volumes of rising, falling and unchanged closes over the t bars ending at each bar, as
// running sums.
void volume_ratio_series(const ZOLV& z, VolumeRatio kind, int t, int64_t count, SeriesResult* r) {
    const int64_t size = count;
    if (t <= 0 || int64_t{t} + 1 > size || size_of(z.volume) != size) return;
    const Column& c = z.close;
    const Column& v = z.volume;
    // Which sum bar k adds to: 0 up, 1 down, 2 even.
    auto side = [&c](size_t k) { return c[k] > c[k - 1] ? 0 : c[k] < c[k - 1] ? 1 : 2; };
    int64_t sums[3] = {0, 0, 0};
    Writer w(r);
    for (int64_t k = 1; k < size; ++k) {
        const size_t q = static_cast<size_t>(k);
        sums[side(q)] += v[q];
        if (k - t >= 1) {
            const size_t old = q - static_cast<size_t>(t);
            sums[side(old)] -= v[old];
        }
        if (k < t) continue;
        const int64_t up = sums[0];
        const int64_t down = sums[1];
        const int64_t even = sums[2];
        const double half_even = static_cast<double>(even) * 0.5;
        double value = 0.0;
        if (kind == VolumeRatio::kVr1) {
            value = (static_cast<double>(up) + half_even) /
                    (static_cast<double>(down) + half_even) * 100.0;
        } else if (kind == VolumeRatio::kVr2) {
            value = (half_even + static_cast<double>(up)) / static_cast<double>(up + down + even) *
                    100.0;
        } else {
            const double net =
                static_cast<double>(up) - static_cast<double>(even) - static_cast<double>(down);
            value = net / static_cast<double>(up + down + even) * 100.0;
        }
        w.real(k, value);
    }
}

}  // namespace

bool find_series_op(const std::string& name, SeriesOp* op) {
    for (int k = 0; k < kSeriesOpCount; ++k) {
        if (name == kSeriesOpNames[k]) {
            *op = static_cast<SeriesOp>(k);
            return true;
        }
    }
    return false;
}

int series(const ZOLV& z, SeriesOp op, char type, const std::vector<int>& params,
           SeriesResult* out) {
    const int index = static_cast<int>(op);
    if (index < 0 || index >= kSeriesOpCount) return ZOLV_UNKNOWN_ERROR;
    const OpInfo& info = kOpInfo[index];
    if (params.size() != info.params) return ZOLV_UNKNOWN_ERROR;
    const int64_t count = size_of(z.close);  // bar k is the cursor index k
    SeriesResult& r = *out;                  // filled in place, so repeated calls reuse its storage
    r.shape = info.shape;
    r.width = info.width;
    r.valid.assign(static_cast<size_t>(count), 0);
    const size_t values = static_cast<size_t>(count) * static_cast<size_t>(info.width);
    if (info.shape == SeriesShape::kInteger || info.shape == SeriesShape::kIntegerList) {
        r.integers.assign(values, 0);
        r.reals.clear();
    } else if (op == SeriesOp::kEma || op == SeriesOp::kSma || op == SeriesOp::kMacd) {
        r.reals.resize(values);  // every value is written: no need to clear it first
        r.integers.clear();
    } else {
        r.reals.assign(values, 0.0);
        r.integers.clear();
    }
    const int p0 = params.size() > 0 ? params[0] : 0;
    const int p1 = params.size() > 1 ? params[1] : 0;
    const int p2 = params.size() > 2 ? params[2] : 0;
    switch (op) {
        case SeriesOp::kBollingerband:
            bollingerband_series(z, type, p0, count, &r);
            break;
        case SeriesOp::kCci:
            cci_series(z, p0, count, &r);
            break;
        case SeriesOp::kConvEma:
            conv_series(z, type, p0, p1, true, count, &r);
            break;
        case SeriesOp::kConvSma:
            conv_series(z, type, p0, p1, false, count, &r);
            break;
        case SeriesOp::kDmi:
            dmi_series(z, p0, p1, count, &r);
            break;
        case SeriesOp::kEma:
            ema_series(z, type, p0, count, &r);
            break;
        case SeriesOp::kHlband:
            hlband_series(z, p0, count, &r);
            break;
        case SeriesOp::kMacd:
            macd_series(z, p0, p1, p2, count, &r);
            break;
        case SeriesOp::kMfi:
            mfi_series(z, p0, count, &r);
            break;
        case SeriesOp::kMomentum:
            momentum_series(z, type, p0, count, &r);
            break;
        case SeriesOp::kPsychological:
            psychological_series(z, type, p0, count, &r);
            break;
        case SeriesOp::kRci:
            rci_series(z, type, p0, count, &r);
            break;
        case SeriesOp::kRoc:
            roc_series(z, p0, count, &r);
            break;
        case SeriesOp::kRsi:
            rsi_series(z, p0, count, &r);
            break;
        case SeriesOp::kSma:
            sma_series(z, type, p0, count, &r);
            break;
        case SeriesOp::kStcD:
            stc_d_series(z, p0, p1, count, &r);
            break;
        case SeriesOp::kStcK:
            k_series(z, p0, false, count, &r);
            break;
        case SeriesOp::kStcSd:
            stc_sd_series(z, p0, p1, p2, count, &r);
            break;
        case SeriesOp::kStdev:
            stdev_series(z, type, p0, count, &r);
            break;
        case SeriesOp::kTr:
            tr_series(z, count, &r);
            break;
        case SeriesOp::kUltimateOsi:
            ultimate_osi_series(z, p0, count, &r);
            break;
        case SeriesOp::kVr1:
            volume_ratio_series(z, VolumeRatio::kVr1, p0, count, &r);
            break;
        case SeriesOp::kVr2:
            volume_ratio_series(z, VolumeRatio::kVr2, p0, count, &r);
            break;
        case SeriesOp::kWilliamsR:
            k_series(z, p0, true, count, &r);
            break;
        case SeriesOp::kWvr:
            volume_ratio_series(z, VolumeRatio::kWvr, p0, count, &r);
            break;
    }
    return ZOLV_OK;
}

}  // namespace zolv
