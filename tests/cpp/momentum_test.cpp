// Momentum, rate of change, psychological line, RSI and RCI: values, window checks and
// the ZOLV operations that reach them.
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

// A store with only the close column filled (and open, for rsi) and the cursor at pos.
ZOLV closes_at(const Column& close, int32_t pos) {
    ZOLV bars;
    bars.close = close;
    bars.open = close;
    bars.high = close;
    bars.low = close;
    bars.volume = close;
    bars.pos = pos;
    return bars;
}

bool same_bits(double a, double b) {
    uint64_t x = 0;
    uint64_t y = 0;
    std::memcpy(&x, &a, sizeof x);
    std::memcpy(&y, &b, sizeof y);
    return x == y;
}

// rci straight from its definition: for each bar, count the window's values >= it and
// equal to it by scanning the whole window.
double naive_rci(int n, const Column& c, int i) {
    double sum = 0.0;
    for (int k = i; k >= i - n + 1; --k) {
        int ge = 0;
        int eq = 0;
        for (int j = i - n + 1; j <= i; ++j) {
            if (c[j] >= c[k]) ++ge;
            if (c[j] == c[k]) ++eq;
        }
        const double d = static_cast<double>(i - ge - k + 1) + (eq - 1) * 0.5;
        sum = sum + d * d;
    }
    const double cube = static_cast<double>(int64_t{n} * n * n);
    return (1.0 - (sum * 6.0) / (cube - n)) * 100.0;
}

// ---- momentum and roc: c[i] against c[i - n] ----

TEST(MomentumCalc, DifferenceIsExact) {
    int64_t got = -1;
    ASSERT_FALSE(ZOLV_CALC{}.momentum(2, {5, 7, 10}, 2, &got));
    EXPECT_EQ(5, got);
    ASSERT_FALSE(ZOLV_CALC{}.momentum(1, {5, 7, 10}, 1, &got));
    EXPECT_EQ(2, got);
    ASSERT_FALSE(ZOLV_CALC{}.momentum(0, {5, 7, 10}, 2, &got));
    EXPECT_EQ(0, got);
}

TEST(MomentumCalc, DifferenceBeyondInt32) {
    int64_t got = 0;
    ASSERT_FALSE(ZOLV_CALC{}.momentum(1, {kMin, kMax}, 1, &got));
    EXPECT_EQ(int64_t{4294967295}, got);
    ASSERT_FALSE(ZOLV_CALC{}.momentum(1, {kMax, kMin}, 1, &got));
    EXPECT_EQ(int64_t{-4294967295}, got);
}

// Both momentum and roc need n + 1 bars at or before i.
TEST(LookbackCalc, ChecksBothSides) {
    const Column c{5, 7, 10};
    const ZOLV_CALC calc;
    int64_t diff = 0;
    double value = 0.0;
    auto fails = [&](int n, int i) {
        const bool m = calc.momentum(n, c, i, &diff);
        EXPECT_EQ(m, calc.roc(n, c, i, &value)) << n << " " << i;
        return m;
    };
    EXPECT_FALSE(fails(2, 2));
    EXPECT_TRUE(fails(3, 2));
    EXPECT_TRUE(fails(2, 1));
    EXPECT_FALSE(fails(1, 1));
    EXPECT_FALSE(fails(0, 0));
    for (const int bad : {-1, INT_MIN, INT_MAX}) {
        EXPECT_TRUE(fails(bad, 2)) << bad;
        EXPECT_TRUE(fails(0, bad)) << bad;
        EXPECT_TRUE(fails(bad, bad)) << bad;
    }
    EXPECT_TRUE(fails(0, 3));
    EXPECT_TRUE(calc.momentum(0, {}, 0, &diff));
    EXPECT_TRUE(calc.roc(0, {}, 0, &value));
}

TEST(RocCalc, RatioInPercent) {
    double got = 0.0;
    ASSERT_FALSE(ZOLV_CALC{}.roc(1, {200, 300}, 1, &got));
    EXPECT_EQ(150.0, got);
    ASSERT_FALSE(ZOLV_CALC{}.roc(0, {200, 300}, 1, &got));
    EXPECT_EQ(100.0, got);
    ASSERT_FALSE(ZOLV_CALC{}.roc(1, {-200, 300}, 1, &got));
    EXPECT_EQ(-150.0, got);
    ASSERT_FALSE(ZOLV_CALC{}.roc(2, {3, 0, 1}, 2, &got));
    EXPECT_EQ(33.33333333333333, got);  // 1 / 3, then * 100
}

TEST(RocCalc, ZeroBaseFails) {
    double got = -1.0;
    EXPECT_TRUE(ZOLV_CALC{}.roc(1, {0, 300}, 1, &got));
    EXPECT_TRUE(ZOLV_CALC{}.roc(0, {200, 0}, 1, &got));
    EXPECT_EQ(-1.0, got);  // nothing written on failure
}

// ---- psychological line: share of rising steps ----

