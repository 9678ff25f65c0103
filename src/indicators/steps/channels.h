// Channels and trend lines drawn over the price, written as steps (see definition.h):
// donchian, ichimoku, keltner, supertrend.
#pragma once

#include <algorithm>
#include <climits>
#include <cmath>

#include "indicators/definition.h"
#include "indicators/ema_chain.h"
#include "indicators/steps/volatility.h"

namespace zolv {

// The arguments of a definition over one window of n bars (to run atr n inside another).
inline OpArgs window_args(int32_t n) {
    OpArgs a;
    a.ints[0] = n;
    return a;
}

// (high + low) / 2.0: the integer sum, then one division.
inline double midpoint(int32_t high, int32_t low) {
    return static_cast<double>(int64_t{high} + low) / 2.0;
}

// The highest of v over the bars first .. last (INT32_MIN for none).
inline int32_t highest_of(const int32_t* v, int64_t first, int64_t last) {
    int32_t best = INT32_MIN;
    for (int64_t k = first; k <= last; ++k) best = std::max(best, v[k]);
    return best;
}

// The lowest of v over the bars first .. last (INT32_MAX for none).
inline int32_t lowest_of(const int32_t* v, int64_t first, int64_t last) {
    int32_t best = INT32_MAX;
    for (int64_t k = first; k <= last; ++k) best = std::min(best, v[k]);
    return best;
}

// The midpoints of the highest H and lowest L of the w bars ending at bar j, for each of the
// `count` (at most 3) widths w: out[q] for widths[q], where bar j has that many bars at or
// before it (has[q]). One pass back from bar j, the longer windows extending the shorter.
inline void window_midpoints(const Input& in, int64_t j, const int32_t* widths, int count,
                             double* out, bool* has) {
    int order[3] = {0, 1, 2};
    std::sort(order, order + count, [widths](int a, int b) { return widths[a] < widths[b]; });
    int32_t high = INT32_MIN;
    int32_t low = INT32_MAX;
    int64_t reached = j + 1;  // the bars from `reached` to j are in high and low
    for (int q = 0; q < count; ++q) {
        const int at = order[q];
        const int64_t first = j - widths[at] + 1;
        has[at] = first >= 0;
        if (!has[at]) continue;
        high = std::max(high, highest_of(in.high, first, reached - 1));
        low = std::min(low, lowest_of(in.low, first, reached - 1));
        reached = std::min(reached, first);
        out[at] = midpoint(high, low);
    }
}

// donchian n -> {upper lower middle}: the highest H and lowest L of the n bars ending at the
// bar (integers), middle = (upper + lower) / 2.0. From bar n - 1.
struct Donchian : Definition {
    static constexpr int kWidth = 3;
    static constexpr uint32_t kIntegerParts = 3;  // upper and lower
    int32_t n;
    explicit Donchian(const OpArgs& a) : n(a.ints[0]) {}
    bool valid() const { return n >= 1; }
    int64_t lookback() const { return int64_t{n} - 1; }
    int64_t span() const { return 1; }  // the window is read from the bars

    struct State {};
    void step(State&, const Input&, int64_t) const {}
    void value(const State&, const Input& in, int64_t i, Out& out) const {
        const int32_t upper = highest_of(in.high, i - n + 1, i);
        const int32_t lower = lowest_of(in.low, i - n + 1, i);
        out.integer(0, upper);
        out.integer(1, lower);
        out.real(2, midpoint(upper, lower));
    }
};

// ichimoku t k s -> {tenkan kijun span_a span_b}, with mid(w, j) the midpoint of the highest H
// and lowest L of the w bars ending at bar j: tenkan = mid(t, i), kijun = mid(k, i); the cloud
// drawn at bar i was computed k bars earlier: span_a = (tenkan at i - k + kijun at i - k) / 2.0,
// span_b = mid(s, i - k). tenkan from bar t - 1, kijun from k - 1, span_a from k + max(t, k) -
// 1, span_b from k + s - 1. The lagging span is the close k bars later: nothing to compute.
struct Ichimoku : Definition {
    static constexpr int kWidth = 4;
    int32_t t, k, s;
    explicit Ichimoku(const OpArgs& a) : t(a.ints[0]), k(a.ints[1]), s(a.ints[2]) {}
    bool valid() const { return t >= 1 && k >= 1 && s >= 1; }
    int64_t lookback() const { return int64_t{std::min(t, k)} - 1; }
    int64_t span() const { return 1; }  // the windows are read from the bars

