// Bollinger band, high/low band and MACD: the calculations and the operations of ZOLV, at one
// bar and as whole lines.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "indicators/ema_chain.h"
#include "indicators/series_lines.h"
#include "series/zolv.h"

#ifdef ZOLV_X86_LANES
#include <immintrin.h>
#endif

bool ZOLV_CALC::bollingerband(int t, const Column& c, int i, double* upper1, double* lower1,
                              double* upper2, double* lower2, double* upper3,
                              double* lower3) const {
    if (window_fails(t, c, i)) return true;

    double sum = 0.0;
    for (int64_t k = i; k > int64_t{i} - t; --k) sum += static_cast<double>(c[k]);
    const double mean = sum / t;
    double sd = 0.0;
    if (stdev(t, c, i, &sd)) return true;

    if (upper1) *upper1 = sd + mean;
    if (lower1) *lower1 = mean - sd;
    if (upper2) *upper2 = (sd + sd) + mean;
    if (lower2) *lower2 = mean - (sd + sd);
    if (upper3) *upper3 = sd * 3.0 + mean;
    if (lower3) *lower3 = mean - sd * 3.0;
    return false;
}

bool ZOLV_CALC::hlband(int t, const Column& h, const Column& l, int i, int32_t* highest,
                       int32_t* lowest, int32_t* middle) const {
    const int64_t size = column_size(h);
    if (int64_t{t} + 1 > size) return true;
    if (t <= 0) return true;
    if (size == 0) return true;
    if (as_unsigned(i) >= size) return true;
    if (i < 0) return true;
    if (int64_t{i} - t < 0) return true;
    if (column_size(l) != size) return true;

    // The t bars before the bar at i; that bar itself does not move the band.
    int32_t high_value = h[i - 1];
    int32_t low_value = l[i - 1];
    for (int64_t k = int64_t{i} - 1; k >= int64_t{i} - t; --k) {
        if (h[k] > high_value) high_value = h[k];
        if (l[k] < low_value) low_value = l[k];
    }
    // The midpoint truncates toward zero and always fits in 32 bits.
    const auto mid = static_cast<int32_t>((int64_t{high_value} + low_value) / 2);

    if (highest) *highest = high_value;
    if (lowest) *lowest = low_value;
    if (middle) *middle = mid;
    return false;
}

namespace {

// The checks of macd: true unless both averages exist at the oldest bar of the
// signal window, which needs longer - 1 bars before it.
bool macd_fails(int t1, int t2, int sig, const Column& c, int i) {
    if (t1 <= 0 || t2 <= 0 || sig <= 0) return true;
    const int64_t size = column_size(c);
    if (size == 0) return true;
    if (as_unsigned(i) >= size || i < 0) return true;
    const int longer = std::max(t1, t2);
    return int64_t{i} - longer - sig + 2 < 0;
}

// The signal: the sig line values ending at the newest one, summed newest first.
double signal_average(const std::vector<double>& line) {
    double sum = 0.0;
    for (size_t k = line.size(); k-- > 0;) sum = line[k] + sum;
    return sum / static_cast<double>(line.size());
}

}  // namespace

bool ZOLV_CALC::macd(int t1, int t2, int sig, const Column& c, int i, double* macd,
                     double* signal) const {
    if (macd_fails(t1, t2, sig, c, i)) return true;
    // One forward pass advances both averages from their seeds; the MACD line is kept for the
    // sig bars ending at i.
    const int first = i - sig + 1;
    std::vector<double> line(static_cast<size_t>(sig));
    zolv::walk_ema_pair(t1, t2, c, first, i, [&](int k, double e1, double e2) {
        line[static_cast<size_t>(k - first)] = e1 - e2;
    });
    if (macd) *macd = line[static_cast<size_t>(sig - 1)];
    if (signal) *signal = signal_average(line);
    return false;
}

int ZOLV::bollingerband(char type, int t, std::vector<double>& out) const {
    double upper1 = 0.0;
    double lower1 = 0.0;
    double upper2 = 0.0;
    double lower2 = 0.0;
    double upper3 = 0.0;
    double lower3 = 0.0;
    if (calc.bollingerband(t, select_column(type), cursor_index(), &upper1, &lower1, &upper2,
                           &lower2, &upper3, &lower3)) {
        return ZOLV_CALC_ERROR;
    }
    // The old storage is released and the values filled in one allocation.
    std::vector<double>{upper1, lower1, upper2, lower2, upper3, lower3}.swap(out);
    return ZOLV_OK;
}

