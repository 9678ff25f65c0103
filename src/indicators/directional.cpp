// True range and the directional movement index: the calculations and the operations of ZOLV.
#include <cmath>
#include <cstdint>
#include <vector>

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
