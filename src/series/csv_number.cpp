// This file contains the decimal numbers of a CSV file and the powers of ten that scale them.
#include "series/csv_number.h"

#include <algorithm>

#include "series/csv.h"

namespace zolv {
namespace {

// An exponent beyond this size moves every digit out of any 32-bit value or scale.
constexpr int64_t kExponentCap = int64_t{1} << 40;

// The text of a number split into its parts: the digits of the integer part (their first at
// `whole`; with `first_group` > 0, groups of three behind a first group of that many, each
// group behind a ","), the fraction digits at `fraction`, and the exponent.
struct NumberText {
    bool negative = false;
    bool dollar = false;
    const char* whole = nullptr;
    int64_t whole_digits = 0;
    int64_t first_group = 0;
    const char* fraction = nullptr;
    int64_t fraction_digits = 0;
    int64_t exponent = 0;

    // Digit k of the integer part followed by the fraction; '0' outside them.
    char digit(int64_t k) const {
        if (k < 0) return '0';
        if (k < whole_digits) {
            const int64_t commas =
                first_group > 0 && k >= first_group ? (k - first_group) / 3 + 1 : 0;
            return whole[k + commas];
        }
        k -= whole_digits;
        return k < fraction_digits ? fraction[k] : '0';
    }
};

// Splits a number's text; false for any other text.
bool split_number(const char* s, size_t n, bool grouped, NumberText* t) {
    size_t i = 0;
    t->dollar = i < n && s[i] == '$';
    if (t->dollar) ++i;
    if (i < n && (s[i] == '-' || s[i] == '+')) t->negative = s[i++] == '-';
    if (!t->dollar && i < n && s[i] == '$') {
        t->dollar = true;
        ++i;
    }
    t->whole = s + i;
    const size_t begin = i;
    while (i < n && is_digit(s[i])) ++i;
    t->whole_digits = static_cast<int64_t>(i - begin);
    if (t->whole_digits == 0) return false;
    if (grouped && i < n && s[i] == ',') {
        if (t->whole_digits > 3) return false;
        t->first_group = t->whole_digits;
        while (i < n && s[i] == ',') {
            if (n - i < 4 || !is_digit(s[i + 1]) || !is_digit(s[i + 2]) || !is_digit(s[i + 3])) {
                return false;
            }
            i += 4;
            t->whole_digits += 3;
        }
        if (i < n && is_digit(s[i])) return false;
    }
    if (i < n && s[i] == '.') {
        t->fraction = s + ++i;
        while (i < n && is_digit(s[i])) ++i;
        t->fraction_digits = s + i - t->fraction;
        if (t->fraction_digits == 0) return false;
    }
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool negative = false;
        if (i < n && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
        const size_t digits = i;
        int64_t e = 0;
        for (; i < n && is_digit(s[i]); ++i) e = std::min(kExponentCap, e * 10 + (s[i] - '0'));
        if (i == digits) return false;
        t->exponent = negative ? -e : e;
    }
    return i == n;
}

}  // namespace

// The number is D * 10^(exponent - fraction digits), D its digits; scaled, the digits up to
// `cut` (zeros supplied past the last) make the magnitude, and those from `cut` on are dropped:
// zeros, or with rounding, the first of them decides.
NumberFault scale_number(const char* s, size_t n, const NumberRules& rules, int32_t* out) {
    NumberText t;
    if (!split_number(s, n, rules.grouped, &t)) return NumberFault::kSyntax;
    const int64_t digits = t.whole_digits + t.fraction_digits;
    const int64_t cut = t.whole_digits + t.exponent + rules.decimals;
    for (int64_t k = std::max<int64_t>(cut, 0); k < digits; ++k) {
        if (t.digit(k) != '0') {
            if (!rules.round) return NumberFault::kDecimals;
            break;
        }
    }
    // The magnitude stops growing once it is past 2^31, which no 32-bit value reaches; a zero
    // stays zero whatever zeros follow.
    uint64_t magnitude = 0;
    for (int64_t k = 0; k < cut && magnitude <= kNegativeLimit; ++k) {
        if (k >= digits && magnitude == 0) break;
        magnitude = magnitude * 10 + static_cast<uint64_t>(t.digit(k) - '0');
    }
    if (rules.round && cut < digits && t.digit(cut) >= '5') ++magnitude;
    if (magnitude > (t.negative ? kNegativeLimit : kNegativeLimit - 1)) return NumberFault::kRange;
    *out = static_cast<int32_t>(t.negative ? -static_cast<int64_t>(magnitude)
                                           : static_cast<int64_t>(magnitude));
    return NumberFault::kNone;
}

bool power_of_ten(const char* s, size_t n, int* exponent) {
    NumberText t;
    if (!split_number(s, n, false, &t) || t.negative || t.dollar) return false;
    // 10^k is a single 1 among zeros: k counts the places from that 1 to the point.
    const int64_t digits = t.whole_digits + t.fraction_digits;
    int64_t one = -1;
    for (int64_t k = 0; k < digits; ++k) {
        const char d = t.digit(k);
        if (d == '0') continue;
        if (d != '1' || one >= 0) return false;
        one = k;
    }
    if (one < 0) return false;
    const int64_t k = t.whole_digits - 1 - one + t.exponent;
    if (k < -kMaxScaleDecimals || k > kMaxScaleDecimals) return false;
    *exponent = static_cast<int>(k);
    return true;
}

const char* plain_rounded(const char* p, const char* end, int decimals, bool round, int32_t* out) {
    bool negative = false;
    uint64_t magnitude = 0;
    p = whole_digits(p, end, &negative, &magnitude);
    if (p == nullptr) return nullptr;
    const ptrdiff_t places = decimals > 0 ? decimals : 0;
    ptrdiff_t missing = places;  // zeros the fraction leaves to supply
    bool up = false;             // the first digit dropped rounds the magnitude up
    if (p != end && *p == '.') {
        const char* fraction = ++p;
        const char* kept = end - p > places ? p + places : end;
        while (p != kept && is_digit(*p)) {
            magnitude = magnitude * 10 + static_cast<uint64_t>(*p++ - '0');
        }
        missing = places - (p - fraction);
        if (p != end && is_digit(*p)) {
            if (!round) return nullptr;
            up = decimals >= 0 && *p >= '5';
            while (++p != end && is_digit(*p)) {
            }
        }
        if (p == fraction) return nullptr;
    }
    magnitude *= kPowersOfTen[missing];
    if (decimals < 0) {
        const uint64_t power = kPowersOfTen[-decimals];
        const uint64_t rest = magnitude % power;
        magnitude /= power;
        if (rest != 0) {
            if (!round) return nullptr;
            up = 2 * rest >= power;
        }
    }
    magnitude += up ? 1 : 0;
    if (magnitude > (negative ? kNegativeLimit : kNegativeLimit - 1)) return nullptr;
    *out = static_cast<int32_t>(negative ? -static_cast<int64_t>(magnitude)
                                         : static_cast<int64_t>(magnitude));
    return p;
}

int scale_decimals(int64_t scale) {
    int64_t power = 1;
    for (int n = 0; n <= kMaxScaleDecimals; ++n, power *= 10) {
        if (scale == power) return n;
    }
    return -1;
}

}  // namespace zolv
