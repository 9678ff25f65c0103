// The reasons of calc errors against the operations themselves: wherever an operation succeeds
// its description must see nothing wrong, and wherever it fails the description must name a
// reason other than VALUE unless the operation can fail on values.
#include "indicators/calc_reason.h"

#include <gtest/gtest.h>

#include <climits>
#include <iterator>
#include <string>
#include <vector>

#include "indicators/series.h"
#include "series/zolv.h"

namespace {

using zolv::CalcReason;
using zolv::SeriesOp;

// 12 bars; the close of bar 7 is 0, so that roc meets a zero base.
ZOLV twelve_bars() {
    std::vector<int32_t> values;
    for (int k = 0; k < 12; ++k) {
        const int32_t c = k == 7 ? 0 : 100 + (k * 37) % 11;
        values.insert(values.end(), {100 + k % 3, 112 + k % 5, 90 - k % 4, c, 1000 + k});
    }
    ZOLV z;
    z.setlist(values.data(), static_cast<int>(values.size()));
    return z;
}

CalcReason reason_at(ZOLV& z, int bar, SeriesOp op, const std::vector<int>& params) {
    z.pos = static_cast<int32_t>(z.close.size()) - 1 - bar;
    return zolv::explain_calc_failure(z, op, params).reason;
}

TEST(CalcReason, EveryOperationHasOneDescriptionThatFitsItsParameters) {
    ZOLV z = twelve_bars();
    for (int k = 0; k < zolv::kSeriesOpCount; ++k) {
        const SeriesOp op = static_cast<SeriesOp>(k);
        const zolv::OperationNeeds* needs = zolv::operation_needs(op);
        ASSERT_NE(nullptr, needs) << zolv::kSeriesOpNames[k];
        EXPECT_EQ(op, needs->op);
        zolv::SeriesResult r;
        const std::vector<int> ones(static_cast<size_t>(needs->param_count), 1);
        EXPECT_EQ(ZOLV_OK, zolv::series(z, op, 'c', ones, &r)) << zolv::kSeriesOpNames[k];
    }
}

// Every parameter tuple from these values, at every bar of twelve: the line's empty bars are
// exactly the failures of the operation at that cursor.
TEST(CalcReason, AgreesWithEveryOperationAtEveryBar) {
    const int kValues[] = {INT_MIN, -1, 0, 1, 2, 3, 5, 536870912, INT_MAX};
    ZOLV z = twelve_bars();
    const int bars = static_cast<int>(z.close.size());
    for (int k = 0; k < zolv::kSeriesOpCount; ++k) {
        const SeriesOp op = static_cast<SeriesOp>(k);
        const zolv::OperationNeeds& needs = *zolv::operation_needs(op);
        std::vector<int> choice(static_cast<size_t>(needs.param_count), 0);
        for (;;) {
            std::vector<int> params;
            for (int c : choice) params.push_back(kValues[c]);
            zolv::SeriesResult line;
            ASSERT_EQ(ZOLV_OK, zolv::series(z, op, 'c', params, &line));
            for (int bar = 0; bar < bars; ++bar) {
                const CalcReason reason = reason_at(z, bar, op, params);
                std::string where = std::string(zolv::kSeriesOpNames[k]) + " bar " +
                                    std::to_string(bar) + " params";
                for (int p : params) where += " " + std::to_string(p);
                if (line.valid[static_cast<size_t>(bar)]) {
                    EXPECT_EQ(CalcReason::kValue, reason) << where;  // nothing in the way
                } else if (reason == CalcReason::kValue) {
                    EXPECT_TRUE(needs.value_fault != nullptr) << where;
                }
                EXPECT_NE(CalcReason::kCursor, reason) << where;
            }
            size_t d = 0;  // the next tuple, odometer style
            while (d < choice.size() && ++choice[d] == static_cast<int>(std::size(kValues))) {
                choice[d++] = 0;
            }
            if (d == choice.size()) break;
        }
    }
}

struct Edge {
    SeriesOp op;
    std::vector<int> params;
    int32_t pos;
    CalcReason want;
    const char* detail;
};

class CalcReasonEdge : public ::testing::TestWithParam<Edge> {};

// By hand: the sizes in 64 bits, the cursor index wrapping in 32.
TEST_P(CalcReasonEdge, NamesTheReasonAndItsNumbers) {
    const Edge& e = GetParam();
    ZOLV z = twelve_bars();
    z.pos = e.pos;
    const zolv::CalcFailure f = zolv::explain_calc_failure(z, e.op, e.params);
    EXPECT_EQ(e.want, f.reason);
    EXPECT_EQ(e.detail, f.detail);
}

INSTANTIATE_TEST_SUITE_P(
    Limits, CalcReasonEdge,
    ::testing::Values(
        Edge{SeriesOp::kUltimateOsi,
             {536870911},
             0,
             CalcReason::kWindow,
             "the window needs 2147483645 bars at or before the cursor; there are 12"},
        Edge{SeriesOp::kUltimateOsi,
             {536870912},
             0,
             CalcReason::kArgument,
             "the window needs 2147483649 bars, more than the 2147483647 a series can hold"},
        Edge{SeriesOp::kStcSd,
             {INT_MAX, INT_MAX, INT_MAX},
             0,
             CalcReason::kArgument,
             "the window needs 6442450939 bars, more than the 2147483647 a series can hold"},
        Edge{SeriesOp::kMacd,
             {3, 5, 2},
             7,
             CalcReason::kWindow,
             "the window needs 6 bars at or before the cursor; there are 5"},
        Edge{SeriesOp::kTr,
             {},
             11,
             CalcReason::kWindow,
             "the window needs 2 bars at or before the cursor; there are 1"},
        Edge{SeriesOp::kRsi,
             {1},
             INT_MIN,
             CalcReason::kCursor,
             "no bar under the cursor: pos is -2147483648, the bars are at pos 0 to 11; after "
             "push_back into a new object, set the cursor with pos_set 0"}));

TEST(CalcReason, ArgumentComesBeforeCursorAndAnEmptyObjectHasNoBars) {
    ZOLV empty;
    EXPECT_EQ(CalcReason::kArgument, zolv::explain_calc_failure(empty, SeriesOp::kSma, {0}).reason);
    const zolv::CalcFailure f = zolv::explain_calc_failure(empty, SeriesOp::kSma, {1});
    EXPECT_EQ(CalcReason::kCursor, f.reason);
    EXPECT_EQ(
        "no bar under the cursor: the object has no bars; after push_back into a new object, set "
        "the cursor with pos_set 0",
        f.detail);
    EXPECT_STREQ("CURSOR", zolv::calc_reason_word(CalcReason::kCursor));
}

}  // namespace
