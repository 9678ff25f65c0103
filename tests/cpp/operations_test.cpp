// Every operation of the table in its three forms, to the bit: the value at each bar with the
// cursor walked over every bar, the whole line, and the newest value after each push_back of a
// stream. A new operation is covered by a row of kForms.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "indicators/operation.h"
#include "indicators/series_lines.h"
#include "sample_bars.h"
#include "series/csv.h"
#include "series/zolv.h"

namespace {

using zolv::OpArgs;
using zolv::Operation;
using zolv::OpValue;
using zolv::SeriesResult;

// ---- The cases ------------------------------------------------------------------------------

// An operation and its words, as a script writes them after the operation's name.
struct Form {
    const char* op;
    const char* words;
};

// At least one row per operation of the table (checked): windows that fit, windows at the
// edges (1, 2, longer than the bars), and arguments out of range.
const Form kForms[] = {
    {"ad", ""},
    {"adosc", "3 10"},
    {"adosc", "10 3"},
    {"adosc", "1 10"},
    {"adx", "2"},
    {"adx", "14"},
    {"adx", "1"},
    {"apo", "c 12 26"},
    {"apo", "o 26 12"},
    {"apo", "c 2 2"},
    {"apo", "c 1 26"},
    {"aroon", "2"},
    {"aroon", "14"},
    {"aroon", "400"},
    {"aroon", "1"},
    {"atr", "1"},
    {"atr", "14"},
    {"avwap", "0"},
    {"avwap", "37"},
    {"avwap", "-1"},
    {"avwap", "2147483647"},
    {"bbands", "c 2 2"},
    {"bbands", "c 20 2.5"},
    {"bbands", "v 7 -1"},
    {"bbands", "c 1 2"},
    {"bollingerband", "c 20"},
    {"cci", "14"},
    {"cmf", "1"},
    {"cmf", "20"},
    {"cmo", "c 1"},
    {"cmo", "c 14"},
    {"cmo", "v 9"},
    {"cmo", "c 0"},
    {"conv_ema", "c 12 26"},
    {"conv_sma", "c 5 25"},
    {"dema", "c 2"},
    {"dema", "h 10"},
    {"dema", "c 1"},
    {"dmi", "14 14"},
    {"donchian", "1"},
    {"donchian", "20"},
    {"donchian", "0"},
    {"ema", "h 20"},
    {"heikin_ashi", ""},
    {"hlband", "20"},
    {"kama", "c 10"},
    {"kama", "l 2"},
    {"kama", "c 1"},
    {"hma", "2"},
    {"hma", "3"},
    {"hma", "16"},
    {"hma", "20"},
    {"hma", "1"},
    {"ichimoku", "9 26 52"},
    {"ichimoku", "1 1 1"},
    {"ichimoku", "26 9 3"},
    {"ichimoku", "9 0 52"},
    {"keltner", "20 2 10"},
    {"keltner", "1 1.5 1"},
    {"keltner", "5 -2 30"},
    {"keltner", "20 2 0"},
    {"keltner", "20 inf 10"},
    {"linreg", "c 2"},
    {"linreg", "c 14"},
    {"linreg", "v 30"},
    {"linreg", "c 1"},
    {"linreg_intercept", "c 14"},
    {"linreg_intercept", "v 30"},
    {"linreg_slope", "c 2"},
    {"linreg_slope", "c 14"},
    {"linreg_slope", "v 30"},
    {"linreg_slope", "c 2147483647"},
    {"macd", "12 26 9"},
    {"macd_ema", "c 12 26 9"},
    {"macd_ema", "l 5 3 1"},
    {"macd_ema", "c 2 2 400"},
    {"macd_ema", "c 1 26 9"},
    {"mfi", "14"},
    {"midpoint", "c 2"},
    {"midpoint", "v 14"},
    {"midpoint", "c 1"},
    {"midprice", "2"},
    {"midprice", "14"},
    {"midprice", "0"},
    {"momentum", "c 10"},
    {"natr", "5"},
    {"natr", "0"},
    {"obv", ""},
    {"ppo", "c 12 26"},
    {"ppo", "l 26 3"},
    {"ppo", "c 5 1"},
    {"pivots", ""},
    {"psychological", "c 12"},
    {"rci", "c 9"},
    {"roc", "10"},
    {"rsi", "14"},
    {"rsi_wilder", "c 14"},
    {"rsi_wilder", "o 2"},
    {"rsi_wilder", "c 1"},
    {"rsi_wilder", "c 2147483647"},
    {"sar", "0.02 0.2"},
    {"sar", "0.5 0.1"},
    {"sar", "0 0"},
    {"sar", "-0.02 0.2"},
    {"sma", "c 20"},
    {"stc_d", "14 3"},
    {"stc_k", "14"},
    {"stc_sd", "14 3 3"},
    {"stdev", "c 20"},
    {"stochrsi", "c 14 14 3 3"},
    {"stochrsi", "o 5 3 1 2"},
    {"stochrsi", "c 2 1 1 1"},
    {"stochrsi", "c 14 2147483647 1 1"},
    {"stochrsi", "c 1 14 3 3"},
    {"t3", "c 5 0.7"},
    {"t3", "c 2 0"},
    {"t3", "h 3 1"},
    {"t3", "c 5 1.5"},
    {"tema", "c 2"},
    {"tema", "l 7"},
    {"tema", "c 1"},
    {"tr", ""},
    {"trix", "c 1"},
    {"trix", "c 15"},
    {"trix", "c 0"},
    {"supertrend", "10 3"},
    {"supertrend", "1 0"},
    {"supertrend", "7 -1.5"},
    {"supertrend", "0 3"},
    {"trima", "c 2"},
    {"trima", "c 3"},
    {"trima", "c 14"},
    {"trima", "c 15"},
    {"trima", "v 30"},
    {"trima", "c 1"},
    {"tsf", "c 2"},
    {"tsf", "c 14"},
    {"tsf", "v 30"},
    {"ultimate_osi", "7"},
    {"vr1", "25"},
    {"vr2", "25"},
    {"vwap", "1"},
    {"vwap", "14"},
    {"vwap", "0"},
    {"vwma", "1"},
    {"vwma", "20"},
    {"williams_r", "14"},
    {"wma", "c 2"},
    {"wma", "c 14"},
    {"wma", "v 30"},
    {"wma", "c 1"},
    {"wma", "c 2147483647"},
    {"wvr", "25"},
};

// The words of a form converted by the operation's kinds.
OpArgs args_of(const Operation& op, const char* words) {
    std::istringstream in(words);
    OpArgs a;
    int ints = 0;
    int reals = 0;
    for (const char* kind = op.kinds; *kind; ++kind) {
        std::string word;
        in >> word;
        if (*kind == 'c') a.column = word[0];
        if (*kind == 'i') a.ints[ints++] = static_cast<int32_t>(std::stol(word));
        if (*kind == 'd') a.reals[reals++] = std::stod(word);
    }
    return a;
}

// ---- Bars -----------------------------------------------------------------------------------

void add(ZOLV& z, int32_t o, int32_t h, int32_t l, int32_t c, int32_t v) {
    const int32_t bar[] = {o, h, l, c, v};
    z.push_back(bar, 5);
}

// Flat for its first 30 bars (a zero range, no change: the zero denominators), then a random
// walk in small steps with ties, a flat stretch, gaps, a close of 0 and volumes near 2^31.
ZOLV random_walk(int bars, uint32_t seed) {
    std::mt19937 rng(seed);
    auto uniform = [&rng](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(rng);
    };
    ZOLV z;
    int32_t close = 40;
    for (int k = 0; k < bars; ++k) {
        const bool flat = k < 30 || (k >= bars / 2 && k < bars / 2 + 20);
        if (!flat) close += k % 53 == 0 ? uniform(-12, 12) : uniform(-2, 2);
        const int32_t high = flat ? close : close + uniform(0, 3);
        const int32_t low = flat ? close : close - uniform(0, 3);
        const int32_t volume = k % 9 == 4 ? INT32_MAX - uniform(0, 1) : uniform(0, 1000);
        add(z, flat ? close : low + uniform(0, high - low), high, low, close, volume);
    }
    z.pos = 0;
    return z;
}

// Prices at both ends of the 32-bit range (high below low included), volumes near +-2^31.
ZOLV extremes(int bars, uint32_t seed) {
    const int32_t prices[] = {INT32_MIN, INT32_MIN + 1, -1, 0, 1, INT32_MAX - 1, INT32_MAX};
    const int32_t volumes[] = {INT32_MAX, INT32_MAX - 1, 1 << 30, 0, INT32_MIN};
    std::mt19937 rng(seed);
    auto price = [&] { return prices[std::uniform_int_distribution<int>(0, 6)(rng)]; };
    ZOLV z;
    for (int k = 0; k < bars; ++k) {
        const int32_t o = price();
        const int32_t h = price();
        const int32_t l = price();
        add(z, o, h, l, price(), volumes[std::uniform_int_distribution<int>(0, 4)(rng)]);
    }
    z.pos = 0;
    return z;
}

// ---- Comparison -----------------------------------------------------------------------------

uint64_t bits(double v) {
    uint64_t b = 0;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// An answer at a bar against bar k of the line: the same status, parts, definedness, bits.
std::string differs(int status, const OpValue& v, const SeriesResult& line, size_t k) {
    std::ostringstream why;
    if ((status == ZOLV_OK) != (line.valid[k] != 0)) {
        why << "status " << status << ", line valid " << int{line.valid[k]};
        return why.str();
    }
    if (status != ZOLV_OK) return "";
    if (v.width != line.width) return "width";
    for (int j = 0; j < v.width; ++j) {
        const size_t q = k * static_cast<size_t>(line.width) + static_cast<size_t>(j);
        const bool defined = line.defined.empty() || line.defined[q] != 0;
        if ((v.defined[j] != 0) != defined) why << "part " << j << " defined; ";
        if (!defined) continue;
        if (zolv::integer_part(line.shape, line.integer_parts, j)) {
            if (v.integers[j] != line.integers[q]) why << "part " << j << " integer; ";
        } else if (bits(v.reals[j]) != bits(line.reals[q])) {
            why << "part " << j << ": " << v.reals[j] << " against " << line.reals[q] << "; ";
        }
    }
    return why.str();
}

SeriesResult line_of(const ZOLV& z, const Operation& op, const OpArgs& a) {
    SeriesResult r;
    zolv::operation_series(z, op, a, &r);
    return r;
}

OpValue at_cursor(const ZOLV& z, const Operation& op, const OpArgs& a, int* status) {
    OpValue v;
    *status = zolv::operation_at_cursor(z, op, a, &v);
    return v;
}

// The three forms of one operation over the bars of `z`; answers the number of valid bars.
int expect_three_forms(const ZOLV& z, const Form& form) {
    const Operation* op = zolv::find_operation(form.op);
    EXPECT_NE(nullptr, op) << form.op;
    if (!op) return 0;
    SCOPED_TRACE(std::string(form.op) + " " + form.words);
    const OpArgs a = args_of(*op, form.words);
    const SeriesResult line = line_of(z, *op, a);
    const size_t count = z.close.size();
    EXPECT_EQ(count, line.valid.size());

    // The first bar with a value is the lookback.
    if (op->lookback) {
        const bool valid = op->valid(a);
        const int64_t lookback = op->lookback(a);
        for (size_t k = 0; k < count; ++k) {
            const bool expected = valid && static_cast<int64_t>(k) >= lookback;
            if (!expected) {
                EXPECT_EQ(0, line.valid[k]) << "bar " << k << " before the lookback";
            }
            if (expected && static_cast<int64_t>(k) == lookback) {
                EXPECT_EQ(1, line.valid[k]) << "no value at the lookback, bar " << k;
            }
        }
    }

    // At each bar, the cursor walked over the bars in a random order (the remembered states
    // are found before and after the bar asked).
    ZOLV walk = z;
    std::vector<size_t> order(count);
    for (size_t k = 0; k < count; ++k) order[k] = k;
    std::shuffle(order.begin(), order.end(), std::mt19937(7));
    int valid = 0;
    for (size_t k : order) {
        walk.pos = static_cast<int32_t>(count - 1 - k);
        int status = 0;
        const OpValue v = at_cursor(walk, *op, a, &status);
        EXPECT_EQ("", differs(status, v, line, k)) << "at bar " << k;
        if (status == ZOLV_OK) ++valid;
    }

    // A stream: each bar pushed and read at the newest bar; every fifth bar comes after a bar
    // that is read and taken back (what followed the removed bar is forgotten).
    ZOLV live;
    live.pos = 0;
    for (size_t k = 0; k < count; ++k) {
        int32_t bar[5] = {z.open[k], z.high[k], z.low[k], z.close[k], z.volume[k]};
        if (k % 5 == 3) {
            int32_t other[5] = {bar[0], bar[1] / 2, bar[2] / 3, bar[3] / 2 - 7, 12345};
            live.push_back(other, 5);
            int status = 0;
            at_cursor(live, *op, a, &status);
            live.pop_back();
        }
        live.push_back(bar, 5);
        int status = 0;
        const OpValue v = at_cursor(live, *op, a, &status);
        EXPECT_EQ("", differs(status, v, line, k)) << "after the push of bar " << k;
    }
    // Dropping the oldest bar moves every state's start: the newest value is that of the
    // shorter series.
    if (count > 1) {
        live.pop_front();
        ZOLV shorter = z;
        shorter.pop_front();
        const SeriesResult trimmed = line_of(shorter, *op, a);
        int status = 0;
        const OpValue v = at_cursor(live, *op, a, &status);
        EXPECT_EQ("", differs(status, v, trimmed, count - 2)) << "after pop_front";
    }
    return valid;
}

int expect_every_form(const ZOLV& z) {
    int valid = 0;
    for (const Form& form : kForms) valid += expect_three_forms(z, form);
    return valid;
}

// ---- Tests ----------------------------------------------------------------------------------

TEST(OperationForms, EveryOperationHasARow) {
    for (int k = 0; k < zolv::kOperationCount; ++k) {
        const char* name = zolv::kOperations[k].name;
        EXPECT_TRUE(std::any_of(std::begin(kForms), std::end(kForms),
                                [name](const Form& f) { return std::strcmp(f.op, name) == 0; }))
            << name << " has no row in kForms";
        if (k > 0) {
            EXPECT_LT(std::strcmp(zolv::kOperations[k - 1].name, name), 0) << "order";
        }
    }
}

TEST(OperationForms, RandomWalkWithFlatStretches) {
    EXPECT_GT(expect_every_form(random_walk(300, 20261208)), 5000);
}

TEST(OperationForms, ExtremesOfThe32BitRange) {
    EXPECT_GT(expect_every_form(extremes(120, 5)), 1000);
}

TEST(OperationForms, SampleDailyBars) {
    EXPECT_GT(expect_every_form(sample_bars()), 5000);
}

// Where every row answers, over arguments around every edge: at the bars from its lookback on
// when its arguments are valid, nowhere else (the bars have no zero close or volume, so no
// value is undefined by the bars themselves).
TEST(OperationForms, AnswersFromTheLookbackOn) {
    ZOLV z;
    std::mt19937 rng(17);
    int32_t close = 100;
    for (int k = 0; k < 30; ++k) {
        close += std::uniform_int_distribution<int>(-3, 3)(rng);
        add(z, close - 1, close + 2, close - 2, close, 1 + k % 7);
    }
    const int32_t ints[] = {INT32_MIN, -1, 0, 1, 2, 3, 7, 28, 29, 30, 31, INT32_MAX};
    const double reals[] = {-1.0, 0.0, 0.5, 3.0, HUGE_VAL};
    for (int row = 0; row < zolv::kOperationCount; ++row) {
        const Operation& op = zolv::kOperations[row];
        SCOPED_TRACE(op.name);
        const int count = static_cast<int>(std::strlen(op.kinds));
        std::vector<int> pick(static_cast<size_t>(count), 0);
        for (bool more = true; more;) {
            OpArgs a;
            int ni = 0;
            int nr = 0;
            for (int j = 0; j < count; ++j) {
                if (op.kinds[j] == 'i') a.ints[ni++] = ints[pick[static_cast<size_t>(j)]];
                if (op.kinds[j] == 'd') a.reals[nr++] = reals[pick[static_cast<size_t>(j)] % 5];
            }
            const SeriesResult line = line_of(z, op, a);
            const bool valid = op.valid(a);
            const int64_t lookback = valid ? op.lookback(a) : 0;
            for (int64_t k = 0; k < 30; ++k) {
                EXPECT_EQ(valid && k >= lookback, line.valid[static_cast<size_t>(k)] != 0)
                    << "bar " << k << ", ints " << a.ints[0] << " " << a.ints[1] << " " << a.ints[2]
                    << ", reals " << a.reals[0] << " " << a.reals[1];
            }
            // The next combination of argument values.
            more = false;
            for (int j = 0; j < count && !more; ++j) {
                const size_t q = static_cast<size_t>(j);
                const int size = op.kinds[j] == 'i' ? 12 : op.kinds[j] == 'd' ? 5 : 1;
                if (++pick[q] < size) {
                    more = true;
                } else {
                    pick[q] = 0;
                }
            }
        }
    }
}

TEST(OperationForms, EmptyAndSingleBar) {
    ZOLV z;
    EXPECT_EQ(0, expect_every_form(z));
    add(z, 5, 6, 4, 5, 100);
    z.pos = 0;
    expect_every_form(z);
}

// Every row's line split over three threads in small chunks (the lines in two stages on two
// threads, the first up to a ring of blocks ahead), into storage that holds another line's
// values, against its line on one thread into fresh storage: the same bits.
TEST(OperationForms, LinesSplitOverThreadsIntoReusedStorage) {
    const int threads = zolv::series_threads();
    const ZOLV z = random_walk(12 * static_cast<int>(zolv::kBlock) + 100, 31);
    const size_t count = z.close.size();
    for (const Form& form : kForms) {
        const Operation& op = *zolv::find_operation(form.op);
        SCOPED_TRACE(std::string(form.op) + " " + form.words);
        const OpArgs a = args_of(op, form.words);
        ASSERT_TRUE(zolv::set_series_threads(1));
        const SeriesResult alone = line_of(z, op, a);
        ASSERT_TRUE(zolv::set_series_threads(3));
        zolv::set_series_chunk_work(1);  // split even short series
        SeriesResult split;
        split.valid.assign(count, 1);
        split.reals.assign(count * 8, 7.5);
        split.integers.assign(count * 8, 9);
        split.defined.assign(count * 8, 1);
        ASSERT_EQ(ZOLV_OK, zolv::operation_series(z, op, a, &split));
        zolv::set_series_chunk_work(int64_t{1} << 17);
        EXPECT_EQ(alone.width, split.width);
        EXPECT_EQ(alone.valid, split.valid);
        EXPECT_EQ(alone.integers, split.integers);
        EXPECT_EQ(alone.defined, split.defined);
        ASSERT_EQ(alone.reals.size(), split.reals.size());
        for (size_t q = 0; q < alone.reals.size(); ++q) {
            ASSERT_EQ(bits(alone.reals[q]), bits(split.reals[q])) << "value " << q;
        }
    }
    zolv::set_series_threads(threads);
}

// ---- Ranges ----------------------------------------------------------------------------------

// Bar k of a range's answer against bar `bar` of the whole line: the same validity, parts,
// definedness and bits.
std::string range_differs(const SeriesResult& part, size_t k, const SeriesResult& line,
                          size_t bar) {
    std::ostringstream why;
    if (part.valid[k] != line.valid[bar]) return "valid";
    if (!line.valid[bar]) return "";
    const size_t width = static_cast<size_t>(line.width);
    for (size_t j = 0; j < width; ++j) {
        const size_t p = k * width + j;
        const size_t q = bar * width + j;
        const bool defined = line.defined.empty() || line.defined[q] != 0;
        if (defined != (part.defined.empty() || part.defined[p] != 0)) why << "part " << j << "; ";
        if (!defined) continue;
        if (zolv::integer_part(line.shape, line.integer_parts, static_cast<int>(j))) {
            if (part.integers[p] != line.integers[q]) why << "part " << j << " integer; ";
        } else if (bits(part.reals[p]) != bits(line.reals[q])) {
            why << "part " << j << ": " << part.reals[p] << " against " << line.reals[q] << "; ";
        }
    }
    return why.str();
}

// Every row's answer over ranges of the bars (cut to them where they reach outside) against
// the slice of its whole line, on a copy that remembers nothing yet and again once it does,
// ranges far on asked before ranges behind them.
void expect_ranges(const ZOLV& z) {
    const int64_t count = static_cast<int64_t>(z.close.size());
    const zolv::Bars ranges[] = {{count - 40, count},        {0, count}, {7, 60},
                                 {count / 2, count / 2 + 1}, {-5, 3},    {count - 1, count + 9},
                                 {count / 3, count - 17},    {31, 31},   {50, 20},
                                 {count + 3, count + 9},     {1, 2}};
    for (const Form& form : kForms) {
        const Operation* op = zolv::find_operation(form.op);
        SCOPED_TRACE(std::string(form.op) + " " + form.words);
        const OpArgs a = args_of(*op, form.words);
        const SeriesResult line = line_of(z, *op, a);
        ZOLV fresh = z;
        for (int round = 0; round < 2; ++round) {
            for (const zolv::Bars range : ranges) {
                SeriesResult part;
                ASSERT_EQ(ZOLV_OK, zolv::operation_series(fresh, *op, a, &part, nullptr, range));
                const int64_t first = std::max<int64_t>(range.first, 0);
                const int64_t end = std::min(range.end, count);
                ASSERT_EQ(static_cast<size_t>(std::max<int64_t>(end - first, 0)), part.valid.size())
                    << "range " << range.first << " " << range.end;
                EXPECT_EQ(line.width, part.width);
                for (int64_t k = first; k < end; ++k) {
                    EXPECT_EQ("", range_differs(part, static_cast<size_t>(k - first), line,
                                                static_cast<size_t>(k)))
                        << "bar " << k << " of range " << range.first << " " << range.end
                        << ", round " << round;
                }
            }
        }
    }
}

TEST(OperationRanges, SlicesOfTheWholeLine) {
    expect_ranges(random_walk(300, 20261208));
    expect_ranges(extremes(120, 5));
    expect_ranges(sample_bars());
    expect_ranges(ZOLV());
}

// -nan empty: NaN parts become undefined; a bar left without a defined part has no value.
TEST(OperationRanges, NanPartsDropped) {
    SeriesResult r;
    r.shape = zolv::SeriesShape::kMixedList;
    r.width = 2;
    r.integer_parts = 2;  // part 1 an integer
    r.valid = {1, 1, 0};
    r.reals = {NAN, 0.0, 1.5, 0.0, 0.0, 0.0};
    r.integers = {0, 4, 0, 5, 0, 0};
    r.defined = {0, 1, 1, 1, 0, 0};
    zolv::drop_nan(&r);
    EXPECT_EQ((std::vector<uint8_t>{1, 1, 0}), r.valid);
    EXPECT_EQ((std::vector<uint8_t>{0, 1, 1, 1, 0, 0}), r.defined);
    SeriesResult lists;
    lists.shape = zolv::SeriesShape::kRealList;
    lists.width = 2;
    lists.valid = {1, 1};
    lists.reals = {NAN, NAN, 2.0, -NAN};
    zolv::drop_nan(&lists);
    EXPECT_EQ((std::vector<uint8_t>{0, 1}), lists.valid);
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 1, 0}), lists.defined);
    EXPECT_EQ((std::vector<double>{0.0, 0.0, 2.0, 0.0}), lists.reals);
    SeriesResult one;
    one.valid = {1, 1, 1};
    one.reals = {INFINITY, NAN, -0.0};
    zolv::drop_nan(&one);
    EXPECT_EQ((std::vector<uint8_t>{1, 0, 1}), one.valid);
}

