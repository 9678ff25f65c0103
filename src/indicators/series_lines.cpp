// This file contains what the whole-series calculations share: the result writer, the split
// of a call over worker threads and its settings, the lanes setting and window extremes.
#include "indicators/series_lines.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <limits>
#include <mutex>
#include <thread>

namespace zolv {

void Writer::fail(int64_t k) {
    *valid(k) = 0;
    if (r_->shape == SeriesShape::kInteger || r_->shape == SeriesShape::kIntegerList) {
        std::fill(integers(k), integers(k + 1), int64_t{0});
    } else {
        std::fill(reals(k), reals(k + 1), 0.0);
    }
}

void Writer::clear_outside(Bars answered) {
    if (answered.empty()) answered = {bars_, bars_};
    std::fill(valid(0), valid(answered.first), uint8_t{0});
    std::fill(valid(answered.end), valid(bars_), uint8_t{0});
    if (r_->shape == SeriesShape::kInteger || r_->shape == SeriesShape::kIntegerList) {
        std::fill(integers(0), integers(answered.first), int64_t{0});
        std::fill(integers(answered.end), integers(bars_), int64_t{0});
    } else {
        std::fill(reals(0), reals(answered.first), 0.0);
        std::fill(reals(answered.end), reals(bars_), 0.0);
    }
}

// ---- Settings -----------------------------------------------------------------------------

namespace {

// ZOLV_THREADS as a count: a positive decimal integer, nothing else; 0 when it is not one.
int threads_from_environment() {
    const char* text = std::getenv("ZOLV_THREADS");
    if (text == nullptr || *text == '\0') return 0;
    int64_t count = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return 0;
        count = count * 10 + (*p - '0');
        if (count > std::numeric_limits<int>::max()) return 0;
    }
    return static_cast<int>(count);
}

int default_threads() {
    static const int kDefault = [] {
        const int from_environment = threads_from_environment();
        if (from_environment > 0) return from_environment;
        const unsigned hardware = std::thread::hardware_concurrency();
        return hardware > 0 && hardware < 4096 ? static_cast<int>(hardware) : 1;
    }();
    return kDefault;
}

SeriesLanes best_lanes() {
    static const SeriesLanes kBest = [] {
        if (series_lanes_supported(SeriesLanes::kAvx512)) return SeriesLanes::kAvx512;
        if (series_lanes_supported(SeriesLanes::kAvx2)) return SeriesLanes::kAvx2;
        return SeriesLanes::kScalar;
    }();
    return kBest;
}

// Process-wide settings, read by every call: 0 (or -1 for the lanes) means the default.
std::atomic<int> g_threads{0};
std::atomic<int> g_lanes{-1};
std::atomic<int64_t> g_chunk_work{int64_t{1} << 17};

}  // namespace

int series_threads() {
    const int set = g_threads.load(std::memory_order_relaxed);
    return set > 0 ? set : default_threads();
}

bool set_series_threads(int count) {
    if (count < 1) return false;
    g_threads.store(count, std::memory_order_relaxed);
    return true;
}

bool series_lanes_supported(SeriesLanes lanes) {
    switch (lanes) {
        case SeriesLanes::kScalar:
            return true;
#ifdef ZOLV_X86_LANES
        case SeriesLanes::kAvx2:
            __builtin_cpu_init();
            return __builtin_cpu_supports("avx2");
        case SeriesLanes::kAvx512:
            __builtin_cpu_init();
            return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq");
#endif
        default:
            return false;
    }
}

SeriesLanes series_lanes() {
    const int set = g_lanes.load(std::memory_order_relaxed);
    return set < 0 ? best_lanes() : static_cast<SeriesLanes>(set);
}

bool set_series_lanes(SeriesLanes lanes) {
    if (!series_lanes_supported(lanes)) return false;
    g_lanes.store(static_cast<int>(lanes), std::memory_order_relaxed);
    return true;
}

int64_t series_chunk_work() {
    return g_chunk_work.load(std::memory_order_relaxed);
}

