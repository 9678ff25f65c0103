// The converted arguments of one operation call. Nothing here knows Tcl.
#pragma once

#include <cstdint>
#include <cstring>

namespace zolv {

// The most arguments an operation takes.
constexpr int kMaxOpArgs = 6;

// The arguments of one call. The column argument (if any) is a letter o, h, l, c or v; the
// integer and real arguments are numbered separately, in the order they come: `bbands x n k`
// gets column x, ints[0] n and reals[0] k. Unused entries stay as they are here.
struct OpArgs {
    char column = 'c';
    int32_t ints[kMaxOpArgs] = {};
    double reals[kMaxOpArgs] = {};
};

// Equal arguments: the same column, integers and reals, the reals compared by their bits.
inline bool operator==(const OpArgs& a, const OpArgs& b) {
    if (a.column != b.column) return false;
    for (int k = 0; k < kMaxOpArgs; ++k) {
        if (a.ints[k] != b.ints[k]) return false;
        if (std::memcmp(&a.reals[k], &b.reals[k], sizeof(double)) != 0) return false;
    }
    return true;
}

}  // namespace zolv
