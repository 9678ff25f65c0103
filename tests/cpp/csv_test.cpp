// The CSV reader of bars: one table of files and what each reads as, or the line and message
// it fails with; expected values worked out by hand.
#include "series/csv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <random>
#include <sstream>
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
    CsvOptions options;
    std::vector<int32_t> values;     // expected on success
    std::vector<std::string> dates;  // expected on success
    int line;                        // expected on failure (0: success)
    std::string message;
    std::vector<int> skipped;  // expected on success
};

CsvOptions scales(int decimals, int volume_decimals) {
    CsvOptions options;
    options.price_decimals = decimals;
    options.volume_decimals = volume_decimals;
    return options;
}

CsvCase good(const char* name, std::string text, int decimals, std::vector<int32_t> values,
             std::vector<std::string> dates, int volume_decimals = 0) {
    return {name,
            std::move(text),
            scales(decimals, volume_decimals),
            std::move(values),
            std::move(dates),
            0,
            "",
            {}};
}

CsvCase bad(const char* name, std::string text, int decimals, int line, std::string message,
            int volume_decimals = 0) {
    return {
        name, std::move(text), scales(decimals, volume_decimals), {}, {}, line, std::move(message),
        {}};
}

// The options of a case as a script writes them, from "-scale 100 -round -separator ;" and so on
// (names of -columns without blanks).
CsvOptions options_of(const std::string& words) {
    CsvOptions o;
    std::istringstream in(words);
    std::string word;
    while (in >> word) {
        std::string value;
        if (word == "-round") {
            o.round = true;
        } else if (word == "-reverse") {
            o.reverse = true;
        } else if (word == "-skipinvalid") {
            o.skip_invalid = true;
        } else if (in >> value, word == "-scale") {
            o.price_decimals = static_cast<int>(value.size()) - 1;
        } else if (word == "-volumescale") {
            int decimals = 0;
            zolv::power_of_ten(value.data(), value.size(), &decimals);
            o.volume_decimals = decimals;
        } else if (word == "-separator") {
            o.separator = value == "tab" ? '\t' : value[0];
        } else if (word == "-skip") {
            o.skip = std::stoi(value);
        } else if (word == "-columns") {
            const std::string names[] = {"open", "high", "low", "close", "volume"};
            std::string name;
            in >> name;
            for (int k = 0; k < 5; ++k) {
                if (names[k] == value) o.columns[k] = name;
            }
        }
    }
    return o;
}

CsvCase good_with(const char* name, std::string text, const std::string& options,
                  std::vector<int32_t> values, std::vector<std::string> dates,
                  std::vector<int> skipped = {}) {
    return {name, std::move(text),   options_of(options), std::move(values), std::move(dates), 0,
            "",   std::move(skipped)};
}

CsvCase bad_with(const char* name, std::string text, const std::string& options, int line,
                 std::string message) {
    return {name, std::move(text), options_of(options), {}, {}, line, std::move(message), {}};
}

void PrintTo(const CsvCase& c, std::ostream* os) {
    *os << c.name;
}

class CsvTest : public ::testing::TestWithParam<CsvCase> {};

