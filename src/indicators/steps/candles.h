// Bars drawn from other bars, written as steps (see definition.h): heikin_ashi, pivots.
#pragma once

#include <algorithm>

#include "indicators/definition.h"

namespace zolv {

// heikin_ashi -> {open high low close} as doubles: close = (O + H + L + C) / 4.0; open = (the
// open before + the close before) / 2.0, at bar 0 (O + C) / 2.0; high = max(H, open, close),
// low = min(L, open, close). From bar 0.
struct HeikinAshi : Definition {
    static constexpr int kWidth = 4;
    explicit HeikinAshi(const OpArgs&) {}
    bool valid() const { return true; }
    int64_t lookback() const { return 0; }

    struct State {
        double open = 0.0, close = 0.0;
    };
    void step(State& s, const Input& in, int64_t k) const {
        const int64_t o = in.open[k];
        const int64_t c = in.close[k];
        const double close = static_cast<double>(o + in.high[k] + in.low[k] + c) / 4.0;
        s.open = k == 0 ? static_cast<double>(o + c) / 2.0 : (s.open + s.close) / 2.0;
        s.close = close;
    }
    void value(const State& s, const Input& in, int64_t k, Out& out) const {
        out.real(0, s.open);
        out.real(1, std::max(static_cast<double>(in.high[k]), std::max(s.open, s.close)));
        out.real(2, std::min(static_cast<double>(in.low[k]), std::min(s.open, s.close)));
        out.real(3, s.close);
    }
};

// pivots -> {p r1 s1 r2 s2 r3 s3}, the classic floor pivots from H, L and C of the bar before:
// p = (H + L + C) / 3.0; r1 = 2.0 * p - L; s1 = 2.0 * p - H; r2 = p + (H - L); s2 = p - (H -
// L); r3 = H + 2.0 * (p - L); s3 = L - 2.0 * (H - p), H - L exact. From bar 1.
struct Pivots : Definition {
    static constexpr int kWidth = 7;
    explicit Pivots(const OpArgs&) {}
    bool valid() const { return true; }
    int64_t lookback() const { return 1; }
    int64_t span() const { return 1; }

    struct State {};
    void step(State&, const Input&, int64_t) const {}
    void value(const State&, const Input& in, int64_t k, Out& out) const {
        const int64_t h = in.high[k - 1];
        const int64_t l = in.low[k - 1];
        const double high = static_cast<double>(h);
        const double low = static_cast<double>(l);
        const double range = static_cast<double>(h - l);
        const double p = static_cast<double>(h + l + in.close[k - 1]) / 3.0;
        out.real(0, p);
        out.real(1, 2.0 * p - low);
        out.real(2, 2.0 * p - high);
        out.real(3, p + range);
        out.real(4, p - range);
        out.real(5, high + 2.0 * (p - low));
        out.real(6, low - 2.0 * (high - p));
    }
};

}  // namespace zolv
