// One definition, three forms: an operation is written once, as a step from one bar to the
// next over a small state value type, and its value at a bar, its whole line and its value
// after a push all run that step, so they agree to the bit by construction. This header holds
// what a definition sees (the bars, where it writes a value) and the drivers that turn a
// definition into a row of the operation table. Nothing here knows Tcl.
//
// A definition is a struct, constructed from the call's OpArgs, with
//   struct State { ... };                  the state after a bar; State{} is before bar 0
//   bool valid() const;                    the arguments lie in range
//   int64_t lookback() const;              the first bar with a value, for valid arguments
//   int64_t span() const;                  0: the state depends on every bar before it (it is
//                                          remembered per object); w > 0: on the w newest
//                                          bars only (a window: no memory, the state at a bar
//                                          is stepped afresh from w - 1 bars before it)
//   void step(State&, const Input&, int64_t k) const;   takes in bar k
//   void value(const State&, const Input&, int64_t k, Out&) const;
//                                          writes the parts defined after bar k (k >= lookback)
//   static constexpr int kWidth;           parts of a list result (1: one value)
//   static constexpr uint32_t kIntegerParts;   bit j set: part j is an integer
//   int64_t state_bytes() const;           bytes a State holds outside itself (a window kept in
//                                          a vector), at most: its remembered states are kept
//                                          that much further apart
// Deriving from Definition gives the defaults (one real value, span 0, no bytes outside).
//
// A definition whose state depends on every bar before it may be written in two stages, so that
// its line runs them on two threads at once:
//   struct Front, Back; struct State { Front front; Back back; };
//   struct Link;                           what the first stage hands the second for a bar
//   Link front(Front&, const Input&, int64_t k) const;      takes in bar k
//   void back(Back&, const Link&, const Input&, int64_t k) const;   takes in bar k's link
// its step is back(s.back, front(s.front, in, k), in, k), and its value reads s.back only.
//
// An operation is added by its definition (in steps/ by family), its row in kOperations
// (operations.cpp, in alphabetical order), a row of kForms in tests/cpp/operations_test.cpp
// (its three forms and its first bar are then checked), a case in tests/peers/compare.py
// where a peer has it, and its entries in doc/zolv.n and the README.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

#include "indicators/operation.h"
#include "indicators/series_lines.h"
#include "series/zolv.h"

namespace zolv {

// The bars an operation reads, oldest first: the five columns, and `x`, the one its column
// argument names (the close for operations without one).
struct Input {
    const int32_t* open;
    const int32_t* high;
    const int32_t* low;
    const int32_t* close;
    const int32_t* volume;
    const int32_t* x;
    int64_t size;
};

inline Input input_of(const ZOLV& z, char column) {
    return Input{z.open.data(),
                 z.high.data(),
                 z.low.data(),
                 z.close.data(),
                 z.volume.data(),
                 z.select_column(column).data(),
                 static_cast<int64_t>(z.close.size())};
}

// Where a definition writes one bar's value: part j as a double or as an integer (as its
// kIntegerParts says). A part it does not write is not defined at that bar.
class Out {
public:
    Out(double* reals, int64_t* integers, uint8_t* defined)
        : reals_(reals), integers_(integers), defined_(defined) {}
    void real(int part, double v) {
        reals_[part] = v;
        defined_[part] = 1;
    }
    void integer(int part, int64_t v) {
        integers_[part] = v;
        defined_[part] = 1;
    }

private:
    double* reals_;
    int64_t* integers_;
    uint8_t* defined_;
};

// The defaults of a definition: one real value, a state that depends on every bar before it.
struct Definition {
    static constexpr int kWidth = 1;
    static constexpr uint32_t kIntegerParts = 0;
    int64_t span() const { return 0; }
    int64_t state_bytes() const { return 0; }
};

// ---- Shared steps ---------------------------------------------------------------------------

// a where `first`, else b, without a branch (for a choice that depends on values that come
// late and at random).
inline double pick(bool first, double a, double b) {
    uint64_t x = 0;
    uint64_t y = 0;
    std::memcpy(&x, &a, sizeof x);
    std::memcpy(&y, &b, sizeof y);
    const uint64_t mask = uint64_t{0} - static_cast<uint64_t>(first);
    const uint64_t chosen = (x & mask) | (y & ~mask);
    double v = 0.0;
    std::memcpy(&v, &chosen, sizeof v);
    return v;
}

// An exact integer as the nearest double: one rounding (a 64-bit one where it fits).
inline double nearest_double(__int128 v) {
    const int64_t low = static_cast<int64_t>(v);
    return low == v ? static_cast<double>(low) : static_cast<double>(v);
}

// Two doubles side by side: each operation on a Pair is that operation on each of its two
// lanes (one instruction for both on every x86-64), so that two divisions of a bar cost one.
typedef double Pair __attribute__((vector_size(16)));

// The zero test of the Wilder indicators: |v| below 1e-14.
inline bool near_zero(double v) {
    return -1e-14 < v && v < 1e-14;
}

// The true range of a bar: the largest of high - low, |high - previous close| and
// |low - previous close|, exact.
inline int64_t true_range(int32_t high, int32_t low, int32_t previous_close) {
    const int64_t range = int64_t{high} - low;
    const int64_t up = std::abs(int64_t{high} - previous_close);
    const int64_t down = std::abs(int64_t{low} - previous_close);
    return std::max(range, std::max(up, down));
}

// Wilder's average of a series of integers, n >= 1: the plain mean of the first n values (an
// exact sum, then one division), then average = (average * (n - 1) + value) / n.
// WilderPair keeps two of them side by side.
struct WilderAverage {
    int64_t seen = 0;
    int64_t sum = 0;
    double average = 0.0;

