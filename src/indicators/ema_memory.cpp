// This file contains the remembered exponential averages: looking a value up
// from the nearest remembered one, walking on past the newest (one line alone or
// two together), and forgetting what a change of the bars makes wrong.
#include "indicators/ema_memory.h"

#include <algorithm>

#include "indicators/ema_chain.h"

namespace zolv {

// One line's part of a call: where its walk starts and, past the newest bar walked, where
// the values at the line's marks go. Marks are numbered as in the line, mark k at bar
// start + k * kStride; notes[0] is mark `base`.
struct EmaMemory::Walk {
    explicit Walk(int length) : n(length), start(length - 1), factor(ema_factor(length)) {}

    int n;
    int start;  // the seed's bar, mark 0
    double factor;
    int at = 0;  // the bar of `value`
    double value = 0.0;
    bool noting = false;  // the walk goes past the line's newest bar
    int from = 0;         // the line's newest bar when the walk began
    size_t kept = 0;      // the marks the line held then
    size_t base = 0;
    double seed = 0.0;
    double* notes = nullptr;
    std::vector<double> heap;  // the notes of a long walk; a line of only its seed takes them whole
    double local[8];           // the notes of a short one
};

namespace {

using Walk = EmaMemory::Walk;
constexpr int kStride = EmaMemory::kStride;

// Where a walk notes bar b's value: the slot of the first mark at or after b. Every bar up
// to a mark writes the mark's slot, the mark's own value last, so no step needs a branch.
inline size_t slot(int b, int start, size_t base) {
    return static_cast<size_t>(b - start + (kStride - 1)) / kStride - base;
}

// Marks noted once the walk stands at its bar.
inline size_t noted(const Walk& w) {
    return static_cast<size_t>(w.at - w.start) / kStride + 1 - w.base;
}

// Room for the notes of a walk on to bar i; a line of only its seed gets it as notes[0].
void make_room(Walk& w, int i) {
    const size_t slots = slot(i, w.start, w.base) + 1;
    if (w.base == 0 || slots > sizeof w.local / sizeof w.local[0]) {
        w.heap.resize(slots);
        w.notes = w.heap.data();
    } else {
        w.notes = w.local;
    }
    if (w.base == 0) w.notes[0] = w.seed;
}

// Steps w on to bar `to`, noting its values when kNote is set.
template <bool kNote>
void walk_one(Walk& w, const int32_t* x, int to) {
    double v = w.value;
    const double f = w.factor;
    const int start = w.start;
    const size_t base = w.base;
    double* const notes = w.notes;
    for (int b = w.at + 1; b <= to; ++b) {
        v = EmaChain::next(v, f, static_cast<double>(x[b]));
        if (kNote) notes[slot(b, start, base)] = v;
    }
    w.value = v;
    w.at = std::max(w.at, to);
}

// Steps two noting walks that stand at the same bar on to bar `to` together: the two chains
// are independent, so the pair costs little more than one.
void walk_two(Walk& a, Walk& b, const int32_t* x, int to) {
    double va = a.value;
    double vb = b.value;
    const double fa = a.factor;
    const double fb = b.factor;
    const int start_a = a.start;
    const int start_b = b.start;
    const size_t base_a = a.base;
    const size_t base_b = b.base;
    double* const notes_a = a.notes;
    double* const notes_b = b.notes;
    for (int k = a.at + 1; k <= to; ++k) {
        const double v = static_cast<double>(x[k]);
        va = EmaChain::next(va, fa, v);
        vb = EmaChain::next(vb, fb, v);
        notes_a[slot(k, start_a, base_a)] = va;
        notes_b[slot(k, start_b, base_b)] = vb;
    }
    a.value = va;
    b.value = vb;
    a.at = b.at = std::max(a.at, to);
}

}  // namespace

void EmaMemory::begin(Walk& w, char column, const Column& c, int i) {
    Line* line = nullptr;
    for (Line& l : lines_) {
        if (l.column == column && l.n == w.n) line = &l;
    }
    if (!line) {
        // A new line, or the one used least recently replaced; it starts at the seed.
        const double seed = window_mean(w.n, c, w.start);
        std::vector<double> marks{seed};
        if (lines_.size() < kMaxLines) {
            lines_.push_back(Line{column, w.n, w.start, seed, {}, 0});
            line = &lines_.back();
        } else {
            line = &*std::min_element(lines_.begin(), lines_.end(),
                                      [](const Line& a, const Line& b) { return a.used < b.used; });
            *line = Line{column, w.n, w.start, seed, {}, 0};
        }
        line->marks.swap(marks);
    }
    line->used = ++clock_;
    if (i <= line->tip) {
        const int k = (i - w.start) / kStride;
        w.at = w.start + k * kStride;
        w.value = line->marks[static_cast<size_t>(k)];
        return;
    }
    w.noting = true;
    w.at = w.from = line->tip;
    w.value = line->tip_value;
    w.kept = line->marks.size();
    w.base = w.kept == 1 ? 0 : w.kept;
    w.seed = line->marks[0];
}

void EmaMemory::remember(Walk& w, char column) {
    for (Line& l : lines_) {
        if (l.column != column || l.n != w.n || l.tip != w.from || l.marks.size() != w.kept) {
            continue;
        }
        const size_t count = noted(w);
        if (w.base == 0) {
            w.heap.resize(count);
            l.marks.swap(w.heap);
        } else {
            l.marks.insert(l.marks.end(), w.notes, w.notes + count);
        }
        l.tip = w.at;
        l.tip_value = w.value;
        return;
    }
}

double EmaMemory::value_at(char column, int n, const Column& c, int i) {
    // Over one bar the average is the bar's own value at every step.
    if (n == 1) return static_cast<double>(c[static_cast<size_t>(i)]);
    Walk w(n);
    {
        std::lock_guard<std::mutex> guard(mutex_);
        begin(w, column, c, i);
    }
    if (!w.noting) {
        walk_one<false>(w, c.data(), i);
        return w.value;
    }
    // Past the newest bar walked: walk on, noting the values to remember.
    make_room(w, i);
    walk_one<true>(w, c.data(), i);
    std::lock_guard<std::mutex> guard(mutex_);
    remember(w, column);
    return w.value;
}

void EmaMemory::values_at(char column, int n1, int n2, const Column& c, int i, double* v1,
                          double* v2) {
    if (n1 == 1 || n2 == 1 || n1 == n2) {
        *v1 = value_at(column, n1, c, i);
        *v2 = n2 == n1 ? *v1 : value_at(column, n2, c, i);
        return;
    }
    Walk a(n1);
    Walk b(n2);
    {
        std::lock_guard<std::mutex> guard(mutex_);
        begin(a, column, c, i);
        begin(b, column, c, i);
    }
    const int32_t* x = c.data();
    if (a.noting && b.noting) {
        // The line behind catches up alone, then both walk on together.
        make_room(a, i);
        make_room(b, i);
        walk_one<true>(a.at < b.at ? a : b, x, std::max(a.at, b.at));
        walk_two(a, b, x, i);
    } else {
        for (Walk* w : {&a, &b}) {
            if (w->noting) {
                make_room(*w, i);
                walk_one<true>(*w, x, i);
            } else {
                walk_one<false>(*w, x, i);
            }
        }
    }
    if (a.noting || b.noting) {
        std::lock_guard<std::mutex> guard(mutex_);
        if (a.noting) remember(a, column);
        if (b.noting) remember(b, column);
    }
    *v1 = a.value;
    *v2 = b.value;
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
