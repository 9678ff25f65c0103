// Moving averages written as steps (see definition.h): dema, tema, t3, kama; and the chains of
// exponential averages that dema, tema, trix and t3 share.
#pragma once

#include <array>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "indicators/definition.h"
#include "indicators/ema_chain.h"

namespace zolv {

// An exponential average over n values fed one at a time, before its steps: the sum of its
// first n values added oldest first (from 0), divided by n. Sum is int64_t for the bars'
// integers (an exact sum), double for values formed from them.
template <typename Sum>
struct Seeded {
    Sum sum = 0;
    double value = 0.0;

    // Takes in value t (0 the first) where it is one of the first n, and answers true; at
    // t = n - 1 `value` becomes the mean. Past them it answers false: the caller steps `value`.
    bool seed(Sum x, int64_t t, int32_t n) {
        if (t >= n) return false;
        sum += x;
        if (t == n - 1) value = static_cast<double>(sum) / n;
        return true;
    }
};

// The step of the existing ema: prev + f * (x - prev), f = 2 / (n + 1).
struct EmaStep {
    double f;
    double operator()(double prev, double x) const { return EmaChain::next(prev, f, x); }
};

// Averages of averages over n: level 0 of column x, from bar n - 1 on; level j of the values of
// level j - 1 from the bar where that one is defined, so from bar (j + 1) (n - 1) on. Each is
// seeded with its mean (Seeded) and stepped by `next`.
template <int kLevels>
struct Levels {
    Seeded<int64_t> first;
    std::array<Seeded<double>, kLevels - 1> more;

    double at(int j) const { return j == 0 ? first.value : more[static_cast<size_t>(j - 1)].value; }

    template <typename Step>
    void step(int32_t x, int64_t k, int32_t n, Step next) {
        if (!first.seed(x, k, n)) first.value = next(first.value, static_cast<double>(x));
        step_more(first.value, k, n, next, std::make_index_sequence<kLevels - 1>());
    }

private:
    // Each level in turn (each by a constant index, so that a state can live in registers).
    template <typename Step, size_t... J>
    void step_more([[maybe_unused]] double v, [[maybe_unused]] int64_t k,
                   [[maybe_unused]] int32_t n, [[maybe_unused]] Step next,
                   std::index_sequence<J...>) {
        static_cast<void>(
            (... && feed(std::get<J>(more), v, k - (J + 1) * (int64_t{n} - 1), n, next)));
    }
    // Level e takes in its value t, v, where t >= 0; v becomes its value. false: not yet.
    template <typename Step>
    static bool feed(Seeded<double>& e, double& v, int64_t t, int32_t n, Step next) {
        if (t < 0) return false;
        if (!e.seed(v, t, n)) e.value = next(e.value, v);
        v = e.value;
        return true;
    }
};

// dema x n: e1 the existing ema over n of column x (seeded with the mean of its first n bars),
// e2 the same average of the values of e1 (seeded with the mean of its first n values, added
// oldest first); dema = (2.0 * e1) - e2. First value at bar 2 (n - 1).
struct Dema : Definition {
    int32_t n;
    explicit Dema(const OpArgs& a) : n(a.ints[0]) {}
    bool valid() const { return n >= 2; }
    int64_t lookback() const { return 2 * (int64_t{n} - 1); }

    struct State {
        Levels<2> e;
    };
    void step(State& s, const Input& in, int64_t k) const {
        s.e.step(in.x[k], k, n, EmaStep{ema_factor(n)});
    }
    void value(const State& s, const Input&, int64_t, Out& out) const {
        out.real(0, (2.0 * s.e.at(0)) - s.e.at(1));
    }
};

// tema x n: e1, e2 as for dema, e3 the same average of e2; tema = e3 + ((3.0 * e1) - (3.0 *
// e2)). First value at bar 3 (n - 1).
struct Tema : Definition {
    int32_t n;
    explicit Tema(const OpArgs& a) : n(a.ints[0]) {}
    bool valid() const { return n >= 2; }
    int64_t lookback() const { return 3 * (int64_t{n} - 1); }

