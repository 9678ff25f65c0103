// Stochastics %K, %D, slow %D, Williams %R and the ultimate oscillator: values, window
// checks and the ZOLV operations that reach them.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "series/zolv.h"

namespace {

constexpr int32_t kMax = INT32_MAX;
constexpr int32_t kMin = INT32_MIN;

struct Bars {
    Column high;
    Column low;
    Column close;
};

// Six bars, oldest first, with hand-worked values at the newest bar.
const Bars kSix{{12, 14, 15, 13, 16, 17}, {9, 10, 12, 10, 12, 14}, {11, 13, 14, 11, 15, 16}};

ZOLV store_of(const Bars& bars, int32_t pos) {
    ZOLV z;
    z.high = bars.high;
    z.low = bars.low;
    z.close = bars.close;
    z.open = bars.close;
    z.volume = bars.close;
    z.pos = pos;
    return z;
}

bool same_bits(double a, double b) {
    uint64_t x = 0;
    uint64_t y = 0;
    std::memcpy(&x, &a, sizeof x);
    std::memcpy(&y, &b, sizeof y);
    return x == y;
}

// Slow %D by its definition: the mean of y %D values, newest first.
bool naive_stc_sd(int t, int m, int y, const Bars& s, int b, double* out) {
    double sum = 0.0;
    for (int j = b; j > b - y; --j) {
        double d = 0.0;
        if (ZOLV_CALC{}.stc_d(t, m, s.high, s.low, s.close, j, &d)) return true;
        sum += d;
    }
    *out = sum / static_cast<double>(y);
    return false;
}

// Runs each single-window operation and reports whether it failed.
bool k_fails(int t, const Bars& s, int b) {
    double v = 0.0;
    const bool k = ZOLV_CALC{}.stc_k(t, s.high, s.low, s.close, b, &v);
    const bool r = ZOLV_CALC{}.williams_r(t, s.high, s.low, s.close, b, &v);
    EXPECT_EQ(k, r) << "t " << t << " b " << b;
    return k;
}

// ---- worked example ----

TEST(StochasticsCalc, SixBarExample) {
    const ZOLV_CALC calc;
    const Bars& s = kSix;
    double got = 0.0;
    ASSERT_FALSE(calc.stc_k(3, s.high, s.low, s.close, 5, &got));
    EXPECT_EQ(85.71428571428571, got);  // 6 / 7
    ASSERT_FALSE(calc.williams_r(3, s.high, s.low, s.close, 5, &got));
    EXPECT_EQ(14.285714285714285, got);  // 1 / 7
    ASSERT_FALSE(calc.stc_d(3, 2, s.high, s.low, s.close, 5, &got));
    EXPECT_EQ(84.61538461538461, got);  // 11 / 13
    ASSERT_FALSE(calc.stc_sd(3, 2, 2, s.high, s.low, s.close, 5, &got));
    EXPECT_EQ(69.58041958041957, got);
    ASSERT_FALSE(calc.ultimate_osi(1, s.high, s.low, s.close, 5, &got));
    EXPECT_EQ(68.09523809523807, got);  // A1 2/3, A2 0.75, A4 0.6
}

// ---- single-window oscillators ----

TEST(StcKCalc, FlatWindowAndUnclippedValues) {
    const ZOLV_CALC calc;
    double got = -1.0;
    const Bars flat{{5, 5, 5}, {5, 5, 5}, {5, 9, 1}};
    ASSERT_FALSE(calc.stc_k(3, flat.high, flat.low, flat.close, 2, &got));
    EXPECT_EQ(0.0, got);
    got = -1.0;
    ASSERT_FALSE(calc.williams_r(3, flat.high, flat.low, flat.close, 2, &got));
    EXPECT_EQ(0.0, got);
    // Close above its own high: %K 150, %R -50.
    const Bars above{{10, 12}, {8, 10}, {9, 14}};
    ASSERT_FALSE(calc.stc_k(2, above.high, above.low, above.close, 1, &got));
    EXPECT_EQ(150.0, got);
    ASSERT_FALSE(calc.williams_r(2, above.high, above.low, above.close, 1, &got));
    EXPECT_EQ(-50.0, got);
}

TEST(WilliamsRCalc, EndsOfTheRange) {
    const ZOLV_CALC calc;
    double got = 0.0;
    const Bars at_high{{10, 20}, {5, 8}, {7, 20}};
    ASSERT_FALSE(calc.williams_r(2, at_high.high, at_high.low, at_high.close, 1, &got));
    EXPECT_EQ(0.0, got);
    const Bars at_low{{10, 20}, {5, 8}, {7, 5}};
    ASSERT_FALSE(calc.williams_r(2, at_low.high, at_low.low, at_low.close, 1, &got));
    EXPECT_EQ(100.0, got);
}

// Highs of INT32_MAX and lows of INT32_MIN: ranges of 2^32 - 1.
TEST(StochasticsCalc, ExtremeRanges) {
    const ZOLV_CALC calc;
    const Bars s{{kMax, 0, 10}, {kMin, -5, 0}, {0, 0, 5}};
    double got = 0.0;
    ASSERT_FALSE(calc.stc_k(3, s.high, s.low, s.close, 2, &got));
    EXPECT_EQ(50.000000128056854, got);  // (2^31 + 5) / (2^32 - 1)
    ASSERT_FALSE(calc.williams_r(3, s.high, s.low, s.close, 2, &got));
    EXPECT_EQ(49.999999871943146, got);  // (2^31 - 6) / (2^32 - 1)
    ASSERT_FALSE(calc.stc_d(2, 2, s.high, s.low, s.close, 2, &got));
    EXPECT_EQ(50.00000006984919, got);  // (10 + 2^31) / (15 + 2^32 - 1)
}

TEST(StochasticsCalc, SingleWindowChecks) {
    const Bars& s = kSix;
    EXPECT_FALSE(k_fails(6, s, 5));  // t = N covers the whole series
    EXPECT_TRUE(k_fails(7, s, 5));
    EXPECT_FALSE(k_fails(3, s, 2));  // pos + t = N
    EXPECT_TRUE(k_fails(4, s, 2));   // pos + t = N + 1
    EXPECT_FALSE(k_fails(1, s, 0));
    EXPECT_TRUE(k_fails(0, s, 5));
    EXPECT_TRUE(k_fails(-1, s, 5));
    EXPECT_TRUE(k_fails(INT_MIN, s, 5));
    EXPECT_TRUE(k_fails(INT_MAX, s, 5));
    EXPECT_TRUE(k_fails(1, s, 6));
    EXPECT_TRUE(k_fails(1, s, -1));
    EXPECT_TRUE(k_fails(1, s, INT_MAX));
    EXPECT_TRUE(k_fails(1, s, INT_MIN));
    EXPECT_TRUE(k_fails(1, Bars{}, 0));
}

// High and low must match close in length even when the window fits in all three.
TEST(StochasticsCalc, UnequalColumnsFail) {
    const ZOLV_CALC calc;
    Bars longer_high = kSix;
    longer_high.high.push_back(20);
    Bars shorter_low = kSix;
    shorter_low.low.pop_back();
    for (const Bars& s : {longer_high, shorter_low}) {
        double got = 0.0;
        EXPECT_TRUE(calc.stc_k(1, s.high, s.low, s.close, 4, &got));
        EXPECT_TRUE(calc.williams_r(1, s.high, s.low, s.close, 4, &got));
        EXPECT_TRUE(calc.stc_d(1, 1, s.high, s.low, s.close, 4, &got));
        EXPECT_TRUE(calc.stc_sd(1, 1, 1, s.high, s.low, s.close, 4, &got));
        EXPECT_TRUE(calc.ultimate_osi(1, s.high, s.low, s.close, 4, &got));
    }
}

// ---- %D and slow %D ----

TEST(StcDCalc, RelationsToKAndD) {
    std::mt19937 rng(11);
    const ZOLV_CALC calc;
    Bars s;
    for (int k = 0; k < 30; ++k) {
        const int32_t low = static_cast<int32_t>(rng() % 100);
        s.low.push_back(low);
        s.high.push_back(low + 1 + static_cast<int32_t>(rng() % 20));
        s.close.push_back(low + static_cast<int32_t>(rng() % 21));
    }
    for (int b = 5; b < 30; ++b) {
        double k = 0.0;
        double d = 0.0;
        double sd = 0.0;
        ASSERT_FALSE(calc.stc_k(5, s.high, s.low, s.close, b, &k));
        ASSERT_FALSE(calc.stc_d(5, 1, s.high, s.low, s.close, b, &d));
        EXPECT_TRUE(same_bits(k, d)) << b;  // m = 1 is %K: no window is flat here
        ASSERT_FALSE(calc.stc_d(3, 2, s.high, s.low, s.close, b, &d));
        ASSERT_FALSE(calc.stc_sd(3, 2, 1, s.high, s.low, s.close, b, &sd));
        EXPECT_TRUE(same_bits(d, sd)) << b;  // y = 1 is %D
    }
}

TEST(StcDCalc, FlatWindowsGiveNaN) {
    const Bars flat{{5, 5, 5, 5}, {5, 5, 5, 5}, {5, 5, 5, 5}};
    double got = 0.0;
    ASSERT_FALSE(ZOLV_CALC{}.stc_d(2, 2, flat.high, flat.low, flat.close, 3, &got));
    EXPECT_TRUE(std::isnan(got));
    ASSERT_FALSE(ZOLV_CALC{}.stc_sd(2, 2, 2, flat.high, flat.low, flat.close, 3, &got));
    EXPECT_TRUE(std::isnan(got));
    // A close away from a flat range: x / 0.
    const Bars off{{5, 5}, {5, 5}, {5, 8}};
    ASSERT_FALSE(ZOLV_CALC{}.stc_d(1, 2, off.high, off.low, off.close, 1, &got));
    EXPECT_EQ(INFINITY, got);
}

TEST(StcDCalc, WindowChecks) {
    const ZOLV_CALC calc;
    const Bars& s = kSix;  // N = 6
    double v = 0.0;
    // pos + t + m = N + 1 succeeds, N + 2 fails.
    EXPECT_FALSE(calc.stc_d(3, 4, s.high, s.low, s.close, 5, &v));
    EXPECT_TRUE(calc.stc_d(3, 5, s.high, s.low, s.close, 5, &v));
    EXPECT_FALSE(calc.stc_d(2, 2, s.high, s.low, s.close, 2, &v));
    EXPECT_TRUE(calc.stc_d(2, 3, s.high, s.low, s.close, 2, &v));
    // pos + t + m + y = N + 2 succeeds, N + 3 fails.
    EXPECT_FALSE(calc.stc_sd(3, 2, 3, s.high, s.low, s.close, 5, &v));
    EXPECT_TRUE(calc.stc_sd(3, 2, 4, s.high, s.low, s.close, 5, &v));
    EXPECT_FALSE(calc.stc_sd(1, 1, 2, s.high, s.low, s.close, 1, &v));
    EXPECT_TRUE(calc.stc_sd(1, 2, 2, s.high, s.low, s.close, 1, &v));
    const int bad[] = {0, -1, 7, INT_MIN, INT_MAX};
    for (const int x : bad) {
        EXPECT_TRUE(calc.stc_d(x, 1, s.high, s.low, s.close, 5, &v)) << x;
        EXPECT_TRUE(calc.stc_d(1, x, s.high, s.low, s.close, 5, &v)) << x;
        EXPECT_TRUE(calc.stc_sd(x, 1, 1, s.high, s.low, s.close, 5, &v)) << x;
        EXPECT_TRUE(calc.stc_sd(1, x, 1, s.high, s.low, s.close, 5, &v)) << x;
        EXPECT_TRUE(calc.stc_sd(1, 1, x, s.high, s.low, s.close, 5, &v)) << x;
    }
    const int bad_bars[] = {-1, 6, INT_MIN, INT_MAX};
    for (const int b : bad_bars) {
        EXPECT_TRUE(calc.stc_d(1, 1, s.high, s.low, s.close, b, &v)) << b;
        EXPECT_TRUE(calc.stc_sd(1, 1, 1, s.high, s.low, s.close, b, &v)) << b;
    }
    EXPECT_TRUE(calc.stc_d(1, 1, {}, {}, {}, 0, &v));
    EXPECT_TRUE(calc.stc_sd(1, 1, 1, {}, {}, {}, 0, &v));
}

// The shared-window slow %D gives the same bits as y separate %D calls.
TEST(StcSdCalc, MatchesRepeatedStcD) {
    std::mt19937 rng(4242);
    const int32_t extremes[] = {kMin, kMin + 1, -1, 0, 1, kMax - 1, kMax};
    const ZOLV_CALC calc;
    for (int round = 0; round < 3000; ++round) {
        const int size = 1 + static_cast<int>(rng() % 40);
        Bars s;
        for (int k = 0; k < size; ++k) {
            if (rng() % 4 == 0) {
                s.high.push_back(extremes[rng() % 7]);
                s.low.push_back(extremes[rng() % 7]);
                s.close.push_back(extremes[rng() % 7]);
            } else {
                const int32_t low = static_cast<int32_t>(rng() % 1000) - 500;
                s.low.push_back(low);
                s.high.push_back(low + static_cast<int32_t>(rng() % 50));
                s.close.push_back(low + static_cast<int32_t>(rng() % 60) - 5);
            }
        }
        const int b = static_cast<int>(rng() % size);
        const int room = b + 3;  // t + m + y may reach b + 3
        const int t = 1 + static_cast<int>(rng() % (room - 2));
        const int m = 1 + static_cast<int>(rng() % (room - 1 - t));
        const int y = room - t - m > 0 ? 1 + static_cast<int>(rng() % (room - t - m)) : 1;
        double want = 0.0;
        double got = 0.0;
        const bool want_fails = naive_stc_sd(t, m, y, s, b, &want);
        ASSERT_EQ(want_fails, calc.stc_sd(t, m, y, s.high, s.low, s.close, b, &got))
            << "round " << round;
        if (!want_fails) {
            ASSERT_TRUE(same_bits(want, got)) << "round " << round << ": " << want << " " << got;
        }
    }
}

// ---- ultimate oscillator ----

TEST(UltimateOsiCalc, NeedsFourTPlusOneBars) {
    const ZOLV_CALC calc;
    const Bars& s = kSix;
    double v = 0.0;
    EXPECT_FALSE(calc.ultimate_osi(1, s.high, s.low, s.close, 4, &v));  // N = 5 at pos 0
    EXPECT_TRUE(calc.ultimate_osi(1, s.high, s.low, s.close, 3, &v));   // N = 4 at pos 0
    const Bars five{Column(s.high.begin(), s.high.end() - 1),
                    Column(s.low.begin(), s.low.end() - 1),
                    Column(s.close.begin(), s.close.end() - 1)};
    const Bars four{Column(s.high.begin(), s.high.end() - 2),
                    Column(s.low.begin(), s.low.end() - 2),
                    Column(s.close.begin(), s.close.end() - 2)};
    EXPECT_FALSE(calc.ultimate_osi(1, five.high, five.low, five.close, 4, &v));
    EXPECT_TRUE(calc.ultimate_osi(1, four.high, four.low, four.close, 3, &v));
    EXPECT_TRUE(calc.ultimate_osi(2, s.high, s.low, s.close, 5, &v));  // 4t + 1 = 9 > 6
    const int bad[] = {0, -1, INT_MIN, INT_MAX, INT_MAX / 4, INT_MAX / 4 + 1, INT_MIN / 4};
    for (const int t : bad) EXPECT_TRUE(calc.ultimate_osi(t, s.high, s.low, s.close, 5, &v)) << t;
    const int bars[] = {-1, 6, INT_MIN, INT_MAX};
    for (const int b : bars) EXPECT_TRUE(calc.ultimate_osi(1, s.high, s.low, s.close, b, &v)) << b;
}

TEST(UltimateOsiCalc, ExtremeValues) {
    const ZOLV_CALC calc;
    double got = 0.0;
    // Worked out with exact integers: true ranges and buying pressures reach 2^32 - 1.
    const Bars wide{{kMax, kMax, kMax, kMax, kMax},
                    {kMin, kMin, kMin, kMin, kMin},
                    {kMin, kMax, kMin, kMax, 0}};
    ASSERT_FALSE(calc.ultimate_osi(1, wide.high, wide.low, wide.close, 4, &got));
    EXPECT_EQ(58.92857143730257, got);
    const Bars mixed{
        {kMax, kMax, 10, kMax, kMax}, {kMin, 0, kMin, kMin, 5}, {kMax, kMin, 0, kMax, kMin}};
    ASSERT_FALSE(calc.ultimate_osi(1, mixed.high, mixed.low, mixed.close, 4, &got));
    EXPECT_EQ(-44.761905079382274, got);
}

TEST(UltimateOsiCalc, NoRangeGivesNaN) {
    const Bars flat{{5, 5, 5, 5, 5}, {5, 5, 5, 5, 5}, {5, 5, 5, 5, 5}};
    double got = 0.0;
    ASSERT_FALSE(ZOLV_CALC{}.ultimate_osi(1, flat.high, flat.low, flat.close, 4, &got));
    EXPECT_TRUE(std::isnan(got));
}

// ---- the ZOLV operations ----

// Open and volume play no part: any length is fine.
TEST(StochasticsOps, OpenAndVolumeIgnored) {
    ZOLV z = store_of(kSix, 0);
    z.open.clear();
    z.volume = {1};
    double got = 0.0;
    ASSERT_EQ(ZOLV_OK, z.stc_k(3, &got));
    EXPECT_EQ(85.71428571428571, got);
    ASSERT_EQ(ZOLV_OK, z.ultimate_osi(1, &got));
    EXPECT_EQ(68.09523809523807, got);
}

}  // namespace
