// Shared by the whole-series calculations of every family: bar ranges, the result writer,
// window extremes, lanes across bars and the split of a call over worker threads.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "indicators/series.h"
#include "series/zolv.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace zolv {

// Integers of magnitude up to 2^53 are exact doubles: a double sum whose every partial sum
// stays within it is the exact integer sum, whatever the order of its terms.
constexpr int64_t kExactLimit = int64_t{1} << 53;

// True when `count` terms of magnitude at most `largest` always add up exactly in doubles.
inline bool sums_exact(int64_t count, int64_t largest) {
    return largest == 0 || count <= kExactLimit / largest;
}

// The bars where the window check of sma, ema and stdev passes: 1 <= n <= size of the column
// read and n - 1 <= k < that size (k also below the number of bars).
inline Bars window_bars(int n, int64_t column, int64_t bars) {
    if (n < 1 || n > column) return kNoBars;
    return {n - 1, std::min(column, bars)};
}

// Where a calculation puts its values: the result, sized for every bar but not cleared. A
// calculation writes every value and valid flag of the bars it answers for (the Bars it
// returns); `series` clears the others. Chunks of a call on different threads write
// different bars.
class Writer {
public:
    explicit Writer(SeriesResult* r)
        : r_(r), width_(r->width), bars_(static_cast<int64_t>(r->valid.size())) {}
    int64_t bars() const { return bars_; }
    double* reals(int64_t k) { return r_->reals.data() + k * width_; }
    int64_t* integers(int64_t k) { return r_->integers.data() + k * width_; }
    uint8_t* valid(int64_t k) { return r_->valid.data() + k; }
    void set_valid(Bars b) {
        if (!b.empty()) std::memset(valid(b.first), 1, static_cast<size_t>(b.end - b.first));
    }
    // Whether rows of an even width go straight to memory (see store_pair): for results far
    // larger than the caches, whose values are written once and read later.
    bool streams() const {
        const int64_t bytes = bars_ * width_ * static_cast<int64_t>(sizeof(double));
        return width_ % 2 == 0 && bytes >= (int64_t{1} << 23) && !r_->reals.empty() &&
               reinterpret_cast<uintptr_t>(r_->reals.data()) % 16 == 0;
    }
    // Writes one value and marks its bar valid.
    void real(int64_t k, double v) {
        *valid(k) = 1;
        *reals(k) = v;
    }
    // Marks bar k as failing, its values 0.
    void fail(int64_t k);
    // Marks every bar outside `answered` as failing.
    void clear_outside(Bars answered);

private:
    SeriesResult* r_;
    int64_t width_;
    int64_t bars_;
};

// Writes a and b to p[0] and p[1] (p 16-byte aligned), past the caches when `stream` is set;
// a thread that streamed calls end_streams before others may read what it wrote.
inline void store_pair(double* p, double a, double b, bool stream) {
#ifdef __SSE2__
    if (stream) return _mm_stream_pd(p, _mm_set_pd(b, a));
#endif
    p[0] = a;
    p[1] = b;
}
inline void end_streams() {
#ifdef __SSE2__
    _mm_sfence();
#endif
}

// ---- Stopping -----------------------------------------------------------------------------

// A call's stop: its interrupt, asked by the calling thread only, and whether it has said stop.
struct CallStop {
    SeriesInterrupt* interrupt = nullptr;
    std::atomic<bool> stopped{false};
};

// Makes `stop` the call the current thread works for, for the length of the scope; the calling
// thread `asks` its interrupt, the workers only read the flag.
class StopScope {
public:
    StopScope(CallStop* stop, bool asks);
    ~StopScope();
    StopScope(const StopScope&) = delete;
    StopScope& operator=(const StopScope&) = delete;

private:
    CallStop* previous_;
    bool previous_asks_;
};

// Thrown by poll_stop once the call has been asked to stop; `series` answers kSeriesStopped.
struct SeriesStopped {};

// Called by the lines between blocks of bars, on the calling thread and the workers alike:
// throws SeriesStopped when the call has been asked to stop. On the calling thread it first
// asks the interrupt.
void poll_stop();

// ---- Worker threads -----------------------------------------------------------------------

// Calls body(chunk) for consecutive chunks that together cover `bars`. A call whose work
// (cost_per_bar window terms at each bar) is large runs on worker threads too, each taking the
// next chunk that no thread has taken; chunks are whole blocks of kSplitBlock bars from
// bars.first, of at most kChunkBars bars. Each chunk must compute its bars as if it were alone,
// so that no value depends on the split. An exception thrown by a chunk (SeriesStopped
// included) reaches the caller once every thread has finished, and no thread starts another
// chunk after it; while the workers finish, the calling thread keeps asking the interrupt. A
// thread that cannot be started leaves its chunks to the others.
void for_chunks(Bars bars, int64_t cost_per_bar, const std::function<void(Bars)>& body);
// The number of threads for_chunks would run `bars` on.
int64_t thread_count(Bars bars, int64_t cost_per_bar);
constexpr int64_t kSplitBlock = 64;
// The most bars of one chunk: the whole-line passes that have no blocks of their own stop
// between chunks.
constexpr int64_t kChunkBars = int64_t{1} << 20;
// Bars per step of a chunk in the lines that fill a scratch array: it stays in the cache.
constexpr int64_t kBlock = 2048;
constexpr int64_t kChunksPerThread = 4;

