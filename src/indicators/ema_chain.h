// Exponential averages advanced bar by bar from their seed, shared by the
// moving averages and MACD. Each value equals the recursive definition's to the bit.
#pragma once

#include <cstdint>

#include "series/zolv.h"

namespace zolv {

// Mean of the n bars ending at i, as the simple moving average forms it: an
// exact integer sum converted to double, divided by n. The window has been checked.
inline double window_mean(int n, const Column& c, int i) {
    int64_t sum = 0;
    for (int64_t k = i; k > static_cast<int64_t>(i) - n; --k) sum += c[static_cast<size_t>(k)];
    return static_cast<double>(sum) / n;
}

// The weight of a new bar in the average over n bars: 2 / (n + 1).
inline double ema_factor(int n) {
    return 2.0 / static_cast<double>(static_cast<int64_t>(n) + 1);
}

// One exponential average. It starts where the recursive definition bottoms
// out: at the oldest full window (bar n - 1) with the simple average there, or,
// for n = 1, at bar `first` with that bar's value.
struct EmaChain {
    EmaChain(int n, const Column& c, int first)
        : start(n == 1 ? first : n - 1), factor(ema_factor(n)), value(window_mean(n, c, start)) {}

    // prev + factor * (x - prev), in that order.
    static double next(double prev, double factor, double x) { return prev + factor * (x - prev); }
    void step(double x) { value = next(value, factor, x); }

    int start;
    double factor;
    double value;
};

// The averages over n1 and n2 bars advanced together, both standing at bar `at`. The two
// chains are independent, so interleaving them costs little more than one.
struct EmaPair {
    // Both windows must fit at bar `first`, where the pair starts.
    EmaPair(int n1, int n2, const Column& c, int first)
        : a(n1, c, first), b(n2, c, first), x(c.data()) {
        int ka = a.start;
        int kb = b.start;
        while (ka < kb) a.step(static_cast<double>(x[++ka]));  // the earlier seed catches up
        while (kb < ka) b.step(static_cast<double>(x[++kb]));
        at = ka;
        while (at < first) step();
    }
    // Moves both to the next bar.
    void step() {
        const double v = static_cast<double>(x[++at]);
        a.step(v);
        b.step(v);
    }

    EmaChain a;
    EmaChain b;
    const int32_t* x;
    int at;
};

// Advances the averages over n1 and n2 bars together up to bar `last` and calls
// visit(k, ema1, ema2) for every bar k from `first` to `last`. Both windows must
// fit at bar `first`.
template <typename Visit>
void walk_ema_pair(int n1, int n2, const Column& c, int first, int last, Visit&& visit) {
    EmaPair pair(n1, n2, c, first);
    visit(pair.at, pair.a.value, pair.b.value);
    while (pair.at < last) {
        pair.step();
        visit(pair.at, pair.a.value, pair.b.value);
    }
}

}  // namespace zolv
