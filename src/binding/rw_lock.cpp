// This file contains the waiting paths of the object lock; the paths without
// contention are inline in its header.
#include "binding/rw_lock.h"

namespace zolv {

void RwLock::wake() {
    // Taking the mutex orders the wake-up after a sleeper's last look at the state.
    std::lock_guard<std::mutex> guard(mutex_);
    changed_.notify_all();
}

void RwLock::leave_sleep() {
    if (--sleepers_ == 0) state_.fetch_and(~kSleepers, std::memory_order_relaxed);
}

void RwLock::lock_shared_slow() {
    // Step back out (letting a writer in if this was the last reader), then wait
    // until no writer holds or waits for the lock.
    unlock_shared();
    std::unique_lock<std::mutex> guard(mutex_);
    ++sleepers_;
    state_.fetch_or(kSleepers, std::memory_order_relaxed);  // before the look below
    for (;;) {
        uint32_t state = state_.load(std::memory_order_relaxed);
        while (!(state & (kWriter | kWriterWaiting))) {
            if (state_.compare_exchange_weak(state, state + kReader, std::memory_order_acquire,
                                             std::memory_order_relaxed)) {
                leave_sleep();
                return;
            }
        }
        changed_.wait(guard);
    }
}

void RwLock::lock_slow() {
    std::unique_lock<std::mutex> guard(mutex_);
    ++writers_waiting_;
    ++sleepers_;
    state_.fetch_or(kWriterWaiting | kSleepers, std::memory_order_relaxed);
    for (;;) {
        uint32_t state = state_.load(std::memory_order_relaxed);
        // Free when no reader and no writer holds it.
        while ((state & ~(kWriterWaiting | kSleepers)) == 0) {
            uint32_t taken = kWriter;
            if (writers_waiting_ > 1) taken |= kWriterWaiting;
            if (sleepers_ > 1) taken |= kSleepers;
            if (state_.compare_exchange_weak(state, taken, std::memory_order_acquire,
                                             std::memory_order_relaxed)) {
                --writers_waiting_;
                --sleepers_;
                return;
            }
        }
        changed_.wait(guard);
    }
}

}  // namespace zolv