// Reads the text in pieces of `piece` bytes (0: in one piece).
bool read_in_pieces(const CsvCase& c, size_t piece, CsvBars* bars, CsvError* error) {
    CsvOptions options = c.options;
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
            EXPECT_EQ(c.skipped, bars.skipped);
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
            "close \"63.445\" has more decimals than -scale 100 holds (use -round, or a larger "
            "-scale)"),
        bad("VolumeDecimals", h + "d,1,2,3,4,1.5\n", 2, 2,
            "volume \"1.5\" has more decimals than -volumescale 1 holds (use -round, or a larger "
            "-volumescale)"),
        // The 32-bit edge, before and after scaling.
        good("Int32Edge", h + "d,2147483647,-2147483648,-0,+0,0\n", 0,
             {INT32_MAX, INT32_MIN, 0, 0, 0}, {"d"}),
        good("Int32EdgeScaled", h + "d,1,2,21474836.47,-21474836.48,0\n", 2,
             {100, 200, INT32_MAX, INT32_MIN, 0}, {"d"}),
        bad("AboveInt32", h + "d,2147483648,1,1,1,1\n", 0, 2,
            "open \"2147483648\" at -scale 1 is outside the 32-bit range"),
        bad("BelowInt32Scaled", h + "d,1,1,-21474836.49,1,1\n", 2, 2,
            "low \"-21474836.49\" at -scale 100 is outside the 32-bit range (use a smaller "
            "-scale)"),
        bad("HugeNumber", h + "d,1,1,1,1,99999999999999999999999999\n", 0, 2,
            "volume \"99999999999999999999999999\" at -volumescale 1 is outside the 32-bit range "
            "(use a smaller -volumescale)"),
        // Number syntax: an exponent, a "$", thousands separators in quoted fields only.
        good("Exponent", h + "d,1e5,15E-1,$-2,-$2.5e+0,\"82,488,700\"\n", 1,
             {1000000, 15, -20, -25, 82488700}, {"d"}),
        good_with("ExponentEdges", h + "d,0e99999999999999999999,1e-99999999999,1,1,1\n", "-round",
                  {0, 0, 1, 1, 1}, {"d"}),
        bad("ExponentRange", h + "d,1e99999999999,1,1,1,1\n", 0, 2,
            "open \"1e99999999999\" at -scale 1 is outside the 32-bit range"),
        bad("ExponentDecimals", h + "d,1,1,1.5e-2,1,1\n", 1, 2,
            "low \"1.5e-2\" has more decimals than -scale 10 holds (use -round, or a larger "
            "-scale)"),
        bad_with("UnquotedGroups", "date;open;high;low;close;volume\nd;1;1;1;1;82,488\n",
                 "-separator ;", 2, "volume \"82,488\" is not a number"),
        bad("BadGroups", h + "d,1,1,1,1,\"82,48,700\"\n", 0, 2,
            "volume \"82,48,700\" is not a number"),
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
        // Rounding half away from zero, on the digits: the noise of binary prices, volumes in
        // thousands and fractional volumes.
        good_with("Round", h + "d,187.21017456054688,-0.125,0.004,2.5,48218.74043125\n",
                  "-scale 100 -round", {18721, -13, 0, 250, 48219}, {"d"}),
        good_with("RoundGeneralPath", h + "\"d\",\"-$0.125\",1.00495e2,99.995,0,\"2,500\"\n",
                  "-scale 100 -round -volumescale 0.001", {-13, 10050, 10000, 0, 3}, {"d"}),
        good_with("VolumeThousands", h + "d,1,1,1,1,3000000000\ne,1,1,1,1,2147483000\n",
                  "-volumescale 0.001", {1, 1, 1, 1, 3000000, 1, 1, 1, 1, 2147483}, {"d", "e"}),
        good_with("VolumeThousandsRounded", h + "d,1,1,1,1,1499.9\ne,1,1,1,1,-1500\n",
                  "-volumescale 1e-3 -round", {1, 1, 1, 1, 1, 1, 1, 1, 1, -2}, {"d", "e"}),
        bad_with("VolumeThousandsExact", h + "d,1,1,1,1,3000000500\n", "-volumescale 0.001", 2,
                 "volume \"3000000500\" at -volumescale 0.001 is not a whole number (use -round, "
                 "or a larger -volumescale)"),
        bad_with("BigVolume", h + "d,1,1,1,1,3000000000\n", "-round", 2,
                 "volume \"3000000000\" at -volumescale 1 is outside the 32-bit range (use a "
                 "smaller -volumescale)"),
        bad_with("NoiseWithoutRound", h + "d,187.21017456054688,1,1,1,1\n", "-scale 100", 2,
                 "open \"187.21017456054688\" has more decimals than -scale 100 holds (use "
                 "-round, or a larger -scale)"),
        // Separators: a tab is then no blank; blanks around fields still are.
        good_with("Semicolons", "Date;Open;High;Low;Close;Volume\n\"d;1\"; 1.5 ;2;3;4;5\n",
                  "-separator ; -scale 10", {15, 20, 30, 40, 5}, {"d;1"}),
        bad_with("DecimalComma", "Date;Open;High;Low;Close;Volume\nd;1,5;2;3;4;5\n", "-separator ;",
                 2, "open \"1,5\" is not a number"),
        good_with("Tabs", "date\topen\thigh\tlow\tclose\tvolume\n\t1\t 2\t3 \t4\t5\r\n",
                  "-separator tab", {1, 2, 3, 4, 5}, {""}),
        good_with("Pipes", "open|high|low|close|volume|date\n1|2|3|4|5|a,b\n", "-separator |",
                  {1, 2, 3, 4, 5}, {"a,b"}),
        // Lines before the header, quotes in them included; line numbers count them.
        good_with("Preamble", "Prices of \"X, Inc.\n\r\n" + h + "d,1,2,3,4,5\n", "-skip 2",
                  {1, 2, 3, 4, 5}, {"d"}),
        bad_with("PreambleLines", "title\n" + h + "d,1,2,3,4,x\n", "-skip 1", 3,
                 "volume \"x\" is not a number"),
        bad_with("PreambleNoHeader", "open,high,low,close,volume\n", "-skip 1", 2,
                 "the file ends before its header (-skip 1)"),
        bad_with("PreambleMissing", "title\ndate,open,high,low,close\n", "-skip 1", 2,
                 "header has no column volume"),
        bad_with("PreambleTooLong", longest_date + "12345678901\r\n" + h, "-skip 1", 1,
                 "row longer than 1048576 bytes"),
        good_with("PreambleLongest", longest_date + "1234567890\r\n" + h, "-skip 1", {}, {}),
        // Rows with fields that are no numbers: skipped and their lines kept, or refused.
        good_with("SkipInvalid",
                  h + "a,1,2,3,4,5\nb,null,null,null,null,null\n\nc,1,2,,4,5\nd,1,2,3,4.5,x\n"
                      "e,6,7,8,9,10\n",
                  "-skipinvalid", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {"a", "e"}, {3, 5, 6}),
        bad_with("NullRow", h + "a,1,2,3,4,5\nb,null,null,null,null,null\n", "", 3,
                 "open \"null\" is not a number"),
        bad_with("SkipInvalidKeepsScaleFaults", h + "a,1,2,3,4.5,5\n", "-skipinvalid", 2,
                 "close \"4.5\" has more decimals than -scale 1 holds (use -round, or a larger "
                 "-scale)"),
        // The order of the rows, told by ISO dates or epoch numbers.
        bad_with("NewestFirst",
                 h + "2024-01-03,1,1,1,1,1\n2024-01-03,1,1,1,1,1\n2024-01-02,1,1,1,1,1\n", "", 4,
                 "the rows run newest first (\"2024-01-03\" on line 2, then \"2024-01-02\"): use "
                 "-reverse"),
        good_with("Reverse", h + "1704240000,1,2,3,4,5\n1704153600,6,7,8,9,10\n999,0,0,0,0,0\n",
                  "-reverse", {0, 0, 0, 0, 0, 6, 7, 8, 9, 10, 1, 2, 3, 4, 5},
                  {"999", "1704153600", "1704240000"}),
        bad_with("ReverseOldestFirst",
                 h + "2024-01-02 09:30,1,1,1,1,1\n2024-01-02 09:31,1,1,1,1,1\n", "-reverse", 3,
                 "the rows run oldest first (\"2024-01-02 09:30\" on line 2, then \"2024-01-02 "
                 "09:31\"): -reverse is for files whose newest row comes first"),
        good_with("OtherDatesNotTold", h + "01/03/2024,1,1,1,1,1\n01/02/2024,2,2,2,2,2\n", "",
                  {1, 1, 1, 1, 1, 2, 2, 2, 2, 2}, {"01/03/2024", "01/02/2024"}),
        good_with("MixedDatesNotTold", h + "2024-01-03,1,1,1,1,1\n1704153600,2,2,2,2,2\n", "",
                  {1, 1, 1, 1, 1, 2, 2, 2, 2, 2}, {"2024-01-03", "1704153600"}),
        // Column names: the variants known, and names given.
        good_with("CloseLast",
                  "Date,Close/Last,Volume,Open,High,Low\n"
                  "01/02/2024,$185.64,82488700,$187.15,$188.44,$183.885\n",
                  "-scale 100 -round", {18715, 18844, 18389, 18564, 82488700}, {"01/02/2024"}),
        good_with("AdjCloseIsNoClose", "Date,Adj Close,Open,High,Low,Close,Vol.\nd,9,1,2,3,4,5\n",
                  "", {1, 2, 3, 4, 5}, {"d"}),
        bad_with("OnlyAdjClose", "Date,Open,High,Low,Adj Close,Volume\n", "", 1,
                 "header has no column close"),
        good_with("ColumnsGiven", "Close,Shares,o,h,l,Last\n9,5,1,2,3,4\n",
                  "-columns close last -columns volume SHARES -columns open o -columns high h "
                  "-columns low l",
                  {1, 2, 3, 4, 5}, {"9"}),
        bad_with("ColumnGivenMissing", "title\nDate,Open,High,Low,Close,Volume\n",
                 "-skip 1 -columns close Last", 2,
                 "header has no column \"Last\" (named by -columns for close)"),
        // No rows: nothing, and no error.
        good("HeaderOnly", "date,open,high,low,close,volume", 0, {}, {}),
        good("HeaderAndBlanks", h + "\n\r\n", 0, {}, {})),
    [](const ::testing::TestParamInfo<CsvCase>& param) { return std::string(param.param.name); });