    struct State {};
    void step(State&, const Input&, int64_t) const {}
    void value(const State&, const Input& in, int64_t i, Out& out) const {
        const int32_t now_widths[] = {t, k};
        double now[2];
        bool has_now[2];
        window_midpoints(in, i, now_widths, 2, now, has_now);
        if (has_now[0]) out.real(0, now[0]);
        if (has_now[1]) out.real(1, now[1]);
        const int64_t early = i - k;
        if (early < 0) return;
        const int32_t early_widths[] = {t, k, s};
        double then[3];
        bool has_then[3];
        window_midpoints(in, early, early_widths, 3, then, has_then);
        if (has_then[0] && has_then[1]) out.real(2, (then[0] + then[1]) / 2.0);
        if (has_then[2]) out.real(3, then[2]);
    }
};

// keltner n mult m -> {upper middle lower}: middle = the ema of the closes over n (the mean of
// the first n closes, then prev + 2 / (n + 1) * (C - prev)), a = atr m, upper = middle + mult *
// a, lower = middle - mult * a. From bar max(n - 1, m), where both are defined.
struct Keltner : Definition {
    static constexpr int kWidth = 3;
    int32_t n;
    double mult;
    Atr atr;
    explicit Keltner(const OpArgs& a)
        : n(a.ints[0]), mult(a.reals[0]), atr(window_args(a.ints[1])) {}
    bool valid() const { return n >= 1 && atr.valid() && std::isfinite(mult); }
    int64_t lookback() const { return std::max(int64_t{n} - 1, atr.lookback()); }

    struct State {
        int64_t sum = 0;  // of the first n closes
        double ema = 0.0;
        Atr::State atr;
    };
    void step(State& s, const Input& in, int64_t bar) const {
        const int32_t c = in.close[bar];
        if (bar < n) {
            s.sum += c;
            if (bar == n - 1) s.ema = static_cast<double>(s.sum) / n;
        } else {
            s.ema = EmaChain::next(s.ema, ema_factor(n), static_cast<double>(c));
        }
        atr.step(s.atr, in, bar);
    }
    void value(const State& s, const Input&, int64_t, Out& out) const {
        const double a = s.atr.range.average;
        out.real(0, s.ema + mult * a);
        out.real(1, s.ema);
        out.real(2, s.ema - mult * a);
    }
};

// supertrend n mult -> {line direction}: with a = atr n and mid = (H + L) / 2.0, basic_up = mid
// + mult * a and basic_dn = mid - mult * a. At bar n, the first with a: up = basic_up, dn =
// basic_dn, direction -1. After it: up = basic_up where basic_up < the up before or the close
// before is above it, else the up before; dn = basic_dn where basic_dn > the dn before or the
// close before is below it, else the dn before; after a direction of -1 the direction is +1
// where C > up, else -1; after +1 it is -1 where C < dn, else +1. line = dn where the
// direction is +1, up where it is -1. From bar n.
struct Supertrend : Definition {
    static constexpr int kWidth = 2;
    static constexpr uint32_t kIntegerParts = 2;  // direction
    int32_t n;
    double mult;
    Atr atr;
    explicit Supertrend(const OpArgs& a) : n(a.ints[0]), mult(a.reals[0]), atr(a) {}
    bool valid() const { return atr.valid() && std::isfinite(mult); }
    int64_t lookback() const { return atr.lookback(); }

    struct State {
        Atr::State atr;
        double up = 0.0, dn = 0.0;
        int32_t direction = 0;
        int32_t close = 0;  // of the bar before
    };
    void step(State& s, const Input& in, int64_t bar) const {
        atr.step(s.atr, in, bar);
        const int32_t c = in.close[bar];
        if (bar >= n) {
            const double a = s.atr.range.average;
            const double mid = midpoint(in.high[bar], in.low[bar]);
            const double basic_up = mid + mult * a;
            const double basic_dn = mid - mult * a;
            if (bar == n) {
                s.up = basic_up;
                s.dn = basic_dn;
                s.direction = -1;
            } else {
                const double before = s.close;
                if (basic_up < s.up || before > s.up) s.up = basic_up;
                if (basic_dn > s.dn || before < s.dn) s.dn = basic_dn;
                if (s.direction == -1) {
                    s.direction = c > s.up ? 1 : -1;
                } else {
                    s.direction = c < s.dn ? -1 : 1;
                }
            }
        }
        s.close = c;
    }
    void value(const State& s, const Input&, int64_t, Out& out) const {
        out.real(0, s.direction == 1 ? s.dn : s.up);
        out.integer(1, s.direction);
    }
};

}  // namespace zolv