// A line in two stages over the bars [0, end), kBlock bars at a time, on two threads at once:
// first(block) hands what the second stage needs of the block's bars to the caller's storage
// (room for every bar), on the calling thread, block after block without waiting; second(block)
// takes it in on a worker, block after block as they come. Once the first stage is done the
// calling thread takes over the blocks the worker has not started (a busy machine may leave the
// worker little time). The calling thread asks whether to stop between blocks. An exception
// thrown by either stage reaches the caller once the worker has finished. False, having done
// nothing, when no worker thread can be started.
bool run_stages(int64_t end, const std::function<void(Bars)>& first,
                const std::function<void(Bars)>& second);

// The least work (window terms) of one chunk: a call splits only into chunks of at least this
// much. Tests lower it to split small series.
int64_t series_chunk_work();
void set_series_chunk_work(int64_t terms);

// ---- Window extremes ----------------------------------------------------------------------

// Highest (or lowest) value of every t-value window of a column, streamed window by window:
// the column is cut into blocks of t values, and the window ending at j takes the suffix
// extreme of the block before j's block from j - t + 1 on and the prefix extreme of j's own
// block up to j. Integers only, so the grouping never changes a value.
class WindowExtremes {
public:
    // Windows of `t` values of `c` (t >= 1), the first one ending at `first_end`
    // (first_end >= t - 1).
    WindowExtremes(const Column& c, int64_t t, bool largest, int64_t first_end);
    // The extremes of the windows ending at the next `count` positions, into out[0 .. count).
    void next(int64_t count, int32_t* out);

private:
    void start_block();
    const int32_t* x_;
    int64_t t_;
    bool largest_;
    int64_t block_;                // first position of the current block
    int64_t at_;                   // next window end
    int32_t running_;              // prefix extreme of the current block up to at_ - 1
    std::vector<int32_t> suffix_;  // suffix extremes of the previous block, and an identity
};

// ---- Lanes across bars --------------------------------------------------------------------

// Lane types: a Real holds one double per lane; kGroups vectors run side by side, so that a
// kernel keeps several independent chains of additions in flight.
struct ScalarLanes {
    using Real = double;
    static constexpr int kWidth = 1;
    static constexpr int kGroups = 8;
};
#if defined(__x86_64__) || defined(__i386__)
#define ZOLV_X86_LANES 1
struct Avx2Lanes {
    typedef double Real __attribute__((vector_size(32)));
    static constexpr int kWidth = 4;
    static constexpr int kGroups = 4;
};
struct Avx512Lanes {
    typedef double Real __attribute__((vector_size(64)));
    static constexpr int kWidth = 8;
    static constexpr int kGroups = 4;
};
#endif

// Lane helpers, in place (a vector passed by value would change the ABI per target).
template <typename V>
inline void load(V& v, const double* p) {
    std::memcpy(&v, p, sizeof v);
}
template <typename V>
inline void store(double* p, const V& v) {
    std::memcpy(p, &v, sizeof v);
}
// |v|, as fabs: the sign bit cleared, NaN and -0.0 included.
template <typename V>
inline void set_abs(V& v) {
    uint64_t bits[sizeof(V) / sizeof(double)];
    std::memcpy(bits, &v, sizeof bits);
    for (uint64_t& b : bits) b &= ~(uint64_t{1} << 63);
    std::memcpy(&v, bits, sizeof bits);
}
// The correctly rounded square root of every lane.
template <typename V>
inline void set_sqrt(V& v) {
    double lanes[sizeof(V) / sizeof(double)];
    std::memcpy(lanes, &v, sizeof lanes);
    for (double& d : lanes) d = __builtin_sqrt(d);
    std::memcpy(&v, lanes, sizeof lanes);
}

// Runs a lane kernel over the bars [first, end): k.template bars<V, G>(i) computes the bars
// i .. i + G * width - 1, lane j of group g bar i + g * width + j, with V a Real of the lane type
// (the leftovers one bar at a time, V double and G 1).
template <typename L, typename Kernel>
inline void over_lanes(const Kernel& k, int64_t first, int64_t end) {
    constexpr int64_t kStep = int64_t{L::kWidth} * L::kGroups;
    int64_t i = first;
    for (; i + kStep <= end; i += kStep) k.template bars<typename L::Real, L::kGroups>(i);
    for (; i + L::kWidth <= end; i += L::kWidth) k.template bars<typename L::Real, 1>(i);
    for (; i < end; ++i) k.template bars<double, 1>(i);
}