int ZOLV::hlband(int t, std::vector<int32_t>& out) const {
    int32_t highest = 0;
    int32_t lowest = 0;
    int32_t middle = 0;
    if (calc.hlband(t, high, low, cursor_index(), &highest, &lowest, &middle)) {
        return ZOLV_CALC_ERROR;
    }
    std::vector<int32_t>{highest, lowest, middle}.swap(out);
    return ZOLV_OK;
}

int ZOLV::macd(int t1, int t2, int sig, std::vector<double>& out) const {
    const int i = cursor_index();
    if (macd_fails(t1, t2, sig, close, i)) return ZOLV_CALC_ERROR;
    // Both averages from the remembered ones at the oldest bar of the signal
    // window, then stepped on together to the cursor, as the calculation does.
    const int first = i - sig + 1;
    double e1 = 0.0;
    double e2 = 0.0;
    ema_memory.values_at('c', t1, t2, close, first, &e1, &e2);
    const double f1 = zolv::ema_factor(t1);
    const double f2 = zolv::ema_factor(t2);
    std::vector<double> line(static_cast<size_t>(sig));
    line[0] = e1 - e2;
    for (int k = first + 1; k <= i; ++k) {
        const double x = static_cast<double>(close[static_cast<size_t>(k)]);
        e1 = zolv::EmaChain::next(e1, f1, x);
        e2 = zolv::EmaChain::next(e2, f2, x);
        line[static_cast<size_t>(k - first)] = e1 - e2;
    }
    std::vector<double>{line.back(), signal_average(line)}.swap(out);
    return ZOLV_OK;
}

// ---- Whole lines ----------------------------------------------------------------------------

