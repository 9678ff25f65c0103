// Bollinger band, high/low band and MACD: the calculations and the operations of ZOLV.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "indicators/ema_chain.h"
#include "series/zolv.h"

bool ZOLV_CALC::bollingerband(int t, const Column& c, int i, double* upper1, double* lower1,
                              double* upper2, double* lower2, double* upper3,
                              double* lower3) const {
    if (window_fails(t, c, i)) return true;

    double sum = 0.0;
    for (int64_t k = i; k > int64_t{i} - t; --k) sum += static_cast<double>(c[k]);
    const double mean = sum / t;
    double sd = 0.0;
    if (stdev(t, c, i, &sd)) return true;

    if (upper1) *upper1 = sd + mean;
    if (lower1) *lower1 = mean - sd;
    if (upper2) *upper2 = (sd + sd) + mean;
    if (lower2) *lower2 = mean - (sd + sd);
    if (upper3) *upper3 = sd * 3.0 + mean;
    if (lower3) *lower3 = mean - sd * 3.0;
    return false;
}

bool ZOLV_CALC::hlband(int t, const Column& h, const Column& l, int i, int32_t* highest,
                       int32_t* lowest, int32_t* middle) const {
    const int64_t size = column_size(h);
    if (int64_t{t} + 1 > size) return true;
    if (t <= 0) return true;
    if (size == 0) return true;
    if (as_unsigned(i) >= size) return true;
    if (i < 0) return true;
    if (int64_t{i} - t < 0) return true;
    if (column_size(l) != size) return true;

    // The t bars before the bar at i; that bar itself does not move the band.
    int32_t high_value = h[i - 1];
    int32_t low_value = l[i - 1];
    for (int64_t k = int64_t{i} - 1; k >= int64_t{i} - t; --k) {
        if (h[k] > high_value) high_value = h[k];
        if (l[k] < low_value) low_value = l[k];
    }
    // The midpoint truncates toward zero and always fits in 32 bits.
    const auto mid = static_cast<int32_t>((int64_t{high_value} + low_value) / 2);

    if (highest) *highest = high_value;
    if (lowest) *lowest = low_value;
    if (middle) *middle = mid;
    return false;
}

namespace {

// The checks of macd: true unless both averages exist at the oldest bar of the
// signal window, which needs longer - 1 bars before it.
bool macd_fails(int t1, int t2, int sig, const Column& c, int i) {
    if (t1 <= 0 || t2 <= 0 || sig <= 0) return true;
    const int64_t size = column_size(c);
    if (size == 0) return true;
    if (as_unsigned(i) >= size || i < 0) return true;
    const int longer = std::max(t1, t2);
    return int64_t{i} - longer - sig + 2 < 0;
}

// The signal: the sig line values ending at the newest one, summed newest first.
double signal_average(const std::vector<double>& line) {
    double sum = 0.0;
    for (size_t k = line.size(); k-- > 0;) sum = line[k] + sum;
    return sum / static_cast<double>(line.size());
}

}  // namespace

bool ZOLV_CALC::macd(int t1, int t2, int sig, const Column& c, int i, double* macd,
                     double* signal) const {
    if (macd_fails(t1, t2, sig, c, i)) return true;
    // One forward pass advances both averages from their seeds; the MACD line is kept for the
    // sig bars ending at i.
    const int first = i - sig + 1;
    std::vector<double> line(static_cast<size_t>(sig));
    zolv::walk_ema_pair(t1, t2, c, first, i, [&](int k, double e1, double e2) {
        line[static_cast<size_t>(k - first)] = e1 - e2;
    });
    if (macd) *macd = line[static_cast<size_t>(sig - 1)];
    if (signal) *signal = signal_average(line);
    return false;
}

int ZOLV::bollingerband(char type, int t, std::vector<double>& out) const {
    double upper1 = 0.0;
    double lower1 = 0.0;
    double upper2 = 0.0;
    double lower2 = 0.0;
    double upper3 = 0.0;
    double lower3 = 0.0;
    if (calc.bollingerband(t, select_column(type), cursor_index(), &upper1, &lower1, &upper2,
                           &lower2, &upper3, &lower3)) {
        return ZOLV_CALC_ERROR;
    }
    // The old storage is released and the values filled in one allocation.
    std::vector<double>{upper1, lower1, upper2, lower2, upper3, lower3}.swap(out);
    return ZOLV_OK;
}

int ZOLV::hlband(int t, std::vector<int32_t>& out) const {
    int32_t highest = 0;
    int32_t lowest = 0;
    int32_t middle = 0;
    if (calc.hlband(t, high, low, cursor_index(), &highest, &lowest, &middle)) {
        return ZOLV_CALC_ERROR;
    }
    std::vector<int32_t>{highest, lowest, middle}.swap(out);
    return ZOLV_OK;
}

int ZOLV::macd(int t1, int t2, int sig, std::vector<double>& out) const {
    const int i = cursor_index();
    if (macd_fails(t1, t2, sig, close, i)) return ZOLV_CALC_ERROR;
    // Both averages from the remembered ones at the oldest bar of the signal
    // window, then stepped on together to the cursor, as the calculation does.
    const int first = i - sig + 1;
    double e1 = ema_memory.value_at('c', t1, close, first);
    double e2 = ema_memory.value_at('c', t2, close, first);
    const double f1 = zolv::ema_factor(t1);
    const double f2 = zolv::ema_factor(t2);
    std::vector<double> line(static_cast<size_t>(sig));
    line[0] = e1 - e2;
    for (int k = first + 1; k <= i; ++k) {
        const double x = static_cast<double>(close[static_cast<size_t>(k)]);
        e1 = zolv::EmaChain::next(e1, f1, x);
        e2 = zolv::EmaChain::next(e2, f2, x);
        line[static_cast<size_t>(k - first)] = e1 - e2;
    }
    std::vector<double>{line.back(), signal_average(line)}.swap(out);
    return ZOLV_OK;
}
