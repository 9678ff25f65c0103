// Stochastics %K, %D and slow %D, Williams %R and the ultimate oscillator: oscillators of the
// close against the high/low range of the bars before it, at one bar and as whole lines.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "indicators/series_lines.h"
#include "series/zolv.h"

namespace {

// True unless 1 <= t <= size.
bool length_fails(int t, const Column& c) {
    return as_unsigned(t) > column_size(c) || t < 1;
}

// True unless 0 <= b < size.
bool bar_fails(int b, const Column& c) {
    return as_unsigned(b) >= column_size(c) || b < 0;
}

// High and low must cover exactly the bars of close.
bool sizes_differ(const Column& h, const Column& l, const Column& c) {
    return h.size() != c.size() || l.size() != c.size();
}

struct Extremes {
    int64_t highest;
    int64_t lowest;
};

// Highest high and lowest low of the t bars ending at j, scanned from j back to j - t + 1,
// replaced only by a strictly larger high or a strictly smaller low. Ranges are checked
// by the caller.
Extremes window_extremes(int t, const Column& h, const Column& l, int j) {
    int32_t highest = h[j];
    int32_t lowest = l[j];
    for (int k = j - 1; k > j - t; --k) {
        if (h[k] > highest) highest = h[k];
        if (l[k] < lowest) lowest = l[k];
    }
    return {highest, lowest};
}

// A scratch array of n values: on the stack when it is small, on the heap otherwise.
template <typename T>
class Scratch {
public:
    explicit Scratch(size_t n) : heap_(n > kLocal ? n : 0) {}
    T* data() { return heap_.empty() ? local_ : heap_.data(); }
    T& operator[](size_t k) { return data()[k]; }

private:
    static constexpr size_t kLocal = 64;
    T local_[kLocal];
    std::vector<T> heap_;
};

// The %K numerator close - lowest and range highest - lowest of each of the
// `count` windows of t bars ending at b, b - 1, ..., b - count + 1. When the
// windows overlap by at least one bar they share a core, whose extremes are
// found once; each window then adds the bars it has beyond the core on either
// side. Extremes are integers, so the grouping does not change them.
void k_windows(int t, int count, const Column& h, const Column& l, const Column& c, int b,
               double* numerators, double* ranges) {
    if (t < count) {
        for (int q = 0; q < count; ++q) {
            const Extremes w = window_extremes(t, h, l, b - q);
            numerators[q] = static_cast<double>(c[b - q] - w.lowest);
            ranges[q] = static_cast<double>(w.highest - w.lowest);
        }
        return;
    }
    // The core: bars b - t + 1 .. b - count + 1, in every window.
    const Extremes core = window_extremes(t - count + 1, h, l, b - count + 1);
    // Right of the core: window q also holds bars b - count + 2 .. b - q.
    Scratch<Extremes> right(static_cast<size_t>(count));
    Extremes run = core;
    right[count - 1] = run;
    for (int q = count - 2; q >= 0; --q) {
        run.highest = std::max<int64_t>(run.highest, h[b - q]);
        run.lowest = std::min<int64_t>(run.lowest, l[b - q]);
        right[q] = run;
    }
    // Left of the core: window q also holds bars b - q - t + 1 .. b - t.
    int64_t left_high = INT64_MIN;
    int64_t left_low = INT64_MAX;
    for (int q = 0; q < count; ++q) {
        if (q > 0) {
            const int k = b - q - t + 1;
            left_high = std::max<int64_t>(left_high, h[k]);
            left_low = std::min<int64_t>(left_low, l[k]);
        }
        const int64_t highest = std::max(right[q].highest, left_high);
        const int64_t lowest = std::min(right[q].lowest, left_low);
        numerators[q] = static_cast<double>(c[b - q] - lowest);
        ranges[q] = static_cast<double>(highest - lowest);
    }
}

// part / range * 100, in that order; a flat window (range 0) answers 0.
double percent_of_range(int64_t part, int64_t range) {
    if (range == 0) return 0.0;
    return static_cast<double>(part) / static_cast<double>(range) * 100.0;
}

// The checks shared by stc_k and williams_r.
bool k_window_fails(int t, const Column& h, const Column& l, const Column& c, int b) {
    if (length_fails(t, c)) return true;
    if (bar_fails(b, c)) return true;
    if (int64_t{b} - t + 1 < 0) return true;
    return sizes_differ(h, l, c);
}

}  // namespace

