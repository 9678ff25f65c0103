// A store worked like a live feed: bars pushed and popped at both ends, lists
// appended, the store cleared, and reads at random cursors in between, each
// compared bit for bit with the stateless calculation on the same bars. The
// remembered averages and the columns' free room must never show.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <deque>
#include <random>
#include <vector>

#include "series/zolv.h"

namespace {

using Bar = std::array<int32_t, 5>;

// The same bits, NaN included; a status and a value as one comparable pair.
struct Answer {
    int status;
    uint64_t bits;
    bool operator==(const Answer& o) const { return status == o.status && bits == o.bits; }
};
Answer answer(int status, double value) {
    uint64_t bits = 0;
    if (status == ZOLV_OK) std::memcpy(&bits, &value, sizeof bits);
    return {status, bits};
}
Answer answer(bool failed, double value) {
    return answer(failed ? ZOLV_CALC_ERROR : ZOLV_OK, value);
}

// Window lengths, more of them than averages are remembered per object.
constexpr int kLengths[] = {1, 2, 3, 5, 9, 12, 20, 26, 40, 64, 100};

TEST(Stream, EveryReadMatchesTheCalculationOnTheSameBars) {
    std::mt19937 random(20261208);
    auto uniform = [&random](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    auto new_bar = [&] {
        const int32_t c = uniform(-50, 1000);
        return Bar{c + uniform(-9, 9), c + 12, c - 12, c, uniform(0, 1 << 30)};
    };
    ZOLV live;
    std::deque<Bar> model;
    int reads = 0;
    for (int op = 0; op < 20000; ++op) {
        const int choice = uniform(0, 99);
        if (choice < 30) {
            const Bar bar = new_bar();
            ASSERT_EQ(ZOLV_OK, live.push_back(bar.data(), 5));
            model.push_back(bar);
        } else if (choice < 40) {
            const Bar bar = new_bar();
            ASSERT_EQ(ZOLV_OK, live.push_front(bar.data(), 5));
            model.push_front(bar);
        } else if (choice < 50) {
            live.pop_front();
            if (!model.empty()) model.pop_front();
        } else if (choice < 58) {
            live.pop_back();
            if (!model.empty()) model.pop_back();
        } else if (choice < 61) {
            std::vector<int32_t> values;
            for (int k = uniform(1, 40); k > 0; --k) {
                const Bar bar = new_bar();
                values.insert(values.end(), bar.begin(), bar.end());
                model.push_back(bar);
            }
            ASSERT_EQ(ZOLV_OK, live.setlist(values.data(), static_cast<int>(values.size())));
        } else if (choice < 62 && uniform(0, 19) == 0) {
            live.clear();
            model.clear();
        } else {
            // A read at a random cursor, on the stateless calculation of the same bars.
            ++reads;
            ZOLV fresh;
            for (const Bar& bar : model) fresh.push_back(bar.data(), 5);
            const int size = static_cast<int>(model.size());
            // Mostly at the newest bars, as a feed reads.
            live.pos = fresh.pos = uniform(0, 3) == 0 ? uniform(-1, size) : uniform(0, 2);
            const int i = fresh.cursor_index();
            const int n = kLengths[uniform(0, 10)];
            const int m = kLengths[uniform(0, 10)];
            const char type = "ohlcvx"[uniform(0, 5)];
            const Column& col = fresh.select_column(type);
            double got = 0.0;
            double want = 0.0;
            EXPECT_EQ(answer(fresh.calc.ema(n, col, i, &want), want),
                      answer(live.ema(type, n, &got), got))
                << "ema " << n << " at " << i << " of " << size << ", op " << op;
            EXPECT_EQ(answer(fresh.calc.conv(n, m, 1, col, i, &want), want),
                      answer(live.conv_ema(type, n, m, &got), got))
                << "conv_ema " << n << " " << m << " at " << i << ", op " << op;
            double line = 0.0;
            double signal = 0.0;
            const bool failed = fresh.calc.macd(n, m, 9, fresh.close, i, &line, &signal);
            std::vector<double> pair;
            const int status = live.macd(n, m, 9, pair);
            EXPECT_EQ(answer(failed, line), answer(status, status ? 0.0 : pair[0]))
                << "macd " << n << " " << m << " at " << i << ", op " << op;
            EXPECT_EQ(answer(failed, signal), answer(status, status ? 0.0 : pair[1]))
                << "macd signal " << n << " " << m << " at " << i << ", op " << op;
            EXPECT_EQ(answer(fresh.calc.rsi(n, fresh.open, fresh.close, i, &want), want),
                      answer(live.rsi(n, &got), got));
        }
        // The columns hold the model's bars, oldest first.
        ASSERT_EQ(model.size(), live.close.size()) << "op " << op;
        if (!model.empty()) {
            ASSERT_EQ(model.front()[3], live.close[0]);
            ASSERT_EQ(model.back()[4], live.volume[live.volume.size() - 1]);
        }
    }
    EXPECT_GT(reads, 5000);
    // Remembered lines stay within their bound.
    EXPECT_LE(live.ema_memory.bytes(),
              zolv::EmaMemory::kMaxLines * (sizeof(double) * (live.close.size() / 16 + 2) + 64));
}

// The free room before the oldest bar: a window kept at a fixed length by
// adding at one end and removing at the other holds at most a few times its
// bars, and every bar is where it belongs.
TEST(Stream, ABoundedWindowStaysBounded) {
    ZOLV z;
    std::deque<int32_t> closes;
    size_t peak = 0;
    for (int32_t k = 0; k < 100000; ++k) {
        const Bar bar{k, k, k, k, k};
        z.push_back(bar.data(), 5);
        closes.push_back(k);
        if (closes.size() > 1000) {
            z.pop_front();
            closes.pop_front();
        }
        peak = std::max(peak, z.close.capacity());
    }
    EXPECT_LE(peak, 4000u);
    ASSERT_EQ(closes.size(), z.close.size());
    for (size_t k = 0; k < closes.size(); k += 97) EXPECT_EQ(closes[k], z.close[k]);
}

}  // namespace
