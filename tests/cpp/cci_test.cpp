// Commodity channel index: hand-worked values, zero deviation, boundaries, 64-bit price sums.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <vector>

#include "series/zolv.h"

namespace {

struct Hlc {
    Column h, l, c;
};

// Bars whose high, low and close are all the same value.
Hlc flat_bars(const std::vector<int32_t>& values) {
    return {values, values, values};
}

double cci_at(int t, const Hlc& s, int i) {
    double out = -1.0;
    EXPECT_FALSE(ZOLV_CALC{}.cci(t, s.h, s.l, s.c, i, &out));
    return out;
}

TEST(Cci, HandWorkedValues) {
    // Price sums 3, 6, 9: typical prices 1, 2, 3 (products with 0.3333333333333333 that round
    // to the integers), mean 2, total deviation 2; 1 / ((2 / 3) * 0.015).
    EXPECT_EQ(100.00000000000001, cci_at(3, flat_bars({1, 2, 3}), 2));
    EXPECT_EQ(-100.00000000000001, cci_at(3, flat_bars({3, 2, 1}), 2));
    // The window ends at the index: the bar after it does not count.
    EXPECT_EQ(100.00000000000001, cci_at(3, flat_bars({1, 2, 3, -50}), 2));
}

TEST(Cci, ZeroDeviationIsNotAnError) {
    EXPECT_TRUE(std::isnan(cci_at(1, flat_bars({4, 9}), 1)));     // t 1: 0 / 0
    EXPECT_TRUE(std::isnan(cci_at(2, flat_bars({9, 9, 9}), 2)));  // mean equals the price
    // Three equal bars: the mean is a rounding residue away from the price or equal to it.
    const double v = cci_at(3, Hlc{{11, 11, 11}, {9, 9, 9}, {10, 10, 10}}, 2);
    EXPECT_TRUE(std::isnan(v) || std::fabs(std::fabs(v) - 66.7) < 0.1) << v;
}

TEST(Cci, PriceSumsBeyond32Bits) {
    // Typical prices 1e9 then 0 (3e9 * 0.3333333333333333 rounds to 1e9): a fall, by hand
    // -5e8 / (5e8 * 0.015). A 32-bit sum would turn the first price negative.
    EXPECT_EQ(-66.66666666666667, cci_at(2, flat_bars({1000000000, 0}), 1));
    const double top = cci_at(2, flat_bars({0, INT32_MAX}), 1);
    EXPECT_EQ(66.66666666666667, top);
}

TEST(Cci, Boundaries) {
    const Hlc s = flat_bars({5, 7, 6, 8});  // N = 4
    double out = 0.0;
    EXPECT_FALSE(ZOLV_CALC{}.cci(4, s.h, s.l, s.c, 3, &out));  // the whole series
    EXPECT_TRUE(ZOLV_CALC{}.cci(5, s.h, s.l, s.c, 3, &out));
    EXPECT_TRUE(ZOLV_CALC{}.cci(4, s.h, s.l, s.c, 2, &out));  // pos 1
    const std::vector<int> values{INT_MIN, -1, 0, 1, 2, 3, 4, 5, INT_MAX};
    for (int t : values) {
        for (int i : values) {
            const bool ok = t >= 1 && i <= 3 && int64_t{i} - t + 1 >= 0;
            EXPECT_EQ(!ok, ZOLV_CALC{}.cci(t, s.h, s.l, s.c, i, &out)) << t << " " << i;
        }
    }
}

TEST(Cci, FailsOnEmptyOrMismatchedColumns) {
    double out = -4.0;
    EXPECT_TRUE(ZOLV_CALC{}.cci(1, {}, {}, {}, 0, &out));
    Hlc s = flat_bars({5, 7, 6});
    s.h.pop_back();
    EXPECT_TRUE(ZOLV_CALC{}.cci(1, s.h, s.l, s.c, 1, &out));
    s = flat_bars({5, 7, 6});
    s.l.push_back(1);
    EXPECT_TRUE(ZOLV_CALC{}.cci(1, s.h, s.l, s.c, 1, &out));
    EXPECT_EQ(-4.0, out);
}

TEST(CciOperation, WorksAtTheCursor) {
    ZOLV z;
    const Hlc s = flat_bars({1, 2, 3, 0});
    z.high = s.h;
    z.low = s.l;
    z.close = s.c;
    z.open = z.volume = Column(4, 0);
    z.pos = 1;
    double out = 0.0;
    ASSERT_EQ(ZOLV_OK, z.cci(3, &out));
    EXPECT_EQ(100.00000000000001, out);
    EXPECT_EQ(ZOLV_CALC_ERROR, z.cci(4, &out));
    z.pos = -1;
    EXPECT_EQ(ZOLV_CALC_ERROR, z.cci(1, &out));
}

}  // namespace
