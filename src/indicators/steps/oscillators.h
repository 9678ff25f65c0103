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
    EmaStep next;
    explicit Trix(const OpArgs& a) : n(a.ints[0]), next{ema_factor(n)} {}
    bool valid() const { return n >= 1; }
    int64_t lookback() const { return 3 * (int64_t{n} - 1) + 1; }

    struct State {
        Levels<3> e;
        double before = 0.0;  // e3 at the bar before
    };
    void step(State& s, const Input& in, int64_t k) const {
        s.before = s.e.at(2);
        s.e.step(in.x[k], k, n, next);
    }
    void value(const State& s, const Input&, int64_t, Out& out) const {
        out.real(0, s.before != 0.0 ? ((s.e.at(2) / s.before) - 1.0) * 100.0 : 0.0);
    }
};

// The existing ema over fast and over slow bars of column x, each seeded at its own period; fast
// and slow are swapped where slow < fast, both >= 2. First value at bar slow - 1.
struct TwoAverages : Definition {
    int32_t fast, slow;
    EmaStep fast_next, slow_next;
    explicit TwoAverages(const OpArgs& a)
        : fast(std::min(a.ints[0], a.ints[1])),
          slow(std::max(a.ints[0], a.ints[1])),
          fast_next{ema_factor(fast)},
          slow_next{ema_factor(slow)} {}
    bool valid() const { return fast >= 2; }
    int64_t lookback() const { return int64_t{slow} - 1; }

    struct State {
        Levels<1> fast, slow;
    };
    void step(State& s, const Input& in, int64_t k) const {
        s.fast.step(in.x[k], k, fast, fast_next);
        s.slow.step(in.x[k], k, slow, slow_next);
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
    // The mean of the values kept: their sum added oldest first, divided by their number. That
    // of one value, (0.0 + v) / 1.0, is v itself (the windows here never hold -0.0).
    double mean() const {
        if (values.size() == 1) return values[0];
        const size_t from = oldest();
        double sum = 0.0;
        for (size_t j = from; j < values.size(); ++j) sum = sum + values[j];
        for (size_t j = 0; j < from; ++j) sum = sum + values[j];
        return sum / static_cast<double>(values.size());
    }
};

// The highest and the lowest of the `size` newest values of a stream (of all of them while
// fewer have come), exact, without a branch on the values: the values are cut into blocks of
// `size`, and the window ending at a value is the tail of the block before its own and the head
// of its own block up to it. The extremes of the head grow with each value; those of every tail
// of the block before are found once, newest first, when a block starts.
struct WindowRange {
    std::vector<double> values;  // the block before, then the head of the newest block
    std::vector<double> high_tails, low_tails;  // [j]: of the block before's values j .. size - 1
    double high = 0.0, low = 0.0;               // of the head
    int64_t count = 0;                          // the values taken in
    size_t at = 0;                              // the place of the newest value in its block

    void push(double v, int32_t size) {
        const size_t block = static_cast<size_t>(size);
        if (count == 0) {
            at = 0;
            high = low = v;
        } else if (at + 1 == block) {  // a block starts: the one before is complete
            high_tails.resize(block);
            low_tails.resize(block);
            double h = values[block - 1];
            double l = h;
            high_tails[block - 1] = h;
            low_tails[block - 1] = l;
            for (size_t j = block - 1; j-- > 0;) {
                h = std::max(h, values[j]);
                l = std::min(l, values[j]);
                high_tails[j] = h;
                low_tails[j] = l;
            }
            at = 0;
            high = low = v;
        } else {
            ++at;
            high = std::max(high, v);
            low = std::min(low, v);
        }
        if (count < size) {
            values.push_back(v);
        } else {
            values[at] = v;
        }
        ++count;
    }
    // The extremes of the window ending at the newest value.
    double highest(int32_t size) const {
        return count <= size || at + 1 == static_cast<size_t>(size)
                   ? high
                   : std::max(high_tails[at + 1], high);
    }
    double lowest(int32_t size) const {
        return count <= size || at + 1 == static_cast<size_t>(size)
                   ? low
                   : std::min(low_tails[at + 1], low);
    }
};

// stochrsi x n m k d -> {k d}: over the m newest values of rsi_wilder x n, with highest and
// lowest their extremes: raw = (rsi - lowest) / ((highest - lowest) / 100.0), 50.0 where
// (highest - lowest) / 100.0 is 0; k = the mean of the k newest raw values, d = the mean of the
// d newest k values (Window::mean). n >= 2, m, k, d >= 1. k first at bar n + m + k - 2, d at
// bar n + m + k + d - 3.
struct Stochrsi : Definition {
    static constexpr int kWidth = 2;
    RsiWilder rsi;
    int32_t n, m, k, d;
    explicit Stochrsi(const OpArgs& a)
        : rsi(a), n(a.ints[0]), m(a.ints[1]), k(a.ints[2]), d(a.ints[3]) {}
    bool valid() const { return n >= 2 && m >= 1 && k >= 1 && d >= 1; }
    int64_t lookback() const { return int64_t{n} + m + k - 2; }
    int64_t d_first() const { return lookback() + d - 1; }
    int64_t state_bytes() const {
        return static_cast<int64_t>(sizeof(double)) * (3 * int64_t{m} + k + d);
    }

    // Its line runs in two stages: the RSI, then its windows.
    using Link = double;  // the RSI after the bar (from bar n)
    using Front = RsiWilder::State;
    struct Back {
        WindowRange rsis;
        Window raws, ks;
        double k = 0.0, d = 0.0;
    };
    struct State {
        Front front;
        Back back;
    };
    Link front(Front& f, const Input& in, int64_t bar) const {
        rsi.step(f, in, bar);
        if (bar < n) return 0.0;
        double v = 0.0;
        int64_t unused = 0;
        uint8_t defined = 0;
        Out out(&v, &unused, &defined);
        rsi.value(f, in, bar, out);
        return v;
    }
    void back(Back& s, const Link& r, const Input&, int64_t bar) const {
        if (bar < n) return;
        s.rsis.push(r, m);
        if (s.rsis.count < m) return;
        const double lowest = s.rsis.lowest(m);
        const double range = (s.rsis.highest(m) - lowest) / 100.0;
        s.raws.push(pick(range == 0.0, 50.0, (r - lowest) / range), k);
        if (s.raws.count < k) return;
        s.k = s.raws.mean();
        s.ks.push(s.k, d);
        if (s.ks.count < d) return;
        s.d = s.ks.mean();
    }
    void step(State& s, const Input& in, int64_t bar) const {
        back(s.back, front(s.front, in, bar), in, bar);
    }
    void value(const State& s, const Input&, int64_t bar, Out& out) const {
        out.real(0, s.back.k);
        if (bar >= d_first()) out.real(1, s.back.d);
    }
};

}  // namespace zolv