namespace zolv {
namespace {

// Advances two averages (values e[0], e[1], factors f[0], f[1]) over x[0 .. count) and writes
// each bar's e[0] - e[1] into line. Kept out of line, so that the averages stay in registers
// for the loop rather than in memory around the calls of its caller.
__attribute__((noinline)) void advance_pair(double* e, const double* f, const int32_t* x,
                                            int64_t count, double* line) {
    double e1 = e[0];
    double e2 = e[1];
    for (int64_t j = 0; j < count; ++j) {
        const double v = static_cast<double>(x[j]);
        e1 = EmaChain::next(e1, f[0], v);
        e2 = EmaChain::next(e2, f[1], v);
        line[j] = e1 - e2;
    }
    e[0] = e1;
    e[1] = e2;
}

#if defined(__has_builtin)
#if __has_builtin(__builtin_shufflevector)
#define ZOLV_SHUFFLES 1
#endif
#endif

// Writes the rows of kWidth consecutive bars, six values each, from band[b] (lane k: bar k's
// value b), to row[0 .. 6 * kWidth).
template <typename V>
inline void write_rows(const V (&band)[6], double* row) {
    constexpr int kWidth = sizeof(V) / sizeof(double);
#ifdef ZOLV_SHUFFLES
    if constexpr (kWidth == 8) {
        // Pairs (band 0, band 1) of bars 0-3 and of bars 4-7, likewise bands 2, 3 and 4, 5; the
        // rows of four bars are then three vectors of four pairs each.
        const V a[2] = {__builtin_shufflevector(band[0], band[1], 0, 8, 1, 9, 2, 10, 3, 11),
                        __builtin_shufflevector(band[0], band[1], 4, 12, 5, 13, 6, 14, 7, 15)};
        const V c[2] = {__builtin_shufflevector(band[2], band[3], 0, 8, 1, 9, 2, 10, 3, 11),
                        __builtin_shufflevector(band[2], band[3], 4, 12, 5, 13, 6, 14, 7, 15)};
        const V e[2] = {__builtin_shufflevector(band[4], band[5], 0, 8, 1, 9, 2, 10, 3, 11),
                        __builtin_shufflevector(band[4], band[5], 4, 12, 5, 13, 6, 14, 7, 15)};
        for (int h = 0; h < 2; ++h, row += 24) {
            const V ac = __builtin_shufflevector(a[h], c[h], 0, 1, 8, 9, 0, 1, 2, 3);
            const V ce = __builtin_shufflevector(c[h], e[h], 2, 3, 10, 11, 0, 1, 4, 5);
            const V ea = __builtin_shufflevector(e[h], a[h], 4, 5, 14, 15, 0, 1, 6, 7);
            store(row, V{__builtin_shufflevector(ac, e[h], 0, 1, 2, 3, 8, 9, 6, 7)});
            store(row + 8, V{__builtin_shufflevector(ce, a[h], 0, 1, 2, 3, 12, 13, 6, 7)});
            store(row + 16, V{__builtin_shufflevector(ea, c[h], 0, 1, 2, 3, 14, 15, 6, 7)});
        }
        return;
    } else if constexpr (kWidth == 4) {
        // Pairs of bars 0-1 and 2-3 of bands (0, 1), (2, 3) and (4, 5); every vector of a row
        // pairs two of them.
        const V a0 = __builtin_shufflevector(band[0], band[1], 0, 4, 1, 5);
        const V a1 = __builtin_shufflevector(band[0], band[1], 2, 6, 3, 7);
        const V c0 = __builtin_shufflevector(band[2], band[3], 0, 4, 1, 5);
        const V c1 = __builtin_shufflevector(band[2], band[3], 2, 6, 3, 7);
        const V e0 = __builtin_shufflevector(band[4], band[5], 0, 4, 1, 5);
        const V e1 = __builtin_shufflevector(band[4], band[5], 2, 6, 3, 7);
        store(row, V{__builtin_shufflevector(a0, c0, 0, 1, 4, 5)});
        store(row + 4, V{__builtin_shufflevector(e0, a0, 0, 1, 6, 7)});
        store(row + 8, V{__builtin_shufflevector(c0, e0, 2, 3, 6, 7)});
        store(row + 12, V{__builtin_shufflevector(a1, c1, 0, 1, 4, 5)});
        store(row + 16, V{__builtin_shufflevector(e1, a1, 0, 1, 6, 7)});
        store(row + 20, V{__builtin_shufflevector(c1, e1, 2, 3, 6, 7)});
        return;
    }
#endif
    double lanes[6][kWidth];
    for (int b = 0; b < 6; ++b) store(lanes[b], band[b]);
    for (int k = 0; k < kWidth; ++k) {
        for (int b = 0; b < 6; ++b) row[6 * k + b] = lanes[b][k];
    }
}

// d = v - m. With `fused` on AVX-512 lanes it is computed as v * 1.0 - m in one fused step:
// the same correctly rounded difference, but on the multiply units, which the additions of
// the deviation leave half idle.
#ifdef ZOLV_X86_LANES
template <typename V>
__attribute__((target("avx512f"))) inline void fused_difference(V& d, const V& v, const V& m) {
    __m512d a;
    __m512d b;
    std::memcpy(&a, &v, sizeof a);
    std::memcpy(&b, &m, sizeof b);
    a = _mm512_fmsub_pd(a, _mm512_set1_pd(1.0), b);
    std::memcpy(&d, &a, sizeof d);
}
#endif
template <typename V>
inline void difference(V& d, const V& v, const V& m, bool fused) {
#ifdef ZOLV_X86_LANES
    if constexpr (sizeof(V) == 64) {
        if (fused) return fused_difference(d, v, m);
    }
#endif
    d = v - m;
}

// The six bands of every window, computed in lanes and written as rows from there: the mean
// and deviation as stdev forms them (sum = sum + x over the window newest first, mean = sum /
// n; total = total + d * d newest first, d = x - mean; deviation the square root of total /
// (n - 1)), the bands formed from them as the per-bar calculation forms them. Window j is
// x[j .. j + n - 1]; its row goes to out + 6 * j. The loops over the groups are unrolled, so
// that the sums stay in registers. Each step also asks the cache for the integers of the next
// block at the same offsets (next[0 .. next_count)), so that they arrive while this one
// computes.
struct BandLanes {
    const double* x;
    int n;
    double* out;
    const int32_t* next;
    int64_t next_count;

    template <typename V, int G>
    void bars(int64_t j) const {
        constexpr int64_t kWidth = sizeof(V) / sizeof(double);
        const int64_t newest = j + n - 1;
        for (int64_t k = j; k < std::min(j + kWidth * G, next_count); k += 16) {
            __builtin_prefetch(next + k);
        }
        V m[G];
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) m[g] = V{};
        for (int64_t q = 0; q < n; ++q) {
#pragma GCC unroll 8
            for (int g = 0; g < G; ++g) {
                V v;
                load(v, x + newest + g * kWidth - q);
                m[g] = m[g] + v;
            }
        }
        V total[G];
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) {
            m[g] = m[g] / static_cast<double>(n);
            total[g] = V{};
        }
        for (int64_t q = 0; q < n; ++q) {
#pragma GCC unroll 8
            for (int g = 0; g < G; ++g) {
                V v;
                load(v, x + newest + g * kWidth - q);
                V d;
                difference(d, v, m[g], g % 2 == 0);
                total[g] = total[g] + d * d;
            }
        }
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) {
            V d = total[g] / static_cast<double>(n - 1);  // n = 1 gives 0/0: NaN
            set_sqrt(d);
            const V twice = d + d;
            const V thrice = d * 3.0;
            const V band[6] = {d + m[g],     m[g] - d,      twice + m[g],
                               m[g] - twice, thrice + m[g], m[g] - thrice};
            write_rows(band, out + 6 * (j + g * kWidth));
        }
    }
};

}  // namespace

