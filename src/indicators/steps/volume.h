// Volume indicators written as steps (see definition.h): obv, ad, adosc.
#pragma once

#include <algorithm>

#include "indicators/definition.h"
#include "indicators/ema_chain.h"

namespace zolv {

// obv: on-balance volume, an exact 64-bit integer: the volume of bar 0, then plus the bar's
// volume where its close is above the close before, minus it where below. From bar 0.
struct Obv : Definition {
    static constexpr uint32_t kIntegerParts = 1;
    explicit Obv(const OpArgs&) {}
    bool valid() const { return true; }
    int64_t lookback() const { return 0; }

    struct State {
        int64_t obv = 0;
        int32_t close = 0;  // of the bar before
    };
    void step(State& s, const Input& in, int64_t k) const {
        const int32_t c = in.close[k];
        const int64_t v = in.volume[k];
        if (k == 0) {
            s.obv = v;
        } else if (c > s.close) {
            s.obv += v;
        } else if (c < s.close) {
            s.obv -= v;
        }
        s.close = c;
    }
    void value(const State& s, const Input&, int64_t, Out& out) const { out.integer(0, s.obv); }
};

// The accumulation/distribution line after bar k, from its value `ad` before: where H > L,
// ad + (((C - L) - (H - C)) / (H - L)) * V, the differences exact, the rest in doubles in that
// order; elsewhere ad unchanged.
inline double accumulate(double ad, const Input& in, int64_t k) {
    const int64_t h = in.high[k];
    const int64_t l = in.low[k];
    const int64_t c = in.close[k];
    const int64_t range = h - l;
    if (range <= 0) return ad;
    const double weight = static_cast<double>((c - l) - (h - c)) / static_cast<double>(range);
    return ad + weight * static_cast<double>(in.volume[k]);
}

// ad: the accumulation/distribution line, 0 before bar 0 and accumulated (accumulate) over
// every bar from bar 0 on.
struct Ad : Definition {
    explicit Ad(const OpArgs&) {}
    bool valid() const { return true; }
    int64_t lookback() const { return 0; }

    struct State {
        double ad = 0.0;
    };
    void step(State& s, const Input& in, int64_t k) const { s.ad = accumulate(s.ad, in, k); }
    void value(const State& s, const Input&, int64_t, Out& out) const { out.real(0, s.ad); }
};

// adosc fast slow: the Chaikin oscillator, fast EMA - slow EMA of the ad line, each EMA
// starting at bar 0 with ad itself and then (f * ad) + ((1.0 - f) * EMA), f = 2 / (n + 1). First
// value at bar max(fast, slow) - 1.
struct Adosc : Definition {
    int32_t fast, slow;
    explicit Adosc(const OpArgs& a) : fast(a.ints[0]), slow(a.ints[1]) {}
    bool valid() const { return fast >= 2 && slow >= 2; }
    int64_t lookback() const { return int64_t{std::max(fast, slow)} - 1; }

    struct State {
        double ad = 0.0;
        double fast_ema = 0.0, slow_ema = 0.0;
    };
    void step(State& s, const Input& in, int64_t k) const {
        s.ad = accumulate(s.ad, in, k);
        if (k == 0) {
            s.fast_ema = s.slow_ema = s.ad;
            return;
        }
        const double fast_factor = ema_factor(fast);
        const double slow_factor = ema_factor(slow);
        s.fast_ema = (fast_factor * s.ad) + ((1.0 - fast_factor) * s.fast_ema);
        s.slow_ema = (slow_factor * s.ad) + ((1.0 - slow_factor) * s.slow_ema);
    }
    void value(const State& s, const Input&, int64_t, Out& out) const {
        out.real(0, s.fast_ema - s.slow_ema);
    }
};

}  // namespace zolv
