// True range and the directional movement index: the calculations and the operations of ZOLV,
// at one bar and as whole lines.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "indicators/series_lines.h"
#include "series/zolv.h"

namespace {

// The true range and the directional movements of bar u against bar u - 1.
struct BarMove {
    int64_t range;
    int64_t plus;
    int64_t minus;
};

// The largest of high - low, high - previous close and previous close - low.
int64_t true_range(const Column& h, const Column& l, const Column& c, int64_t u) {
    const int64_t prev_close = c[u - 1];
    int64_t range = int64_t{h[u]} - l[u];
    if (int64_t{h[u]} - prev_close > range) range = int64_t{h[u]} - prev_close;
    if (prev_close - l[u] > range) range = prev_close - l[u];
    return range;
}

// Only the larger of the upward and downward move counts; equal moves count for neither side.
BarMove bar_move(const Column& h, const Column& l, const Column& c, int64_t u) {
    const int64_t up_diff = int64_t{h[u]} - h[u - 1];
    const int64_t down_diff = int64_t{l[u - 1]} - l[u];
    const int64_t up = up_diff > 0 ? up_diff : 0;
    const int64_t down = down_diff > 0 ? down_diff : 0;
    BarMove move{true_range(h, l, c, u), 0, 0};
    if (up > down) {
        move.plus = up;
    } else if (down > up) {
        move.minus = down;
    }
    return move;
}

}  // namespace

bool ZOLV_CALC::tr(const Column& h, const Column& l, const Column& c, int b, int64_t* out) const {
    const int64_t size = column_size(c);
    if (b < 1) return true;
    if (size == 0 || b >= size) return true;
    if (column_size(l) != size || column_size(h) != size) return true;
    const int64_t range = true_range(h, l, c, b);
    if (out) *out = range;
    return false;
}

bool ZOLV_CALC::dmi(int n, int m, const Column& h, const Column& l, const Column& c, int b,
                    double* pdi, double* mdi, double* dx, double* adx) const {
    const int64_t size = column_size(c);
    if (size == 0) return true;
    if (n < 1 || n > size - 1 || m < 1 || m > size - 1) return true;
    if (b < 0 || b > size - 1) return true;
    if (int64_t{b} - n - m < 0) return true;  // the last slide reads bar b - n - m
    if (column_size(h) != size || column_size(l) != size) return true;

    // Plain sums over the n-bar window ending at b, kept exact in 64 bits.
    int64_t sum_tr = 0;
    int64_t sum_plus = 0;
    int64_t sum_minus = 0;
    for (int64_t u = b; u > int64_t{b} - n; --u) {
        const BarMove move = bar_move(h, l, c, u);
        sum_tr += move.range;
        sum_plus += move.plus;
        sum_minus += move.minus;
    }

    double sum_dx = 0.0;
    double first_pdi = 0.0;
    double first_mdi = 0.0;
    double first_dx = 0.0;
    int64_t entering = int64_t{b} - n;  // the bar that enters the window on the next slide
    for (int64_t j = b; j > int64_t{b} - m; --j) {
        const double total = static_cast<double>(sum_tr);
        const double plus_di = static_cast<double>(sum_plus) / total * 100.0;
        const double minus_di = static_cast<double>(sum_minus) / total * 100.0;
        // DX = |+DI - -DI| / (-DI + +DI) * 100
        const double dx_value = std::fabs(plus_di - minus_di) / (minus_di + plus_di) * 100.0;
        if (j == b) {
            first_pdi = plus_di;
            first_mdi = minus_di;
            first_dx = dx_value;
        }
        sum_dx += dx_value;

        // Move the window one bar into the past: bar j leaves, bar `entering` comes in.
        const BarMove leaving = bar_move(h, l, c, j);
        const BarMove coming = bar_move(h, l, c, entering);
        sum_tr = sum_tr - leaving.range + coming.range;
        sum_plus = sum_plus - leaving.plus + coming.plus;
        sum_minus = sum_minus - leaving.minus + coming.minus;
        --entering;
    }

    if (pdi) *pdi = first_pdi;
    if (mdi) *mdi = first_mdi;
    if (dx) *dx = first_dx;
    if (adx) *adx = sum_dx / static_cast<double>(m);
    return false;
}