// Each block's bars converted to doubles once, then every window's bands from the lanes.
Bars bollingerband_series(const ZOLV& z, char type, int t, Writer& w) {
    const Column& c = z.select_column(type);
    const Bars bars = window_bars(t, column_size(c), w.bars());
    for_chunks(bars, 2 * int64_t{t}, [&](Bars chunk) {
        std::vector<double> scratch;
        for (int64_t b0 = chunk.first; b0 < chunk.end; b0 += kBlock) {
            const int64_t count = std::min(kBlock, chunk.end - b0);
            scratch.resize(static_cast<size_t>(t - 1 + count));
            double* x = scratch.data();
            const int32_t* from = c.data() + (b0 - t + 1);
            const size_t size = scratch.size();
            const int64_t next_count = std::min(kBlock, chunk.end - b0 - count);
            const BandLanes lanes{x, t, w.reals(b0), from + (t - 1) + count, next_count};
            with_lanes([&](auto set) {
                for (size_t o = 0; o < size; ++o) x[o] = static_cast<double>(from[o]);
                over_lanes<decltype(set)>(lanes, 0, count);
            });
        }
        w.set_valid(chunk);
    });
    return bars;
}

// Highest high, lowest low and midpoint of the t bars before each bar.
Bars hlband_series(const ZOLV& z, int t, Writer& w) {
    const int64_t size = column_size(z.high);
    if (t < 1 || int64_t{t} + 1 > size || column_size(z.low) != size) return kNoBars;
    const Bars bars{t, std::min(size, w.bars())};
    for_chunks(bars, 3, [&](Bars chunk) {
        WindowExtremes highest(z.high, t, true, chunk.first - 1);
        WindowExtremes lowest(z.low, t, false, chunk.first - 1);
        std::vector<int32_t> hi(static_cast<size_t>(kBlock));
        std::vector<int32_t> lo(static_cast<size_t>(kBlock));
        for (int64_t b0 = chunk.first; b0 < chunk.end; b0 += kBlock) {
            poll_stop();
            const int64_t count = std::min(kBlock, chunk.end - b0);
            highest.next(count, hi.data());
            lowest.next(count, lo.data());
            int64_t* out = w.integers(b0);
            for (size_t k = 0; k < static_cast<size_t>(count); ++k) {
                out[3 * k] = hi[k];
                out[3 * k + 1] = lo[k];
                out[3 * k + 2] = static_cast<int32_t>((int64_t{hi[k]} + lo[k]) / 2);
            }
        }
        w.set_valid(chunk);
    });
    return bars;
}

namespace {

// The MACD line from its first bar on, written a stretch at a time.
class MacdLine {
public:
    MacdLine(const ZOLV& z, int t1, int t2, int first)
        : pair_(t1, t2, z.close, first),
          averages_{pair_.a.value, pair_.b.value},
          factors_{pair_.a.factor, pair_.b.factor},
          x_(pair_.x + pair_.at) {}