// ---- Definitions against models written from their text ------------------------------------

double value_of(const ZOLV& z, const char* op, const char* words, int64_t bar, int part,
                bool* defined) {
    const Operation* row = zolv::find_operation(op);
    OpValue v;
    ZOLV probe = z;
    probe.pos = static_cast<int32_t>(static_cast<int64_t>(z.close.size()) - 1 - bar);
    *defined = zolv::operation_at_cursor(probe, *row, args_of(*row, words), &v) == ZOLV_OK &&
               v.defined[part];
    return v.integer_parts ? static_cast<double>(v.integers[part]) : v.reals[part];
}

// bbands from exact integer sums of each window (a naive loop), then the defined operations.
TEST(OperationModels, BbandsFromExactSums) {
    for (const ZOLV& z : {random_walk(200, 3), extremes(80, 9), sample_bars()}) {
        for (const int n : {2, 5, 20}) {
            const double k = n == 5 ? -1.5 : 2.0;
            const std::string words = "c " + std::to_string(n) + (n == 5 ? " -1.5" : " 2");
            const Operation& op = *zolv::find_operation("bbands");
            const SeriesResult line = line_of(z, op, args_of(op, words.c_str()));
            for (size_t i = 0; i < z.close.size(); ++i) {
                if (i + 1 < static_cast<size_t>(n)) {
                    EXPECT_EQ(0, line.valid[i]);
                    continue;
                }
                __int128 sum = 0;
                __int128 squares = 0;
                for (size_t j = i + 1 - n; j <= i; ++j) {
                    sum += z.close[j];
                    squares += static_cast<__int128>(z.close[j]) * z.close[j];
                }
                const double middle = static_cast<double>(sum) / n;
                const double dev = std::sqrt(static_cast<double>(n * squares - sum * sum)) / n;
                EXPECT_EQ(bits(middle + k * dev), bits(line.reals[3 * i]));
                EXPECT_EQ(bits(middle), bits(line.reals[3 * i + 1]));
                EXPECT_EQ(bits(middle - k * dev), bits(line.reals[3 * i + 2])) << n << " " << i;
            }
        }
    }
}

