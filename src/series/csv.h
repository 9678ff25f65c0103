// Bars read from the text of a CSV file: the header, the rows and the exact decimal scaling of
// their numbers. Nothing here knows about Tcl.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "series/csv_number.h"

namespace zolv {

// The longest row: its bytes from its first one to its line end (LF or CR LF, not counted), a
// quoted field's line ends included. A line skipped before the header is held to it as well.
constexpr size_t kMaxRowBytes = size_t{1} << 20;

// The number of decimals of a scale: n for 10^n with 0 <= n <= 9, else -1.
int scale_decimals(int64_t scale);

// The five columns of a bar, in the order of its values.
constexpr int kBarColumns = 5;
constexpr const char* kColumnNames[kBarColumns] = {"open", "high", "low", "close", "volume"};

struct CsvOptions {
    int price_decimals = 0;     // 0 to 9: open, high, low and close are multiplied by 10^this
    int volume_decimals = 0;    // -9 to 9: volume is multiplied by 10^this (divided if negative)
    bool round = false;         // digits a scale does not hold are rounded half away from zero
    bool dates = false;         // also collect each row's text of the first other column
    char separator = ',';       // between fields: ',', ';', '|' or a tab
    int skip = 0;               // lines before the header, skipped as they are
    bool skip_invalid = false;  // a row with a field of the five that is no number is skipped
    bool reverse = false;       // the rows run newest first: the bars come out oldest first
    // The header name of open, high, low, close and volume (any case); "" for the names the
    // reader knows: the column's own name, "Close/Last" for close, "Vol" or "Vol." for volume.
    std::string columns[kBarColumns];
};

struct CsvBars {
    std::vector<int32_t> values;     // open high low close volume of each row, oldest first
    std::vector<std::string> dates;  // one text per row when asked ("" without such a column)
    std::vector<int> skipped;        // the lines of the rows skipped (skip_invalid), in order
};

struct CsvError {
    int line = 0;         // 1-based line of the file
    std::string message;  // what is wrong, naming the column and the text; no line prefix
};

// Reads the text of a CSV file given in pieces of any size, in order, so that a large file
// never has to be held whole. After `skip` lines, a line names the columns (case-insensitive,
// blanks around names ignored); open, high, low, close and volume must be among them, other
// columns are skipped. Fields are separated by the separator and may be quoted with double
// quotes (a doubled quote inside stands for one); lines end in LF or CRLF; blank lines are
// skipped; a leading UTF-8 byte order mark is ignored. A number is read by scale_number
// (thousands separators in quoted fields only), scaled with decimal digits only, and must fit
// 32 bits. When the first other column holds ISO dates or epoch numbers, the first two rows
// whose dates differ tell the file's order, which must be oldest first (newest first with
// `reverse`). A row longer than kMaxRowBytes is refused, so that no row is carried from piece
// to piece without end.
class CsvReader {
public:
    explicit CsvReader(const CsvOptions& options);

    // Makes room for the rows of a file of about `size` bytes; a hint only.
    void expect_bytes(size_t size);
    // Reads the next piece of the file. Returns true on failure with `error` filled; the
    // reader then refuses everything else.
    bool feed(const char* data, size_t size, CsvError* error);
    // Reads the rest after the last piece. Returns false on success with `out` filled, true on
    // failure with `error` filled and `out` untouched.
    bool finish(CsvBars* out, CsvError* error);

private:
    // Reads the rows that `text` holds whole (all of them when `last`), and the header first.
    // `used` receives the bytes read; the rest starts a row whose end has not come.
    bool read(const char* text, size_t size, bool last, size_t* used, CsvError* error);
    bool read_header(const char* text, size_t size, bool last, size_t* used, CsvError* error);
    // The rows after the header, read as `read` reads them, with the file's separator.
    template <char separator>
    bool read_rows(const char* text, size_t size, bool last, size_t* used, CsvError* error);
    // Skips the lines before the header; false while more of them are to come.
    bool skip_lines(const char* text, size_t size, bool last, size_t* used, CsvError* error);
    // Takes in the date text of a row, until the order of the rows is known; true on failure.
    bool check_order(const char* date, size_t size, int line, CsvError* error);

    CsvOptions options_;
    CsvBars bars_;
    bool failed_ = false;
    bool started_ = false;      // the byte order mark is behind
    bool have_header_ = false;  // the columns are known
    int line_ = 1;              // the line at the start of the text not yet read
    std::string carry_;         // the start of a row whose end has not come yet
    size_t retry_at_ = 0;       // carry_ is read again once it holds this many bytes
    int skipped_lines_ = 0;     // of the lines before the header
    size_t skipped_bytes_ = 0;  // of the line being skipped, in earlier pieces
    bool skipped_cr_ = false;   // the last of them is a CR
    int header_line_ = 1;

    // The name of a field in messages: its column's label, or "field N" (N counted from 1)
    // beyond the header or for a column without a name.
    std::string field_name(size_t field) const;

    // Per column of the header: 0 to 4 for the five, the date column, or another one; the
    // decimals of its scale; its name in messages.
    std::vector<int> roles_;
    std::vector<int> decimals_;
    std::vector<std::string> labels_;
    bool have_date_ = false;

    // The order of the rows: unknown until two dates differ, or not known at all when the dates
    // are not of a shape it is told by.
    bool order_known_ = false;
    std::string first_date_;
    int first_line_ = 0;
};

// Reads the whole text of a CSV file in one piece, as CsvReader does. Returns false on
// success with `out` filled, true on failure with `error` filled and `out` untouched.
bool parse_csv(const char* text, size_t size, const CsvOptions& options, CsvBars* out,
               CsvError* error);

}  // namespace zolv
