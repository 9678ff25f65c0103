// Volume ratios and the money flow index: the calculations and the operations of ZOLV, at one
// bar and as whole lines.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "indicators/series_lines.h"
#include "series/zolv.h"

namespace {

// Window volumes of the bars whose close rose, fell or stayed unchanged against the bar before.
struct VolumeSums {
    int64_t up = 0;
    int64_t down = 0;
    int64_t even = 0;
};

// The checks and the classification shared by the three volume ratios; true on failure.
bool volume_sums(int t, const Column& c, const Column& v, int b, VolumeSums* out) {
    const int64_t size = column_size(c);
    if (int64_t{t} + 1 > size || t <= 0) return true;
    if (b < 0 || size == 0 || b >= size) return true;
    if (int64_t{b} - t < 0) return true;  // the oldest bar is compared with the one before it
    if (column_size(v) != size) return true;

    VolumeSums sums;
    for (int64_t k = int64_t{b} - t + 1; k <= b; ++k) {
        if (c[k] > c[k - 1]) {
            sums.up += v[k];
        } else if (c[k] < c[k - 1]) {
            sums.down += v[k];
        } else {
            sums.even += v[k];
        }
    }
    *out = sums;
    return false;
}

// Typical price: the integer sum of high, low and close times the double nearest one third.
double typical_price(const Column& h, const Column& l, const Column& c, int64_t k) {
    const int64_t sum = int64_t{h[k]} + l[k] + c[k];
    return static_cast<double>(sum) * 0.3333333333333333;
}

}  // namespace

bool ZOLV_CALC::vr1(int t, const Column& c, const Column& v, int b, double* out) const {
    VolumeSums sums;
    if (volume_sums(t, c, v, b, &sums)) return true;
    // Unchanged bars count half to each side.
    const double half_even = static_cast<double>(sums.even) * 0.5;
    const double ratio = (static_cast<double>(sums.up) + half_even) /
                         (static_cast<double>(sums.down) + half_even) * 100.0;
    if (out) *out = ratio;
    return false;
}

bool ZOLV_CALC::vr2(int t, const Column& c, const Column& v, int b, double* out) const {
    VolumeSums sums;
    if (volume_sums(t, c, v, b, &sums)) return true;
    const double half_even = static_cast<double>(sums.even) * 0.5;
    const double total = static_cast<double>(sums.up + sums.down + sums.even);
    const double ratio = (half_even + static_cast<double>(sums.up)) / total * 100.0;
    if (out) *out = ratio;
    return false;
}

bool ZOLV_CALC::wvr(int t, const Column& c, const Column& v, int b, double* out) const {
    VolumeSums sums;
    if (volume_sums(t, c, v, b, &sums)) return true;
    const double total = static_cast<double>(sums.up + sums.down + sums.even);
    // Unchanged volume counts against the rising side.
    const double net = static_cast<double>(sums.up) - static_cast<double>(sums.even) -
                       static_cast<double>(sums.down);
    const double ratio = net / total * 100.0;
    if (out) *out = ratio;
    return false;
}

bool ZOLV_CALC::mfi(int t, const Column& h, const Column& l, const Column& c, const Column& v,
                    int b, double* out) const {
    const int64_t size = column_size(c);
    if (int64_t{t} + 1 > size || t <= 0) return true;
    if (size == 0 || b >= size || b < 1) return true;
    if (int64_t{b} - t < 0) return true;
    if (column_size(h) != size || column_size(l) != size || column_size(v) != size) return true;

    // A bar's money flow is its own typical price times its own volume.
    double positive = 0.0;
    double negative = 0.0;
    for (int64_t f = b; f > int64_t{b} - t; --f) {
        const double price = typical_price(h, l, c, f);
        const double prev_price = typical_price(h, l, c, f - 1);
        if (price > prev_price) {
            positive += static_cast<double>(v[f]) * price;
        } else if (price < prev_price) {
            negative += static_cast<double>(v[f]) * price;
        }
    }

    // Without negative flow a window of pure buying reads 100; one without any flow reads 0.
    double index = 0.0;
    if (negative != 0.0) {
        index = 100.0 - 100.0 / (positive / negative + 1.0);
    } else if (positive > 0.0) {
        index = 100.0;
    }
    if (out) *out = index;
    return false;
}

