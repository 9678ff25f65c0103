// The operation table: every indicator operation of zolv::indicator and zolv::series, with its
// arguments, its result, and its value at one bar and over the whole series. Nothing here
// knows Tcl.
#pragma once

#include <cstdint>

#include "indicators/calc_reason.h"
#include "indicators/op_args.h"
#include "indicators/series.h"
#include "series/zolv.h"

namespace zolv {

// The most parts a list result has.
constexpr int kMaxParts = 8;

// One bar's answer: `width` parts, each a double or an integer, each defined or not. A list
// whose parts start at different bars leaves the parts that are not defined yet undefined.
struct OpValue {
    SeriesShape shape = SeriesShape::kReal;
    int width = 1;
    uint32_t integer_parts = 0;  // bit j set: part j is an integer
    double reals[kMaxParts] = {};
    int64_t integers[kMaxParts] = {};
    uint8_t defined[kMaxParts] = {};
};

// Whether part j of a result of this shape is an integer.
inline bool integer_part(SeriesShape shape, uint32_t integer_parts, int j) {
    if (shape == SeriesShape::kInteger || shape == SeriesShape::kIntegerList) return true;
    return shape == SeriesShape::kMixedList && ((integer_parts >> j) & 1u) != 0;
}

// One row of the table.
struct Operation {
    const char* name;     // as scripts write it: "rsi_wilder"
    const char* args;     // the argument names, separated by single spaces: "x n"
    const char* kinds;    // one letter per argument: c a column, i an integer, d a real
    const char* results;  // the names of a list result's parts ("upper middle lower"), or ""
    SeriesShape shape;
    int width;
    uint32_t integer_parts;  // for kMixedList: bit j set where part j is an integer
    // Whether the arguments lie in the operation's range (a window of at least 1, ...).
    bool (*valid)(const OpArgs& args);
    // The first bar with a value (some part defined), for valid arguments; bars before it
    // have none. From it on every bar has a value, except where the bars themselves leave
    // one undefined (roc's base close of 0).
    int64_t (*lookback)(const OpArgs& args);
    // The value at bar i (0 is the oldest; the rows of the older operations take the bar at
    // the cursor, which i must be): ZOLV_OK, or ZOLV_CALC_ERROR where no part is defined;
    // `out` is written only on success.
    int (*at)(const ZOLV& z, const Operation& op, const OpArgs& args, int64_t i, OpValue* out);
    // The value of every bar of `range` (within the bars) into `out`, oldest first, as
    // `series` fills it; bar k of `out` is bar range.first + k. May throw SeriesStopped.
    void (*line)(const ZOLV& z, const Operation& op, const OpArgs& args, Bars range,
                 SeriesResult* out);
    // For the rows of the older operations, the SeriesOp they run; -1 for the others.
    int older;
};

// The rows in the alphabetical order of their names, then a row whose name is null (the shape
// Tcl's index lookup takes).
extern const Operation kOperations[];
extern const int kOperationCount;

// The row of an operation, or null.
const Operation* find_operation(const char* name);

// The operation at the cursor of `z` (the bar of its cursor_index): ZOLV_OK, or
// ZOLV_CALC_ERROR when the arguments are out of range, no bar is under the cursor, or no
// part is defined there. Several threads may call it on the same `z` at once.
int operation_at_cursor(const ZOLV& z, const Operation& op, const OpArgs& args, OpValue* out);

// Why operation_at_cursor failed: ARGUMENT, CURSOR, WINDOW or VALUE, the first that applies.
// The older operations explain themselves as their commands do; the others from their range
// and first bar. May throw std::bad_alloc.
CalcFailure explain_operation_failure(const ZOLV& z, const Operation& op, const OpArgs& args);

// The operation at every bar of `range` cut to the bars of `z` (bar k of `out` is the bar
// range.first + k, 0 the oldest), each bar's value exactly what operation_at_cursor answers
// with the cursor on that bar (a part not defined there has its `defined` entry 0): ZOLV_OK, or
// kSeriesStopped when `interrupt` (if given) asked it to stop, as `series` does. A range costs
// its bars and the bars before it that its values depend on: a window's length, or for an
// operation that depends on every bar before it, the steps from the nearest state the object
// remembers. May throw std::bad_alloc.
int operation_series(const ZOLV& z, const Operation& op, const OpArgs& args, SeriesResult* out,
                     SeriesInterrupt* interrupt = nullptr, Bars range = kAllBars);

// Makes every NaN part of `r` undefined: a bar whose parts are all undefined then has no value.
void drop_nan(SeriesResult* r);

}  // namespace zolv
