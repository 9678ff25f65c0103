// Volatility measures written as steps (see definition.h): atr, natr, bbands.
#pragma once

#include <cmath>

#include "indicators/definition.h"

namespace zolv {

// atr n: Wilder's average (WilderAverage) of the true range of bars 1, 2, ... First value at
// bar n, the mean of the first n true ranges.
struct Atr : Definition {
    int32_t n;
    explicit Atr(const OpArgs& a) : n(a.ints[0]) {}
    bool valid() const { return n >= 1; }
    int64_t lookback() const { return n; }

    struct State {
        int32_t close = 0;  // of the bar before
        WilderAverage range;
    };
    void step(State& s, const Input& in, int64_t k) const {
        if (k > 0) s.range.add(true_range(in.high[k], in.low[k], s.close), n);
        s.close = in.close[k];
    }
    void value(const State& s, const Input&, int64_t, Out& out) const {
        out.real(0, s.range.average);
    }
};

// natr n: (atr / close) * 100.0, and 0 where the close is 0.
struct Natr : Atr {
    using Atr::Atr;
    void value(const State& s, const Input& in, int64_t k, Out& out) const {
        const int32_t close = in.close[k];
        out.real(0, close == 0 ? 0.0 : (s.range.average / static_cast<double>(close)) * 100.0);
    }
};

// bbands x n k -> {upper middle lower}: over the n bars ending at the bar, with S = the sum of
// x and Q = n * (the sum of x * x) - S * S, both exact integers: middle = double(S) / n,
// dev = sqrt(double(Q)) / n, upper = middle + k * dev, lower = middle - k * dev.
struct Bbands : Definition {
    static constexpr int kWidth = 3;
    int32_t n;
    double k;
    explicit Bbands(const OpArgs& a) : n(a.ints[0]), k(a.reals[0]) {}
    bool valid() const { return n >= 2 && std::isfinite(k); }
    int64_t lookback() const { return int64_t{n} - 1; }
    int64_t span() const { return n; }

    struct State {
        int64_t seen = 0;
        int64_t sum = 0;
        __int128 squares = 0;
    };
    void step(State& s, const Input& in, int64_t bar) const {
        const int64_t x = in.x[bar];
        s.sum += x;
        s.squares += static_cast<__int128>(x * x);
        if (++s.seen > n) {
            const int64_t old = in.x[bar - n];
            s.sum -= old;
            s.squares -= static_cast<__int128>(old * old);
        }
    }
    void value(const State& s, const Input&, int64_t, Out& out) const {
        const double middle = static_cast<double>(s.sum) / n;
        const __int128 q =
            static_cast<__int128>(n) * s.squares - static_cast<__int128>(s.sum) * s.sum;
        const double dev = std::sqrt(static_cast<double>(q)) / n;
        out.real(0, middle + k * dev);
        out.real(1, middle);
        out.real(2, middle - k * dev);
    }
};

}  // namespace zolv
