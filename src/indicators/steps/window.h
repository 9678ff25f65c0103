// Window operations written as steps (see definition.h): wma, trima, linreg, linreg_slope,
// linreg_intercept, tsf, midpoint, midprice, aroon, cmo. Each depends on the bars of its
// window only: its state holds exact integer sums of the window, or the window's extremes
// (WindowExtreme), so its value after a bar is the same whether the steps started at bar 0 or
// at the window's oldest bar.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "indicators/definition.h"

namespace zolv {

// An exact integer as the nearest double: one rounding.
inline double nearest_double(__int128 v) {
    const int64_t low = static_cast<int64_t>(v);
    return low == v ? static_cast<double>(low) : static_cast<double>(v);
}

// An exact sum of weighted values of a window whose weights add up to at most n (n + 1) / 2,
// each value below 2^31 in magnitude: in 64 bits for windows of up to kNarrowWindow bars (the
// sum stays below 2^63), in 128 bits beyond. Each term added fits in 64 bits.
struct WeightedSum {
    static constexpr int32_t kNarrowWindow = 92681;  // the largest n with n (n + 1) < 2^33
    int64_t narrow = 0;
    __int128 wide = 0;

    static bool is_wide(int32_t n) { return n > kNarrowWindow; }
    void add(int64_t term, bool wide_sum) {
        if (wide_sum) {
            wide += term;
        } else {
            narrow += term;
        }
    }
    __int128 exact(bool wide_sum) const { return wide_sum ? wide : narrow; }
    // The sum rounded to a double once.
    double rounded(bool wide_sum) const {
        return wide_sum ? nearest_double(wide) : static_cast<double>(narrow);
    }
};

// The n newest values of a column as exact sums: how many there are (up to n), their sum, and
// the sum of each times its place in the window (1 the oldest, n the newest).
struct WindowSums {
    int64_t seen = 0;
    int64_t sum = 0;
    WeightedSum weighted;

    // Takes in bar k of x.
    void add(const int32_t* x, int64_t k, int32_t n) {
        const int64_t v = x[k];
        const bool wide = WeightedSum::is_wide(n);
        if (seen < n) {
            ++seen;
            sum += v;
            weighted.add(seen * v, wide);
            return;
        }
        // Every value moves one place down, the oldest (at place 1) leaves, v comes in at n.
        weighted.add(n * v - sum, wide);
        sum += v - x[k - n];
    }
};

// wma x n: the weighted average, weights 1 (the oldest) to n (the newest), n >= 2:
// double(the exact weighted sum) / (n (n + 1) / 2). First value at bar n - 1.
struct Wma : Definition {
    int32_t n;
    double divider;
    explicit Wma(const OpArgs& a)
        : n(a.ints[0]), divider(static_cast<double>(int64_t{n} * (int64_t{n} + 1) / 2)) {}
    bool valid() const { return n >= 2; }
    int64_t lookback() const { return int64_t{n} - 1; }
    int64_t span() const { return n; }

    using State = WindowSums;
    void step(State& s, const Input& in, int64_t k) const { s.add(in.x, k, n); }
    void value(const State& s, const Input&, int64_t, Out& out) const {
        out.real(0, s.weighted.rounded(WeightedSum::is_wide(n)) / divider);
    }
};

// trima x n: the triangular average, n >= 2: the weight of the j-th value of the window (1 the
// oldest) is min(j, n + 1 - j); the exact weighted sum N times factor = 1.0 / W, W the sum of
// the weights ((m + 1)^2 for odd n, m (m + 1) for even n, m = n / 2 rounded down). First value
// at bar n - 1.
struct Trima : Definition {
    int32_t n;
    int64_t half;  // c = the places 1 .. c on the rising side, c = (n + 1) / 2
    double factor;
    explicit Trima(const OpArgs& a) : n(a.ints[0]), half((int64_t{n} + 1) / 2), factor(0.0) {
        if (n < 2) return;
        const int64_t m = n / 2;
        factor = 1.0 / static_cast<double>(n % 2 == 1 ? (m + 1) * (m + 1) : m * (m + 1));
    }
    bool valid() const { return n >= 2; }
    int64_t lookback() const { return int64_t{n} - 1; }
    int64_t span() const { return n; }

