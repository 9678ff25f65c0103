// Running out of memory in the middle of a command: the program's allocator
// fails the 1st, 2nd, ... allocation of a call until the call succeeds, and at
// every failure point the call must answer "Unknown Error!!", leave the bars,
// the cursor and the set of live objects as they were, and leak nothing (the
// sanitizer build checks that at exit). Only C++ allocations can be made to
// fail that way: Tcl's own allocator ends the process when it runs out, so a
// large result that the memory cannot hold is refused before Tcl allocates it,
// tested with a limit on the address space of the process.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <ostream>
#include <string>
#include <vector>

#include "binding/pointer.h"
#include "binding/runtime.h"
#include "series/zolv.h"

#undef Tcl_CreateInterp

extern "C" int Zolv_Init(Tcl_Interp*);

// The replacements below pair malloc with free themselves.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

// A failed allocation answers null, as it does without the sanitizer, rather than ending the
// test program.
extern "C" __attribute__((visibility("default"), used)) const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}

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

// ---- Results larger than the memory left -----------------------------------------------------

// Bytes of address space the process holds now.
size_t address_space() {
    std::ifstream statm("/proc/self/statm");
    size_t pages = 0;
    statm >> pages;
    return pages * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// Lets the process take at most `extra` bytes of address space more, for the life of the object.
class AddressSpaceLimit {
public:
    explicit AddressSpaceLimit(size_t extra) {
        getrlimit(RLIMIT_AS, &saved_);
        rlimit limit = saved_;
        limit.rlim_cur = address_space() + extra;
        set_ = setrlimit(RLIMIT_AS, &limit) == 0;
    }
    ~AddressSpaceLimit() { setrlimit(RLIMIT_AS, &saved_); }
    AddressSpaceLimit(const AddressSpaceLimit&) = delete;
    AddressSpaceLimit& operator=(const AddressSpaceLimit&) = delete;
    bool set() const { return set_; }

private:
    rlimit saved_;
    bool set_ = false;
};

struct LargeResult {
    const char* what;
    const char* script;  // $p holds 2,000,000 bars; $path names a file of 1,000,000 rows
    size_t extra;        // what the call may take: its own work fits, the Tcl values do not
};

const LargeResult kLargeResults[] = {
    // The line takes 18 MB, its list of values more than 100 MB.
    {"series", "zolv::series $p ema c 5", size_t{64} << 20},
    // The reader holds 60 MB and needs 75 MB at most, the list of dates more than 60 MB again.
    {"read_csv -dates", "zolv::read_csv $p $path -dates d", size_t{100} << 20},
};

TEST(ResultMemory, ResultsBeyondTheMemoryLeftAreRefusedBeforeTclAllocates) {
#ifdef __SANITIZE_THREAD__
    GTEST_SKIP() << "the thread sanitizer's own allocator stops the program under the limit";
#endif
    ASSERT_NE(nullptr, interp());
    const std::string path = ::testing::TempDir() + "zolv-oom-dates.csv";
    {
        std::ofstream out(path, std::ios::binary);
        out << "date,open,high,low,close,volume\n";
        for (int k = 0; k < 1000000; ++k) out << "20200102,1,2,3,4,5\n";
    }
    int code = TCL_OK;
    const std::string p = eval("set p [corvalix::new_ZOLV]", &code);
    ASSERT_EQ(TCL_OK, code);
    eval("set path {" + path + "}");
    void* address = nullptr;
    zolv::unpack_data(p.c_str() + 1, &address, sizeof address);
    std::vector<int32_t> values(10000000, 7);
    ASSERT_EQ(ZOLV_OK, static_cast<ZOLV*>(address)->setlist(values.data(), 10000000));
    values = std::vector<int32_t>();
    const std::string before = state();
    for (const LargeResult& c : kLargeResults) {
        SCOPED_TRACE(c.what);
        std::string result;
        {
            AddressSpaceLimit limit(c.extra);
            ASSERT_TRUE(limit.set());
            result = eval(c.script, &code);
        }
        EXPECT_EQ(TCL_ERROR, code);
        EXPECT_EQ("Unknown Error!!", result);
        EXPECT_EQ("ZOLV UNKNOWN", eval("set ::errorCode"));
        EXPECT_EQ(before, state());
        EXPECT_EQ("0", eval("info exists d"));
    }
    // With the memory there, both answer in full.
    EXPECT_EQ("2000000", eval("llength [zolv::series $p ema c 5]"));
    EXPECT_EQ("1000000", eval("zolv::read_csv $p $path -dates d; llength $d"));
    eval("corvalix::delete_ZOLV $p; unset d");
    std::remove(path.c_str());
}

}  // namespace
