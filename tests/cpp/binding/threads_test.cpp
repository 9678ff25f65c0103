// The process-wide tables of the binding runtime worked from eight threads at
// once: the live registry, the ownership set, the type registry and the
// constant index; and interpreters on eight threads that load the package and
// compute side by side.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "binding/object.h"
#include "binding/runtime.h"
#include "series/zolv.h"

// Interpreters come from the library itself (the stubs table only exists once
// the package has been initialised in a first interpreter).
#undef Tcl_CreateInterp

extern "C" int Zolv_Init(Tcl_Interp*);

namespace {

constexpr int kThreads = 8;

// Holds threads back until all of them are ready, then lets them go together.
class StartGate {
public:
    void wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        opened_.wait(lock, [this] { return open_; });
    }
    void open() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            open_ = true;
        }
        opened_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable opened_;
    bool open_ = false;
};

// Runs body(k) for k = 0 .. kThreads - 1, each on its own thread, all started
// at the same moment; returns when every thread has finished.
template <typename Body>
void run_together(Body body) {
    StartGate gate;
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int k = 0; k < kThreads; ++k) {
        threads.emplace_back([&gate, &ready, &body, k] {
            ready.fetch_add(1);
            gate.wait();
            body(k);
        });
    }
    while (ready.load() < kThreads) std::this_thread::yield();
    gate.open();
    for (std::thread& t : threads) t.join();
}

// Initialises Tcl in the process once, with a first interpreter that loads the
// package (which sets up the stubs table every later Tcl call goes through).
bool tcl_ready() {
    static const bool ready = [] {
        Tcl_FindExecutable(nullptr);
        Tcl_Interp* first = Tcl_CreateInterp();
        return Zolv_Init(first) == TCL_OK;
    }();
    return ready;
}

// ---- Type registry ---------------------------------------------------------------------------

// Registration runs once however many threads ask at the same moment, and the
// type check can run from every thread while others register.
TEST(ThreadsTypes, RegisteredOnceFromEightThreads) {
    std::vector<zolv::TypeInfo*> seen(kThreads * zolv::kTypeCount, nullptr);
    std::atomic<int> misses{0};
    run_together([&](int k) {
        zolv::register_types(zolv::zolv_class());
        for (int s = 0; s < zolv::kTypeCount; ++s) {
            seen[static_cast<size_t>(k * zolv::kTypeCount + s)] =
                zolv::type_slot(static_cast<zolv::TypeSlot>(s));
        }
        zolv::TypeInfo* zolv_type = zolv::type_slot(zolv::kZolvType);
        for (int n = 0; n < 20000; ++n) {
            if (!zolv::check_type("_p_ZOLV", zolv_type)) misses.fetch_add(1);
            if (zolv::check_type("_p_int", zolv_type)) misses.fetch_add(1);
            if (zolv::check_type("_p_ZOLVx", zolv_type)) misses.fetch_add(1);
        }
    });
    EXPECT_EQ(0, misses.load());
    for (int s = 0; s < zolv::kTypeCount; ++s) {
        zolv::TypeInfo* first = seen[static_cast<size_t>(s)];
        ASSERT_NE(nullptr, first) << "slot " << s;
        for (int k = 1; k < kThreads; ++k) {
            EXPECT_EQ(first, seen[static_cast<size_t>(k * zolv::kTypeCount + s)]) << "slot " << s;
        }
    }
    EXPECT_STREQ("_p_ZOLV", zolv::type_slot(zolv::kZolvType)->name);
    EXPECT_EQ(zolv::zolv_class(), zolv::type_slot(zolv::kZolvType)->class_record);
    // A second registration of an entry hands back the record already registered.
    EXPECT_EQ(zolv::type_slot(zolv::kIntType),
              zolv::register_type(zolv::type_slot(zolv::kIntType)));
}

// ---- Live registry ---------------------------------------------------------------------------

