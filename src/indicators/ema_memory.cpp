// This file contains the remembered exponential averages: looking a value up
// from the nearest remembered one, walking on past the newest, and forgetting
// what a change of the bars makes wrong.
#include "indicators/ema_memory.h"

#include <algorithm>

#include "indicators/ema_chain.h"

namespace zolv {
namespace {

double step(double prev, double factor, int32_t x) {
    return EmaChain::next(prev, factor, static_cast<double>(x));
}

}  // namespace

double EmaMemory::value_at(char column, int n, const Column& c, int i) {
    // Over one bar the average is the bar's own value at every step.
    if (n == 1) return static_cast<double>(c[static_cast<size_t>(i)]);
    const double factor = ema_factor(n);
    const int start = n - 1;
    const int32_t* x = c.data();

    int from = 0;
    double value = 0.0;
    bool walk_on = false;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        Line* line = nullptr;
        for (Line& l : lines_) {
            if (l.column == column && l.n == n) line = &l;
        }
        if (!line) {
            // A new line, or the one used least recently replaced; it starts at the seed.
            const double seed = window_mean(n, c, start);
            std::vector<double> marks{seed};
            if (lines_.size() < kMaxLines) {
                lines_.push_back(Line{column, n, start, seed, {}, 0});
                line = &lines_.back();
            } else {
                line = &*std::min_element(
                    lines_.begin(), lines_.end(),
                    [](const Line& a, const Line& b) { return a.used < b.used; });
                *line = Line{column, n, start, seed, {}, 0};
            }
            line->marks.swap(marks);
        }
        line->used = ++clock_;
        if (i <= line->tip) {
            const int k = (i - start) / kStride;
            from = start + k * kStride;
            value = line->marks[static_cast<size_t>(k)];
        } else {
            from = line->tip;
            value = line->tip_value;
            walk_on = true;
        }
    }

    if (!walk_on) {
        for (int b = from + 1; b <= i; ++b) value = step(value, factor, x[b]);
        return value;
    }
    // Past the newest bar walked: walk on, noting the values to remember, and
    // remember them unless another caller has walked this line meanwhile.
    std::vector<double> marks;
    marks.reserve(static_cast<size_t>((i - from) / kStride + 1));
    for (int b = from + 1; b <= i; ++b) {
        value = step(value, factor, x[b]);
        if ((b - start) % kStride == 0) marks.push_back(value);
    }
    std::lock_guard<std::mutex> guard(mutex_);
    for (Line& l : lines_) {
        if (l.column != column || l.n != n || l.tip != from) continue;
        l.marks.insert(l.marks.end(), marks.begin(), marks.end());
        l.tip = i;
        l.tip_value = value;
    }
    return value;
}

void EmaMemory::forget_all() {
    std::lock_guard<std::mutex> guard(mutex_);
    std::vector<Line>().swap(lines_);
}

void EmaMemory::forget_from(int bar) {
    std::lock_guard<std::mutex> guard(mutex_);
    for (size_t k = lines_.size(); k-- > 0;) {
        Line& line = lines_[k];
        if (line.tip < bar) continue;
        const int start = line.n - 1;
        if (bar - 1 < start) {
            lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(k));
            continue;
        }
        // Walk on again from the newest remembered value that still holds.
        line.marks.resize(static_cast<size_t>((bar - 1 - start) / kStride + 1));
        line.tip = start + static_cast<int>(line.marks.size() - 1) * kStride;
        line.tip_value = line.marks.back();
    }
}

size_t EmaMemory::bytes() const {
    std::lock_guard<std::mutex> guard(mutex_);
    size_t total = lines_.capacity() * sizeof(Line);
    for (const Line& line : lines_) total += line.marks.capacity() * sizeof(double);
    return total;
}

}  // namespace zolv