int ZOLV::vr1(int t, double* out) const {
    return calc.vr1(t, close, volume, cursor_index(), out) ? ZOLV_CALC_ERROR : ZOLV_OK;
}

int ZOLV::vr2(int t, double* out) const {
    return calc.vr2(t, close, volume, cursor_index(), out) ? ZOLV_CALC_ERROR : ZOLV_OK;
}

int ZOLV::wvr(int t, double* out) const {
    return calc.wvr(t, close, volume, cursor_index(), out) ? ZOLV_CALC_ERROR : ZOLV_OK;
}

int ZOLV::mfi(int t, double* out) const {
    return calc.mfi(t, high, low, close, volume, cursor_index(), out) ? ZOLV_CALC_ERROR : ZOLV_OK;
}

// ---- Whole lines ----------------------------------------------------------------------------

namespace zolv {
namespace {}  // namespace

// The volumes of rising, falling and unchanged closes over the t bars ending at each bar, as
// differences of 64-bit prefix sums; the ratios from their doubles, as the per-bar calculation
// forms them.
Bars volume_ratio_series(const ZOLV& z, VolumeRatio kind, int t, Writer& w) {
    const int64_t size = w.bars();
    if (t <= 0 || int64_t{t} + 1 > size || column_size(z.volume) != size) return kNoBars;
    const Bars bars{t, size};
    for_chunks(bars, 2, [&](Bars chunk) {
        const int64_t block_bars = std::max<int64_t>(kBlock, t);
        // Entry o of a prefix covers the bars base + 1 .. base + o, base = b0 - t.
        std::vector<int64_t> prefix(static_cast<size_t>(3 * (block_bars + t)));
        std::vector<double> sums(static_cast<size_t>(4 * block_bars));
        for (int64_t b0 = chunk.first; b0 < chunk.end; b0 += block_bars) {
            poll_stop();
            const int64_t block = std::min(block_bars, chunk.end - b0);
            with_lanes([&](auto) {
                const int32_t* c = z.close.data() + (b0 - t);
                const int32_t* v = z.volume.data() + (b0 - t);
                const int64_t entries = block + t;
                int64_t* up = prefix.data();
                int64_t* down = up + entries;
                int64_t* even = down + entries;
                up[0] = down[0] = even[0] = 0;
                for (int64_t o = 1; o < entries; ++o) {
                    up[o] = c[o] > c[o - 1] ? v[o] : 0;
                    down[o] = c[o] < c[o - 1] ? v[o] : 0;
                    even[o] = c[o] == c[o - 1] ? v[o] : 0;
                }
                for (int64_t o = 1; o < entries; ++o) {
                    up[o] += up[o - 1];
                    down[o] += down[o - 1];
                    even[o] += even[o - 1];
                }
                // Bar b0 + j is entry t + j; its window starts after entry j.
                double* u = sums.data();
                double* d = u + block_bars;
                double* e = d + block_bars;
                double* total = e + block_bars;
                for (int64_t j = 0; j < block; ++j) {
                    const int64_t rising = up[t + j] - up[j];
                    const int64_t falling = down[t + j] - down[j];
                    const int64_t unchanged = even[t + j] - even[j];
                    u[j] = static_cast<double>(rising);
                    d[j] = static_cast<double>(falling);
                    e[j] = static_cast<double>(unchanged);
                    total[j] = static_cast<double>(rising + falling + unchanged);
                }
                double* out = w.reals(b0);
                for (int64_t j = 0; j < block; ++j) {
                    // Unchanged bars count half to each side (vr1, vr2), or against rising (wvr).
                    const double half_even = e[j] * 0.5;
                    if (kind == VolumeRatio::kVr1) {
                        out[j] = (u[j] + half_even) / (d[j] + half_even) * 100.0;
                    } else if (kind == VolumeRatio::kVr2) {
                        out[j] = (half_even + u[j]) / total[j] * 100.0;
                    } else {
                        out[j] = (u[j] - e[j] - d[j]) / total[j] * 100.0;
                    }
                }
            });
        }
        w.set_valid(chunk);
    });
    return bars;
}

namespace {

// The money flow sums of window j of the flows f[j .. j + t - 1], newest first: positive and
// negative each add their own flows (0 for the bars of the other kinds: a sum that starts at
// +0.0 never becomes -0.0, so adding +0.0 leaves it as it is), then the index.
struct MfiLanes {
    const double* positive_flow;
    const double* negative_flow;
    int64_t t;
    double* out;