int ZOLV::tr(int64_t* out) const {
    return calc.tr(high, low, close, cursor_index(), out) ? ZOLV_CALC_ERROR : ZOLV_OK;
}

int ZOLV::dmi(int n, int m, std::vector<double>& out) const {
    double plus_di = 0.0;
    double minus_di = 0.0;
    double dx = 0.0;
    double adx = 0.0;
    if (calc.dmi(n, m, high, low, close, cursor_index(), &plus_di, &minus_di, &dx, &adx)) {
        return ZOLV_CALC_ERROR;
    }
    // The old storage is released and the values filled in one allocation.
    std::vector<double>{plus_di, minus_di, dx, adx}.swap(out);
    return ZOLV_OK;
}

// ---- Whole lines ----------------------------------------------------------------------------

namespace zolv {
namespace {

bool hlc_sizes_differ(const ZOLV& z) {
    return z.high.size() != z.close.size() || z.low.size() != z.close.size();
}

}  // namespace

Bars tr_series(const ZOLV& z, Writer& w) {
    if (hlc_sizes_differ(z)) return kNoBars;
    const Bars bars{1, w.bars()};
    for_chunks(bars, 1, [&](Bars chunk) {
        const int32_t* h = z.high.data();
        const int32_t* l = z.low.data();
        const int32_t* c = z.close.data();
        int64_t* out = w.integers(0);
        with_lanes([&](auto) {
            // Locals: the 64-bit stores cannot be taken to change them.
            const int64_t first = chunk.first;
            const int64_t end = chunk.end;
            for (int64_t u = first; u < end; ++u) {
                const int64_t prev_close = c[u - 1];
                const int64_t range = std::max(int64_t{h[u]} - l[u], int64_t{h[u]} - prev_close);
                out[u] = std::max(range, prev_close - l[u]);
            }
        });
        w.set_valid(chunk);
    });
    return bars;
}

namespace {

// +DI, -DI and DX of the n-bar windows ending at the bars [first, first + count), from prefix
// sums of the true ranges and directional movements: each window's sums are differences of
// exact 64-bit prefix sums, converted to double as the per-bar calculation converts its sums.
// `prefix` is scratch for 3 * (count + n) values.
void directional_lines(const ZOLV& z, int64_t n, int64_t first, int64_t count, int64_t* prefix,
                       double* pdi, double* mdi, double* dx) {
    const int32_t* h = z.high.data();
    const int32_t* l = z.low.data();
    const int32_t* c = z.close.data();
    const int64_t base = first - n;  // entry o of a prefix covers the bars base + 1 .. base + o
    const int64_t moves = count + n - 1;
    int64_t* ranges = prefix;
    int64_t* pluses = ranges + moves + 1;
    int64_t* minuses = pluses + moves + 1;
    // The moves first, free of branches so that they run in lanes, then the sums.
    for (int64_t o = 1; o <= moves; ++o) {
        const int64_t u = base + o;
        const int64_t prev_close = c[u - 1];
        const int64_t up = std::max<int64_t>(int64_t{h[u]} - h[u - 1], 0);
        const int64_t down = std::max<int64_t>(int64_t{l[u - 1]} - l[u], 0);
        ranges[o] = std::max({int64_t{h[u]} - l[u], h[u] - prev_close, prev_close - l[u]});
        pluses[o] = up > down ? up : 0;
        minuses[o] = down > up ? down : 0;
    }
    ranges[0] = pluses[0] = minuses[0] = 0;
    for (int64_t o = 1; o <= moves; ++o) {
        ranges[o] += ranges[o - 1];
        pluses[o] += pluses[o - 1];
        minuses[o] += minuses[o - 1];
    }
    for (int64_t j = 0; j < count; ++j) {
        const int64_t o = j + n;  // the window ending at first + j: entries o - n .. o
        const double total = static_cast<double>(ranges[o] - ranges[o - n]);
        const double plus_di = static_cast<double>(pluses[o] - pluses[o - n]) / total * 100.0;
        const double minus_di = static_cast<double>(minuses[o] - minuses[o - n]) / total * 100.0;
        pdi[j] = plus_di;
        mdi[j] = minus_di;
        dx[j] = std::fabs(plus_di - minus_di) / (minus_di + plus_di) * 100.0;
    }
}

}  // namespace

// DX of every window from prefix sums; ADX sums m DX values newest first, in lanes. Each block
// computes the m - 1 windows before it again, so that no sum crosses from block to block.
Bars dmi_series(const ZOLV& z, int n, int m, Writer& w) {
    const int64_t size = w.bars();
    if (size == 0 || n < 1 || n > size - 1 || m < 1 || m > size - 1) return kNoBars;
    if (hlc_sizes_differ(z)) return kNoBars;
    const Bars bars{int64_t{n} + m, size};
    if (bars.empty()) return kNoBars;
    const bool stream = w.streams();
    for_chunks(bars, int64_t{m} + 4, [&](Bars chunk) {
        const int64_t block_bars = std::max<int64_t>(kBlock, int64_t{n} + m);
        const int64_t lines = block_bars + m - 1;
        std::vector<int64_t> prefix(static_cast<size_t>(3 * (lines + n)));
        std::vector<double> pdi(static_cast<size_t>(lines));
        std::vector<double> mdi(pdi.size());
        std::vector<double> dx(pdi.size());
        std::vector<double> adx(static_cast<size_t>(block_bars));
        for (int64_t b0 = chunk.first; b0 < chunk.end; b0 += block_bars) {
            poll_stop();
            const int64_t block = std::min(block_bars, chunk.end - b0);
            with_lanes([&](auto) {
                directional_lines(z, n, b0 - m + 1, block + m - 1, prefix.data(), pdi.data(),
                                  mdi.data(), dx.data());
            });
            run_lanes(WindowMeanLanes{dx.data(), m, adx.data()}, 0, block);
            for (int64_t j = 0; j < block; ++j) {
                const int64_t b = b0 + j;
                const size_t q = static_cast<size_t>(j + m - 1);
                double* out = w.reals(b);
                *w.valid(b) = 1;
                store_pair(out, pdi[q], mdi[q], stream);
                store_pair(out + 2, dx[q], adx[static_cast<size_t>(j)], stream);
                if (!std::isnan(adx[static_cast<size_t>(j)])) continue;
                // Two NaNs of opposite sign (DX takes an absolute value, so a flat window's
                // NaN is positive while 0/0 gives the negative default NaN) may meet in the
                // sum: which one survives depends on the operand order the compiler picked for
                // the addition, so the per-bar calculation itself answers for such a bar.
                bool mixed = false;
                double sum_dx = 0.0;
                for (int64_t e = static_cast<int64_t>(q); e > static_cast<int64_t>(q) - m && !mixed;
                     --e) {
                    const double value = dx[static_cast<size_t>(e)];
                    mixed = std::isnan(sum_dx) && std::isnan(value) &&
                            std::signbit(sum_dx) != std::signbit(value);
                    sum_dx += value;
                }
                if (!mixed) continue;
                end_streams();
                double v[4];
                if (z.calc.dmi(n, m, z.high, z.low, z.close, static_cast<int>(b), &v[0], &v[1],
                               &v[2], &v[3])) {
                    w.fail(b);
                } else {
                    std::memcpy(out, v, sizeof v);
                }
            }
        }
        end_streams();
    });
    return bars;
}

}  // namespace zolv