// macd_ema: its line is the existing ema(fast) - ema(slow) at every bar, its signal the mean
// of the first `signal` of them, then the EMA step.
TEST(OperationModels, MacdEmaFromTheExistingEma) {
    const ZOLV z = sample_bars();
    for (const auto& p :
         {std::vector<int>{12, 26, 9}, std::vector<int>{26, 12, 9}, std::vector<int>{3, 5, 1}}) {
        const int fast = std::min(p[0], p[1]);
        const int slow = std::max(p[0], p[1]);
        const std::string words =
            "c " + std::to_string(p[0]) + " " + std::to_string(p[1]) + " " + std::to_string(p[2]);
        double sum = 0.0;
        double signal = 0.0;
        for (int64_t i = slow - 1; i < static_cast<int64_t>(z.close.size()); ++i) {
            ZOLV probe = z;
            probe.pos = static_cast<int32_t>(static_cast<int64_t>(z.close.size()) - 1 - i);
            double ef = 0.0;
            double es = 0.0;
            ASSERT_EQ(ZOLV_OK, probe.ema('c', fast, &ef));
            ASSERT_EQ(ZOLV_OK, probe.ema('c', slow, &es));
            const double macd = ef - es;
            const int64_t j = i - (slow - 1);
            if (j < p[2]) sum = sum + macd;
            if (j == p[2] - 1) signal = sum / p[2];
            if (j >= p[2]) signal = signal + 2.0 / (p[2] + 1) * (macd - signal);
            bool defined = false;
            EXPECT_EQ(bits(macd), bits(value_of(z, "macd_ema", words.c_str(), i, 0, &defined)));
            EXPECT_TRUE(defined);
            const double got = value_of(z, "macd_ema", words.c_str(), i, 1, &defined);
            EXPECT_EQ(j >= p[2] - 1, defined) << i;
            if (defined) {
                EXPECT_EQ(bits(signal), bits(got)) << words << " bar " << i;
            }
        }
    }
}

