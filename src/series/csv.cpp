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

// The columns of a bar, in the order of its values.
constexpr int kBarColumns = 5;
constexpr const char* kColumnNames[kBarColumns] = {"open", "high", "low", "close", "volume"};
constexpr int kVolumeRole = 4;
constexpr int kDateRole = kBarColumns;  // the first column that is none of the five
constexpr int kOtherRole = -1;

// A store counts its values in an int: at most this many bars go into one call.
constexpr size_t kMaxBars = INT32_MAX / kBarColumns;

// Bytes of a field's text quoted in a message; a longer text is cut and ends in "...".
constexpr size_t kShownText = 40;

bool is_blank(char c) {
    return c == ' ' || c == '\t';
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
    Tokenizer(const char* text, size_t size, int line, bool last)
        : p_(text), end_(text + size), line_(line), last_(last) {}

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
            while (p_ != end_ && is_blank(*p_)) ++p_;
            Field field{p_, 0, line_, false};
            if (p_ != end_ && *p_ == '"') {
                if (!quoted_field(&field)) {
                    if (!last_) return more();
                    return field_fault(static_cast<size_t>(end_ - row), index, field.line,
                                       "no closing quote before the end of the file");
                }
                if (p_ == end_ && !last_) return more();  // a doubled quote may follow
                while (p_ != end_ && is_blank(*p_)) ++p_;
                if (p_ != end_ && *p_ != ',' && !at_line_end()) {
                    return field_fault(static_cast<size_t>(p_ - row) + 1, index, line_,
                                       "text after the closing quote");
                }
            } else {
                plain_field(&field);
            }
            fields.push_back(field);
            if (p_ != end_ && *p_ == ',') {
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

    // Reads a field up to the next comma or line end, without the blanks around it.
    void plain_field(Field* field) {
        const char* stop = p_;
        while (stop != end_ && *stop != ',' && *stop != '\n') ++stop;
        const char* last = stop;
        if (last != p_ && (last == end_ || *last == '\n') && last[-1] == '\r') --last;
        while (last != p_ && is_blank(last[-1])) --last;
        field->data = p_;
        field->size = static_cast<size_t>(last - p_);
        p_ = stop;
    }

    const char* p_;
    const char* end_;
    int line_;
    bool last_;
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
std::pair<const char*, size_t> trimmed(const Field& field) {
    const char* begin = field.data;
    const char* end = field.data + field.size;
    while (begin != end && is_blank(*begin)) ++begin;
    while (end != begin && is_blank(end[-1])) --end;
    return {begin, static_cast<size_t>(end - begin)};
}

// The role of a header name: 0 to 4 for the five columns, else kOtherRole.
int column_role(const Field& field) {
    const auto name = trimmed(field);
    for (int role = 0; role < kBarColumns; ++role) {
        const char* want = kColumnNames[role];
        if (std::strlen(want) != name.second) continue;
        size_t k = 0;
        while (k < name.second && lower(name.first[k]) == want[k]) ++k;
        if (k == name.second) return role;
    }
    return kOtherRole;
}

// Reads a row whose fields are all plain, without blanks around them, and whose numbers
// plain_number takes, given each column's role and decimals. Returns the start of the next
// line, or null when the row is of any other shape or the text ends before a line end (the
// general path then reads it and names what is wrong).
const char* plain_row(const char* p, const char* end, const std::vector<int>& roles,
                      const std::vector<int>& decimals, int32_t* bar, const char** date,
                      size_t* date_size) {
    const size_t width = roles.size();
    for (size_t k = 0;; ++k) {
        const int role = roles[k];
        if (role >= 0 && role < kBarColumns) {
            p = plain_number(p, end, decimals[k], &bar[role]);
            if (!p) return nullptr;
        } else {
            const char* start = p;
            if (p != end && (*p == '"' || is_blank(*p))) return nullptr;
            while (p != end && *p != ',' && *p != '\n' && *p != '\r') ++p;
            if (p != start && is_blank(p[-1])) return nullptr;
            if (role == kDateRole) {
                *date = start;
                *date_size = static_cast<size_t>(p - start);
            }
        }
        if (k + 1 == width) break;
        if (p == end || *p != ',') return nullptr;
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

// The text of a scale's option as a message names it: "-scale 100".
std::string scale_text(int role, int decimals) {
    std::string text = role == kVolumeRole ? "-volumescale 1" : "-scale 1";
    text.append(static_cast<size_t>(decimals), '0');
    return text;
}

bool fail(CsvError* error, int line, std::string message) {
    error->line = line;
    error->message = std::move(message);
    return true;
}

// Reads the numbers of a row split by the general path into a bar. Returns true on failure.
bool general_row(const std::vector<Field>& fields, const std::vector<int>& roles,
                 const std::vector<int>& decimals, const std::vector<std::string>& labels,
                 int32_t* bar, CsvError* error) {
    for (size_t k = 0; k < fields.size(); ++k) {
        const int role = roles[k];
        if (role < 0 || role >= kBarColumns) continue;
        const Field& field = fields[k];
        const auto number = trimmed(field);
        const NumberFault fault =
            scale_number(number.first, number.second, decimals[k], &bar[role]);
        if (fault == NumberFault::kNone) continue;
        std::string message = labels[k] + " " + shown(field);
        if (fault == NumberFault::kSyntax) {
            message += " is not a number";
        } else if (fault == NumberFault::kDecimals) {
            message += " has more decimals than " + scale_text(role, decimals[k]) + " holds";
        } else {
            message += " at " + scale_text(role, decimals[k]) + " is outside the 32-bit range";
        }
        return fail(error, field.line, std::move(message));
    }
    return false;
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
    *out = std::move(bars_);
    bars_ = CsvBars();
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
    if (size == *used) {
        if (!last) return false;
        return fail(error, 1,
                    "empty file: the first line must name the columns open, high, low, close "
                    "and volume");
    }
    Tokenizer tokens(text + *used, size - *used, line_, last);
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
        const int role = column_role(fields[k]);
        if (role == kOtherRole) {
            const auto name = trimmed(fields[k]);
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
        if (column_of[role] < 0) {
            return fail(error, 1, std::string("header has no column ") + kColumnNames[role]);
        }
    }
    have_header_ = true;
    *used = static_cast<size_t>(tokens.position() - text);
    line_ = tokens.line();
    return false;
}

bool CsvReader::read(const char* text, size_t size, bool last, size_t* used, CsvError* error) {
    *used = 0;
    if (!have_header_) {
        if (read_header(text, size, last, used, error)) return true;
        if (!have_header_) return false;
    }
    const size_t width = roles_.size();
    Tokenizer tokens(text + *used, size - *used, line_, last);
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
        const char* next = plain_row(row, text + size, roles_, decimals_, bar, &date, &date_size);
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
            if (general_row(fields, roles_, decimals_, labels_, bar, error)) return true;
            for (size_t k = 0; k < width; ++k) {
                if (roles_[k] != kDateRole) continue;
                date = fields[k].data;
                date_size = fields[k].size;
            }
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
