// Momentum, rate of change, psychological line, RSI and RCI: indicators that compare a bar
// with earlier bars of one column or rank the bars of a window, at one bar and as whole lines.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "indicators/series_lines.h"
#include "series/zolv.h"

namespace {

// The look-back check shared by momentum and roc: 0 <= n < size, 0 <= i < size and n <= i,
// so that c[i] and c[i - n] are both in range.
bool lookback_fails(int n, const Column& c, int i) {
    if (c.empty()) return true;
    if (as_unsigned(n) >= column_size(c) || n < 0) return true;
    if (as_unsigned(i) >= column_size(c) || i < 0) return true;
    return int64_t{i} - n < 0;
}

// n^3 - n with n^3 exact and converted to double once, then n subtracted in double.
// n^3 needs up to 93 bits, so it is formed in 128 bits; the conversion rounds exactly
// as a 64-bit product would wherever that product fits.
double cube_minus_self(int n) {
    __extension__ typedef __int128 Int128;
    const Int128 cube = Int128{n} * n * n;
    return static_cast<double>(cube) - static_cast<double>(n);
}

}  // namespace

namespace zolv {

void window_ranks(const int32_t* x, int n, uint64_t* keys, int32_t* ge, int32_t* eq) {
    // Keys order by value, then by position: the value with its sign bit flipped (so that the
    // unsigned order is the signed one) above the position.
    for (int o = 0; o < n; ++o) {
        const uint32_t biased = static_cast<uint32_t>(x[o]) ^ 0x80000000u;
        keys[o] = uint64_t{biased} << 32 | static_cast<uint32_t>(o);
    }
    std::sort(keys, keys + n);
    // A run of equal values [s, e) of the sorted keys: n - s values are at least as large as
    // each of them, e - s are equal to it.
    for (int s = 0; s < n;) {
        int e = s + 1;
        while (e < n && keys[e] >> 32 == keys[s] >> 32) ++e;
        for (int r = s; r < e; ++r) {
            const uint32_t o = static_cast<uint32_t>(keys[r]);
            ge[o] = n - s;
            eq[o] = e - s;
        }
        s = e;
    }
}

}  // namespace zolv

bool ZOLV_CALC::momentum(int n, const Column& c, int i, int64_t* out) const {
    if (lookback_fails(n, c, i)) return true;
    if (out != nullptr) *out = int64_t{c[i]} - c[i - n];
    return false;
}

bool ZOLV_CALC::roc(int n, const Column& c, int i, double* out) const {
    if (lookback_fails(n, c, i)) return true;
    if (c[i - n] == 0) return true;
    if (out != nullptr) *out = static_cast<double>(c[i]) / static_cast<double>(c[i - n]) * 100.0;
    return false;
}

bool ZOLV_CALC::psychological(int n, const Column& c, int i, double* out) const {
    // n steps ending at i need the n + 1 bars i - n .. i.
    if (int64_t{n} + 1 > column_size(c) || n <= 0) return true;
    if (int64_t{i} + 1 > column_size(c) || i < 0) return true;
    if (int64_t{i} - n < 0) return true;
    int count = 0;
    for (int k = i; k > i - n; --k) {
        if (c[k] > c[k - 1]) ++count;
    }
    if (out != nullptr) *out = static_cast<double>(count) / n * 100.0;
    return false;
}

bool ZOLV_CALC::rsi(int n, const Column& o, const Column& c, int i, double* out) const {
    if (window_fails(n, o, i)) return true;
    if (o.size() != c.size()) return true;
    // Each bar's own move, close minus open; exact in 64 bits for any window.
    int64_t up = 0;
    int64_t down = 0;
    for (int k = i; k > i - n; --k) {
        const int64_t d = int64_t{c[k]} - o[k];
        if (d > 0) up = up + d;
        if (d < 0) down = down - d;
    }
    // A window where every bar closes at its open gives 0/0, a NaN, as a success.
    if (out != nullptr) {
        *out = static_cast<double>(up) / static_cast<double>(down + up) * 100.0;
    }
    return false;
}