// Every object gets a serial of its own, however the threads interleave, and
// its cell reports its death to whoever still holds it.
TEST(ThreadsLiveRegistry, CreateAndDestroyInParallel) {
    constexpr int kRounds = 4000;
    std::vector<std::vector<uint64_t>> serials(kThreads);
    std::atomic<int> failures{0};
    run_together([&](int k) {
        const int32_t bar[5] = {k, k + 2, k - 2, k + 1, 100};
        for (int n = 0; n < kRounds; ++n) {
            ZOLV* z = zolv::create_zolv();
            const uint64_t serial = zolv::live_serial(z);
            zolv::LiveCell* cell = zolv::acquire_cell(z);
            bool ok = serial != 0 && cell && zolv::cell_alive(cell);
            ok = ok && z->setlist(bar, 5) == ZOLV_OK && z->close[0] == k + 1;
            ok = ok && zolv::destroy_zolv(z);
            ok = ok && !zolv::cell_alive(cell) && zolv::live_serial(z) == 0;
            ok = ok && !zolv::destroy_zolv(z);  // the second destroy finds nothing
            zolv::release_cell(cell);
            if (!ok) failures.fetch_add(1);
            serials[static_cast<size_t>(k)].push_back(serial);
        }
    });
    EXPECT_EQ(0, failures.load());
    std::set<uint64_t> all;
    for (const std::vector<uint64_t>& s : serials) {
        EXPECT_TRUE(std::is_sorted(s.begin(), s.end()));  // each thread sees them grow
        all.insert(s.begin(), s.end());
    }
    EXPECT_EQ(static_cast<size_t>(kThreads * kRounds), all.size());  // none reused
}

// Eight threads race to destroy the same objects: each object is destroyed
// exactly once, leaves the ownership set, and every held cell sees it die.
TEST(ThreadsLiveRegistry, EachObjectIsDestroyedOnce) {
    constexpr int kPerThread = 1500;
    std::vector<ZOLV*> objects(kThreads * kPerThread, nullptr);
    std::vector<zolv::LiveCell*> cells(objects.size(), nullptr);
    run_together([&](int k) {  // no object is created while others are destroyed
        for (int n = 0; n < kPerThread; ++n) {
            const size_t at = static_cast<size_t>(k * kPerThread + n);
            objects[at] = zolv::create_zolv();
            cells[at] = zolv::acquire_cell(objects[at]);
            if (n % 2 == 0) zolv::acquire_object(objects[at]);
        }
    });
    std::atomic<int> destroyed{0};
    std::atomic<int> failures{0};
    run_together([&](int k) {
        const size_t count = objects.size();
        for (size_t step = 0; step < count; ++step) {
            // Each thread starts at its own place and walks the other way on odd threads.
            const size_t offset = static_cast<size_t>(k) * count / kThreads;
            const size_t at =
                k % 2 ? (count - 1 - (step + offset) % count) : (step + offset) % count;
            const uint64_t serial = zolv::live_serial(objects[at]);
            zolv::LiveCell* cell = zolv::acquire_cell(objects[at]);
            if (cell && serial == 0) failures.fetch_add(1);  // live now, but had no serial before?
            zolv::release_cell(cell);
            if (zolv::destroy_zolv(objects[at])) destroyed.fetch_add(1);
        }
    });
    EXPECT_EQ(0, failures.load());
    EXPECT_EQ(kThreads * kPerThread, destroyed.load());
    for (size_t at = 0; at < objects.size(); ++at) {
        EXPECT_FALSE(zolv::cell_alive(cells[at]));
        EXPECT_EQ(0, zolv::is_owned(objects[at]));
        zolv::release_cell(cells[at]);
    }
}

// ---- Ownership set ---------------------------------------------------------------------------

// Private addresses behave as on one thread; a shared address taken out of the
// set by eight threads at once is reported as removed exactly once.
TEST(ThreadsOwnership, AcquireAndDisownInParallel) {
    constexpr int kPrivate = 256;
    constexpr int kShared = 2000;
    std::vector<char> private_cells(kThreads * kPrivate);
    std::vector<char> shared_cells(kShared);
    for (char& c : shared_cells) zolv::acquire_object(&c);
    std::atomic<int> removed{0};
    std::atomic<int> failures{0};
    run_together([&](int k) {
        for (int round = 0; round < 20; ++round) {
            for (int n = 0; n < kPrivate; ++n) {
                const void* a = &private_cells[static_cast<size_t>(k * kPrivate + n)];
                zolv::acquire_object(a);
                zolv::acquire_object(a);
                if (zolv::is_owned(a) != 1) failures.fetch_add(1);
                if (zolv::disown_object(a) != 1) failures.fetch_add(1);
                if (zolv::is_owned(a) != 0 || zolv::disown_object(a) != 0) failures.fetch_add(1);
            }
        }
        for (int n = 0; n < kShared; ++n) {
            const size_t at = static_cast<size_t>((n + k * 250) % kShared);
            removed.fetch_add(zolv::disown_object(&shared_cells[at]));
        }
    });
    EXPECT_EQ(0, failures.load());
    EXPECT_EQ(kShared, removed.load());
    for (const char& c : shared_cells) EXPECT_EQ(0, zolv::is_owned(&c));
}