    struct State {
        int64_t seen = 0;
        WeightedSum weighted;  // N
        int64_t older = 0;     // the values at places 1 .. c
        int64_t newer = 0;     // the values at places n - c + 2 .. n (c - 1 of them)
    };
    void step(State& s, const Input& in, int64_t k) const {
        const int64_t v = in.x[k];
        const bool wide = WeightedSum::is_wide(n);
        if (s.seen < n) {
            const int64_t place = ++s.seen;
            s.weighted.add(std::min(place, int64_t{n} + 1 - place) * v, wide);
            if (place <= half) s.older += v;
            if (place >= int64_t{n} - half + 2) s.newer += v;
            return;
        }
        // One place down: the weights of places 1 .. c drop by one (place 1 leaves), those of
        // places n - c + 2 .. n rise by one, v comes in at weight 1.
        s.weighted.add(s.newer - s.older + v, wide);
        s.older += int64_t{in.x[k - n + half]} - in.x[k - n];
        if (half > 1) s.newer += v - in.x[k - half + 1];
    }
    void value(const State& s, const Input&, int64_t, Out& out) const {
        out.real(0, s.weighted.rounded(WeightedSum::is_wide(n)) * factor);
    }
};

// The least-squares line through the n newest values of column x, n >= 2, with the newest at
// t = 0 and the oldest at t = n - 1 (as TA-Lib counts): from exact sums SY of the values, SXY
// of t times each value, SX = n (n - 1) / 2 and SXX = the sum of t^2, the slope
// m = double(n SXY - SX SY) / double(SX^2 - n SXX) (per bar forward; -0.0 for a flat window,
// as in TA-Lib) and the line's value at the oldest bar b = (double(SY) - m * SX) / n.
struct LinearRegression : Definition {
    int32_t n;
    int64_t sx;
    double divisor;
    explicit LinearRegression(const OpArgs& a) : n(a.ints[0]), sx(0), divisor(0.0) {
        if (n < 2) return;
        sx = int64_t{n} * (n - 1) / 2;
        const __int128 sxx = static_cast<__int128>(int64_t{n} - 1) * n * (2 * int64_t{n} - 1) / 6;
        divisor = nearest_double(static_cast<__int128>(sx) * sx - n * sxx);
    }
    bool valid() const { return n >= 2; }
    int64_t lookback() const { return int64_t{n} - 1; }
    int64_t span() const { return n; }