bool ZOLV_CALC::rci(int n, const Column& c, int i, double* out) const {
    if (window_fails(n, c, i)) return true;
    const int first = i - n + 1;
    std::vector<uint64_t> keys(static_cast<size_t>(n));
    std::vector<int32_t> ge(static_cast<size_t>(n));
    std::vector<int32_t> eq(static_cast<size_t>(n));
    zolv::window_ranks(c.data() + first, n, keys.data(), ge.data(), eq.data());
    double sum = 0.0;
    for (int k = i; k >= first; --k) {
        const size_t o = static_cast<size_t>(k - first);
        // Date rank (1 at i) minus the value rank (1 for the highest; ties share the mean).
        const double d =
            static_cast<double>(int64_t{i} - ge[o] - k + 1) + static_cast<double>(eq[o] - 1) * 0.5;
        sum = sum + d * d;
    }
    // A one-bar window divides 0 by 0: NaN, as a success.
    if (out != nullptr) *out = (1.0 - (sum * 6.0) / cube_minus_self(n)) * 100.0;
    return false;
}

int ZOLV::momentum(char type, int n, double* out) const {
    int64_t difference = 0;
    if (calc.momentum(n, select_column(type), cursor_index(), &difference)) {
        return ZOLV_CALC_ERROR;
    }
    if (out != nullptr) *out = static_cast<double>(difference);
    return ZOLV_OK;
}

int ZOLV::roc(int n, double* out) const {
    return calc.roc(n, close, cursor_index(), out) ? ZOLV_CALC_ERROR : ZOLV_OK;
}

int ZOLV::psychological(char type, int t, double* out) const {
    return calc.psychological(t, select_column(type), cursor_index(), out) ? ZOLV_CALC_ERROR
                                                                           : ZOLV_OK;
}

int ZOLV::rsi(int t, double* out) const {
    return calc.rsi(t, open, close, cursor_index(), out) ? ZOLV_CALC_ERROR : ZOLV_OK;
}

int ZOLV::rci(char type, int t, double* out) const {
    return calc.rci(t, select_column(type), cursor_index(), out) ? ZOLV_CALC_ERROR : ZOLV_OK;
}

// ---- Whole lines ----------------------------------------------------------------------------

