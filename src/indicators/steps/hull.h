// The Hull moving average written as a step (see definition.h): hma, and the exact weighted
// window mean it is made of.
#pragma once

#include <cmath>
#include <vector>

#include "indicators/definition.h"

namespace zolv {

// The weighted mean of the w newest values taken in, weights 1 (the oldest) to w: the weighted
// sum and the plain sum are exact integers, kept as each new value comes in (the weighted sum
// loses the plain sum, every weight dropping by one, and gains w times the new value).
struct WeightedWindow {
    int64_t seen = 0;  // at most w
    int64_t sum = 0;
    __int128 weighted = 0;

    // Takes in bar `bar` of column x, the bars in order, a window of w >= 1 bars.
    void add(const int32_t* x, int64_t bar, int32_t w) {
        const int64_t v = x[bar];
        if (seen < w) {
            ++seen;
            weighted += static_cast<__int128>(seen) * v;
            sum += v;
            return;
        }
        weighted += static_cast<__int128>(w) * v - sum;
        sum += v - x[bar - w];
    }
    bool full(int32_t w) const { return seen == w; }
    // double(weighted sum) / double(w (w + 1) / 2), once w values are in.
    double mean(int32_t w) const {
        const int64_t divider = int64_t{w} * (int64_t{w} + 1) / 2;
        return static_cast<double>(weighted) / static_cast<double>(divider);
    }
};

// hma n: the Hull moving average of the closes, n >= 2. raw = 2.0 * wma(n / 2) - wma(n) at each
// bar from n - 1 on (wma the exact WeightedWindow mean, n / 2 an integer division); hma = the
// sum of j * raw for j = 1 (the oldest) to m of the m = floor(sqrt(n)) newest raw values, added
// oldest first, divided by double(m (m + 1) / 2). From bar n + m - 2.
struct Hma : Definition {
    int32_t n, half, m;
    explicit Hma(const OpArgs& a) : n(a.ints[0]), half(a.ints[0] / 2), m(root(a.ints[0])) {}
    bool valid() const { return n >= 2; }
    int64_t lookback() const { return int64_t{n} + m - 2; }
    int64_t span() const { return int64_t{n} + m - 1; }

    // floor(sqrt(n)), exactly; 0 for n < 1.
    static int32_t root(int32_t n) {
        if (n < 1) return 0;
        int64_t r = static_cast<int64_t>(std::sqrt(static_cast<double>(n)));
        while (r * r > n) --r;
        while ((r + 1) * (r + 1) <= n) ++r;
        return static_cast<int32_t>(r);
    }

    struct State {
        WeightedWindow short_window, long_window;
        int64_t raws_seen = 0;
        std::vector<double> raws;  // the m newest raw values, the j-th stepped at j % m
    };
    void step(State& s, const Input& in, int64_t bar) const {
        s.short_window.add(in.close, bar, half);
        s.long_window.add(in.close, bar, n);
        if (!s.long_window.full(n)) return;
        const double raw = 2.0 * s.short_window.mean(half) - s.long_window.mean(n);
        if (s.raws_seen < m) {
            s.raws.push_back(raw);
        } else {
            s.raws[static_cast<size_t>(s.raws_seen % m)] = raw;
        }
        ++s.raws_seen;
    }
    // Called once m raw values are in.
    void value(const State& s, const Input&, int64_t, Out& out) const {
        double sum = 0.0;
        for (int32_t j = 1; j <= m; ++j) {
            const double raw = s.raws[static_cast<size_t>((s.raws_seen + j - 1) % m)];
            const double term = static_cast<double>(j) * raw;
            sum = j == 1 ? term : sum + term;
        }
        const int64_t divider = int64_t{m} * (m + 1) / 2;
        out.real(0, sum / static_cast<double>(divider));
    }
};

}  // namespace zolv
