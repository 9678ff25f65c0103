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
// An operation is added by its definition (in steps/ by family), its row in kOperations
// (operations.cpp, in alphabetical order), a row of kForms in tests/cpp/operations_test.cpp
// (its three forms and its first bar are then checked), a case in tests/peers/compare.py
// where a peer has it, and its entries in doc/zolv.n and the README.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>

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

template <typename Def>
void line_of(const ZOLV& z, const Operation&, const OpArgs& args, SeriesResult* r) {
    constexpr int kWidth = Def::kWidth;
    constexpr SeriesShape kShape = shape_of<Def>();
    const Def def(args);
    const Input in = input_of(z, args.column);
    const size_t count = static_cast<size_t>(in.size);
    r->shape = kShape;
    r->width = kWidth;
    r->integer_parts = Def::kIntegerParts;
    r->valid.assign(count, 0);
    const size_t values = count * kWidth;
    r->reals.assign(
        kShape == SeriesShape::kInteger || kShape == SeriesShape::kIntegerList ? 0 : values, 0.0);
    r->integers.assign(Def::kIntegerParts != 0 ? values : 0, 0);
    r->defined.assign(kWidth > 1 ? values : 0, 0);
    if (!def.valid()) return;
    const int64_t first = std::max<int64_t>(0, def.lookback());
    typename Def::State state{};
    for (int64_t k = 0; k < in.size; ++k) {
        if (k % kPollBars == kPollBars - 1) poll_stop();  // between blocks: a call may be stopped
        def.step(state, in, k);
        if (k < first) continue;
        const size_t at = static_cast<size_t>(k) * kWidth;
        double* reals = r->reals.empty() ? nullptr : r->reals.data() + at;
        int64_t* integers = r->integers.empty() ? nullptr : r->integers.data() + at;
        if (kWidth == 1) {
            Out o(reals, integers, &r->valid[static_cast<size_t>(k)]);
            def.value(state, in, k, o);
            continue;
        }
        uint8_t* defined = r->defined.data() + at;
        Out o(reals, integers, defined);
        def.value(state, in, k, o);
        r->valid[static_cast<size_t>(k)] =
            std::any_of(defined, defined + kWidth, [](uint8_t d) { return d != 0; }) ? 1 : 0;
    }
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
