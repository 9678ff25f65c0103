// This file contains the simple and exponential moving averages, the sample
// standard deviation and the moving-average deviation rates, at one bar and as whole lines.
#include <cmath>

#include "indicators/ema_chain.h"
#include "indicators/series_lines.h"
#include "series/zolv.h"

namespace {

// ema(n) at i from its seed forward; the window has been checked.
double ema_at(int n, const Column& c, int i) {
    zolv::EmaChain chain(n, c, i);
    const int32_t* x = c.data();
    for (int k = chain.start + 1; k <= i; ++k) chain.step(static_cast<double>(x[k]));
    return chain.value;
}

// The deviation rate in percent of the short average from the long one.
double deviation_percent(double short_average, double long_average) {
    return (short_average / long_average - 1.0) * 100.0;
}

}  // namespace

bool ZOLV_CALC::sma(int n, const Column& c, int i, double* out) const {
    if (window_fails(n, c, i)) return true;
    if (out) *out = zolv::window_mean(n, c, i);
    return false;
}

bool ZOLV_CALC::ema(int n, const Column& c, int i, double* out) const {
    if (window_fails(n, c, i)) return true;
    if (out) *out = ema_at(n, c, i);
    return false;
}

bool ZOLV_CALC::stdev(int n, const Column& c, int i, double* out) const {
    if (window_fails(n, c, i)) return true;
    const int64_t oldest = static_cast<int64_t>(i) - n + 1;
    double sum = 0.0;
    for (int64_t k = i; k >= oldest; --k) sum += static_cast<double>(c[static_cast<size_t>(k)]);
    const double mean = sum / n;
    double total = 0.0;
    for (int64_t k = i; k >= oldest; --k) {
        const double d = c[static_cast<size_t>(k)] - mean;
        total = total + d * d;
    }
    if (out) *out = std::sqrt(total / (n - 1));  // n = 1 gives 0/0: NaN, not an error
    return false;
}

bool ZOLV_CALC::conv(int s, int l, int kind, const Column& c, int i, double* out) const {
    double vs = 0.0;
    double vl = 0.0;
    if (kind == 0) {
        if (sma(s, c, i, &vs) || sma(l, c, i, &vl)) return true;
    } else if (kind == 1) {
        if (window_fails(s, c, i) || window_fails(l, c, i)) return true;
        zolv::walk_ema_pair(s, l, c, i, i, [&](int, double e1, double e2) {
            vs = e1;
            vl = e2;
        });
    } else {
        return true;
    }
    if (out) *out = deviation_percent(vs, vl);
    return false;
}

int ZOLV::sma(char type, int t, double* out) const {
    return calc.sma(t, select_column(type), cursor_index(), out) ? ZOLV_CALC_ERROR : ZOLV_OK;
}

int ZOLV::ema(char type, int t, double* out) const {
    const Column& c = select_column(type);
    const int i = cursor_index();
    if (window_fails(t, c, i)) return ZOLV_CALC_ERROR;
    // From the remembered average: the same value the calculation gives.
    if (out) *out = ema_memory.value_at(column_letter(type), t, c, i);
    return ZOLV_OK;
}

int ZOLV::stdev(char type, int t, double* out) const {
    return calc.stdev(t, select_column(type), cursor_index(), out) ? ZOLV_CALC_ERROR : ZOLV_OK;
}

int ZOLV::conv_sma(char type, int s, int l, double* out) const {
    return calc.conv(s, l, 0, select_column(type), cursor_index(), out) ? ZOLV_CALC_ERROR : ZOLV_OK;
}

int ZOLV::conv_ema(char type, int s, int l, double* out) const {
    const Column& c = select_column(type);
    const int i = cursor_index();
    if (window_fails(s, c, i) || window_fails(l, c, i)) return ZOLV_CALC_ERROR;
    const char letter = column_letter(type);
    double vs = 0.0;
    double vl = 0.0;
    ema_memory.values_at(letter, s, l, c, i, &vs, &vl);
    if (out) *out = deviation_percent(vs, vl);
    return ZOLV_OK;
}

// ---- Whole lines ----------------------------------------------------------------------------

namespace zolv {
namespace {

// sum = sum of the window newest first, mean = sum / n; total = total + d * d over the window
// newest first, d = x - mean; variance total / (n - 1). Window j is x[j .. j + n - 1].
struct DeviationLanes {
    const double* x;
    int n;
    double* mean;
    double* deviation;  // the square root of the variance

