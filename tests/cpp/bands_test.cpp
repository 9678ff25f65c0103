// Bollinger band, high/low band and MACD: worked examples, boundaries, and MACD against a
// literal evaluation through ema at every bar.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "series/zolv.h"

namespace {

std::vector<double> bands(int t, const Column& c, int i) {
    std::vector<double> v(6, -1.0);
    EXPECT_FALSE(ZOLV_CALC{}.bollingerband(t, c, i, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]));
    return v;
}

bool bands_fail(int t, const Column& c, int i) {
    double v = 0.0;
    return ZOLV_CALC{}.bollingerband(t, c, i, &v, &v, &v, &v, &v, &v);
}

TEST(BollingerBand, WorkedExamples) {
    // Mean 2, standard deviation 1: upper before lower, innermost pair first.
    EXPECT_EQ((std::vector<double>{3.0, 1.0, 4.0, 0.0, 5.0, -1.0}), bands(3, {1, 2, 3}, 2));
    EXPECT_EQ((std::vector<double>{3.0, 1.0, 4.0, 0.0, 5.0, -1.0}), bands(3, {9, 1, 2, 3, 9}, 3));
    EXPECT_EQ(std::vector<double>(6, 7.0), bands(4, {7, 7, 7, 7}, 3));
    EXPECT_EQ(std::vector<double>(6, INT32_MAX), bands(2, {INT32_MAX, INT32_MAX}, 1));
    EXPECT_EQ(std::vector<double>(6, INT32_MIN), bands(3, {INT32_MIN, INT32_MIN, INT32_MIN}, 2));
}

TEST(BollingerBand, SingleBarWindowIsNaN) {
    for (double v : bands(1, {4, 5}, 1)) EXPECT_TRUE(std::isnan(v));
}

TEST(BollingerBand, WindowBoundaries) {
    const Column c{1, 5, 2, 8};  // N = 4
    EXPECT_FALSE(bands_fail(4, c, 3));
    EXPECT_TRUE(bands_fail(4, c, 2));
    EXPECT_TRUE(bands_fail(1, {}, 0));
    const std::vector<int> values{INT_MIN, -1, 0, 1, 2, 3, 4, 5, INT_MAX};
    for (int t : values) {
        for (int i : values) {
            const bool ok = t >= 1 && i <= 3 && int64_t{i} - t + 1 >= 0;
            EXPECT_EQ(!ok, bands_fail(t, c, i)) << t << " " << i;
        }
    }
}

struct Band {
    int32_t highest = -9, lowest = -9, middle = -9;
};

bool run_hlband(int t, const Column& h, const Column& l, int i, Band* b) {
    return ZOLV_CALC{}.hlband(t, h, l, i, &b->highest, &b->lowest, &b->middle);
}

TEST(HlBand, OneBarWindowIsTheBarBefore) {
    const Column h{10, 20, 99}, l{5, 13, -99};  // the cursor bar's extremes do not count
    Band b;
    ASSERT_FALSE(run_hlband(1, h, l, 2, &b));
    EXPECT_EQ(20, b.highest);
    EXPECT_EQ(13, b.lowest);
    EXPECT_EQ(16, b.middle);
    EXPECT_TRUE(run_hlband(1, h, l, 0, &b));  // the oldest bar has none before it
    ASSERT_FALSE(run_hlband(2, h, l, 2, &b));
    EXPECT_EQ(20, b.highest);
    EXPECT_EQ(5, b.lowest);
    EXPECT_EQ(12, b.middle);
}

TEST(HlBand, MidpointTruncatesTowardZero) {
    Band b;
    ASSERT_FALSE(run_hlband(1, {-1, 0}, {-2, 0}, 1, &b));
    EXPECT_EQ(-1, b.middle);
    ASSERT_FALSE(run_hlband(1, {3, 0}, {0, 0}, 1, &b));
    EXPECT_EQ(1, b.middle);
}

TEST(HlBand, MidpointAtTheInt32Limits) {
    Band b;
    ASSERT_FALSE(run_hlband(2, {INT32_MAX, 0, 0}, {INT32_MAX, INT32_MAX, 0}, 2, &b));
    EXPECT_EQ(INT32_MAX, b.highest);
    EXPECT_EQ(INT32_MAX, b.middle);
    ASSERT_FALSE(run_hlband(1, {INT32_MIN, 0}, {INT32_MIN, 0}, 1, &b));
    EXPECT_EQ(INT32_MIN, b.middle);
    ASSERT_FALSE(run_hlband(1, {INT32_MAX, 0}, {INT32_MIN, 0}, 1, &b));
    EXPECT_EQ(0, b.middle);  // -1 / 2
}