    // Takes in one value; true once the average is defined.
    bool add(int64_t value, int32_t n) {
        if (seen < n) {
            sum += value;
            if (++seen < n) return false;
            average = static_cast<double>(sum) / n;
            return true;
        }
        average = average * (n - 1);
        average = average + static_cast<double>(value);
        average = average / n;
        return true;
    }
};
struct WilderPair {
    int64_t seen = 0;
    int64_t sums[2] = {0, 0};
    Pair average = {0.0, 0.0};

    // Takes in one value of each; true once the averages are defined.
    bool add(int64_t first, int64_t second, int32_t n) {
        if (seen < n) {
            sums[0] += first;
            sums[1] += second;
            if (++seen < n) return false;
            average = Pair{static_cast<double>(sums[0]), static_cast<double>(sums[1])} / n;
            return true;
        }
        average = average * (n - 1);
        average = average + Pair{static_cast<double>(first), static_cast<double>(second)};
        average = average / n;
        return true;
    }
};

// ---- Drivers --------------------------------------------------------------------------------

// Bars a line steps between two asks whether its call should stop.
constexpr int64_t kPollBars = int64_t{1} << 14;

template <typename Def>
constexpr SeriesShape shape_of() {
    constexpr uint32_t kAll = (uint32_t{1} << Def::kWidth) - 1;
    if (Def::kWidth == 1) {
        return Def::kIntegerParts & 1u ? SeriesShape::kInteger : SeriesShape::kReal;
    }
    if (Def::kIntegerParts == 0) return SeriesShape::kRealList;
    return (Def::kIntegerParts & kAll) == kAll ? SeriesShape::kIntegerList
                                               : SeriesShape::kMixedList;
}

template <typename Def>
bool valid_of(const OpArgs& args) {
    return Def(args).valid();
}

template <typename Def>
int64_t lookback_of(const OpArgs& args) {
    return Def(args).lookback();
}

// The state after bar i: a window stepped afresh from its oldest bar, or a state remembered by
// the object, stepped on.
template <typename Def>
typename Def::State state_after(const ZOLV& z, const Operation& op, const OpArgs& args,
                                const Def& def, const Input& in, int64_t i) {
    const int64_t span = def.span();
    if (span > 0) {
        typename Def::State state{};
        for (int64_t k = std::max<int64_t>(0, i - span + 1); k <= i; ++k) def.step(state, in, k);
        return state;
    }
    return z.state_memory.state_after(&op, args, def, in, i);
}

template <typename Def>
int value_at(const ZOLV& z, const Operation& op, const OpArgs& args, int64_t i, OpValue* out) {
    const Def def(args);
    const Input in = input_of(z, args.column);
    if (!def.valid() || i < 0 || i >= in.size || i < def.lookback()) return ZOLV_CALC_ERROR;
    const typename Def::State state = state_after(z, op, args, def, in, i);
    OpValue v;
    v.shape = shape_of<Def>();
    v.width = Def::kWidth;
    v.integer_parts = Def::kIntegerParts;
    Out o(v.reals, v.integers, v.defined);
    def.value(state, in, i, o);
    if (std::none_of(v.defined, v.defined + Def::kWidth, [](uint8_t d) { return d != 0; })) {
        return ZOLV_CALC_ERROR;
    }
    *out = v;
    return ZOLV_OK;
}

// Where a line writes its values: the result's storage, sized for every bar. Each bar is
// written whole (a part its definition leaves undefined holds 0), so that storage reused from
// an earlier call needs no clearing first.
template <typename Def>
class LineOut {
public:
    static constexpr int kWidth = Def::kWidth;
    static constexpr SeriesShape kShape = shape_of<Def>();
    static constexpr bool kReals =
        kShape != SeriesShape::kInteger && kShape != SeriesShape::kIntegerList;
    static constexpr bool kIntegers = Def::kIntegerParts != 0;