// The window operations from each window's closes (or highs and lows) directly: exact sums in
// 128 bits and plain scans, where the operations keep running sums and monotonic queues.
using Parts = std::vector<double>;
using I128 = __int128;

// Slope and start of the least-squares line of the n closes ending at bar i, the newest at
// t = 0.
Parts regression(const ZOLV& z, int64_t i, int64_t n) {
    I128 sy = 0;
    I128 sxy = 0;
    for (int64_t t = 0; t < n; ++t) {
        sy += z.close[i - t];
        sxy += t * I128{z.close[i - t]};
    }
    const I128 sx = n * (n - 1) / 2;
    const I128 sxx = (n - 1) * n * (2 * n - 1) / 6;
    const double m =
        static_cast<double>(n * sxy - sx * sy) / static_cast<double>(sx * sx - n * sxx);
    return {m, (static_cast<double>(sy) - m * static_cast<double>(sx)) / static_cast<double>(n)};
}

struct WindowModel {
    const char* op;
    int64_t n;
    Parts (*at)(const ZOLV& z, int64_t i, int64_t n);
};

const WindowModel kWindowModels[] = {
    {"wma", 2, nullptr},
    {"wma", 15,
     [](const ZOLV& z, int64_t i, int64_t n) {
         I128 sum = 0;
         for (int64_t j = 1; j <= n; ++j) sum += j * I128{z.close[i - n + j]};
         return Parts{static_cast<double>(sum) / static_cast<double>(n * (n + 1) / 2)};
     }},
    {"trima", 2, nullptr},
    {"trima", 14, nullptr},
    {"trima", 15,
     [](const ZOLV& z, int64_t i, int64_t n) {
         I128 sum = 0;
         for (int64_t j = 1; j <= n; ++j) sum += std::min(j, n + 1 - j) * I128{z.close[i - n + j]};
         const int64_t m = n / 2;
         const int64_t weights = n % 2 ? (m + 1) * (m + 1) : m * (m + 1);
         return Parts{static_cast<double>(sum) * (1.0 / static_cast<double>(weights))};
     }},
    {"linreg", 2, nullptr},
    {"linreg", 14,
     [](const ZOLV& z, int64_t i, int64_t n) {
         const Parts p = regression(z, i, n);
         return Parts{p[1] + p[0] * static_cast<double>(n - 1)};
     }},
    {"linreg_slope", 14,
     [](const ZOLV& z, int64_t i, int64_t n) { return Parts{regression(z, i, n)[0]}; }},
    {"linreg_intercept", 14,
     [](const ZOLV& z, int64_t i, int64_t n) { return Parts{regression(z, i, n)[1]}; }},
    {"tsf", 14,
     [](const ZOLV& z, int64_t i, int64_t n) {
         const Parts p = regression(z, i, n);
         return Parts{p[1] + p[0] * static_cast<double>(n)};
     }},
    {"midpoint", 14,
     [](const ZOLV& z, int64_t i, int64_t n) {
         const auto window = z.close.begin() + (i - n + 1);
         const auto [low, high] = std::minmax_element(window, window + n);
         return Parts{static_cast<double>(int64_t{*high} + *low) / 2.0};
     }},
    {"midprice", 14,
     [](const ZOLV& z, int64_t i, int64_t n) {
         const auto high = *std::max_element(z.high.begin() + (i - n + 1), z.high.begin() + i + 1);
         const auto low = *std::min_element(z.low.begin() + (i - n + 1), z.low.begin() + i + 1);
         return Parts{static_cast<double>(int64_t{high} + low) / 2.0};
     }},
    {"aroon", 2, nullptr},
    {"aroon", 14,
     [](const ZOLV& z, int64_t i, int64_t n) {
         int64_t hi = i - n;
         int64_t lo = i - n;
         for (int64_t k = i - n; k <= i; ++k) {
             if (z.high[k] >= z.high[hi]) hi = k;
             if (z.low[k] <= z.low[lo]) lo = k;
         }
         const double f = 100.0 / static_cast<double>(n);
         return Parts{f * static_cast<double>(n - (i - lo)), f * static_cast<double>(n - (i - hi)),
                      f * static_cast<double>(hi - lo)};
     }},
    {"cmo", 1, nullptr},
    {"cmo", 14,
     [](const ZOLV& z, int64_t i, int64_t n) {
         int64_t up = 0;
         int64_t down = 0;
         for (int64_t k = i - n + 1; k <= i; ++k) {
             const int64_t change = int64_t{z.close[k]} - z.close[k - 1];
             (change > 0 ? up : down) += change > 0 ? change : -change;
         }
         const double total = static_cast<double>(up + down);
         return Parts{up + down == 0 ? 0.0 : (100.0 * static_cast<double>(up - down)) / total};
     }},
};