TEST(HlBand, NeedsTPlusOneBars) {
    const Column h{4, 6, 5, 7}, l{1, 2, 3, 1};  // N = 4
    Band b;
    EXPECT_FALSE(run_hlband(3, h, l, 3, &b));
    EXPECT_TRUE(run_hlband(3, h, l, 2, &b));  // exactly t bars at or before the index
    EXPECT_TRUE(run_hlband(4, h, l, 3, &b));
    const std::vector<int> values{INT_MIN, -1, 0, 1, 2, 3, 4, 5, INT_MAX};
    for (int t : values) {
        for (int i : values) {
            const bool ok = t >= 1 && i <= 3 && int64_t{i} - t >= 0;
            EXPECT_EQ(!ok, run_hlband(t, h, l, i, &b)) << t << " " << i;
        }
    }
    b = Band{};
    EXPECT_TRUE(run_hlband(1, h, {1, 2, 3}, 3, &b));  // high and low differ in size
    EXPECT_TRUE(run_hlband(1, {}, {}, 0, &b));
    EXPECT_EQ(-9, b.highest);  // nothing written on failure
}

struct MacdResult {
    double line = -1.0, signal = -1.0;
};

bool run_macd(int t1, int t2, int sig, const Column& c, int i, MacdResult* r) {
    return ZOLV_CALC{}.macd(t1, t2, sig, c, i, &r->line, &r->signal);
}

// MACD by its definition: both averages through ema at each of the sig bars, newest first.
bool literal_macd(int t1, int t2, int sig, const Column& c, int i, MacdResult* r) {
    if (t1 <= 0 || t2 <= 0 || sig <= 0 || c.empty()) return true;
    if (i < 0 || i >= static_cast<int64_t>(c.size())) return true;
    if (int64_t{i} - std::max(t1, t2) - sig + 2 < 0) return true;
    double sum = 0.0;
    for (int k = i; k > i - sig; --k) {
        double e1 = 0.0, e2 = 0.0;
        if (ZOLV_CALC{}.ema(t1, c, k, &e1) || ZOLV_CALC{}.ema(t2, c, k, &e2)) return true;
        if (k == i) r->line = e1 - e2;
        sum = (e1 - e2) + sum;
    }
    r->signal = sum / sig;
    return false;
}

TEST(Macd, EqualWindowsGiveZero) {
    MacdResult r;
    ASSERT_FALSE(run_macd(3, 3, 2, {5, 9, 2, 7, 1}, 4, &r));
    EXPECT_EQ(0.0, r.line);
    EXPECT_EQ(0.0, r.signal);
}

TEST(Macd, HandWorkedValue) {
    // ema(1) is the close itself, 8; ema(2) is seeded with (2 + 4) / 2 = 3 at bar 1 and moves
    // to 3 + (2/3) * (8 - 3) at bar 2. With sig 1 the signal equals the line.
    MacdResult r;
    ASSERT_FALSE(run_macd(1, 2, 1, {2, 4, 8}, 2, &r));
    EXPECT_EQ(8.0 - (3.0 + 2.0 / 3.0 * 5.0), r.line);
    EXPECT_EQ(r.line, r.signal);
    // sig 2: the line at bar 1 is 4 - 3 = 1.
    ASSERT_FALSE(run_macd(1, 2, 2, {2, 4, 8}, 2, &r));
    EXPECT_EQ((1.0 + (8.0 - (3.0 + 2.0 / 3.0 * 5.0))) / 2, r.signal);
}

