// Momentum, rate of change, psychological line, RSI and RCI: indicators that compare a bar
// with earlier bars of one column or rank the bars of a window.
#include <algorithm>
#include <cstdint>
#include <vector>

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
    // Ranks come from one sorted copy of the window: for a value v, the values >= v
    // start at its lower bound and the values equal to it end at its upper bound.
    std::vector<int32_t> sorted(c.begin() + first, c.begin() + i + 1);
    std::sort(sorted.begin(), sorted.end());
    double sum = 0.0;
    for (int k = i; k >= first; --k) {
        const auto equal = std::equal_range(sorted.begin(), sorted.end(), c[k]);
        const int64_t ge = sorted.end() - equal.first;
        const int64_t eq = equal.second - equal.first;
        // Date rank (1 at i) minus the value rank (1 for the highest; ties share the mean).
        const double d =
            static_cast<double>(int64_t{i} - ge - k + 1) + static_cast<double>(eq - 1) * 0.5;
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
