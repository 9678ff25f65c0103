// Stochastics %K, %D and slow %D, Williams %R and the ultimate oscillator: oscillators of the
// close against the high/low range of the bars before it.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "series/zolv.h"

namespace {

// True unless 1 <= t <= size.
bool length_fails(int t, const Column& c) {
    return as_unsigned(t) > column_size(c) || t < 1;
}

// True unless 0 <= b < size.
bool bar_fails(int b, const Column& c) {
    return as_unsigned(b) >= column_size(c) || b < 0;
}

// High and low must cover exactly the bars of close.
bool sizes_differ(const Column& h, const Column& l, const Column& c) {
    return h.size() != c.size() || l.size() != c.size();
}

struct Extremes {
    int64_t highest;
    int64_t lowest;
};

// Highest high and lowest low of the t bars ending at j, scanned from j back to j - t + 1,
// replaced only by a strictly larger high or a strictly smaller low. Ranges are checked
// by the caller.
Extremes window_extremes(int t, const Column& h, const Column& l, int j) {
    int32_t highest = h[j];
    int32_t lowest = l[j];
    for (int k = j - 1; k > j - t; --k) {
        if (h[k] > highest) highest = h[k];
        if (l[k] < lowest) lowest = l[k];
    }
    return {highest, lowest};
}

// A scratch array of n values: on the stack when it is small, on the heap otherwise.
template <typename T>
class Scratch {
public:
    explicit Scratch(size_t n) : heap_(n > kLocal ? n : 0) {}
    T* data() { return heap_.empty() ? local_ : heap_.data(); }
    T& operator[](size_t k) { return data()[k]; }

private:
    static constexpr size_t kLocal = 64;
    T local_[kLocal];
    std::vector<T> heap_;
};

// The %K numerator close - lowest and range highest - lowest of each of the
// `count` windows of t bars ending at b, b - 1, ..., b - count + 1. When the
// windows overlap by at least one bar they share a core, whose extremes are
// found once; each window then adds the bars it has beyond the core on either
// side. Extremes are integers, so the grouping does not change them.
void k_windows(int t, int count, const Column& h, const Column& l, const Column& c, int b,
               double* numerators, double* ranges) {
    if (t < count) {
        for (int q = 0; q < count; ++q) {
            const Extremes w = window_extremes(t, h, l, b - q);
            numerators[q] = static_cast<double>(c[b - q] - w.lowest);
            ranges[q] = static_cast<double>(w.highest - w.lowest);
        }
        return;
    }
    // The core: bars b - t + 1 .. b - count + 1, in every window.
    const Extremes core = window_extremes(t - count + 1, h, l, b - count + 1);
    // Right of the core: window q also holds bars b - count + 2 .. b - q.
    Scratch<Extremes> right(static_cast<size_t>(count));
    Extremes run = core;
    right[count - 1] = run;
    for (int q = count - 2; q >= 0; --q) {
        run.highest = std::max<int64_t>(run.highest, h[b - q]);
        run.lowest = std::min<int64_t>(run.lowest, l[b - q]);
        right[q] = run;
    }
    // Left of the core: window q also holds bars b - q - t + 1 .. b - t.
    int64_t left_high = INT64_MIN;
    int64_t left_low = INT64_MAX;
    for (int q = 0; q < count; ++q) {
        if (q > 0) {
            const int k = b - q - t + 1;
            left_high = std::max<int64_t>(left_high, h[k]);
            left_low = std::min<int64_t>(left_low, l[k]);
        }
        const int64_t highest = std::max(right[q].highest, left_high);
        const int64_t lowest = std::min(right[q].lowest, left_low);
        numerators[q] = static_cast<double>(c[b - q] - lowest);
        ranges[q] = static_cast<double>(highest - lowest);
    }
}

// part / range * 100, in that order; a flat window (range 0) answers 0.
double percent_of_range(int64_t part, int64_t range) {
    if (range == 0) return 0.0;
    return static_cast<double>(part) / static_cast<double>(range) * 100.0;
}

// The checks shared by stc_k and williams_r.
bool k_window_fails(int t, const Column& h, const Column& l, const Column& c, int b) {
    if (length_fails(t, c)) return true;
    if (bar_fails(b, c)) return true;
    if (int64_t{b} - t + 1 < 0) return true;
    return sizes_differ(h, l, c);
}

}  // namespace

bool ZOLV_CALC::stc_k(int t, const Column& h, const Column& l, const Column& c, int b,
                      double* out) const {
    if (k_window_fails(t, h, l, c, b)) return true;
    const Extremes w = window_extremes(t, h, l, b);
    // %K = 100 * (close - lowest) / (highest - lowest)
    if (out != nullptr) *out = percent_of_range(c[b] - w.lowest, w.highest - w.lowest);
    return false;
}