    using State = WindowSums;
    void step(State& s, const Input& in, int64_t k) const { s.add(in.x, k, n); }
    double slope(const State& s) const {
        // t = n - place: SXY = n SY - (the sum of each value times its place).
        const __int128 sxy =
            static_cast<__int128>(n) * s.sum - s.weighted.exact(WeightedSum::is_wide(n));
        return nearest_double(n * sxy - static_cast<__int128>(sx) * s.sum) / divisor;
    }
    double start(const State& s, double m) const {
        return (static_cast<double>(s.sum) - m * static_cast<double>(sx)) / static_cast<double>(n);
    }
};

// linreg x n: the line's value at the newest bar, b + m * (n - 1). First value at bar n - 1.
struct Linreg : LinearRegression {
    using LinearRegression::LinearRegression;
    void value(const State& s, const Input&, int64_t, Out& out) const {
        const double m = slope(s);
        out.real(0, start(s, m) + m * static_cast<double>(int64_t{n} - 1));
    }
};

// linreg_slope x n: m. First value at bar n - 1.
struct LinregSlope : LinearRegression {
    using LinearRegression::LinearRegression;
    void value(const State& s, const Input&, int64_t, Out& out) const { out.real(0, slope(s)); }
};

// linreg_intercept x n: b, the line's value at the oldest bar of the window. First value at
// bar n - 1.
struct LinregIntercept : LinearRegression {
    using LinearRegression::LinearRegression;
    void value(const State& s, const Input&, int64_t, Out& out) const {
        out.real(0, start(s, slope(s)));
    }
};

// tsf x n: the line one bar past the newest, b + m * n. First value at bar n - 1.
struct Tsf : LinearRegression {
    using LinearRegression::LinearRegression;
    void value(const State& s, const Input&, int64_t, Out& out) const {
        const double m = slope(s);
        out.real(0, start(s, m) + m * static_cast<double>(n));
    }
};

// The highest (kHighest) or lowest value of the w bars ending at a bar, and the newest bar
// holding it, in O(1) per bar whatever the bars: they are cut into blocks of w from bar 0, and
// the window ending at bar k is the tail of the block before k's (from bar k - w + 1) and the
// head of k's block (up to k). The extreme of the head grows with each bar; those of every
// tail of the block before are found backwards once, when a block starts. A value and its bar
// are one key, value * 2^32 + the bar for the highest (2^31 - 1 - the bar for the lowest), so
// that the best key is the extreme and, among equal values, the newest bar (below 2^31).
template <bool kHighest>
class WindowExtreme {
public:
    // Takes in bar k of v, for windows of w bars.
    void add(const int32_t* v, int64_t k, int64_t w) {
        if (next_ < 0) {  // the first bar taken, in any block
            w_ = w;
            next_ = (k / w + 1) * w;
            head_ = key(v, k);
            if (k == next_ - w) start(v, k);
            return;
        }
        if (k < next_) {
            head_ = best(head_, key(v, k));
            return;
        }
        start(v, k);
        next_ += w_;
    }
    // The key of the window ending at bar k, the last bar taken, with bars k - w + 1 .. k all
    // taken (k >= w - 1).
    int64_t extreme(int64_t k) const {
        if (k == next_ - 1) return head_;  // the window is k's block
        return best(head_, tails_[static_cast<size_t>(k + 1 - (next_ - w_))]);
    }
    static int32_t value(int64_t key) { return static_cast<int32_t>(key >> 32); }
    static int64_t bar(int64_t key) {
        const int64_t low = key & 0xffffffff;
        return kHighest ? low : 0x7fffffff - low;
    }

private:
    static int64_t key(const int32_t* v, int64_t k) {
        return int64_t{v[k]} * 4294967296 + (kHighest ? k : 0x7fffffff - k);
    }
    static int64_t best(int64_t a, int64_t b) { return kHighest ? std::max(a, b) : std::min(a, b); }
    // Bar k starts a block: tails_[j] is the best key of bars k - w + j .. k - 1.
    void start(const int32_t* v, int64_t k) {
        head_ = key(v, k);
        if (k < w_) return;
        tails_.resize(static_cast<size_t>(w_));
        int64_t m = key(v, k - 1);
        tails_[static_cast<size_t>(w_ - 1)] = m;
        for (int64_t j = w_ - 2; j >= 0; --j) {
            m = best(m, key(v, k - w_ + j));
            tails_[static_cast<size_t>(j)] = m;
        }
    }

    int64_t w_ = 0;
    int64_t next_ = -1;  // the bar that starts the next block
    int64_t head_ = 0;   // the best key from the start of the block to the last bar taken
    std::vector<int64_t> tails_;
};

// midpoint x n: (the highest + the lowest of x over the n bars ending at the bar) / 2.0, the
// sum exact, n >= 2. First value at bar n - 1.
struct Midpoint : Definition {
    int32_t n;
    explicit Midpoint(const OpArgs& a) : n(a.ints[0]) {}
    bool valid() const { return n >= 2; }
    int64_t lookback() const { return int64_t{n} - 1; }
    int64_t span() const { return n; }

