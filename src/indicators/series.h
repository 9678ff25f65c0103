// Whole-series results: every bar's value of an indicator operation in one call, each equal to
// the bit to what the operation answers with the cursor on that bar. Nothing here knows Tcl.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "series/zolv.h"

namespace zolv {

// The bars [first, end); empty when first >= end.
struct Bars {
    int64_t first;
    int64_t end;
    bool empty() const { return first >= end; }
};
constexpr Bars kNoBars{0, 0};
// Every bar there is.
constexpr Bars kAllBars{0, INT64_MAX};

inline Bars intersect(Bars a, Bars b) {
    return {a.first > b.first ? a.first : b.first, a.end < b.end ? a.end : b.end};
}

// The indicator operations, in the alphabetical order of their names.
enum class SeriesOp {
    kBollingerband,
    kCci,
    kConvEma,
    kConvSma,
    kDmi,
    kEma,
    kHlband,
    kMacd,
    kMfi,
    kMomentum,
    kPsychological,
    kRci,
    kRoc,
    kRsi,
    kSma,
    kStcD,
    kStcK,
    kStcSd,
    kStdev,
    kTr,
    kUltimateOsi,
    kVr1,
    kVr2,
    kWilliamsR,
    kWvr,
};
constexpr int kSeriesOpCount = 25;

// The operation names ("bollingerband", "cci", ...) in the order of SeriesOp, followed by a
// null pointer: the table shape of Tcl's index lookup.
extern const char* const kSeriesOpNames[kSeriesOpCount + 1];

// Finds an operation by its exact name; false if there is none.
bool find_series_op(const std::string& name, SeriesOp* op);

// What one bar's value is: a double, an integer (tr), or a list of doubles (bollingerband 6,
// macd 2, dmi 4) or of integers (hlband 3), in the order of the operation's own result; or a
// list of both, each part a double or an integer by `integer_parts`.
enum class SeriesShape { kReal, kInteger, kRealList, kIntegerList, kMixedList };

// Every bar's value, oldest bar first: bar k is the bar at the cursor index k, where the
// cursor is `pos` = bars - 1 - k and bars is the length of the close column.
struct SeriesResult {
    SeriesShape shape = SeriesShape::kReal;
    int width = 1;               // values per bar
    std::vector<uint8_t> valid;  // one per bar: 1 where the operation succeeds there
    // width values per bar, bar k at [k * width, (k + 1) * width); `reals` for the real
    // shapes, `integers` for the integer ones, both for kMixedList (each part in one of them).
    // Entries of bars that are not valid are 0.
    std::vector<double> reals;
    std::vector<int64_t> integers;
    // For a list whose parts start at different bars: one flag per value, 1 where that part is
    // defined (a bar is valid where any of its parts is). Empty when every part of a valid bar
    // is defined.
    std::vector<uint8_t> defined;
    uint32_t integer_parts = 0;  // for kMixedList: bit j set where part j is an integer
};

// Asked by a long call whether it should stop: from the calling thread only, between blocks of
// bars, so that a call stops within a millisecond or so of being told to.
class SeriesInterrupt {
public:
    virtual bool stop_requested() = 0;

protected:
    ~SeriesInterrupt() = default;
};

// What `series` answers when its interrupt asked it to stop; `out` is then of no use.
constexpr int kSeriesStopped = -1;

// Computes `op` at every bar of `z` into `out`. `type` is the column letter of the operations
// that take one (sma, ema, stdev, conv_sma, conv_ema, bollingerband, momentum, psychological,
// rci) and is ignored by the others; `params` are the operation's integers in the order of its
// flat command (none for tr, three for macd and stc_sd, two for conv_sma, conv_ema, dmi and
// stc_d, one otherwise). The cursor `pos` is neither read nor changed.
// Returns ZOLV_OK, or ZOLV_UNKNOWN_ERROR (leaving `out` untouched) when the number of params
// does not fit the operation, or kSeriesStopped when `interrupt` (if given) asked it to stop:
// its worker threads stop too, at their next block. May throw std::bad_alloc; `z` is unchanged
// then.
//
// Cost: linear in the number of bars for ema, sma, conv_ema, conv_sma, hlband, momentum,
// psychological, roc, rsi, stc_k, williams_r, stc_d, tr, ultimate_osi, vr1, vr2 and wvr (the
// last two of the stochastics and the oscillator fall back to the per-bar calculation when
// their window sums could leave the exact range of a double, far beyond real prices).
// macd and dmi are linear except for their final averages (sig and m values per bar),
// stc_sd except for its y-value mean, rci linear in its window per bar. bollingerband, cci,
// mfi and stdev add each window in its defined order, several bars at once in vector lanes.
// A large call splits its bars over series_threads() threads; values never depend on that.
// Several threads may call it on the same `z` at once.
int series(const ZOLV& z, SeriesOp op, char type, const std::vector<int>& params, SeriesResult* out,
           SeriesInterrupt* interrupt = nullptr);

// The instruction sets the window sums can run on: plain C++ (every machine), AVX2 (four bars
// per vector) and AVX-512 F and DQ (eight). Every value is the same on each.
enum class SeriesLanes { kScalar, kAvx2, kAvx512 };

// The lanes in use: the widest this CPU has, unless set_series_lanes chose others.
SeriesLanes series_lanes();
// Whether this CPU can run `lanes`.
bool series_lanes_supported(SeriesLanes lanes);
// Makes the later calls of the process use `lanes` (tests compare them); false, and nothing
// changes, when this CPU cannot run them.
bool set_series_lanes(SeriesLanes lanes);

// The number of threads a large call splits its bars over, the calling thread included. The
// default is the environment variable ZOLV_THREADS when it holds a positive integer, otherwise
// the machine's hardware threads.
int series_threads();
// Sets that number for the later calls of the process; false, and nothing changes, unless
// count >= 1.
bool set_series_threads(int count);

}  // namespace zolv
