// The CSV reader of bars: one table of files and what each reads as, or the line and message
// it fails with; expected values worked out by hand.
#include "series/csv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace {

using zolv::CsvBars;
using zolv::CsvError;
using zolv::CsvOptions;

constexpr char kHeader[] = "date,open,high,low,close,volume\n";

struct CsvCase {
    const char* name;
    std::string text;
    int price_decimals;
    int volume_decimals;
    std::vector<int32_t> values;     // expected on success
    std::vector<std::string> dates;  // expected on success
    int line;                        // expected on failure (0: success)
    std::string message;
};

CsvCase good(const char* name, std::string text, int decimals, std::vector<int32_t> values,
             std::vector<std::string> dates, int volume_decimals = 0) {
    return {
        name, std::move(text), decimals, volume_decimals, std::move(values), std::move(dates), 0,
        ""};
}

CsvCase bad(const char* name, std::string text, int decimals, int line, std::string message,
            int volume_decimals = 0) {
    return {name, std::move(text), decimals, volume_decimals, {}, {}, line, std::move(message)};
}

void PrintTo(const CsvCase& c, std::ostream* os) {
    *os << c.name;
}

class CsvTest : public ::testing::TestWithParam<CsvCase> {};

// Reads the text in pieces of `piece` bytes (0: in one piece).
bool read_in_pieces(const CsvCase& c, size_t piece, CsvBars* bars, CsvError* error) {
    CsvOptions options;
    options.price_decimals = c.price_decimals;
    options.volume_decimals = c.volume_decimals;
    options.dates = true;
    if (piece == 0) return zolv::parse_csv(c.text.data(), c.text.size(), options, bars, error);
    zolv::CsvReader reader(options);
    for (size_t at = 0; at < c.text.size(); at += piece) {
        if (reader.feed(c.text.data() + at, std::min(piece, c.text.size() - at), error)) {
            return true;
        }
    }
    return reader.finish(bars, error);
}

TEST_P(CsvTest, ReadsOrFailsAsWorkedOut) {
    const CsvCase& c = GetParam();
    // Whole, and cut into pieces at every place: a row, a quoted field, a line end or the
    // byte order mark split between two pieces reads as it does whole.
    for (size_t piece : {0, 1, 2, 3, 7, 64}) {
        SCOPED_TRACE(piece);
        CsvBars bars;
        bars.values = {-7};  // a failure must leave it untouched
        CsvError error;
        const bool failed = read_in_pieces(c, piece, &bars, &error);
        if (c.line == 0) {
            ASSERT_FALSE(failed) << error.line << ": " << error.message;
            EXPECT_EQ(c.values, bars.values);
            EXPECT_EQ(c.dates, bars.dates);
        } else {
            ASSERT_TRUE(failed);
            EXPECT_EQ(c.line, error.line);
            EXPECT_EQ(c.message, error.message);
            EXPECT_EQ(std::vector<int32_t>{-7}, bars.values);
        }
    }
}

const std::string h = kHeader;
// A quoted field of 300 bytes over ten lines.
const std::string long_text = [] {
    std::string text;
    for (int k = 0; k < 10; ++k)
        text += std::string(29, static_cast<char>('a' + k)) + (k < 9 ? "\n" : "x");
    return text;
}();

// A date that makes a row of exactly kMaxRowBytes with ",1,2,3,4,5".
const std::string longest_date(zolv::kMaxRowBytes - std::string(",1,2,3,4,5").size(), 'd');

