// Tests of the moving averages, the standard deviation and the deviation rates.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>

#include "series/zolv.h"

namespace {

const ZOLV_CALC calc;

// The exponential average exactly as defined: recursive, seeded with the
// simple average where the window starts at the oldest bar.
double naive_ema(int n, const Column& c, int i) {
    if (i - n < 0 || n == 1) {
        double sum = 0;  // integer-valued and small here, so exact
        for (int k = i; k > i - n; --k) sum += c[static_cast<size_t>(k)];
        return sum / n;
    }
    const double prev = naive_ema(n, c, i - 1);
    return prev + 2.0 / (n + 1) * (c[static_cast<size_t>(i)] - prev);
}

struct WindowCase {
    int n;
    int i;
    bool fails;
};

// The window check shared by sma, ema and stdev, on a column of 5 values.
class WindowCheck : public ::testing::TestWithParam<WindowCase> {};

TEST_P(WindowCheck, SameVerdictForAllThree) {
    const Column c{3, 1, 4, 1, 5};
    const WindowCase& w = GetParam();
    double out = -7.0;
    EXPECT_EQ(w.fails, calc.sma(w.n, c, w.i, &out));
    EXPECT_EQ(w.fails, calc.ema(w.n, c, w.i, &out));
    EXPECT_EQ(w.fails, calc.stdev(w.n, c, w.i, &out));
    if (w.fails) {
        EXPECT_EQ(-7.0, out);  // nothing written on failure
    }
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, WindowCheck,
    ::testing::Values(WindowCase{5, 4, false},  // whole column at the newest bar
                      WindowCase{5, 3, true},   // one bar short
                      WindowCase{2, 1, false}, WindowCase{2, 0, true}, WindowCase{6, 4, true},
                      WindowCase{0, 4, true}, WindowCase{-1, 4, true}, WindowCase{1, 5, true},
                      WindowCase{1, -1, true}, WindowCase{INT_MIN, 4, true},
                      WindowCase{1, INT_MIN, true}, WindowCase{INT_MAX, 4, true},
                      WindowCase{1, INT_MAX, true}));

TEST(Window, EmptyColumnFails) {
    double out = 0;
    EXPECT_TRUE(calc.sma(1, Column{}, 0, &out));
    EXPECT_TRUE(calc.ema(1, Column{}, 0, &out));
    EXPECT_TRUE(calc.stdev(1, Column{}, 0, &out));
}

TEST(Sma, MeansOfSmallWindows) {
    double out = 0;
    ASSERT_FALSE(calc.sma(2, Column{1, 2}, 1, &out));
    EXPECT_EQ(1.5, out);
    ASSERT_FALSE(calc.sma(3, Column{9, 1, 2, 6}, 3, &out));
    EXPECT_EQ(3.0, out);
    ASSERT_FALSE(calc.sma(1, Column{9, -4}, 1, &out));
    EXPECT_EQ(-4.0, out);
}

TEST(Sma, WindowSumBeyondThirtyTwoBits) {
    double out = 0;
    ASSERT_FALSE(calc.sma(2, Column{INT32_MAX, INT32_MAX}, 1, &out));
    EXPECT_EQ(2147483647.0, out);
    ASSERT_FALSE(calc.sma(3, Column{INT32_MIN, INT32_MIN, INT32_MIN}, 2, &out));
    EXPECT_EQ(-2147483648.0, out);
}

TEST(Ema, SeedAndDegenerateWindows) {
    const Column c{10, 20, 30, 40, 50};
    double ema = 0, sma = 0;
    ASSERT_FALSE(calc.ema(3, c, 2, &ema));
    ASSERT_FALSE(calc.sma(3, c, 2, &sma));
    EXPECT_EQ(sma, ema);  // the seed is the simple average of the oldest window
    for (int i = 0; i < 5; ++i) {
        ASSERT_FALSE(calc.ema(1, c, i, &ema));
        EXPECT_EQ(static_cast<double>(c[static_cast<size_t>(i)]), ema);
    }
    const Column flat(50, 123456);
    for (int i = 6; i < 50; ++i) {
        ASSERT_FALSE(calc.ema(7, flat, i, &ema));
        EXPECT_EQ(123456.0, ema);
    }
}

TEST(Ema, HandComputedSteps) {
    // Seed (1+2+3)/3 = 2; factor 0.5; 2 + 0.5*(10-2) = 6; 6 + 0.5*(0-6) = 3.
    double out = 0;
    ASSERT_FALSE(calc.ema(3, Column{1, 2, 3, 10, 0}, 4, &out));
    EXPECT_EQ(3.0, out);
}

TEST(Ema, MatchesRecursiveDefinitionBitForBit) {
    std::mt19937 rng(42);
    std::uniform_int_distribution<int32_t> value(-1000000, 1000000);
    for (int trial = 0; trial < 300; ++trial) {
        Column c(200);
        for (auto& x : c) x = value(rng);
        const int n = 1 + static_cast<int>(rng() % 40);
        const int i = n - 1 + static_cast<int>(rng() % static_cast<unsigned>(200 - n + 1));
        double got = 0;
        ASSERT_FALSE(calc.ema(n, c, i, &got));
        EXPECT_EQ(naive_ema(n, c, i), got) << "n=" << n << " i=" << i;
    }
}

TEST(Stdev, SampleDeviation) {
    double out = 0;
    ASSERT_FALSE(calc.stdev(3, Column{1, 2, 3}, 2, &out));
    EXPECT_EQ(1.0, out);
    ASSERT_FALSE(calc.stdev(4, Column{5, 5, 5, 5}, 3, &out));
    EXPECT_EQ(0.0, out);
    ASSERT_FALSE(calc.stdev(1, Column{5}, 0, &out));  // 0/0 is a value, not an error
    EXPECT_TRUE(std::isnan(out));
}

TEST(Conv, DeviationRates) {
    const Column c{10, 10, 20, 30};
    double out = 0;
    ASSERT_FALSE(calc.conv(2, 4, 0, c, 3, &out));  // sma2 25, sma4 17.5
    EXPECT_EQ((25.0 / 17.5 - 1.0) * 100.0, out);
    ASSERT_FALSE(calc.conv(3, 3, 0, c, 3, &out));
    EXPECT_EQ(0.0, out);
    ASSERT_FALSE(calc.conv(3, 3, 1, c, 3, &out));
    EXPECT_EQ(0.0, out);
    EXPECT_TRUE(calc.conv(2, 5, 0, c, 3, &out));  // only the long window is too long
    EXPECT_TRUE(calc.conv(2, 5, 1, c, 3, &out));
    EXPECT_TRUE(calc.conv(5, 2, 1, c, 3, &out));
    EXPECT_TRUE(calc.conv(2, 3, 2, c, 3, &out));  // unknown kind
}

TEST(Conv, ZeroLongAverageIsNotAnError) {
    double out = 0;
    ASSERT_FALSE(calc.conv(1, 2, 0, Column{-5, 5}, 1, &out));
    EXPECT_EQ(HUGE_VAL, out);
    ASSERT_FALSE(calc.conv(2, 2, 0, Column{0, 0}, 1, &out));
    EXPECT_TRUE(std::isnan(out));
}

TEST(Conv, EmaPairMatchesSeparateAverages) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int32_t> value(1, 5000000);
    Column c(400);
    for (auto& x : c) x = value(rng);
    for (int trial = 0; trial < 500; ++trial) {
        const int s = 1 + static_cast<int>(rng() % 60);
        const int l = 1 + static_cast<int>(rng() % 60);
        const int i = static_cast<int>(rng() % 400);
        double vs = 0, vl = 0, got = 0;
        const bool failed = calc.ema(s, c, i, &vs) || calc.ema(l, c, i, &vl);
        ASSERT_EQ(failed, calc.conv(s, l, 1, c, i, &got));
        if (!failed) {
            EXPECT_EQ((vs / vl - 1.0) * 100.0, got) << s << " " << l << " " << i;
        }
    }
}

TEST(Operations, ReadTheCursorBarOfThePickedColumn) {
    ZOLV z;
    const int32_t values[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    ASSERT_EQ(ZOLV_OK, z.setlist(values, 10));
    double out = 0;
    ASSERT_EQ(ZOLV_OK, z.sma('o', 2, &out));
    EXPECT_EQ(3.5, out);
    ASSERT_EQ(ZOLV_OK, z.sma('x', 2, &out));
    EXPECT_EQ(6.5, out);
    z.pos = 1;
    ASSERT_EQ(ZOLV_OK, z.ema('v', 1, &out));
    EXPECT_EQ(5.0, out);
    EXPECT_EQ(ZOLV_CALC_ERROR, z.sma('c', 2, &out));
    z.pos = -1;
    EXPECT_EQ(ZOLV_CALC_ERROR, z.stdev('c', 1, &out));
    EXPECT_EQ(ZOLV_CALC_ERROR, z.conv_sma('c', 1, 1, &out));
    EXPECT_EQ(ZOLV_CALC_ERROR, z.conv_ema('c', 1, 1, &out));
}

}  // namespace