TEST(PsychologicalCalc, CountsStrictRises) {
    double got = 0.0;
    ASSERT_FALSE(ZOLV_CALC{}.psychological(4, {1, 2, 3, 4, 5}, 4, &got));
    EXPECT_EQ(100.0, got);
    ASSERT_FALSE(ZOLV_CALC{}.psychological(4, {7, 7, 7, 7, 7}, 4, &got));
    EXPECT_EQ(0.0, got);
    // Steps 1->2 up, 2->2 flat, 2->1 down, 1->3 up: two of four.
    ASSERT_FALSE(ZOLV_CALC{}.psychological(4, {1, 2, 2, 1, 3}, 4, &got));
    EXPECT_EQ(50.0, got);
    // The three steps ending at index 3: up, flat, down.
    ASSERT_FALSE(ZOLV_CALC{}.psychological(3, {1, 2, 2, 1, 3}, 3, &got));
    EXPECT_EQ(33.33333333333333, got);
    ASSERT_FALSE(ZOLV_CALC{}.psychological(2, {kMin, kMax, kMin}, 2, &got));
    EXPECT_EQ(50.0, got);
}

TEST(PsychologicalCalc, NeedsNPlusOneBars) {
    const Column c{1, 2, 3, 4, 5};
    const ZOLV_CALC calc;
    double got = 0.0;
    EXPECT_FALSE(calc.psychological(4, c, 4, &got));
    EXPECT_TRUE(calc.psychological(5, c, 4, &got));
    EXPECT_FALSE(calc.psychological(3, c, 3, &got));
    EXPECT_TRUE(calc.psychological(4, c, 3, &got));
    for (const int bad : {0, -1, INT_MIN, INT_MAX}) {
        EXPECT_TRUE(calc.psychological(bad, c, 4, &got)) << bad;
        EXPECT_TRUE(calc.psychological(1, c, bad == 0 ? 5 : bad, &got)) << bad;
    }
    EXPECT_TRUE(calc.psychological(1, {}, 0, &got));
}

// ---- rsi: each bar's close against its own open ----

TEST(RsiCalc, UpShareOfAllMoves) {
    const ZOLV_CALC calc;
    double got = 0.0;
    ASSERT_FALSE(calc.rsi(3, {1, 1, 1}, {2, 5, 3}, 2, &got));
    EXPECT_EQ(100.0, got);
    ASSERT_FALSE(calc.rsi(3, {2, 5, 3}, {1, 1, 1}, 2, &got));
    EXPECT_EQ(0.0, got);
    ASSERT_FALSE(calc.rsi(3, {4, 4, 4}, {4, 4, 4}, 2, &got));
    EXPECT_TRUE(std::isnan(got));
    // Moves +3, -1, +2 (the oldest bar, -9, is outside the window): 5 / 6, then * 100.
    ASSERT_FALSE(calc.rsi(3, {10, 10, 10, 10}, {1, 13, 9, 12}, 3, &got));
    EXPECT_EQ(83.33333333333334, got);
}

TEST(RsiCalc, SumsBeyondInt32) {
    const ZOLV_CALC calc;
    double got = 0.0;
    ASSERT_FALSE(calc.rsi(2, {kMin, kMin}, {kMax, kMax}, 1, &got));
    EXPECT_EQ(100.0, got);
    // up = down = 2^32 - 1.
    ASSERT_FALSE(calc.rsi(2, {kMin, kMax}, {kMax, kMin}, 1, &got));
    EXPECT_EQ(50.0, got);
    // up = 2^32 - 1, down = 1: (2^32 - 1) / 2^32, then * 100.
    ASSERT_FALSE(calc.rsi(2, {kMin, 1}, {kMax, 0}, 1, &got));
    EXPECT_EQ(99.99999997671694, got);
}

TEST(RsiCalc, NeedsNBarsAndEqualColumns) {
    const Column o{1, 1, 1};
    const Column c{2, 2, 2};
    const ZOLV_CALC calc;
    double got = 0.0;
    EXPECT_FALSE(calc.rsi(3, o, c, 2, &got));
    EXPECT_TRUE(calc.rsi(4, o, c, 2, &got));
    EXPECT_FALSE(calc.rsi(2, o, c, 1, &got));
    EXPECT_TRUE(calc.rsi(3, o, c, 1, &got));
    EXPECT_FALSE(calc.rsi(1, o, c, 0, &got));
    for (const int bad : {0, -1, INT_MIN, INT_MAX}) {
        EXPECT_TRUE(calc.rsi(bad, o, c, 2, &got)) << bad;
        EXPECT_TRUE(calc.rsi(1, o, c, bad == 0 ? 3 : bad, &got)) << bad;
    }
    EXPECT_TRUE(calc.rsi(1, o, {2, 2}, 1, &got));
    EXPECT_TRUE(calc.rsi(1, o, {2, 2, 2, 2}, 1, &got));
    EXPECT_TRUE(calc.rsi(1, {}, {}, 0, &got));
}

// ---- rci: rank correlation of date and value ----