// ---- The numbers against exact rational arithmetic ----------------------------------------

using Wide = unsigned __int128;

Wide power10(int k) {
    Wide p = 1;
    for (int i = 0; i < k; ++i) p *= 10;
    return p;
}

// A random number's parts, and the text it is written as.
struct Written {
    bool negative;
    std::string whole;     // digits
    std::string fraction;  // digits, may be empty
    int exponent;          // written when `with_exponent`
    bool with_exponent;
    bool grouped;  // the whole digits in groups of three
    std::string text;
};

Written random_written(std::mt19937_64& rng) {
    const auto below = [&rng](int n) { return static_cast<int>(rng() % static_cast<uint64_t>(n)); };
    const auto digits = [&](int count) {
        std::string d;
        for (int k = 0; k < count; ++k) {
            // Mostly 0, 4, 5 and 9: the digits where rounding turns.
            const char kDigits[] = "0123456789045945";
            d += kDigits[below(16)];
        }
        return d;
    };
    Written w;
    w.negative = below(2) == 0;
    w.whole = digits(1 + below(9));
    w.fraction = below(3) == 0 ? "" : digits(1 + below(9));
    w.with_exponent = below(3) == 0;
    w.exponent = w.with_exponent ? below(25) - 12 : 0;
    w.grouped = below(4) == 0;
    std::string whole = w.whole;
    if (w.grouped) {
        for (int k = static_cast<int>(whole.size()) - 3; k > 0; k -= 3) {
            whole.insert(static_cast<size_t>(k), ",");
        }
    }
    const int dollar = below(4);  // before the sign, after it, or none
    w.text = std::string(dollar == 0 ? "$" : "") +
             (w.negative      ? "-"
              : below(4) == 0 ? "+"
                              : "") +
             (dollar == 1 ? "$" : "") + whole + (w.fraction.empty() ? "" : "." + w.fraction);
    if (w.with_exponent) {
        w.text += (below(2) ? "e" : "E") + std::to_string(w.exponent);
    }
    return w;
}