    template <typename V, int G>
    void bars(int64_t j) const {
        constexpr int64_t kWidth = sizeof(V) / sizeof(double);
        const int64_t newest = j + t - 1;
        V positive[G] = {};
        V negative[G] = {};
        for (int64_t q = 0; q < t; ++q) {
            for (int g = 0; g < G; ++g) {
                V p;
                V n;
                load(p, positive_flow + newest + g * kWidth - q);
                load(n, negative_flow + newest + g * kWidth - q);
                positive[g] = positive[g] + p;
                negative[g] = negative[g] + n;
            }
        }
        for (int g = 0; g < G; ++g) {
            // Without negative flow a window of pure buying reads 100; one without any flow 0.
            const V zero = V{};
            const V hundred = zero + 100.0;
            const V ratio = 100.0 - 100.0 / (positive[g] / negative[g] + 1.0);
            const V pure = positive[g] > 0.0 ? hundred : zero;
            const V index = negative[g] != 0.0 ? ratio : pure;
            store(out + j + g * kWidth, index);
        }
    }
};

}  // namespace

Bars mfi_series(const ZOLV& z, int t, Writer& w) {
    const int64_t size = w.bars();
    if (int64_t{t} + 1 > size || t <= 0) return kNoBars;
    if (column_size(z.high) != size || column_size(z.low) != size ||
        column_size(z.volume) != size) {
        return kNoBars;
    }
    const Bars bars{t, size};
    for_chunks(bars, 2 * int64_t{t}, [&](Bars chunk) {
        std::vector<double> prices;
        std::vector<double> positive;
        std::vector<double> negative;
        for (int64_t b0 = chunk.first; b0 < chunk.end; b0 += kBlock) {
            poll_stop();
            const int64_t block = std::min(kBlock, chunk.end - b0);
            const int64_t oldest = b0 - t + 1;
            const size_t flows = static_cast<size_t>(block + t - 1);
            prices.resize(flows + 1);
            positive.resize(flows);
            negative.resize(flows);
            with_lanes([&](auto lanes) {
                // prices[o] is the typical price of bar oldest - 1 + o.
                const int32_t* h = z.high.data() + (oldest - 1);
                const int32_t* l = z.low.data() + (oldest - 1);
                const int32_t* c = z.close.data() + (oldest - 1);
                const int32_t* v = z.volume.data() + oldest;
                double* price = prices.data();
                for (size_t o = 0; o <= flows; ++o) {
                    const int64_t sum = int64_t{h[o]} + l[o] + c[o];
                    price[o] = static_cast<double>(sum) * 0.3333333333333333;
                }
                double* up = positive.data();
                double* down = negative.data();
                for (size_t o = 0; o < flows; ++o) {
                    const double flow = static_cast<double>(v[o]) * price[o + 1];
                    up[o] = price[o + 1] > price[o] ? flow : 0.0;
                    down[o] = price[o + 1] < price[o] ? flow : 0.0;
                }
                over_lanes<decltype(lanes)>(MfiLanes{up, down, t, w.reals(b0)}, 0, block);
            });
        }
        w.set_valid(chunk);
    });
    return bars;
}

}  // namespace zolv
