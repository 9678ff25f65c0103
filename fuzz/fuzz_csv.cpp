// Fuzzes the CSV reader of bars against a plain reference reader written below: both read the
// same file, the reader in pieces as zolv::read_csv feeds it, and they must agree on every bar,
// every date, every skipped line, and on the line of the first error.
//
// Input: byte 0 picks the scales: price decimals byte % 10; volume decimals byte / 10 % 10 below
// 100, and from 100 on the negative of that (a volume scale that divides). Byte 1 picks the
// file: bit 0 clear, the rest of the input is the file itself; set, the rest sets the shape of
// a random RFC 4180 file (rows, quoting, line ends, faults) and seeds its text. Bits 1 to 7
// pick the cuts: pieces of 65536 bytes after a first piece of a length the input chooses, as a
// file read in 64 KiB pieces is cut at any offset, or small pieces. From 100 on, byte 0 is
// followed by one more byte after the first piece's length: the reader's other options (round,
// skip invalid rows, reverse, the separator, lines before the header, columns named).
//
// The corpus also runs as a test of the engine (tests/cpp/csv_corpus_test.cpp).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "series/csv.h"

namespace {

// ---- The reference reader: the whole text at once, one character at a time ----------------

constexpr size_t kRowLimit = 1048576;

struct Outcome {
    bool ok = false;
    std::vector<int32_t> values;
    std::vector<std::string> dates;
    std::vector<int> skipped;
    int line = 0;  // of the error
};

struct RefField {
    std::string text;
    int line;
    bool quoted;
};

// What the reference takes from the options: the same structure the reader takes.
using Options = zolv::CsvOptions;

bool blank(char c, char separator) {
    return c == ' ' || (c == '\t' && separator != '\t');
}

std::string trim(const std::string& s, char separator) {
    size_t b = 0;
    size_t e = s.size();
    while (b < e && blank(s[b], separator)) ++b;
    while (e > b && blank(s[e - 1], separator)) --e;
    return s.substr(b, e - b);
}

std::string lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

// Splits the record at `pos` into fields and moves `pos` and `line` past it. Returns false with
// `*fault_line` set when the record is faulty: an open quote at the end of the file, text after
// a closing quote, or more than kRowLimit bytes before its line end (or before the fault).
bool split(const std::string& s, char sep, size_t& pos, int& line, std::vector<RefField>& fields,
           int* fault_line) {
    fields.clear();
    const size_t start = pos;
    const int start_line = line;
    const auto fault = [&](size_t known_bytes, int at) {
        *fault_line = known_bytes > kRowLimit ? start_line : at;
        return false;
    };
    for (;;) {
        while (pos < s.size() && blank(s[pos], sep)) ++pos;
        RefField f{"", line, false};
        size_t text_end = 0;  // where the row's text ends if this is its last field
        if (pos < s.size() && s[pos] == '"') {
            f.quoted = true;
            ++pos;
            bool closed = false;
            while (pos < s.size()) {
                if (s[pos] == '"') {
                    if (pos + 1 < s.size() && s[pos + 1] == '"') {
                        f.text += '"';
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    closed = true;
                    break;
                }
                if (s[pos] == '\n') ++line;
                f.text += s[pos++];
            }
            if (!closed) return fault(s.size() - start, f.line);
            while (pos < s.size() && blank(s[pos], sep)) ++pos;
            const bool ends = pos == s.size() || s[pos] == sep || s[pos] == '\n' ||
                              (s[pos] == '\r' && (pos + 1 == s.size() || s[pos + 1] == '\n'));
            if (!ends) return fault(pos - start + 1, line);
            text_end = pos;
        } else {
            size_t stop = pos;
            while (stop < s.size() && s[stop] != sep && s[stop] != '\n') ++stop;
            std::string raw = s.substr(pos, stop - pos);
            text_end = stop;
            if (stop == s.size() || s[stop] == '\n') {
                if (!raw.empty() && raw.back() == '\r') {  // the CR of the line end
                    raw.pop_back();
                    --text_end;
                }
            }
            f.text = trim(raw, sep);
            pos = stop;
        }
        fields.push_back(f);
        if (pos < s.size() && s[pos] == sep) {
            ++pos;
            continue;
        }
        if (pos < s.size() && s[pos] == '\r') ++pos;
        if (pos < s.size()) {  // the LF
            ++pos;
            ++line;
        }
        if (text_end - start > kRowLimit) return fault(text_end - start, start_line);
        return true;
    }
}

enum class Number { kOk, kSyntax, kOther };

bool digits_at(const std::string& t, size_t i, size_t count) {
    if (i + count > t.size()) return false;
    for (size_t k = i; k < i + count; ++k) {
        if (t[k] < '0' || t[k] > '9') return false;
    }
    return true;
}

// A number scaled by 10^decimals, from its digits as text: "$", sign, digits (in groups of
// three when `grouped`), a fraction, an exponent. kSyntax for any other text; kOther for
// dropped digits that are not zeros (without `round`) or a value outside 32 bits.
Number number(const std::string& text, int decimals, bool round, bool grouped, int32_t* out) {
    size_t i = 0;
    bool negative = false;
    bool dollar = false;
    if (i < text.size() && text[i] == '$') {
        dollar = true;
        ++i;
    }
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (!dollar && i < text.size() && text[i] == '$') ++i;
    std::string whole;
    while (digits_at(text, i, 1)) whole += text[i++];
    if (whole.empty()) return Number::kSyntax;
    if (grouped && i < text.size() && text[i] == ',') {
        if (whole.size() > 3) return Number::kSyntax;
        while (i < text.size() && text[i] == ',') {
            if (!digits_at(text, i + 1, 3)) return Number::kSyntax;
            whole += text.substr(i + 1, 3);
            i += 4;
        }
        if (digits_at(text, i, 1)) return Number::kSyntax;
    }
    std::string fraction;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (digits_at(text, i, 1)) fraction += text[i++];
        if (fraction.empty()) return Number::kSyntax;
    }
    long long exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool minus = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) minus = text[i++] == '-';
        if (!digits_at(text, i, 1)) return Number::kSyntax;
        for (; digits_at(text, i, 1); ++i) {
            exponent = std::min(1000000000LL, exponent * 10 + (text[i] - '0'));
        }
        if (minus) exponent = -exponent;
    }
    if (i != text.size()) return Number::kSyntax;
    // The digits as a string of the scaled integer: whole and fraction, the point moved.
    std::string digits = whole + fraction;
    const long long point = static_cast<long long>(whole.size()) + exponent + decimals;
    std::string kept;
    std::string dropped;
    if (point <= 0) {
        dropped = std::string(static_cast<size_t>(std::min(-point, 40LL)), '0') + digits;
    } else if (point >= static_cast<long long>(digits.size())) {
        if (digits.find_first_not_of('0') != std::string::npos && point > 40) return Number::kOther;
        const long long zeros = point - static_cast<long long>(digits.size());
        kept = digits + std::string(static_cast<size_t>(std::min(zeros, 40LL)), '0');
    } else {
        kept = digits.substr(0, static_cast<size_t>(point));
        dropped = digits.substr(static_cast<size_t>(point));
    }
    const bool exact = dropped.find_first_not_of('0') == std::string::npos;
    if (!exact && !round) return Number::kOther;
    const size_t nonzero = kept.find_first_not_of('0');
    kept = nonzero == std::string::npos ? "0" : kept.substr(nonzero);
    if (round && !dropped.empty() && dropped[0] >= '5') {
        // Adds one to the decimal text.
        size_t k = kept.size();
        while (k > 0 && kept[k - 1] == '9') kept[--k] = '0';
        if (k == 0) {
            kept.insert(kept.begin(), '1');
        } else {
            ++kept[k - 1];
        }
    }
    const std::string limit = negative ? "2147483648" : "2147483647";
    if (kept.size() > limit.size() || (kept.size() == limit.size() && kept > limit)) {
        return Number::kOther;
    }
    const int64_t magnitude = std::stoll(kept);
    *out = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return Number::kOk;
}