TEST(RciCalc, KnownWindows) {
    const ZOLV_CALC calc;
    double got = 0.0;
    ASSERT_FALSE(calc.rci(4, {9, 1, 2, 3, 4}, 4, &got));
    EXPECT_EQ(100.0, got);
    ASSERT_FALSE(calc.rci(4, {0, 4, 3, 2, 1}, 4, &got));
    EXPECT_EQ(-100.0, got);
    ASSERT_FALSE(calc.rci(4, {5, 5, 5, 5}, 3, &got));
    EXPECT_EQ(50.0, got);
    ASSERT_FALSE(calc.rci(2, {kMin, kMax}, 1, &got));
    EXPECT_EQ(100.0, got);
    // By hand: value ranks 3, 1, 2 against date ranks 3, 2, 1 give sum 2; 1 - 12 / 24.
    ASSERT_FALSE(calc.rci(3, {10, 30, 20}, 2, &got));
    EXPECT_EQ(50.0, got);
    ASSERT_FALSE(calc.rci(1, {5, 6}, 1, &got));
    EXPECT_TRUE(std::isnan(got));
}

TEST(RciCalc, NeedsNBars) {
    const Column c{1, 2, 3};
    const ZOLV_CALC calc;
    double got = 0.0;
    EXPECT_FALSE(calc.rci(3, c, 2, &got));
    EXPECT_TRUE(calc.rci(4, c, 2, &got));
    EXPECT_FALSE(calc.rci(2, c, 1, &got));
    EXPECT_TRUE(calc.rci(3, c, 1, &got));
    for (const int bad : {0, -1, INT_MIN, INT_MAX}) {
        EXPECT_TRUE(calc.rci(bad, c, 2, &got)) << bad;
        EXPECT_TRUE(calc.rci(1, c, bad == 0 ? 3 : bad, &got)) << bad;
    }
    EXPECT_TRUE(calc.rci(1, {}, 0, &got));
}

// Windows of 1291 bars and more, where n^3 no longer fits in 32 bits.
TEST(RciCalc, LongWindows) {
    const int n = 2000;
    Column rising(n);
    Column falling(n);
    for (int k = 0; k < n; ++k) {
        rising[k] = k;
        falling[k] = -k;
    }
    double got = 0.0;
    ASSERT_FALSE(ZOLV_CALC{}.rci(n, rising, n - 1, &got));
    EXPECT_EQ(100.0, got);
    ASSERT_FALSE(ZOLV_CALC{}.rci(n, falling, n - 1, &got));
    EXPECT_EQ(-100.0, got);
    EXPECT_TRUE(same_bits(naive_rci(n, falling, n - 1), got));
}

// Past 2^21 bars even a 64-bit n^3 would overflow.
TEST(RciCalc, HugeWindowRising) {
    const int n = 2097153;
    Column rising(n);
    for (int k = 0; k < n; ++k) rising[k] = k - n / 2;
    double got = 0.0;
    ASSERT_FALSE(ZOLV_CALC{}.rci(n, rising, n - 1, &got));
    EXPECT_EQ(100.0, got);
}

// The sorted-copy ranking gives the same bits as the quadratic scan, ties included.
TEST(RciCalc, MatchesQuadraticDefinition) {
    std::mt19937 rng(20240611);
    const int32_t extremes[] = {kMin, kMin + 1, -1, 0, 1, kMax - 1, kMax};
    const ZOLV_CALC calc;
    for (int round = 0; round < 4000; ++round) {
        const int size = 1 + static_cast<int>(rng() % 70);
        const int spread = 1 + static_cast<int>(rng() % 6);  // few distinct values: many ties
        Column c(size);
        for (int32_t& v : c) {
            v = (rng() % 8 == 0) ? extremes[rng() % 7] : static_cast<int32_t>(rng() % spread);
        }
        const int i = static_cast<int>(rng() % size);
        const int n = 1 + static_cast<int>(rng() % (i + 1));
        double got = 0.0;
        ASSERT_FALSE(calc.rci(n, c, i, &got));
        ASSERT_TRUE(same_bits(naive_rci(n, c, i), got)) << "round " << round << " n " << n;
    }
}

// ---- the ZOLV operations ----

// The value at pos p equals the value at pos 0 once the p newest bars are gone.
TEST(MomentumOps, PosMatchesTrimmedSeries) {
    std::mt19937 rng(7);
    Column values(40);
    for (int32_t& v : values) v = static_cast<int32_t>(rng() % 50) + 1;
    for (int p = 0; p < 30; ++p) {
        const ZOLV at_pos = closes_at(values, p);
        const ZOLV trimmed = closes_at(Column(values.begin(), values.end() - p), 0);
        double a = 0.0;
        double b = 0.0;
        ASSERT_EQ(ZOLV_OK, at_pos.roc(5, &a));
        ASSERT_EQ(ZOLV_OK, trimmed.roc(5, &b));
        EXPECT_TRUE(same_bits(a, b));
        ASSERT_EQ(ZOLV_OK, at_pos.rci('c', 9, &a));
        ASSERT_EQ(ZOLV_OK, trimmed.rci('c', 9, &b));
        EXPECT_TRUE(same_bits(a, b));
        ASSERT_EQ(ZOLV_OK, at_pos.psychological('c', 9, &a));
        ASSERT_EQ(ZOLV_OK, trimmed.psychological('c', 9, &b));
        EXPECT_TRUE(same_bits(a, b));
    }
}

}  // namespace