    struct State {
        WindowExtreme<true> highest;
        WindowExtreme<false> lowest;
    };
    void step(State& s, const Input& in, int64_t k) const {
        s.highest.add(in.x, k, n);
        s.lowest.add(in.x, k, n);
    }
    void value(const State& s, const Input&, int64_t k, Out& out) const {
        const int64_t sum = int64_t{WindowExtreme<true>::value(s.highest.extreme(k))} +
                            WindowExtreme<false>::value(s.lowest.extreme(k));
        out.real(0, static_cast<double>(sum) / 2.0);
    }
};

// midprice n: (the highest high + the lowest low over the n bars ending at the bar) / 2.0,
// the sum exact, n >= 2. First value at bar n - 1.
struct Midprice : Definition {
    int32_t n;
    explicit Midprice(const OpArgs& a) : n(a.ints[0]) {}
    bool valid() const { return n >= 2; }
    int64_t lookback() const { return int64_t{n} - 1; }
    int64_t span() const { return n; }

    using State = Midpoint::State;
    void step(State& s, const Input& in, int64_t k) const {
        s.highest.add(in.high, k, n);
        s.lowest.add(in.low, k, n);
    }
    void value(const State& s, const Input&, int64_t k, Out& out) const {
        const int64_t sum = int64_t{WindowExtreme<true>::value(s.highest.extreme(k))} +
                            WindowExtreme<false>::value(s.lowest.extreme(k));
        out.real(0, static_cast<double>(sum) / 2.0);
    }
};

// aroon n -> {down up oscillator}, n >= 2: over the n + 1 bars ending at bar k, with hi the
// bar of the highest high and lo that of the lowest low (the newest of equal ones) and
// f = 100.0 / n: down = f * (n - (k - lo)), up = f * (n - (k - hi)), oscillator = f * (hi - lo)
// (TA-Lib's AROONOSC), the integers exact. First value at bar n.
struct Aroon : Definition {
    static constexpr int kWidth = 3;
    int32_t n;
    double factor;
    explicit Aroon(const OpArgs& a)
        : n(a.ints[0]), factor(n >= 1 ? 100.0 / static_cast<double>(n) : 0.0) {}
    bool valid() const { return n >= 2; }
    int64_t lookback() const { return n; }
    int64_t span() const { return int64_t{n} + 1; }

    using State = Midpoint::State;
    void step(State& s, const Input& in, int64_t k) const {
        s.highest.add(in.high, k, span());
        s.lowest.add(in.low, k, span());
    }
    void value(const State& s, const Input&, int64_t k, Out& out) const {
        const int64_t hi = WindowExtreme<true>::bar(s.highest.extreme(k));
        const int64_t lo = WindowExtreme<false>::bar(s.lowest.extreme(k));
        out.real(0, factor * static_cast<double>(n - (k - lo)));
        out.real(1, factor * static_cast<double>(n - (k - hi)));
        out.real(2, factor * static_cast<double>(hi - lo));
    }
};

// cmo x n: Chande's momentum oscillator over the n newest changes of column x, n >= 1: with
// up and down the exact sums of the rises and of the falls (as positive numbers),
// (100.0 * (up - down)) / (up + down), and 0 where both are 0. First value at bar n.
struct Cmo : Definition {
    int32_t n;
    explicit Cmo(const OpArgs& a) : n(a.ints[0]) {}
    bool valid() const { return n >= 1; }
    int64_t lookback() const { return n; }
    int64_t span() const { return int64_t{n} + 1; }

    struct State {
        int64_t seen = 0;  // bars
        int64_t up = 0, down = 0;
    };
    static void count(State& s, const int32_t* x, int64_t k, int64_t sign) {
        const int64_t change = int64_t{x[k]} - x[k - 1];
        s.up += sign * std::max<int64_t>(change, 0);
        s.down += sign * std::max<int64_t>(-change, 0);
    }
    void step(State& s, const Input& in, int64_t k) const {
        if (s.seen > 0) count(s, in.x, k, 1);
        if (s.seen > n) count(s, in.x, k - n, -1);
        ++s.seen;
    }
    void value(const State& s, const Input&, int64_t, Out& out) const {
        const int64_t total = s.up + s.down;
        out.real(0, total == 0 ? 0.0
                               : (100.0 * static_cast<double>(s.up - s.down)) /
                                     static_cast<double>(total));
    }
};

}  // namespace zolv