// The shape of a date whose order is told: 1 ISO (YYYY-MM-DD...), compared by text; 2 an epoch
// number, compared by value; 0 any other.
int shape_of(const std::string& d) {
    if (d.size() >= 10 && digits_at(d, 0, 4) && d[4] == '-' && digits_at(d, 5, 2) && d[7] == '-' &&
        digits_at(d, 8, 2)) {
        return 1;
    }
    return !d.empty() && digits_at(d, 0, d.size()) ? 2 : 0;
}

Outcome fails(int line) {
    Outcome o;
    o.line = line;
    return o;
}

Outcome reference(std::string s, const Options& options) {
    const char sep = options.separator;
    if (s.compare(0, 3, "\xEF\xBB\xBF") == 0) s.erase(0, 3);
    size_t pos = 0;
    int line = 1;
    // The lines before the header, each held to the bound of a row.
    for (int k = 0; k < options.skip; ++k) {
        const size_t end = s.find('\n', pos);
        const size_t stop = end == std::string::npos ? s.size() : end;
        const size_t bytes = stop - pos - (stop > pos && s[stop - 1] == '\r' ? 1 : 0);
        if (bytes > kRowLimit || end == std::string::npos) return fails(line);
        pos = end + 1;
        ++line;
    }
    if (pos == s.size()) return fails(line);
    int fault_line = 0;
    std::vector<RefField> fields;
    const int header_line = line;
    if (!split(s, sep, pos, line, fields, &fault_line)) return fails(fault_line);
    const char* const names[5] = {"open", "high", "low", "close", "volume"};
    std::vector<int> role(fields.size(), -1);  // 0 to 4, 5 for the date, -1 for others
    bool seen[5] = {};
    bool have_date = false;
    for (size_t k = 0; k < fields.size(); ++k) {
        const std::string name = lower(trim(fields[k].text, sep));
        for (int r = 4; r >= 0; --r) {
            const std::string given = lower(options.columns[r]);
            const bool known = name == names[r] || (r == 3 && name == "close/last") ||
                               (r == 4 && (name == "vol" || name == "vol."));
            if (given.empty() ? known : name == given) role[k] = r;
        }
        if (role[k] < 0) {
            if (!have_date) role[k] = 5;
            have_date = true;
            continue;
        }
        if (seen[role[k]]) return fails(fields[k].line);
        seen[role[k]] = true;
    }
    for (bool s_ : seen) {
        if (!s_) return fails(header_line);
    }
    Outcome out;
    std::string first_date;
    int first_line = 0;
    bool order_known = false;
    while (pos < s.size()) {
        const int row_line = line;
        if (!split(s, sep, pos, line, fields, &fault_line)) return fails(fault_line);
        if (fields.size() == 1 && fields[0].text.empty() && !fields[0].quoted) continue;
        if (fields.size() != role.size()) return fails(row_line);
        int32_t bar[5] = {};
        std::string date;
        bool have = false;
        int fault = 0;
        bool invalid = false;
        for (size_t k = 0; k < fields.size(); ++k) {
            if (role[k] == 5) {
                date = fields[k].text;
                have = true;
            }
            if (role[k] < 0 || role[k] == 5) continue;
            const int decimals = role[k] == 4 ? options.volume_decimals : options.price_decimals;
            const Number n = number(trim(fields[k].text, sep), decimals, options.round,
                                    fields[k].quoted, &bar[role[k]]);
            if (n == Number::kSyntax) invalid = true;
            if (n != Number::kOk && fault == 0) fault = fields[k].line;
            if (n != Number::kOk && !options.skip_invalid) break;
        }
        if (invalid && options.skip_invalid) {
            out.skipped.push_back(row_line);
            continue;
        }
        if (fault != 0) return fails(fault);
        if (have && !order_known) {
            if (first_line == 0) {
                first_line = row_line;
                first_date = date;
                order_known = shape_of(date) == 0;
            } else if (shape_of(date) != shape_of(first_date)) {
                order_known = true;
            } else {
                std::string a = first_date;
                std::string b = date;
                if (shape_of(date) == 2) {  // by value: without leading zeros, shorter is less
                    a.erase(0, std::min(a.find_first_not_of('0'), a.size() - 1));
                    b.erase(0, std::min(b.find_first_not_of('0'), b.size() - 1));
                    if (a.size() != b.size()) {
                        a.insert(0,
                                 std::string(b.size() > a.size() ? b.size() - a.size() : 0, '0'));
                        b.insert(0,
                                 std::string(a.size() > b.size() ? a.size() - b.size() : 0, '0'));
                    }
                }
                if (a != b) {
                    order_known = true;
                    if ((a > b) != options.reverse) return fails(row_line);
                }
            }
        }
        out.values.insert(out.values.end(), bar, bar + 5);
        out.dates.push_back(date);
    }
    if (options.reverse) {
        std::vector<int32_t> values;
        for (size_t k = out.values.size(); k >= 5; k -= 5) {
            values.insert(values.end(), out.values.begin() + static_cast<std::ptrdiff_t>(k - 5),
                          out.values.begin() + static_cast<std::ptrdiff_t>(k));
        }
        out.values = values;
        std::reverse(out.dates.begin(), out.dates.end());
    }
    out.ok = true;
    return out;
}

