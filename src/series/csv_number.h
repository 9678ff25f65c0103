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

// The most decimals a scale holds either way: 10^-9 to 10^9.
constexpr int kMaxScaleDecimals = 9;

// How a number is scaled: by 10^decimals (-9 to 9; a negative power divides), digits the scale
// does not hold rounded half away from zero when `round` is set (else they must be zeros), and
// thousands separators read when `grouped` is set.
struct NumberRules {
    int decimals = 0;
    bool round = false;
    bool grouped = false;
};

// Scales a decimal number by 10^rules.decimals with digit arithmetic. A number is an optional
// "$", an optional sign, an optional "$" (one "$" at most), digits (with `grouped`, optionally
// in groups of three after the first one to three, separated by ","), optionally "." and more
// digits, and optionally an exponent: "e" or "E", an optional sign and digits. The result must
// fit 32 bits.
NumberFault scale_number(const char* s, size_t n, const NumberRules& rules, int32_t* out);

// The exponent k of a power of ten written as a number ("1000", "0.001", "1e-3", "10E2"): true
// with *exponent = k when the text is exactly 10^k with |k| <= kMaxScaleDecimals.
bool power_of_ten(const char* s, size_t n, int* exponent);

constexpr uint64_t kPowersOfTen[] = {1,      10,      100,      1000,      10000,
                                     100000, 1000000, 10000000, 100000000, 1000000000};

// The largest magnitude of a 32-bit value: 2^31 for a negative one, 2^31 - 1 else.
constexpr uint64_t kNegativeLimit = uint64_t{1} << 31;

// The sign and the integer digits at the start of a number: *negative and their *magnitude.
// Returns the position behind the digits, or null where there are none or more than ten.
inline const char* whole_digits(const char* p, const char* end, bool* negative,
                                uint64_t* magnitude) {
    *negative = p != end && *p == '-';
    if (*negative) ++p;
    const char* whole = p;
    uint64_t m = 0;
    while (p != end && is_digit(*p)) m = m * 10 + static_cast<uint64_t>(*p++ - '0');
    *magnitude = m;
    return p == whole || p - whole > 10 ? nullptr : p;
}

// plain_number for the numbers it leaves to a second look: digits the scale does not hold, or
// a scale that divides. Rounds them half away from zero when `round` is set; else takes them
// only when the digits it drops are zeros of the integer part.
const char* plain_rounded(const char* p, const char* end, int decimals, bool round, int32_t* out);

// The number at the start of a plain field in its most common shape: an optional "-", at most
// ten digits, and optionally a "." and digits; with `round` the fraction digits the scale does
// not hold are rounded, else there must be none (for a negative scale, the integer digits it
// divides away must be zeros as well). Returns the position behind it, or null for any other
// text or a value outside 32 bits; scale_number then decides. Both give the same value for
// every text this one takes. Digits are counted after their loop: a longer run wraps
// `magnitude` harmlessly before it is refused.
inline const char* plain_number(const char* p, const char* end, int decimals, bool round,
                                int32_t* out) {
    if (decimals < 0) return plain_rounded(p, end, decimals, round, out);
    const char* start = p;
    bool negative = false;
    uint64_t magnitude = 0;
    p = whole_digits(p, end, &negative, &magnitude);
    if (p == nullptr) return nullptr;
    if (p != end && *p == '.') {
        const char* fraction = ++p;
        while (p != end && is_digit(*p)) {
            magnitude = magnitude * 10 + static_cast<uint64_t>(*p++ - '0');
        }
        const ptrdiff_t kept = p - fraction;
        if (kept == 0) return nullptr;
        if (kept > decimals)
            return round ? plain_rounded(start, end, decimals, true, out) : nullptr;
        decimals -= static_cast<int>(kept);
    }
    magnitude *= kPowersOfTen[decimals];
    if (magnitude > (negative ? kNegativeLimit : kNegativeLimit - 1)) return nullptr;
    *out = static_cast<int32_t>(negative ? -static_cast<int64_t>(magnitude)
                                         : static_cast<int64_t>(magnitude));
    return p;
}

}  // namespace zolv