bool ZOLV_CALC::stc_k(int t, const Column& h, const Column& l, const Column& c, int b,
                      double* out) const {
    if (k_window_fails(t, h, l, c, b)) return true;
    const Extremes w = window_extremes(t, h, l, b);
    // %K = 100 * (close - lowest) / (highest - lowest)
    if (out != nullptr) *out = percent_of_range(c[b] - w.lowest, w.highest - w.lowest);
    return false;
}

bool ZOLV_CALC::stc_d(int t, int m, const Column& h, const Column& l, const Column& c, int b,
                      double* out) const {
    if (length_fails(t, c) || length_fails(m, c)) return true;
    if (bar_fails(b, c)) return true;
    if (int64_t{b} - t - m + 2 < 0) return true;  // the oldest bar read is b - m - t + 2
    if (sizes_differ(h, l, c)) return true;
    // Summed %K numerators over summed ranges of the m windows ending at b, b - 1, ...
    double numerator = 0.0;
    double denominator = 0.0;
    for (int j = b; j > b - m; --j) {
        const Extremes w = window_extremes(t, h, l, j);
        numerator += static_cast<double>(c[j] - w.lowest);
        denominator += static_cast<double>(w.highest - w.lowest);
    }
    // Every window flat: 0/0, a NaN, as a success.
    if (out != nullptr) *out = numerator / denominator * 100.0;
    return false;
}

bool ZOLV_CALC::stc_sd(int t, int m, int y, const Column& h, const Column& l, const Column& c,
                       int b, double* out) const {
    if (length_fails(t, c) || length_fails(m, c) || length_fails(y, c)) return true;
    if (bar_fails(b, c)) return true;
    if (int64_t{b} - t - m - y + 3 < 0) return true;
    if (sizes_differ(h, l, c)) return true;
    // The y %D values share their %K windows: the y + m - 1 windows ending at b, b - 1, ...
    const int windows = y + (m - 1);  // no more than b + 1 after the checks above
    Scratch<double> numerators(static_cast<size_t>(windows));
    Scratch<double> ranges(static_cast<size_t>(windows));
    k_windows(t, windows, h, l, c, b, numerators.data(), ranges.data());
    // Each %D at b - p sums its m windows newest first, exactly as stc_d does.
    double sum = 0.0;
    for (int p = 0; p < y; ++p) {
        double numerator = 0.0;
        double denominator = 0.0;
        for (int q = p; q < p + m; ++q) {
            numerator += numerators[q];
            denominator += ranges[q];
        }
        sum += numerator / denominator * 100.0;
    }
    if (out != nullptr) *out = sum / static_cast<double>(y);
    return false;
}

bool ZOLV_CALC::williams_r(int t, const Column& h, const Column& l, const Column& c, int b,
                           double* out) const {
    if (k_window_fails(t, h, l, c, b)) return true;
    const Extremes w = window_extremes(t, h, l, b);
    // %R = 100 * (highest - close) / (highest - lowest), without the minus sign
    if (out != nullptr) *out = percent_of_range(w.highest - c[b], w.highest - w.lowest);
    return false;
}

bool ZOLV_CALC::ultimate_osi(int t, const Column& h, const Column& l, const Column& c, int b,
                             double* out) const {
    if (t <= 0 || 4 * int64_t{t} + 1 > column_size(c)) return true;
    if (bar_fails(b, c)) return true;
    if (int64_t{b} - 4 * int64_t{t} < 0) return true;  // bar b - 4t lends its close
    if (sizes_differ(h, l, c)) return true;
    double pressure = 0.0;
    double range = 0.0;
    double a1 = 0.0;
    double a2 = 0.0;
    double a4 = 0.0;
    for (int i = b; i > b - 4 * t; --i) {
        const int64_t previous = c[i - 1];
        const int64_t high = h[i];
        const int64_t low = l[i];
        // True low and true range stretch the bar to the previous close.
        const int64_t true_low = low <= previous ? low : previous;
        int64_t true_range = high - low;
        if (high - previous > true_range) true_range = high - previous;
        if (previous - low > true_range) true_range = previous - low;
        pressure += static_cast<double>(c[i] - true_low);
        range += static_cast<double>(true_range);
        // A period without any range gives 0/0 or x/0: NaN or Inf, as a success.
        if (i == b - t + 1) a1 = pressure / range;
        if (i == b - 2 * t + 1) a2 = pressure / range;
        if (i == b - 4 * t + 1) a4 = pressure / range;
    }
    if (out != nullptr) *out = ((2.0 * a2 + 4.0 * a1) + a4) * 14.285714285714285;
    return false;
}