TEST(OperationModels, WindowsFromTheirBars) {
    for (const ZOLV& z : {random_walk(300, 3), extremes(120, 9), sample_bars()}) {
        for (size_t c = 0; c < std::size(kWindowModels); ++c) {
            const WindowModel& model = kWindowModels[c];
            // A row without a model of its own uses the next row's.
            auto at = model.at;
            for (size_t d = c; !at; ++d) at = kWindowModels[d + 1].at;
            const Operation& op = *zolv::find_operation(model.op);
            const std::string words = (op.kinds[0] == 'c' ? "c " : "") + std::to_string(model.n);
            SCOPED_TRACE(std::string(model.op) + " " + words);
            const SeriesResult line = line_of(z, op, args_of(op, words.c_str()));
            const int64_t first = op.lookback(args_of(op, words.c_str()));
            for (int64_t i = first; i < static_cast<int64_t>(z.close.size()); ++i) {
                const Parts want = at(z, i, model.n);
                for (size_t j = 0; j < want.size(); ++j) {
                    const double got = line.reals[static_cast<size_t>(i) * want.size() + j];
                    EXPECT_EQ(bits(want[j]), bits(got)) << "bar " << i << " part " << j;
                }
            }
        }
    }
}

// Windows past 92681 bars keep their weighted sums in 128 bits: on prices near -2^31 those
// sums pass -2^63. The newest bars of the line against the models, and the value at the
// cursor against the line.
TEST(OperationModels, LongWindowsFromTheirBars) {
    ZOLV z;
    for (int k = 0; k < 92700; ++k) {
        const int32_t c = INT32_MIN + (k % 7 == 0 ? 5 : 0) + (k % 11 == 0 ? 3 : 0);
        add(z, c, c, c, c, 1);
    }
    z.pos = 0;
    for (const char* op : {"wma", "trima", "linreg"}) {
        const WindowModel& model = *std::find_if(
            std::begin(kWindowModels), std::end(kWindowModels),
            [op](const WindowModel& m) { return m.at && std::strcmp(m.op, op) == 0; });
        for (const int64_t n : {92681, 92682, 92690}) {
            const std::string words = "c " + std::to_string(n);
            SCOPED_TRACE(std::string(op) + " " + words);
            const Operation& row = *zolv::find_operation(op);
            const SeriesResult line = line_of(z, row, args_of(row, words.c_str()));
            for (int64_t i = 92695; i < 92700; ++i) {
                EXPECT_EQ(bits(model.at(z, i, n)[0]), bits(line.reals[static_cast<size_t>(i)]));
            }
            int status = 0;
            const OpValue v = at_cursor(z, row, args_of(row, words.c_str()), &status);
            EXPECT_EQ("", differs(status, v, line, 92699));
        }
    }
}