void set_series_chunk_work(int64_t terms) {
    g_chunk_work.store(std::max<int64_t>(terms, 1), std::memory_order_relaxed);
}

// ---- Stopping -----------------------------------------------------------------------------

namespace {

// The call this thread works for, and whether it is the thread that asks its interrupt.
thread_local CallStop* t_stop = nullptr;
thread_local bool t_asks = false;

// On the calling thread: asks the interrupt, and raises the call's flag when it says stop.
void ask(CallStop* stop) {
    if (t_asks && stop->interrupt && !stop->stopped.load(std::memory_order_relaxed) &&
        stop->interrupt->stop_requested()) {
        stop->stopped.store(true, std::memory_order_relaxed);
    }
}

}  // namespace

StopScope::StopScope(CallStop* stop, bool asks) : previous_(t_stop), previous_asks_(t_asks) {
    t_stop = stop;
    t_asks = asks;
}

StopScope::~StopScope() {
    t_stop = previous_;
    t_asks = previous_asks_;
}

void poll_stop() {
    CallStop* stop = t_stop;
    if (!stop) return;
    ask(stop);
    if (stop->stopped.load(std::memory_order_relaxed)) throw SeriesStopped();
}

// ---- Worker threads -----------------------------------------------------------------------

namespace {

// How a call splits: the threads it runs on and the chunks its bars are cut into.
struct Split {
    int64_t threads;
    int64_t chunks;
};

Split split_of(Bars bars, int64_t cost_per_bar) {
    if (bars.empty()) return {0, 0};
    const int64_t count = bars.end - bars.first;
    const int64_t blocks = (count + kSplitBlock - 1) / kSplitBlock;
    const int64_t cost = std::max<int64_t>(cost_per_bar, 1);
    const int64_t work = cost > std::numeric_limits<int64_t>::max() / count
                             ? std::numeric_limits<int64_t>::max()
                             : cost * count;
    const int64_t most = std::max<int64_t>(1, std::min(blocks, work / series_chunk_work()));
    const int64_t threads = std::min<int64_t>(series_threads(), most);
    // A few chunks per thread: a thread that the system holds back leaves its chunks to others.
    // None longer than kChunkBars.
    const int64_t shortest = std::min(blocks, (count + kChunkBars - 1) / kChunkBars);
    return {threads, std::max(shortest, std::min(most, kChunksPerThread * threads))};
}

}  // namespace

int64_t thread_count(Bars bars, int64_t cost_per_bar) {
    return split_of(bars, cost_per_bar).threads;
}

void for_chunks(Bars bars, int64_t cost_per_bar, const std::function<void(Bars)>& body) {
    if (bars.empty()) return;
    poll_stop();
    const Split split = split_of(bars, cost_per_bar);
    if (split.chunks <= 1) return body(bars);
    // Chunk p holds the blocks [blocks * p / chunks, blocks * (p + 1) / chunks); the threads
    // take the next chunk that nobody has taken until none is left or one has failed.
    const int64_t blocks = (bars.end - bars.first + kSplitBlock - 1) / kSplitBlock;
    const int64_t chunks = split.chunks;
    auto chunk = [&](int64_t p) {
        const int64_t first = bars.first + blocks * p / chunks * kSplitBlock;
        const int64_t end = bars.first + blocks * (p + 1) / chunks * kSplitBlock;
        return Bars{first, std::min(end, bars.end)};
    };
    std::vector<std::exception_ptr> errors(static_cast<size_t>(chunks));
    std::atomic<int64_t> next{0};
    std::atomic<bool> failed{false};
    auto run = [&]() noexcept {
        for (int64_t p; !failed.load(std::memory_order_relaxed) &&
                        (p = next.fetch_add(1, std::memory_order_relaxed)) < chunks;) {
            try {
                poll_stop();
                body(chunk(p));
            } catch (...) {
                errors[static_cast<size_t>(p)] = std::current_exception();
                failed.store(true, std::memory_order_relaxed);
            }
        }
    };
    // The workers work for the same call as this thread, and say when they are done.
    CallStop* const stop = t_stop;
    std::mutex mutex;
    std::condition_variable finished;
    int64_t running = 0;  // guarded by mutex
    auto work = [&]() noexcept {
        const StopScope scope(stop, false);
        run();
        std::lock_guard<std::mutex> lock(mutex);
        --running;
        finished.notify_one();
    };
    std::vector<std::thread> workers;
    workers.reserve(static_cast<size_t>(split.threads - 1));
    for (int64_t t = 1; t < split.threads; ++t) {
        std::lock_guard<std::mutex> lock(mutex);
        try {
            workers.emplace_back(work);
            ++running;
        } catch (...) {  // no thread to be had: the others take its chunks
            break;
        }
    }
    run();
    {
        // Waiting for the workers, this thread still asks the interrupt every millisecond.
        std::unique_lock<std::mutex> lock(mutex);
        while (
            !finished.wait_for(lock, std::chrono::milliseconds(1), [&] { return running == 0; })) {
            lock.unlock();
            if (stop) ask(stop);
            lock.lock();
        }
    }
    for (std::thread& t : workers) t.join();
    for (const std::exception_ptr& e : errors) {
        if (e) std::rethrow_exception(e);
    }
}