namespace zolv {
namespace {

// The bars where c[k] and c[k - n] both exist: 0 <= n < size of the column, n <= k < size.
Bars lookback_bars(int n, const Column& c, int64_t bars) {
    if (n < 0 || n >= column_size(c)) return kNoBars;
    return {n, std::min(column_size(c), bars)};
}

}  // namespace

// One pass at the speed of memory: a worker thread would cost more to start than it saves.
Bars momentum_series(const ZOLV& z, char type, int n, Writer& w) {
    const Column& c = z.select_column(type);
    const Bars bars = lookback_bars(n, c, w.bars());
    const int32_t* x = c.data();
    double* out = w.reals(0);
    // Both values are exact doubles and so is their difference: the 64-bit difference.
    for (int64_t b0 = bars.first; b0 < bars.end; b0 += kChunkBars) {
        poll_stop();
        const int64_t end = std::min(bars.end, b0 + kChunkBars);
        with_lanes([&](auto) {
            for (int64_t k = b0; k < end; ++k) {
                out[k] = static_cast<double>(x[k]) - static_cast<double>(x[k - n]);
            }
        });
    }
    w.set_valid(bars);
    return bars;
}

// A zero close n bars back fails the bar.
Bars roc_series(const ZOLV& z, int n, Writer& w) {
    const Bars bars = lookback_bars(n, z.close, w.bars());
    for_chunks(bars, 1, [&](Bars chunk) {
        const int32_t* x = z.close.data();
        double* out = w.reals(0);
        uint8_t* valid = w.valid(0);
        with_lanes([&](auto) {
            for (int64_t k = chunk.first; k < chunk.end; ++k) {
                const double ratio =
                    static_cast<double>(x[k]) / static_cast<double>(x[k - n]) * 100.0;
                valid[k] = x[k - n] != 0;
                out[k] = x[k - n] != 0 ? ratio : 0.0;
            }
        });
    });
    return bars;
}

// The share of rising steps among the n steps ending at each bar, from a running count.
Bars psychological_series(const ZOLV& z, char type, int n, Writer& w) {
    const Column& c = z.select_column(type);
    const int64_t size = column_size(c);
    if (n < 1 || int64_t{n} + 1 > size) return kNoBars;
    const Bars bars{n, std::min(size, w.bars())};
    for_chunks(bars, 1, [&](Bars chunk) {
        const int32_t* x = c.data();
        int rising = 0;
        for (int64_t k = chunk.first - n + 1; k < chunk.first; ++k) rising += x[k] > x[k - 1];
        with_lanes([&](auto) {
            for (int64_t b0 = chunk.first; b0 < chunk.end; b0 += kBlock) {
                poll_stop();
                const int64_t end = std::min(chunk.end, b0 + kBlock);
                double* out = w.reals(0);
                for (int64_t k = b0; k < end; ++k) {
                    rising += x[k] > x[k - 1];
                    out[k] = static_cast<double>(rising);
                    rising -= x[k - n + 1] > x[k - n];
                }
                for (int64_t k = b0; k < end; ++k) out[k] = out[k] / n * 100.0;
            }
        });
        w.set_valid(chunk);
    });
    return bars;
}

// Gains and losses of close against open over the n bars ending at each bar, as running sums.
Bars rsi_series(const ZOLV& z, int n, Writer& w) {
    const int64_t size = column_size(z.open);
    if (n < 1 || n > size || size != column_size(z.close)) return kNoBars;
    const Bars bars{n - 1, std::min(size, w.bars())};
    for_chunks(bars, 1, [&](Bars chunk) {
        const int32_t* o = z.open.data();
        const int32_t* c = z.close.data();
        auto gain = [&](int64_t k) { return std::max<int64_t>(int64_t{c[k]} - o[k], 0); };
        auto loss = [&](int64_t k) { return std::max<int64_t>(int64_t{o[k]} - c[k], 0); };
        std::vector<double> totals(static_cast<size_t>(kBlock));
        with_lanes([&](auto) {
            // The running sums live here, where no call of the loop can reach them.
            int64_t up = 0;
            int64_t down = 0;
            for (int64_t k = chunk.first - n + 1; k < chunk.first; ++k) {
                up += gain(k);
                down += loss(k);
            }
            for (int64_t b0 = chunk.first; b0 < chunk.end; b0 += kBlock) {
                poll_stop();
                const int64_t count = std::min(kBlock, chunk.end - b0);
                double* out = w.reals(b0);
                double* total = totals.data();
                for (int64_t j = 0; j < count; ++j) {
                    const int64_t k = b0 + j;
                    up += gain(k);
                    down += loss(k);
                    out[j] = static_cast<double>(up);
                    total[j] = static_cast<double>(down + up);
                    up -= gain(k - n + 1);
                    down -= loss(k - n + 1);
                }
                for (int64_t j = 0; j < count; ++j) out[j] = out[j] / total[j] * 100.0;
            }
        });
        w.set_valid(chunk);
    });
    return bars;
}

namespace {

// (1 - 6 * sum / (n^3 - n)) * 100 with sum = sum + d * d over the window newest first; window
// j's differences are d[q * stride + j], q = 0 for its newest bar.
struct RankSumLanes {
    const double* d;
    int64_t n;
    int64_t stride;
    double cube;
    double* out;