// ---- Constant index --------------------------------------------------------------------------

// Records and lookups from every thread: each thread reads back what it
// recorded, and the package's own constants stay as loading put them. Each
// thread makes its own Tcl objects and frees them when it finishes.
TEST(ThreadsConstants, RecordAndLookUpInParallel) {
    ASSERT_TRUE(tcl_ready());
    std::atomic<int> failures{0};
    run_together([&](int k) {
        for (int n = 0; n < 300; ++n) {
            const std::string own = "THREADS_" + std::to_string(k) + "_" + std::to_string(n);
            zolv::record_constant_int(own.c_str(), k * 1000 + n);
            zolv::record_constant_double("THREADS_SHARED_DOUBLE", 0.5);
            zolv::record_constant_string("THREADS_SHARED_TEXT", "same text");

            long value = -1;
            Tcl_Obj* obj = zolv::lookup_constant(own.c_str());
            if (!obj || Tcl_GetLongFromObj(nullptr, obj, &value) != TCL_OK ||
                value != k * 1000 + n) {
                failures.fetch_add(1);
            }
            obj = zolv::lookup_constant("ZOLV_CALC_ERROR");
            if (!obj || Tcl_GetLongFromObj(nullptr, obj, &value) != TCL_OK || value != 2) {
                failures.fetch_add(1);
            }
            double d = 0.0;
            obj = zolv::lookup_constant("THREADS_SHARED_DOUBLE");
            if (!obj || Tcl_GetDoubleFromObj(nullptr, obj, &d) != TCL_OK || d != 0.5) {
                failures.fetch_add(1);
            }
            obj = zolv::lookup_constant("THREADS_SHARED_TEXT");
            if (!obj || std::string(Tcl_GetString(obj)) != "same text") failures.fetch_add(1);
        }
        Tcl_FinalizeThread();  // releases this thread's constant objects
    });
    EXPECT_EQ(0, failures.load());
}

// ---- Interpreters on eight threads -----------------------------------------------------------

// Objects made and destroyed in both styles, filled and computed; the answer
// is the list of every computed value.
constexpr const char kWorkScript[] = R"tcl(
    set out {}
    for {set k 0} {$k < 150} {incr k} {
        set p [corvalix::new_ZOLV]
        corvalix::ZOLV_setlist $p [list 10 12 9 11 100  11 14 10 13 150  13 15 12 12 90 \
                                        12 13 11 $k 120]
        lappend out [corvalix::ZOLV_sma $p c 3] [corvalix::ZOLV_ema $p c 2] \
            [corvalix::ZOLV_stdev $p h 4] [corvalix::ZOLV_rsi $p 3] [corvalix::ZOLV_tr $p]
        corvalix::delete_ZOLV $p
        lappend out [catch {corvalix::ZOLV_size $p}]
        rename $p {}
        corvalix::ZOLV obj
        obj setlist [list 1 5 1 3 10  2 6 1 4 20  3 7 2 [expr {$k % 7}] 30]
        obj configure -pos 1
        lappend out [obj stc_k 2] [obj cget -thisown] [obj value c] [obj hlband 1]
        obj -delete
    }
    return $out
)tcl";

TEST(ThreadsInterpreters, LoadAndComputeSideBySide) {
    ASSERT_TRUE(tcl_ready());
    Tcl_Interp* main_interp = Tcl_CreateInterp();
    ASSERT_EQ(TCL_OK, Zolv_Init(main_interp));
    ASSERT_EQ(TCL_OK, Tcl_Eval(main_interp, kWorkScript)) << Tcl_GetStringResult(main_interp);
    const std::string expected = Tcl_GetStringResult(main_interp);
    Tcl_DeleteInterp(main_interp);

    std::vector<std::string> answers(kThreads);
    run_together([&](int k) {
        Tcl_Interp* interp = Tcl_CreateInterp();
        if (Zolv_Init(interp) != TCL_OK) {
            answers[static_cast<size_t>(k)] = "load failed";
        } else {
            const int code = Tcl_Eval(interp, kWorkScript);
            answers[static_cast<size_t>(k)] =
                (code == TCL_OK ? "" : "error: ") + std::string(Tcl_GetStringResult(interp));
        }
        Tcl_DeleteInterp(interp);
        Tcl_FinalizeThread();
    });
    for (int k = 0; k < kThreads; ++k) EXPECT_EQ(expected, answers[static_cast<size_t>(k)]);
}

