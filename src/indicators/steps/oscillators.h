// Oscillators of averages written as steps (see definition.h): trix, apo, ppo, stochrsi.
#pragma once

#include <algorithm>
#include <vector>

#include "indicators/definition.h"
#include "indicators/steps/averages.h"
#include "indicators/steps/momentum.h"

namespace zolv {

// trix x n: the triple average e3 of tema (n >= 1) and its change from the bar before in per
// cent, ((e3 / e3 before) - 1.0) * 100.0, 0.0 where e3 before is 0. First value at bar
// 3 (n - 1) + 1.
struct Trix : Definition {
    int32_t n;
    explicit Trix(const OpArgs& a) : n(a.ints[0]) {}
    bool valid() const { return n >= 1; }
    int64_t lookback() const { return 3 * (int64_t{n} - 1) + 1; }

    struct State {
        Levels<3> e;
        double before = 0.0;  // e3 at the bar before
    };
    void step(State& s, const Input& in, int64_t k) const {
        s.before = s.e.at(2);
        s.e.step(in.x[k], k, n, EmaStep{ema_factor(n)});
    }
    void value(const State& s, const Input&, int64_t, Out& out) const {
        out.real(0, s.before != 0.0 ? ((s.e.at(2) / s.before) - 1.0) * 100.0 : 0.0);
    }
};

// The existing ema over fast and over slow bars of column x, each seeded at its own period; fast
// and slow are swapped where slow < fast, both >= 2. First value at bar slow - 1.
struct TwoAverages : Definition {
    int32_t fast, slow;
    explicit TwoAverages(const OpArgs& a)
        : fast(std::min(a.ints[0], a.ints[1])), slow(std::max(a.ints[0], a.ints[1])) {}
    bool valid() const { return fast >= 2; }
    int64_t lookback() const { return int64_t{slow} - 1; }

    struct State {
        Levels<1> fast, slow;
    };
    void step(State& s, const Input& in, int64_t k) const {
        s.fast.step(in.x[k], k, fast, EmaStep{ema_factor(fast)});
        s.slow.step(in.x[k], k, slow, EmaStep{ema_factor(slow)});
    }
};

// apo x fast slow: ema(fast) - ema(slow) (TwoAverages).
struct Apo : TwoAverages {
    using TwoAverages::TwoAverages;
    void value(const State& s, const Input&, int64_t, Out& out) const {
        out.real(0, s.fast.at(0) - s.slow.at(0));
    }
};

// ppo x fast slow: ((ema(fast) - ema(slow)) / ema(slow)) * 100.0 (TwoAverages), 0.0 where
// |ema(slow)| is below 1e-14.
struct Ppo : TwoAverages {
    using TwoAverages::TwoAverages;
    void value(const State& s, const Input&, int64_t, Out& out) const {
        const double slow_ema = s.slow.at(0);
        out.real(0, near_zero(slow_ema) ? 0.0 : ((s.fast.at(0) - slow_ema) / slow_ema) * 100.0);
    }
};

// The newest `size` values of a stream in a vector that grows to `size` as they come.
struct Window {
    std::vector<double> values;
    int64_t count = 0;  // the values taken in
    size_t next = 0;    // where the next one goes

    // Takes in v; answers where it went.
    size_t push(double v, int32_t size) {
        const size_t at = next;
        if (count < size) {
            values.push_back(v);
        } else {
            values[at] = v;
        }
        ++count;
        next = at + 1 == static_cast<size_t>(size) ? 0 : at + 1;
        return at;
    }
    // Where the oldest value kept is.
    size_t oldest() const { return values.size() == static_cast<size_t>(count) ? 0 : next; }
    // The mean of the values kept: their sum added oldest first, divided by their number.
    double mean() const {
        const size_t from = oldest();
        double sum = 0.0;
        for (size_t j = from; j < values.size(); ++j) sum = sum + values[j];
        for (size_t j = 0; j < from; ++j) sum = sum + values[j];
        return sum / static_cast<double>(values.size());
    }
};

// An extreme of a Window's values and where it is kept; Newer(v, kept) tells a value that
// takes the place of the one kept.
template <typename Newer>
struct Extreme {
    double value = 0.0;
    size_t at = 0;
    bool any = false;

    // After the window took in v at `where`: v where it is newer than the one kept; else the
    // one kept, unless v took its place: then the extreme searched afresh, oldest first.
    void update(const Window& w, double v, size_t where) {
        if (any && at == where) {
            const size_t from = w.oldest();
            value = w.values[from];
            at = from;
            for (size_t j = from + 1; j < w.values.size(); ++j) take(w.values[j], j);
            for (size_t j = 0; j < from; ++j) take(w.values[j], j);
            return;
        }
        if (!any || Newer()(v, value)) {
            value = v;
            at = where;
            any = true;
        }
    }
    void take(double v, size_t where) {
        if (Newer()(v, value)) {
            value = v;
            at = where;
        }
    }
};

// stochrsi x n m k d -> {k d}: over the m newest values of rsi_wilder x n, with highest and
// lowest their extremes: raw = (rsi - lowest) / ((highest - lowest) / 100.0), 50.0 where
// (highest - lowest) / 100.0 is 0; k = the mean of the k newest raw values, d = the mean of the
// d newest k values (Window::mean). n >= 2, m, k, d >= 1. k first at bar n + m + k - 2, d at
// bar n + m + k + d - 3.
struct Stochrsi : Definition {
    static constexpr int kWidth = 2;
    struct AtMost {
        bool operator()(double v, double kept) const { return v <= kept; }
    };
    struct AtLeast {
        bool operator()(double v, double kept) const { return v >= kept; }
    };
    RsiWilder rsi;
    int32_t n, m, k, d;
    explicit Stochrsi(const OpArgs& a)
        : rsi(a), n(a.ints[0]), m(a.ints[1]), k(a.ints[2]), d(a.ints[3]) {}
    bool valid() const { return n >= 2 && m >= 1 && k >= 1 && d >= 1; }
    int64_t lookback() const { return int64_t{n} + m + k - 2; }
    int64_t d_first() const { return lookback() + d - 1; }
    int64_t state_bytes() const {
        return static_cast<int64_t>(sizeof(double)) * (int64_t{m} + k + d);
    }

    struct State {
        RsiWilder::State rsi;
        Window rsis, raws, ks;
        Extreme<AtMost> lowest;
        Extreme<AtLeast> highest;
        double k = 0.0, d = 0.0;
    };
    double rsi_after(const RsiWilder::State& s, const Input& in, int64_t bar) const {
        double v = 0.0;
        int64_t unused = 0;
        uint8_t defined = 0;
        Out out(&v, &unused, &defined);
        rsi.value(s, in, bar, out);
        return v;
    }
    void step(State& s, const Input& in, int64_t bar) const {
        rsi.step(s.rsi, in, bar);
        if (bar < n) return;
        const double r = rsi_after(s.rsi, in, bar);
        const size_t where = s.rsis.push(r, m);
        s.lowest.update(s.rsis, r, where);
        s.highest.update(s.rsis, r, where);
        if (s.rsis.count < m) return;
        const double range = (s.highest.value - s.lowest.value) / 100.0;
        s.raws.push(range == 0.0 ? 50.0 : (r - s.lowest.value) / range, k);
        if (s.raws.count < k) return;
        s.k = s.raws.mean();
        s.ks.push(s.k, d);
        if (s.ks.count < d) return;
        s.d = s.ks.mean();
    }
    void value(const State& s, const Input&, int64_t bar, Out& out) const {
        out.real(0, s.k);
        if (bar >= d_first()) out.real(1, s.d);
    }
};

}  // namespace zolv
