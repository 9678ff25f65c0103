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
#include <thread>
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

// ---- Two remembered averages walked together ----------------------------------------------

uint64_t bits_of(double v) {
    uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

// A column of `bars` random closes.
ZOLV random_bars(int bars, uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int32_t> close(-500, 100000);
    ZOLV z;
    for (int k = 0; k < bars; ++k) {
        const int32_t c = close(random);
        const Bar bar{c, c, c, c, k};
        z.push_back(bar.data(), 5);
    }
    return z;
}

// Two averages asked together, after each was walked alone to its own bar (-1: not at all),
// answer what two lone walks answer, and what they remember holds at every bar.
TEST(Stream, TwoAveragesWalkedTogetherMatchTwoWalkedAlone) {
    struct Case {
        int n1, n2;
        int alone1, alone2;  // each one's bar before the pair is asked
        int at;              // the pair's bar
    };
    const Case cases[] = {
        {12, 26, -1, -1, 399},  // both from their seeds, seeds 14 bars apart
        {26, 12, -1, -1, 399},  {12, 26, 300, -1, 399},  // one far ahead
        {12, 26, -1, 300, 399}, {5, 9, 100, 117, 250},   // both walked, to different bars
        {12, 26, 399, -1, 200},                          // one remembered, the other walks on
        {12, 26, 399, 399, 31},                          // both remembered
        {12, 26, -1, -1, 25},                            // the longer one at its seed
        {2, 3, -1, -1, 40},     {1, 20, -1, -1, 60},    {20, 1, 30, -1, 60},
        {7, 7, -1, -1, 100},    {40, 64, 63, 64, 399},  {16, 17, 31, 32, 48},
    };
    const ZOLV z = random_bars(400, 7);
    for (const Case& t : cases) {
        zolv::EmaMemory together;
        zolv::EmaMemory alone;
        for (zolv::EmaMemory* m : {&together, &alone}) {
            if (t.alone1 >= 0) m->value_at('c', t.n1, z.close, t.alone1);
            if (t.alone2 >= 0) m->value_at('c', t.n2, z.close, t.alone2);
        }
        double v1 = 0.0;
        double v2 = 0.0;
        together.values_at('c', t.n1, t.n2, z.close, t.at, &v1, &v2);
        const std::string where =
            std::to_string(t.n1) + " " + std::to_string(t.n2) + " at " + std::to_string(t.at);
        EXPECT_EQ(bits_of(alone.value_at('c', t.n1, z.close, t.at)), bits_of(v1)) << where;
        EXPECT_EQ(bits_of(alone.value_at('c', t.n2, z.close, t.at)), bits_of(v2)) << where;
        // What the pair remembered: every bar of both lines, from the memory as it stands.
        for (int n : {t.n1, t.n2}) {
            for (int i = n - 1; i < 400; ++i) {
                double want = 0.0;
                ASSERT_FALSE(z.calc.ema(n, z.close, i, &want));
                ASSERT_EQ(bits_of(want), bits_of(together.value_at('c', n, z.close, i)))
                    << where << ": ema " << n << " at " << i;
            }
        }
    }
}

// Four threads ask one memory for single and paired averages of more lengths than it keeps,
// at random bars: each answer is the calculation's (the thread sanitizer watches the fills).
TEST(Stream, RememberedAveragesFilledByConcurrentReaders) {
    const ZOLV z = random_bars(3000, 11);
    const int lengths[] = {2, 5, 9, 12, 20, 26, 40, 64, 100, 200};
    zolv::EmaMemory memory;
    std::vector<int> wrong(4, 0);
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&, t] {
            std::mt19937 random(static_cast<uint32_t>(t));
            auto uniform = [&random](int low, int high) {
                return std::uniform_int_distribution<int>(low, high)(random);
            };
            for (int k = 0; k < 300; ++k) {
                const int n1 = lengths[uniform(0, 9)];
                const int n2 = lengths[uniform(0, 9)];
                const int i = uniform(std::max(n1, n2) - 1, 2999);
                double v1 = 0.0;
                double v2 = 0.0;
                if (k % 2) {
                    memory.values_at('c', n1, n2, z.close, i, &v1, &v2);
                } else {
                    v1 = memory.value_at('c', n1, z.close, i);
                    v2 = memory.value_at('c', n2, z.close, i);
                }
                double w1 = 0.0;
                double w2 = 0.0;
                z.calc.ema(n1, z.close, i, &w1);
                z.calc.ema(n2, z.close, i, &w2);
                if (bits_of(v1) != bits_of(w1) || bits_of(v2) != bits_of(w2)) {
                    ++wrong[static_cast<size_t>(t)];
                }
            }
        });
    }
    for (std::thread& r : readers) r.join();
    for (int t = 0; t < 4; ++t) EXPECT_EQ(0, wrong[static_cast<size_t>(t)]) << "reader " << t;
}

}  // namespace
