// Momentum oscillators written as steps (see definition.h): rsi_wilder.
#pragma once

#include "indicators/definition.h"

namespace zolv {

// rsi_wilder x n: Wilder's RSI of the changes of column x. gain and loss are Wilder averages
// (WilderAverage) of the rises and of the falls (as positive numbers) of the changes of bars
// 1, 2, ...; RSI = 100.0 * (gain / (gain + loss)), and 50 where gain + loss is exactly 0.
// First value at bar n, the mean of the first n changes.
struct RsiWilder : Definition {
    int32_t n;
    explicit RsiWilder(const OpArgs& a) : n(a.ints[0]) {}
    bool valid() const { return n >= 2; }
    int64_t lookback() const { return n; }

    struct State {
        int32_t previous = 0;
        WilderAverage gain, loss;
    };
    void step(State& s, const Input& in, int64_t k) const {
        const int32_t x = in.x[k];
        if (k > 0) {
            const int64_t change = int64_t{x} - s.previous;
            s.gain.add(change > 0 ? change : 0, n);
            s.loss.add(change < 0 ? -change : 0, n);
        }
        s.previous = x;
    }
    void value(const State& s, const Input&, int64_t, Out& out) const {
        const double sum = s.gain.average + s.loss.average;
        out.real(0, sum == 0.0 ? 50.0 : 100.0 * (s.gain.average / sum));
    }
};

}  // namespace zolv
