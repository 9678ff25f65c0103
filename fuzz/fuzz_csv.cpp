// Fuzzes the CSV reader of bars against a plain reference reader written below: both read the
// same file, the reader in pieces as zolv::read_csv feeds it, and they must agree on every bar,
// every date, and on the line of the first error.
//
// Input: byte 0 picks the scales (price decimals byte % 10, volume decimals byte / 10 % 10).
// Byte 1 picks the file: bit 0 clear, the rest of the input is the file itself; set, the rest
// sets the shape of a random RFC 4180 file (rows, quoting, line ends, faults) and seeds its
// text. Bits 1 to 7 pick the cuts: pieces of 65536 bytes after a first piece of a length the
// input chooses, as a file read in 64 KiB pieces is cut at any offset, or small pieces.
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
    int line = 0;  // of the error
};

struct RefField {
    std::string text;
    int line;
    bool quoted;
};

bool blank(char c) {
    return c == ' ' || c == '\t';
}

std::string trim(const std::string& s) {
    size_t b = 0;
    size_t e = s.size();
    while (b < e && blank(s[b])) ++b;
    while (e > b && blank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

// Splits the record at `pos` into fields and moves `pos` and `line` past it. Returns false with
// `*fault_line` set when the record is faulty: an open quote at the end of the file, text after
// a closing quote, or more than kRowLimit bytes before its line end (or before the fault).
bool split(const std::string& s, size_t& pos, int& line, std::vector<RefField>& fields,
           int* fault_line) {
    fields.clear();
    const size_t start = pos;
    const int start_line = line;
    const auto fault = [&](size_t known_bytes, int at) {
        *fault_line = known_bytes > kRowLimit ? start_line : at;
        return false;
    };
    for (;;) {
        while (pos < s.size() && blank(s[pos])) ++pos;
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
            while (pos < s.size() && blank(s[pos])) ++pos;
            const bool ends = pos == s.size() || s[pos] == ',' || s[pos] == '\n' ||
                              (s[pos] == '\r' && (pos + 1 == s.size() || s[pos + 1] == '\n'));
            if (!ends) return fault(pos - start + 1, line);
            text_end = pos;
        } else {
            size_t stop = pos;
            while (stop < s.size() && s[stop] != ',' && s[stop] != '\n') ++stop;
            std::string raw = s.substr(pos, stop - pos);
            text_end = stop;
            if (stop == s.size() || s[stop] == '\n') {
                if (!raw.empty() && raw.back() == '\r') {  // the CR of the line end
                    raw.pop_back();
                    --text_end;
                }
            }
            f.text = trim(raw);
            pos = stop;
        }
        fields.push_back(f);
        if (pos < s.size() && s[pos] == ',') {
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

// A number scaled by 10^decimals, from its digits as text; false for a syntax error, too many
// nonzero decimals, or a value outside 32 bits.
bool number(const std::string& text, int decimals, int32_t* out) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::string whole;
    std::string fraction;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') whole += text[i++];
    if (whole.empty()) return false;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') fraction += text[i++];
        if (fraction.empty()) return false;
    }
    if (i != text.size()) return false;
    for (size_t k = static_cast<size_t>(decimals); k < fraction.size(); ++k) {
        if (fraction[k] != '0') return false;
    }
    fraction.resize(static_cast<size_t>(decimals), '0');
    std::string digits = whole + fraction;
    const size_t nonzero = digits.find_first_not_of('0');
    digits = nonzero == std::string::npos ? "0" : digits.substr(nonzero);
    const std::string limit = negative ? "2147483648" : "2147483647";
    if (digits.size() > limit.size() || (digits.size() == limit.size() && digits > limit)) {
        return false;
    }
    const int64_t magnitude = std::stoll(digits);
    *out = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return true;
}

Outcome fails(int line) {
    Outcome o;
    o.line = line;
    return o;
}

Outcome reference(std::string s, int price_decimals, int volume_decimals) {
    if (s.compare(0, 3, "\xEF\xBB\xBF") == 0) s.erase(0, 3);
    if (s.empty()) return fails(1);
    size_t pos = 0;
    int line = 1;
    int fault_line = 0;
    std::vector<RefField> fields;
    if (!split(s, pos, line, fields, &fault_line)) return fails(fault_line);
    const char* const names[5] = {"open", "high", "low", "close", "volume"};
    std::vector<int> role(fields.size(), -1);  // 0 to 4, 5 for the date, -1 for others
    bool seen[5] = {};
    bool have_date = false;
    for (size_t k = 0; k < fields.size(); ++k) {
        std::string name = trim(fields[k].text);
        for (char& c : name) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
        for (int r = 0; r < 5; ++r) {
            if (name == names[r]) role[k] = r;
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
        if (!s_) return fails(1);
    }
    Outcome out;
    while (pos < s.size()) {
        const int row_line = line;
        if (!split(s, pos, line, fields, &fault_line)) return fails(fault_line);
        if (fields.size() == 1 && fields[0].text.empty() && !fields[0].quoted) continue;
        if (fields.size() != role.size()) return fails(row_line);
        int32_t bar[5] = {};
        std::string date;
        for (size_t k = 0; k < fields.size(); ++k) {
            if (role[k] == 5) date = fields[k].text;
            if (role[k] < 0 || role[k] == 5) continue;
            const int decimals = role[k] == 4 ? volume_decimals : price_decimals;
            if (!number(trim(fields[k].text), decimals, &bar[role[k]])) {
                return fails(fields[k].line);
            }
        }
        out.values.insert(out.values.end(), bar, bar + 5);
        out.dates.push_back(date);
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

// A field as RFC 4180 writes it: quoted, its quotes doubled, when it holds a comma, a quote or
// a line end, or when `quote` asks for it.
std::string field_text(const std::string& text, bool quote) {
    if (!quote && text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

std::string random_text(Rng& rng, unsigned specials) {
    static const char kPlain[] = "abcXYZ019-: ./";
    static const char kSpecial[] = ",\"\n\r\t";
    std::string text;
    const size_t length = rng.below(12);
    for (size_t k = 0; k < length; ++k) {
        text += rng.chance(specials) ? kSpecial[rng.below(sizeof kSpecial - 1)]
                                     : kPlain[rng.below(sizeof kPlain - 1)];
    }
    return text;
}

// A number that reads at the scale: at most 9 digits once scaled, its decimals within the scale
// but for zeros; or, when `wild`, one of any length and decimals.
std::string random_number(Rng& rng, int decimals, bool wild) {
    const size_t places = static_cast<size_t>(decimals);
    std::string text = rng.chance(4) ? "-" : rng.chance(1) ? "+" : "";
    const size_t whole = 1 + rng.below(wild ? 12 : places < 9 ? 9 - places : 1);
    for (size_t k = 0; k < whole; ++k) text += static_cast<char>('0' + rng.below(10));
    if (rng.chance(8)) {
        text += '.';
        const size_t fraction = 1 + rng.below(wild ? places + 2 : places + 1);
        for (size_t k = 0; k < fraction; ++k) {
            text += static_cast<char>(k < places || wild ? '0' + rng.below(10) : '0');
        }
    }
    return text;
}

// A file of `rows` rows under a header of the five columns in any order and case, and other
// columns; each knob is a chance in sixteenths.
std::string random_file(Bytes& in, int price_decimals, int volume_decimals) {
    const size_t rows = in.next() * 8 + in.next() % 8;
    const unsigned quote = in.next() % 17;     // a field is quoted
    const unsigned specials = in.next() % 17;  // a character of a text is , " LF CR or tab
    const unsigned crlf = in.next() % 17;      // a line ends in CR LF
    const unsigned blanks = in.next() % 17;    // blanks around a field, a blank line
    const unsigned faults = in.next() % 5;     // a row gets one of the faults below
    const size_t others = in.next() % 4;
    uint64_t seed = 0;
    while (in.left() > 0) seed = seed * 131 + in.next();
    Rng rng(seed);

    // Roles in file order: 0 to 4 the five columns, 5 the others.
    std::vector<int> roles = {0, 1, 2, 3, 4};
    for (size_t k = 0; k < others; ++k) roles.push_back(5);
    for (size_t k = roles.size(); k > 1; --k) std::swap(roles[k - 1], roles[rng.below(k)]);
    const char* const names[5] = {"open", "high", "low", "close", "volume"};
    const auto line_end = [&] { return rng.chance(crlf) ? "\r\n" : "\n"; };
    const auto pad = [&] { return rng.chance(blanks) ? std::string(rng.below(3), ' ') : ""; };

    std::string file = rng.chance(1) ? "\xEF\xBB\xBF" : "";
    for (size_t k = 0; k < roles.size(); ++k) {
        std::string name = roles[k] < 5 ? names[roles[k]] : random_text(rng, 0);
        for (char& c : name) {
            if (rng.chance(2) && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        }
        file += (k ? "," : "") + pad() + field_text(name, rng.chance(quote)) + pad();
    }
    file += line_end();
    for (size_t r = 0; r < rows; ++r) {
        if (rng.chance(blanks) && rng.chance(4)) file += pad() + line_end();
        std::vector<std::string> fields;
        for (int role : roles) {
            const int decimals = role == 4 ? volume_decimals : price_decimals;
            const std::string text = role < 5
                                         ? random_number(rng, decimals, faults > 0 && rng.chance(1))
                                         : random_text(rng, specials);
            fields.push_back(pad() + field_text(text, rng.chance(quote)) + pad());
        }
        if (faults > 0 && rng.chance(1)) {
            // 1: a field more or less; 2: text after a closing quote; 3: a quote left open at
            // the end of the file; 4: a number that does not read.
            const size_t at = rng.below(fields.size() + 1);
            const unsigned kind = static_cast<unsigned>(rng.below(faults)) + 1;
            if (at == fields.size()) fields.push_back(field_text(random_text(rng, specials), true));
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
                for (size_t k = 0; k <= at; ++k) file += (k ? "," : "") + fields[k];
                return file;
            } else {
                f = random_text(rng, 0) + "e" + random_number(rng, 0, true);
            }
        }
        for (size_t k = 0; k < fields.size(); ++k) file += (k ? "," : "") + fields[k];
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
    std::string file;
    if (shape & 1) {
        file = random_file(in, options.price_decimals, options.volume_decimals);
    } else {
        file.assign(reinterpret_cast<const char*>(in.rest()), in.left());
    }
    const Outcome want = reference(file, options.price_decimals, options.volume_decimals);

    // The whole text at once, in 64 KiB pieces after a first piece of any length, and in
    // small pieces of the lengths bits 1 to 7 choose.
    compare(want, read_in_pieces(file, file.size(), {1}, options), "whole");
    compare(want, read_in_pieces(file, first, {65536}, options), "64 KiB pieces");
    const size_t small = 1 + (shape >> 1);
    compare(want, read_in_pieces(file, small, {small + 1, 2 * small}, options), "small pieces");
    return 0;
}
