// Channels and trend lines drawn over the price, written as steps (see definition.h):
// donchian, ichimoku, keltner, supertrend.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

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

// The extreme of one column over the w newest bars taken in (kHighest: the highest, else the
// lowest). It keeps the bars that may still become the extreme, oldest first, each more extreme
// than every later one: a bar goes once a newer one is at least as extreme or once it leaves
// the window, so a bar costs amortized constant time.
template <bool kHighest>
struct WindowExtreme {
    std::vector<int64_t> bars;  // those before `head` have gone
    size_t head = 0;

    // Takes in bar `bar` of column v, the bars in order, a window of w >= 1 bars.
    void add(const int32_t* v, int64_t bar, int64_t w) {
        const int32_t x = v[bar];
        while (bars.size() > head && !beats(v[bars.back()], x)) bars.pop_back();
        bars.push_back(bar);
        if (bars[head] <= bar - w) ++head;
        if (head >= 64 && 2 * head >= bars.size()) {
            bars.erase(bars.begin(), bars.begin() + static_cast<std::ptrdiff_t>(head));
            head = 0;
        }
    }
    static bool beats(int32_t a, int32_t b) { return kHighest ? a > b : a < b; }
    // The extreme, once a bar has been taken in.
    int32_t value(const int32_t* v) const { return v[bars[head]]; }
};

// The highest high and lowest low of the w newest bars taken in.
struct HighLow {
    WindowExtreme<true> high;
    WindowExtreme<false> low;
    void add(const Input& in, int64_t bar, int64_t w) {
        high.add(in.high, bar, w);
        low.add(in.low, bar, w);
    }
    double mid(const Input& in) const { return midpoint(high.value(in.high), low.value(in.low)); }
};

// donchian n -> {upper lower middle}: the highest H and lowest L of the n bars ending at the
// bar (integers), middle = (upper + lower) / 2.0. From bar n - 1.
struct Donchian : Definition {
    static constexpr int kWidth = 3;
    static constexpr uint32_t kIntegerParts = 3;  // upper and lower
    int32_t n;
    explicit Donchian(const OpArgs& a) : n(a.ints[0]) {}
    bool valid() const { return n >= 1; }
    int64_t lookback() const { return int64_t{n} - 1; }
    int64_t span() const { return n; }

    using State = HighLow;
    void step(State& s, const Input& in, int64_t bar) const { s.add(in, bar, n); }
    void value(const State& s, const Input& in, int64_t, Out& out) const {
        const int32_t upper = s.high.value(in.high);
        const int32_t lower = s.low.value(in.low);
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
    // The windows at bar i reach back to bar i - max(t, k) + 1; those at bar i - k are fed
    // bar j - k at bar j, so they need the bars from i - max(t, k, s) + 1 on too.
    int64_t span() const { return std::max(std::max(t, k), s); }

    struct State {
        HighLow tenkan, kijun;                          // at the bar
        HighLow early_tenkan, early_kijun, early_span;  // at the bar k bars before
    };
    void step(State& st, const Input& in, int64_t bar) const {
        st.tenkan.add(in, bar, t);
        st.kijun.add(in, bar, k);
        if (bar < k) return;
        st.early_tenkan.add(in, bar - k, t);
        st.early_kijun.add(in, bar - k, k);
        st.early_span.add(in, bar - k, s);
    }
    void value(const State& st, const Input& in, int64_t i, Out& out) const {
        if (i >= t - 1) out.real(0, st.tenkan.mid(in));
        if (i >= k - 1) out.real(1, st.kijun.mid(in));
        const int64_t early = i - k;
        if (early >= std::max(t, k) - 1) {
            out.real(2, (st.early_tenkan.mid(in) + st.early_kijun.mid(in)) / 2.0);
        }
        if (early >= s - 1) out.real(3, st.early_span.mid(in));
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