    template <typename V, int G>
    void bars(int64_t j) const {
        constexpr int64_t kWidth = sizeof(V) / sizeof(double);
        const int64_t newest = j + n - 1;
        V sum[G];
        window_sums(x, newest, n, sum);
        V m[G];
        for (int g = 0; g < G; ++g) m[g] = sum[g] / static_cast<double>(n);
        V total[G] = {};
        for (int64_t q = 0; q < n; ++q) {
            for (int g = 0; g < G; ++g) {
                V v;
                load(v, x + newest + g * kWidth - q);
                const V d = v - m[g];
                total[g] = total[g] + d * d;
            }
        }
        for (int g = 0; g < G; ++g) {
            V sd = total[g] / static_cast<double>(n - 1);  // n = 1 gives 0/0: NaN
            set_sqrt(sd);
            if (mean) store(mean + j + g * kWidth, m[g]);
            store(deviation + j + g * kWidth, sd);
        }
    }
};

}  // namespace

void deviation_line(const Column& c, int n, Bars bars, double* mean, double* deviation,
                    std::vector<double>* scratch) {
    const size_t window = static_cast<size_t>(n - 1);
    for (int64_t b0 = bars.first; b0 < bars.end; b0 += kBlock) {
        poll_stop();
        const int64_t count = std::min(kBlock, bars.end - b0);
        scratch->resize(window + static_cast<size_t>(count));
        double* x = scratch->data();
        const int32_t* from = c.data() + (b0 - n + 1);
        const DeviationLanes lanes{x, n, mean ? mean + (b0 - bars.first) : nullptr,
                                   deviation + (b0 - bars.first)};
        const size_t values = scratch->size();
        with_lanes([&](auto set) {
            for (size_t o = 0; o < values; ++o) x[o] = static_cast<double>(from[o]);
            over_lanes<decltype(set)>(lanes, 0, count);
        });
    }
}

namespace {

// The 64-bit sums of the n-bar windows ending at consecutive bars, from bar `first` on; each
// is the exact sum, so its double is what the per-bar calculation converts.
class WindowSums {
public:
    WindowSums(const Column& c, int n, int64_t first) : x_(c.data()), n_(n), at_(first) {
        for (int64_t k = first - n + 1; k <= first; ++k) sum_ += x_[k];
    }
    // The sums of the windows ending at the next `count` bars, into out[0 .. count).
    void next(int64_t count, double* out) {
        int64_t o = 0;
        if (!started_ && count > 0) {
            out[o++] = static_cast<double>(sum_);
            ++at_;
            started_ = true;
        }
        for (; o < count; ++o, ++at_) {
            sum_ += int64_t{x_[at_]} - x_[at_ - n_];
            out[o] = static_cast<double>(sum_);
        }
    }

private:
    const int32_t* x_;
    int64_t n_;
    int64_t at_;
    int64_t sum_ = 0;
    bool started_ = false;
};

}  // namespace

Bars sma_series(const ZOLV& z, char type, int n, Writer& w) {
    const Column& c = z.select_column(type);
    const Bars bars = window_bars(n, column_size(c), w.bars());
    for_chunks(bars, 1, [&](Bars chunk) {
        WindowSums sums(c, n, chunk.first);
        with_lanes([&](auto) {
            for (int64_t b0 = chunk.first; b0 < chunk.end; b0 += kBlock) {
                poll_stop();
                const int64_t count = std::min(kBlock, chunk.end - b0);
                double* out = w.reals(b0);
                sums.next(count, out);
                for (int64_t k = 0; k < count; ++k) out[k] = out[k] / n;
            }
        });
        w.set_valid(chunk);
    });
    return bars;
}

// ema(n) at every bar of `bars` (bars.first is n - 1, or any bar for n = 1) in one forward
// pass from the seed, one step per bar. For n = 1 the factor is 1.0 and each step lands exactly
// on the bar's own value, as the per-bar base case answers.
Bars ema_series(const ZOLV& z, char type, int n, Writer& w) {
    const Column& c = z.select_column(type);
    const Bars bars = window_bars(n, column_size(c), w.bars());
    if (bars.empty()) return kNoBars;
    double* line = w.reals(0);
    EmaChain chain(n, c, static_cast<int>(bars.first));
    line[chain.start] = chain.value;
    const int32_t* x = c.data();
    for (int64_t b0 = int64_t{chain.start} + 1; b0 < bars.end; b0 += kBlock) {
        poll_stop();
        const int64_t end = std::min(bars.end, b0 + kBlock);
        for (int64_t k = b0; k < end; ++k) {
            chain.step(static_cast<double>(x[k]));
            line[k] = chain.value;
        }
    }
    w.set_valid(bars);
    return bars;
}

Bars stdev_series(const ZOLV& z, char type, int n, Writer& w) {
    const Column& c = z.select_column(type);
    const Bars bars = window_bars(n, column_size(c), w.bars());
    for_chunks(bars, 2 * int64_t{n}, [&](Bars chunk) {
        std::vector<double> scratch;
        deviation_line(c, n, chunk, nullptr, w.reals(chunk.first), &scratch);
        w.set_valid(chunk);
    });
    return bars;
}

// The deviation rate (short / long - 1) * 100 of two averages, where both windows pass.
Bars conv_series(const ZOLV& z, char type, int s, int l, bool exponential, Writer& w) {
    const Column& c = z.select_column(type);
    const Bars bars = intersect(window_bars(s, column_size(c), w.bars()),
                                window_bars(l, column_size(c), w.bars()));
    if (bars.empty()) return kNoBars;
    if (exponential) {
        double* out = w.reals(0);
        EmaPair pair(s, l, c, static_cast<int>(bars.first));
        out[pair.at] = (pair.a.value / pair.b.value - 1.0) * 100.0;
        for (int64_t b0 = bars.first + 1; b0 < bars.end; b0 += kBlock) {
            poll_stop();
            const int64_t end = std::min(bars.end, b0 + kBlock);
            for (int64_t k = b0; k < end; ++k) {
                pair.step();
                out[k] = (pair.a.value / pair.b.value - 1.0) * 100.0;
            }
        }
        w.set_valid(bars);
        return bars;
    }
    for_chunks(bars, 2, [&](Bars chunk) {
        WindowSums shorter(c, s, chunk.first);
        WindowSums longer(c, l, chunk.first);
        std::vector<double> line(static_cast<size_t>(kBlock));
        with_lanes([&](auto) {
            for (int64_t b0 = chunk.first; b0 < chunk.end; b0 += kBlock) {
                poll_stop();
                const int64_t count = std::min(kBlock, chunk.end - b0);
                double* rate = w.reals(b0);
                double* long_sums = line.data();
                shorter.next(count, rate);
                longer.next(count, long_sums);
                for (int64_t k = 0; k < count; ++k) {
                    rate[k] = (rate[k] / s / (long_sums[k] / l) - 1.0) * 100.0;
                }
            }
        });
        w.set_valid(chunk);
    });
    return bars;
}

}  // namespace zolv
