// This file contains the simple and exponential moving averages, the sample
// standard deviation and the moving-average deviation rates.
#include <algorithm>
#include <cmath>

#include "series/zolv.h"

namespace {

// The window check shared by sma, ema and stdev: the n bars ending at i lie
// inside the column.
bool window_fails(int n, const Column& c, int i) {
    if (as_unsigned(n) > column_size(c)) return true;
    if (n <= 0) return true;
    if (c.empty()) return true;
    if (as_unsigned(i) >= column_size(c)) return true;
    if (i < 0) return true;
    return static_cast<int64_t>(i) - n + 1 < 0;
}

// Mean of the n bars ending at i; the window has been checked.
double window_mean(int n, const Column& c, int i) {
    int64_t sum = 0;
    for (int64_t k = i; k > static_cast<int64_t>(i) - n; --k) sum += c[static_cast<size_t>(k)];
    return static_cast<double>(sum) / n;
}

// One exponential average advanced bar by bar. It starts at the bar where the
// recursive definition bottoms out (the oldest full window, or the bar itself
// for n = 1) with the simple average there.
struct EmaChain {
    EmaChain(int n, const Column& c, int i)
        : start(n == 1 ? i : n - 1),
          factor(2.0 / static_cast<double>(static_cast<int64_t>(n) + 1)),
          value(window_mean(n, c, start)) {}

    // prev + factor * (x - prev), in that order: the value is defined to the bit.
    void step(double x) { value = value + factor * (x - value); }

    int start;
    double factor;
    double value;
};

// ema(n) at i from its seed forward; the window has been checked.
double ema_at(int n, const Column& c, int i) {
    EmaChain chain(n, c, i);
    const int32_t* x = c.data();
    for (int k = chain.start + 1; k <= i; ++k) chain.step(static_cast<double>(x[k]));
    return chain.value;
}

// Both exponential averages at i in one forward pass: the two chains are
// independent, so interleaving them costs little more than one.
void ema_pair_at(int n1, int n2, const Column& c, int i, double* e1, double* e2) {
    EmaChain a(n1, c, i);
    EmaChain b(n2, c, i);
    const int32_t* x = c.data();
    int k = std::min(a.start, b.start) + 1;
    for (; k <= a.start || k <= b.start; ++k) {  // one chain runs alone until both have started
        const double v = static_cast<double>(x[k]);
        if (k > a.start) a.step(v);
        if (k > b.start) b.step(v);
    }
    for (; k <= i; ++k) {
        const double v = static_cast<double>(x[k]);
        a.step(v);
        b.step(v);
    }
    *e1 = a.value;
    *e2 = b.value;
}

}  // namespace

bool ZOLV_CALC::sma(int n, const Column& c, int i, double* out) const {
    if (window_fails(n, c, i)) return true;
    if (out) *out = window_mean(n, c, i);
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
        ema_pair_at(s, l, c, i, &vs, &vl);
    } else {
        return true;
    }
    if (out) *out = (vs / vl - 1.0) * 100.0;
    return false;
}

int ZOLV::sma(char type, int t, double* out) const {
    return calc.sma(t, select_column(type), cursor_index(), out) ? ZOLV_CALC_ERROR : ZOLV_OK;
}

int ZOLV::ema(char type, int t, double* out) const {
    return calc.ema(t, select_column(type), cursor_index(), out) ? ZOLV_CALC_ERROR : ZOLV_OK;
}

int ZOLV::stdev(char type, int t, double* out) const {
    return calc.stdev(t, select_column(type), cursor_index(), out) ? ZOLV_CALC_ERROR : ZOLV_OK;
}

int ZOLV::conv_sma(char type, int s, int l, double* out) const {
    return calc.conv(s, l, 0, select_column(type), cursor_index(), out) ? ZOLV_CALC_ERROR : ZOLV_OK;
}

int ZOLV::conv_ema(char type, int s, int l, double* out) const {
    return calc.conv(s, l, 1, select_column(type), cursor_index(), out) ? ZOLV_CALC_ERROR : ZOLV_OK;
}
