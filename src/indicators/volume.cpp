// Volume ratios and the money flow index: the calculations and the operations of ZOLV.
#include <cstdint>

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