    // The line of the next `count` bars into out[0 .. count).
    void next(int64_t count, double* out) {
        if (count <= 0) return;
        int64_t j = 0;
        if (!started_) {  // the pair stands at the first bar
            out[j++] = averages_[0] - averages_[1];
            started_ = true;
        }
        advance_pair(averages_, factors_, x_ + 1, count - j, out + j);
        x_ += count - j;
    }

private:
    EmaPair pair_;
    double averages_[2];
    double factors_[2];
    const int32_t* x_;  // the bar of the last value written
    bool started_ = false;
};

// The rows of `block` bars: window[history + j] is bar j's line, the history line values before
// it complete its signal window.
void macd_rows(const double* window, int sig, int64_t block, double* signals, double* out,
               bool stream) {
    const int64_t history = sig - 1;
    run_lanes(WindowMeanLanes{window, sig, signals}, 0, block);
    for (int64_t j = 0; j < block; ++j) {
        store_pair(out + 2 * j, window[history + j], signals[j], stream);
    }
}

// The line goes into a ring of blocks, written by this thread, while a worker forms the
// signals and rows of the blocks behind it, so the averages never wait for the rest. False
// when no worker can be started; nothing is written then. When this thread stops (the call
// is stopped, say), the worker is told to give up and is waited for.
bool macd_in_two(MacdLine& line, int sig, Bars bars, Writer& w, bool stream) {
    const int64_t history = sig - 1;
    const int64_t total = history + (bars.end - bars.first);  // line values to write
    // Room for the window of a block and 16 blocks more: the worker may fall behind for a
    // while before this thread has to wait for it.
    const int64_t capacity = ((history + kBlock - 1) / kBlock + 17) * kBlock;
    std::vector<double> ring(static_cast<size_t>(capacity));
    std::vector<double> window(static_cast<size_t>(history + kBlock));
    std::vector<double> signals(static_cast<size_t>(kBlock));
    std::atomic<int64_t> written{0};   // line values in the ring
    std::atomic<int64_t> released{0};  // line values the worker no longer needs
    std::atomic<bool> abandoned{false};
    auto rows = [&]() noexcept {
        for (int64_t b0 = bars.first; b0 < bars.end; b0 += kBlock) {
            const int64_t block = std::min(kBlock, bars.end - b0);
            const int64_t first = b0 - bars.first;  // the window's first line value
            while (written.load(std::memory_order_acquire) < first + history + block) {
                if (abandoned.load(std::memory_order_relaxed)) return;
                std::this_thread::yield();
            }
            // The window may wrap around the end of the ring: at most two stretches.
            const int64_t start = first % capacity;
            const int64_t before_end = std::min(history + block, capacity - start);
            std::copy(ring.begin() + start, ring.begin() + start + before_end, window.begin());
            std::copy(ring.begin(), ring.begin() + (history + block - before_end),
                      window.begin() + before_end);
            released.store(first + block, std::memory_order_release);
            macd_rows(window.data(), sig, block, signals.data(), w.reals(b0), stream);
        }
        end_streams();
    };
    std::thread worker;
    try {
        worker = std::thread(rows);
    } catch (...) {
        return false;
    }
    try {
        for (int64_t e0 = 0; e0 < total; e0 += kBlock) {
            const int64_t n = std::min(kBlock, total - e0);
            poll_stop();
            while (released.load(std::memory_order_acquire) < e0 + n - capacity) {
                std::this_thread::yield();
            }
            line.next(n, ring.data() + e0 % capacity);
            written.store(e0 + n, std::memory_order_release);
        }
    } catch (...) {
        abandoned.store(true, std::memory_order_relaxed);
        worker.join();
        throw;
    }
    worker.join();
    return true;
}

}  // namespace

// Both averages advance together in one forward pass that writes the MACD line; every block
// of it then gets its signals, the sig line values of each summed newest first in lanes. A
// large call forms the rows on a second thread while this one advances the averages.
Bars macd_series(const ZOLV& z, int t1, int t2, int sig, Writer& w) {
    const int64_t count = w.bars();
    const int64_t longer = std::max(t1, t2);
    const Bars bars = t1 > 0 && t2 > 0 && sig > 0 ? Bars{longer + sig - 2, count} : kNoBars;
    if (bars.empty()) return kNoBars;
    const bool stream = w.streams();
    MacdLine line(z, t1, t2, static_cast<int>(longer - 1));
    if (thread_count(bars, int64_t{sig} + 8) < 2 || !macd_in_two(line, sig, bars, w, stream)) {
        // window[0 .. history) holds the line of the sig - 1 bars before a block, then the
        // block's own.
        const int64_t history = sig - 1;
        std::vector<double> window(static_cast<size_t>(history + kBlock));
        std::vector<double> signals(static_cast<size_t>(kBlock));
        line.next(history, window.data());
        for (int64_t b0 = bars.first; b0 < bars.end; b0 += kBlock) {
            poll_stop();
            const int64_t block = std::min(kBlock, bars.end - b0);
            line.next(block, window.data() + history);
            macd_rows(window.data(), sig, block, signals.data(), w.reals(b0), stream);
            std::copy(window.begin() + block, window.begin() + block + history, window.begin());
        }
        end_streams();
    }
    w.set_valid(bars);
    return bars;
}

}  // namespace zolv
