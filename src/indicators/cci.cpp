// Commodity channel index: the calculation and the operation of ZOLV.
#include <cmath>
#include <cstdint>

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