// ---- Window extremes ----------------------------------------------------------------------

namespace {

template <bool kLargest>
int32_t extreme(int32_t a, int32_t b) {
    return kLargest ? std::max(a, b) : std::min(a, b);
}

template <bool kLargest>
constexpr int32_t identity() {
    return kLargest ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
}

// Suffix extremes of x[0 .. t) into suffix[0 .. t); suffix[t] stays the identity.
template <bool kLargest>
void suffix_extremes(const int32_t* x, int64_t t, int32_t* suffix) {
    int32_t run = identity<kLargest>();
    for (int64_t o = t - 1; o >= 0; --o) {
        run = extreme<kLargest>(run, x[o]);
        suffix[o] = run;
    }
}

// Windows ending at j in [at, end), all inside the block starting at `block`.
template <bool kLargest>
int32_t prefix_windows(const int32_t* x, const int32_t* suffix, int64_t block, int64_t at,
                       int64_t end, int32_t running, int32_t* out) {
    for (int64_t j = at; j < end; ++j) {
        running = extreme<kLargest>(running, x[j]);
        *out++ = extreme<kLargest>(suffix[j - block + 1], running);
    }
    return running;
}

}  // namespace

WindowExtremes::WindowExtremes(const Column& c, int64_t t, bool largest, int64_t first_end)
    : x_(c.data()),
      t_(t),
      largest_(largest),
      block_(first_end - t + 1),
      at_(first_end),
      running_(largest ? identity<true>() : identity<false>()),
      suffix_(static_cast<size_t>(t + 1), running_) {
    for (int64_t j = block_; j < at_; ++j) {
        running_ = largest_ ? extreme<true>(running_, x_[j]) : extreme<false>(running_, x_[j]);
    }
}

void WindowExtremes::start_block() {
    if (largest_) {
        suffix_extremes<true>(x_ + block_, t_, suffix_.data());
    } else {
        suffix_extremes<false>(x_ + block_, t_, suffix_.data());
    }
    block_ += t_;
    running_ = largest_ ? identity<true>() : identity<false>();
}

void WindowExtremes::next(int64_t count, int32_t* out) {
    const int64_t end = at_ + count;
    while (at_ < end) {
        if (at_ == block_ + t_) start_block();
        const int64_t stop = std::min(end, block_ + t_);
        running_ =
            largest_ ? prefix_windows<true>(x_, suffix_.data(), block_, at_, stop, running_, out)
                     : prefix_windows<false>(x_, suffix_.data(), block_, at_, stop, running_, out);
        out += stop - at_;
        at_ = stop;
    }
}

}  // namespace zolv
