// This file contains the decimal numbers of a CSV file and the powers of ten that scale them.
#include "series/csv_number.h"

#include "series/csv.h"

namespace zolv {

// Scales a decimal number by 10^decimals with digit arithmetic: the digits of the integer
// part, then exactly `decimals` digits of the fraction (zeros supplied), make the magnitude.
// Fraction digits beyond those must be zeros: nothing is rounded.
NumberFault scale_number(const char* s, size_t n, int decimals, int32_t* out) {
    size_t i = 0;
    const bool negative = n > 0 && s[0] == '-';
    if (n > 0 && (s[0] == '-' || s[0] == '+')) ++i;
    const size_t whole_begin = i;
    while (i < n && is_digit(s[i])) ++i;
    const size_t whole_end = i;
    if (whole_end == whole_begin) return NumberFault::kSyntax;
    size_t fraction_begin = i;
    size_t fraction_end = i;
    if (i < n && s[i] == '.') {
        fraction_begin = ++i;
        while (i < n && is_digit(s[i])) ++i;
        fraction_end = i;
        if (fraction_end == fraction_begin) return NumberFault::kSyntax;
    }
    if (i != n) return NumberFault::kSyntax;
    const size_t kept = static_cast<size_t>(decimals);
    for (size_t k = fraction_begin + kept; k < fraction_end; ++k) {
        if (s[k] != '0') return NumberFault::kDecimals;
    }

    // The magnitude stops growing once it is past 2^31, which no 32-bit value reaches.
    uint64_t magnitude = 0;
    const auto append = [&magnitude](char digit) {
        if (magnitude <= kNegativeLimit) {
            magnitude = magnitude * 10 + static_cast<uint64_t>(digit - '0');
        }
    };
    for (size_t k = whole_begin; k < whole_end; ++k) append(s[k]);
    for (size_t k = fraction_begin; k < fraction_begin + kept; ++k) {
        append(k < fraction_end ? s[k] : '0');
    }
    if (magnitude > (negative ? kNegativeLimit : kNegativeLimit - 1)) return NumberFault::kRange;
    *out = static_cast<int32_t>(negative ? -static_cast<int64_t>(magnitude)
                                         : static_cast<int64_t>(magnitude));
    return NumberFault::kNone;
}

int scale_decimals(int64_t scale) {
    int64_t power = 1;
    for (int n = 0; n <= kMaxScaleDecimals; ++n, power *= 10) {
        if (scale == power) return n;
    }
    return -1;
}

}  // namespace zolv
