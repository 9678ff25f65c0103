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

constexpr uint64_t kPowersOfTen[] = {1,      10,      100,      1000,      10000,
                                     100000, 1000000, 10000000, 100000000, 1000000000};

// The largest magnitude of a 32-bit value: 2^31 for a negative one, 2^31 - 1 else.
constexpr uint64_t kNegativeLimit = uint64_t{1} << 31;

// The number at the start of a plain field in its most common shape: an optional "-", at
// most ten digits, and at most `decimals` digits after a ".". Returns the position behind it,
// or null for any other text or a value outside 32 bits; scale_number then decides. Both give
// the same value for every text this one takes. Digits are counted after their loop: a longer
// run wraps `magnitude` harmlessly before it is refused.
inline const char* plain_number(const char* p, const char* end, int decimals, int32_t* out) {
    const bool negative = p != end && *p == '-';
    if (negative) ++p;
    const char* whole = p;
    uint64_t magnitude = 0;
    while (p != end && is_digit(*p)) magnitude = magnitude * 10 + static_cast<uint64_t>(*p++ - '0');
    if (p == whole || p - whole > 10) return nullptr;
    if (p != end && *p == '.') {
        const char* fraction = ++p;
        while (p != end && is_digit(*p)) {
            magnitude = magnitude * 10 + static_cast<uint64_t>(*p++ - '0');
        }
        const ptrdiff_t kept = p - fraction;
        if (kept == 0 || kept > decimals) return nullptr;
        decimals -= static_cast<int>(kept);
    }
    magnitude *= kPowersOfTen[decimals];
    if (magnitude > (negative ? kNegativeLimit : kNegativeLimit - 1)) return nullptr;
    *out = static_cast<int32_t>(negative ? -static_cast<int64_t>(magnitude)
                                         : static_cast<int64_t>(magnitude));
    return p;
}

}  // namespace zolv