int ZOLV::stc_k(int t, double* out) const {
    return calc.stc_k(t, high, low, close, cursor_index(), out) ? ZOLV_CALC_ERROR : ZOLV_OK;
}

int ZOLV::stc_d(int t, int m, double* out) const {
    return calc.stc_d(t, m, high, low, close, cursor_index(), out) ? ZOLV_CALC_ERROR : ZOLV_OK;
}

int ZOLV::stc_sd(int t, int m, int y, double* out) const {
    return calc.stc_sd(t, m, y, high, low, close, cursor_index(), out) ? ZOLV_CALC_ERROR : ZOLV_OK;
}

int ZOLV::williams_r(int t, double* out) const {
    return calc.williams_r(t, high, low, close, cursor_index(), out) ? ZOLV_CALC_ERROR : ZOLV_OK;
}

int ZOLV::ultimate_osi(int t, double* out) const {
    return calc.ultimate_osi(t, high, low, close, cursor_index(), out) ? ZOLV_CALC_ERROR : ZOLV_OK;
}

// ---- Whole lines ----------------------------------------------------------------------------

namespace zolv {
namespace {

bool hlc_sizes_differ(const ZOLV& z) {
    return sizes_differ(z.high, z.low, z.close);
}

// The highest high and lowest low of the t-bar windows ending at consecutive bars.
struct RangeStream {
    RangeStream(const ZOLV& z, int t, int64_t first)
        : highest(z.high, t, true, first), lowest(z.low, t, false, first) {}
    void next(int64_t count, int32_t* hi, int32_t* lo) {
        highest.next(count, hi);
        lowest.next(count, lo);
    }
    WindowExtremes highest;
    WindowExtremes lowest;
};

// An upper bound of every %K numerator, range, buying pressure and true range whose window
// holds only bars from `first` on: the spread of all highs, lows and closes there.
int64_t spread_from(const ZOLV& z, int64_t first, int64_t end) {
    int64_t top = INT32_MIN;
    int64_t bottom = INT32_MAX;
    for (int64_t k = std::max<int64_t>(first, 0); k < end; ++k) {
        top = std::max({top, int64_t{z.high[k]}, int64_t{z.low[k]}, int64_t{z.close[k]}});
        bottom = std::min({bottom, int64_t{z.high[k]}, int64_t{z.low[k]}, int64_t{z.close[k]}});
    }
    return std::max<int64_t>(top - bottom, 0);
}

}  // namespace

// %K (or, for Williams %R, the distance from the top) of the t-bar window ending at each bar;
// a flat window answers 0.
Bars k_series(const ZOLV& z, int t, bool williams, Writer& w) {
    if (t < 1 || t > w.bars() || hlc_sizes_differ(z)) return kNoBars;
    const Bars bars{t - 1, w.bars()};
    for_chunks(bars, 4, [&](Bars chunk) {
        RangeStream windows(z, t, chunk.first);
        std::vector<int32_t> hi(static_cast<size_t>(kBlock));
        std::vector<int32_t> lo(static_cast<size_t>(kBlock));
        for (int64_t b0 = chunk.first; b0 < chunk.end; b0 += kBlock) {
            poll_stop();
            const int64_t count = std::min(kBlock, chunk.end - b0);
            windows.next(count, hi.data(), lo.data());
            const int32_t* c = z.close.data() + b0;
            double* out = w.reals(b0);
            with_lanes([&](auto) {
                for (size_t j = 0; j < static_cast<size_t>(count); ++j) {
                    const int64_t range = int64_t{hi[j]} - lo[j];
                    const int64_t part_of_range =
                        williams ? hi[j] - int64_t{c[j]} : c[j] - int64_t{lo[j]};
                    const double value =
                        static_cast<double>(part_of_range) / static_cast<double>(range) * 100.0;
                    out[j] = range != 0 ? value : 0.0;
                }
            });
        }
        w.set_valid(chunk);
    });
    return bars;
}

namespace {

// %D of consecutive bars: the m %K numerators and ranges ending at each bar, summed as 64-bit
// integers, which are the per-bar double sums when those are exact.
class DLine {
public:
    DLine(const ZOLV& z, int t, int m, int64_t first)
        : windows_(z, t, first - m + 1),
          close_(z.close.data()),
          at_(first - m + 1),
          numerators_(static_cast<size_t>(m)),
          ranges_(numerators_.size()),
          hi_(static_cast<size_t>(kBlock)),
          lo_(hi_.size()),
          totals_(hi_.size()) {
        // The m - 1 windows before `first` fill all but the last slot; their %D is not used.
        std::vector<double> unused(hi_.size());
        for (int64_t e = 0; e < m - 1; e += kBlock) {
            poll_stop();
            next(std::min<int64_t>(kBlock, m - 1 - e), unused.data());
        }
    }