TEST(Macd, NeedsLongerWindowPlusSignalMinusOneBars) {
    const Column c{3, 1, 4, 1, 5, 9, 2, 6};
    MacdResult r;
    // max(3, 5) + 2 - 1 = 6 bars at or before the index: index 5 passes, index 4 fails.
    EXPECT_FALSE(run_macd(3, 5, 2, c, 5, &r));
    EXPECT_TRUE(run_macd(3, 5, 2, c, 4, &r));
    EXPECT_FALSE(run_macd(5, 3, 2, c, 5, &r));
    EXPECT_TRUE(run_macd(5, 3, 2, c, 4, &r));
    const std::vector<int> values{INT_MIN, -1, 0, 1, 2, 3, 7, 8, 9, INT_MAX};
    for (int t1 : values) {
        for (int t2 : {1, 3, 8, INT_MAX}) {
            for (int sig : values) {
                for (int i : values) {
                    const bool ok = t1 >= 1 && sig >= 1 && i <= 7 &&
                                    int64_t{i} - std::max(t1, t2) - sig + 2 >= 0;
                    EXPECT_EQ(!ok, run_macd(t1, t2, sig, c, i, &r))
                        << t1 << " " << t2 << " " << sig << " " << i;
                    EXPECT_EQ(!ok, run_macd(t2, t1, sig, c, i, &r));
                }
            }
        }
    }
    EXPECT_TRUE(run_macd(1, 1, 1, {}, 0, &r));
}

TEST(Macd, MatchesLiteralDefinitionBitForBit) {
    std::mt19937 gen(7);
    auto draw = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen); };
    int successes = 0;
    for (int round = 0; round < 8000; ++round) {
        const int size = draw(1, 60);
        const bool huge = round % 3 == 0;
        std::uniform_int_distribution<int32_t> value(huge ? INT32_MIN : -1000,
                                                     huge ? INT32_MAX : 1000);
        Column c;
        for (int k = 0; k < size; ++k) c.push_back(value(gen));
        int t1 = draw(1, size), t2 = draw(1, size), sig = 0, i = 0;
        if (round % 4 != 0) {  // mostly parameters that fit, or miss by one bar
            sig = draw(1, size - std::max(t1, t2) + 1);
            i = draw(std::max(t1, t2) + sig - 3, size - 1);
        } else {
            t1 = draw(1, size + 1);
            sig = draw(1, size + 1);
            i = draw(-1, size);
        }
        MacdResult got, want;
        const bool got_fails = run_macd(t1, t2, sig, c, i, &got);
        ASSERT_EQ(literal_macd(t1, t2, sig, c, i, &want), got_fails)
            << t1 << " " << t2 << " " << sig << " " << i << " of " << size;
        if (got_fails) continue;
        ++successes;
        EXPECT_EQ(want.line, got.line) << "round " << round;
        EXPECT_EQ(want.signal, got.signal) << "round " << round;
    }
    EXPECT_GT(successes, 4000);
}

TEST(BandOperations, ReleaseAndRefillOnlyOnSuccess) {
    ZOLV z;
    z.open = {0, 0, 0};
    z.high = {1, 2, 3};
    z.low = {-5, -6, -7};
    z.close = {9, 9, 9};
    z.volume = {0, 0, 0};
    z.pos = 0;

    std::vector<double> out{42.0};
    EXPECT_EQ(ZOLV_CALC_ERROR, z.bollingerband('h', 4, out));
    EXPECT_EQ(std::vector<double>{42.0}, out);
    ASSERT_EQ(ZOLV_OK, z.bollingerband('h', 3, out));
    EXPECT_EQ((std::vector<double>{3.0, 1.0, 4.0, 0.0, 5.0, -1.0}), out);
    ASSERT_EQ(ZOLV_OK, z.bollingerband('x', 3, out));  // any other letter reads the close
    EXPECT_EQ(std::vector<double>(6, 9.0), out);

    std::vector<int32_t> ints{1, 2, 3, 4};
    EXPECT_EQ(ZOLV_CALC_ERROR, z.hlband(3, ints));
    EXPECT_EQ((std::vector<int32_t>{1, 2, 3, 4}), ints);
    ASSERT_EQ(ZOLV_OK, z.hlband(2, ints));
    EXPECT_EQ((std::vector<int32_t>{2, -6, -2}), ints);

    out = {1.0, 2.0, 3.0};
    EXPECT_EQ(ZOLV_CALC_ERROR, z.macd(2, 2, 3, out));
    EXPECT_EQ((std::vector<double>{1.0, 2.0, 3.0}), out);
    ASSERT_EQ(ZOLV_OK, z.macd(2, 2, 2, out));
    EXPECT_EQ((std::vector<double>{0.0, 0.0}), out);

    z.pos = -1;
    EXPECT_EQ(ZOLV_CALC_ERROR, z.macd(1, 1, 1, out));
    EXPECT_EQ(ZOLV_CALC_ERROR, z.hlband(1, ints));
    EXPECT_EQ(ZOLV_CALC_ERROR, z.bollingerband('c', 1, out));
}

}  // namespace