// body(lanes) compiled once per instruction set, with everything it calls compiled into it:
// the plain loops inside may widen to the vectors of that set as well.
template <typename Body>
__attribute__((flatten)) void on_scalar(const Body& body) {
    body(ScalarLanes{});
}
#ifdef ZOLV_X86_LANES
template <typename Body>
__attribute__((target("avx2"), flatten)) void on_avx2(const Body& body) {
    body(Avx2Lanes{});
}
template <typename Body>
__attribute__((target("avx512f,avx512dq"), flatten)) void on_avx512(const Body& body) {
    body(Avx512Lanes{});
}
#endif

// Calls body(lanes) on the lanes in use; lanes is an empty object of the lane type.
template <typename Body>
void with_lanes(const Body& body) {
    switch (series_lanes()) {
#ifdef ZOLV_X86_LANES
        case SeriesLanes::kAvx512:
            return on_avx512(body);
        case SeriesLanes::kAvx2:
            return on_avx2(body);
#endif
        default:
            return on_scalar(body);
    }
}

// Runs a lane kernel (see over_lanes) over [first, end) on the lanes in use.
template <typename Kernel>
void run_lanes(const Kernel& k, int64_t first, int64_t end) {
    with_lanes([&](auto lanes) { over_lanes<decltype(lanes)>(k, first, end); });
}

// sum[g] = sum[g] + x over the n values of the window ending at `newest` + g lanes, newest
// first: the ordered window sum of G groups of lanes at once.
template <typename V, int G>
inline void window_sums(const double* x, int64_t newest, int64_t n, V (&sum)[G]) {
    constexpr int64_t kWidth = sizeof(V) / sizeof(double);
    for (int g = 0; g < G; ++g) sum[g] = V{};
    for (int64_t q = 0; q < n; ++q) {
        for (int g = 0; g < G; ++g) {
            V v;
            load(v, x + newest + g * kWidth - q);
            sum[g] = sum[g] + v;
        }
    }
}

// The mean of a window of doubles, summed newest first: sum = sum + x, out = sum / n, where
// window j is x[j .. j + n - 1] and out[j] its mean (the signal of macd, the ADX of dmi, the
// slow %D of stc_sd). Their lines hold NaNs of one sign at most, so the order of the two
// operands of each addition does not matter.
struct WindowMeanLanes {
    const double* x;
    int n;
    double* out;

    template <typename V, int G>
    void bars(int64_t j) const {
        constexpr int64_t kWidth = sizeof(V) / sizeof(double);
        V sum[G];
        window_sums(x, j + n - 1, n, sum);
        for (int g = 0; g < G; ++g) {
            const V mean = sum[g] / static_cast<double>(n);
            store(out + j + g * kWidth, mean);
        }
    }
};

// ---- The calculations of each family, called by `series` ------------------------------------
// Each writes the bars it answers for and returns them (w.bars() is the number of bars).

// The mean (where `mean` is not null) and the sample standard deviation of the n-bar window
// ending at each bar of `bars` (n >= 1, bars.first >= n - 1, the column long enough), as stdev
// and bollingerband form them, into mean[k - bars.first] and deviation[k - bars.first];
// `scratch` is storage the caller may reuse.
void deviation_line(const Column& c, int n, Bars bars, double* mean, double* deviation,
                    std::vector<double>* scratch);

// The ranks in the window x[0 .. n) (n >= 1): ge[o] of its values are at least x[o] and eq[o]
// equal to it, x[o] itself included; `keys` is scratch for n entries.
void window_ranks(const int32_t* x, int n, uint64_t* keys, int32_t* ge, int32_t* eq);

Bars sma_series(const ZOLV& z, char type, int n, Writer& w);
Bars ema_series(const ZOLV& z, char type, int n, Writer& w);
Bars stdev_series(const ZOLV& z, char type, int n, Writer& w);
Bars conv_series(const ZOLV& z, char type, int s, int l, bool exponential, Writer& w);
Bars bollingerband_series(const ZOLV& z, char type, int t, Writer& w);
Bars hlband_series(const ZOLV& z, int t, Writer& w);
Bars macd_series(const ZOLV& z, int t1, int t2, int sig, Writer& w);
Bars momentum_series(const ZOLV& z, char type, int n, Writer& w);
Bars roc_series(const ZOLV& z, int n, Writer& w);
Bars psychological_series(const ZOLV& z, char type, int n, Writer& w);
Bars rsi_series(const ZOLV& z, int n, Writer& w);
Bars rci_series(const ZOLV& z, char type, int n, Writer& w);
Bars cci_series(const ZOLV& z, int t, Writer& w);
Bars tr_series(const ZOLV& z, Writer& w);
Bars dmi_series(const ZOLV& z, int n, int m, Writer& w);
Bars k_series(const ZOLV& z, int t, bool williams, Writer& w);
Bars stc_d_series(const ZOLV& z, int t, int m, Writer& w);
Bars stc_sd_series(const ZOLV& z, int t, int m, int y, Writer& w);
Bars ultimate_osi_series(const ZOLV& z, int t, Writer& w);
enum class VolumeRatio { kVr1, kVr2, kWvr };
Bars volume_ratio_series(const ZOLV& z, VolumeRatio kind, int t, Writer& w);
Bars mfi_series(const ZOLV& z, int t, Writer& w);

}  // namespace zolv