bool ZOLV_CALC::stc_d(int t, int m, const Column& h, const Column& l, const Column& c, int b,
                      double* out) const {
    if (length_fails(t, c) || length_fails(m, c)) return true;
    if (bar_fails(b, c)) return true;
    if (int64_t{b} - t - m + 2 < 0) return true;  // the oldest bar read is b - m - t + 2
    if (sizes_differ(h, l, c)) return true;
    // Summed %K numerators over summed ranges of the m windows ending at b, b - 1, ...
    double numerator = 0.0;
    double denominator = 0.0;
    for (int j = b; j > b - m; --j) {
        const Extremes w = window_extremes(t, h, l, j);
        numerator += static_cast<double>(c[j] - w.lowest);
        denominator += static_cast<double>(w.highest - w.lowest);
    }
    // Every window flat: 0/0, a NaN, as a success.
    if (out != nullptr) *out = numerator / denominator * 100.0;
    return false;
}

bool ZOLV_CALC::stc_sd(int t, int m, int y, const Column& h, const Column& l, const Column& c,
                       int b, double* out) const {
    if (length_fails(t, c) || length_fails(m, c) || length_fails(y, c)) return true;
    if (bar_fails(b, c)) return true;
    if (int64_t{b} - t - m - y + 3 < 0) return true;
    if (sizes_differ(h, l, c)) return true;
    // The y %D values share their %K windows: the y + m - 1 windows ending at b, b - 1, ...
    const int windows = y + (m - 1);  // no more than b + 1 after the checks above
    Scratch<double> numerators(static_cast<size_t>(windows));
    Scratch<double> ranges(static_cast<size_t>(windows));
    k_windows(t, windows, h, l, c, b, numerators.data(), ranges.data());
    // Each %D at b - p sums its m windows newest first, exactly as stc_d does.
    double sum = 0.0;
    for (int p = 0; p < y; ++p) {
        double numerator = 0.0;
        double denominator = 0.0;
        for (int q = p; q < p + m; ++q) {
            numerator += numerators[q];
            denominator += ranges[q];
        }
        sum += numerator / denominator * 100.0;
    }
    if (out != nullptr) *out = sum / static_cast<double>(y);
    return false;
}

bool ZOLV_CALC::williams_r(int t, const Column& h, const Column& l, const Column& c, int b,
                           double* out) const {
    if (k_window_fails(t, h, l, c, b)) return true;
    const Extremes w = window_extremes(t, h, l, b);
    // %R = 100 * (highest - close) / (highest - lowest), without the minus sign
    if (out != nullptr) *out = percent_of_range(w.highest - c[b], w.highest - w.lowest);
    return false;
}

bool ZOLV_CALC::ultimate_osi(int t, const Column& h, const Column& l, const Column& c, int b,
                             double* out) const {
    if (t <= 0 || 4 * int64_t{t} + 1 > column_size(c)) return true;
    if (bar_fails(b, c)) return true;
    if (int64_t{b} - 4 * int64_t{t} < 0) return true;  // bar b - 4t lends its close
    if (sizes_differ(h, l, c)) return true;
    double pressure = 0.0;
    double range = 0.0;
    double a1 = 0.0;
    double a2 = 0.0;
    double a4 = 0.0;
    for (int i = b; i > b - 4 * t; --i) {
        const int64_t previous = c[i - 1];
        const int64_t high = h[i];
        const int64_t low = l[i];
        // True low and true range stretch the bar to the previous close.
        const int64_t true_low = low <= previous ? low : previous;
        int64_t true_range = high - low;
        if (high - previous > true_range) true_range = high - previous;
        if (previous - low > true_range) true_range = previous - low;
        pressure += static_cast<double>(c[i] - true_low);
        range += static_cast<double>(true_range);
        // A period without any range gives 0/0 or x/0: NaN or Inf, as a success.
        if (i == b - t + 1) a1 = pressure / range;
        if (i == b - 2 * t + 1) a2 = pressure / range;
        if (i == b - 4 * t + 1) a4 = pressure / range;
    }
    if (out != nullptr) *out = ((2.0 * a2 + 4.0 * a1) + a4) * 14.285714285714285;
    return false;
}

int ZOLV::stc_k(int t, double* out) const {
    return calc.stc_k(t, high, low, close, cursor_index(), out) ? ZOLV_CALC_ERROR : ZOLV_OK;
}

int ZOLV::stc_d(int t, int m, double* out) const {
    return calc.stc_d(t, m, high, low, close, cursor_index(), out) ? ZOLV_CALC_ERROR : ZOLV_OK;
}

int ZOLV::stc_sd(int t, int m, int y, double* out) const {
    return calc.stc_sd(t, m, y, high, low, close, cursor_index(), out) ? ZOLV_CALC_ERROR : ZOLV_OK;
}

int ZOLV::williams_r(int t, double* out) const {
    return calc.williams_r(t, high, low, close, cursor_index(), out) ? ZOLV_CALC_ERROR : ZOLV_OK;
}

int ZOLV::ultimate_osi(int t, double* out) const {
    return calc.ultimate_osi(t, high, low, close, cursor_index(), out) ? ZOLV_CALC_ERROR : ZOLV_OK;
}
