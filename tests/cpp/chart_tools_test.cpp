// The chart tools (donchian, keltner, supertrend, ichimoku, vwap, avwap, heikin_ashi, pivots,
// cmf, hma, vwma) at every bar against models written from their definitions: plain loops over
// each window or over the history, exact integer sums, the double operations in the order
// defined. The three forms of each agreeing with one another is checked in
// operations_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "indicators/operation.h"
#include "series/zolv.h"

namespace {

using Row = std::vector<std::optional<double>>;  // a bar's parts; empty: no value at all
using Rows = std::vector<Row>;

struct Bars {
    std::vector<int64_t> o, h, l, c, v;
    size_t size() const { return c.size(); }
};

// ---- Bars -----------------------------------------------------------------------------------

// A walk in small steps with ties, gaps every 37 bars, a flat start without volume, a flat
// stretch, a stretch without volume longer than the windows, and stretches at both ends of
// the 32-bit range with volumes of 2^31 - 1.
Bars generated_bars() {
    std::mt19937 rng(20261209);
    auto uniform = [&rng](int64_t low, int64_t high) {
        return std::uniform_int_distribution<int64_t>(low, high)(rng);
    };
    Bars b;
    int64_t close = 1000;
    for (int k = 0; k < 420; ++k) {
        int64_t o, h, l, v;
        if (k < 20 || (k >= 150 && k < 170)) {  // flat: O = H = L = C
            o = h = l = close;
            v = k < 12 ? 0 : uniform(0, 50);
        } else if (k >= 300 && k < 340) {  // at the top of the range
            h = INT32_MAX;
            l = INT32_MAX - uniform(0, 6);
            close = uniform(l, h);
            o = uniform(l, h);
            v = INT32_MAX;
        } else if (k >= 340 && k < 360) {  // at the bottom
            l = INT32_MIN;
            h = INT32_MIN + uniform(0, 6);
            close = uniform(l, h);
            o = uniform(l, h);
            v = INT32_MAX - uniform(0, 1);
        } else {
            if (k == 360) close = 1000;
            close += k % 37 == 0 ? uniform(-400, 400) : uniform(-3, 3);
            h = close + uniform(0, 2);
            l = close - uniform(0, 2);
            o = uniform(l, h);
            v = k >= 200 && k < 230 ? 0 : uniform(0, 1000);
        }
        b.o.push_back(o);
        b.h.push_back(h);
        b.l.push_back(l);
        b.c.push_back(close);
        b.v.push_back(v);
    }
    return b;
}

ZOLV store_of(const Bars& b) {
    ZOLV z;
    for (size_t k = 0; k < b.size(); ++k) {
        const int32_t bar[] = {static_cast<int32_t>(b.o[k]), static_cast<int32_t>(b.h[k]),
                               static_cast<int32_t>(b.l[k]), static_cast<int32_t>(b.c[k]),
                               static_cast<int32_t>(b.v[k])};
        z.push_back(bar, 5);
    }
    z.pos = 0;
    return z;
}

// ---- Models ---------------------------------------------------------------------------------

using Params = std::vector<double>;  // the numbers of the words, in order

int64_t highest(const std::vector<int64_t>& x, size_t i, int64_t w) {
    int64_t best = x[i];
    for (size_t j = i + 1 - static_cast<size_t>(w); j <= i; ++j) best = std::max(best, x[j]);
    return best;
}
int64_t lowest(const std::vector<int64_t>& x, size_t i, int64_t w) {
    int64_t best = x[i];
    for (size_t j = i + 1 - static_cast<size_t>(w); j <= i; ++j) best = std::min(best, x[j]);
    return best;
}

Rows donchian(const Bars& b, const Params& p) {
    const int64_t n = static_cast<int64_t>(p[0]);
    Rows rows(b.size());
    for (size_t i = static_cast<size_t>(n - 1); i < b.size(); ++i) {
        const int64_t upper = highest(b.h, i, n);
        const int64_t lower = lowest(b.l, i, n);
        rows[i] = {double(upper), double(lower), double(upper + lower) / 2.0};
    }
    return rows;
}

// The ema over n: the mean of the first n values at bar n - 1, then prev + 2 / (n + 1) * (x -
// prev).
std::vector<std::optional<double>> ema(const std::vector<int64_t>& x, int64_t n) {
    std::vector<std::optional<double>> out(x.size());
    double value = 0.0;
    for (size_t i = 0; i < x.size(); ++i) {
        if (static_cast<int64_t>(i) < n - 1) continue;
        if (static_cast<int64_t>(i) == n - 1) {
            int64_t sum = 0;
            for (size_t j = 0; j <= i; ++j) sum += x[j];
            value = double(sum) / double(n);
        } else {
            value = value + 2.0 / double(n + 1) * (double(x[i]) - value);
        }
        out[i] = value;
    }
    return out;
}

// Wilder's ATR over n: the mean of the true ranges of bars 1 .. n, then (atr (n - 1) + tr) / n.
std::vector<std::optional<double>> atr(const Bars& b, int64_t n) {
    std::vector<std::optional<double>> out(b.size());
    double value = 0.0;
    int64_t sum = 0;
    for (size_t i = 1; i < b.size(); ++i) {
        const int64_t tr = std::max(
            {b.h[i] - b.l[i], std::abs(b.h[i] - b.c[i - 1]), std::abs(b.l[i] - b.c[i - 1])});
        if (static_cast<int64_t>(i) <= n) {
            sum += tr;
            if (static_cast<int64_t>(i) < n) continue;
            value = double(sum) / double(n);
        } else {
            value = (value * double(n - 1) + double(tr)) / double(n);
        }
        out[i] = value;
    }
    return out;
}

Rows keltner(const Bars& b, const Params& p) {
    const double mult = p[1];
    const auto middle = ema(b.c, static_cast<int64_t>(p[0]));
    const auto a = atr(b, static_cast<int64_t>(p[2]));
    Rows rows(b.size());
    for (size_t i = 0; i < b.size(); ++i) {
        if (!middle[i] || !a[i]) continue;
        rows[i] = {*middle[i] + mult * *a[i], *middle[i], *middle[i] - mult * *a[i]};
    }
    return rows;
}

Rows supertrend(const Bars& b, const Params& p) {
    const double mult = p[1];
    const auto a = atr(b, static_cast<int64_t>(p[0]));
    Rows rows(b.size());
    double up = 0.0, dn = 0.0;
    int direction = 0;
    bool started = false;
    for (size_t i = 0; i < b.size(); ++i) {
        if (!a[i]) continue;
        const double mid = double(b.h[i] + b.l[i]) / 2.0;
        const double basic_up = mid + mult * *a[i];
        const double basic_dn = mid - mult * *a[i];
        if (!started) {
            up = basic_up;
            dn = basic_dn;
            direction = -1;
            started = true;
        } else {
            const double prev_c = double(b.c[i - 1]);
            up = basic_up < up || prev_c > up ? basic_up : up;
            dn = basic_dn > dn || prev_c < dn ? basic_dn : dn;
            if (direction == -1) {
                direction = double(b.c[i]) > up ? 1 : -1;
            } else {
                direction = double(b.c[i]) < dn ? -1 : 1;
            }
        }
        rows[i] = {direction == 1 ? dn : up, double(direction)};
    }
    return rows;
}

Rows ichimoku(const Bars& b, const Params& p) {
    const int64_t t = static_cast<int64_t>(p[0]), k = static_cast<int64_t>(p[1]),
                  s = static_cast<int64_t>(p[2]);
    auto mid = [&b](int64_t w, int64_t j) -> std::optional<double> {
        if (j < w - 1) return std::nullopt;
        const size_t at = static_cast<size_t>(j);
        return double(highest(b.h, at, w) + lowest(b.l, at, w)) / 2.0;
    };
    Rows rows(b.size());
    for (int64_t i = 0; i < static_cast<int64_t>(b.size()); ++i) {
        Row row = {mid(t, i), mid(k, i), std::nullopt, mid(s, i - k)};
        const auto tenkan = mid(t, i - k), kijun = mid(k, i - k);
        if (tenkan && kijun) row[2] = (*tenkan + *kijun) / 2.0;
        if (std::any_of(row.begin(), row.end(), [](auto& x) { return x.has_value(); })) {
            rows[static_cast<size_t>(i)] = row;
        }
    }
    return rows;
}

// double(S) / (3.0 * double(W)) over bars first .. i, or nothing where W is 0.
std::optional<double> vwap_over(const Bars& b, size_t first, size_t i) {
    __int128 s = 0;
    int64_t w = 0;
    for (size_t j = first; j <= i; ++j) {
        s += static_cast<__int128>(b.h[j] + b.l[j] + b.c[j]) * b.v[j];
        w += b.v[j];
    }
    if (w == 0) return std::nullopt;
    return double(s) / (3.0 * double(w));
}

Rows vwap(const Bars& b, const Params& p) {
    const size_t n = static_cast<size_t>(p[0]);
    Rows rows(b.size());
    for (size_t i = n - 1; i < b.size(); ++i) {
        if (auto x = vwap_over(b, i + 1 - n, i)) rows[i] = {x};
    }
    return rows;
}

Rows avwap(const Bars& b, const Params& p) {
    const size_t from = static_cast<size_t>(p[0]);
    Rows rows(b.size());
    for (size_t i = from; i < b.size(); ++i) {
        if (auto x = vwap_over(b, from, i)) rows[i] = {x};
    }
    return rows;
}

Rows heikin_ashi(const Bars& b, const Params&) {
    Rows rows(b.size());
    double open = 0.0, close = 0.0;
    for (size_t i = 0; i < b.size(); ++i) {
        open = i == 0 ? double(b.o[0] + b.c[0]) / 2.0 : (open + close) / 2.0;
        close = double(b.o[i] + b.h[i] + b.l[i] + b.c[i]) / 4.0;
        rows[i] = {open, std::max({double(b.h[i]), open, close}),
                   std::min({double(b.l[i]), open, close}), close};
    }
    return rows;
}

Rows pivots(const Bars& b, const Params&) {
    Rows rows(b.size());
    for (size_t i = 1; i < b.size(); ++i) {
        const double h = double(b.h[i - 1]), l = double(b.l[i - 1]);
        const double p = double(b.h[i - 1] + b.l[i - 1] + b.c[i - 1]) / 3.0;
        const double range = double(b.h[i - 1] - b.l[i - 1]);
        rows[i] = {p,         2.0 * p - l,       2.0 * p - h,      p + range,
                   p - range, h + 2.0 * (p - l), l - 2.0 * (h - p)};
    }
    return rows;
}

Rows cmf(const Bars& b, const Params& p) {
    const size_t n = static_cast<size_t>(p[0]);
    Rows rows(b.size());
    for (size_t i = n - 1; i < b.size(); ++i) {
        double sum = 0.0;
        int64_t w = 0;
        for (size_t j = i + 1 - n; j <= i; ++j) {
            const int64_t range = b.h[j] - b.l[j];
            const double mfv = range == 0 ? 0.0
                                          : double((b.c[j] - b.l[j]) - (b.h[j] - b.c[j])) *
                                                double(b.v[j]) / double(range);
            sum = j == i + 1 - n ? mfv : sum + mfv;
            w += b.v[j];
        }
        if (w != 0) rows[i] = {sum / double(w)};
    }
    return rows;
}

// The weighted mean of the w closes ending at bar i, weights 1 (oldest) to w, exact sums.
double wma(const Bars& b, size_t i, int64_t w) {
    __int128 sum = 0;
    for (int64_t j = 1; j <= w; ++j) sum += static_cast<__int128>(j) * b.c[i + 1 - w + j - 1];
    return double(sum) / double(w * (w + 1) / 2);
}

Rows hma(const Bars& b, const Params& p) {
    const int64_t n = static_cast<int64_t>(p[0]);
    int64_t m = 0;
    while ((m + 1) * (m + 1) <= n) ++m;
    Rows rows(b.size());
    for (size_t i = static_cast<size_t>(n + m - 2); i < b.size(); ++i) {
        double sum = 0.0;
        for (int64_t j = 1; j <= m; ++j) {
            const size_t at = i + 1 - static_cast<size_t>(m) + static_cast<size_t>(j - 1);
            const double raw = 2.0 * wma(b, at, n / 2) - wma(b, at, n);
            sum = j == 1 ? double(j) * raw : sum + double(j) * raw;
        }
        rows[i] = {sum / double(m * (m + 1) / 2)};
    }
    return rows;
}

Rows vwma(const Bars& b, const Params& p) {
    const size_t n = static_cast<size_t>(p[0]);
    Rows rows(b.size());
    for (size_t i = n - 1; i < b.size(); ++i) {
        __int128 s = 0;
        int64_t w = 0;
        for (size_t j = i + 1 - n; j <= i; ++j) {
            s += static_cast<__int128>(b.c[j]) * b.v[j];
            w += b.v[j];
        }
        if (w != 0) rows[i] = {double(s) / double(w)};
    }
    return rows;
}

// ---- The table ------------------------------------------------------------------------------

struct ModelCase {
    const char* op;
    const char* words;  // a column word first where the operation takes one
    Rows (*model)(const Bars&, const Params&);
};

const ModelCase kCases[] = {
    {"avwap", "0", avwap},
    {"avwap", "250", avwap},
    {"cmf", "3", cmf},
    {"cmf", "20", cmf},
    {"donchian", "1", donchian},
    {"donchian", "20", donchian},
    {"heikin_ashi", "", heikin_ashi},
    {"hma", "2", hma},
    {"hma", "16", hma},
    {"hma", "20", hma},
    {"ichimoku", "9 26 52", ichimoku},
    {"ichimoku", "5 2 3", ichimoku},
    {"keltner", "20 2 10", keltner},
    {"keltner", "1 1.5 1", keltner},
    {"keltner", "5 -0.5 30", keltner},
    {"pivots", "", pivots},
    {"supertrend", "10 3", supertrend},
    {"supertrend", "1 0.5", supertrend},
    {"supertrend", "7 0", supertrend},
    {"vwap", "1", vwap},
    {"vwap", "20", vwap},
    {"vwma", "1", vwma},
    {"vwma", "20", vwma},
};

zolv::OpArgs args_of(const zolv::Operation& op, const Params& p) {
    zolv::OpArgs a;
    int ints = 0, reals = 0;
    for (size_t k = 0; op.kinds[k]; ++k) {
        if (op.kinds[k] == 'i') a.ints[ints++] = static_cast<int32_t>(p[k]);
        if (op.kinds[k] == 'd') a.reals[reals++] = p[k];
    }
    return a;
}

uint64_t bits(double v) {
    uint64_t b = 0;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

TEST(ChartToolModels, EveryBarAsDefined) {
    const Bars bars = generated_bars();
    const ZOLV z = store_of(bars);
    for (const ModelCase& c : kCases) {
        SCOPED_TRACE(std::string(c.op) + " " + c.words);
        const zolv::Operation* op = zolv::find_operation(c.op);
        ASSERT_NE(nullptr, op);
        Params p;
        std::istringstream in(c.words);
        for (double x; in >> x;) p.push_back(x);
        zolv::SeriesResult line;
        zolv::operation_series(z, *op, args_of(*op, p), &line);
        const Rows want = c.model(bars, p);
        int defined = 0;
        for (size_t i = 0; i < bars.size(); ++i) {
            ASSERT_EQ(!want[i].empty(), line.valid[i] != 0) << "bar " << i;
            if (want[i].empty()) continue;
            ASSERT_EQ(static_cast<size_t>(line.width), want[i].size());
            for (size_t j = 0; j < want[i].size(); ++j) {
                const size_t q = i * want[i].size() + j;
                const bool has = line.defined.empty() || line.defined[q] != 0;
                ASSERT_EQ(want[i][j].has_value(), has) << "bar " << i << " part " << j;
                if (!has) continue;
                ++defined;
                const double got =
                    zolv::integer_part(line.shape, line.integer_parts, static_cast<int>(j))
                        ? static_cast<double>(line.integers[q])
                        : line.reals[q];
                EXPECT_EQ(bits(*want[i][j]), bits(got))
                    << "bar " << i << " part " << j << ": " << got << ", model " << *want[i][j];
            }
        }
        EXPECT_GT(defined, 100);
    }
}

}  // namespace
