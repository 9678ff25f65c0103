// Remembered exponential averages of one object: the values an average has
// passed through, kept at every 16th bar, so that its value at any bar costs a
// few steps once the average has been walked that far, and a new bar costs one.
// Nothing here knows about Tcl.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "series/column.h"

namespace zolv {

class EmaMemory {
public:
    // Bars between two remembered values, and the most averages remembered per
    // object (the one used least recently is dropped for a new one).
    static constexpr int kStride = 16;
    static constexpr size_t kMaxLines = 8;

    EmaMemory() = default;
    // A copy remembers nothing: it may belong to other bars.
    EmaMemory(const EmaMemory&) {}
    EmaMemory& operator=(const EmaMemory&) {
        forget_all();
        return *this;
    }

    // The average over n bars of column `c` at bar i, exactly as the recursive
    // definition gives it: the same steps from the same seed. `column` names the
    // column ("o", "h", "l", "v" or "c"). The window must fit: 1 <= n, n - 1 <= i
    // < size. Several threads may ask at once; each one's answer is exact.
    double value_at(char column, int n, const Column& c, int i);
    // The averages over n1 and n2 bars of column `c` at bar i, as value_at answers each; two
    // lines that both walk on past their newest bar walk together, in one pass.
    void values_at(char column, int n1, int n2, const Column& c, int i, double* v1, double* v2);

    // The bars of every column have moved (a bar added or removed at the oldest
    // end, or all removed): nothing remembered holds.
    void forget_all();
    // The bars from `bar` on are gone; what lies before them holds.
    void forget_from(int bar);

    // Bytes held by the remembered values.
    size_t bytes() const;

    // One line's part of a call (see the .cpp file).
    struct Walk;

private:
    // Under the lock: finds or makes the line and sets where the walk to bar i starts.
    void begin(Walk& w, char column, const Column& c, int i);
    // Under the lock: the values a walk noted become the line's, unless another caller has
    // walked it meanwhile.
    void remember(Walk& w, char column);

    struct Line {
        char column;
        int n;
        int tip;                    // the newest bar walked, its value the last of `marks` or
        double tip_value;           // this one
        std::vector<double> marks;  // the value at bar n - 1 + k * kStride
        uint64_t used;              // when it was last asked, for dropping the oldest
    };

    mutable std::mutex mutex_;
    std::vector<Line> lines_;
    uint64_t clock_ = 0;
};

}  // namespace zolv
