// Why an indicator operation fails at the cursor. Each operation has a description, kept by its
// SeriesOp key: the range of each integer parameter and the number of bars it needs at or
// before the cursor as a function of them. One function reads a failure's reason from it, only
// once the operation has failed, so a success costs nothing. Nothing here knows Tcl.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "indicators/series.h"
#include "series/zolv.h"

namespace zolv {

// The reasons, in the order they are looked for.
enum class CalcReason {
    kArgument,  // a parameter outside its range, or a window longer than any series can be
    kCursor,    // no bar under the cursor
    kWindow,    // the window reaches past the oldest bar
    kValue,     // a value of the bars that the definition cannot use
};

// The word that follows "ZOLV CALC" in errorCode: ARGUMENT, CURSOR, WINDOW or VALUE.
const char* calc_reason_word(CalcReason reason);

// The most bars a series can hold: its size is a 32-bit integer.
constexpr int64_t kMostBars = INT32_MAX;

constexpr int kMaxOperationParams = 4;

// One integer parameter: its name in the command's usage text and its least and greatest value.
struct ParamRange {
    const char* name;
    int32_t least;
    int32_t greatest;
};

// What an operation needs. `bars` receives the parameters, each within its range, widened to
// 64 bits so that no sum of them wraps.
struct OperationNeeds {
    SeriesOp op;
    int param_count;
    ParamRange params[kMaxOperationParams];
    int64_t (*bars)(const int64_t* params);
    // What a failure with parameters, cursor and window all in order means (VALUE), or null for
    // an operation that never fails on values.
    const char* value_fault;
};

// The description of `op`, or null if it has none.
const OperationNeeds* operation_needs(SeriesOp op);

// A failure's reason and one sentence about it, for the error trace.
struct CalcFailure {
    CalcReason reason = CalcReason::kValue;
    std::string detail;
};

// Why `op` with `params` (the integers of its flat command, in order) failed at the cursor of
// `z`: the first of ARGUMENT, CURSOR and WINDOW that applies, else VALUE. Reads z's size and
// cursor only. May throw std::bad_alloc.
CalcFailure explain_calc_failure(const ZOLV& z, SeriesOp op, const std::vector<int>& params);

// The shared steps of the explanations: CURSOR when no bar of `z` is under its cursor, WINDOW
// when `bars` (at least 1) reach past the oldest bar at or before it; false when neither
// applies. May throw std::bad_alloc.
bool explain_cursor_or_window(const ZOLV& z, int64_t bars, CalcFailure* failure);

}  // namespace zolv
