// Volume ratios and money flow index: worked examples, boundaries, sums beyond 32 bits.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <vector>

#include "series/zolv.h"

namespace {

struct Ratios {
    double vr1 = -1.0, vr2 = -1.0, wvr = -1.0;
};

// All three ratios at the newest bar with window t; each call must succeed.
Ratios ratios(const Column& c, const Column& v, int t) {
    const int b = static_cast<int>(c.size()) - 1;
    Ratios r;
    EXPECT_FALSE(ZOLV_CALC{}.vr1(t, c, v, b, &r.vr1));
    EXPECT_FALSE(ZOLV_CALC{}.vr2(t, c, v, b, &r.vr2));
    EXPECT_FALSE(ZOLV_CALC{}.wvr(t, c, v, b, &r.wvr));
    return r;
}

// True when all three ratios fail, false when all succeed; mixed outcomes fail the test.
bool ratios_fail(int t, const Column& c, const Column& v, int b) {
    double out = 0.0;
    const bool f1 = ZOLV_CALC{}.vr1(t, c, v, b, &out);
    const bool f2 = ZOLV_CALC{}.vr2(t, c, v, b, &out);
    const bool f3 = ZOLV_CALC{}.wvr(t, c, v, b, &out);
    EXPECT_EQ(f1, f2);
    EXPECT_EQ(f1, f3);
    return f1;
}

TEST(VolumeRatio, WorkedExamples) {
    // UP 700, DOWN 400, EVEN 100.
    Ratios r = ratios({10, 11, 11, 10, 12}, {100, 200, 100, 400, 500}, 4);
    EXPECT_EQ(166.66666666666669, r.vr1);
    EXPECT_EQ(62.5, r.vr2);
    EXPECT_EQ(16.666666666666664, r.wvr);
    // UP 300, DOWN 100, EVEN 200; the oldest volume is outside the window.
    r = ratios({10, 11, 10, 10}, {999, 300, 100, 200}, 3);
    EXPECT_EQ(200.0, r.vr1);
    EXPECT_EQ(66.66666666666666, r.vr2);
    EXPECT_EQ(0.0, r.wvr);
    // UP 100, DOWN 300, EVEN 0.
    r = ratios({10, 11, 10}, {999, 100, 300}, 2);
    EXPECT_EQ(33.33333333333333, r.vr1);
    EXPECT_EQ(25.0, r.vr2);
    EXPECT_EQ(-50.0, r.wvr);
}

TEST(VolumeRatio, UnchangedCloseCountsAsEvenOnly) {
    const Ratios r = ratios({10, 10}, {0, 40}, 1);  // EVEN 40 only
    EXPECT_EQ(100.0, r.vr1);
    EXPECT_EQ(50.0, r.vr2);
    EXPECT_EQ(-100.0, r.wvr);
}

TEST(VolumeRatio, WindowBoundaries) {
    const Column c{10, 11, 12, 11, 13}, v{1, 2, 3, 4, 5};  // N = 5
    EXPECT_FALSE(ratios_fail(4, c, v, 4));  // t = N - 1: the oldest bar is only compared with
    EXPECT_TRUE(ratios_fail(5, c, v, 4));   // t = N
    EXPECT_TRUE(ratios_fail(4, c, v, 3));   // pos + t + 1 = N + 1
    EXPECT_FALSE(ratios_fail(3, c, v, 3));
    const std::vector<int> values{INT_MIN, -1, 0, 1, 2, 3, 4, 5, 6, INT_MAX};
    for (int t : values) {
        for (int b : values) {
            const bool ok = t >= 1 && b <= 4 && int64_t{b} - t >= 0;
            EXPECT_EQ(!ok, ratios_fail(t, c, v, b)) << t << " " << b;
        }
    }
}

TEST(VolumeRatio, FailsOnEmptyOrMismatchedColumns) {
    const Column c{10, 11, 12}, empty;
    EXPECT_TRUE(ratios_fail(1, empty, empty, 0));
    EXPECT_TRUE(ratios_fail(1, c, {1, 2}, 2));
    EXPECT_TRUE(ratios_fail(1, c, {1, 2, 3, 4}, 2));
    double out = -3.0;
    EXPECT_TRUE(ZOLV_CALC{}.vr1(1, c, {1, 2}, 2, &out));
    EXPECT_EQ(-3.0, out);  // nothing written on failure
}

TEST(VolumeRatio, ZeroDenominatorsFollowIeee) {
    Ratios r = ratios({1, 2, 3}, {5, 6, 7}, 2);  // nothing fell or stayed: vr1 divides by 0
    EXPECT_EQ(INFINITY, r.vr1);
    EXPECT_EQ(100.0, r.vr2);
    EXPECT_EQ(100.0, r.wvr);
    r = ratios({1, 2, 1}, {0, 0, 0}, 2);  // no volume at all: 0/0
    EXPECT_TRUE(std::isnan(r.vr1));
    EXPECT_TRUE(std::isnan(r.vr2));
    EXPECT_TRUE(std::isnan(r.wvr));
    r = ratios({1, 2, 3}, {0, -5, 0}, 2);  // a negative rising volume over nothing
    EXPECT_EQ(-INFINITY, r.vr1);
    EXPECT_EQ(100.0, r.vr2);
    EXPECT_EQ(100.0, r.wvr);
}

TEST(VolumeRatio, SumsBeyond32Bits) {
    // Three rising bars and one falling bar of 2e9 each: UP 6e9, DOWN 2e9 (hand work).
    const Column c{10, 11, 12, 13, 12};
    Ratios r = ratios(c, {0, 2000000000, 2000000000, 2000000000, 2000000000}, 4);
    EXPECT_EQ(300.0, r.vr1);
    EXPECT_EQ(75.0, r.vr2);
    EXPECT_EQ(50.0, r.wvr);
    // Negative volumes keep their sign: UP -6e9, DOWN -2e9.
    r = ratios(c, {0, -2000000000, -2000000000, -2000000000, -2000000000}, 4);
    EXPECT_EQ(300.0, r.vr1);
    EXPECT_EQ(75.0, r.vr2);
    EXPECT_EQ(50.0, r.wvr);
}

struct Bars {
    Column h, l, c, v;
};

// Highs 12 14 15 13 16 17, lows 9 10 12 10 12 14, closes 11 13 14 11 15 16, volumes 100 ... 600.
Bars six_bars() {
    return {{12, 14, 15, 13, 16, 17},
            {9, 10, 12, 10, 12, 14},
            {11, 13, 14, 11, 15, 16},
            {100, 200, 300, 400, 500, 600}};
}

bool run_mfi(int t, const Bars& s, int b, double* out) {
    return ZOLV_CALC{}.mfi(t, s.h, s.l, s.c, s.v, b, out);
}

double mfi_at_newest(int t, const Bars& s) {
    double out = -1.0;
    EXPECT_FALSE(run_mfi(t, s, static_cast<int>(s.c.size()) - 1, &out));
    return out;
}

TEST(MoneyFlow, WorkedExamples) {
    EXPECT_EQ(78.51500789889415, mfi_at_newest(3, six_bars()));
    // Typical prices 10, 11, 10 with volumes 1, 10, 11: both flows 110.
    EXPECT_EQ(50.0, mfi_at_newest(2, Bars{{10, 11, 10}, {10, 11, 10}, {10, 11, 10}, {1, 10, 11}}));
}

TEST(MoneyFlow, NoNegativeFlow) {
    // Every typical price rose: pure buying reads 100; no flow at all reads 0.
    const Column rising{1, 2, 3, 4};
    EXPECT_EQ(100.0, mfi_at_newest(3, Bars{rising, rising, rising, {5, 5, 5, 5}}));
    EXPECT_EQ(0.0, mfi_at_newest(3, Bars{rising, rising, rising, {5, 0, 0, 0}}));
    // Rising prices with negative volumes: a negative positive flow stays 0.
    EXPECT_EQ(0.0, mfi_at_newest(3, Bars{rising, rising, rising, {5, -5, -5, -5}}));
    const Column flat{7, 7, 7, 7};
    EXPECT_EQ(0.0, mfi_at_newest(3, Bars{flat, flat, flat, {5, 5, 5, 5}}));
}

TEST(MoneyFlow, TypicalPriceIsAProductWithOneThird) {
    // High + low + close: 3, 5, 4. Bar 1 rises (volume 7), bar 2 falls (volume 5).
    // By hand: 5 * 0.3333333333333333 = 1.6666666666666665 and 4 * it = 1.3333333333333333;
    // with 5 / 3.0 the result would end in ...64.
    const Bars s{{1, 2, 2}, {1, 1, 1}, {1, 2, 1}, {0, 7, 5}};
    const double want = 100.0 - 100.0 / ((7 * 1.6666666666666665) / (5 * 1.3333333333333333) + 1.0);
    EXPECT_EQ(63.63636363636363, want);
    EXPECT_EQ(want, mfi_at_newest(2, s));
}

TEST(MoneyFlow, PriceSumsBeyond32Bits) {
    // Typical prices 0, 1e9, 2e9/3 by hand: bar 1's price sum 3e9 exceeds int32.
    const Bars s{{0, 1000000000, 2000000000},
                 {0, 1000000000, -1000000000},
                 {0, 1000000000, 1000000000},
                 {0, 1, 3}};
    const double positive = 1000000000.0;  // 3e9 * 0.3333333333333333 rounds to 1e9
    const double negative = 3 * (2000000000.0 * 0.3333333333333333);
    EXPECT_EQ(100.0 - 100.0 / (positive / negative + 1.0), mfi_at_newest(2, s));
}

TEST(MoneyFlow, Boundaries) {
    const Bars s = six_bars();  // N = 6
    double out = 0.0;
    EXPECT_FALSE(run_mfi(5, s, 5, &out));  // t = N - 1 at the newest bar
    EXPECT_TRUE(run_mfi(6, s, 5, &out));   // t = N
    EXPECT_TRUE(run_mfi(5, s, 4, &out));   // pos + t + 1 = N + 1
    const std::vector<int> values{INT_MIN, -1, 0, 1, 2, 5, 6, 7, INT_MAX};
    for (int t : values) {
        for (int b : values) {
            const bool ok = t >= 1 && b <= 5 && int64_t{b} - t >= 0;
            EXPECT_EQ(!ok, run_mfi(t, s, b, &out)) << t << " " << b;
        }
    }
}

TEST(MoneyFlow, FailsOnMismatchedColumns) {
    double out = -2.0;
    for (int which = 0; which < 3; ++which) {
        Bars s = six_bars();
        Column& col = which == 0 ? s.h : which == 1 ? s.l : s.v;
        col.pop_back();
        EXPECT_TRUE(run_mfi(2, s, 4, &out));
        col.push_back(1);
        col.push_back(1);
        EXPECT_TRUE(run_mfi(2, s, 4, &out));
    }
    EXPECT_TRUE(run_mfi(1, Bars{}, 0, &out));
    EXPECT_EQ(-2.0, out);
}

TEST(VolumeOperations, ReadTheirColumnsAtTheCursor) {
    ZOLV z;
    const Bars s = six_bars();
    z.high = s.h;
    z.low = s.l;
    z.close = s.c;
    z.volume = s.v;
    z.open = Column(6, 0);
    z.pos = 0;
    double out = 0.0;
    ASSERT_EQ(ZOLV_OK, z.mfi(3, &out));
    EXPECT_EQ(78.51500789889415, out);
    // Closes 11 13 14 11 15 16 at pos 1, t 2: bar 3 fell (400), bar 4 rose (500).
    z.pos = 1;
    ASSERT_EQ(ZOLV_OK, z.vr1(2, &out));
    EXPECT_EQ(125.0, out);
    ASSERT_EQ(ZOLV_OK, z.vr2(2, &out));
    EXPECT_EQ(500.0 / 900.0 * 100.0, out);
    ASSERT_EQ(ZOLV_OK, z.wvr(2, &out));
    EXPECT_EQ(100.0 / 900.0 * 100.0, out);
    z.pos = 4;  // pos + t + 1 = N + 1
    EXPECT_EQ(ZOLV_CALC_ERROR, z.vr1(2, &out));
    EXPECT_EQ(ZOLV_CALC_ERROR, z.mfi(2, &out));
    z.pos = -1;
    EXPECT_EQ(ZOLV_CALC_ERROR, z.wvr(1, &out));
}

}  // namespace
