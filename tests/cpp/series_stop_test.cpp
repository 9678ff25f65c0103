// Stopping a whole-series call: every operation stops when its interrupt says so, on one thread
// and on several, and answers as before when it never does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "indicators/operation.h"
#include "indicators/series.h"
#include "indicators/series_lines.h"
#include "series/zolv.h"

namespace {

using zolv::SeriesOp;
using zolv::SeriesResult;

// Says stop at its `stop_at`-th question (never when 0) and counts the questions.
class CountingInterrupt : public zolv::SeriesInterrupt {
public:
    explicit CountingInterrupt(int64_t stop_at) : stop_at_(stop_at) {}
    bool stop_requested() override { return ++asked == stop_at_; }
    int64_t asked = 0;

private:
    int64_t stop_at_;
};

ZOLV walk(int bars) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> step(-3, 3);
    ZOLV z;
    int32_t close = 1000;
    for (int k = 0; k < bars; ++k) {
        close += step(rng);
        z.open.push_back(close - step(rng));
        z.high.push_back(close + 4);
        z.low.push_back(close - 4);
        z.close.push_back(close);
        z.volume.push_back(100 + step(rng));
    }
    return z;
}

bool same(const SeriesResult& a, const SeriesResult& b) {
    const auto bits_equal = [](double x, double y) { return std::memcmp(&x, &y, sizeof x) == 0; };
    return a.valid == b.valid && a.integers == b.integers &&
           std::equal(a.reals.begin(), a.reals.end(), b.reals.begin(), b.reals.end(), bits_equal);
}

struct StopCase {
    SeriesOp op;
    std::vector<int> params;
};

// Every operation, with windows that leave most bars valid.
const StopCase kCases[] = {
    {SeriesOp::kBollingerband, {20}}, {SeriesOp::kCci, {14}},
    {SeriesOp::kConvEma, {12, 26}},   {SeriesOp::kConvSma, {5, 25}},
    {SeriesOp::kDmi, {14, 14}},       {SeriesOp::kEma, {20}},
    {SeriesOp::kHlband, {14}},        {SeriesOp::kMacd, {12, 26, 9}},
    {SeriesOp::kMfi, {14}},           {SeriesOp::kMomentum, {10}},
    {SeriesOp::kPsychological, {12}}, {SeriesOp::kRci, {9}},
    {SeriesOp::kRoc, {10}},           {SeriesOp::kRsi, {14}},
    {SeriesOp::kSma, {20}},           {SeriesOp::kStcD, {14, 3}},
    {SeriesOp::kStcK, {14}},          {SeriesOp::kStcSd, {14, 3, 3}},
    {SeriesOp::kStdev, {20}},         {SeriesOp::kTr, {}},
    {SeriesOp::kUltimateOsi, {7}},    {SeriesOp::kVr1, {25}},
    {SeriesOp::kVr2, {25}},           {SeriesOp::kWilliamsR, {14}},
    {SeriesOp::kWvr, {25}},
};

class SeriesStopTest : public ::testing::TestWithParam<int> {  // the number of threads
protected:
    void SetUp() override {
        threads_ = zolv::series_threads();
        ASSERT_TRUE(zolv::set_series_threads(GetParam()));
        zolv::set_series_chunk_work(1);  // split even short series
    }
    void TearDown() override {
        zolv::set_series_threads(threads_);
        zolv::set_series_chunk_work(int64_t{1} << 17);
    }

private:
    int threads_ = 1;
};

TEST_P(SeriesStopTest, StopsWhenAskedAndOtherwiseAnswersAsWithoutInterrupt) {
    const ZOLV z = walk(3 * zolv::kBlock + 100);
    for (const StopCase& c : kCases) {
        SCOPED_TRACE(zolv::kSeriesOpNames[static_cast<int>(c.op)]);
        SeriesResult plain;
        ASSERT_EQ(ZOLV_OK, zolv::series(z, c.op, 'c', c.params, &plain));

        CountingInterrupt never(0);
        SeriesResult asked;
        ASSERT_EQ(ZOLV_OK, zolv::series(z, c.op, 'c', c.params, &asked, &never));
        EXPECT_TRUE(same(plain, asked));
        EXPECT_GE(never.asked, 1);

        // The first question comes before any work, on the calling thread: the call stops. A
        // later one may come while the workers finish the last chunks; the call then stops, or
        // answers in full.
        for (int64_t at : {int64_t{1}, never.asked / 2 + 1}) {
            SCOPED_TRACE(at);
            CountingInterrupt stop(at);
            SeriesResult result;
            const int status = zolv::series(z, c.op, 'c', c.params, &result, &stop);
            if (at == 1 || GetParam() == 1) {
                EXPECT_EQ(zolv::kSeriesStopped, status);
            } else if (status == ZOLV_OK) {
                EXPECT_TRUE(same(plain, result));  // the workers asked fewer questions
            } else {
                EXPECT_EQ(zolv::kSeriesStopped, status);
            }
            // Never asked again once it said stop.
            EXPECT_LE(stop.asked, at);
            if (status != ZOLV_OK) {
                EXPECT_EQ(at, stop.asked);
            }
            // The same result storage serves the next call in full.
            ASSERT_EQ(ZOLV_OK, zolv::series(z, c.op, 'c', c.params, &result));
            EXPECT_TRUE(same(plain, result));
        }
    }
}

// The lines of the operation table stop between blocks of bars too, and answer in full when
// never asked to.
TEST(OperationSeriesStop, StopsWhenAskedAndOtherwiseAnswersAsWithoutInterrupt) {
    const ZOLV z = walk(40000);
    struct Row {
        const char* name;
        int32_t n;
        double real;
    };
    for (const Row& row : {Row{"rsi_wilder", 14, 0.0}, Row{"sar", 0, 0.02}, Row{"wma", 14, 0.0},
                           Row{"donchian", 20, 0.0}, Row{"ema", 20, 0.0}}) {
        SCOPED_TRACE(row.name);
        const zolv::Operation* op = zolv::find_operation(row.name);
        ASSERT_NE(nullptr, op);
        zolv::OpArgs args;
        args.ints[0] = row.n;
        args.reals[0] = row.real;
        args.reals[1] = 0.2;
        SeriesResult plain;
        ASSERT_EQ(ZOLV_OK, zolv::operation_series(z, *op, args, &plain));
        CountingInterrupt never(0);
        SeriesResult asked;
        ASSERT_EQ(ZOLV_OK, zolv::operation_series(z, *op, args, &asked, &never));
        EXPECT_TRUE(same(plain, asked));
        EXPECT_GE(never.asked, 2);
        CountingInterrupt stop(2);
        EXPECT_EQ(zolv::kSeriesStopped, zolv::operation_series(z, *op, args, &asked, &stop));
        EXPECT_EQ(2, stop.asked);
    }
}

INSTANTIATE_TEST_SUITE_P(Threads, SeriesStopTest, ::testing::Values(1, 3));

}  // namespace
