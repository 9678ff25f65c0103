// This file contains the storage of a column: where its free slots go when it
// grows at either end.
#include "series/column.h"

#include <algorithm>
#include <cstring>
#include <utility>

Column::Column(size_t count, int32_t value) {
    reserve_back(count);
    std::fill(first_, first_ + count, value);
    size_ = count;
}

void Column::move_to(size_t capacity, size_t gap) {
    int32_t* storage = new int32_t[capacity];  // the only step that can fail comes first
    if (size_ > 0) std::memcpy(storage + gap, first_, size_ * sizeof(int32_t));
    delete[] storage_;
    storage_ = storage;
    capacity_ = capacity;
    first_ = storage + gap;
}

void Column::reserve_back(size_t extra) {
    const size_t gap = static_cast<size_t>(first_ - storage_);
    const size_t room = capacity_ - gap - size_;
    if (room >= extra) return;
    // Free slots before the oldest value that have outgrown the values go to the
    // other end: the values move down in place, once per as many removals.
    if (gap >= size_ && gap + room >= extra) {
        if (size_ > 0) std::memmove(storage_, first_, size_ * sizeof(int32_t));
        first_ = storage_;
        return;
    }
    // An empty column gets exactly the room asked for; a growing one at least doubles.
    const size_t needed = size_ + extra;
    move_to(size_ == 0 ? needed : std::max(needed, 2 * size_), 0);
}

void Column::reserve_front(size_t extra) {
    const size_t gap = static_cast<size_t>(first_ - storage_);
    if (gap >= extra) return;
    // The room before the oldest value at least doubles; the room after it stays.
    const size_t room = capacity_ - gap - size_;
    const size_t new_gap = std::max(extra, size_);
    move_to(new_gap + size_ + room, new_gap);
}

void Column::swap(Column& other) noexcept {
    std::swap(storage_, other.storage_);
    std::swap(first_, other.first_);
    std::swap(capacity_, other.capacity_);
    std::swap(size_, other.size_);
}

bool operator==(const Column& a, const Column& b) {
    return a.size_ == b.size_ &&
           (a.size_ == 0 || std::memcmp(a.first_, b.first_, a.size_ * sizeof(int32_t)) == 0);
}
