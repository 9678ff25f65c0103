// Whole-series results against the per-bar operations: every bar, every operation, to the bit.
#include "indicators/series.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "indicators/series_lines.h"
#include "sample_bars.h"
#include "series/csv.h"
#include "series/zolv.h"

namespace {

using zolv::SeriesOp;
using zolv::SeriesResult;
using zolv::SeriesShape;

uint64_t bits(double v) {
    uint64_t b = 0;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// One bar's answer of the per-bar operation with the cursor on it.
struct BarAnswer {
    int status = ZOLV_OK;
    std::vector<double> reals;
    std::vector<int64_t> integers;
};

BarAnswer at_cursor(const ZOLV& z, SeriesOp op, char type, const std::vector<int>& p) {
    BarAnswer a;
    double d = 0.0;
    std::vector<double> list;
    std::vector<int32_t> ints;
    bool scalar = true;
    switch (op) {
        case SeriesOp::kBollingerband:
            a.status = z.bollingerband(type, p[0], list);
            scalar = false;
            break;
        case SeriesOp::kCci:
            a.status = z.cci(p[0], &d);
            break;
        case SeriesOp::kConvEma:
            a.status = z.conv_ema(type, p[0], p[1], &d);
            break;
        case SeriesOp::kConvSma:
            a.status = z.conv_sma(type, p[0], p[1], &d);
            break;
        case SeriesOp::kDmi:
            a.status = z.dmi(p[0], p[1], list);
            scalar = false;
            break;
        case SeriesOp::kEma:
            a.status = z.ema(type, p[0], &d);
            break;
        case SeriesOp::kHlband:
            a.status = z.hlband(p[0], ints);
            if (a.status == ZOLV_OK) a.integers.assign(ints.begin(), ints.end());
            return a;
        case SeriesOp::kMacd:
            a.status = z.macd(p[0], p[1], p[2], list);
            scalar = false;
            break;
        case SeriesOp::kMfi:
            a.status = z.mfi(p[0], &d);
            break;
        case SeriesOp::kMomentum:
            a.status = z.momentum(type, p[0], &d);
            break;
        case SeriesOp::kPsychological:
            a.status = z.psychological(type, p[0], &d);
            break;
        case SeriesOp::kRci:
            a.status = z.rci(type, p[0], &d);
            break;
        case SeriesOp::kRoc:
            a.status = z.roc(p[0], &d);
            break;
        case SeriesOp::kRsi:
            a.status = z.rsi(p[0], &d);
            break;
        case SeriesOp::kSma:
            a.status = z.sma(type, p[0], &d);
            break;
        case SeriesOp::kStcD:
            a.status = z.stc_d(p[0], p[1], &d);
            break;
        case SeriesOp::kStcK:
            a.status = z.stc_k(p[0], &d);
            break;
        case SeriesOp::kStcSd:
            a.status = z.stc_sd(p[0], p[1], p[2], &d);
            break;
        case SeriesOp::kStdev:
            a.status = z.stdev(type, p[0], &d);
            break;
        case SeriesOp::kTr: {
            int64_t range = 0;
            a.status = z.tr(&range);
            if (a.status == ZOLV_OK) a.integers = {range};
            return a;
        }
        case SeriesOp::kUltimateOsi:
            a.status = z.ultimate_osi(p[0], &d);
            break;
        case SeriesOp::kVr1:
            a.status = z.vr1(p[0], &d);
            break;
        case SeriesOp::kVr2:
            a.status = z.vr2(p[0], &d);
            break;
        case SeriesOp::kWilliamsR:
            a.status = z.williams_r(p[0], &d);
            break;
        case SeriesOp::kWvr:
            a.status = z.wvr(p[0], &d);
            break;
    }
    if (a.status == ZOLV_OK) a.reals = scalar ? std::vector<double>{d} : list;
    return a;
}

std::string describe(SeriesOp op, char type, const std::vector<int>& p) {
    std::ostringstream s;
    s << zolv::kSeriesOpNames[static_cast<int>(op)] << " type '" << type << "' params";
    for (int v : p) s << ' ' << v;
    return s.str();
}

// Compares the series with the operation at `bars` (every bar when empty); counts the bars
// where the operation succeeds.
int expect_series_matches(const ZOLV& z, SeriesOp op, char type, const std::vector<int>& p,
                          std::vector<int64_t> bars = {}) {
    SCOPED_TRACE(describe(op, type, p));
    SeriesResult r;
    EXPECT_EQ(ZOLV_OK, zolv::series(z, op, type, p, &r));
    const int64_t count = static_cast<int64_t>(z.close.size());
    EXPECT_EQ(static_cast<size_t>(count), r.valid.size());
    if (bars.empty()) {
        for (int64_t k = 0; k < count; ++k) bars.push_back(k);
    }
    ZOLV probe = z;
    int successes = 0;
    for (int64_t k : bars) {
        probe.pos = static_cast<int32_t>(count - 1 - k);
        const BarAnswer a = at_cursor(probe, op, type, p);
        const size_t q = static_cast<size_t>(k);
        const size_t w = static_cast<size_t>(r.width);
        if (a.status != ZOLV_OK) {
            EXPECT_EQ(ZOLV_CALC_ERROR, a.status);
            EXPECT_EQ(0, r.valid[q]) << "bar " << k << " should fail";
            continue;
        }
        ++successes;
        const size_t answered = a.integers.empty() ? a.reals.size() : a.integers.size();
        if (!r.valid[q] || answered != w) {
            ADD_FAILURE() << "bar " << k << " should succeed with " << answered << " values";
            continue;
        }
        if (!a.integers.empty()) {
            for (size_t j = 0; j < w; ++j) {
                EXPECT_EQ(a.integers[j], r.integers[q * w + j]) << "bar " << k << " value " << j;
            }
        } else {
            for (size_t j = 0; j < w; ++j) {
                EXPECT_EQ(bits(a.reals[j]), bits(r.reals[q * w + j]))
                    << "bar " << k << " value " << j << ": " << a.reals[j] << " against "
                    << r.reals[q * w + j];
            }
        }
    }
    return successes;
}

// ---- Data -------------------------------------------------------------------------------------

ZOLV store_of(const std::vector<int32_t>& o, const std::vector<int32_t>& h,
              const std::vector<int32_t>& l, const std::vector<int32_t>& c,
              const std::vector<int32_t>& v) {
    ZOLV z;
    z.open = o;
    z.high = h;
    z.low = l;
    z.close = c;
    z.volume = v;
    z.pos = 0;
    return z;
}

// A random walk in small steps (many ties), with a stretch of identical bars and a stretch
// where every bar closes at its open.
ZOLV random_walk(int bars, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> step(-2, 2);
    std::uniform_int_distribution<int> reach(0, 3);
    std::uniform_int_distribution<int> volume(0, 1000);
    ZOLV z;
    int32_t close = 100;
    for (int k = 0; k < bars; ++k) {
        const bool flat = k >= bars / 3 && k < bars / 3 + 8;
        const bool doji = k >= 2 * bars / 3 && k < 2 * bars / 3 + 5;
        if (!flat) close += step(rng);
        const int32_t high = flat ? close : close + reach(rng);
        const int32_t low = flat ? close : close - reach(rng);
        z.open.push_back(flat || doji ? close : low + reach(rng));
        z.high.push_back(high);
        z.low.push_back(low);
        z.close.push_back(close);
        z.volume.push_back(flat ? 500 : volume(rng) / 5 * 5);
    }
    z.pos = 0;
    return z;
}

// Bars drawn from the extremes of the int range (high may lie below low), volumes near 2^31.
ZOLV extremes(int bars, uint32_t seed) {
    const int32_t prices[] = {INT32_MIN, INT32_MIN + 1, -1, 0, 1, INT32_MAX - 1, INT32_MAX};
    const int32_t volumes[] = {INT32_MAX, INT32_MAX - 1, 1 << 30, 0, INT32_MIN};
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> price(0, 6);
    std::uniform_int_distribution<int> volume(0, 4);
    ZOLV z;
    for (int k = 0; k < bars; ++k) {
        z.open.push_back(prices[price(rng)]);
        z.high.push_back(prices[price(rng)]);
        z.low.push_back(prices[price(rng)]);
        z.close.push_back(prices[price(rng)]);
        z.volume.push_back(volumes[volume(rng)]);
    }
    z.pos = 0;
    return z;
}

// ---- Operations and their parameters ----------------------------------------------------------

struct OpCase {
    SeriesOp op;
    int params;
    bool typed;
};

const OpCase kAllOps[] = {
    {SeriesOp::kBollingerband, 1, true}, {SeriesOp::kCci, 1, false},
    {SeriesOp::kConvEma, 2, true},       {SeriesOp::kConvSma, 2, true},
    {SeriesOp::kDmi, 2, false},          {SeriesOp::kEma, 1, true},
    {SeriesOp::kHlband, 1, false},       {SeriesOp::kMacd, 3, false},
    {SeriesOp::kMfi, 1, false},          {SeriesOp::kMomentum, 1, true},
    {SeriesOp::kPsychological, 1, true}, {SeriesOp::kRci, 1, true},
    {SeriesOp::kRoc, 1, false},          {SeriesOp::kRsi, 1, false},
    {SeriesOp::kSma, 1, true},           {SeriesOp::kStcD, 2, false},
    {SeriesOp::kStcK, 1, false},         {SeriesOp::kStcSd, 3, false},
    {SeriesOp::kStdev, 1, true},         {SeriesOp::kTr, 0, false},
    {SeriesOp::kUltimateOsi, 1, false},  {SeriesOp::kVr1, 1, false},
    {SeriesOp::kVr2, 1, false},          {SeriesOp::kWilliamsR, 1, false},
    {SeriesOp::kWvr, 1, false},
};

// Every combination of `count` values drawn from `values`.
std::vector<std::vector<int>> combinations(const std::vector<int>& values, int count) {
    std::vector<std::vector<int>> out{{}};
    for (int k = 0; k < count; ++k) {
        std::vector<std::vector<int>> longer;
        for (const auto& prefix : out) {
            for (int v : values) {
                longer.push_back(prefix);
                longer.back().push_back(v);
            }
        }
        out = longer;
    }
    return out;
}

// Window lengths around every boundary of a series of n bars, including ones that fail at
// every bar (negative, 0, longer than the series, the int extremes).
std::vector<int> lengths_for(int n, int params) {
    if (params == 3) return {INT_MIN, -1, 0, 1, 2, 3, n - 2, n, INT_MAX};
    if (params == 2) return {INT_MIN, -1, 0, 1, 2, 3, 7, n - 3, n - 2, n - 1, n, INT_MAX};
    return {INT_MIN, -1, 0, 1, 2, 3, 7, 13, n - 2, n - 1, n, n + 1, INT_MAX};
}

// Runs every operation over every parameter combination; returns how many bars succeeded, so
// that a caller can tell the comparison was not empty.
int check_all_operations(const ZOLV& z, const char* types) {
    const int n = static_cast<int>(z.close.size());
    int successes = 0;
    for (const OpCase& c : kAllOps) {
        const std::string letters = c.typed ? types : "c";
        for (char type : letters) {
            for (const auto& p : combinations(lengths_for(n, c.params), c.params)) {
                successes += expect_series_matches(z, c.op, type, p);
            }
        }
    }
    return successes;
}

// ---- Tests --------------------------------------------------------------------------------------

TEST(SeriesTest, RandomWalkWithTiesAndFlatStretches) {
    const ZOLV z = random_walk(48, 20240517);
    EXPECT_GT(check_all_operations(z, "cohlvx"), 0);
}

TEST(SeriesTest, SecondRandomWalk) {
    const ZOLV z = random_walk(31, 7);
    EXPECT_GT(check_all_operations(z, "cv"), 0);
}

TEST(SeriesTest, ExtremeValuesOfTheIntRange) {
    const ZOLV z = extremes(40, 99);
    EXPECT_GT(check_all_operations(z, "chlv"), 0);
}

TEST(SeriesTest, SampleDailyBars) {
    const ZOLV z = sample_bars();
    ASSERT_EQ(249u, z.close.size());
    const int n = 249;
    const std::vector<int> lengths = {0, 1, 2, 5, 9, 14, 26, n - 1, n, n + 1};
    int successes = 0;
    for (const OpCase& c : kAllOps) {
        std::vector<std::vector<int>> sets;
        if (c.params == 3) {
            sets = {{12, 26, 9},    {26, 12, 9},    {5, 5, 1},  {1, 2, 3}, {3, 3, 3},   {1, 1, 1},
                    {100, 100, 51}, {100, 100, 50}, {14, 3, 3}, {0, 3, 3}, {200, 2, 48}};
        } else {
            sets = combinations(lengths, c.params);
        }
        for (char type : std::string(c.typed ? "chv" : "c")) {
            for (const auto& p : sets) successes += expect_series_matches(z, c.op, type, p);
        }
    }
    EXPECT_GT(successes, 0);
}

TEST(SeriesTest, ColumnsOfDifferentLengths) {
    // Each of open, high, low and volume one bar shorter, then one bar longer, than close.
    const ZOLV base = random_walk(30, 3);
    Column ZOLV::*const members[] = {&ZOLV::open, &ZOLV::high, &ZOLV::low, &ZOLV::volume};
    for (Column ZOLV::*member : members) {
        for (int change : {-1, 1}) {
            ZOLV z = base;
            if (change < 0) {
                (z.*member).pop_back();
            } else {
                (z.*member).push_back(101);
            }
            for (const OpCase& c : kAllOps) {
                for (char type : std::string(c.typed ? "cohlv" : "c")) {
                    for (const auto& p : combinations({1, 2, 3, 28, 29, 30}, c.params)) {
                        expect_series_matches(z, c.op, type, p);
                    }
                }
            }
        }
    }
}

TEST(SeriesTest, EmptyAndSingleBarStores) {
    ZOLV empty;
    SeriesResult r;
    r.valid = {1, 1};
    ASSERT_EQ(ZOLV_OK, zolv::series(empty, SeriesOp::kEma, 'c', {1}, &r));
    EXPECT_TRUE(r.valid.empty());
    EXPECT_TRUE(r.reals.empty());

    const ZOLV one = store_of({5}, {7}, {3}, {6}, {10});
    for (const OpCase& c : kAllOps) {
        for (const auto& p : combinations({0, 1, 2}, c.params)) {
            expect_series_matches(one, c.op, 'c', p);
        }
    }
    ASSERT_EQ(ZOLV_OK, zolv::series(one, SeriesOp::kSma, 'c', {1}, &r));
    ASSERT_EQ(1u, r.valid.size());
    EXPECT_EQ(6.0, r.reals[0]);
}

TEST(SeriesTest, ShapesFollowTheOperation) {
    const ZOLV z = random_walk(20, 1);
    SeriesResult r;
    ASSERT_EQ(ZOLV_OK, zolv::series(z, SeriesOp::kBollingerband, 'c', {3}, &r));
    EXPECT_EQ(SeriesShape::kRealList, r.shape);
    EXPECT_EQ(6, r.width);
    EXPECT_EQ(120u, r.reals.size());
    ASSERT_EQ(ZOLV_OK, zolv::series(z, SeriesOp::kHlband, 'c', {3}, &r));
    EXPECT_EQ(SeriesShape::kIntegerList, r.shape);
    EXPECT_EQ(3, r.width);
    EXPECT_EQ(60u, r.integers.size());
    ASSERT_EQ(ZOLV_OK, zolv::series(z, SeriesOp::kTr, 'c', {}, &r));
    EXPECT_EQ(SeriesShape::kInteger, r.shape);
    // The oldest bar has no previous close; every other bar has a true range.
    EXPECT_EQ(0, r.valid[0]);
    EXPECT_EQ(19, std::count(r.valid.begin(), r.valid.end(), 1));
}

TEST(SeriesTest, WrongParameterCountChangesNothing) {
    const ZOLV z = random_walk(10, 1);
    SeriesResult r;
    r.valid = {7};
    EXPECT_EQ(ZOLV_UNKNOWN_ERROR, zolv::series(z, SeriesOp::kEma, 'c', {}, &r));
    EXPECT_EQ(ZOLV_UNKNOWN_ERROR, zolv::series(z, SeriesOp::kMacd, 'c', {1, 2}, &r));
    EXPECT_EQ(ZOLV_UNKNOWN_ERROR, zolv::series(z, SeriesOp::kTr, 'c', {1}, &r));
    EXPECT_EQ(ZOLV_UNKNOWN_ERROR, zolv::series(z, static_cast<SeriesOp>(25), 'c', {1}, &r));
    EXPECT_EQ(std::vector<uint8_t>{7}, r.valid);
}

TEST(SeriesTest, NamesAreSortedAndFound) {
    const std::vector<std::string> names(zolv::kSeriesOpNames,
                                         zolv::kSeriesOpNames + zolv::kSeriesOpCount);
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    EXPECT_EQ(nullptr, zolv::kSeriesOpNames[zolv::kSeriesOpCount]);
    for (int k = 0; k < zolv::kSeriesOpCount; ++k) {
        SeriesOp op = SeriesOp::kCci;
        ASSERT_TRUE(zolv::find_series_op(names[static_cast<size_t>(k)], &op));
        EXPECT_EQ(k, static_cast<int>(op));
    }
    SeriesOp op = SeriesOp::kCci;
    EXPECT_FALSE(zolv::find_series_op("EMA", &op));
    EXPECT_FALSE(zolv::find_series_op("em", &op));
}

TEST(SeriesTest, ForwardAveragesStayExactOverALongSeries) {
    // The one-pass averages carry their value across thousands of steps; sampled bars
    // (the seed, its neighbours and the far end) must still equal the per-bar derivation.
    const ZOLV z = random_walk(20000, 11);
    const std::vector<int64_t> bars = {0, 24, 25, 26, 1000, 9999, 19998, 19999};
    expect_series_matches(z, SeriesOp::kEma, 'c', {26}, bars);
    expect_series_matches(z, SeriesOp::kConvEma, 'h', {12, 26}, bars);
    expect_series_matches(z, SeriesOp::kMacd, 'c', {12, 26, 9}, bars);
    expect_series_matches(z, SeriesOp::kSma, 'v', {200}, bars);
    expect_series_matches(z, SeriesOp::kStcSd, 'c', {14, 3, 3}, bars);
    expect_series_matches(z, SeriesOp::kDmi, 'c', {14, 14}, bars);
}

TEST(SeriesTest, WindowSumsBeyondTheExactRangeOfADouble) {
    // More than 2^21 terms of nearly 2^32 each: the per-bar double sums round, so the whole
    // series must reproduce their rounding rather than use exact integer sums.
    const int n = (1 << 21) + 16;
    ZOLV z;
    for (int k = 0; k < n; ++k) {
        z.open.push_back(0);
        z.high.push_back(INT32_MAX);
        z.low.push_back(INT32_MIN);
        z.close.push_back(k % 3 == 0 ? INT32_MAX : (k % 3 == 1 ? INT32_MIN + 1 : 12345));
        z.volume.push_back(1);
    }
    const std::vector<int64_t> last = {n - 3, n - 2, n - 1};
    EXPECT_EQ(2, expect_series_matches(z, SeriesOp::kStcD, 'c', {1, n - 1}, last));
    EXPECT_EQ(1, expect_series_matches(z, SeriesOp::kStcSd, 'c', {1, n - 2, 3}, last));
    EXPECT_EQ(3, expect_series_matches(z, SeriesOp::kUltimateOsi, 'c', {(1 << 19) + 3}, last));
}

}  // namespace

// A result reused across calls keeps nothing of the earlier call: the bars where the
// operation fails hold zeros, also for the operations that fill their result in place.
TEST(SeriesTest, ReusedResultHoldsOnlyTheNewValues) {
    const ZOLV z = random_walk(300, 11);
    SeriesResult r;
    struct Call {
        SeriesOp op;
        std::vector<int> p;
    };
    const Call calls[] = {
        {SeriesOp::kMacd, {3, 4, 2}}, {SeriesOp::kEma, {250}}, {SeriesOp::kMacd, {40, 60, 30}},
        {SeriesOp::kSma, {299}},      {SeriesOp::kEma, {301}}, {SeriesOp::kMacd, {0, 3, 3}},
        {SeriesOp::kSma, {2}}};
    for (const Call& call : calls) {
        SCOPED_TRACE(describe(call.op, 'c', call.p));
        ASSERT_EQ(ZOLV_OK, zolv::series(z, call.op, 'c', call.p, &r));
        const size_t w = static_cast<size_t>(r.width);
        ASSERT_EQ(300 * w, r.reals.size());
        for (size_t k = 0; k < 300; ++k) {
            if (r.valid[k]) continue;
            for (size_t j = 0; j < w; ++j) EXPECT_EQ(0.0, r.reals[k * w + j]) << "bar " << k;
        }
        SeriesResult fresh;
        ASSERT_EQ(ZOLV_OK, zolv::series(z, call.op, 'c', call.p, &fresh));
        EXPECT_EQ(fresh.valid, r.valid);
        for (size_t q = 0; q < r.reals.size(); ++q)
            EXPECT_EQ(bits(fresh.reals[q]), bits(r.reals[q]));
    }
}

namespace {

// Restores the lanes, threads and chunk size of the engine when a test is done with them.
class EngineSettings {
public:
    EngineSettings() : lanes_(zolv::series_lanes()), threads_(zolv::series_threads()) {}
    ~EngineSettings() {
        zolv::set_series_lanes(lanes_);
        zolv::set_series_threads(threads_);
        zolv::set_series_chunk_work(kChunkWork);
    }
    EngineSettings(const EngineSettings&) = delete;
    EngineSettings& operator=(const EngineSettings&) = delete;
    static constexpr int64_t kChunkWork = int64_t{1} << 17;

private:
    zolv::SeriesLanes lanes_;
    int threads_;
};

struct PathCase {
    SeriesOp op;
    char type;
    std::vector<int> params;
};

// Every calculation with lanes, a running state or a block of its own, with windows shorter and
// longer than a step of lanes (32 bars) and a block boundary (2048 bars) inside the series.
const PathCase kPathCases[] = {
    {SeriesOp::kStdev, 'c', {20}},
    {SeriesOp::kStdev, 'v', {45}},
    {SeriesOp::kStdev, 'c', {1}},
    {SeriesOp::kBollingerband, 'h', {37}},
    {SeriesOp::kCci, 'c', {14}},
    {SeriesOp::kCci, 'c', {33}},
    {SeriesOp::kMfi, 'c', {14}},
    {SeriesOp::kMfi, 'c', {40}},
    {SeriesOp::kRci, 'c', {9}},
    {SeriesOp::kRci, 'o', {41}},
    {SeriesOp::kRci, 'c', {1}},
    {SeriesOp::kMacd, 'c', {12, 26, 9}},
    {SeriesOp::kMacd, 'c', {3, 2, 35}},
    {SeriesOp::kMacd, 'c', {1, 1, 1}},
    {SeriesOp::kDmi, 'c', {14, 14}},
    {SeriesOp::kDmi, 'c', {3, 40}},
    {SeriesOp::kStcSd, 'c', {14, 3, 3}},
    {SeriesOp::kStcSd, 'c', {5, 4, 36}},
    {SeriesOp::kStcD, 'c', {14, 3}},
    {SeriesOp::kStcK, 'c', {14}},
    {SeriesOp::kWilliamsR, 'c', {40}},
    {SeriesOp::kHlband, 'c', {14}},
    {SeriesOp::kUltimateOsi, 'c', {7}},
    {SeriesOp::kMomentum, 'l', {10}},
    {SeriesOp::kRoc, 'c', {3}},
    {SeriesOp::kTr, 'c', {}},
    {SeriesOp::kPsychological, 'c', {12}},
    {SeriesOp::kRsi, 'c', {14}},
    {SeriesOp::kSma, 'c', {20}},
    {SeriesOp::kEma, 'c', {20}},
    {SeriesOp::kConvSma, 'c', {5, 25}},
    {SeriesOp::kConvEma, 'c', {12, 26}},
    {SeriesOp::kVr1, 'c', {25}},
    {SeriesOp::kVr2, 'c', {25}},
    {SeriesOp::kWvr, 'c', {25}},
};

// Each lane set this CPU has, the portable one included, with the bars of one call on one
// thread and split over three: every bar against the per-bar operation.
TEST(SeriesPathsTest, EveryLaneSetAndThreadSplitMatchesThePerBarOperation) {
    EngineSettings restore;
    zolv::set_series_chunk_work(1);  // split even short series
    const ZOLV walk = random_walk(2200, 5);
    const ZOLV wild = extremes(300, 17);
    int sets = 0;
    for (zolv::SeriesLanes lanes :
         {zolv::SeriesLanes::kScalar, zolv::SeriesLanes::kAvx2, zolv::SeriesLanes::kAvx512}) {
        if (!zolv::set_series_lanes(lanes)) continue;
        ++sets;
        for (int threads : {1, 3}) {
            ASSERT_TRUE(zolv::set_series_threads(threads));
            SCOPED_TRACE(::testing::Message()
                         << "lanes " << static_cast<int>(lanes) << ", " << threads << " threads");
            for (const PathCase& c : kPathCases) {
                EXPECT_GT(expect_series_matches(walk, c.op, c.type, c.params), 0);
                expect_series_matches(wild, c.op, c.type, c.params);
            }
        }
    }
    EXPECT_GE(sets, 1);
}

// Results of several megabytes go past the caches; the rows of the wide results and the ring
// that feeds the macd rows on a second thread must still hold every value.
TEST(SeriesPathsTest, LargeResultsMatchThePerBarOperation) {
    EngineSettings restore;
    const int n = 550000;
    const ZOLV z = random_walk(n, 23);
    // Both ends of the series and a bar every so often; macd's per-bar calculation walks from
    // the oldest bar, so it is asked at fewer of them.
    std::vector<int64_t> bars;
    std::vector<int64_t> few;
    for (int64_t k = 0; k < n; k += k < 3000 || k > n - 3000 ? 1 : 4999) bars.push_back(k);
    for (int64_t k = 0; k < n; k += k < 3000 ? 1 : 54999) few.push_back(k);
    few.push_back(n - 1);
    for (int threads : {1, 2}) {
        ASSERT_TRUE(zolv::set_series_threads(threads));
        EXPECT_GT(expect_series_matches(z, SeriesOp::kBollingerband, 'c', {5}, bars), 0);
        EXPECT_GT(expect_series_matches(z, SeriesOp::kDmi, 'c', {3, 2}, bars), 0);
        EXPECT_GT(expect_series_matches(z, SeriesOp::kMacd, 'c', {3, 5, 2}, few), 0);
    }
}

TEST(SeriesPathsTest, SettingsRefuseWhatCannotRun) {
    EngineSettings restore;
    EXPECT_TRUE(zolv::set_series_lanes(zolv::SeriesLanes::kScalar));
    EXPECT_EQ(zolv::SeriesLanes::kScalar, zolv::series_lanes());
    EXPECT_FALSE(zolv::set_series_threads(0));
    EXPECT_FALSE(zolv::set_series_threads(-4));
    EXPECT_TRUE(zolv::set_series_threads(5));
    EXPECT_EQ(5, zolv::series_threads());
}

}  // namespace
