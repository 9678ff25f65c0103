// The binding runtime through its C++ interface, with a real interpreter: the
// argument parser, pointer and packed text, the type check, the ownership set,
// the live-object registry and the constant index.
#include "binding/runtime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

#include "series/zolv.h"

// The stubs header routes Tcl_CreateInterp through the stubs table, which only
// exists once the package has initialised it; the interpreter that does that
// has to come from the library itself.
#undef Tcl_CreateInterp

extern "C" int Zolv_Init(Tcl_Interp*);

namespace {

using zolv::parse_args;

// One interpreter for the whole test program, with the package loaded.
struct Interp {
    Tcl_Interp* interp = nullptr;
    int init_code = TCL_ERROR;
    Interp() {
        Tcl_FindExecutable(nullptr);
        interp = Tcl_CreateInterp();
        init_code = Zolv_Init(interp);
    }
};

Tcl_Interp* interp() {
    static Interp the;
    return the.interp;
}

std::string result() {
    return Tcl_GetStringResult(interp());
}

// The words of one command call; word 0 is the command name. Each word is held.
class Words {
public:
    Words(std::initializer_list<const char*> words) {
        add("cmd");
        for (const char* w : words) add(w);
    }
    Words(const Words&) = delete;
    Words& operator=(const Words&) = delete;
    ~Words() {
        for (Tcl_Obj* obj : objs_) Tcl_DecrRefCount(obj);
    }
    int objc() const { return static_cast<int>(objs_.size()); }
    Tcl_Obj* const* objv() const { return objs_.data(); }
    Tcl_Obj* operator[](size_t k) const { return objs_[k]; }

private:
    void add(const char* w) {
        Tcl_Obj* obj = Tcl_NewStringObj(w, -1);
        Tcl_IncrRefCount(obj);
        objs_.push_back(obj);
    }
    std::vector<Tcl_Obj*> objs_;
};

// Runs parse_args on `words` with `format` and the given destinations.
template <typename... Slots>
int parse(const Words& words, const char* format, Slots... slots) {
    Tcl_ResetResult(interp());
    return parse_args(interp(), words.objc(), words.objv(), format, slots...);
}

zolv::TypeInfo* zolv_type() {
    return zolv::type_slot(zolv::kZolvType);
}
zolv::TypeInfo* int_type() {
    return zolv::type_slot(zolv::kIntType);
}

void* fake_address(uintptr_t value) {
    return reinterpret_cast<void*>(value);
}

TEST(PackageInit, LoadsIntoAFreshInterpreter) {
    ASSERT_NE(interp(), nullptr);
    static Interp check;  // a second interpreter: registration is skipped, loading still works
    EXPECT_EQ(TCL_OK, check.init_code);
    EXPECT_NE(nullptr, zolv_type());
    EXPECT_STREQ("_p_ZOLV", zolv_type()->name);
    EXPECT_STREQ("ZOLV *", zolv_type()->description);
    EXPECT_NE(nullptr, zolv_type()->class_record);
    EXPECT_EQ(nullptr, int_type()->class_record);
}

TEST(PackageInit, NullInterpreterIsRefused) {
    EXPECT_EQ(TCL_ERROR, Zolv_Init(nullptr));
}

// ---- Integer codes ---------------------------------------------------------

TEST(ParseInt, ConvertsTclIntegersOfThe32BitRange) {
    struct Case {
        const char* word;
        int want;
    };
    const Case cases[] = {{"7", 7},
                          {" 7 ", 7},
                          {"0x10", 16},
                          {"-0", 0},
                          {"-2147483648", INT32_MIN},
                          {"2147483647", INT32_MAX}};
    for (const Case& c : cases) {
        Words w{c.word};
        int got = 12345;
        ASSERT_EQ(TCL_OK, parse(w, "i:u ", &got)) << c.word << ": " << result();
        EXPECT_EQ(c.want, got) << c.word;
    }
}

TEST(ParseInt, RefusesWhatWouldWrap) {
    int got = 12345;
    // Tcl itself would wrap the first four into 32 bits, and the last into 64.
    for (const char* word : {"2147483648", "-2147483649", "4294967295", "-4294967295", "4294967296",
                             "0x80000000", "18446744073709551615"}) {
        Words big{word};
        EXPECT_EQ(TCL_ERROR, parse(big, "i:u ", &got)) << word;
        EXPECT_EQ("integer value too large to represent:u  argument 1", result()) << word;
        Tcl_Obj* options = Tcl_GetReturnOptions(interp(), TCL_ERROR);
        Tcl_Obj* key = Tcl_NewStringObj("-errorcode", -1);
        Tcl_IncrRefCount(options);
        Tcl_IncrRefCount(key);
        Tcl_Obj* code = nullptr;
        Tcl_DictObjGet(nullptr, options, key, &code);
        EXPECT_STREQ("ARITH IOVERFLOW {integer value too large to represent}",
                     code ? Tcl_GetString(code) : "")
            << word;
        Tcl_DecrRefCount(key);
        Tcl_DecrRefCount(options);
    }
    EXPECT_EQ(12345, got);

    Words frac{"1.5"};
    EXPECT_EQ(TCL_ERROR, parse(frac, "i:u ", &got));
    EXPECT_EQ("expected integer but got \"1.5\":u  argument 1", result());
}

TEST(ParseLong, KeepsTheWholeValue) {
    Words w{"4294967303", "-9"};
    long a = 0;
    long b = 0;
    ASSERT_EQ(TCL_OK, parse(w, "ll", &a, &b));
    EXPECT_EQ(4294967303L, a);
    EXPECT_EQ(-9L, b);
}

TEST(ParseShort, StoresTheLow16Bits) {
    struct Case {
        const char* word;
        int16_t want;
    };
    // 70000 = 0x11170 -> 0x1170 = 4464; 32768 = 0x8000 -> -32768; -32769 -> 0x7fff.
    const Case cases[] = {
        {"70000", 4464}, {"32768", -32768}, {"-32769", 32767}, {"-1", -1}, {"65535", -1}};
    for (const Case& c : cases) {
        Words w{c.word};
        int16_t got = 0;
        ASSERT_EQ(TCL_OK, parse(w, "h", &got)) << c.word;
        EXPECT_EQ(c.want, got) << c.word;
    }
}

TEST(ParseByte, StoresTheLow8Bits) {
    struct Case {
        const char* word;
        unsigned char want;
    };
    // 300 = 0x12c -> 0x2c = 44; -1 -> 0xff; 256 -> 0.
    const Case cases[] = {{"300", 44}, {"-1", 255}, {"256", 0}, {"255", 255}};
    for (const Case& c : cases) {
        Words w{c.word};
        unsigned char got = 7;
        ASSERT_EQ(TCL_OK, parse(w, "b", &got)) << c.word;
        EXPECT_EQ(c.want, got) << c.word;
    }
}

TEST(ParseIntegerCodes, NonIntegerWordFailsWithTclsMessage) {
    for (const char* format : {"l:x ", "h:x ", "b:x "}) {
        Words w{"abc"};
        long slot = 0;
        EXPECT_EQ(TCL_ERROR, parse(w, format, &slot)) << format;
        EXPECT_EQ("expected integer but got \"abc\":x  argument 1", result()) << format;
    }
}

// ---- Floating-point codes ----------------------------------------------------

TEST(ParseFloat, RoundsToSinglePrecision) {
    struct Case {
        std::string word;
        float want;
    };
    const double halfway = 0x1.ffffffp127;  // between FLT_MAX and 2^128
    char below_halfway[40];
    std::snprintf(below_halfway, sizeof below_halfway, "%.17g", std::nextafter(halfway, 0.0));
    char at_halfway[40];
    std::snprintf(at_halfway, sizeof at_halfway, "%.17g", halfway);
    const Case cases[] = {{"16777217", 16777216.0f},  // 2^24 + 1: the tie goes to the even 2^24
                          {"16777219", 16777220.0f},  // 2^24 + 3: the tie goes to the even 2^24 + 4
                          {"1.0000000596046448", 1.0f},  // 1 + 2^-24, a tie, to even
                          {"0.1", 0x1.99999ap-4f},       // 0.1 rounded to 24 bits
                          {below_halfway, std::numeric_limits<float>::max()},
                          {at_halfway, std::numeric_limits<float>::infinity()},
                          {"-1e39", -std::numeric_limits<float>::infinity()},
                          {"1e-50", 0.0f}};
    for (const Case& c : cases) {
        Words w{c.word.c_str()};
        float got = -5.0f;
        ASSERT_EQ(TCL_OK, parse(w, "f", &got)) << c.word;
        EXPECT_EQ(c.want, got) << c.word;
    }
}

TEST(ParseDouble, KeepsTheDouble) {
    Words w{"0.1", "-2.5e300"};
    double a = 0.0;
    double b = 0.0;
    ASSERT_EQ(TCL_OK, parse(w, "dd", &a, &b));
    EXPECT_EQ(0.1, a);
    EXPECT_EQ(-2.5e300, b);
}

TEST(ParseDouble, NonNumberFailsWithTclsMessage) {
    for (const char* format : {"d:x ", "f:x "}) {
        Words w{"abc"};
        double slot = 3.0;
        EXPECT_EQ(TCL_ERROR, parse(w, format, &slot));
        EXPECT_EQ("expected floating-point number but got \"abc\":x  argument 1", result());
        EXPECT_EQ(3.0, slot);
    }
}

// ---- String, character, object and pointer codes --------------------------------

TEST(ParseString, PointsAtTheWordsCharacters) {
    Words w{"hello"};
    const char* got = nullptr;
    ASSERT_EQ(TCL_OK, parse(w, "s", &got));
    EXPECT_EQ(Tcl_GetString(w[1]), got);
    EXPECT_STREQ("hello", got);
}

TEST(ParseString, HashFormStoresTheByteLength) {
    Words w{"h\xc3\xa9llo", "9"};  // five characters, six bytes
    const char* text = nullptr;
    int length = -1;
    int after = 0;
    ASSERT_EQ(TCL_OK, parse(w, "s#i", &text, &length, &after));
    EXPECT_STREQ("h\xc3\xa9llo", text);
    EXPECT_EQ(6, length);
    EXPECT_EQ(9, after);  // the "#" is not a code of its own
}

TEST(ParseChar, TakesTheFirstCharacter) {
    Words w{"close", "", "x"};
    char a = '?';
    char b = '?';
    char c = '?';
    ASSERT_EQ(TCL_OK, parse(w, "ccc", &a, &b, &c));
    EXPECT_EQ('c', a);
    EXPECT_EQ('\0', b);  // the terminating zero of an empty word
    EXPECT_EQ('x', c);
}

TEST(ParseObject, StoresTheWordItself) {
    Words w{"anything", "ZOLV_OK"};
    Tcl_Obj* a = nullptr;
    Tcl_Obj* b = nullptr;
    ASSERT_EQ(TCL_OK, parse(w, "oO", &a, &b));
    EXPECT_EQ(w[1], a);
    EXPECT_EQ(w[2], b);  // O keeps the word even when it names a constant
}

TEST(ParsePointer, ConvertsByTheTypeInTheNextSlot) {
    const std::string text = zolv::make_pointer_text(fake_address(0x1234), int_type());
    Words w{text.c_str(), "NULL", "5"};
    void* a = nullptr;
    void* b = fake_address(1);
    int n = 0;
    ASSERT_EQ(TCL_OK, parse(w, "ppi", &a, int_type(), &b, zolv_type(), &n)) << result();
    EXPECT_EQ(fake_address(0x1234), a);
    EXPECT_EQ(nullptr, b);
    EXPECT_EQ(5, n);
}

TEST(ParsePointer, WrongTagFailsTheParse) {
    const std::string text = zolv::make_pointer_text(fake_address(0x1234), int_type());
    Words w{text.c_str()};
    void* a = nullptr;
    EXPECT_EQ(TCL_ERROR, parse(w, "p:u ", &a, zolv_type()));
    EXPECT_EQ("Type error. Expected _p_ZOLV:u  argument 1", result());
}

TEST(ParseAbsentSlot, CountsTheWordWithoutConverting) {
    // p and s# with an absent slot take no further slot either.
    Words w{"not a pointer", "not a number", "not a list {", "42"};
    int n = 0;
    ASSERT_EQ(TCL_OK, parse(w, "pis#i", nullptr, nullptr, nullptr, &n)) << result();
    EXPECT_EQ(42, n);
}

TEST(ParseUnknownCode, OnlyCountsItsWord) {
    Words one{"whatever"};
    int slot = 5;
    EXPECT_EQ(TCL_OK, parse(one, "x:u ", &slot));
    EXPECT_EQ(5, slot);
    Words none{};
    EXPECT_EQ(TCL_ERROR, parse(none, "x:u ", &slot));
    EXPECT_EQ("Wrong # args. :u  argument 1", result());
}

// ---- Upper-case codes and the constant index -----------------------------------------

TEST(ParseConstant, UpperCaseCodesReadTheConstantsValue) {
    Words w{"ZOLV_CALC_ERROR", "ZOLV_LISTLENGTH_ERROR", "ZOLV_UNKNOWN_ERROR",
            "ZOLV_CALC_ERROR", "ZOLV_LISTLENGTH_ERROR", "ZOLV_OK",
            "ZOLV_CALC_ERROR", "ZOLV_LISTLENGTH_ERROR"};
    int i = 0;
    long l = 0;
    int16_t h = 0;
    unsigned char b = 0;
    float f = 0.0f;
    double d = 0.0;
    const char* s = nullptr;
    char c = 0;
    ASSERT_EQ(TCL_OK, parse(w, "ILHBFDSC", &i, &l, &h, &b, &f, &d, &s, &c)) << result();
    EXPECT_EQ(2, i);
    EXPECT_EQ(3L, l);
    EXPECT_EQ(1, h);
    EXPECT_EQ(2, b);
    EXPECT_EQ(3.0f, f);
    EXPECT_EQ(0.0, d);
    EXPECT_STREQ("2", s);
    EXPECT_EQ('3', c);
}

TEST(ParseConstant, UpperCaseStringHashAndPointerForms) {
    Words w{"ZOLV_CALC_ERROR", "NULL"};
    const char* s = nullptr;
    int length = 0;
    void* p = fake_address(0x99);
    testing::internal::CaptureStdout();
    const int code = parse(w, "S#P", &s, &length, &p, zolv_type());
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_EQ(TCL_OK, code) << result();
    EXPECT_STREQ("2", s);
    EXPECT_EQ(1, length);
    EXPECT_EQ(nullptr, p);
    EXPECT_EQ("Searching NULL\n", out);  // not a constant: the word itself is converted
}

TEST(ParseConstant, UnknownNameIsReportedAndTheWordConverted) {
    Words w{"17"};
    int got = 0;
    testing::internal::CaptureStdout();
    const int code = parse(w, "I", &got);
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_EQ(TCL_OK, code);
    EXPECT_EQ(17, got);
    EXPECT_EQ("Searching 17\n", out);
}

TEST(ParseConstant, LowerCaseCodesDoNotLookUp) {
    Words w{"ZOLV_CALC_ERROR"};
    int got = 0;
    testing::internal::CaptureStdout();
    const int code = parse(w, "i:u ", &got);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(TCL_ERROR, code);
    EXPECT_EQ("expected integer but got \"ZOLV_CALC_ERROR\":u  argument 1", result());
    EXPECT_EQ("", out);
}

TEST(LookupConstant, AnswersTheValueOrPrintsTheName) {
    Tcl_Obj* ok = zolv::lookup_constant("ZOLV_LISTLENGTH_ERROR");
    ASSERT_NE(nullptr, ok);
    EXPECT_STREQ("3", Tcl_GetString(ok));
    testing::internal::CaptureStdout();
    Tcl_Obj* none = zolv::lookup_constant("ZOLV_NOPE");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(nullptr, none);
    EXPECT_EQ("Searching ZOLV_NOPE\n", out);
}

// ---- Word counts, "|", ";" and the error suffix ------------------------------------

TEST(ParseCount, TooFewAndTooManyWords) {
    int a = 0;
    int b = 0;
    Words few{"1"};
    EXPECT_EQ(TCL_ERROR, parse(few, "ii:zolv::cmdself a ", &a, &b));
    EXPECT_EQ("Wrong # args. :zolv::cmdself a  argument 2", result());
    Words many{"1", "2", "3", "4"};
    EXPECT_EQ(TCL_ERROR, parse(many, "ii:zolv::cmdself a ", &a, &b));
    EXPECT_EQ("Wrong # args.:zolv::cmdself a  argument 3", result());  // the first surplus word
    Words none{};
    EXPECT_EQ(TCL_OK, parse(none, ":zolv::new_ZOLV"));
    Words one{"x"};
    EXPECT_EQ(TCL_ERROR, parse(one, ":zolv::new_ZOLV"));
    EXPECT_EQ("Wrong # args.:zolv::new_ZOLV argument 1", result());
}

TEST(ParseOptional, AcceptsAnyNumberOfOptionalWords) {
    const int kUntouched = -77;
    for (int count = 1; count <= 3; ++count) {
        const char* all[] = {"1", "2", "3"};
        Words w = count == 1   ? Words{all[0]}
                  : count == 2 ? Words{all[0], all[1]}
                               : Words{all[0], all[1], all[2]};
        int a = kUntouched;
        int b = kUntouched;
        int c = kUntouched;
        ASSERT_EQ(TCL_OK, parse(w, "i|ii:u ", &a, &b, &c)) << count;
        EXPECT_EQ(1, a);
        EXPECT_EQ(count >= 2 ? 2 : kUntouched, b);
        EXPECT_EQ(count >= 3 ? 3 : kUntouched, c);
    }
}

TEST(ParseOptional, RequiredWordsAndSurplusStillCount) {
    int a = 0;
    int b = 0;
    Words none{};
    EXPECT_EQ(TCL_ERROR, parse(none, "i|i:u ", &a, &b));
    EXPECT_EQ("Wrong # args. :u  argument 1", result());
    Words many{"1", "2", "3"};
    EXPECT_EQ(TCL_ERROR, parse(many, "i|i:u ", &a, &b));
    EXPECT_EQ("Wrong # args.:u  argument 3", result());
    EXPECT_EQ(TCL_OK, parse(none, "|i:u ", &a));
}

TEST(ParseSurplus, SemicolonAcceptsAnyRemainingWords) {
    int a = 0;
    Words many{"1", "2", "3", "4"};
    ASSERT_EQ(TCL_OK, parse(many, "i;", &a));
    EXPECT_EQ(1, a);
    Words none{};
    EXPECT_EQ(TCL_OK, parse(none, ";"));
    EXPECT_EQ(TCL_OK, parse(many, ";i", &a));
}

TEST(ParseSuffix, UsageFromTheFirstColonElseTheFirstSemicolon) {
    int a = 0;
    int b = 0;
    Words bad{"x"};
    // ":" wins even when a ";" comes before it.
    EXPECT_EQ(TCL_ERROR, parse(bad, "i;more:usage", &a));
    EXPECT_EQ("expected integer but got \"x\":usage argument 1", result());
    EXPECT_EQ(TCL_ERROR, parse(bad, "i;usage", &a));
    EXPECT_EQ("expected integer but got \"x\";usage argument 1", result());
    Words none{};
    EXPECT_EQ(TCL_ERROR, parse(none, "i;", &a));
    EXPECT_EQ("Wrong # args. ; argument 1", result());
    EXPECT_EQ(TCL_ERROR, parse(bad, "i", &a));
    EXPECT_EQ("expected integer but got \"x\" argument 1", result());
    Words many{"1", "2", "3"};
    EXPECT_EQ(TCL_ERROR, parse(many, "ii", &a, &b));
    EXPECT_EQ("Wrong # args. argument 3", result());
    Words few{"1"};
    EXPECT_EQ(TCL_ERROR, parse(few, "ii", &a, &b));
    EXPECT_EQ("Wrong # args.  argument 2", result());
}

TEST(ParseFailure, EarlierDestinationsKeepTheirValues) {
    Words w{"1", "2", "x", "4"};
    int a = 0;
    int b = 0;
    double d = -1.0;
    int e = -1;
    EXPECT_EQ(TCL_ERROR, parse(w, "iidi:u ", &a, &b, &d, &e));
    EXPECT_EQ("expected floating-point number but got \"x\":u  argument 3", result());
    EXPECT_EQ(1, a);
    EXPECT_EQ(2, b);
    EXPECT_EQ(-1.0, d);
    EXPECT_EQ(-1, e);

    Words surplus{"5", "6"};
    int only = 0;
    EXPECT_EQ(TCL_ERROR, parse(surplus, "i:u ", &only));
    EXPECT_EQ(5, only);  // converted before the surplus word was found
}

// ---- Pointer and packed text ---------------------------------------------------------

TEST(PackData, TwoLowerCaseDigitsPerByteHighNibbleFirst) {
    const unsigned char bytes[] = {0x00, 0x0f, 0xa0, 0xff, 0x5c};
    char out[11] = {};
    char* end = zolv::pack_data(out, bytes, sizeof bytes);
    EXPECT_EQ(out + 10, end);
    EXPECT_EQ("000fa0ff5c", std::string(out, 10));
}

TEST(UnpackData, ReadsPairsAndReturnsThePositionBehind) {
    unsigned char bytes[4] = {};
    const char text[] = "000fa0ffrest";
    const char* end = zolv::unpack_data(text, bytes, sizeof bytes);
    EXPECT_EQ(text + 8, end);
    EXPECT_EQ(0x00, bytes[0]);
    EXPECT_EQ(0x0f, bytes[1]);
    EXPECT_EQ(0xa0, bytes[2]);
    EXPECT_EQ(0xff, bytes[3]);
}

TEST(UnpackData, UpperCaseLettersAreNotDigits) {
    unsigned char byte = 0x99;
    zolv::unpack_data("3A", &byte, 1);
    EXPECT_EQ(0x30, byte);
    zolv::unpack_data("FF", &byte, 1);
    EXPECT_EQ(0x00, byte);  // the accumulator starts cleared
}

TEST(UnpackData, AccumulatorIsNotClearedPerByte) {
    unsigned char bytes[3] = {};
    zolv::unpack_data("a0x3zz", bytes, sizeof bytes);
    EXPECT_EQ(0xa0, bytes[0]);
    EXPECT_EQ(0xa3, bytes[1]);  // "x" left 0xa0 in place, "3" or-ed into it
    EXPECT_EQ(0xa3, bytes[2]);  // neither "z" changes it
}

TEST(UnpackData, StopsAtTheEndOfAShortText) {
    unsigned char bytes[8] = {};
    const char text[] = "1234";
    const char* end = zolv::unpack_data(text, bytes, sizeof bytes);
    EXPECT_LE(end, text + 4);
    EXPECT_EQ(0x12, bytes[0]);
    EXPECT_EQ(0x34, bytes[1]);
}

TEST(PointerText, LittleEndianSixteenDigits) {
    EXPECT_EQ("_7856341200000000_p_ZOLV",
              zolv::make_pointer_text(fake_address(0x12345678), zolv_type()));
    EXPECT_EQ("_7856341200000000_p_int",
              zolv::make_pointer_text(fake_address(0x12345678), int_type()));
    EXPECT_EQ("_efcdab8967452301_p_ZOLV",
              zolv::make_pointer_text(fake_address(0x0123456789abcdefULL), zolv_type()));
    EXPECT_EQ("NULL", zolv::make_pointer_text(nullptr, zolv_type()));
}

TEST(PointerText, ObjectHoldsTheSameText) {
    Tcl_Obj* obj = zolv::new_pointer_object(fake_address(0x12345678), zolv_type());
    Tcl_IncrRefCount(obj);
    EXPECT_STREQ("_7856341200000000_p_ZOLV", Tcl_GetString(obj));
    Tcl_DecrRefCount(obj);
    obj = zolv::new_pointer_object(nullptr, zolv_type());
    Tcl_IncrRefCount(obj);
    EXPECT_STREQ("NULL", Tcl_GetString(obj));
    Tcl_DecrRefCount(obj);
}

TEST(PackedText, WrittenLikePointerText) {
    const unsigned char bytes[] = {0x01, 0xab};
    Tcl_Obj* obj = zolv::new_packed_object(bytes, sizeof bytes, zolv_type());
    ASSERT_NE(nullptr, obj);
    Tcl_IncrRefCount(obj);
    EXPECT_STREQ("_01ab_p_ZOLV", Tcl_GetString(obj));
    Tcl_DecrRefCount(obj);
}

TEST(PackedText, RefusedPastTheThousandLimit) {
    const std::vector<unsigned char> data(600, 0x11);
    // _p_ZOLV: 2 * 496 + 1 + 7 = 1000 is at the limit, 497 bytes go past it.
    Tcl_Obj* at_limit = zolv::new_packed_object(data.data(), 496, zolv_type());
    ASSERT_NE(nullptr, at_limit);
    Tcl_IncrRefCount(at_limit);
    Tcl_Size length = 0;
    Tcl_GetStringFromObj(at_limit, &length);
    EXPECT_EQ(1000, length);
    Tcl_DecrRefCount(at_limit);
    EXPECT_EQ(nullptr, zolv::new_packed_object(data.data(), 497, zolv_type()));
    // _p_int: 2 * 496 + 1 + 6 = 999 fits, 2 * 497 + 1 + 6 = 1001 does not.
    Tcl_Obj* fits = zolv::new_packed_object(data.data(), 496, int_type());
    ASSERT_NE(nullptr, fits);
    Tcl_IncrRefCount(fits);
    Tcl_DecrRefCount(fits);
    EXPECT_EQ(nullptr, zolv::new_packed_object(data.data(), 497, int_type()));
}

// ---- Type check and conversion -----------------------------------------------------------

TEST(CheckType, MatchesTheWholeTagExactly) {
    zolv::TypeInfo* match = zolv::check_type("_p_ZOLV", zolv_type());
    ASSERT_NE(nullptr, match);
    EXPECT_STREQ("_p_ZOLV", match->name);
    EXPECT_EQ(nullptr, zolv::check_type("_p_ZOLVx", zolv_type()));
    EXPECT_EQ(nullptr, zolv::check_type("_p_ZOL", zolv_type()));
    EXPECT_EQ(nullptr, zolv::check_type("_p_zolv", zolv_type()));
    EXPECT_EQ(nullptr, zolv::check_type("", zolv_type()));
    EXPECT_EQ(nullptr, zolv::check_type("_p_int", zolv_type()));
    EXPECT_NE(nullptr, zolv::check_type("_p_int", int_type()));
}

// A type of this test with three equivalences, the middle one with a converter.
void* plus_one(void* address) {
    return static_cast<char*>(address) + 1;
}
zolv::TypeInfo probe_entry[] = {
    {"_p_Probe", nullptr, "Probe *", nullptr, nullptr, nullptr, nullptr},
    {"_p_ProbeA", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
    {"_p_ProbeB", plus_one, nullptr, nullptr, nullptr, nullptr, nullptr},
    {"_p_ProbeC", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}};

zolv::TypeInfo* probe_type() {
    static zolv::TypeInfo* registered = zolv::register_type(probe_entry);
    return registered;
}

std::vector<std::string> equivalence_names(const zolv::TypeInfo* type) {
    std::vector<std::string> names;
    for (const zolv::TypeInfo* eq = type->next; eq && names.size() < 10; eq = eq->next) {
        names.emplace_back(eq->name);
        if (eq->next) {
            EXPECT_EQ(eq, eq->next->prev) << eq->name;
        }
    }
    return names;
}

TEST(CheckType, MovesTheMatchToTheFront) {
    zolv::TypeInfo* type = probe_type();
    ASSERT_EQ(probe_entry, type);
    using Names = std::vector<std::string>;
    EXPECT_EQ((Names{"_p_ProbeA", "_p_ProbeB", "_p_ProbeC"}), equivalence_names(type));
    EXPECT_EQ(&probe_entry[3], zolv::check_type("_p_ProbeC", type));
    EXPECT_EQ((Names{"_p_ProbeC", "_p_ProbeA", "_p_ProbeB"}), equivalence_names(type));
    EXPECT_EQ(&probe_entry[1], zolv::check_type("_p_ProbeA", type));
    EXPECT_EQ((Names{"_p_ProbeA", "_p_ProbeC", "_p_ProbeB"}), equivalence_names(type));
    EXPECT_EQ(&probe_entry[1], zolv::check_type("_p_ProbeA", type));  // already first
    EXPECT_EQ((Names{"_p_ProbeA", "_p_ProbeC", "_p_ProbeB"}), equivalence_names(type));
    EXPECT_EQ(nullptr, zolv::check_type("_p_Probe", type));  // the type's own record is no match
    EXPECT_EQ((Names{"_p_ProbeA", "_p_ProbeC", "_p_ProbeB"}), equivalence_names(type));
}

TEST(ConvertPointer, AppliesTheConverterOfTheMatchedEquivalence) {
    char buffer[4] = {};
    const std::string via_b = zolv::make_pointer_text(buffer, &probe_entry[2]);
    const std::string via_c = zolv::make_pointer_text(buffer, &probe_entry[3]);
    void* out = nullptr;
    ASSERT_EQ(TCL_OK, zolv::convert_pointer_text(interp(), via_b.c_str(), &out, probe_type()));
    EXPECT_EQ(buffer + 1, out);
    ASSERT_EQ(TCL_OK, zolv::convert_pointer_text(interp(), via_c.c_str(), &out, probe_type()));
    EXPECT_EQ(buffer, out);
}

TEST(ConvertPointer, NullForAnyTypeWithoutACheck) {
    for (zolv::TypeSlot slot : {zolv::kVectorDoubleType, zolv::kVectorIntType, zolv::kDoubleType,
                                zolv::kZolvType, zolv::kIntType}) {
        void* out = fake_address(0x99);
        EXPECT_EQ(TCL_OK,
                  zolv::convert_pointer_text(interp(), "NULL", &out, zolv::type_slot(slot)));
        EXPECT_EQ(nullptr, out);
    }
}

TEST(ConvertPointer, RoundTripsAndChecksTheTag) {
    void* out = nullptr;
    const std::string text = zolv::make_pointer_text(fake_address(0x7654321), zolv_type());
    ASSERT_EQ(TCL_OK, zolv::convert_pointer_text(interp(), text.c_str(), &out, zolv_type()));
    EXPECT_EQ(fake_address(0x7654321), out);

    const std::string as_int = zolv::make_pointer_text(fake_address(0x7654321), int_type());
    EXPECT_EQ(TCL_ERROR, zolv::convert_pointer_text(interp(), as_int.c_str(), &out, zolv_type()));
    EXPECT_EQ("Type error. Expected _p_ZOLV", result());

    const std::string trailing = text + "x";
    EXPECT_EQ(TCL_ERROR, zolv::convert_pointer_text(interp(), trailing.c_str(), &out, zolv_type()));
    EXPECT_EQ("Type error. Expected _p_ZOLV", result());

    // The 8-digit form of a 32-bit machine is too short here.
    EXPECT_EQ(TCL_ERROR,
              zolv::convert_pointer_text(interp(), "_78563412_p_ZOLV", &out, zolv_type()));
    EXPECT_EQ("Type error. Expected _p_ZOLV", result());
    EXPECT_EQ(TCL_ERROR, zolv::convert_pointer_text(interp(), "_", &out, zolv_type()));
    EXPECT_EQ("Type error. Expected _p_ZOLV", result());
}

TEST(ConvertPointer, CommandNameStandsForItsCgetThisAnswer) {
    ASSERT_EQ(TCL_OK,
              Tcl_Eval(interp(), "proc ::probe_object {args} {return _7856341200000000_p_ZOLV}"));
    void* out = nullptr;
    ASSERT_EQ(TCL_OK, zolv::convert_pointer_text(interp(), "probe_object", &out, zolv_type()));
    EXPECT_EQ(fake_address(0x12345678), out);
    EXPECT_EQ("_7856341200000000_p_ZOLV", result());  // the answer stays in the result

    Tcl_Obj* word = Tcl_NewStringObj("probe_object", -1);
    Tcl_IncrRefCount(word);
    out = nullptr;
    EXPECT_EQ(TCL_OK, zolv::convert_pointer_object(interp(), word, &out, zolv_type()));
    EXPECT_EQ(fake_address(0x12345678), out);
    Tcl_DecrRefCount(word);
    Tcl_Eval(interp(), "rename ::probe_object {}");
}

TEST(ConvertPointer, WordThatIsNoCommandFails) {
    ASSERT_EQ(TCL_OK, Tcl_Eval(interp(), "proc ::probe_failing {args} {error boom}"));
    void* out = fake_address(0x99);
    for (const char* word : {"no_such_command", "probe_failing", "set ::hacked 1;#", ""}) {
        EXPECT_EQ(TCL_ERROR, zolv::convert_pointer_text(interp(), word, &out, zolv_type())) << word;
        EXPECT_EQ("Type error. Expected a pointer", result()) << word;
    }
    EXPECT_EQ(nullptr, Tcl_GetVar(interp(), "::hacked", TCL_GLOBAL_ONLY));
    Tcl_Eval(interp(), "rename ::probe_failing {}");
}

// ---- Instance objects ----------------------------------------------------------------------

TEST(NewInstanceObject, ZolvGetsANonOwningCommand) {
    ZOLV* z = zolv::create_zolv();
    Tcl_Obj* text = zolv::new_instance_object(interp(), z, zolv_type());
    Tcl_IncrRefCount(text);
    const std::string name = Tcl_GetString(text);
    EXPECT_EQ(zolv::make_pointer_text(z, zolv_type()), name);
    Tcl_CmdInfo info;
    EXPECT_TRUE(Tcl_GetCommandInfo(interp(), name.c_str(), &info));
    EXPECT_EQ(0, zolv::is_owned(z));
    const std::string script = "rename " + name + " {}";
    EXPECT_EQ(TCL_OK, Tcl_Eval(interp(), script.c_str()));
    EXPECT_NE(0u, zolv::live_serial(z));  // deleting a non-owning command destroys nothing
    EXPECT_TRUE(zolv::destroy_zolv(z));
    Tcl_DecrRefCount(text);
}

TEST(NewInstanceObject, OtherTypesAndNoInterpreterGetNoCommand) {
    Tcl_CmdInfo info;
    Tcl_Obj* as_int = zolv::new_instance_object(interp(), fake_address(0x4321), int_type());
    Tcl_IncrRefCount(as_int);
    EXPECT_STREQ("_2143000000000000_p_int", Tcl_GetString(as_int));
    EXPECT_FALSE(Tcl_GetCommandInfo(interp(), Tcl_GetString(as_int), &info));
    Tcl_DecrRefCount(as_int);

    Tcl_Obj* no_interp = zolv::new_instance_object(nullptr, fake_address(0x4321), zolv_type());
    Tcl_IncrRefCount(no_interp);
    EXPECT_STREQ("_2143000000000000_p_ZOLV", Tcl_GetString(no_interp));
    EXPECT_FALSE(Tcl_GetCommandInfo(interp(), Tcl_GetString(no_interp), &info));
    Tcl_DecrRefCount(no_interp);
}

// ---- Ownership set and live registry ----------------------------------------------------------

TEST(Ownership, AcquireDisownIsOwned) {
    int a = 0;
    int b = 0;
    EXPECT_EQ(0, zolv::is_owned(&a));
    EXPECT_EQ(0, zolv::disown_object(&a));
    zolv::acquire_object(&a);
    zolv::acquire_object(&a);  // a second acquire changes nothing
    EXPECT_EQ(1, zolv::is_owned(&a));
    EXPECT_EQ(0, zolv::is_owned(&b));
    EXPECT_EQ(1, zolv::disown_object(&a));
    EXPECT_EQ(0, zolv::is_owned(&a));
    EXPECT_EQ(0, zolv::disown_object(&a));
}

TEST(LiveRegistry, SerialsAreNeverReused) {
    ZOLV* first = zolv::create_zolv();
    const uint64_t first_serial = zolv::live_serial(first);
    EXPECT_NE(0u, first_serial);
    EXPECT_EQ(-1, first->pos);
    EXPECT_TRUE(zolv::destroy_zolv(first));
    EXPECT_EQ(0u, zolv::live_serial(first));
    EXPECT_FALSE(zolv::destroy_zolv(first));  // a second destroy does nothing

    // Whatever address the allocator hands out next, its serial is new.
    ZOLV* second = zolv::create_zolv();
    ZOLV* third = zolv::create_zolv();
    EXPECT_GT(zolv::live_serial(second), first_serial);
    EXPECT_GT(zolv::live_serial(third), zolv::live_serial(second));
    EXPECT_TRUE(zolv::destroy_zolv(third));
    EXPECT_TRUE(zolv::destroy_zolv(second));
}

TEST(LiveRegistry, ForeignAndNullAddressesAreNotLive) {
    int not_a_zolv = 0;
    EXPECT_EQ(0u, zolv::live_serial(&not_a_zolv));
    EXPECT_FALSE(zolv::destroy_zolv(&not_a_zolv));
    EXPECT_EQ(0u, zolv::live_serial(nullptr));
    EXPECT_FALSE(zolv::destroy_zolv(nullptr));
}

TEST(LiveRegistry, DestroyTakesTheAddressOutOfTheOwnershipSet) {
    ZOLV* z = zolv::create_zolv();
    zolv::acquire_object(z);
    ASSERT_EQ(1, zolv::is_owned(z));
    EXPECT_TRUE(zolv::destroy_zolv(z));
    EXPECT_EQ(0, zolv::is_owned(z));
}

}  // namespace