// What scaling gives, from the number as the fraction N / 10^k: the exact product, or with
// rounding floor((2 |N| + 10^k) / (2 * 10^k)) in magnitude; a fraction left without rounding
// is kDecimals, a magnitude past 32 bits kRange.
zolv::NumberFault exact_scaled(const Written& w, const zolv::NumberRules& rules, int32_t* out) {
    Wide n = 0;
    for (char d : w.whole + w.fraction) n = n * 10 + static_cast<unsigned>(d - '0');
    const int shift = w.exponent - static_cast<int>(w.fraction.size()) + rules.decimals;
    Wide magnitude = 0;
    if (shift >= 0) {
        magnitude = n;
        for (int k = 0; k < shift && magnitude <= (Wide{1} << 40); ++k) magnitude *= 10;
    } else {
        const Wide p = power10(-shift);
        if (n % p != 0 && !rules.round) return zolv::NumberFault::kDecimals;
        magnitude = rules.round ? (2 * n + p) / (2 * p) : n / p;
    }
    const Wide limit = w.negative ? Wide{1} << 31 : (Wide{1} << 31) - 1;
    if (magnitude > limit) return zolv::NumberFault::kRange;
    const int64_t v = static_cast<int64_t>(magnitude);
    *out = static_cast<int32_t>(w.negative ? -v : v);
    return zolv::NumberFault::kNone;
}