// Values at the warm-up edges and the zero denominators, by hand.
TEST(OperationModels, EdgesByHand) {
    const ZOLV z = random_walk(300, 20261208);  // flat for its first 30 bars at 40
    bool defined = false;
    // No change at all: gain and loss are 0, RSI 50; flat windows: the bands close up.
    EXPECT_EQ(50.0, value_of(z, "rsi_wilder", "c 14", 14, 0, &defined));
    EXPECT_EQ(40.0, value_of(z, "bbands", "c 20 2", 29, 0, &defined));
    EXPECT_EQ(40.0, value_of(z, "bbands", "c 20 2", 29, 2, &defined));
    // A zero true range: +DI = -DI = 0, and no DX, so ADX stays 0.
    EXPECT_EQ(0.0, value_of(z, "adx", "5", 5, 0, &defined));
    EXPECT_TRUE(defined);
    value_of(z, "adx", "5", 8, 2, &defined);
    EXPECT_FALSE(defined);  // ADX first at bar 2n - 1
    EXPECT_EQ(0.0, value_of(z, "adx", "5", 9, 2, &defined));
    EXPECT_TRUE(defined);
    EXPECT_EQ(0.0, value_of(z, "atr", "3", 3, 0, &defined));
    // Flat windows: every average and the line are the price, the slope -0.0 (TA-Lib's), CMO
    // 0; Aroon finds the newest of equal bars, so both lines are at 100.
    for (const char* op : {"wma", "trima", "linreg", "linreg_intercept", "tsf", "midpoint"}) {
        EXPECT_EQ(40.0, value_of(z, op, "c 5", 4, 0, &defined)) << op;
    }
    EXPECT_EQ(40.0, value_of(z, "midprice", "5", 4, 0, &defined));
    EXPECT_TRUE(std::signbit(value_of(z, "linreg_slope", "c 5", 4, 0, &defined)));
    EXPECT_EQ(0.0, value_of(z, "cmo", "c 5", 5, 0, &defined));
    for (int part : {0, 1}) EXPECT_EQ(100.0, value_of(z, "aroon", "5", 5, part, &defined));
    EXPECT_EQ(0.0, value_of(z, "aroon", "5", 5, 2, &defined));

    ZOLV small;
    add(small, 10, 12, 9, 11, INT32_MAX);
    add(small, 11, 15, 10, 14, INT32_MAX);  // rises: + volume
    add(small, 14, 14, 7, 8, INT32_MAX);    // falls: - volume
    add(small, 8, 9, 8, 8, INT32_MAX);      // unchanged
    add(small, 8, 9, 0, 0, INT32_MAX);      // a close of 0
    // OBV: exact 64-bit sums of volumes near 2^31.
    EXPECT_EQ(2.0 * INT32_MAX, value_of(small, "obv", "", 1, 0, &defined));
    EXPECT_EQ(0.0 + INT32_MAX, value_of(small, "obv", "", 3, 0, &defined));
    EXPECT_EQ(0.0, value_of(small, "obv", "", 4, 0, &defined));
    // ATR 2 at bar 2: true ranges 5 (15 - 10) and 7 (14 - 7): 6; then (6 * 1 + 1) / 2 = 3.5,
    // then (3.5 + 9) / 2 = 6.25; NATR at the close of 0 is 0.
    EXPECT_EQ(6.0, value_of(small, "atr", "2", 2, 0, &defined));
    EXPECT_EQ(3.5, value_of(small, "atr", "2", 3, 0, &defined));
    EXPECT_EQ(6.25, value_of(small, "atr", "2", 4, 0, &defined));
    EXPECT_EQ(3.5 / 8 * 100.0, value_of(small, "natr", "2", 3, 0, &defined));
    EXPECT_EQ(0.0, value_of(small, "natr", "2", 4, 0, &defined));
    // rsi_wilder 2 at bar 2: changes +3 and -6, gain 1.5, loss 3: 100 * (1.5 / 4.5).
    EXPECT_EQ(100.0 * (1.5 / 4.5), value_of(small, "rsi_wilder", "c 2", 2, 0, &defined));
    // Out of range arguments answer nothing at any bar.
    for (const char* words : {"c 1 2", "c 0 2", "c -3 2", "c 5 inf"}) {
        value_of(small, "bbands", words, 4, 1, &defined);
        EXPECT_FALSE(defined) << words;
    }
}