// ---- One object shared by every thread -------------------------------------------------------

// Readers in seven interpreters ask one object for values while the eighth
// thread moves it between two states and finally deletes it: every answer is
// that of one whole state until the object is gone, and then the documented
// refusal.
TEST(ThreadsSharedObject, ReadersAWriterAndADelete) {
    ASSERT_TRUE(tcl_ready());
    Tcl_Interp* main_interp = Tcl_CreateInterp();
    ASSERT_EQ(TCL_OK, Zolv_Init(main_interp));
    // State A: 400 bars; state B: A and one bar more.
    const char* fill =
        "set p [corvalix::new_ZOLV]; set v {}\n"
        "for {set k 0} {$k < 400} {incr k} {\n"
        "    set c [expr {1000 + ($k * 37) % 101}]\n"
        "    lappend v $c [expr {$c + 3}] [expr {$c - 3}] $c [expr {$k + 1}]\n"
        "}\n"
        "corvalix::ZOLV_setlist $p $v; set p";
    ASSERT_EQ(TCL_OK, Tcl_Eval(main_interp, fill)) << Tcl_GetStringResult(main_interp);
    const std::string p = Tcl_GetStringResult(main_interp);
    const std::string grow = "corvalix::ZOLV_setlist " + p + " {900 990 890 950 7}";
    const std::string shrink = "corvalix::ZOLV_pop_back " + p;
    // Each call answers for one whole state; consecutive calls may see different ones.
    const std::string calls[] = {"corvalix::ZOLV_size " + p,
                                 "corvalix::ZOLV_ema " + p + " c 20",
                                 "corvalix::ZOLV_stdev " + p + " c 30",
                                 "zolv::series " + p + " mfi 5",
                                 "zolv::indicator " + p + " adx 14",
                                 "zolv::indicator " + p + " rsi_wilder c 14"};
    std::vector<std::string> state_a;
    std::vector<std::string> state_b;
    for (const std::string& call : calls) {
        ASSERT_EQ(TCL_OK, Tcl_Eval(main_interp, call.c_str()));
        state_a.push_back(Tcl_GetStringResult(main_interp));
    }
    ASSERT_EQ(TCL_OK, Tcl_Eval(main_interp, grow.c_str()));
    for (const std::string& call : calls) {
        ASSERT_EQ(TCL_OK, Tcl_Eval(main_interp, call.c_str()));
        state_b.push_back(Tcl_GetStringResult(main_interp));
    }
    ASSERT_EQ(TCL_OK, Tcl_Eval(main_interp, shrink.c_str()));

    std::atomic<bool> deleted{false};
    std::vector<std::string> problems(kThreads);
    run_together([&](int k) {
        Tcl_Interp* interp = Tcl_CreateInterp();
        std::string& problem = problems[static_cast<size_t>(k)];
        if (Zolv_Init(interp) != TCL_OK) problem = "load failed";
        if (k == 0 && problem.empty()) {
            for (int round = 0; round < 200 && problem.empty(); ++round) {
                if (Tcl_Eval(interp, grow.c_str()) != TCL_OK ||
                    Tcl_Eval(interp, shrink.c_str()) != TCL_OK) {
                    problem = Tcl_GetStringResult(interp);
                }
            }
            const std::string remove = "corvalix::delete_ZOLV " + p;
            if (Tcl_Eval(interp, remove.c_str()) != TCL_OK) problem = Tcl_GetStringResult(interp);
            deleted.store(true);
        }
        // Readers go on until they have seen the object gone.
        for (size_t n = 0; k != 0 && problem.empty(); ++n) {
            const size_t c = (n + static_cast<size_t>(k)) % state_a.size();
            const bool gone_before = deleted.load();
            if (Tcl_Eval(interp, calls[c].c_str()) != TCL_OK) {
                const std::string refusal = "invalid ZOLV object \"" + p + "\"";
                if (Tcl_GetStringResult(interp) != refusal) problem = Tcl_GetStringResult(interp);
                break;
            }
            const std::string answer = Tcl_GetStringResult(interp);
            if (answer != state_a[c] && answer != state_b[c]) problem = "torn: " + answer;
            if (gone_before) problem = "answered after the delete";
        }
        Tcl_DeleteInterp(interp);
        Tcl_FinalizeThread();
    });
    for (int k = 0; k < kThreads; ++k) EXPECT_EQ("", problems[static_cast<size_t>(k)]) << k;
    Tcl_DeleteInterp(main_interp);
}

}  // namespace
