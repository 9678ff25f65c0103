// True range and directional movement index: worked examples, boundaries, 64-bit sums.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "series/zolv.h"

namespace {

struct Hlc {
    Column h, l, c;
};

// Highs 12 14 15 13 16 17, lows 9 10 12 10 12 14, closes 11 13 14 11 15 16, oldest first.
Hlc six_bars() {
    return {{12, 14, 15, 13, 16, 17}, {9, 10, 12, 10, 12, 14}, {11, 13, 14, 11, 15, 16}};
}

struct DmiResult {
    double pdi = -1.0, mdi = -1.0, dx = -1.0, adx = -1.0;
};

bool run_dmi(int n, int m, const Hlc& s, int b, DmiResult* r) {
    return ZOLV_CALC{}.dmi(n, m, s.h, s.l, s.c, b, &r->pdi, &r->mdi, &r->dx, &r->adx);
}

// Each window summed afresh, without sliding, as the reference for the sliding sums.
DmiResult naive_dmi(int n, int m, const Hlc& s, int b) {
    auto tr = [&](int u) {
        const int64_t p = s.c[u - 1];
        return std::max({int64_t{s.h[u]} - s.l[u], int64_t{s.h[u]} - p, p - s.l[u]});
    };
    DmiResult r;
    double sum_dx = 0.0;
    for (int j = b; j > b - m; --j) {
        int64_t st = 0, sp = 0, sm = 0;
        for (int u = j; u > j - n; --u) {
            const int64_t up = std::max<int64_t>(int64_t{s.h[u]} - s.h[u - 1], 0);
            const int64_t down = std::max<int64_t>(int64_t{s.l[u - 1]} - s.l[u], 0);
            st += tr(u);
            if (up > down) sp += up;
            if (down > up) sm += down;
        }
        const double pdi = static_cast<double>(sp) / static_cast<double>(st) * 100.0;
        const double mdi = static_cast<double>(sm) / static_cast<double>(st) * 100.0;
        const double dx = std::fabs(pdi - mdi) / (mdi + pdi) * 100.0;
        if (j == b) r = {pdi, mdi, dx, 0.0};
        sum_dx += dx;
    }
    r.adx = sum_dx / m;
    return r;
}

// The true range of a two-bar series: the previous close, then one bar.
int64_t tr_of(int32_t prev_close, int32_t high, int32_t low) {
    const Column h{prev_close, high}, l{prev_close, low}, c{prev_close, 0};
    int64_t got = -1;
    EXPECT_FALSE(ZOLV_CALC{}.tr(h, l, c, 1, &got));
    return got;
}

TEST(TrueRange, WorkedExamples) {
    const Hlc s = six_bars();
    int64_t got = 0;
    ASSERT_FALSE(ZOLV_CALC{}.tr(s.h, s.l, s.c, 5, &got));
    EXPECT_EQ(3, got);
    EXPECT_EQ(20, tr_of(120, 110, 100));  // previous close above the high
    EXPECT_EQ(20, tr_of(90, 110, 100));   // previous close below the low
    EXPECT_EQ(10, tr_of(105, 110, 100));  // previous close inside the bar
}

TEST(TrueRange, NeedsAPreviousBarInsideTheColumn) {
    const Hlc s = six_bars();
    int64_t got = -7;
    EXPECT_TRUE(ZOLV_CALC{}.tr(s.h, s.l, s.c, 0, &got));  // the oldest bar
    for (int b : {-1, 6, INT_MIN, INT_MAX}) EXPECT_TRUE(ZOLV_CALC{}.tr(s.h, s.l, s.c, b, &got));
    EXPECT_EQ(-7, got);
    ASSERT_FALSE(ZOLV_CALC{}.tr(s.h, s.l, s.c, 1, &got));  // uses the oldest close, 11
    EXPECT_EQ(4, got);
    const Column empty;
    EXPECT_TRUE(ZOLV_CALC{}.tr(empty, empty, empty, 1, &got));
}

TEST(TrueRange, HighAndLowMustMatchTheClose) {
    Hlc s = six_bars();
    int64_t got = 0;
    s.h.pop_back();
    EXPECT_TRUE(ZOLV_CALC{}.tr(s.h, s.l, s.c, 3, &got));
    s = six_bars();
    s.l.push_back(1);
    EXPECT_TRUE(ZOLV_CALC{}.tr(s.h, s.l, s.c, 3, &got));
}

TEST(TrueRange, ExactAtTheInt32Limits) {
    EXPECT_EQ(4294967295, tr_of(0, INT32_MAX, INT32_MIN));
    EXPECT_EQ(4294967295, tr_of(INT32_MIN, INT32_MAX, INT32_MAX));
    EXPECT_EQ(4294967295, tr_of(INT32_MAX, INT32_MIN, INT32_MIN));
    EXPECT_EQ(-5, tr_of(0, -5, 5));  // a high below the low can give a negative range
}

TEST(Dmi, WorkedExample) {
    const Hlc s = six_bars();
    DmiResult r;
    ASSERT_FALSE(run_dmi(2, 2, s, 5, &r));
    EXPECT_EQ(50.0, r.pdi);
    EXPECT_EQ(0.0, r.mdi);
    EXPECT_EQ(100.0, r.dx);
    EXPECT_EQ(60.0, r.adx);
    // The second window, ending one bar earlier.
    ASSERT_FALSE(run_dmi(2, 1, s, 4, &r));
    EXPECT_EQ(33.33333333333333, r.pdi);
    EXPECT_EQ(22.22222222222222, r.mdi);
    EXPECT_EQ(19.999999999999996, r.dx);
    EXPECT_EQ(r.dx, r.adx);  // m = 1: ADX is the one DX
}

TEST(Dmi, OnlyTheLargerMoveCounts) {
    // Bar 2 moves up 2 and down 2: nothing. Bar 3 moves up 3 and down 5: -DM 5.
    const Hlc s{{10, 10, 12, 15}, {5, 5, 3, -2}, {8, 8, 8, 8}};
    DmiResult r;
    ASSERT_FALSE(run_dmi(1, 1, s, 2, &r));
    EXPECT_EQ(0.0, r.pdi);
    EXPECT_EQ(0.0, r.mdi);
    ASSERT_FALSE(run_dmi(1, 1, s, 3, &r));
    EXPECT_EQ(0.0, r.pdi);
    EXPECT_EQ(5.0 / 17.0 * 100.0, r.mdi);  // true range 15 - (-2)
}

TEST(Dmi, WindowAndCountBoundaries) {
    const Hlc s = six_bars();  // N = 6
    DmiResult r;
    // pos + n + m + 1 = N passes, pos + n + m = N fails.
    EXPECT_FALSE(run_dmi(3, 2, s, 5, &r));
    EXPECT_TRUE(run_dmi(3, 2, s, 4, &r));
    EXPECT_FALSE(run_dmi(1, 4, s, 5, &r));
    EXPECT_TRUE(run_dmi(1, 5, s, 5, &r));
    EXPECT_TRUE(run_dmi(6, 1, s, 5, &r));  // n = N
    EXPECT_TRUE(run_dmi(1, 6, s, 5, &r));  // m = N

    // Every parameter against a plain statement of the range, including extreme values.
    const std::vector<int> values{INT_MIN, INT_MIN + 1, -2, -1, 0, 1,           2,
                                  3,       4,           5,  6,  7, INT_MAX - 1, INT_MAX};
    for (int n : values) {
        for (int m : values) {
            for (int b : values) {
                const bool ok = n >= 1 && m >= 1 && b <= 5 && int64_t{b} - n - m >= 0;
                DmiResult got;
                EXPECT_EQ(!ok, run_dmi(n, m, s, b, &got)) << n << " " << m << " " << b;
            }
        }
    }
}

TEST(Dmi, FailsOnEmptyOrMismatchedColumns) {
    DmiResult r;
    EXPECT_TRUE(run_dmi(1, 1, Hlc{}, 0, &r));
    Hlc s = six_bars();
    s.h.pop_back();
    EXPECT_TRUE(run_dmi(1, 1, s, 4, &r));
    s = six_bars();
    s.l.push_back(0);
    EXPECT_TRUE(run_dmi(1, 1, s, 4, &r));
    EXPECT_EQ(-1.0, r.pdi);  // nothing written on failure
}

TEST(Dmi, FlatWindowGivesNaN) {
    const Hlc s{{5, 5, 5, 5}, {5, 5, 5, 5}, {5, 5, 5, 5}};
    DmiResult r;
    ASSERT_FALSE(run_dmi(2, 1, s, 3, &r));
    EXPECT_TRUE(std::isnan(r.pdi));
    EXPECT_TRUE(std::isnan(r.mdi));
    EXPECT_TRUE(std::isnan(r.dx));
    EXPECT_TRUE(std::isnan(r.adx));
}

TEST(Dmi, RangeSumsBeyond32Bits) {
    // True ranges of 4e9 per bar: the window sum 8e9 needs more than 32 bits (by hand: +DM 1e9).
    const Hlc s{{-2000000000, 2000000000, 1000000000, 2000000000},
                {-2000000000, -2000000000, -2000000000, -2000000000},
                {-2000000000, 2000000000, -2000000000, 0}};
    DmiResult r;
    ASSERT_FALSE(run_dmi(2, 1, s, 3, &r));
    EXPECT_EQ(12.5, r.pdi);
    EXPECT_EQ(0.0, r.mdi);
    EXPECT_EQ(100.0, r.dx);
    EXPECT_EQ(100.0, r.adx);
}

TEST(Dmi, SlidingSumsMatchFreshSums) {
    std::mt19937 gen(20240611);
    for (int round = 0; round < 2000; ++round) {
        const bool huge = round % 2 == 1;
        std::uniform_int_distribution<int32_t> price(huge ? INT32_MIN : 0, huge ? INT32_MAX : 50);
        const int size = std::uniform_int_distribution<int>(3, 30)(gen);
        Hlc s;
        for (int k = 0; k < size; ++k) {
            s.h.push_back(price(gen));
            s.l.push_back(price(gen));
            s.c.push_back(price(gen));
        }
        const int n = std::uniform_int_distribution<int>(1, size - 2)(gen);
        const int m = std::uniform_int_distribution<int>(1, size - 1 - n)(gen);
        const int b = std::uniform_int_distribution<int>(n + m, size - 1)(gen);
        DmiResult got;
        ASSERT_FALSE(run_dmi(n, m, s, b, &got));
        const DmiResult want = naive_dmi(n, m, s, b);
        // Bit-for-bit, NaN included.
        for (auto [g, w] : {std::pair{got.pdi, want.pdi}, std::pair{got.mdi, want.mdi},
                            std::pair{got.dx, want.dx}, std::pair{got.adx, want.adx}}) {
            if (std::isnan(w)) {
                EXPECT_TRUE(std::isnan(g));
            } else {
                EXPECT_EQ(w, g) << "round " << round;
            }
        }
    }
}

TEST(DmiOperation, FillsTheListOnlyOnSuccess) {
    ZOLV z;
    const Hlc s = six_bars();
    z.high = s.h;
    z.low = s.l;
    z.close = s.c;
    z.open = z.volume = Column(6, 0);
    z.pos = 0;
    std::vector<double> out{1.0, 2.0};
    EXPECT_EQ(ZOLV_CALC_ERROR, z.dmi(3, 3, out));  // needs 7 bars
    EXPECT_EQ((std::vector<double>{1.0, 2.0}), out);
    ASSERT_EQ(ZOLV_OK, z.dmi(2, 2, out));
    EXPECT_EQ((std::vector<double>{50.0, 0.0, 100.0, 60.0}), out);

    int64_t range = 0;
    ASSERT_EQ(ZOLV_OK, z.tr(&range));
    EXPECT_EQ(3, range);
    z.pos = 5;  // the oldest bar
    EXPECT_EQ(ZOLV_CALC_ERROR, z.tr(&range));
    z.pos = -1;
    EXPECT_EQ(ZOLV_CALC_ERROR, z.tr(&range));
}

}  // namespace
