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

    // Bars between two remembered states of type State: at least 16, and at least its size in
    // bytes (a power of two), so that a line holds about a byte per bar at most.
    template <typename State>
    static constexpr int64_t stride() {
        int64_t s = 16;
        while (s < static_cast<int64_t>(sizeof(State))) s *= 2;
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
    // step(State&, const In&, int64_t bar). 0 <= i < the number of bars. Several threads may
    // ask at once; each one's answer is exact.
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
        int64_t tip;    // the bars walked: tip_state is the state before bar `tip`
        uint64_t used;  // when it was last asked, for dropping the oldest
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
            marks.resize(static_cast<size_t>(bar / stride<State>() + 1));
            tip = static_cast<int64_t>(marks.size() - 1) * stride<State>();
            tip_state = marks.back();
        }
        size_t bytes() const override { return sizeof(*this) + marks.capacity() * sizeof(State); }
    };

    LineBase* find(const void* op, const OpArgs& args);

    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<LineBase>> lines_;
    uint64_t clock_ = 0;
};

template <typename Def, typename In>
typename Def::State StateMemory::state_after(const void* op, const OpArgs& args, const Def& def,
                                             const In& in, int64_t i) {
    using State = typename Def::State;
    constexpr int64_t kStride = stride<State>();
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
        if (i < line->tip) {
            const int64_t k = i / kStride;
            state = line->marks[static_cast<size_t>(k)];
            from = k * kStride;
        } else {
            state = line->tip_state;
            from = line->tip;
            walk_on = true;
        }
    }
    if (!walk_on) {
        for (int64_t b = from; b <= i; ++b) def.step(state, in, b);
        return state;
    }
    // Past the newest bar walked: walk on, noting the states to remember, and remember them
    // unless another caller has walked this line meanwhile.
    std::vector<State> marks;
    marks.reserve(static_cast<size_t>((i + 1) / kStride - from / kStride));
    for (int64_t b = from; b <= i; ++b) {
        def.step(state, in, b);
        if ((b + 1) % kStride == 0) marks.push_back(state);
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