    // Sizes `r` for `count` bars from bar `origin` on (bar k is written at k - origin); the
    // values are written by bar() and none().
    LineOut(SeriesResult* r, int64_t count, int64_t origin) : origin_(origin) {
        const size_t values = static_cast<size_t>(count) * kWidth;
        r->shape = kShape;
        r->width = kWidth;
        r->integer_parts = Def::kIntegerParts;
        r->valid.resize(static_cast<size_t>(count));
        r->reals.resize(kReals ? values : 0);
        r->integers.resize(kIntegers ? values : 0);
        r->defined.resize(kWidth > 1 ? values : 0);
        valid_ = r->valid.data();
        reals_ = r->reals.data();
        integers_ = r->integers.data();
        defined_ = r->defined.data();
    }
    // The bars of `bars` have no value.
    void none(Bars bars) {
        if (bars.empty()) return;
        const size_t first = static_cast<size_t>(bars.first - origin_);
        const size_t end = static_cast<size_t>(bars.end - origin_);
        std::fill(valid_ + first, valid_ + end, 0);
        if constexpr (kReals) std::fill(reals_ + first * kWidth, reals_ + end * kWidth, 0.0);
        if constexpr (kIntegers) std::fill(integers_ + first * kWidth, integers_ + end * kWidth, 0);
        if constexpr (kWidth > 1) std::fill(defined_ + first * kWidth, defined_ + end * kWidth, 0);
    }
    // The value of bar k after `state`.
    void bar(const Def& def, const typename Def::State& state, const Input& in, int64_t k) {
        const size_t at = static_cast<size_t>(k - origin_) * kWidth;
        double* reals = nullptr;
        int64_t* integers = nullptr;
        if constexpr (kReals) {
            reals = reals_ + at;
            std::fill(reals, reals + kWidth, 0.0);
        }
        if constexpr (kIntegers) {
            integers = integers_ + at;
            std::fill(integers, integers + kWidth, 0);
        }
        uint8_t* valid = valid_ + (k - origin_);
        *valid = 0;
        if constexpr (kWidth == 1) {
            Out o(reals, integers, valid);
            def.value(state, in, k, o);
        } else {
            uint8_t* defined = defined_ + at;
            std::fill(defined, defined + kWidth, 0);
            Out o(reals, integers, defined);
            def.value(state, in, k, o);
            for (int j = 0; j < kWidth; ++j) *valid |= defined[j];
        }
    }

private:
    int64_t origin_;
    uint8_t* valid_;
    double* reals_;
    int64_t* integers_;
    uint8_t* defined_;
};

// Steps `state` (the state before bar bars.first) over the bars of `bars`, writing each bar's
// value where kWrite is set; asks whether the call should stop every kPollBars bars. The
// definition, the bars and the state are local copies here, so that they can live in
// registers.
template <bool kWrite, typename Def>
void step_over(Def def, Input in, typename Def::State& state, Bars bars, LineOut<Def> out) {
    typename Def::State s = std::move(state);
    for (int64_t b0 = bars.first; b0 < bars.end; b0 += kPollBars) {
        poll_stop();
        const int64_t end = std::min(bars.end, b0 + kPollBars);
        for (int64_t k = b0; k < end; ++k) {
            def.step(s, in, k);
            if (kWrite) out.bar(def, s, in, k);
        }
    }
    state = std::move(s);
}

template <typename Def, typename = void>
struct Staged : std::false_type {};
template <typename Def>
struct Staged<Def, std::void_t<typename Def::Link>> : std::true_type {};

// The links of the bars of `bars` into links[0 ..), the first stage standing before bar
// bars.first.
template <typename Def>
void front_over(Def def, Input in, typename Def::Front& front, Bars bars,
                typename Def::Link* links) {
    typename Def::Front f = std::move(front);
    for (int64_t k = bars.first; k < bars.end; ++k) links[k - bars.first] = def.front(f, in, k);
    front = std::move(f);
}

// The second stage over the bars of `bars`, their links in links[0 ..); writes the values of
// the bars from `first` on.
template <typename Def>
void back_over(Def def, Input in, typename Def::State& state, Bars bars, int64_t first,
               const typename Def::Link* links, LineOut<Def> out) {
    typename Def::State s = std::move(state);
    for (int64_t k = bars.first; k < bars.end; ++k) {
        def.back(s.back, links[k - bars.first], in, k);
        if (k >= first) out.bar(def, s, in, k);
    }
    state = std::move(s);
}

// The work of a bar of a line in two stages, in window terms: how long a line takes its second
// stage to a second thread.
constexpr int64_t kStageCost = 8;

// The line over the bars of `range`: the bars before the lookback without a value, then every
// bar's value. A history line steps on from bar 0 or from the state the object remembers (the
// whole line of a two-stage definition on two threads); a window's line is cut into chunks over the
// worker threads, each chunk's state stepped afresh from span - 1 bars before it, so that no
// value depends on the split.
template <typename Def>
void line_of(const ZOLV& z, const Operation& op, const OpArgs& args, Bars range, SeriesResult* r) {
    using State = typename Def::State;
    const Def def(args);
    const Input in = input_of(z, args.column);
    const int64_t count = range.empty() ? 0 : range.end - range.first;
    LineOut<Def> out(r, count, range.first);
    if (!def.valid() || count == 0) return out.none(range);
    const Bars bars{std::min(range.end, std::max(range.first, def.lookback())), range.end};
    out.none(Bars{range.first, bars.first});
    const int64_t span = def.span();
    if (span == 0) {
        if constexpr (Staged<Def>::value) {
            // The whole line on two threads at once where it is long enough: the stages block
            // by block.
            if (range.first == 0 && thread_count(range, kStageCost) >= 2) {
                const std::unique_ptr<typename Def::Link[]> links(
                    new typename Def::Link[static_cast<size_t>(count)]);
                typename Def::Front front{};
                State state{};
                auto first = [&](Bars b) { front_over(def, in, front, b, links.get() + b.first); };
                auto second = [&](Bars b) {
                    back_over(def, in, state, b, bars.first, links.get() + b.first, out);
                };
                poll_stop();
                if (run_stages(range.end, first, second)) return;
            }
        }
        // From bar 0, or from the state the object remembers after the bar before the range.
        State state{};
        if (range.first > 0) {
            state = z.state_memory.state_after(&op, args, def, in, range.first - 1);
        }
        step_over<false>(def, in, state, Bars{range.first, bars.first}, out);
        step_over<true>(def, in, state, bars, out);
        return;
    }
    auto chunk = [&](Bars c) {
        State state{};
        step_over<false>(def, in, state, Bars{std::max<int64_t>(0, c.first - span + 1), c.first},
                         out);
        step_over<true>(def, in, state, c, out);
    };
    // A window long against the line is stepped once only.
    if (span > (bars.end - bars.first) / 16) return chunk(bars);
    for_chunks(bars, 1, chunk);
}

// The row of a definition: its name, argument names and kinds, and the names of its parts.
template <typename Def>
constexpr Operation define(const char* name, const char* args, const char* kinds,
                           const char* results) {
    return Operation{name,
                     args,
                     kinds,
                     results,
                     shape_of<Def>(),
                     Def::kWidth,
                     Def::kIntegerParts,
                     &valid_of<Def>,
                     &lookback_of<Def>,
                     &value_at<Def>,
                     &line_of<Def>,
                     -1};
}

}  // namespace zolv