INSTANTIATE_TEST_SUITE_P(
    Files, CsvTest,
    ::testing::Values(
        // Scaling: digits shifted, trailing zeros beyond the scale accepted, zeros supplied.
        good("ScaledPrices", h + "d,63.44,63.4400,-0.5,7,12\n", 2, {6344, 6344, -50, 700, 12},
             {"d"}),
        good("ScaleOne", h + "d,1,+2,-3,0004,5.000\n", 0, {1, 2, -3, 4, 5}, {"d"}),
        good("VolumeScale", h + "d,1,2,3,4,0.125\n", 0, {1, 2, 3, 4, 125}, {"d"}, 3),
        good("MostDecimals", h + "d,0.000000001,1,2.147483647,-2.147483648,4\n", 9,
             {1, 1000000000, INT32_MAX, INT32_MIN, 4}, {"d"}),
        bad("TooManyDecimals", h + "d,1,2,3,63.445,4\n", 2, 2,
            "close \"63.445\" has more decimals than -scale 100 holds"),
        bad("VolumeDecimals", h + "d,1,2,3,4,1.5\n", 2, 2,
            "volume \"1.5\" has more decimals than -volumescale 1 holds"),
        // The 32-bit edge, before and after scaling.
        good("Int32Edge", h + "d,2147483647,-2147483648,-0,+0,0\n", 0,
             {INT32_MAX, INT32_MIN, 0, 0, 0}, {"d"}),
        good("Int32EdgeScaled", h + "d,1,2,21474836.47,-21474836.48,0\n", 2,
             {100, 200, INT32_MAX, INT32_MIN, 0}, {"d"}),
        bad("AboveInt32", h + "d,2147483648,1,1,1,1\n", 0, 2,
            "open \"2147483648\" at -scale 1 is outside the 32-bit range"),
        bad("BelowInt32Scaled", h + "d,1,1,-21474836.49,1,1\n", 2, 2,
            "low \"-21474836.49\" at -scale 100 is outside the 32-bit range"),
        bad("HugeNumber", h + "d,1,1,1,1,99999999999999999999999999\n", 0, 2,
            "volume \"99999999999999999999999999\" at -volumescale 1 is outside the 32-bit range"),
        // Number syntax.
        bad("Exponent", h + "d,1e5,1,1,1,1\n", 0, 2, "open \"1e5\" is not a number"),
        bad("BareDot", h + "d,1,.5,1,1,1\n", 1, 2, "high \".5\" is not a number"),
        bad("TrailingDot", h + "d,1,1,5.,1,1\n", 1, 2, "low \"5.\" is not a number"),
        bad("Empty", h + "d,1,1,1,,1\n", 0, 2, "close \"\" is not a number"),
        bad("Word", h + "d,1,1,1,1,x\n", 0, 2, "volume \"x\" is not a number"),
        bad("LongText", h + "d,1,1,1,1," + std::string(50, 'x') + "\n", 0, 2,
            "volume \"" + std::string(40, 'x') + "...\" is not a number"),
        // Line ends, blank lines, a byte order mark, a last line without its end.
        good("Crlf", "date,open,high,low,close,volume\r\nd,1,2,3,4,5\r\ne,6,7,8,9,10\r\n", 0,
             {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {"d", "e"}),
        good("BlankLines", h + "\nd,1,2,3,4,5\n  \n\r\ne,6,7,8,9,10", 0,
             {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {"d", "e"}),
        good("ByteOrderMark", "\xEF\xBB\xBF" + h + "d,1,2,3,4,5\n", 0, {1, 2, 3, 4, 5}, {"d"}),
        bad("LineAfterBlank", h + "\n\nd,1,2,3,4\n", 0, 4, "5 fields where the header has 6"),
        // Quotes: commas, doubled quotes and line ends inside, blanks outside.
        good("Quoted", h + "\"a, \"\"b\"\"\",\"1\", \"2\" ,3,4,5\n", 0, {1, 2, 3, 4, 5},
             {"a, \"b\""}),
        good("QuotedLineEnd", h + "\"a\nb\",1,2,3,4,5\nc,6,7,8,9,10\n", 0,
             {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {"a\nb", "c"}),
        bad("LineCountAfterQuote", h + "\"a\nb\",1,2,3,4,5\nc,6,7,8,9,x\n", 0, 4,
            "volume \"x\" is not a number"),
        good("LongQuoted", h + "\"" + long_text + "\",1,2,3,4,5\ne,6,7,8,9,10\n", 0,
             {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {long_text, "e"}),
        bad("LineCountAfterLongQuote", h + "\"" + long_text + "\",1,2,3,4,5\ne,6,7,8,9,x\n", 0, 12,
            "volume \"x\" is not a number"),
        bad("OpenQuote", h + "d,1,2,3,4,5\n\"e,6,7,8,9,10\n", 0, 3,
            "date: no closing quote before the end of the file"),
        bad("TextAfterQuote", h + "d,\"1\"2,2,3,4,5\n", 0, 2, "open: text after the closing quote"),
        // The header: any order and case, blanks and quotes, other columns skipped.
        good("ColumnOrder", " Volume ,CLOSE,\"Time\",low,Adj Close,High,open\n5,4,t,3,x,2,1\n", 0,
             {1, 2, 3, 4, 5}, {"t"}),
        good("NoDateColumn", "open,high,low,close,volume\n1,2,3,4,5\n", 0, {1, 2, 3, 4, 5}, {""}),
        bad("MissingColumn", "date,open,high,low,close\nd,1,2,3,4\n", 0, 1,
            "header has no column volume"),
        bad("TwiceNamed", "open,high,low,close,volume,Close\n", 0, 1,
            "header names the column close twice"),
        bad("EmptyFile", "", 0, 1,
            "empty file: the first line must name the columns open, high, low, close and "
            "volume"),
        bad("HeaderQuote", "\"open,high\n", 0, 1,
            "header: no closing quote before the end of the file"),
        // Row width: every row has as many fields as the header.
        bad("TooFew", h + "d,1,2,3,4\n", 0, 2, "5 fields where the header has 6"),
        bad("TooMany", h + "d,1,2,3,4,5,6\n", 0, 2, "7 fields where the header has 6"),
        // Fields beyond the header, or under a column without a name, are named by position.
        bad("OpenQuoteBeyondHeader", "open,high,low,close,volume\n1,1,1,1,1,\"", 0, 2,
            "field 6: no closing quote before the end of the file"),
        bad("TextAfterQuoteBeyondHeader", "open,high,low,close,volume\n1,1,1,1,1,\"x\"y\n", 0, 2,
            "field 6: text after the closing quote"),
        bad("TextAfterQuoteUnnamed", "date,open,high,low,close,volume, \nd,1,2,3,4,5,\"x\"y\n", 0,
            2, "field 7: text after the closing quote"),
        // Doubled quotes in several fields of one record: each keeps its own text.
        good("DoubledQuotesTwice",
             "date,open,high,low,close,volume,note\n\"20\"\"20\",1,2,3,4,5,\"a\"\"b\"\n", 0,
             {1, 2, 3, 4, 5}, {"20\"20"}),
        good("DoubledQuotesEverywhere",
             "\"n\"\"1\",date,\"o\"\"\"\"\",open,high,low,close,volume\n\"" + long_text +
                 "\"\"\",\"x\"\"" + long_text + "\",\"\"\"\",1,2,3,4,5\n",
             0, {1, 2, 3, 4, 5}, {long_text + "\""}),
        // The bound on a row: its bytes without its line end; a longer one names its first line.
        good("LongestRow", h + longest_date + ",1,2,3,4,5\r\n", 0, {1, 2, 3, 4, 5}, {longest_date}),
        bad("RowTooLong", h + "d,1,2,3,4,5\n" + longest_date + "x,1,2,3,4,5\n", 0, 3,
            "row longer than 1048576 bytes"),
        bad("LastRowTooLong", h + longest_date + ",1,2,3,4,55", 0, 2,
            "row longer than 1048576 bytes"),
        bad("QuotedRowTooLong", h + "\"a\n" + longest_date + "\",1,2,3,4,5\n", 0, 2,
            "row longer than 1048576 bytes"),
        bad("OpenQuoteTooLong", h + "\"" + longest_date + "0123456789", 0, 2,
            "row longer than 1048576 bytes"),
        bad("FaultBeyondBound", h + "\"" + longest_date + "01234567\"x,1,2,3,4,5\n", 0, 2,
            "row longer than 1048576 bytes"),
        bad("FaultWithinBound", h + "\"" + longest_date + "0123456\"x,1,2,3,4,5\n", 0, 2,
            "date: text after the closing quote"),
        bad("HeaderTooLong", longest_date + "," + h, 0, 1, "row longer than 1048576 bytes"),
        // No rows: nothing, and no error.
        good("HeaderOnly", "date,open,high,low,close,volume", 0, {}, {}),
        good("HeaderAndBlanks", h + "\n\r\n", 0, {}, {})),
    [](const ::testing::TestParamInfo<CsvCase>& param) { return std::string(param.param.name); });

struct ScaleCase {
    int64_t scale;
    int decimals;
};

class ScaleTest : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(ScaleTest, OnlyPowersOfTenUpToTheNinth) {
    EXPECT_EQ(GetParam().decimals, zolv::scale_decimals(GetParam().scale));
}

INSTANTIATE_TEST_SUITE_P(Scales, ScaleTest,
                         ::testing::Values(ScaleCase{1, 0}, ScaleCase{10, 1}, ScaleCase{100, 2},
                                           ScaleCase{1000000000, 9}, ScaleCase{0, -1},
                                           ScaleCase{-10, -1}, ScaleCase{20, -1},
                                           ScaleCase{10000000000, -1}, ScaleCase{99, -1}));

}  // namespace
