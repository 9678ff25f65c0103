// Running out of memory in the middle of a command: the program's allocator
// fails the 1st, 2nd, ... allocation of a call until the call succeeds, and at
// every failure point the call must answer "Unknown Error!!", leave the bars,
// the cursor and the set of live objects as they were, and leak nothing (the
// sanitizer build checks that at exit). Only C++ allocations can be made to
// fail: Tcl's own allocator ends the process when it runs out.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <new>
#include <ostream>
#include <string>

#include "binding/runtime.h"

#undef Tcl_CreateInterp

extern "C" int Zolv_Init(Tcl_Interp*);

// The replacements below pair malloc with free themselves.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {

// Allocations of this thread still to go before one fails; negative: none fails.
thread_local long allocations_left = -1;
thread_local bool failure_injected = false;

}  // namespace

void* operator new(std::size_t size) {
    if (allocations_left >= 0 && allocations_left-- == 0) {
        failure_injected = true;
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

Tcl_Interp* interp() {
    static Tcl_Interp* const the = [] {
        Tcl_FindExecutable(nullptr);
        Tcl_Interp* i = Tcl_CreateInterp();
        return Zolv_Init(i) == TCL_OK ? i : nullptr;
    }();
    return the;
}

std::string eval(const std::string& script, int* code = nullptr) {
    const int c = Tcl_Eval(interp(), script.c_str());
    if (code) *code = c;
    return Tcl_GetStringResult(interp());
}

// What a failed call must leave as it was: the bars and cursor of the object
// `$p` and the number of live objects.
std::string state() {
    return eval(
               "list [corvalix::ZOLV_size $p] [corvalix::ZOLV_pos_get $p] [corvalix::ZOLV_at $p 0] "
               "[corvalix::ZOLV_at $p [expr {[corvalix::ZOLV_size $p] - 1}]]") +
           " live " + std::to_string(zolv::live_object_count());
}

struct OomCase {
    const char* what;
    const char* script;  // run with $p a filled object (also the command "obj")
    int code;            // what the script answers when no allocation fails
};

const OomCase kCases[] = {
    {"setlist", "corvalix::ZOLV_setlist $p {1 2 3 4 5 6 7 8 9 10}", TCL_OK},
    {"push_front", "corvalix::ZOLV_push_front $p {1 2 3 4 5}", TCL_OK},
    {"push_back", "obj push_back {1 2 3 4 5}", TCL_OK},
    {"at", "corvalix::ZOLV_at $p 3", TCL_OK},
    {"bollingerband", "corvalix::ZOLV_bollingerband $p c 5", TCL_OK},
    {"hlband", "obj hlband 4", TCL_OK},
    {"macd", "corvalix::ZOLV_macd $p 3 6 2", TCL_OK},
    {"dmi", "corvalix::ZOLV_dmi $p 3 2", TCL_OK},
    {"rci", "corvalix::ZOLV_rci $p c 200", TCL_OK},
    {"stc_sd", "corvalix::ZOLV_stc_sd $p 14 30 40", TCL_OK},
    {"series ema", "zolv::series $p ema c 5", TCL_OK},
    {"series dmi", "zolv::series obj dmi 3 2", TCL_OK},
    {"series rci", "zolv::series $p rci c 7", TCL_OK},
    {"series unknown operation", "zolv::series $p nosuch", TCL_ERROR},
    {"new_ZOLV", "set q [corvalix::new_ZOLV]; corvalix::delete_ZOLV $q; rename $q {}", TCL_OK},
    {"class command", "corvalix::ZOLV oom_tmp; oom_tmp -delete", TCL_OK},
    {"wrap a command name", "corvalix::ZOLV oom_w -this obj; oom_w -delete", TCL_OK},
    {"flat command on a name", "corvalix::ZOLV_size obj", TCL_OK},
    {"invalid method", "obj nosuch", TCL_ERROR},
    {"method of many words", "obj ema c 1 2 3 4 5 6 7 8", TCL_ERROR},
    {"calc error and its reason", "obj sma c 1000", TCL_ERROR},
};

void PrintTo(const OomCase& c, std::ostream* os) {
    *os << c.what;
}

class OutOfMemory : public ::testing::TestWithParam<OomCase> {};

TEST_P(OutOfMemory, EveryFailurePointAnswersUnknownErrorAndChangesNothing) {
    ASSERT_NE(nullptr, interp());
    const OomCase& c = GetParam();
    int code = TCL_OK;
    eval(
        "corvalix::ZOLV obj; set p [obj cget -this]; set values {};"
        "for {set k 0} {$k < 300} {incr k} {"
        "    lappend values [expr {100 + $k % 7}] [expr {110 + $k % 11}] [expr {90 - $k % 5}]"
        "        [expr {100 + $k % 13}] [expr {1000 + $k}]"
        "};"
        "obj setlist $values; obj configure -pos 2",
        &code);
    ASSERT_EQ(TCL_OK, code) << Tcl_GetStringResult(interp());
    const std::string before = state();
    int failures = 0;
    for (long n = 0;; ++n) {
        allocations_left = n;
        failure_injected = false;
        code = Tcl_Eval(interp(), c.script);
        allocations_left = -1;
        const std::string result = Tcl_GetStringResult(interp());
        if (!failure_injected) {
            EXPECT_EQ(c.code, code) << c.what << ": " << result;
            break;
        }
        ++failures;
        EXPECT_EQ(TCL_ERROR, code) << c.what << " at allocation " << n;
        EXPECT_EQ("Unknown Error!!", result) << c.what << " at allocation " << n;
        EXPECT_EQ("ZOLV UNKNOWN", eval("set ::errorCode")) << c.what << " at allocation " << n;
        EXPECT_EQ(before, state()) << c.what << " at allocation " << n;
        ASSERT_LT(n, 100000) << c.what;
    }
    EXPECT_GT(failures, 0) << c.what << " allocates nothing that could fail";
    eval("obj -delete; catch {rename $p {}}");
}

INSTANTIATE_TEST_SUITE_P(Commands, OutOfMemory, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<OomCase>& param) {
                             std::string name = param.param.what;
                             for (char& ch : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             }
                             return name;
                         });

}  // namespace
