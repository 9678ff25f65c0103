// This file contains the CSV reader of bars: the splitting of the text into records of plain
// and quoted fields, the roles of the header's columns, and the rows' numbers.
#include "series/csv.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <utility>

#include "series/csv_number.h"

namespace zolv {
namespace {

constexpr int kCloseRole = 3;
constexpr int kVolumeRole = 4;
constexpr int kDateRole = kBarColumns;  // the first column that is none of the five
constexpr int kOtherRole = -1;

// A store counts its values in an int: at most this many bars go into one call.
constexpr size_t kMaxBars = INT32_MAX / kBarColumns;

// Bytes of a field's text quoted in a message; a longer text is cut and ends in "...".
constexpr size_t kShownText = 40;

// A blank around a field: a space, or a tab unless tabs separate the fields.
bool is_blank(char c, char separator) {
    return c == ' ' || (c == '\t' && separator != '\t');
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The offset of a field's text that is the file's own, not a copy.
constexpr size_t kInPlace = static_cast<size_t>(-1);

// One field of a record: its text (for a quoted field what lies between the quotes, a doubled
// quote made single) and the line it starts on.
struct Field {
    const char* data;
    size_t size;
    int line;
    bool quoted;
    size_t copy_at = kInPlace;  // where the tokenizer keeps the text, when it made it single
};

// Why a record could not be split: the field and what is wrong with it, or, for a row longer
// than kMaxRowBytes, the row as a whole.
struct SplitFault {
    size_t field = 0;
    int line = 0;
    const char* what = nullptr;
    bool whole_row = false;
};

constexpr char kRowTooLong[] = "row longer than 1048576 bytes";
static_assert(kMaxRowBytes == 1048576, "the message names the bound");

// What splitting a record gives: the record, a fault, or nothing yet because the text ends
// before the record does.
enum class Split { kRecord, kFault, kMore };

// Splits a text into records of fields, counting lines as it goes. The text is the file, or
// a piece of it; for a piece that is not the last, a record the end of the text cuts short is
// left for the next piece. A record longer than kMaxRowBytes is a fault as soon as that much of
// it has been seen, whatever faults lie further on, so that every cut of the file into pieces
// gives the same answer.
class Tokenizer {
public:
    Tokenizer(const char* text, size_t size, int line, bool last, char separator)
        : p_(text), end_(text + size), line_(line), last_(last), separator_(separator) {}

    bool at_end() const { return p_ == end_; }
    int line() const { return line_; }
    const char* position() const { return p_; }
    // Moves on to `p`, the start of the line after the one at the current position.
    void next_line(const char* p) {
        p_ = p;
        ++line_;
    }

    // Reads the fields of the next record. Their texts stay valid until the next call.
    Split next_record(std::vector<Field>& fields, SplitFault* fault) {
        fields.clear();
        unquoted_.clear();
        const char* row = p_;
        const int row_line = line_;
        // Faults, and a record the text cuts short, where `known` bytes of the row's text (its
        // line end not counted) are known.
        const auto more = [&] {
            const size_t known = static_cast<size_t>(end_ - row) - (end_[-1] == '\r');
            if (known <= kMaxRowBytes) return Split::kMore;
            *fault = {0, row_line, kRowTooLong, true};
            return Split::kFault;
        };
        const auto field_fault = [&](size_t known, size_t index, int line, const char* what) {
            *fault = known > kMaxRowBytes ? SplitFault{0, row_line, kRowTooLong, true}
                                          : SplitFault{index, line, what, false};
            return Split::kFault;
        };
        for (;;) {
            const size_t index = fields.size();
            while (p_ != end_ && is_blank(*p_, separator_)) ++p_;
            Field field{p_, 0, line_, false};
            if (p_ != end_ && *p_ == '"') {
                if (!quoted_field(&field)) {
                    if (!last_) return more();
                    return field_fault(static_cast<size_t>(end_ - row), index, field.line,
                                       "no closing quote before the end of the file");
                }
                if (p_ == end_ && !last_) return more();  // a doubled quote may follow
                while (p_ != end_ && is_blank(*p_, separator_)) ++p_;
                if (p_ != end_ && *p_ != separator_ && !at_line_end()) {
                    return field_fault(static_cast<size_t>(p_ - row) + 1, index, line_,
                                       "text after the closing quote");
                }
            } else {
                plain_field(&field);
            }
            fields.push_back(field);
            if (p_ != end_ && *p_ == separator_) {
                ++p_;
                continue;
            }
            if (p_ != end_ && *p_ == '\r') ++p_;
            if (p_ == end_ && !last_) return more();
            // The row's text ends at its line end: LF, CR LF, or a CR that ends the file.
            const char* text_end = p_ != row && p_[-1] == '\r' ? p_ - 1 : p_;
            if (static_cast<size_t>(text_end - row) > kMaxRowBytes) {
                *fault = {0, row_line, kRowTooLong, true};
                return Split::kFault;
            }
            if (p_ != end_) {
                ++p_;  // the LF
                ++line_;
            }
            // The texts that held doubled quotes, now that their storage no longer moves.
            for (Field& f : fields) {
                if (f.copy_at != kInPlace) f.data = unquoted_.data() + f.copy_at;
            }
            return Split::kRecord;
        }
    }

private:
    // At LF, at CR LF, or at a CR that ends the text.
    bool at_line_end() const {
        if (*p_ == '\n') return true;
        return *p_ == '\r' && (p_ + 1 == end_ || p_[1] == '\n');
    }

    // Reads a field that starts at a quote; false if no quote closes it in the text. A text
    // that held doubled quotes is copied, made single, to the end of unquoted_.
    bool quoted_field(Field* field) {
        field->quoted = true;
        const char* content = ++p_;
        bool doubled = false;
        for (;;) {
            const char* quote =
                static_cast<const char*>(std::memchr(p_, '"', static_cast<size_t>(end_ - p_)));
            if (!quote) return false;
            for (const char* c = p_; c != quote; ++c) line_ += *c == '\n';
            p_ = quote + 1;
            if (p_ != end_ && *p_ == '"') {  // a doubled quote stands for one
                doubled = true;
                ++p_;
                continue;
            }
            field->data = content;
            field->size = static_cast<size_t>(quote - content);
            break;
        }
        if (doubled) {
            field->copy_at = unquoted_.size();
            for (size_t k = 0; k < field->size; ++k) {
                unquoted_ += field->data[k];
                if (field->data[k] == '"') ++k;
            }
            field->size = unquoted_.size() - field->copy_at;
        }
        return true;
    }

    // Reads a field up to the next separator or line end, without the blanks around it.
    void plain_field(Field* field) {
        const char* stop = p_;
        while (stop != end_ && *stop != separator_ && *stop != '\n') ++stop;
        const char* last = stop;
        if (last != p_ && (last == end_ || *last == '\n') && last[-1] == '\r') --last;
        while (last != p_ && is_blank(last[-1], separator_)) --last;
        field->data = p_;
        field->size = static_cast<size_t>(last - p_);
        p_ = stop;
    }

    const char* p_;
    const char* end_;
    int line_;
    bool last_;
    char separator_;
    // The record's texts that held doubled quotes, one after another. Fields point into it only
    // once the record is whole: until then it may move as it grows.
    std::string unquoted_;
};

// The text of a field as a message quotes it: cut after kShownText bytes, at a character.
std::string shown(const Field& field) {
    std::string text = "\"";
    if (field.size <= kShownText) {
        text.append(field.data, field.size);
    } else {
        size_t cut = kShownText;
        while (cut > 0 && (static_cast<unsigned char>(field.data[cut]) & 0xC0) == 0x80) --cut;
        text.append(field.data, cut);
        text += "...";
    }
    text += '"';
    return text;
}

// A header name without the blanks around it.
std::pair<const char*, size_t> trimmed(const Field& field, char separator) {
    const char* begin = field.data;
    const char* end = field.data + field.size;
    while (begin != end && is_blank(*begin, separator)) ++begin;
    while (end != begin && is_blank(end[-1], separator)) --end;
    return {begin, static_cast<size_t>(end - begin)};
}

bool same_name(std::pair<const char*, size_t> name, const char* want, size_t size) {
    if (size != name.second) return false;
    for (size_t k = 0; k < size; ++k) {
        if (lower(name.first[k]) != lower(want[k])) return false;
    }
    return true;
}

// The names the reader knows for each of the five, besides their own.
bool known_name(std::pair<const char*, size_t> name, int role) {
    const auto is = [&name](const char* want) { return same_name(name, want, std::strlen(want)); };
    if (is(kColumnNames[role])) return true;
    if (role == kCloseRole) return is("close/last");
    if (role == kVolumeRole) return is("vol") || is("vol.");
    return false;
}

// The role of a header name: 0 to 4 for the five columns, else kOtherRole. A column named by
// the options is found by that name only.
int column_role(const Field& field, const CsvOptions& options) {
    const auto name = trimmed(field, options.separator);
    for (int role = 0; role < kBarColumns; ++role) {
        const std::string& given = options.columns[role];
        if (given.empty() ? known_name(name, role) : same_name(name, given.data(), given.size())) {
            return role;
        }
    }
    return kOtherRole;
}

// Reads a row whose fields are all plain, without blanks around them, and whose numbers
// plain_number takes, given each column's role and decimals. Returns the start of the next
// line, or null when the row is of any other shape or the text ends before a line end (the
// general path then reads it and names what is wrong). The separator is a constant of each
// form: the loops over a field's text compare with it at every byte.
template <char separator>
const char* plain_row(const char* p, const char* end, const std::vector<int>& roles,
                      const std::vector<int>& decimals, bool round, int32_t* bar, const char** date,
                      size_t* date_size) {
    const size_t width = roles.size();
    for (size_t k = 0;; ++k) {
        const int role = roles[k];
        if (role >= 0 && role < kBarColumns) {
            p = plain_number(p, end, decimals[k], round, &bar[role]);
            if (!p) return nullptr;
        } else {
            const char* start = p;
            if (p != end && (*p == '"' || is_blank(*p, separator))) return nullptr;
            while (p != end && *p != separator && *p != '\n' && *p != '\r') ++p;
            if (p != start && is_blank(p[-1], separator)) return nullptr;
            if (role == kDateRole) {
                *date = start;
                *date_size = static_cast<size_t>(p - start);
            }
        }
        if (k + 1 == width) break;
        if (p == end || *p != separator) return nullptr;
        ++p;
    }
    if (p != end && *p == '\r') ++p;
    if (p == end || *p != '\n') return nullptr;
    return p + 1;
}

// The bytes of a row that plain_row has read, from `row` to `next`, without its line end.
size_t row_bytes(const char* row, const char* next) {
    const char* end = next - 1;  // the LF
    if (end != row && end[-1] == '\r') --end;
    return static_cast<size_t>(end - row);
}

// The text of a scale's option as a message names it: "-scale 100", "-volumescale 0.001".
std::string scale_text(int role, int decimals) {
    std::string text = role == kVolumeRole ? "-volumescale " : "-scale ";
    if (decimals >= 0) return text + "1" + std::string(static_cast<size_t>(decimals), '0');
    return text + "0." + std::string(static_cast<size_t>(-decimals - 1), '0') + "1";
}

bool fail(CsvError* error, int line, std::string message) {
    error->line = line;
    error->message = std::move(message);
    return true;
}

// Why a number of a row does not read, as a message names it.
std::string number_message(const std::string& label, const Field& field, int role, int decimals,
                           NumberFault fault) {
    std::string message = label + " " + shown(field);
    const std::string option = role == kVolumeRole ? "-volumescale" : "-scale";
    if (fault == NumberFault::kSyntax) return message + " is not a number";
    if (fault == NumberFault::kDecimals) {
        message += decimals < 0
                       ? " at " + scale_text(role, decimals) + " is not a whole number"
                       : " has more decimals than " + scale_text(role, decimals) + " holds";
        return message + " (use -round, or a larger " + option + ")";
    }
    message += " at " + scale_text(role, decimals) + " is outside the 32-bit range";
    const int least = role == kVolumeRole ? -kMaxScaleDecimals : 0;
    if (decimals > least) message += " (use a smaller " + option + ")";
    return message;
}

// Reads the numbers of a row split by the general path into a bar: kNone, or the fault of the
// first field that does not read, with `*at` its index.
NumberFault general_row(const std::vector<Field>& fields, const std::vector<int>& roles,
                        const std::vector<int>& decimals, const CsvOptions& options, int32_t* bar,
                        size_t* at) {
    NumberFault first = NumberFault::kNone;
    for (size_t k = 0; k < fields.size(); ++k) {
        const int role = roles[k];
        if (role < 0 || role >= kBarColumns) continue;
        const Field& field = fields[k];
        const auto number = trimmed(field, options.separator);
        const NumberRules rules{decimals[k], options.round, field.quoted};
        const NumberFault fault = scale_number(number.first, number.second, rules, &bar[role]);
        if (fault == NumberFault::kNone || first != NumberFault::kNone) {
            if (fault != NumberFault::kSyntax) continue;
            *at = k;  // a field that is no number makes a row to skip, whatever came before
            return fault;
        }
        first = fault;
        *at = k;
        // Without skipping, the first fault is the answer; with it, a later field may still
        // make the row one to skip.
        if (!options.skip_invalid || fault == NumberFault::kSyntax) return fault;
    }
    return first;
}

// The dates whose order the reader tells: ISO dates (YYYY-MM-DD, anything after) and epoch
// numbers (digits only).
enum class DateShape { kNone, kIso, kEpoch };

DateShape date_shape(const char* s, size_t n) {
    const auto digits = [s](size_t from, size_t count) {
        for (size_t k = from; k < from + count; ++k) {
            if (!is_digit(s[k])) return false;
        }
        return true;
    };
    if (n >= 10 && digits(0, 4) && s[4] == '-' && digits(5, 2) && s[7] == '-' && digits(8, 2)) {
        return DateShape::kIso;
    }
    return n > 0 && digits(0, n) ? DateShape::kEpoch : DateShape::kNone;
}

// Compares two dates of one shape: <0, 0 or >0 as a is earlier, the same or later.
int compare_dates(DateShape shape, const char* a, size_t na, const char* b, size_t nb) {
    if (shape == DateShape::kEpoch) {
        while (na > 1 && *a == '0') ++a, --na;
        while (nb > 1 && *b == '0') ++b, --nb;
        if (na != nb) return na < nb ? -1 : 1;
    }
    const int c = std::memcmp(a, b, std::min(na, nb));
    if (c != 0 || na == nb) return c;
    return na < nb ? -1 : 1;
}

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

}  // namespace

CsvReader::CsvReader(const CsvOptions& options) : options_(options) {}

void CsvReader::expect_bytes(size_t size) {
    // A row of five numbers rarely takes fewer than 16 bytes; more rows only make the vector
    // grow, and room that is never written costs no memory.
    bars_.values.reserve(kBarColumns * std::min(size / 16 + 1, kMaxBars));
}

bool CsvReader::feed(const char* data, size_t size, CsvError* error) {
    if (failed_) return true;
    size_t used = 0;
    if (!carry_.empty()) {
        // The carried row is completed with the piece up to its first line end, unless it
        // has failed to end at one before (a quoted field holding line ends): then it takes
        // the whole piece and is read again only once it has doubled, so that a long field
        // is not read over and over.
        const void* line_end = std::memchr(data, '\n', size);
        size_t take = size;
        if (line_end && retry_at_ == 0) take = static_cast<const char*>(line_end) - data + 1;
        carry_.append(data, take);
        data += take;
        size -= take;
        if (carry_.size() < retry_at_) return false;
        if (read(carry_.data(), carry_.size(), false, &used, error)) return failed_ = true;
        carry_.erase(0, used);
        if (!carry_.empty()) {
            retry_at_ = used > 0 ? 0 : 2 * carry_.size();
            carry_.append(data, size);
            return false;
        }
        retry_at_ = 0;
    }
    if (read(data, size, false, &used, error)) return failed_ = true;
    carry_.assign(data + used, size - used);
    return false;
}

bool CsvReader::finish(CsvBars* out, CsvError* error) {
    if (failed_) return true;
    size_t used = 0;
    if (read(carry_.data(), carry_.size(), true, &used, error)) return failed_ = true;
    carry_.clear();
    if (options_.reverse) {
        // Newest first in the file: the bars, each of five values, and the dates turned round.
        std::vector<int32_t>& v = bars_.values;
        const size_t count = v.size() / kBarColumns;
        for (size_t a = 0, b = count; a + 1 < b; ++a) {
            --b;
            std::swap_ranges(v.begin() + static_cast<std::ptrdiff_t>(a * kBarColumns),
                             v.begin() + static_cast<std::ptrdiff_t>((a + 1) * kBarColumns),
                             v.begin() + static_cast<std::ptrdiff_t>(b * kBarColumns));
        }
        std::reverse(bars_.dates.begin(), bars_.dates.end());
    }
    *out = std::move(bars_);
    bars_ = CsvBars();
    return false;
}

bool CsvReader::skip_lines(const char* text, size_t size, bool last, size_t* used,
                           CsvError* error) {
    while (skipped_lines_ < options_.skip) {
        const char* from = text + *used;
        const size_t left = size - *used;
        const char* line_end = static_cast<const char*>(std::memchr(from, '\n', left));
        const char* stop = line_end ? line_end : from + left;
        // The line's bytes so far, without a CR that may end it (the last of an earlier piece).
        const size_t bytes = skipped_bytes_ + static_cast<size_t>(stop - from);
        const bool cr = stop != from ? stop[-1] == '\r' : skipped_cr_;
        if (bytes - (cr ? 1 : 0) > kMaxRowBytes) return fail(error, line_, kRowTooLong);
        if (!line_end) {
            *used = size;
            skipped_bytes_ = bytes;
            skipped_cr_ = cr;
            if (!last) return false;
            return fail(
                error, line_,
                "the file ends before its header (-skip " + std::to_string(options_.skip) + ")");
        }
        *used += static_cast<size_t>(line_end - from) + 1;
        skipped_bytes_ = 0;
        skipped_cr_ = false;
        ++skipped_lines_;
        ++line_;
    }
    return false;
}

bool CsvReader::read_header(const char* text, size_t size, bool last, size_t* used,
                            CsvError* error) {
    *used = 0;
    if (!started_) {
        // The byte order mark, if the text starts with one; wait for its three bytes.
        const size_t mark = std::strlen(kByteOrderMark);
        const size_t seen = std::min(size, mark);
        if (std::memcmp(text, kByteOrderMark, seen) == 0) {
            if (seen < mark && !last) return false;
            if (seen == mark) *used = mark;
        }
        started_ = true;
    }
    if (skip_lines(text, size, last, used, error)) return true;
    if (skipped_lines_ < options_.skip) return false;
    if (size == *used) {
        if (!last) return false;
        if (options_.skip > 0) {
            return fail(
                error, line_,
                "the file ends before its header (-skip " + std::to_string(options_.skip) + ")");
        }
        return fail(error, 1,
                    "empty file: the first line must name the columns open, high, low, close "
                    "and volume");
    }
    header_line_ = line_;
    Tokenizer tokens(text + *used, size - *used, line_, last, options_.separator);
    std::vector<Field> fields;
    SplitFault fault;
    const Split split = tokens.next_record(fields, &fault);
    if (split == Split::kMore) return false;
    if (split == Split::kFault) {
        return fail(error, fault.line, std::string(fault.whole_row ? "" : "header: ") + fault.what);
    }

    // Each column's role, and the column of each of the five.
    roles_.assign(fields.size(), kOtherRole);
    decimals_.assign(fields.size(), 0);
    labels_.assign(fields.size(), std::string());
    int column_of[kBarColumns] = {-1, -1, -1, -1, -1};
    for (size_t k = 0; k < fields.size(); ++k) {
        const int role = column_role(fields[k], options_);
        if (role == kOtherRole) {
            const auto name = trimmed(fields[k], options_.separator);
            labels_[k].assign(name.first, name.second);
            if (!have_date_) roles_[k] = kDateRole;
            have_date_ = true;
            continue;
        }
        if (column_of[role] >= 0) {
            return fail(error, fields[k].line,
                        std::string("header names the column ") + kColumnNames[role] + " twice");
        }
        column_of[role] = static_cast<int>(k);
        roles_[k] = role;
        decimals_[k] = role == kVolumeRole ? options_.volume_decimals : options_.price_decimals;
        labels_[k] = kColumnNames[role];
    }
    for (int role = 0; role < kBarColumns; ++role) {
        if (column_of[role] >= 0) continue;
        if (!options_.columns[role].empty()) {
            return fail(error, header_line_,
                        "header has no column \"" + options_.columns[role] +
                            "\" (named by -columns for " + kColumnNames[role] + ")");
        }
        return fail(error, header_line_, std::string("header has no column ") + kColumnNames[role]);
    }
    have_header_ = true;
    *used = static_cast<size_t>(tokens.position() - text);
    line_ = tokens.line();
    return false;
}

bool CsvReader::check_order(const char* date, size_t size, int line, CsvError* error) {
    if (first_line_ == 0) {
        first_line_ = line;
        first_date_.assign(date, size);
        order_known_ = date_shape(date, size) == DateShape::kNone;
        return false;
    }
    const DateShape shape = date_shape(first_date_.data(), first_date_.size());
    if (date_shape(date, size) != shape) {
        order_known_ = true;  // dates of mixed shapes tell nothing
        return false;
    }
    const int order = compare_dates(shape, first_date_.data(), first_date_.size(), date, size);
    if (order == 0) return false;
    order_known_ = true;
    if ((order > 0) == options_.reverse) return false;
    const Field later{date, size, line, false};
    const std::string dates = "(" + shown(Field{first_date_.data(), first_date_.size(), 0, false}) +
                              " on line " + std::to_string(first_line_) + ", then " + shown(later) +
                              ")";
    if (order > 0) {
        return fail(error, line, "the rows run newest first " + dates + ": use -reverse");
    }
    return fail(error, line,
                "the rows run oldest first " + dates +
                    ": -reverse is for files whose newest row comes first");
}

bool CsvReader::read(const char* text, size_t size, bool last, size_t* used, CsvError* error) {
    *used = 0;
    if (!have_header_) {
        if (read_header(text, size, last, used, error)) return true;
        if (!have_header_) return false;
    }
    switch (options_.separator) {
        case ';':
            return read_rows<';'>(text, size, last, used, error);
        case '\t':
            return read_rows<'\t'>(text, size, last, used, error);
        case '|':
            return read_rows<'|'>(text, size, last, used, error);
        default:
            return read_rows<','>(text, size, last, used, error);
    }
}

template <char separator>
bool CsvReader::read_rows(const char* text, size_t size, bool last, size_t* used, CsvError* error) {
    const size_t width = roles_.size();
    Tokenizer tokens(text + *used, size - *used, line_, last, options_.separator);
    std::vector<Field> fields;
    SplitFault fault;
    while (!tokens.at_end()) {
        const char* row = tokens.position();
        const int line = tokens.line();
        if (bars_.values.size() / kBarColumns == kMaxBars) {
            return fail(error, line, "more rows than one object holds");
        }
        int32_t bar[kBarColumns] = {};
        const char* date = nullptr;
        size_t date_size = 0;
        const char* next = plain_row<separator>(row, text + size, roles_, decimals_, options_.round,
                                                bar, &date, &date_size);
        if (next) {
            if (row_bytes(row, next) > kMaxRowBytes) return fail(error, line, kRowTooLong);
            tokens.next_line(next);
        } else {
            const Split split = tokens.next_record(fields, &fault);
            if (split == Split::kMore) {  // the row goes on in the next piece
                *used = static_cast<size_t>(row - text);
                line_ = line;
                return false;
            }
            if (split == Split::kFault) {
                if (fault.whole_row) return fail(error, fault.line, fault.what);
                return fail(error, fault.line, field_name(fault.field) + ": " + fault.what);
            }
            if (fields.size() == 1 && fields[0].size == 0 && !fields[0].quoted) continue;  // blank
            if (fields.size() != width) {
                return fail(error, line,
                            std::to_string(fields.size()) + " fields where the header has " +
                                std::to_string(width));
            }
            size_t at = 0;
            const NumberFault number = general_row(fields, roles_, decimals_, options_, bar, &at);
            if (number == NumberFault::kSyntax && options_.skip_invalid) {
                bars_.skipped.push_back(line);
                continue;
            }
            if (number != NumberFault::kNone) {
                const int role = roles_[at];
                return fail(error, fields[at].line,
                            number_message(labels_[at], fields[at], role, decimals_[at], number));
            }
            for (size_t k = 0; k < width; ++k) {
                if (roles_[k] != kDateRole) continue;
                date = fields[k].data;
                date_size = fields[k].size;
            }
        }
        // Until the order is known, each date that differs from the first row's is looked at.
        if (!order_known_ && date &&
            (date_size != first_date_.size() ||
             std::memcmp(date, first_date_.data(), date_size) != 0 || first_line_ == 0) &&
            check_order(date, date_size, line, error)) {
            return true;
        }
        bars_.values.insert(bars_.values.end(), bar, bar + kBarColumns);
        if (options_.dates) bars_.dates.emplace_back(date ? date : "", date_size);
    }
    *used = size;
    line_ = tokens.line();
    return false;
}

std::string CsvReader::field_name(size_t field) const {
    if (field < labels_.size() && !labels_[field].empty()) return labels_[field];
    return "field " + std::to_string(field + 1);
}

bool parse_csv(const char* text, size_t size, const CsvOptions& options, CsvBars* out,
               CsvError* error) {
    CsvReader reader(options);
    reader.expect_bytes(size);
    if (reader.feed(text, size, error)) return true;
    return reader.finish(out, error);
}

}  // namespace zolv
