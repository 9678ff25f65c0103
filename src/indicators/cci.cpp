// Commodity channel index: the calculation and the operation of ZOLV, at one bar and as a
// whole line.
#include <cmath>
#include <cstdint>
#include <vector>

#include "indicators/series_lines.h"
#include "series/zolv.h"

namespace {

// Typical price: the integer sum of high, low and close times the double nearest one third.
double typical_price(const Column& h, const Column& l, const Column& c, int64_t k) {
    const int64_t sum = int64_t{h[k]} + l[k] + c[k];
    return static_cast<double>(sum) * 0.3333333333333333;
}

}  // namespace

bool ZOLV_CALC::cci(int t, const Column& h, const Column& l, const Column& c, int i,
                    double* out) const {
    if (window_fails(t, c, i)) return true;
    if (h.size() != c.size() || l.size() != c.size()) return true;

    const int64_t oldest = int64_t{i} - t + 1;
    double sum = 0.0;
    for (int64_t k = i; k >= oldest; --k) sum = typical_price(h, l, c, k) + sum;
    const double inv = 1.0 / t;
    const double mean = inv * sum;
    double total = 0.0;
    for (int64_t k = i; k >= oldest; --k)
        total = std::fabs(mean - typical_price(h, l, c, k)) + total;
    // CCI = (TP - mean) / (0.015 * mean absolute deviation)
    const double index = (typical_price(h, l, c, i) - mean) / ((inv * total) * 0.015);
    if (out) *out = index;
    return false;
}

int ZOLV::cci(int t, double* out) const {
    return calc.cci(t, high, low, close, cursor_index(), out) ? ZOLV_CALC_ERROR : ZOLV_OK;
}

// ---- Whole line -----------------------------------------------------------------------------

namespace zolv {
namespace {

// The per-bar steps on the typical prices p of window j, p[j .. j + t - 1]: sum = p + sum
// newest first, mean = inv * sum, total = |mean - p| + total newest first, then the index of
// the newest price.
struct CciLanes {
    const double* p;
    int64_t t;
    double inv;
    double* out;

    template <typename V, int G>
    void bars(int64_t j) const {
        constexpr int64_t kWidth = sizeof(V) / sizeof(double);
        const int64_t newest = j + t - 1;
        V sum[G] = {};
        for (int64_t q = 0; q < t; ++q) {
            for (int g = 0; g < G; ++g) {
                V v;
                load(v, p + newest + g * kWidth - q);
                sum[g] = v + sum[g];
            }
        }
        V mean[G];
        for (int g = 0; g < G; ++g) mean[g] = inv * sum[g];
        V total[G] = {};
        for (int64_t q = 0; q < t; ++q) {
            for (int g = 0; g < G; ++g) {
                V v;
                load(v, p + newest + g * kWidth - q);
                V deviation = mean[g] - v;
                set_abs(deviation);
                total[g] = deviation + total[g];
            }
        }
        for (int g = 0; g < G; ++g) {
            V v;
            load(v, p + newest + g * kWidth);
            const V index = (v - mean[g]) / ((inv * total[g]) * 0.015);
            store(out + j + g * kWidth, index);
        }
    }
};

}  // namespace

Bars cci_series(const ZOLV& z, int t, Writer& w) {
    const int64_t size = column_size(z.close);
    if (column_size(z.high) != size || column_size(z.low) != size) return kNoBars;
    const Bars bars = window_bars(t, size, w.bars());
    for_chunks(bars, 2 * int64_t{t}, [&](Bars chunk) {
        std::vector<double> prices;
        for (int64_t b0 = chunk.first; b0 < chunk.end; b0 += kBlock) {
            poll_stop();
            const int64_t count = std::min(kBlock, chunk.end - b0);
            const int64_t oldest = b0 - t + 1;
            prices.resize(static_cast<size_t>(count + t - 1));
            for (size_t o = 0; o < prices.size(); ++o) {
                prices[o] = typical_price(z.high, z.low, z.close, oldest + static_cast<int64_t>(o));
            }
            run_lanes(CciLanes{prices.data(), t, 1.0 / t, w.reals(b0)}, 0, count);
        }
        w.set_valid(chunk);
    });
    return bars;
}

}  // namespace zolv