// The averages and their oscillators at their first bars and zero denominators.
TEST(OperationModels, AveragesAtTheirEdges) {
    const ZOLV flat = random_walk(300, 20261208);  // flat for its first 30 bars at 40
    bool defined = false;
    // A flat window of RSI values (all 50): raw is 50; k first at bar n + m + k - 2, d at
    // n + m + k + d - 3.
    value_of(flat, "stochrsi", "c 2 3 2 2", 4, 0, &defined);
    EXPECT_FALSE(defined);
    EXPECT_EQ(50.0, value_of(flat, "stochrsi", "c 2 3 2 2", 5, 0, &defined));
    value_of(flat, "stochrsi", "c 2 3 2 2", 5, 1, &defined);
    EXPECT_FALSE(defined);
    EXPECT_EQ(50.0, value_of(flat, "stochrsi", "c 2 3 2 2", 6, 1, &defined));
    // No move at all: every change is 0, the efficiency ratio 1, the average the price.
    EXPECT_EQ(40.0, value_of(flat, "kama", "c 5", 5, 0, &defined));
    EXPECT_EQ(40.0, value_of(flat, "dema", "c 5", 8, 0, &defined));
    EXPECT_EQ(40.0, value_of(flat, "tema", "c 5", 12, 0, &defined));
    EXPECT_EQ(0.0, value_of(flat, "trix", "c 5", 13, 0, &defined));

    ZOLV zeros;
    for (const int32_t close : {0, 0, 0, 6, -6, 3}) add(zeros, close, close, close, close, 1);
    // trix 1 is the change of the close in per cent, 0 after a close of 0; ppo is 0 where the
    // slow average is 0.
    EXPECT_EQ(0.0, value_of(zeros, "trix", "c 1", 3, 0, &defined));
    EXPECT_EQ(-200.0, value_of(zeros, "trix", "c 1", 4, 0, &defined));
    EXPECT_EQ(0.0, value_of(zeros, "ppo", "c 2 3", 2, 0, &defined));
    // apo 2 3 at bar 3: ema 2 = 0 + 2 / 3 * (6 - 0) (0 before), ema 3 = 0 + 0.5 * (6 - 0).
    const double apo = (0.0 + 2.0 / 3.0 * (6.0 - 0.0)) - (0.0 + 0.5 * (6.0 - 0.0));
    EXPECT_EQ(apo, value_of(zeros, "apo", "c 2 3", 3, 0, &defined));
    EXPECT_EQ(apo, value_of(zeros, "apo", "c 3 2", 3, 0, &defined));  // swapped
    // kama 2 at bar 3: change 6, volatility 6: er 1, sc = (2 / 3) squared, from 0.
    const double sc = (1.0 * (2.0 / 3.0 - 2.0 / 31.0)) + 2.0 / 31.0;
    EXPECT_EQ(0.0 + (sc * sc) * 6.0, value_of(zeros, "kama", "c 2", 3, 0, &defined));
}