TEST(CsvNumbers, ScaledAsExactRationalArithmetic) {
    std::mt19937_64 rng(20261208);
    int plain = 0;
    int rounded = 0;
    for (int trial = 0; trial < 400000; ++trial) {
        const Written w = random_written(rng);
        zolv::NumberRules rules;
        rules.decimals = static_cast<int>(rng() % 19) - 9;
        rules.round = rng() % 2 == 0;
        rules.grouped = w.grouped || rng() % 2 == 0;
        int32_t want = 0;
        const zolv::NumberFault fault = exact_scaled(w, rules, &want);
        int32_t got = 7;
        const zolv::NumberFault read =
            zolv::scale_number(w.text.data(), w.text.size(), rules, &got);
        ASSERT_EQ(fault, read) << w.text << " at 10^" << rules.decimals << " round " << rules.round;
        if (fault == zolv::NumberFault::kNone) {
            ASSERT_EQ(want, got) << w.text << " at 10^" << rules.decimals;
            rounded += rules.round;
        }
        // Thousands separators read only where the rules allow them.
        if (w.grouped && w.whole.size() > 3) {
            const zolv::NumberRules plain_rules{rules.decimals, rules.round, false};
            EXPECT_EQ(zolv::NumberFault::kSyntax,
                      zolv::scale_number(w.text.data(), w.text.size(), plain_rules, &got));
        }
        // The fast path takes a text or leaves it, and what it takes it reads alike.
        const std::string line = w.text + ";";
        int32_t fast = 0;
        const char* end = zolv::plain_number(line.data(), line.data() + line.size(), rules.decimals,
                                             rules.round, &fast);
        if (end && *end == ';') {  // a row goes on only at a separator
            ++plain;
            ASSERT_EQ(zolv::NumberFault::kNone, fault) << w.text;
            ASSERT_EQ(want, fast) << w.text << " at 10^" << rules.decimals;
        }
    }
    EXPECT_GT(plain, 10000);
    EXPECT_GT(rounded, 10000);
}

struct PowerCase {
    const char* text;
    bool ok;
    int exponent;
};

class PowerOfTenTest : public ::testing::TestWithParam<PowerCase> {};

TEST_P(PowerOfTenTest, ExactlyTenToAWholePower) {
    int exponent = 99;
    const std::string text = GetParam().text;
    EXPECT_EQ(GetParam().ok, zolv::power_of_ten(text.data(), text.size(), &exponent)) << text;
    if (GetParam().ok) {
        EXPECT_EQ(GetParam().exponent, exponent) << text;
    }
}

INSTANTIATE_TEST_SUITE_P(Scales, PowerOfTenTest,
                         ::testing::Values(PowerCase{"1", true, 0}, PowerCase{"1000", true, 3},
                                           PowerCase{"0.001", true, -3},
                                           PowerCase{"1e-3", true, -3}, PowerCase{"10E2", true, 3},
                                           PowerCase{"0.0010", true, -3},
                                           PowerCase{"01.0", true, 0},
                                           PowerCase{"0.000000001", true, -9},
                                           PowerCase{"1e9", true, 9}, PowerCase{"1e10", false, 0},
                                           PowerCase{"1e-10", false, 0}, PowerCase{"2", false, 0},
                                           PowerCase{"11", false, 0}, PowerCase{"0", false, 0},
                                           PowerCase{"-1", false, 0}, PowerCase{"$1", false, 0},
                                           PowerCase{"1e", false, 0}, PowerCase{"", false, 0}));

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
