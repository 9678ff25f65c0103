// One column of bars: 32-bit values, oldest first, in one contiguous array
// with room kept free before the oldest value as well as after the newest, so
// that values are added and removed at both ends in amortized constant time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <type_traits>
#include <vector>

class Column {
public:
    using value_type = int32_t;
    using iterator = int32_t*;
    using const_iterator = const int32_t*;

    Column() = default;
    explicit Column(size_t count, int32_t value = 0);
    Column(std::initializer_list<int32_t> values) : Column(values.begin(), values.end()) {}
    // A copy of plain values, so that a std::vector of them serves wherever a column does.
    Column(const std::vector<int32_t>& values) : Column(values.begin(), values.end()) {}
    template <typename Iterator, typename = std::enable_if_t<!std::is_integral<Iterator>::value>>
    Column(Iterator first, Iterator last) {
        size_t count = 0;
        for (Iterator it = first; it != last; ++it) ++count;
        reserve_back(count);
        for (; first != last; ++first) first_[size_++] = static_cast<int32_t>(*first);
    }
    Column(const Column& other) : Column(other.begin(), other.end()) {}
    Column(Column&& other) noexcept { swap(other); }
    Column& operator=(Column other) noexcept {
        swap(other);
        return *this;
    }
    ~Column() { delete[] storage_; }

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // Slots held, free ones before and after the values included.
    size_t capacity() const { return capacity_; }

    int32_t* data() { return first_; }
    const int32_t* data() const { return first_; }
    iterator begin() { return first_; }
    iterator end() { return first_ + size_; }
    const_iterator begin() const { return first_; }
    const_iterator end() const { return first_ + size_; }
    int32_t& operator[](size_t k) { return first_[k]; }
    const int32_t& operator[](size_t k) const { return first_[k]; }
    int32_t& front() { return first_[0]; }
    int32_t& back() { return first_[size_ - 1]; }

    // Make room for `extra` more values after the newest or before the oldest
    // one. They may throw std::bad_alloc, and then change nothing.
    void reserve_back(size_t extra);
    void reserve_front(size_t extra);

    // Adding a value makes room first when there is none; removing one from an
    // empty column does nothing.
    void push_back(int32_t value) {
        if (first_ + size_ == storage_ + capacity_) reserve_back(1);
        first_[size_++] = value;
    }
    void push_front(int32_t value) {
        if (first_ == storage_) reserve_front(1);
        *--first_ = value;
        ++size_;
    }
    void pop_back() {
        if (size_ > 0) --size_;
    }
    void pop_front() {
        if (size_ == 0) return;
        ++first_;
        --size_;
    }
    // Empties the column, keeping its storage.
    void clear() {
        first_ = storage_;
        size_ = 0;
    }
    // Empties the column and gives its storage back.
    void release() { Column().swap(*this); }

    void swap(Column& other) noexcept;
    friend bool operator==(const Column& a, const Column& b);
    friend bool operator!=(const Column& a, const Column& b) { return !(a == b); }

private:
    // Moves the values into new storage of `capacity` slots, `gap` of them before the oldest.
    void move_to(size_t capacity, size_t gap);

    int32_t* storage_ = nullptr;  // capacity_ slots
    int32_t* first_ = nullptr;    // the oldest value, storage_ + the free slots before it
    size_t capacity_ = 0;
    size_t size_ = 0;
};