// ---- Readers in parallel --------------------------------------------------------------------

// Threads ask one object for values at random bars of more lines than it remembers, so lines
// are walked, extended and replaced while others read them: every answer equals the line.
TEST(OperationMemory, ReadersInParallel) {
    const ZOLV z = random_walk(3000, 99);
    const Form forms[] = {{"rsi_wilder", "c 14"},
                          {"rsi_wilder", "h 5"},
                          {"atr", "14"},
                          {"atr", "3"},
                          {"natr", "7"},
                          {"adx", "14"},
                          {"adx", "4"},
                          {"macd_ema", "c 12 26 9"},
                          {"macd_ema", "o 3 9 2"},
                          {"obv", ""},
                          {"bbands", "c 20 2"},
                          {"stochrsi", "c 14 14 3 3"},
                          {"t3", "c 5 0.7"}};
    std::vector<SeriesResult> lines;
    for (const Form& f : forms) {
        const Operation& op = *zolv::find_operation(f.op);
        lines.push_back(line_of(z, op, args_of(op, f.words)));
    }
    std::vector<std::string> problems(4);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < problems.size(); ++t) {
        threads.emplace_back([&, t] {
            std::mt19937 rng(static_cast<uint32_t>(t) + 1);
            for (int n = 0; n < 3000 && problems[t].empty(); ++n) {
                const size_t f = rng() % (sizeof forms / sizeof forms[0]);
                // Mostly near the newest bar, as a feed reads, sometimes far back.
                const int64_t bar = rng() % 4 == 0 ? static_cast<int64_t>(rng() % 3000)
                                                   : 2999 - static_cast<int64_t>(rng() % 40);
                const Operation& op = *zolv::find_operation(forms[f].op);
                OpValue v;
                const int status = op.at(z, op, args_of(op, forms[f].words), bar, &v);
                problems[t] = differs(status, v, lines[f], static_cast<size_t>(bar));
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (const std::string& problem : problems) EXPECT_EQ("", problem);
    // At most kMaxLines lines, each about a byte per bar.
    EXPECT_LE(z.state_memory.bytes(), zolv::StateMemory::kMaxLines * (3000 + 1024));
}

}  // namespace
