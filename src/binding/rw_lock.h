// A reader-writer lock for one object: readers share it, a writer excludes
// everyone, and a waiting writer holds back new readers, so that a change or a
// delete is never starved by a stream of indicator calls. Taking and releasing
// it without contention costs one atomic operation each.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace zolv {

class RwLock {
public:
    RwLock() = default;
    RwLock(const RwLock&) = delete;
    RwLock& operator=(const RwLock&) = delete;

    void lock_shared() {
        const uint32_t before = state_.fetch_add(kReader, std::memory_order_acquire);
        if (before & (kWriter | kWriterWaiting)) lock_shared_slow();
    }
    void unlock_shared() {
        const uint32_t before = state_.fetch_sub(kReader, std::memory_order_release);
        // The last reader out lets a waiting writer in.
        if ((before & kWriterWaiting) && (before >> kReaderShift) == 1) wake();
    }
    void lock() {
        uint32_t free_state = 0;
        if (!state_.compare_exchange_strong(free_state, kWriter, std::memory_order_acquire,
                                            std::memory_order_relaxed)) {
            lock_slow();
        }
    }
    void unlock() {
        const uint32_t before = state_.fetch_and(~kWriter, std::memory_order_release);
        if (before & kSleepers) wake();
    }

private:
    static constexpr uint32_t kWriter = 1;         // a writer holds the lock
    static constexpr uint32_t kWriterWaiting = 2;  // writers wait: new readers queue behind them
    static constexpr uint32_t kSleepers = 4;       // someone sleeps until the state changes
    static constexpr int kReaderShift = 3;
    static constexpr uint32_t kReader = uint32_t{1} << kReaderShift;

    void lock_shared_slow();
    void lock_slow();
    // Marks the end of a sleep; the mutex is held.
    void leave_sleep();
    void wake();

    // kWriter, kWriterWaiting and kSleepers, and the number of readers above them.
    // Readers add and remove themselves without the mutex; the other bits change
    // only with the mutex held.
    std::atomic<uint32_t> state_{0};
    std::mutex mutex_;
    std::condition_variable changed_;
    int writers_waiting_ = 0;  // guarded by mutex_
    int sleepers_ = 0;         // guarded by mutex_
};

}  // namespace zolv
