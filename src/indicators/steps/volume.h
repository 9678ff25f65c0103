// Volume indicators written as steps (see definition.h): obv.
#pragma once

#include "indicators/definition.h"

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

}  // namespace zolv
