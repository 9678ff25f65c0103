// This file contains the simple and exponential moving averages, the sample
// standard deviation and the moving-average deviation rates.
#include <cmath>

#include "indicators/ema_chain.h"
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
    const double vs = ema_memory.value_at(letter, s, c, i);
    const double vl = ema_memory.value_at(letter, l, c, i);
    if (out) *out = deviation_percent(vs, vl);
    return ZOLV_OK;
}