    // %D of the next `count` bars (count <= kBlock) into out[0 .. count).
    void next(int64_t count, double* out) {
        windows_.next(count, hi_.data(), lo_.data());
        const int32_t* hi = hi_.data();
        const int32_t* lo = lo_.data();
        const int32_t* c = close_ + at_;
        int64_t* numerators = numerators_.data();
        int64_t* ranges = ranges_.data();
        double* totals = totals_.data();
        int64_t numerator = numerator_;
        int64_t range = range_;
        size_t slot = slot_;
        // Each window enters the sums and the one m windows back (slot's old entry) leaves.
        for (int64_t j = 0; j < count; ++j) {
            const int64_t entering = int64_t{c[j]} - lo[j];
            const int64_t entering_range = int64_t{hi[j]} - lo[j];
            numerator += entering - numerators[slot];
            range += entering_range - ranges[slot];
            numerators[slot] = entering;
            ranges[slot] = entering_range;
            if (++slot == numerators_.size()) slot = 0;
            out[j] = static_cast<double>(numerator);
            totals[j] = static_cast<double>(range);
        }
        numerator_ = numerator;
        range_ = range;
        slot_ = slot;
        at_ += count;
        for (int64_t j = 0; j < count; ++j) out[j] = out[j] / totals[j] * 100.0;
    }

private:
    RangeStream windows_;
    const int32_t* close_;
    int64_t at_;
    std::vector<int64_t> numerators_;  // the last m windows' values, the oldest at slot_
    std::vector<int64_t> ranges_;
    size_t slot_ = 0;
    int64_t numerator_ = 0;
    int64_t range_ = 0;
    std::vector<int32_t> hi_;
    std::vector<int32_t> lo_;
    std::vector<double> totals_;
};

// The per-bar calculation at every bar of `chunk`, for sums that could round.
template <typename Calc>
void per_bar(Bars chunk, Writer& w, Calc calc) {
    for (int64_t b = chunk.first; b < chunk.end; ++b) {
        poll_stop();  // each bar sums over more than 2^19 bars
        double v = 0.0;
        if (calc(static_cast<int>(b), &v)) {
            w.fail(b);
        } else {
            w.real(b, v);
        }
    }
}

}  // namespace

Bars stc_d_series(const ZOLV& z, int t, int m, Writer& w) {
    const int64_t count = w.bars();
    if (t < 1 || t > count || m < 1 || m > count || hlc_sizes_differ(z)) return kNoBars;
    const Bars bars{int64_t{t} + m - 2, count};
    for_chunks(bars, 5, [&](Bars chunk) {
        const int64_t oldest = chunk.first - m - t + 2;
        if (m > (1 << 21) && !sums_exact(m, spread_from(z, oldest, chunk.end))) {
            return per_bar(chunk, w, [&](int b, double* v) {
                return z.calc.stc_d(t, m, z.high, z.low, z.close, b, v);
            });
        }
        DLine line(z, t, m, chunk.first);
        for (int64_t b0 = chunk.first; b0 < chunk.end; b0 += kBlock) {
            poll_stop();
            with_lanes([&](auto) { line.next(std::min(kBlock, chunk.end - b0), w.reals(b0)); });
        }
        w.set_valid(chunk);
    });
    return bars;
}

// The mean of y %D values, summed newest first in lanes.
Bars stc_sd_series(const ZOLV& z, int t, int m, int y, Writer& w) {
    const int64_t count = w.bars();
    if (t < 1 || t > count || m < 1 || m > count || y < 1 || y > count) return kNoBars;
    if (hlc_sizes_differ(z)) return kNoBars;
    const Bars bars{int64_t{t} + m + y - 3, count};
    for_chunks(bars, int64_t{y} + 5, [&](Bars chunk) {
        const int64_t oldest = chunk.first - y - m - t + 3;
        if (m > (1 << 21) && !sums_exact(m, spread_from(z, oldest, chunk.end))) {
            return per_bar(chunk, w, [&](int b, double* v) {
                return z.calc.stc_sd(t, m, y, z.high, z.low, z.close, b, v);
            });
        }
        // d[0 .. y - 1) holds the %D of the y - 1 bars before the block, then the block's own.
        const int64_t history = y - 1;
        std::vector<double> d(static_cast<size_t>(history + kBlock));
        DLine line(z, t, m, chunk.first - history);
        for (int64_t e = 0; e < history; e += kBlock) {
            poll_stop();
            line.next(std::min(kBlock, history - e), d.data() + e);
        }
        for (int64_t b0 = chunk.first; b0 < chunk.end; b0 += kBlock) {
            poll_stop();
            const int64_t block = std::min(kBlock, chunk.end - b0);
            with_lanes([&](auto) { line.next(block, d.data() + history); });
            run_lanes(WindowMeanLanes{d.data(), y, w.reals(b0)}, 0, block);
            std::copy(d.begin() + block, d.begin() + block + history, d.begin());
        }
        w.set_valid(chunk);
    });
    return bars;
}

// Buying pressure over true range for the t, 2t and 4t bars ending at each bar, from running
// sums when the double sums of the per-bar calculation are exact integers.
Bars ultimate_osi_series(const ZOLV& z, int t, Writer& w) {
    const int64_t count = w.bars();
    if (t <= 0 || 4 * int64_t{t} + 1 > count || hlc_sizes_differ(z)) return kNoBars;
    const int64_t span = 4 * int64_t{t};
    const Bars bars{span, count};
    for_chunks(bars, 8, [&](Bars chunk) {
        if (t > (1 << 19) && !sums_exact(span, spread_from(z, chunk.first - span, chunk.end))) {
            return per_bar(chunk, w, [&](int b, double* v) {
                return z.calc.ultimate_osi(t, z.high, z.low, z.close, b, v);
            });
        }
        // Prefix sums of the buying pressure and true range of the bars base + 1 .. base + o
        // at entry o: a window's sums are differences of two entries, exact 64-bit integers.
        const int64_t block_bars = std::max(kBlock, span);
        std::vector<int64_t> pressures(static_cast<size_t>(block_bars + span));
        std::vector<int64_t> ranges(pressures.size());
        std::vector<double> sums(static_cast<size_t>(6 * block_bars));
        for (int64_t b0 = chunk.first; b0 < chunk.end; b0 += block_bars) {
            poll_stop();
            const int64_t block = std::min(block_bars, chunk.end - b0);
            with_lanes([&](auto) {
                const int32_t* h = z.high.data();
                const int32_t* l = z.low.data();
                const int32_t* c = z.close.data();
                const int64_t base = b0 - span;
                const int64_t entries = block + span;
                int64_t* bp = pressures.data();
                int64_t* tr = ranges.data();
                bp[0] = tr[0] = 0;
                for (int64_t o = 1; o < entries; ++o) {
                    const int64_t i = base + o;
                    const int64_t previous = c[i - 1];
                    bp[o] = c[i] - std::min<int64_t>(l[i], previous);
                    tr[o] = std::max({int64_t{h[i]} - l[i], h[i] - previous, previous - l[i]});
                }
                for (int64_t o = 1; o < entries; ++o) {
                    bp[o] += bp[o - 1];
                    tr[o] += tr[o - 1];
                }
                // Bar b0 + j is entry span + j; its windows start after entries span + j - L.
                double* s = sums.data();
                const int64_t t2 = 2 * int64_t{t};
                for (int64_t j = 0; j < block; ++j) {
                    const int64_t o = span + j;
                    s[j] = static_cast<double>(bp[o] - bp[o - t]);
                    s[block_bars + j] = static_cast<double>(tr[o] - tr[o - t]);
                    s[2 * block_bars + j] = static_cast<double>(bp[o] - bp[o - t2]);
                    s[3 * block_bars + j] = static_cast<double>(tr[o] - tr[o - t2]);
                    s[4 * block_bars + j] = static_cast<double>(bp[o] - bp[o - span]);
                    s[5 * block_bars + j] = static_cast<double>(tr[o] - tr[o - span]);
                }
                double* out = w.reals(b0);
                for (int64_t j = 0; j < block; ++j) {
                    const double a1 = s[j] / s[block_bars + j];
                    const double a2 = s[2 * block_bars + j] / s[3 * block_bars + j];
                    const double a4 = s[4 * block_bars + j] / s[5 * block_bars + j];
                    out[j] = ((2.0 * a2 + 4.0 * a1) + a4) * 14.285714285714285;
                }
            });
        }
        w.set_valid(chunk);
    });
    return bars;
}

}  // namespace zolv