// ---- Random files ---------------------------------------------------------------------------

class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint64_t next() {  // splitmix64
        uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    size_t below(size_t n) { return n == 0 ? 0 : static_cast<size_t>(next() % n); }
    // True with probability k / 16.
    bool chance(unsigned k) { return below(16) < k; }

private:
    uint64_t state_;
};

// Reads the input byte by byte; zeros once it is used up.
class Bytes {
public:
    Bytes(const uint8_t* data, size_t size) : p_(data), n_(size) {}
    unsigned next() {
        if (n_ == 0) return 0;
        --n_;
        return *p_++;
    }
    const uint8_t* rest() const { return p_; }
    size_t left() const { return n_; }

private:
    const uint8_t* p_;
    size_t n_;
};

// A field as RFC 4180 writes it: quoted, its quotes doubled, when it holds a comma, the
// separator, a quote or a line end, or when `quote` asks for it.
std::string field_text(const std::string& text, bool quote, char separator) {
    if (!quote && text.find_first_of(",\"\r\n") == std::string::npos &&
        text.find(separator) == std::string::npos) {
        return text;
    }
    std::string out = "\"";
    for (char c : text) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

std::string random_text(Rng& rng, unsigned specials) {
    static const char kPlain[] = "abcXYZ019-: ./";
    static const char kSpecial[] = ",\"\n\r\t;|";
    std::string text;
    const size_t length = rng.below(12);
    for (size_t k = 0; k < length; ++k) {
        text += rng.chance(specials) ? kSpecial[rng.below(sizeof kSpecial - 1)]
                                     : kPlain[rng.below(sizeof kPlain - 1)];
    }
    return text;
}

// How often, in sixteenths, the numbers of a file take the other shapes the reader takes: a
// text that is no number, the long fractions of binary noise, thousands separators, an
// exponent, a "$". All 0 for a file in the shapes of the plain reader.
struct Shapes {
    unsigned invalid = 0;
    unsigned noise = 0;
    unsigned grouped = 0;
    unsigned exponent = 0;
    unsigned dollar = 0;
};

// A number that reads at the scale: at most 9 digits once scaled, its decimals within the scale
// but for zeros (and for a scale that divides, the zeros it divides away); or, when `wild`, one
// of any length and decimals; in the shapes `shapes` picks, which leave its value as it is
// (binary noise aside, which needs rounding).
std::string random_number(Rng& rng, int decimals, bool wild, const Shapes& shapes) {
    if (rng.chance(shapes.invalid)) {
        static const char* const kInvalid[] = {"null", "", "-", "N/A", "nan"};
        return kInvalid[rng.below(5)];
    }
    const size_t places = static_cast<size_t>(decimals > 0 ? decimals : 0);
    const size_t divided = static_cast<size_t>(decimals < 0 ? -decimals : 0);
    std::string sign = rng.chance(4) ? "-" : rng.chance(1) ? "+" : "";
    std::string whole;
    const size_t length = 1 + rng.below(wild ? 12 : places < 9 ? 9 - places : 1);
    for (size_t k = 0; k < length; ++k) whole += static_cast<char>('0' + rng.below(10));
    if (!wild || rng.chance(8)) whole.append(divided, '0');
    std::string fraction;
    if (rng.chance(8)) {
        const bool noise = rng.chance(shapes.noise);
        const size_t count =
            noise ? 10 + rng.below(8) : 1 + rng.below(wild ? places + 2 : places + 1);
        for (size_t k = 0; k < count; ++k) {
            fraction += static_cast<char>(k < places || wild || noise ? '0' + rng.below(10) : '0');
        }
    }
    std::string text;
    if (rng.chance(shapes.exponent)) {
        // The same digits with the point moved and an exponent that moves it back.
        const std::string digits = whole + fraction;
        const size_t point = 1 + rng.below(digits.size());
        text = digits.substr(0, point) + (point < digits.size() ? "." + digits.substr(point) : "") +
               (rng.chance(8) ? "e" : "E") +
               std::to_string(static_cast<long long>(whole.size()) - static_cast<long long>(point));
    } else {
        if (rng.chance(shapes.grouped) && whole.size() > 3) {
            for (size_t k = whole.size() - 3; k > 0; k = k > 3 ? k - 3 : 0) whole.insert(k, ",");
        }
        text = whole + (fraction.empty() ? "" : "." + fraction);
    }
    if (rng.chance(shapes.dollar)) return rng.chance(8) ? "$" + sign + text : sign + "$" + text;
    return sign + text;
}

// A date of the day `day` in one of the shapes whose order the reader tells: 1 an ISO date, 2
// epoch seconds, 3 an ISO date and time.
std::string random_date(int shape, int64_t day) {
    char text[40];
    if (shape == 2) {
        std::snprintf(text, sizeof text, "%lld", static_cast<long long>(1700000000 + day * 86400));
    } else {
        std::snprintf(
            text, sizeof text, shape == 1 ? "%04lld-%02lld-%02lld" : "%04lld-%02lld-%02lld 09:30",
            static_cast<long long>(2000 + day / 372), static_cast<long long>(1 + day / 31 % 12),
            static_cast<long long>(1 + day % 31));
    }
    return text;
}

// A file of `rows` rows under a header of the five columns in any order and case, and other
// columns; each knob is a chance in sixteenths. With `extended`, the shapes the reader's options
// are for: lines before the header, names of columns other than their own, numbers with a "$",
// separators or an exponent, rows with fields that are no number, dates in order or not.
std::string random_file(Bytes& in, const zolv::CsvOptions& options, bool extended) {
    const size_t rows = in.next() * 8 + in.next() % 8;
    const unsigned quote = in.next() % 17;     // a field is quoted
    const unsigned specials = in.next() % 17;  // a character of a text is , " LF CR tab ; |
    const unsigned crlf = in.next() % 17;      // a line ends in CR LF
    const unsigned blanks = in.next() % 17;    // blanks around a field, a blank line
    const unsigned faults = in.next() % 5;     // a row gets one of the faults below
    const size_t others = in.next() % 4;
    uint64_t seed = 0;
    while (in.left() > 0) seed = seed * 131 + in.next();
    Rng rng(seed);
    const char separator = options.separator;

    // Roles in file order: 0 to 4 the five columns, 5 the others.
    std::vector<int> roles = {0, 1, 2, 3, 4};
    for (size_t k = 0; k < others; ++k) roles.push_back(5);
    for (size_t k = roles.size(); k > 1; --k) std::swap(roles[k - 1], roles[rng.below(k)]);
    const char* const names[5] = {"open", "high", "low", "close", "volume"};
    const auto line_end = [&] { return rng.chance(crlf) ? "\r\n" : "\n"; };
    const auto pad = [&] { return rng.chance(blanks) ? std::string(rng.below(3), ' ') : ""; };
    // The shape of the dates (0 text), their first day and their step.
    const int date_shape = extended ? static_cast<int>(rng.below(4)) : 0;
    Shapes shapes;
    if (extended) {
        shapes.invalid = rng.chance(8) ? 0 : 1;
        shapes.noise = options.round ? static_cast<unsigned>(rng.below(5)) : rng.chance(4) ? 1 : 0;
        shapes.grouped = static_cast<unsigned>(rng.below(5));
        shapes.exponent = static_cast<unsigned>(rng.below(5));
        shapes.dollar = static_cast<unsigned>(rng.below(5));
    }
    const bool descending = options.reverse ? !rng.chance(2) : rng.chance(2);
    int64_t day = descending ? static_cast<int64_t>(rows) * 3 + 3 : 0;

    std::string file = rng.chance(1) ? "\xEF\xBB\xBF" : "";
    for (int k = 0; extended && k < options.skip; ++k) {
        file += random_text(rng, 0) + (rng.chance(4) ? "\"" : "") + line_end();
    }
    for (size_t k = 0; k < roles.size(); ++k) {
        std::string name = roles[k] < 5 ? names[roles[k]] : random_text(rng, 0);
        if (roles[k] < 5 && extended) {
            if (!options.columns[roles[k]].empty()) {
                name = options.columns[roles[k]];
            } else if (roles[k] == 3 && rng.chance(4)) {
                name = "Close/Last";
            } else if (roles[k] == 4 && rng.chance(4)) {
                name = rng.chance(8) ? "Vol" : "Vol.";
            }
        }
        for (char& c : name) {
            if (rng.chance(2) && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        }
        file += (k ? std::string(1, separator) : "") + pad() +
                field_text(name, rng.chance(quote), separator) + pad();
    }
    file += line_end();
    for (size_t r = 0; r < rows; ++r) {
        if (rng.chance(blanks) && rng.chance(4)) file += pad() + line_end();
        std::vector<std::string> fields;
        bool dated = false;
        day += (descending ? -1 : 1) * static_cast<int64_t>(rng.below(3));
        for (int role : roles) {
            const int decimals = role == 4 ? options.volume_decimals : options.price_decimals;
            std::string text;
            if (role < 5) {
                text = random_number(rng, decimals, faults > 0 && rng.chance(1), shapes);
            } else if (!dated && date_shape > 0 && !rng.chance(1)) {
                text = random_date(date_shape, day);
            } else {
                text = random_text(rng, specials);
            }
            dated = dated || role == 5;
            fields.push_back(pad() + field_text(text, rng.chance(quote), separator) + pad());
        }
        if (faults > 0 && rng.chance(1)) {
            // 1: a field more or less; 2: text after a closing quote; 3: a quote left open at
            // the end of the file; 4: a number that does not read.
            const size_t at = rng.below(fields.size() + 1);
            const unsigned kind = static_cast<unsigned>(rng.below(faults)) + 1;
            if (at == fields.size()) {
                fields.push_back(field_text(random_text(rng, specials), true, separator));
            }
            std::string& f = fields[at];
            if (kind == 1) {
                if (rng.chance(8)) {
                    fields.erase(fields.begin() + static_cast<std::ptrdiff_t>(at));
                } else {
                    fields.push_back(random_text(rng, 0));
                }
            } else if (kind == 2) {
                f = "\"" + random_text(rng, 0) + "\"x";
            } else if (kind == 3) {  // the file ends inside this field
                f = "\"" + random_text(rng, specials);
                for (size_t k = 0; k <= at; ++k)
                    file += (k ? std::string(1, separator) : "") + fields[k];
                return file;
            } else {
                f = random_text(rng, 0) + "e" + random_number(rng, 0, true, Shapes());
            }
        }
        for (size_t k = 0; k < fields.size(); ++k) {
            file += (k ? std::string(1, separator) : "") + fields[k];
        }
        if (r + 1 < rows || rng.chance(12)) file += line_end();
    }
    return file;
}

// ---- The reader in pieces -------------------------------------------------------------------

// Feeds the file in pieces: the first of `first` bytes, then the lengths of `next` in turn.
Outcome read_in_pieces(const std::string& file, size_t first, const std::vector<size_t>& next,
                       const zolv::CsvOptions& options) {
    zolv::CsvReader reader(options);
    zolv::CsvError error;
    zolv::CsvBars bars;
    size_t at = 0;
    bool failed = false;
    for (size_t k = 0; !failed && at < file.size(); ++k) {
        const size_t length = k == 0 ? first : next[(k - 1) % next.size()];
        const size_t piece = std::min(length, file.size() - at);
        failed = reader.feed(file.data() + at, piece, &error);
        at += piece;
    }
    if (!failed) failed = reader.finish(&bars, &error);
    Outcome o;
    o.ok = !failed;
    if (failed) {
        o.line = error.line;
        if (error.message.empty()) o.line = -1;  // every refusal says what is wrong
    } else {
        o.values = std::move(bars.values);
        o.dates = std::move(bars.dates);
        o.skipped = std::move(bars.skipped);
    }
    return o;
}

void check(bool ok, const char* what, const std::string& detail) {
    if (ok) return;
    std::fprintf(stderr, "zolv fuzz check failed: %s: %s\n", what, detail.c_str());
    std::abort();
}

void compare(const Outcome& want, const Outcome& got, const char* how) {
    check(want.ok == got.ok, how,
          want.ok ? "the reader refused at line " + std::to_string(got.line)
                  : "the reader read a file the reference refuses at line " +
                        std::to_string(want.line));
    if (!want.ok) {
        check(want.line == got.line, how,
              "error at line " + std::to_string(got.line) + ", expected " +
                  std::to_string(want.line));
        return;
    }
    check(want.values == got.values, how, "bars differ");
    check(want.dates == got.dates, how, "dates differ");
    check(want.skipped == got.skipped, how, "skipped lines differ");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes in(data, size);
    const unsigned scales = in.next();
    const unsigned shape = in.next();
    zolv::CsvOptions options;
    options.price_decimals = static_cast<int>(scales % 10);
    options.volume_decimals = static_cast<int>(scales / 10 % 10);
    options.dates = true;
    const size_t low = in.next();
    const size_t first = 1 + (low | in.next() << 8);
    const bool extended = scales >= 100;
    if (extended) {
        static const char kSeparators[] = {',', ';', '\t', '|'};
        static const char* const kNames[5] = {"Open Price", "Hi", "lo", "Last", "Shares"};
        const unsigned bits = in.next();
        options.volume_decimals = -options.volume_decimals;
        options.round = bits & 1;
        options.skip_invalid = bits & 2;
        options.reverse = bits & 4;
        options.separator = kSeparators[bits >> 3 & 3];
        options.skip = static_cast<int>(bits >> 5 & 3);
        for (int k = 0; k < 5 && (bits & 128); ++k) options.columns[k] = kNames[k];
    }
    std::string file;
    if (shape & 1) {
        file = random_file(in, options, extended);
    } else {
        file.assign(reinterpret_cast<const char*>(in.rest()), in.left());
    }
    const Outcome want = reference(file, options);

    // The whole text at once, in 64 KiB pieces after a first piece of any length, and in
    // small pieces of the lengths bits 1 to 7 choose.
    compare(want, read_in_pieces(file, file.size(), {1}, options), "whole");
    compare(want, read_in_pieces(file, first, {65536}, options), "64 KiB pieces");
    const size_t small = 1 + (shape >> 1);
    compare(want, read_in_pieces(file, small, {small + 1, 2 * small}, options), "small pieces");
    return 0;
}