    struct State {
        Levels<3> e;
    };
    void step(State& s, const Input& in, int64_t k) const {
        s.e.step(in.x[k], k, n, EmaStep{ema_factor(n)});
    }
    void value(const State& s, const Input&, int64_t, Out& out) const {
        out.real(0, s.e.at(2) + ((3.0 * s.e.at(0)) - (3.0 * s.e.at(1))));
    }
};

// t3 x n vfactor: six averages over n in a chain, each seeded with its mean as for dema but
// stepped as (f * x) + ((1.0 - f) * prev), f = 2.0 / (n + 1.0); with a = vfactor and b = a * a:
// c1 = -(b * a), c2 = 3.0 * (b - c1), c3 = -6.0 * b - 3.0 * (a - c1), c4 = 1.0 + 3.0 * a - c1
// + 3.0 * b; t3 = c1 * e6 + c2 * e5 + c3 * e4 + c4 * e3, left to right. vfactor from 0 to 1.
// First value at bar 6 (n - 1).
struct T3 : Definition {
    int32_t n;
    double a;
    double f, rest;         // the weights of a step
    double c1, c2, c3, c4;  // of e6, e5, e4, e3
    explicit T3(const OpArgs& args) : n(args.ints[0]), a(args.reals[0]) {
        f = 2.0 / (n + 1.0);
        rest = 1.0 - f;
        const double b = a * a;
        c1 = -(b * a);
        c2 = 3.0 * (b - c1);
        c3 = -6.0 * b - 3.0 * (a - c1);
        c4 = 1.0 + 3.0 * a - c1 + 3.0 * b;
    }
    bool valid() const { return n >= 2 && a >= 0.0 && a <= 1.0; }
    int64_t lookback() const { return 6 * (int64_t{n} - 1); }

    struct Step {
        double f, rest;
        double operator()(double prev, double x) const { return (f * x) + (rest * prev); }
    };
    struct State {
        Levels<6> e;
    };
    void step(State& s, const Input& in, int64_t k) const {
        s.e.step(in.x[k], k, n, Step{f, rest});
    }
    void value(const State& s, const Input&, int64_t, Out& out) const {
        out.real(0, c1 * s.e.at(5) + c2 * s.e.at(4) + c3 * s.e.at(3) + c4 * s.e.at(2));
    }
};

// kama x n: Kaufman's adaptive average. At bar k >= n, with change = x[k] - x[k - n] and
// volatility the sum of |x[j] - x[j - 1]| over the n bars j ending at k (exact): er = 1.0
// where volatility <= change or volatility is 0, else |change / volatility|; sc = (er * (2.0 /
// (2.0 + 1.0) - 2.0 / (30.0 + 1.0)) + 2.0 / (30.0 + 1.0)) squared; kama = prev + sc * (x -
// prev), prev starting as x[n - 1]. First value at bar n.
struct Kama : Definition {
    static constexpr double kSlowest = 2.0 / (30.0 + 1.0);
    static constexpr double kSpread = 2.0 / (2.0 + 1.0) - kSlowest;
    int32_t n;
    explicit Kama(const OpArgs& a) : n(a.ints[0]) {}
    bool valid() const { return n >= 2; }
    int64_t lookback() const { return n; }

    struct State {
        int64_t volatility = 0;  // the sum of the n newest |changes|
        double kama = 0.0;
    };
    void step(State& s, const Input& in, int64_t k) const {
        const int32_t* x = in.x;
        if (k > 0) s.volatility += std::abs(int64_t{x[k]} - x[k - 1]);
        if (k > n) s.volatility -= std::abs(int64_t{x[k - n]} - x[k - n - 1]);
        if (k == int64_t{n} - 1) s.kama = x[k];
        if (k < n) return;
        const int64_t change = int64_t{x[k]} - x[k - n];
        double er = 1.0;
        if (s.volatility > change && s.volatility != 0) {
            er = std::fabs(static_cast<double>(change) / static_cast<double>(s.volatility));
        }
        double sc = (er * kSpread) + kSlowest;
        sc = sc * sc;
        s.kama = EmaChain::next(s.kama, sc, static_cast<double>(x[k]));
    }
    void value(const State& s, const Input&, int64_t, Out& out) const { out.real(0, s.kama); }
};

}  // namespace zolv
