// Remembered states of one object: for each operation whose value depends on every bar before
// it, the state its step has reached, kept at every stride-th bar, so that its value at any bar
// costs at most a stride of steps once it has been walked that far, and a new bar one step.
// Nothing here knows Tcl.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "indicators/op_args.h"

namespace zolv {

class StateMemory {
public:
    // The most lines remembered per object (the one used least recently is dropped for a new
    // one).
    static constexpr size_t kMaxLines = 8;

    // Bars between two remembered states of `def`: at least 16, and at least the bytes a state
    // holds (its size, and def.state_bytes() held outside it), a power of two, so that a line
    // holds about a byte per bar at most.
    template <typename Def>
    static int64_t stride_of(const Def& def) {
        const int64_t bytes = static_cast<int64_t>(sizeof(typename Def::State)) + def.state_bytes();
        int64_t s = 16;
        while (s < bytes) s *= 2;
        return s;
    }

    StateMemory() = default;
    // A copy remembers nothing: it may belong to other bars.
    StateMemory(const StateMemory&) {}
    StateMemory& operator=(const StateMemory&) {
        forget_all();
        return *this;
    }

    // The state of `def` after bar i (def.step over the bars 0 .. i from a default State),
    // exactly as that walk gives it: the same steps from the same state. `op` and `args`
    // name the line (the same op and args mean the same definition). Def has a State type and
    // step(State&, const In&, int64_t bar) and state_bytes(). 0 <= i < the number of bars. Several
    // threads may ask at once; each one's answer is exact.
    template <typename Def, typename In>
    typename Def::State state_after(const void* op, const OpArgs& args, const Def& def,
                                    const In& in, int64_t i);

    // The bars have moved (a bar added or removed at the oldest end, or all removed): nothing
    // remembered holds.
    void forget_all();
    // The bars from `bar` on are gone; what lies before them holds.
    void forget_from(int64_t bar);

    // Bytes held by the remembered states.
    size_t bytes() const;

private:
    struct LineBase {
        const void* op;
        OpArgs args;
        int64_t tip;     // the bars walked: tip_state is the state before bar `tip`
        int64_t stride;  // bars between two remembered states
        int64_t extra;   // bytes a state holds outside itself
        uint64_t used;   // when it was last asked, for dropping the oldest
        virtual ~LineBase() = default;
        // Keeps what holds when the bars from `bar` on are gone.
        virtual void truncate(int64_t bar) = 0;
        virtual size_t bytes() const = 0;
    };
    template <typename State>
    struct Line : LineBase {
        std::vector<State> marks;  // the state before bar k * stride, for k * stride <= tip
        State tip_state;
        void truncate(int64_t bar) override {
            if (tip <= bar) return;
            marks.resize(static_cast<size_t>(bar / stride + 1));
            tip = static_cast<int64_t>(marks.size() - 1) * stride;
            tip_state = marks.back();
        }
        size_t bytes() const override {
            return sizeof(*this) + marks.capacity() * sizeof(State) +
                   (marks.size() + 1) * static_cast<size_t>(extra);
        }
    };

    LineBase* find(const void* op, const OpArgs& args);

    // `from` stepped over the bars from `begin` to before `end`: a function of its own, not
    // inlined, so that the state it steps can live in registers.
    template <typename Def, typename In>
    __attribute__((noinline)) static typename Def::State walk(const Def& def,
                                                              typename Def::State&& from,
                                                              const In& in, int64_t begin,
                                                              int64_t end) {
        typename Def::State state = std::move(from);
        for (int64_t b = begin; b < end; ++b) def.step(state, in, b);
        return state;
    }

    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<LineBase>> lines_;
    uint64_t clock_ = 0;
};

template <typename Def, typename In>
typename Def::State StateMemory::state_after(const void* op, const OpArgs& args, const Def& def,
                                             const In& in, int64_t i) {
    using State = typename Def::State;
    const int64_t stride = stride_of(def);
    State state{};
    int64_t from = 0;  // the first bar to step
    bool walk_on = false;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        auto* line = static_cast<Line<State>*>(find(op, args));
        if (!line) {
            // A new line, or the one used least recently replaced; it starts before bar 0.
            auto fresh = std::make_unique<Line<State>>();
            fresh->op = op;
            fresh->args = args;
            fresh->tip = 0;
            fresh->stride = stride;
            fresh->extra = def.state_bytes();
            fresh->tip_state = State{};
            fresh->marks.push_back(State{});
            line = fresh.get();
            if (lines_.size() < kMaxLines) {
                lines_.push_back(std::move(fresh));
            } else {
                *std::min_element(
                    lines_.begin(), lines_.end(),
                    [](const std::unique_ptr<LineBase>& a, const std::unique_ptr<LineBase>& b) {
                        return a->used < b->used;
                    }) = std::move(fresh);
            }
        }
        line->used = ++clock_;
        if (i == line->tip - 1) return line->tip_state;  // the newest bar walked, asked again
        if (i < line->tip) {
            const int64_t k = i / stride;
            state = line->marks[static_cast<size_t>(k)];
            from = k * stride;
        } else {
            state = line->tip_state;
            from = line->tip;
            walk_on = true;
        }
    }
    if (!walk_on) return walk(def, std::move(state), in, from, i + 1);
    // Past the newest bar walked: walk on, noting the states to remember, and remember them
    // unless another caller has walked this line meanwhile.
    std::vector<State> marks;
    marks.reserve(static_cast<size_t>((i + 1) / stride - from / stride));
    for (int64_t b = from; b <= i;) {
        const int64_t stop = std::min(i + 1, (b / stride + 1) * stride);
        state = walk(def, std::move(state), in, b, stop);
        b = stop;
        if (b % stride == 0) marks.push_back(state);
    }
    std::lock_guard<std::mutex> guard(mutex_);
    auto* line = static_cast<Line<State>*>(find(op, args));
    if (line && line->tip == from) {
        line->marks.insert(line->marks.end(), marks.begin(), marks.end());
        line->tip = i + 1;
        line->tip_state = state;
    }
    return state;
}

}  // namespace zolv
