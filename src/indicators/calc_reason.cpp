// This file contains the description of every indicator operation (its parameters' ranges and
// the bars it needs) and the reading of a failure's reason from it.
#include "indicators/calc_reason.h"

#include <algorithm>
#include <string>

namespace zolv {
namespace {

constexpr int32_t kAny = INT32_MAX;

// One row per operation, in any order: a row is found by its key. The bars are those the
// calculation reads at or before the cursor bar, the cursor bar included.
const OperationNeeds kNeeds[] = {
    {SeriesOp::kBollingerband, 1, {{"t", 1, kAny}}, [](const int64_t* p) { return p[0]; }, nullptr},
    {SeriesOp::kCci, 1, {{"t", 1, kAny}}, [](const int64_t* p) { return p[0]; }, nullptr},
    {SeriesOp::kConvEma,
     2,
     {{"s", 1, kAny}, {"l", 1, kAny}},
     [](const int64_t* p) { return std::max(p[0], p[1]); },
     nullptr},
    {SeriesOp::kConvSma,
     2,
     {{"s", 1, kAny}, {"l", 1, kAny}},
     [](const int64_t* p) { return std::max(p[0], p[1]); },
     nullptr},
    // The window of n moves ending at each of the m bars, each move against the bar before.
    {SeriesOp::kDmi,
     2,
     {{"n", 1, kAny}, {"m", 1, kAny}},
     [](const int64_t* p) { return p[0] + p[1] + 1; },
     nullptr},
    {SeriesOp::kEma, 1, {{"t", 1, kAny}}, [](const int64_t* p) { return p[0]; }, nullptr},
    // The t bars before the cursor bar, and that bar.
    {SeriesOp::kHlband, 1, {{"t", 1, kAny}}, [](const int64_t* p) { return p[0] + 1; }, nullptr},
    // Both averages at the oldest of the sig bars of the signal.
    {SeriesOp::kMacd,
     3,
     {{"t1", 1, kAny}, {"t2", 1, kAny}, {"sig", 1, kAny}},
     [](const int64_t* p) { return std::max(p[0], p[1]) + p[2] - 1; },
     nullptr},
    {SeriesOp::kMfi, 1, {{"t", 1, kAny}}, [](const int64_t* p) { return p[0] + 1; }, nullptr},
    {SeriesOp::kMomentum, 1, {{"n", 0, kAny}}, [](const int64_t* p) { return p[0] + 1; }, nullptr},
    {SeriesOp::kPsychological,
     1,
     {{"t", 1, kAny}},
     [](const int64_t* p) { return p[0] + 1; },
     nullptr},
    {SeriesOp::kRci, 1, {{"t", 1, kAny}}, [](const int64_t* p) { return p[0]; }, nullptr},
    {SeriesOp::kRoc,
     1,
     {{"n", 0, kAny}},
     [](const int64_t* p) { return p[0] + 1; },
     "the close n bars before the cursor bar is 0, and roc divides by it"},
    {SeriesOp::kRsi, 1, {{"t", 1, kAny}}, [](const int64_t* p) { return p[0]; }, nullptr},
    {SeriesOp::kSma, 1, {{"t", 1, kAny}}, [](const int64_t* p) { return p[0]; }, nullptr},
    {SeriesOp::kStcD,
     2,
     {{"t", 1, kAny}, {"m", 1, kAny}},
     [](const int64_t* p) { return p[0] + p[1] - 1; },
     nullptr},
    {SeriesOp::kStcK, 1, {{"t", 1, kAny}}, [](const int64_t* p) { return p[0]; }, nullptr},
    {SeriesOp::kStcSd,
     3,
     {{"t", 1, kAny}, {"m", 1, kAny}, {"y", 1, kAny}},
     [](const int64_t* p) { return p[0] + p[1] + p[2] - 2; },
     nullptr},
    {SeriesOp::kStdev, 1, {{"t", 1, kAny}}, [](const int64_t* p) { return p[0]; }, nullptr},
    {SeriesOp::kTr, 0, {}, [](const int64_t*) { return int64_t{2}; }, nullptr},
    // The 4t bars of the longest period, each with the close before it.
    {SeriesOp::kUltimateOsi,
     1,
     {{"t", 1, kAny}},
     [](const int64_t* p) { return 4 * p[0] + 1; },
     nullptr},
    {SeriesOp::kVr1, 1, {{"t", 1, kAny}}, [](const int64_t* p) { return p[0] + 1; }, nullptr},
    {SeriesOp::kVr2, 1, {{"t", 1, kAny}}, [](const int64_t* p) { return p[0] + 1; }, nullptr},
    {SeriesOp::kWilliamsR, 1, {{"t", 1, kAny}}, [](const int64_t* p) { return p[0]; }, nullptr},
    {SeriesOp::kWvr, 1, {{"t", 1, kAny}}, [](const int64_t* p) { return p[0] + 1; }, nullptr},
};

CalcFailure failure(CalcReason reason, std::string detail) {
    CalcFailure f;
    f.reason = reason;
    f.detail = std::move(detail);
    return f;
}

std::string out_of_range(const ParamRange& range, int value) {
    std::string text = std::string(range.name) + " is " + std::to_string(value) + "; it must be ";
    if (range.greatest == kAny) return text + "at least " + std::to_string(range.least);
    return text + "from " + std::to_string(range.least) + " to " + std::to_string(range.greatest);
}

}  // namespace

const char* calc_reason_word(CalcReason reason) {
    switch (reason) {
        case CalcReason::kArgument:
            return "ARGUMENT";
        case CalcReason::kCursor:
            return "CURSOR";
        case CalcReason::kWindow:
            return "WINDOW";
        case CalcReason::kValue:
            break;
    }
    return "VALUE";
}

const OperationNeeds* operation_needs(SeriesOp op) {
    for (const OperationNeeds& row : kNeeds) {
        if (row.op == op) return &row;
    }
    return nullptr;
}

bool explain_cursor_or_window(const ZOLV& z, int64_t bars, CalcFailure* found) {
    const int64_t size = column_size(z.close);
    const int i = z.cursor_index();  // wraps as the calculations' own index does
    if (i < 0 || i >= size) {
        const std::string where = size == 0 ? std::string("the object has no bars")
                                            : "pos is " + std::to_string(z.pos) +
                                                  ", the bars are at pos 0 to " +
                                                  std::to_string(size - 1);
        *found = failure(CalcReason::kCursor,
                         "no bar under the cursor: " + where +
                             "; after push_back into a new object, set the cursor with pos_set 0");
        return true;
    }
    const int64_t available = int64_t{i} + 1;
    if (bars > available) {
        *found = failure(CalcReason::kWindow, "the window needs " + std::to_string(bars) +
                                                  " bars at or before the cursor; there are " +
                                                  std::to_string(available));
        return true;
    }
    return false;
}

CalcFailure explain_calc_failure(const ZOLV& z, SeriesOp op, const std::vector<int>& params) {
    const OperationNeeds* needs = operation_needs(op);
    if (!needs || params.size() != static_cast<size_t>(needs->param_count)) {
        return failure(CalcReason::kValue, "the operation cannot be computed here");
    }
    int64_t wide[kMaxOperationParams] = {};
    for (int k = 0; k < needs->param_count; ++k) {
        const ParamRange& range = needs->params[k];
        const int value = params[static_cast<size_t>(k)];
        if (value < range.least || value > range.greatest) {
            return failure(CalcReason::kArgument, out_of_range(range, value));
        }
        wide[k] = value;
    }
    const int64_t bars = needs->bars(wide);
    if (bars > kMostBars) {
        return failure(CalcReason::kArgument, "the window needs " + std::to_string(bars) +
                                                  " bars, more than the " +
                                                  std::to_string(kMostBars) + " a series can hold");
    }
    CalcFailure found;
    if (explain_cursor_or_window(z, bars, &found)) return found;
    return failure(CalcReason::kValue,
                   needs->value_fault ? needs->value_fault : "a value of the bars cannot be used");
}

}  // namespace zolv
