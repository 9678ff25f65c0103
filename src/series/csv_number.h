// The numbers of a CSV file: decimal text scaled by a power of ten with digit arithmetic
// only, never binary floating point. Nothing here knows about Tcl.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zolv {

inline bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

enum class NumberFault { kNone, kSyntax, kDecimals, kRange };

// Scales a decimal number (an optional sign, digits, optionally "." and more digits) by
// 10^decimals. Fraction digits beyond `decimals` must be zeros: nothing is rounded. The
// result must fit 32 bits.
NumberFault scale_number(const char* s, size_t n, int decimals, int32_t* out);

// The number at the start of a field in its most common shape, read faster; null when the
// text has any other shape, and scale_number decides. Both give the same value for every text
// this one takes.
const char* plain_number(const char* p, const char* end, int decimals, int32_t* out);

}  // namespace zolv
