// Bars read from the text of a CSV file: the header, the rows and the exact decimal scaling of
// their numbers. Nothing here knows about Tcl.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zolv {

// The most decimals a scale holds: 10^9.
constexpr int kMaxScaleDecimals = 9;

// The longest row: its bytes from its first one to its line end (LF or CR LF, not counted), a
// quoted field's line ends included.
constexpr size_t kMaxRowBytes = size_t{1} << 20;

// The number of decimals of a scale: n for 10^n with 0 <= n <= 9, else -1.
int scale_decimals(int64_t scale);

struct CsvOptions {
    int price_decimals = 0;   // 0 to 9: open, high, low and close are multiplied by 10^this
    int volume_decimals = 0;  // 0 to 9: volume is multiplied by 10^this
    bool dates = false;       // also collect each row's text of the first other column
};

struct CsvBars {
    std::vector<int32_t> values;     // open high low close volume of each row, in file order
    std::vector<std::string> dates;  // one text per row when asked ("" without such a column)
};

struct CsvError {
    int line = 0;         // 1-based line of the file
    std::string message;  // what is wrong, naming the column and the text; no line prefix
};

// Reads the text of a CSV file given in pieces of any size, in order, so that a large file
// never has to be held whole. The first line names the columns (case-insensitive, blanks
// around names ignored); open, high, low, close and volume must be among them, other columns
// are skipped. Fields may be quoted with double quotes (a doubled quote inside stands for
// one); lines end in LF or CRLF; blank lines are skipped; a leading UTF-8 byte order mark is
// ignored. A number is an optional sign, digits, and optionally "." and more digits; it is
// scaled with decimal digits only and must fit 32 bits. A row longer than kMaxRowBytes is
// refused, so that no row is carried from piece to piece without end.
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

    CsvOptions options_;
    CsvBars bars_;
    bool failed_ = false;
    bool started_ = false;      // the byte order mark is behind
    bool have_header_ = false;  // the columns are known
    int line_ = 1;              // the line at the start of the text not yet read
    std::string carry_;         // the start of a row whose end has not come yet
    size_t retry_at_ = 0;       // carry_ is read again once it holds this many bytes

    // The name of a field in messages: its column's label, or "field N" (N counted from 1)
    // beyond the header or for a column without a name.
    std::string field_name(size_t field) const;

    // Per column of the header: 0 to 4 for the five, the date column, or another one; the
    // decimals of its scale; its name in messages.
    std::vector<int> roles_;
    std::vector<int> decimals_;
    std::vector<std::string> labels_;
    bool have_date_ = false;
};

// Reads the whole text of a CSV file in one piece, as CsvReader does. Returns false on
// success with `out` filled, true on failure with `error` filled and `out` untouched.
bool parse_csv(const char* text, size_t size, const CsvOptions& options, CsvBars* out,
               CsvError* error);

}  // namespace zolv