    template <typename V, int G>
    void bars(int64_t j) const {
        constexpr int64_t kWidth = sizeof(V) / sizeof(double);
        V sum[G] = {};
        for (int64_t q = 0; q < n; ++q) {
            for (int g = 0; g < G; ++g) {
                V v;
                load(v, d + q * stride + j + g * kWidth);
                sum[g] = sum[g] + v * v;
            }
        }
        for (int g = 0; g < G; ++g) {
            const V value = (1.0 - (sum[g] * 6.0) / cube) * 100.0;
            store(out + j + g * kWidth, value);
        }
    }
};

// The ranks of the n-bar window as it slides bar by bar: slot k % n holds bar k's value, the
// count of window values at least as large as it and the count equal to it.
class SlidingRanks {
public:
    SlidingRanks(const Column& c, int n, int64_t newest)
        : x_(c.data()),
          n_(n),
          values_(static_cast<size_t>(n)),
          ge_(values_.size()),
          eq_(values_.size()) {
        std::vector<uint64_t> keys(values_.size());
        std::vector<int32_t> ge(values_.size());
        std::vector<int32_t> eq(values_.size());
        const int64_t first = newest - n + 1;
        window_ranks(x_ + first, n, keys.data(), ge.data(), eq.data());
        for (int64_t k = first; k <= newest; ++k) {
            const size_t o = static_cast<size_t>(k - first);
            values_[slot(k)] = x_[k];
            ge_[slot(k)] = ge[o];
            eq_[slot(k)] = eq[o];
        }
    }

    // The differences d of the window ending at bar i, newest first, into d[q * stride].
    void differences(int64_t i, double* d, int64_t stride) const {
        for (int64_t q = 0; q < n_; ++q) {
            const size_t s = slot(i - q);
            d[q * stride] = static_cast<double>(i - ge_[s] - (i - q) + 1) +
                            static_cast<double>(eq_[s] - 1) * 0.5;
        }
    }

    // Slides the window to end at bar i: bar i - n leaves, bar i comes in.
    void advance(int64_t i) {
        const int32_t in = x_[i];
        const int32_t gone = x_[i - n_];
        const int32_t* v = values_.data();
        int32_t* ge = ge_.data();
        int32_t* eq = eq_.data();
        for (size_t s = 0; s < values_.size(); ++s) {
            ge[s] += (in >= v[s]) - (gone >= v[s]);
            eq[s] += (in == v[s]) - (gone == v[s]);
        }
        const size_t fresh = slot(i);
        values_[fresh] = in;
        int32_t at_least = 0;
        int32_t equal = 0;
        for (size_t s = 0; s < values_.size(); ++s) {
            at_least += v[s] >= in;
            equal += v[s] == in;
        }
        ge[fresh] = at_least;
        eq[fresh] = equal;
    }

private:
    size_t slot(int64_t k) const { return static_cast<size_t>(k % n_); }
    const int32_t* x_;
    int64_t n_;
    std::vector<int32_t> values_;
    std::vector<int32_t> ge_;
    std::vector<int32_t> eq_;
};

}  // namespace

// The ranks slide in linear time per bar; the squared differences of a group of bars are
// summed in lanes, each bar's newest first.
Bars rci_series(const ZOLV& z, char type, int n, Writer& w) {
    const Column& c = z.select_column(type);
    const Bars bars = window_bars(n, column_size(c), w.bars());
    for_chunks(bars, 4 * int64_t{n}, [&](Bars chunk) {
        const int64_t group = std::max<int64_t>(1, std::min<int64_t>(32, (1 << 18) / n));
        std::vector<double> d(static_cast<size_t>(group * n));
        SlidingRanks ranks(c, n, chunk.first);
        const double cube = cube_minus_self(n);
        with_lanes([&](auto lanes) {
            for (int64_t g0 = chunk.first; g0 < chunk.end; g0 += group) {
                poll_stop();
                const int64_t count = std::min(group, chunk.end - g0);
                for (int64_t j = 0; j < count; ++j) {
                    if (g0 + j > chunk.first) ranks.advance(g0 + j);
                    ranks.differences(g0 + j, d.data() + j, group);
                }
                over_lanes<decltype(lanes)>(RankSumLanes{d.data(), n, group, cube, w.reals(g0)}, 0,
                                            count);
            }
        });
        w.set_valid(chunk);
    });
    return bars;
}

}  // namespace zolv
